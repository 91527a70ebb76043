// The simulated controller on its terminal: commands and faults as sessions
// (tests/sim/sessions.txt), its receiver against hand-made frames step by step
// (tests/sim/uploads.txt), and a whole batch from an independent sender (sz).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <termios.h>
#include <unistd.h>

#include "tests/upload/line_bytes.h"
#include "tests/upload/pty_relay.h"

namespace {

namespace fs = std::filesystem;
constexpr char EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;
const std::string Ack(1, ACK), Nak(1, NAK), Cans(2, CAN);
const std::string SampleListing =
    "Directory of the controller\r\n(dir) ROM\r\n (dir) macros\r\n  54 toolchange.nc\r\n 54 setup.dat\r\n(dir) ram\r\n"
    " (dir) cncprg\r\n  (dir) fixtures\r\n   30 clamp.nc\r\n   (dir) deep\r\n    (dir) deeper\r\n     71 drill.nc\r\n"
    "  69 part b.nc\r\n  108 part1.nc\r\n (dir) empty\r\n 56 notes.txt\r\nFree RamDisk: 1048242\r\n"
    "Free FlashDisk: 4194196\r\n\r\n";
const std::string StaleListing = "Directory of the controller\r\n(dir) ROM\r\n(dir) ram\r\n (dir) cncprg\r\n  4242 stale.nc\r\n"
                                 "Free RamDisk: 4242\r\nFree FlashDisk: 4242\r\n\r\n";

std::string MakeHeader(const std::string& path, uint64_t size) { return Frame(true, 0, path + '\0' + std::to_string(size)); }
std::string Block(int number) { return Frame(true, static_cast<unsigned char>(number), std::string(1024, char('a' + number - 1))); }

// Writes what a sender writes; the reply without the start requests in front of it.
std::string Reply(int port, const std::string& bytes, unsigned firstMs = 1000)
{
    WriteBytes(port, bytes);
    std::string answer = ReadAnswer(port, firstMs, 100);
    return answer.erase(0, std::min(answer.find_first_not_of('C'), answer.size()));
}

// Options as one string; '@' stands for the controller folder.
std::vector<std::string> Options(const std::string& root, std::string text)
{
    std::vector<std::string> args = {VANTORIX_SIM_BINARY, "--silence-ms", "300"};
    std::istringstream words(text);
    for (std::string word; words >> word;)
        args.push_back(word[0] == '@' ? root + word.substr(1) : word);
    return args;
}

// <CR> <LF> <CAN> <ACK> <NAK> <SOH> are those bytes, <SAMPLE> the sample's listing, <STALE> the stale one of
// bad-then-talk, "-" nothing; <PAUSE> and <LISTEN> become marks for the session driver.
std::string Decode(const std::string& text)
{
    const std::pair<std::string, std::string> names[] = {{"<CR>", "\r"}, {"<LF>", "\n"}, {"<CAN>", Cans.substr(1)},
        {"<ACK>", Ack}, {"<NAK>", Nak}, {"<SOH>", "\x01"}, {"<PAUSE>", "\v"}, {"<LISTEN>", "\f"},
        {"<SAMPLE>", SampleListing}, {"<STALE>", StaleListing}};
    return DecodeNames<std::string>(text, names);
}

// The lines of a data file beside this one, without comments and blank lines.
std::vector<std::string> DataLines(const char* name)
{
    std::vector<std::string> lines;
    std::ifstream in(std::string(SIM_TEST_DATA) + "/" + name);
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    return lines;
}

class Sim : public testing::Test {
protected:
    void SetUp() override
    {
        sim.root = MakeFolder(SIM_SAMPLE_DIR);
        WriteHostFile(sim.root + "/.tools.lf", "T1 mill\nT2 drill\n");
        WriteHostFile(sim.root + "-outside.txt", "must survive");
        fs::create_symlink(sim.root + "-outside.txt", sim.root + "/ram/link.nc");
    }
    void TearDown() override
    {
        StopSim(&sim);
        fs::remove(sim.root + "-outside.txt");
    }
    void Start(const std::string& options) { ASSERT_TRUE(StartSim(&sim, Options(sim.root, options))); }
    std::string Disk(const std::string& path) { return sim.root + path; }
    SimProcess sim;
};

struct SessionCase {
    std::string title, options;
    std::vector<std::pair<std::string, std::string>> steps;   // command, answer
};

void PrintTo(const SessionCase& row, std::ostream* out) { *out << row.title; }

std::vector<SessionCase> Sessions()
{
    std::vector<SessionCase> all;
    for (const std::string& line : DataLines("sessions.txt")) {
        if (line.starts_with("case "))
            all.push_back({line.substr(5, line.find(' ', 5) - 5), line.find(' ', 5) == std::string::npos ? "" : line.substr(line.find(' ', 5)), {}});
        else
            all.back().steps.emplace_back(Decode(line.substr(0, line.find(" => "))), Decode(line.substr(line.find(" => ") + 4)));
    }
    return all;
}

class SimSessions : public Sim, public testing::WithParamInterface<SessionCase> {};

// Sends a step's command and reads what comes until the line is quiet, for a second at most: "..." sends
// nothing and waits longer for the first byte, a pause mark splits the command in two, a trailing listen mark
// reads a whole second.
std::string Exchange(int port, const std::string& send)
{
    if (send == "...")
        return ReadAnswer(port, 1500, 150, 1500);
    bool listen = send.ends_with('\f');
    std::string command = send.substr(0, send.size() - listen);
    std::string first = command.substr(0, command.find('\v'));
    tcflush(port, TCIOFLUSH);
    WriteBytes(port, first);
    if (first.size() == command.size())
        return listen ? ReadAnswer(port, 1000, 1000, 1000) : ReadAnswer(port, 700, 150, 1000);
    ReadAnswer(port, 700, 150, 1000);
    usleep(100000);
    WriteBytes(port, command.substr(first.size() + 1));
    return ReadAnswer(port, 700, 150, 1000);
}

// One fact about an answer: "TEXT" the whole of it, "TEXT*" its start, "*TEXT" its end, "~REGEX" a pattern of the
// whole, "#>N" more than N bytes.
void ExpectAnswer(const std::string& answer, const std::string& expected, const std::string& send)
{
    if (expected.starts_with("#>")) {
        EXPECT_GT(answer.size(), std::stoul(expected.substr(2))) << send;
    } else if (expected.starts_with('~')) {
        EXPECT_TRUE(std::regex_match(answer, std::regex(expected.substr(1)))) << send << " gave " << answer;
    } else if (expected.starts_with('*')) {
        size_t tail = std::min(answer.size(), expected.size() - 1);
        EXPECT_EQ(answer.substr(answer.size() - tail), expected.substr(1)) << send;
    } else if (expected.ends_with('*')) {
        EXPECT_EQ(answer.substr(0, expected.size() - 1), expected.substr(0, expected.size() - 1)) << send;
    } else {
        EXPECT_EQ(answer, expected) << send;
    }
}

TEST_P(SimSessions, AnswerAsExpected)
{
    Start(GetParam().options);
    for (const auto& [send, expected] : GetParam().steps) {
        if (send[0] == '=') {
            WriteHostFile(Disk("/.faults"), send.substr(1));
        } else if (send == "<EXIT>") {
            EXPECT_EQ(WaitSimExit(&sim, 3000), std::stoi(expected)) << "the simulator's exit";
        } else if (expected == "<HANGUP>") {
            EXPECT_EQ(write(sim.port, send.data(), send.size()), -1) << send << " written to a line that hung up";
        } else {
            ExpectAnswer(Exchange(sim.port, send), expected, send);
        }
    }
    EXPECT_EQ(ReadHostFile(sim.root + "-outside.txt"), "must survive");
}

INSTANTIATE_TEST_SUITE_P(Commands, SimSessions, testing::ValuesIn(Sessions()),
                         [](const testing::TestParamInfo<SessionCase>& info) { return info.param.title; });

TEST_F(Sim, HangsUpAfterTwoCommandsAndTakesItsLinkAlong)
{
    std::string link = Disk("/.com1");
    Start("--fault hangup-after:2 --link " + link);
    EXPECT_EQ(fs::read_symlink(link).string(), sim.slave);
    // A client that closes and reopens the port, with an answer pending meanwhile.
    close(sim.port);
    int writer = OpenPortRaw(sim.slave);
    WriteBytes(writer, "p\r");
    close(writer);
    usleep(50000);
    sim.port = OpenPortRaw(link);
    EXPECT_EQ(Command(sim.port, "l\r\n"), SampleListing);
    EXPECT_EQ(WaitSimExit(&sim, 3000), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_EQ(write(sim.port, "l\r\n", 3), -1) << "the client's next send fails";
}

TEST_F(Sim, RefusesUnknownFaultsAndRepeatsStartRequestsEveryQuarterSecond)
{
    for (const char* bad : {"nak:1", "listing-silent:0", "silent:x", "slow", "no-such-fault", "can-start:1", "listing-gap:9:0",
                            "pause:l:5", "pause:u:1:5", "long:d", "endless:l", "noise:p:9:0", "hangup-at:lp:1", "bad-then-talk:x"})
        EXPECT_EQ(std::system((VANTORIX_SIM_BINARY " --root /tmp --fault " + std::string(bad) + " >/dev/null 2>&1").c_str()) >> 8, 2) << bad;
    Start("");
    tcflush(sim.port, TCIOFLUSH);
    WriteBytes(sim.port, "u\r");
    usleep(625000);   // requests at about 0, 0.25 and 0.5 s; the fourth is not due yet
    EXPECT_EQ(ReadAnswer(sim.port, 10, 10), "CCC");
    WriteBytes(sim.port, std::string(1, CAN));
}

// One upload as the sender's steps and the reply expected to each (tests/sim/uploads.txt).
struct StepCase {
    std::string title, options, header;
    uint32_t size;
    std::string steps;
    std::vector<std::string> replies;
    std::string stored;     // where the file must be afterwards, "" for nowhere
    int exitCode;           // of a simulator that ends by itself, else -1
};

void PrintTo(const StepCase& row, std::ostream* out) { *out << row.title; }

std::vector<StepCase> Uploads()
{
    std::vector<StepCase> all;
    for (const std::string& line : DataLines("uploads.txt")) {
        std::vector<std::string> field, replies;
        std::istringstream fields(line);
        for (std::string text; std::getline(fields, text, '|');)
            field.push_back(text.substr(1, text.size() - 1 - (text.back() == ' ')));
        std::istringstream words(field[5]);
        for (std::string word; words >> word;)
            replies.push_back(Decode(word));
        all.push_back({line.substr(0, line.find(' ')), Decode(field[1]), field[2], uint32_t(std::stoul(field[3])), field[4],
                       replies, Decode(field[6]), std::stoi(field[7])});
    }
    return all;
}

class SimReceiver : public Sim, public testing::WithParamInterface<StepCase> {};

TEST_P(SimReceiver, RepliesAsExpected)
{
    const StepCase& row = GetParam();
    Start(row.options);
    std::string frame1 = Block(1), checkWrong = frame1, complementWrong = frame1;
    checkWrong[500] ^= 1, complementWrong[2] ^= 1;
    const std::map<char, std::pair<std::string, unsigned>> sends = {   // bytes, wait for the reply
        {'H', {MakeHeader(row.header, row.size), 600}}, {'c', {checkWrong, 2000}}, {'k', {complementWrong, 2000}},
        {'s', {frame1.substr(0, 600), 3000}}, {'E', {std::string(1, EOT), 600}}, {'Z', {Frame(true, 0, std::string()), 600}},
        {'X', {std::string(1024, CAN), 300}}, {'x', {std::string(1, CAN), 300}}};
    tcflush(sim.port, TCIOFLUSH);
    for (size_t i = 0; i < row.steps.size(); i++) {
        char step = row.steps[i];
        std::string answer;
        if (step == 'u' || step == 'r') {
            if (step == 'u')
                WriteBytes(sim.port, "u\r");
            answer = ReadAnswer(sim.port, 600, 100).substr(0, 2);
            answer = answer == "CC" ? "C" : answer;
        } else if (step >= '1' && step <= '9')
            answer = Reply(sim.port, Block(step - '0'), 600);
        else if (step == 'h')
            answer = std::to_string(HiddenUploads(Disk(row.stored.substr(0, row.stored.rfind('/')))));
        else if (step == 'w')
            usleep(500000);
        else
            answer = Reply(sim.port, sends.at(step).first, sends.at(step).second);
        EXPECT_EQ(answer, row.replies.at(i)) << "step " << i << " '" << step << "'";
    }
    if (row.exitCode >= 0) {
        EXPECT_EQ(WaitSimExit(&sim, 3000), row.exitCode);
    } else {
        if (row.steps.back() != 'Z' || row.replies.back() != Ack)
            usleep(400000);   // an unfinished batch: the receiver gives up after its silence limit
        EXPECT_EQ(Command(sim.port, "t\r\n").substr(0, 3), "t\r\n") << "back in command mode";
    }
    std::string expected;
    for (uint32_t block = 0; expected.size() < row.size; block++)
        expected += std::string(1024, 'a' + block);
    expected.resize(row.size);
    if (!row.stored.empty())
        EXPECT_EQ(ReadHostFile(Disk(row.stored)), expected);
    EXPECT_EQ(fs::is_regular_file(fs::symlink_status(Disk(row.header))), row.stored == row.header);
    EXPECT_EQ(HiddenUploads(Disk("/ram/cncprg")) + HiddenUploads(Disk("/ROM")), 0);
    EXPECT_EQ(ReadHostFile(sim.root + "-outside.txt"), "must survive");
}

INSTANTIATE_TEST_SUITE_P(Uploads, SimReceiver, testing::ValuesIn(Uploads()),
                         [](const testing::TestParamInfo<StepCase>& info) { return info.param.title; });

class SimWithSz : public Sim, public testing::WithParamInterface<const char*> {};

// sz in the simulator's mode ("crc" or "checksum", with -k for 1024-byte blocks).
TEST_P(SimWithSz, BatchArrivesByteExact)
{
    if (std::system("command -v sz >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "sz (lrzsz) is not installed";
    std::string mode = GetParam(), pc = MakeFolder(nullptr);
    std::string command = "cd " + pc + " && timeout 60 sz --ymodem -q" + (mode.ends_with("-k") ? " -k" : "");
    const std::vector<std::string> names = {"big.bin", "one block.nc", "tiny.nc", "odd.nc", "empty.nc"};
    // 140000 bytes run the block number past 255 in either block size.
    std::vector<std::string> contents = {std::string(140000, 0), std::string(1024, 0), "x", std::string(1025, 0), ""};
    std::mt19937 random(7);
    uint64_t total = 0;
    for (size_t i = 0; i < names.size(); i++) {
        for (char& byte : contents[i])
            byte = static_cast<char>(random());
        WriteHostFile(pc + "/" + names[i], contents[i]);
        command += " '" + names[i] + "'";
        total += contents[i].size();
    }
    Start("--mode " + mode.substr(0, mode.find(' ')));
    WriteBytes(sim.port, "u\r");
    EXPECT_EQ(std::system((command + " <" + sim.slave + " >" + sim.slave + " 2>/dev/null").c_str()), 0);
    for (size_t i = 0; i < names.size(); i++)
        EXPECT_EQ(ReadHostFile(Disk("/ram/cncprg/" + names[i])), contents[i]) << names[i];
    EXPECT_EQ(HiddenUploads(Disk("/ram/cncprg")), 0);
    // Back in command mode, with the free space lowered by what came.
    std::string after = Command(sim.port, "l\r\n", 2000);
    EXPECT_NE(after.find("  0 empty.nc\r\n"), std::string::npos);
    EXPECT_NE(after.find("Free RamDisk: " + std::to_string(1048242 - total) + "\r\n"), std::string::npos);
    fs::remove_all(pc);
}

INSTANTIATE_TEST_SUITE_P(Modes, SimWithSz, testing::Values("crc", "crc -k", "checksum", "checksum -k"));

}   // namespace
