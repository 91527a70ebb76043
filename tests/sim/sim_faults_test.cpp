// Each fault of the simulated controller produces its behaviour on the line,
// from the command line or from the control file.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
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
    void SetUp() override
    {
        sim.root = MakeControllerFolder(true);
        control = sim.root + "/.faults";
    }
    void TearDown() override { StopSim(&sim); }
    void Start(std::vector<std::string> options = {})
    {
        options.insert(options.end(), {"--control", control, "--silence-ms", "500"});
        ASSERT_TRUE(StartSim(&sim, options));
    }
    void SetFaults(const std::string& lines) { WriteHostFile(control, lines); }
    std::string Listing(uint32_t firstMs = 1000) { return Command(sim.port, "l\r\n", firstMs); }
    // "u\r", the first request, a header for a file of the given size.
    void BeginFile(const std::string& path, uint64_t size)
    {
        PurgePort(sim.port);
        WriteBytes(sim.port, "u\r");
        ASSERT_EQ(ReadByte(sim.port, 1000), 'C');
        WriteBytes(sim.port, MakeHeader(path, size, 1024, true));
    }
    void ExpectHeaderTaken()
    {
        int reply = ReadByte(sim.port, 1000);
        while (reply == 'C')
            reply = ReadByte(sim.port, 1000);
        ASSERT_EQ(reply, ACK);
        ASSERT_EQ(ReadByte(sim.port, 1000), 'C');
    }
    void SendBlock(int number) { WriteBytes(sim.port, MakeFrame(number, std::string(1024, 'z'), 1024, true)); }
    bool Stored(const std::string& path) { return HostPathExists(sim.root + path); }

    SimProcess sim;
    std::string control;
};

TEST_F(SimFaults, ListingSilentHitsTheCountedListingOnly)
{
    ASSERT_TRUE(StartSim(&sim, {"--fault", "listing-silent:2"}));
    std::string first = Listing();
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(Listing(600), "");
    EXPECT_EQ(Listing(), first);
}

TEST_F(SimFaults, ControlFileChangesFaultsAndRestartsCounts)
{
    SetFaults("# every listing unanswered\nlisting-silent\n");
    Start();
    EXPECT_EQ(Listing(600), "");
    EXPECT_EQ(Listing(600), "");
    SetFaults("listing-invalid:1\n\n");
    std::string invalid = Listing();
    EXPECT_NE(invalid.find("(dir) ROM\r\nthis line is no listing line\r\n"), std::string::npos);
    std::string valid = Listing();
    EXPECT_EQ(valid.find("no listing line"), std::string::npos);
    SetFaults("");
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
    EXPECT_EQ((firstPart + rest).size(), full.size());
}

TEST_F(SimFaults, ListsAndDeleteCanBeSilentAndToolsMissing)
{
    SetFaults("no-tools\nsilent:p\nsilent:d:1\n");
    Start();
    EXPECT_EQ(Command(sim.port, "t\r\n"), "t\r\n");
    EXPECT_EQ(Command(sim.port, "p\r\n", 600), "");
    EXPECT_EQ(Command(sim.port, "d /ram/notes.txt\r", 600), "");
    EXPECT_TRUE(Stored("/ram/notes.txt")) << "an unanswered delete does nothing";
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
    errno = 0;
    EXPECT_EQ(write(sim.port, "l\r\n", 3), -1) << "the client's next send fails";
}

TEST_F(SimFaults, StartFaults)
{
    SetFaults("can-start\n");
    Start();
    PurgePort(sim.port);
    WriteBytes(sim.port, "u\r");
    EXPECT_EQ(ReadAnswer(sim.port, 1000), std::string(2, CAN));

    SetFaults("silent-start\n");
    PurgePort(sim.port);
    WriteBytes(sim.port, "u\r");
    EXPECT_EQ(ReadAnswer(sim.port, 700), "");
}

TEST_F(SimFaults, HeaderFaults)
{
    SetFaults("silent-header\n");
    Start();
    BeginFile("/ram/cncprg/h.nc", 1);
    EXPECT_EQ(ReadAnswer(sim.port, 1000), "") << "no ACK, no data start request";

    SetFaults("can-header\n");
    usleep(400000);
    BeginFile("/ram/cncprg/h.nc", 1);
    EXPECT_EQ(ReadAnswer(sim.port, 1000), std::string(2, CAN));

    SetFaults("silent-data-start\n");
    usleep(400000);
    BeginFile("/ram/cncprg/h.nc", 1);
    EXPECT_EQ(ReadAnswer(sim.port, 1000), std::string(1, ACK));
    usleep(800000);
    EXPECT_FALSE(Stored("/ram/cncprg/h.nc"));
    EXPECT_EQ(Command(sim.port, "t\r\n").substr(0, 3), "t\r\n");
}

TEST_F(SimFaults, DataBlockFaults)
{
    SetFaults("nak:2:3\n");
    Start();
    BeginFile("/ram/cncprg/n.nc", 2048);
    ExpectHeaderTaken();
    SendBlock(1);
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    for (int i = 0; i < 3; i++) {
        SendBlock(2);
        EXPECT_EQ(ReadByte(sim.port, 1000), NAK);
    }
    SendBlock(2);
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    WriteBytes(sim.port, std::string(1, EOT));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    EXPECT_TRUE(Stored("/ram/cncprg/n.nc"));
    WriteBytes(sim.port, std::string(1, CAN));
    usleep(400000);

    SetFaults("can-block:2\n");
    BeginFile("/ram/cncprg/c.nc", 4096);
    ExpectHeaderTaken();
    SendBlock(1);
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    SendBlock(2);
    EXPECT_EQ(ReadByte(sim.port, 1000), CAN);
    usleep(400000);
    EXPECT_FALSE(Stored("/ram/cncprg/c.nc"));

    SetFaults("silent-from:2\n");
    BeginFile("/ram/cncprg/s.nc", 4096);
    ExpectHeaderTaken();
    SendBlock(1);
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    SendBlock(2);
    EXPECT_EQ(ReadAnswer(sim.port, 800), "");
    EXPECT_FALSE(Stored("/ram/cncprg/s.nc"));
}

TEST_F(SimFaults, AckDelayHoldsEveryReply)
{
    SetFaults("ack-delay:400\n");
    Start();
    BeginFile("/ram/cncprg/d.nc", 1);
    timespec start{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    ExpectHeaderTaken();
    EXPECT_GT(SecondsSince(start), 0.35);
    clock_gettime(CLOCK_MONOTONIC, &start);
    SendBlock(1);
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    EXPECT_GT(SecondsSince(start), 0.35);
}

TEST_F(SimFaults, EndFaults)
{
    SetFaults("silent-eot\n");
    Start();
    BeginFile("/ram/cncprg/e.nc", 1);
    ExpectHeaderTaken();
    SendBlock(1);
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    WriteBytes(sim.port, std::string(1, EOT));
    EXPECT_EQ(ReadAnswer(sim.port, 800), "");
    EXPECT_FALSE(Stored("/ram/cncprg/e.nc"));

    SetFaults("silent-close\n");
    BeginFile("/ram/cncprg/e.nc", 1);
    ExpectHeaderTaken();
    SendBlock(1);
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    WriteBytes(sim.port, std::string(1, EOT));
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    EXPECT_EQ(ReadByte(sim.port, 1000), 'C');
    WriteBytes(sim.port, MakeFrame(0, "", 1024, true));
    int reply = ReadByte(sim.port, 800);
    while (reply == 'C')
        reply = ReadByte(sim.port, 800);
    EXPECT_EQ(reply, -1) << "the closing header is not acknowledged";
    EXPECT_EQ(ReadHostFile(sim.root + "/ram/cncprg/e.nc"), "z");
}

TEST_F(SimFaults, NoSpaceEmptiesBothDisks)
{
    SetFaults("no-space\n");
    Start();
    std::string listing = Listing();
    EXPECT_NE(listing.find("Free RamDisk: 0\r\nFree FlashDisk: 0\r\n"), std::string::npos);
    BeginFile("/ROM/x.nc", 1);
    int reply = ReadByte(sim.port, 1000);
    while (reply == 'C')
        reply = ReadByte(sim.port, 1000);
    EXPECT_EQ(reply, CAN);
}

TEST_F(SimFaults, StallStopsReadingTheLine)
{
    SetFaults("stall-from:2:3\n");
    Start();
    BeginFile("/ram/cncprg/st.nc", 100000);
    ExpectHeaderTaken();
    SendBlock(1);
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK);
    SendBlock(2);
    EXPECT_EQ(ReadByte(sim.port, 1000), ACK) << "blind acknowledgements";
    // Our writes back up once the terminal's buffers are full.
    fcntl(sim.port, F_SETFL, fcntl(sim.port, F_GETFL) | O_NONBLOCK);
    std::string piece(1029, 'w');
    size_t written = 0;
    bool blocked = false;
    while (written < 8 * 1024 * 1024 && !blocked) {
        ssize_t put = write(sim.port, piece.data(), piece.size());
        if (put > 0)
            written += static_cast<size_t>(put);
        else
            blocked = errno == EAGAIN;
    }
    EXPECT_TRUE(blocked) << written << " bytes went out without blocking";
    fcntl(sim.port, F_SETFL, fcntl(sim.port, F_GETFL) & ~O_NONBLOCK);
    EXPECT_FALSE(Stored("/ram/cncprg/st.nc"));
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
    size_t got = 0;
    while ((got = fread(piece, 1, sizeof piece, help)) > 0)
        text.append(piece, got);
    EXPECT_EQ(pclose(help), 0);
    for (const char* name : {"silent:X", "listing-silent", "listing-invalid", "listing-gap", "no-tools", "slow:",
                             "hangup-after", "can-start", "silent-start", "silent-header", "can-header",
                             "silent-data-start", "nak:K:N", "can-block", "silent-from", "stall-from", "silent-eot",
                             "silent-close", "no-space", "ack-delay", "--silence-ms", "--baud", "--control"})
        EXPECT_NE(text.find(name), std::string::npos) << name;
}

}   // namespace
