// Each fault of the simulated controller produces its behaviour on the line,
// from the command line or from the control file. What our sender makes of
// each fault is checked against the simulator in sim_sender_test.cpp.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <time.h>
#include <unistd.h>

#include "tests/sim/sim_process.h"

namespace {

double SecondsSince(const timespec& start)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) + (now.tv_nsec - start.tv_nsec) / 1e9;
}

// One upload against one fault: the sender's steps ('u' the command, 'H' a
// header for 2048 bytes, '1' '2' data blocks, 'E' EOT, 'Z' the closing
// header) and the reply expected to each.
struct UploadFaultCase {
    const char* fault;
    const char* steps;
    std::vector<std::string> replies;
    bool stored;
};

void PrintTo(const UploadFaultCase& row, std::ostream* out)
{
    *out << row.fault;
}

class SimUploadFaults : public testing::TestWithParam<UploadFaultCase> {
protected:
    void TearDown() override { StopSim(&sim); }
    SimProcess sim;
};

const std::string Ack(1, ACK), Nak(1, NAK), Cans(2, CAN);

TEST_P(SimUploadFaults, RepliesAsTheFaultSays)
{
    const UploadFaultCase& row = GetParam();
    ASSERT_TRUE(StartSim(&sim, {"--fault", row.fault, "--silence-ms", "500"}));
    PurgePort(sim.port);
    for (size_t i = 0; row.steps[i]; i++) {
        std::string answer;
        switch (row.steps[i]) {
        case 'u':
            WriteBytes(sim.port, "u\r");
            answer = ReadAnswer(sim.port, 800, 100);
            break;
        case 'H':
            answer = Reply(sim.port, MakeHeader("/ROM/f.nc", 2048, 1024, true), 800);
            break;
        case 'E':
            answer = Reply(sim.port, std::string(1, EOT), 800);
            break;
        case 'Z':
            answer = Reply(sim.port, MakeFrame(0, "", 1024, true), 800);
            break;
        default:
            answer = Reply(sim.port, MakeFrame(row.steps[i] - '0', std::string(1024, 'z'), 1024, true), 800);
        }
        EXPECT_EQ(answer, row.replies[i]) << "step " << i << " " << row.steps[i];
    }
    EXPECT_EQ(HostPathExists(sim.root + "/ROM/f.nc"), row.stored);
}

INSTANTIATE_TEST_SUITE_P(Faults, SimUploadFaults, testing::Values(
    UploadFaultCase{"can-start", "u", {Cans}, false},
    UploadFaultCase{"silent-start", "u", {""}, false},
    UploadFaultCase{"silent-header", "uH", {"C", ""}, false},
    UploadFaultCase{"can-header", "uH", {"C", Cans}, false},
    UploadFaultCase{"no-space", "uH", {"C", Cans}, false},
    UploadFaultCase{"silent-data-start", "uH", {"C", Ack}, false},
    UploadFaultCase{"nak:2:3", "uH12222E", {"C", Ack + "C", Ack, Nak, Nak, Nak, Ack, Ack + "C"}, true},
    UploadFaultCase{"can-block:2", "uH12", {"C", Ack + "C", Ack, Cans}, false},
    UploadFaultCase{"silent-from:2", "uH12", {"C", Ack + "C", Ack, ""}, false},
    UploadFaultCase{"silent-eot", "uH12E", {"C", Ack + "C", Ack, Ack, ""}, false},
    UploadFaultCase{"silent-close", "uH12EZ", {"C", Ack + "C", Ack, Ack, Ack + "C", ""}, true}),
    [](const testing::TestParamInfo<UploadFaultCase>& info) {
        std::string name = info.param.fault;
        for (char& c : name)
            c = isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

class SimFaults : public testing::Test {
protected:
    void SetUp() override { control = (sim.root = MakeControllerFolder(true)) + "/.faults"; }
    void TearDown() override { StopSim(&sim); }
    void Start() { ASSERT_TRUE(StartSim(&sim, {"--control", control, "--silence-ms", "500"})); }
    void SetFaults(const std::string& lines) { WriteHostFile(control, lines); }
    std::string Listing(uint32_t firstMs = 1000) { return Command(sim.port, "l\r\n", firstMs); }
    SimProcess sim;
    std::string control;
};

TEST_F(SimFaults, ControlFileChangesFaultsAndRestartsCounts)
{
    SetFaults("# every listing unanswered\nlisting-silent\n");
    Start();
    EXPECT_EQ(Listing(600), "");
    EXPECT_EQ(Listing(600), "");
    SetFaults("listing-invalid:1\n\n");
    EXPECT_NE(Listing().find("(dir) ROM\r\nthis line is no listing line\r\n"), std::string::npos);
    std::string valid = Listing();
    EXPECT_EQ(valid.find("no listing line"), std::string::npos);
    SetFaults("listing-silent:2\n");
    EXPECT_EQ(Listing(), valid);
    EXPECT_EQ(Listing(600), "") << "only the counted listing";
    EXPECT_EQ(Listing(), valid);
}

TEST_F(SimFaults, SlowAndGapDelayTheAnswer)
{
    SetFaults("slow:500\n");
    Start();
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    EXPECT_FALSE(Listing().empty());
    EXPECT_GT(SecondsSince(start), 0.45);

    SetFaults("");
    std::string full = Listing();
    SetFaults("listing-gap:700\n");
    PurgePort(sim.port);
    WriteBytes(sim.port, "l\r\n");
    std::string firstPart = ReadAnswer(sim.port, 1000, 300);
    std::string rest = ReadAnswer(sim.port, 1000, 300);
    EXPECT_FALSE(firstPart.empty());
    EXPECT_FALSE(rest.empty());
    EXPECT_EQ(firstPart + rest, full);
}

TEST_F(SimFaults, ListsAndDeleteCanBeSilentAndToolsMissing)
{
    SetFaults("no-tools\nsilent:p\nsilent:d:1\n");
    Start();
    EXPECT_EQ(Command(sim.port, "t\r\n"), "t\r\n");
    EXPECT_EQ(Command(sim.port, "p\r\n", 600), "");
    EXPECT_EQ(Command(sim.port, "d /ram/notes.txt\r", 600), "");
    EXPECT_TRUE(HostPathExists(sim.root + "/ram/notes.txt")) << "an unanswered delete does nothing";
    EXPECT_EQ(Command(sim.port, "d /ram/notes.txt\r"), "File deleted\r\n");
}

TEST_F(SimFaults, HangupAfterClosesTheTerminal)
{
    std::string link = sim.root + "/.com1";
    ASSERT_TRUE(StartSim(&sim, {"--fault", "hangup-after:2", "--link", link}));
    EXPECT_FALSE(Command(sim.port, "t\r\n").empty());
    EXPECT_FALSE(Command(sim.port, "p\r\n").empty());
    EXPECT_EQ(WaitSimExit(&sim, 3000), 0);
    EXPECT_FALSE(HostPathExists(link));
    EXPECT_EQ(write(sim.port, "l\r\n", 3), -1) << "the client's next send fails";
}

TEST(SimFaultSpecs, UnknownFaultsAreRefusedAndEveryFaultIsDocumented)
{
    std::string sim = VANTORIX_SIM_BINARY;
    for (const char* bad : {"nak:1", "listing-silent:0", "silent:x", "slow", "no-such-fault", "can-start:1"})
        EXPECT_EQ(std::system((sim + " --root /tmp --fault " + bad + " >/dev/null 2>&1").c_str()) >> 8, 2) << bad;
    FILE* help = popen((sim + " --help").c_str(), "r");
    ASSERT_NE(help, nullptr);
    std::string text;
    char piece[4096];
    for (size_t got; (got = fread(piece, 1, sizeof piece, help)) > 0;)
        text.append(piece, got);
    EXPECT_EQ(pclose(help), 0);
    for (const char* name : {"silent:X", "listing-silent", "listing-invalid", "listing-gap", "no-tools", "slow:",
                             "hangup-after", "can-start", "silent-start", "silent-header", "can-header",
                             "silent-data-start", "nak:K:N", "can-block", "silent-from", "stall-from", "silent-eot",
                             "silent-close", "no-space", "ack-delay", "--silence-ms", "--baud", "--control"})
        EXPECT_NE(text.find(name), std::string::npos) << name;
}

}   // namespace
