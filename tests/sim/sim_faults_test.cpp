// Each fault of the simulated controller produces its behaviour on the line,
// from the command line or from the control file. The faults of an upload
// are rows of sim_upload_test.cpp; what our sender makes of each fault is
// checked in sim_sender_test.cpp.
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

TEST(SimFaultSpecs, UnknownFaultsAreRefused)
{
    std::string sim = VANTORIX_SIM_BINARY;
    for (const char* bad : {"nak:1", "listing-silent:0", "silent:x", "slow", "no-such-fault", "can-start:1"})
        EXPECT_EQ(std::system((sim + " --root /tmp --fault " + bad + " >/dev/null 2>&1").c_str()) >> 8, 2) << bad;
}

}   // namespace
