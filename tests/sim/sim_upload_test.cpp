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

using SzCase = std::pair<std::string, bool>;   // the simulator's mode, 1024-byte blocks

class SimUploadWithSz : public SimUpload, public testing::WithParamInterface<SzCase> {};

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
                         testing::Values(SzCase{"crc", false}, SzCase{"crc", true}, SzCase{"checksum", false},
                                         SzCase{"checksum", true}),
                         [](const auto& info) {
                             return info.param.first + (info.param.second ? "_1k" : "_128");
                         });

TEST_F(SimUpload, StartRequestsRepeatEveryQuarterSecond)
{
    ASSERT_TRUE(StartSim(&sim, {}));
    PurgePort(sim.port);
    WriteBytes(sim.port, "u\r");
    // Requests at about 0, 0.25 and 0.5 s; the fourth is not due yet.
    usleep(625000);
    EXPECT_EQ(ReadAnswer(sim.port, 10, 10), "CCC");
    WriteBytes(sim.port, std::string(1, CAN));
}

// One upload told as the sender's steps and the reply expected to each:
// 'u' the command, 'r' the first start request of a receiver started at
// once, 'H' the header, '1'.. data block n (1024 bytes of 'a'+n-1), 'c' 'k'
// 's' block 1 with a wrong check, a wrong complement or cut short, 'E' EOT,
// 'Z' the closing header, 'X' a run of CAN, 'x' one CAN, 'w' a pause, 'h'
// the number of hidden upload files.
struct StepCase {
    const char* title;
    std::vector<std::string> options;
    std::string header;     // path in block 0
    uint32_t size;          // size in block 0
    const char* steps;
    std::vector<std::string> replies;
    std::string stored;     // where the file must be afterwards, "" for nowhere
    int exitCode;           // of a simulator that ends by itself, else -1
};

void PrintTo(const StepCase& row, std::ostream* out)
{
    *out << row.title;
}

class SimUploadSteps : public SimUpload, public testing::WithParamInterface<StepCase> {};

TEST_P(SimUploadSteps, RepliesAsExpected)
{
    const StepCase& row = GetParam();
    std::vector<std::string> options = row.options;
    options.insert(options.end(), {"--silence-ms", "300"});
    ASSERT_TRUE(StartSim(&sim, options));
    std::string frame1 = MakeFrame(1, std::string(1024, 'a'), 1024, true), damaged = frame1;
    PurgePort(sim.port);
    for (size_t i = 0; row.steps[i]; i++) {
        char step = row.steps[i];
        std::string answer;
        if (step == 'u' || step == 'r') {
            if (step == 'u')
                WriteBytes(sim.port, "u\r");
            answer = ReadAnswer(sim.port, 600, 100).substr(0, 2);
            answer = answer == "CC" ? "C" : answer;
        } else if (step == 'H') {
            answer = Reply(sim.port, MakeHeader(row.header, row.size, 1024, true), 600);
        } else if (step >= '1' && step <= '9') {
            answer = Reply(sim.port, MakeFrame(step - '0', std::string(1024, 'a' + step - '1'), 1024, true), 600);
        } else if (step == 'c' || step == 'k') {
            damaged[step == 'c' ? 500 : 2] ^= 0x01;
            answer = Reply(sim.port, damaged, 2000);
            damaged = frame1;
        } else if (step == 's') {
            answer = Reply(sim.port, frame1.substr(0, 600), 3000);
        } else if (step == 'h') {
            answer = std::to_string(HiddenUploads(Disk(row.stored.substr(0, row.stored.rfind('/')))));
        } else if (step == 'w') {
            usleep(500000);
        } else {
            const std::string bytes = step == 'E' ? Eot : step == 'Z' ? MakeFrame(0, "", 1024, true)
                                    : step == 'X' ? std::string(1024, CAN) : std::string(1, CAN);
            answer = Reply(sim.port, bytes, step == 'E' || step == 'Z' ? 600 : 300);
        }
        EXPECT_EQ(answer, row.replies.at(i)) << "step " << i << " '" << step << "'";
    }
    if (row.exitCode >= 0) {
        EXPECT_EQ(WaitSimExit(&sim, 3000), row.exitCode);
    } else {
        if (std::string(row.steps).back() != 'Z' || row.replies.back() != Ack)
            usleep(400000);   // an unfinished batch: the receiver gives up after its silence limit
        EXPECT_EQ(Command(sim.port, "t\r\n").substr(0, 3), "t\r\n") << "back in command mode";
    }
    std::string expected;
    for (uint32_t block = 0; expected.size() < row.size; block++)
        expected += std::string(1024, 'a' + block);
    expected.resize(row.size);
    if (!row.stored.empty()) {
        EXPECT_EQ(ReadHostFile(Disk(row.stored)), expected);
    }
    EXPECT_EQ(HostPathExists(Disk(row.header)), row.stored == row.header);
    EXPECT_EQ(HiddenUploads(Disk("/ram/cncprg")) + HiddenUploads(Disk("/ROM")), 0);
}

const std::string AckC = Ack + "C";
const std::vector<std::string> None;

INSTANTIATE_TEST_SUITE_P(Uploads, SimUploadSteps, testing::Values(
    // The size cuts the data; until its EOT the file is only a hidden name.
    StepCase{"SizeCutsTheData", None, "/ROM/macros/new.nc", 10, "uH1hEhZ", {"C", AckC, Ack, "1", AckC, "0", Ack},
             "/ROM/macros/new.nc", -1},
    // A name alone goes to the default directory and replaces a file there.
    StepCase{"DefaultDirectory", None, "part1.nc", 4, "uH1EZ", {"C", AckC, Ack, AckC, Ack}, "/ram/cncprg/part1.nc", -1},
    StepCase{"DamagedFramesAndARepeat", None, "/ram/cncprg/r.nc", 2048, "uHcks112EZ",
             {"C", AckC, Nak, Nak, Nak, Ack, Ack, Ack, AckC, Ack}, "/ram/cncprg/r.nc", -1},
    StepCase{"OutOfSequence", None, "/ram/cncprg/r.nc", 3000, "uH13", {"C", AckC, Ack, Cans}, "", -1},
    StepCase{"SenderFallsQuiet", None, "/ram/cncprg/r.nc", 5000, "uH1w", {"C", AckC, Ack, ""}, "", -1},
    StepCase{"SenderCancels", None, "/ram/cncprg/r.nc", 5000, "uH1X", {"C", AckC, Ack, ""}, "", -1},
    StepCase{"DataEndsEarly", None, "/ram/cncprg/r.nc", 5000, "uH1E", {"C", AckC, Ack, Cans}, "", -1},
    StepCase{"FinishedFileStays", None, "/ram/cncprg/r.nc", 1, "uH1Ex", {"C", AckC, Ack, AckC, ""}, "/ram/cncprg/r.nc", -1},
    StepCase{"OnceUpload", {"--receive-now", "--once-upload"}, "/ram/cncprg/r.nc", 1, "rH1EZ", {"C", AckC, Ack, AckC, Ack},
             "/ram/cncprg/r.nc", 0},
    StepCase{"OnceUploadCancelled", {"--receive-now", "--once-upload"}, "/ram/cncprg/r.nc", 1, "rX", {"C", ""}, "", 1},
    // Faults, each as the simulator plays it.
    StepCase{"CanStart", {"--fault", "can-start"}, "/ROM/f.nc", 2048, "u", {Cans}, "", -1},
    StepCase{"SilentStart", {"--fault", "silent-start"}, "/ROM/f.nc", 2048, "u", {""}, "", -1},
    StepCase{"SilentHeader", {"--fault", "silent-header"}, "/ROM/f.nc", 2048, "uH", {"C", ""}, "", -1},
    StepCase{"CanHeader", {"--fault", "can-header"}, "/ROM/f.nc", 2048, "uH", {"C", Cans}, "", -1},
    StepCase{"NoSpace", {"--fault", "no-space"}, "/ROM/f.nc", 2048, "uH", {"C", Cans}, "", -1},
    StepCase{"SilentDataStart", {"--fault", "silent-data-start"}, "/ROM/f.nc", 2048, "uH", {"C", Ack}, "", -1},
    StepCase{"ThreeNaks", {"--fault", "nak:2:3"}, "/ROM/f.nc", 2048, "uH12222EZ",
             {"C", AckC, Ack, Nak, Nak, Nak, Ack, AckC, Ack}, "/ROM/f.nc", -1},
    StepCase{"CanBlock", {"--fault", "can-block:2"}, "/ROM/f.nc", 2048, "uH12", {"C", AckC, Ack, Cans}, "", -1},
    StepCase{"SilentFrom", {"--fault", "silent-from:2"}, "/ROM/f.nc", 2048, "uH12", {"C", AckC, Ack, ""}, "", -1},
    StepCase{"SilentEot", {"--fault", "silent-eot"}, "/ROM/f.nc", 2048, "uH12E", {"C", AckC, Ack, Ack, ""}, "", -1},
    StepCase{"SilentClose", {"--fault", "silent-close"}, "/ROM/f.nc", 2048, "uH12EZ", {"C", AckC, Ack, Ack, AckC, ""},
             "/ROM/f.nc", -1}),
    [](const testing::TestParamInfo<StepCase>& info) { return std::string(info.param.title); });

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
    EXPECT_TRUE(FolderIsEmpty(outside));
    EXPECT_FALSE(HostPathExists(sim.root + "/ram/cncprg/huge.nc"));
    EXPECT_FALSE(HostPathExists(sim.root + "/escape.nc"));
    EXPECT_EQ(HiddenUploads(sim.root + "/ram/cncprg"), 0);
    RemoveFolder(outside);
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
