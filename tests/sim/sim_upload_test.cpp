// The receiver of the simulated controller: interoperability with an
// independent sender (lrzsz sz), and frame by frame against hand-made frames.
#include <gtest/gtest.h>

#include <csignal>
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

// Starts sz on the terminal; its files are taken from folder.
pid_t StartSz(const std::string& slave, const std::string& folder, const std::vector<std::string>& args)
{
    pid_t pid = fork();
    if (pid == 0) {
        int line = open(slave.c_str(), O_RDWR | O_NOCTTY);
        dup2(line, 0);
        dup2(line, 1);
        int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, 2);
        if (chdir(folder.c_str()) != 0)
            _exit(126);
        std::vector<std::string> all = {"sz", "--ymodem", "-q"};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execvp("sz", argv.data());
        _exit(127);
    }
    return pid;
}

int WaitChild(pid_t pid, int seconds)
{
    for (int i = 0; i < seconds * 100; i++) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

bool HaveSz()
{
    return std::system("command -v sz >/dev/null 2>&1") == 0;
}

// The next byte that is not a start request 'C'.
int ReplySkippingC(int port, uint32_t ms = 2000)
{
    for (;;) {
        int byte = ReadByte(port, ms);
        if (byte != 'C')
            return byte;
    }
}

class SimUpload : public testing::Test {
protected:
    void TearDown() override
    {
        StopSim(&sim);
        RemoveFolder(pcFolder);
    }
    // Sends "u\r" and waits for the first start request.
    void BeginUpload(int request = 'C')
    {
        PurgePort(sim.port);
        WriteBytes(sim.port, "u\r");
        ASSERT_EQ(ReadByte(sim.port, 1000), request);
    }
    void SendHeader(const std::string& path, uint64_t size, bool crc = true)
    {
        WriteBytes(sim.port, MakeHeader(path, size, crc ? 1024 : 128, crc));
        ASSERT_EQ(ReplySkippingC(sim.port), ACK);
        ASSERT_EQ(ReadByte(sim.port, 1000), crc ? 'C' : NAK) << "data start request";
    }
    void CloseBatch()
    {
        ASSERT_EQ(ReadByte(sim.port, 1000), 'C');
        WriteBytes(sim.port, MakeFrame(0, "", 1024, true));
        ASSERT_EQ(ReplySkippingC(sim.port), ACK);
    }
    std::string Disk(const std::string& path) { return sim.root + path; }
    // Hidden upload files left in a folder.
    int HiddenUploads(const std::string& folder)
    {
        int count = 0;
        for (const std::string& name : FolderNames(folder))
            count += name.rfind(".sim-upload-", 0) == 0;
        return count;
    }

    SimProcess sim;
    std::string pcFolder;
};

struct SzCase {
    const char* mode;
    const char* blocks;   // extra sz option: "" for 128-byte blocks, "-k" for 1024
};

void PrintTo(const SzCase& row, std::ostream* out)
{
    *out << row.mode << (*row.blocks ? " 1k" : " 128");
}

class SimUploadWithSz : public SimUpload, public testing::WithParamInterface<SzCase> {};

TEST_P(SimUploadWithSz, BatchArrivesByteExact)
{
    if (!HaveSz())
        GTEST_SKIP() << "sz (lrzsz) is not installed";
    pcFolder = MakeControllerFolder(false);
    // 140000 bytes run the block number past 255 in either block size.
    const std::vector<std::pair<std::string, std::string>> files = {
        {"big.bin", RandomBytes(140000, 1)},
        {"one block.nc", RandomBytes(1024, 2)},
        {"tiny.nc", RandomBytes(1, 3)},
        {"odd.nc", RandomBytes(1025, 4)},
        {"empty.nc", ""},
    };
    std::vector<std::string> args;
    if (*GetParam().blocks != 0)
        args.push_back(GetParam().blocks);
    uint64_t total = 0;
    for (const auto& [name, bytes] : files) {
        WriteHostFile(pcFolder + "/" + name, bytes);
        args.push_back(name);
        total += bytes.size();
    }
    ASSERT_TRUE(StartSim(&sim, {"--mode", GetParam().mode}));
    std::string before = Command(sim.port, "l\r\n");

    PurgePort(sim.port);
    WriteBytes(sim.port, "u\r");
    EXPECT_EQ(WaitChild(StartSz(sim.slave, pcFolder, args), 60), 0);
    for (const auto& [name, bytes] : files)
        EXPECT_EQ(ReadHostFile(Disk("/ram/cncprg/" + name)), bytes) << name;
    EXPECT_EQ(HiddenUploads(Disk("/ram/cncprg")), 0);

    // Back in command mode, with the free space lowered by what came.
    std::string after = Command(sim.port, "l\r\n");
    EXPECT_NE(after.find("  140000 big.bin\r\n"), std::string::npos);
    EXPECT_NE(after.find("  1024 one block.nc\r\n"), std::string::npos);
    EXPECT_NE(after.find("  0 empty.nc\r\n"), std::string::npos);
    EXPECT_NE(before.find("Free RamDisk: 1048242\r\n"), std::string::npos);
    EXPECT_NE(after.find("Free RamDisk: " + std::to_string(1048242 - total) + "\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Modes, SimUploadWithSz,
                         testing::Values(SzCase{"crc", ""}, SzCase{"crc", "-k"}, SzCase{"checksum", ""},
                                         SzCase{"checksum", "-k"}),
                         [](const testing::TestParamInfo<SzCase>& info) {
                             return std::string(info.param.mode) + (*info.param.blocks ? "_1k" : "_128");
                         });

TEST_F(SimUpload, KilledSzLeavesNoFile)
{
    if (!HaveSz())
        GTEST_SKIP() << "sz (lrzsz) is not installed";
    pcFolder = MakeControllerFolder(false);
    WriteHostFile(pcFolder + "/slow.bin", RandomBytes(60000, 5));
    // At 19200 bit/s the file takes about 30 s, so sz is killed in the middle.
    ASSERT_TRUE(StartSim(&sim, {"--baud", "19200", "--silence-ms", "400"}));
    PurgePort(sim.port);
    WriteBytes(sim.port, "u\r");
    pid_t sz = StartSz(sim.slave, pcFolder, {"-k", "slow.bin"});
    usleep(1000000);
    EXPECT_EQ(HiddenUploads(Disk("/ram/cncprg")), 1) << "the upload is under way";
    kill(sz, SIGKILL);
    WaitChild(sz, 5);
    usleep(1500000);
    EXPECT_FALSE(HostPathExists(Disk("/ram/cncprg/slow.bin")));
    EXPECT_EQ(HiddenUploads(Disk("/ram/cncprg")), 0);
    EXPECT_NE(Command(sim.port, "l\r\n").find("Free RamDisk: 1048242"), std::string::npos);
}

TEST_F(SimUpload, StartRequestsRepeatInCrcModeAndAreNakInChecksumMode)
{
    ASSERT_TRUE(StartSim(&sim, {}));
    PurgePort(sim.port);
    WriteBytes(sim.port, "u\r");
    // Requests at about 0, 0.5 and 1 s; the fourth is not due yet.
    usleep(1250000);
    EXPECT_EQ(ReadAnswer(sim.port, 10, 10), "CCC");
    WriteBytes(sim.port, std::string(1, CAN));
    StopSim(&sim);

    ASSERT_TRUE(StartSim(&sim, {"--mode", "checksum"}));
    BeginUpload(NAK);
    SendHeader("/ram/cncprg/sum.nc", 3, false);
    WriteBytes(sim.port, MakeFrame(1, "abc", 128, false));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    WriteBytes(sim.port, std::string(1, EOT));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    EXPECT_EQ(ReadByte(sim.port, 1000), NAK) << "start request for the next header";
    WriteBytes(sim.port, MakeFrame(0, "", 128, false));
    EXPECT_EQ(ReplySkippingC(sim.port), ACK);
    EXPECT_EQ(ReadHostFile(Disk("/ram/cncprg/sum.nc")), "abc");
}

TEST_F(SimUpload, HeaderPathChoosesDirectoryAndSizeCutsTheData)
{
    ASSERT_TRUE(StartSim(&sim, {}));
    BeginUpload();
    SendHeader("/ROM/macros/new.nc", 10);
    WriteBytes(sim.port, MakeFrame(1, "0123456789 and padding that goes", 1024, true));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    // Until its EOT the file is only a hidden name.
    EXPECT_FALSE(HostPathExists(Disk("/ROM/macros/new.nc")));
    EXPECT_EQ(HiddenUploads(Disk("/ROM/macros")), 1);
    WriteBytes(sim.port, std::string(1, EOT));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    EXPECT_EQ(ReadHostFile(Disk("/ROM/macros/new.nc")), "0123456789");
    EXPECT_EQ(HiddenUploads(Disk("/ROM/macros")), 0);

    // No directory: the default one. An existing file is replaced.
    ASSERT_EQ(ReadByte(sim.port, 1000), 'C');
    SendHeader("part1.nc", 4);
    WriteBytes(sim.port, MakeFrame(1, "G0\r\n", 1024, true));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    WriteBytes(sim.port, std::string(1, EOT));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    CloseBatch();
    EXPECT_EQ(ReadHostFile(Disk("/ram/cncprg/part1.nc")), "G0\r\n");
    EXPECT_NE(Command(sim.port, "l\r\n").find("Free FlashDisk: 4194186\r\n"), std::string::npos);
}

TEST_F(SimUpload, DamagedFramesAreNakedAndRepeatsDropped)
{
    ASSERT_TRUE(StartSim(&sim, {}));
    BeginUpload();
    SendHeader("/ram/cncprg/r.nc", 2048);
    std::string first = RandomBytes(1024, 7), second = RandomBytes(1024, 8);

    std::string badCheck = MakeFrame(1, first, 1024, true);
    badCheck[500] ^= 0x01;
    WriteBytes(sim.port, badCheck);
    EXPECT_EQ(ReadByte(sim.port, 2000), NAK) << "check mismatch";
    std::string badComplement = MakeFrame(1, first, 1024, true);
    badComplement[2] = 0x00;
    WriteBytes(sim.port, badComplement);
    EXPECT_EQ(ReadByte(sim.port, 2000), NAK) << "complement";
    WriteBytes(sim.port, MakeFrame(1, first, 1024, true).substr(0, 600));
    EXPECT_EQ(ReadByte(sim.port, 3000), NAK) << "frame cut short";
    WriteBytes(sim.port, MakeFrame(1, first, 1024, true));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    WriteBytes(sim.port, MakeFrame(1, first, 1024, true));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK) << "a repeat is acknowledged";
    WriteBytes(sim.port, MakeFrame(2, second, 1024, true));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    WriteBytes(sim.port, std::string(1, EOT));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    CloseBatch();
    EXPECT_EQ(ReadHostFile(Disk("/ram/cncprg/r.nc")), first + second) << "the repeat was not kept";
}

TEST_F(SimUpload, OutOfSequenceBlockCancels)
{
    ASSERT_TRUE(StartSim(&sim, {}));
    BeginUpload();
    SendHeader("/ram/cncprg/seq.nc", 3000);
    WriteBytes(sim.port, MakeFrame(1, "a", 1024, true));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    WriteBytes(sim.port, MakeFrame(3, "c", 1024, true));
    EXPECT_EQ(ReadByte(sim.port, 1000), CAN);
    usleep(500000);
    EXPECT_FALSE(HostPathExists(Disk("/ram/cncprg/seq.nc")));
    EXPECT_EQ(HiddenUploads(Disk("/ram/cncprg")), 0);
    EXPECT_EQ(Command(sim.port, "t\r\n").substr(0, 3), "t\r\n") << "back in command mode";
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
        {"/ram/cncprg/huge.nc", 2000},    // more than the 1666 bytes left
        {"/x.nc", 1},                     // no top-level files
    };
    for (const auto& [path, size] : refused) {
        BeginUpload();
        WriteBytes(sim.port, MakeHeader(path, size, 1024, true));
        EXPECT_EQ(ReplySkippingC(sim.port), CAN) << path;
        usleep(400000);
    }
    EXPECT_TRUE(FolderNames(outside).empty());
    EXPECT_FALSE(HostPathExists(sim.root + "/ram/cncprg/huge.nc"));
    EXPECT_FALSE(HostPathExists(sim.root + "/escape.nc"));
    EXPECT_EQ(HiddenUploads(sim.root + "/ram/cncprg"), 0);
    RemoveFolder(outside);

    // Exactly the free space still fits.
    BeginUpload();
    SendHeader("/ram/cncprg/fits.nc", 1666);
    WriteBytes(sim.port, MakeFrame(1, std::string(1024, 'a'), 1024, true));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    WriteBytes(sim.port, MakeFrame(2, std::string(1024, 'b'), 1024, true));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    WriteBytes(sim.port, std::string(1, EOT));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    CloseBatch();
    EXPECT_EQ(ReadHostFile(sim.root + "/ram/cncprg/fits.nc").size(), 1666u);
}

TEST_F(SimUpload, AbortsLeaveNothingBehind)
{
    ASSERT_TRUE(StartSim(&sim, {"--silence-ms", "300"}));
    // The sender goes quiet in the middle of a file.
    BeginUpload();
    SendHeader("/ram/cncprg/quiet.nc", 5000);
    WriteBytes(sim.port, MakeFrame(1, "x", 1024, true));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    usleep(600000);
    EXPECT_EQ(HiddenUploads(Disk("/ram/cncprg")), 0);
    EXPECT_EQ(Command(sim.port, "t\r\n").substr(0, 3), "t\r\n");

    // The sender cancels with a run of CAN.
    BeginUpload();
    SendHeader("/ram/cncprg/cancel.nc", 5000);
    WriteBytes(sim.port, MakeFrame(1, "x", 1024, true));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    WriteBytes(sim.port, std::string(1024, CAN));
    usleep(600000);
    EXPECT_EQ(HiddenUploads(Disk("/ram/cncprg")), 0);
    EXPECT_FALSE(HostPathExists(Disk("/ram/cncprg/cancel.nc")));
    EXPECT_EQ(Command(sim.port, "t\r\n").substr(0, 3), "t\r\n") << "the CAN run did not spoil the next command";

    // Data that ends before the announced size is refused at the EOT.
    BeginUpload();
    SendHeader("/ram/cncprg/short.nc", 5000);
    WriteBytes(sim.port, MakeFrame(1, "x", 1024, true));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    WriteBytes(sim.port, std::string(1, EOT));
    EXPECT_EQ(ReadByte(sim.port, 1000), CAN);
    usleep(500000);
    EXPECT_FALSE(HostPathExists(Disk("/ram/cncprg/short.nc")));

    // A file finished before the sender gave up stays.
    BeginUpload();
    SendHeader("/ram/cncprg/done.nc", 1);
    WriteBytes(sim.port, MakeFrame(1, "1", 1024, true));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    WriteBytes(sim.port, std::string(1, EOT));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    WriteBytes(sim.port, std::string(1, CAN));
    usleep(500000);
    EXPECT_EQ(ReadHostFile(Disk("/ram/cncprg/done.nc")), "1");
}

TEST_F(SimUpload, OnceUploadEndsWithTheResult)
{
    ASSERT_TRUE(StartSim(&sim, {"--receive-now", "--once-upload"}));
    ASSERT_EQ(ReadByte(sim.port, 1000), 'C');
    SendHeader("/ram/cncprg/once.nc", 1);
    WriteBytes(sim.port, MakeFrame(1, "1", 1024, true));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    WriteBytes(sim.port, std::string(1, EOT));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    CloseBatch();
    EXPECT_EQ(WaitSimExit(&sim, 3000), 0);
    StopSim(&sim);

    ASSERT_TRUE(StartSim(&sim, {"--receive-now", "--once-upload"}));
    ASSERT_EQ(ReadByte(sim.port, 1000), 'C');
    WriteBytes(sim.port, std::string(2, CAN));
    EXPECT_EQ(WaitSimExit(&sim, 3000), 1);
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
