// The receiver of the simulated controller: interoperability with an
// independent sender (lrzsz sz), and frame by frame against hand-made frames.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "tests/sim/sim_process.h"

namespace {

std::string RandomBytes(size_t count, unsigned seed)
{
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

const std::string Ack(1, ACK), Nak(1, NAK), Eot(1, EOT), Cans(2, CAN);

class SimUpload : public testing::Test {
protected:
    void TearDown() override
    {
        StopSim(&sim);
        RemoveFolder(pcFolder);
    }
    // Sends "u\r" and a header for the file; the header must be taken.
    void BeginFile(const std::string& path, uint64_t size)
    {
        PurgePort(sim.port);
        WriteBytes(sim.port, "u\r");
        ASSERT_EQ(ReadByte(sim.port, 1000), 'C');
        ASSERT_EQ(Reply(sim.port, MakeHeader(path, size, 1024, true)), Ack + "C") << path;
    }
    std::string Block(int number, const std::string& data) { return Reply(sim.port, MakeFrame(number, data, 1024, true)); }
    std::string Disk(const std::string& path) { return sim.root + path; }

    SimProcess sim;
    std::string pcFolder;
};

class SimUploadWithSz : public SimUpload, public testing::WithParamInterface<std::pair<const char*, bool>> {};

TEST_P(SimUploadWithSz, BatchArrivesByteExact)
{
    if (std::system("command -v sz >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "sz (lrzsz) is not installed";
    pcFolder = MakeControllerFolder(false);
    // 140000 bytes run the block number past 255 in either block size.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"big.bin", RandomBytes(140000, 1)}, {"one block.nc", RandomBytes(1024, 2)}, {"tiny.nc", RandomBytes(1, 3)},
        {"odd.nc", RandomBytes(1025, 4)},    {"empty.nc", ""},
    };
    std::vector<std::string> args = {"sz", "--ymodem", "-q"};
    if (GetParam().second)
        args.push_back("-k");
    uint64_t total = 0;
    for (const auto& [name, bytes] : files) {
        WriteHostFile(pcFolder + "/" + name, bytes);
        args.push_back(name);
        total += bytes.size();
    }
    ASSERT_TRUE(StartSim(&sim, {"--mode", GetParam().first}));
    PurgePort(sim.port);
    WriteBytes(sim.port, "u\r");
    pid_t sz = fork();
    if (sz == 0) {
        int line = open(sim.slave.c_str(), O_RDWR | O_NOCTTY), quiet = open("/dev/null", O_WRONLY);
        dup2(line, 0);
        dup2(line, 1);
        dup2(quiet, 2);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (chdir(pcFolder.c_str()) == 0)
            execvp("sz", argv.data());
        _exit(127);
    }
    int status = -1;
    for (int i = 0; i < 6000 && waitpid(sz, &status, WNOHANG) != sz; i++, status = -1)
        usleep(10000);
    if (status == -1) {
        kill(sz, SIGKILL);
        waitpid(sz, nullptr, 0);
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    for (const auto& [name, bytes] : files)
        EXPECT_EQ(ReadHostFile(Disk("/ram/cncprg/" + name)), bytes) << name;
    EXPECT_EQ(HiddenUploads(Disk("/ram/cncprg")), 0);

    // Back in command mode, with the free space lowered by what came.
    std::string after = Command(sim.port, "l\r\n");
    EXPECT_NE(after.find("  140000 big.bin\r\n"), std::string::npos);
    EXPECT_NE(after.find("  0 empty.nc\r\n"), std::string::npos);
    EXPECT_NE(after.find("Free RamDisk: " + std::to_string(1048242 - total) + "\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Modes, SimUploadWithSz,
                         testing::Values(std::make_pair("crc", false), std::make_pair("crc", true),
                                         std::make_pair("checksum", false), std::make_pair("checksum", true)),
                         [](const auto& info) {
                             return std::string(info.param.first) + (info.param.second ? "_1k" : "_128");
                         });

TEST_F(SimUpload, StartRequestsRepeatEveryHalfSecond)
{
    ASSERT_TRUE(StartSim(&sim, {}));
    PurgePort(sim.port);
    WriteBytes(sim.port, "u\r");
    // Requests at about 0, 0.5 and 1 s; the fourth is not due yet.
    usleep(1250000);
    EXPECT_EQ(ReadAnswer(sim.port, 10, 10), "CCC");
    WriteBytes(sim.port, std::string(1, CAN));
}

TEST_F(SimUpload, HeaderPathChoosesDirectoryAndSizeCutsTheData)
{
    ASSERT_TRUE(StartSim(&sim, {}));
    BeginFile("/ROM/macros/new.nc", 10);
    EXPECT_EQ(Block(1, "0123456789 and padding that goes"), Ack);
    // Until its EOT the file is only a hidden name.
    EXPECT_FALSE(HostPathExists(Disk("/ROM/macros/new.nc")));
    EXPECT_EQ(HiddenUploads(Disk("/ROM/macros")), 1);
    EXPECT_EQ(Reply(sim.port, Eot), Ack + "C");
    EXPECT_EQ(ReadHostFile(Disk("/ROM/macros/new.nc")), "0123456789");
    EXPECT_EQ(HiddenUploads(Disk("/ROM/macros")), 0);

    // No directory: the default one. An existing file is replaced.
    EXPECT_EQ(Reply(sim.port, MakeHeader("part1.nc", 4, 1024, true)), Ack + "C");
    EXPECT_EQ(Block(1, "G0\r\n"), Ack);
    EXPECT_EQ(Reply(sim.port, Eot), Ack + "C");
    EXPECT_EQ(Reply(sim.port, MakeFrame(0, "", 1024, true)), Ack);
    EXPECT_EQ(ReadHostFile(Disk("/ram/cncprg/part1.nc")), "G0\r\n");
    EXPECT_NE(Command(sim.port, "l\r\n").find("Free FlashDisk: 4194186\r\n"), std::string::npos);
}

TEST_F(SimUpload, DamagedFramesAreNakedAndRepeatsDropped)
{
    ASSERT_TRUE(StartSim(&sim, {}));
    BeginFile("/ram/cncprg/r.nc", 2048);
    std::string first = RandomBytes(1024, 7), second = RandomBytes(1024, 8), frame = MakeFrame(1, first, 1024, true);
    std::string badCheck = frame, badComplement = frame;
    badCheck[500] ^= 0x01;
    badComplement[2] = 0x00;
    EXPECT_EQ(Reply(sim.port, badCheck, 2000), Nak) << "check mismatch";
    EXPECT_EQ(Reply(sim.port, badComplement, 2000), Nak) << "complement";
    EXPECT_EQ(Reply(sim.port, frame.substr(0, 600), 3000), Nak) << "frame cut short";
    EXPECT_EQ(Reply(sim.port, frame), Ack);
    EXPECT_EQ(Reply(sim.port, frame), Ack) << "a repeat is acknowledged";
    EXPECT_EQ(Block(2, second), Ack);
    EXPECT_EQ(Reply(sim.port, Eot), Ack + "C");
    EXPECT_EQ(Reply(sim.port, MakeFrame(0, "", 1024, true)), Ack);
    EXPECT_EQ(ReadHostFile(Disk("/ram/cncprg/r.nc")), first + second) << "the repeat was not kept";
}

TEST_F(SimUpload, RefusedHeadersStoreNothing)
{
    sim.root = MakeControllerFolder(true);
    std::filesystem::create_directories(sim.root + "/spare");
    std::string outside = MakeControllerFolder(false);
    ASSERT_EQ(symlink(outside.c_str(), (sim.root + "/ram/away").c_str()), 0);
    ASSERT_TRUE(StartSim(&sim, {"--ram-size", "2000"}));
    const std::vector<std::pair<std::string, uint64_t>> refused = {
        {"/ram/../../escape.nc", 1},      // leaves the root
        {"/ram/away/linked.nc", 1},       // through a symbolic link
        {"/ram/nowhere/x.nc", 1},         // no such directory
        {"/spare/x.nc", 1},               // not a disk
        {"/ram/empty", 1},                // a directory has that name
        {"/ram/.hidden.nc", 1},           // hidden names are the controller's own
        {"/ram/cncprg/huge.nc", 1667},    // more than the 1666 bytes left
        {"/x.nc", 1},                     // no top-level files
    };
    for (const auto& [path, size] : refused) {
        PurgePort(sim.port);
        WriteBytes(sim.port, "u\r");
        ASSERT_EQ(ReadByte(sim.port, 1000), 'C');
        EXPECT_EQ(Reply(sim.port, MakeHeader(path, size, 1024, true)), Cans) << path;
        usleep(400000);
    }
    EXPECT_TRUE(FolderNames(outside).empty());
    EXPECT_FALSE(HostPathExists(sim.root + "/ram/cncprg/huge.nc"));
    EXPECT_FALSE(HostPathExists(sim.root + "/escape.nc"));
    EXPECT_EQ(HiddenUploads(sim.root + "/ram/cncprg"), 0);
    RemoveFolder(outside);
}

// The sender goes quiet, cancels, ends its data early, or gives up after a
// finished file: only finished files stay, and the next command is served.
TEST_F(SimUpload, AbortsLeaveNothingBehind)
{
    ASSERT_TRUE(StartSim(&sim, {"--silence-ms", "300"}));
    const struct { const char* name; std::string after; std::string reply; bool stored; } rows[] = {
        {"quiet.nc", "", "", false},
        {"cancel.nc", std::string(1024, CAN), "", false},
        {"short.nc", Eot, Cans, false},
        {"done.nc", Eot + std::string(1, CAN), Ack + "C", true},
    };
    for (const auto& row : rows) {
        std::string path = Disk(std::string("/ram/cncprg/") + row.name);
        BeginFile(std::string("/ram/cncprg/") + row.name, row.stored ? 1 : 5000);
        EXPECT_EQ(Block(1, "1"), Ack);
        EXPECT_EQ(row.after.empty() ? "" : Reply(sim.port, row.after, 300), row.reply) << row.name;
        usleep(600000);
        EXPECT_EQ(HiddenUploads(Disk("/ram/cncprg")), 0) << row.name;
        EXPECT_EQ(ReadHostFile(path), row.stored ? "1" : "") << row.name;
        EXPECT_EQ(HostPathExists(path), row.stored) << row.name;
        EXPECT_EQ(Command(sim.port, "t\r\n").substr(0, 3), "t\r\n") << row.name;
    }
}

TEST_F(SimUpload, OutOfSequenceBlockCancels)
{
    ASSERT_TRUE(StartSim(&sim, {}));
    BeginFile("/ram/cncprg/seq.nc", 3000);
    EXPECT_EQ(Block(1, "a"), Ack);
    EXPECT_EQ(Block(3, "c"), Cans);
    usleep(500000);
    EXPECT_FALSE(HostPathExists(Disk("/ram/cncprg/seq.nc")));
    EXPECT_EQ(HiddenUploads(Disk("/ram/cncprg")), 0);
    EXPECT_EQ(Command(sim.port, "t\r\n").substr(0, 3), "t\r\n") << "back in command mode";
}

TEST_F(SimUpload, OnceUploadEndsWithTheResult)
{
    for (int cancel = 0; cancel <= 1; cancel++) {
        ASSERT_TRUE(StartSim(&sim, {"--receive-now", "--once-upload"}));
        ASSERT_EQ(ReadByte(sim.port, 1000), 'C');
        if (cancel) {
            WriteBytes(sim.port, Cans);
        } else {
            EXPECT_EQ(Reply(sim.port, MakeHeader("/ram/cncprg/once.nc", 1, 1024, true)), Ack + "C");
            EXPECT_EQ(Block(1, "1"), Ack);
            EXPECT_EQ(Reply(sim.port, Eot), Ack + "C");
            EXPECT_EQ(Reply(sim.port, MakeFrame(0, "", 1024, true)), Ack);
        }
        EXPECT_EQ(WaitSimExit(&sim, 3000), cancel);
        StopSim(&sim);
    }
}

TEST_F(SimUpload, BaudRatePacesTheAnswers)
{
    ASSERT_TRUE(StartSim(&sim, {"--baud", "9600"}));
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    std::string listing = Command(sim.port, "l\r\n");
    clock_gettime(CLOCK_MONOTONIC, &end);
    double seconds = static_cast<double>(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) / 1e9;
    double lineTime = static_cast<double>(listing.size()) * 10.0 / 9600.0;
    EXPECT_GT(seconds, lineTime * 0.8);
    EXPECT_LT(seconds, lineTime + 1.0);
}

}   // namespace
