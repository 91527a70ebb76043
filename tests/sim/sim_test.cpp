// The simulated controller on its terminal: commands, faults and its receiver against hand-made frames as
// sessions (tests/sim/sessions.txt), and a whole batch from an independent sender (sz).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <random>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "tests/support/case_blocks.h"
#include "tests/support/scratch_dir.h"
#include "tests/upload/line_bytes.h"
#include "tests/upload/pty_relay.h"

namespace {

namespace fs = std::filesystem;
constexpr char CAN = 0x18;

// The simulator on its terminal, serving a controller folder.
struct SimProcess {
    int pid = -1, port = -1;
    std::string root, slave;
};

// What arrives until the line was quiet for quietMs, waiting firstMs for the first byte, and at most for maxMs
// in all (a line that never goes quiet).
std::string ReadAnswer(int port, unsigned firstMs, unsigned quietMs = 150, unsigned maxMs = 60000)
{
    std::string answer;
    char piece[65536];
    for (const double end = Seconds() + maxMs / 1000.0;;) {
        double left = end - Seconds();
        int waitMs = static_cast<int>(std::min<double>(answer.empty() ? firstMs : quietMs, left * 1000));
        pollfd watch{port, POLLIN, 0};
        if (left <= 0 || poll(&watch, 1, waitMs) <= 0 || !(watch.revents & POLLIN))
            return answer;
        ssize_t got = read(port, piece, sizeof piece);
        if (got <= 0)
            return answer;
        answer.append(piece, static_cast<size_t>(got));
    }
}

// Purges the line, sends the text and reads the answer.
std::string Command(int port, const std::string& text, unsigned firstMs = 700)
{
    tcflush(port, TCIOFLUSH);
    WriteBytes(port, text);
    return ReadAnswer(port, firstMs);
}

// Starts the simulator, which prints its terminal's path first; 1 once that terminal is open.
int StartSim(SimProcess* sim, std::vector<std::string> args)
{
    args.insert(args.begin() + 1, {"--root", sim->root});
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return 0;
    sim->pid = SpawnChild(argv.data(), nullptr, -1, out[1]);
    close(out[1]);
    std::string line = ReadAnswer(out[0], 5000, 100);
    close(out[0]);
    sim->slave = line.substr(0, line.find('\n'));
    sim->port = line.find('\n') == std::string::npos ? -1 : OpenPortRaw(sim->slave);
    return sim->port >= 0;
}

// The exit status of a simulator that ends within ms (-1: it runs on, or did not exit normally).
int WaitSimExit(SimProcess* sim, unsigned ms)
{
    for (double end = Seconds() + ms / 1000.0; Seconds() < end; usleep(10000)) {
        int status = 0;
        if (waitpid(sim->pid, &status, WNOHANG) == sim->pid) {
            sim->pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
    }
    return -1;
}

void StopSim(SimProcess* sim)
{
    if (sim->pid > 0 && (kill(sim->pid, SIGTERM) != 0 || WaitSimExit(sim, 5000) < 0))
        kill(sim->pid, SIGKILL), waitpid(sim->pid, nullptr, 0);
    if (sim->port >= 0)
        close(sim->port);
}

// Whether t is answered within a few seconds: after an unfinished batch once the receiver's silence limit passed
// and it swallowed what came meanwhile (the t sent before that among it).
int AnswersCommands(int port)
{
    for (double end = Seconds() + 5; Seconds() < end;)
        if (Command(port, "t\r\n").starts_with("t\r\n"))
            return 1;
    return 0;
}

// Files of uploads under way in the folder.
int HiddenUploads(const std::string& folder)
{
    std::error_code ignored;
    auto hidden = [](const fs::directory_entry& entry) { return entry.path().filename().string().starts_with(".sim-upload-"); };
    return static_cast<int>(std::count_if(fs::directory_iterator(folder, ignored), {}, hidden));
}
const std::string SampleListing =
    "Directory of the controller\r\n(dir) ROM\r\n (dir) macros\r\n  54 toolchange.nc\r\n 54 setup.dat\r\n(dir) ram\r\n"
    " (dir) cncprg\r\n  (dir) fixtures\r\n   30 clamp.nc\r\n   (dir) deep\r\n    (dir) deeper\r\n     71 drill.nc\r\n"
    "  69 part b.nc\r\n  108 part1.nc\r\n (dir) empty\r\n 56 notes.txt\r\nFree RamDisk: 1048242\r\n"
    "Free FlashDisk: 4194196\r\n\r\n";
const std::string StaleListing = "Directory of the controller\r\n(dir) ROM\r\n(dir) ram\r\n (dir) cncprg\r\n  4242 stale.nc\r\n"
                                 "Free RamDisk: 4242\r\nFree FlashDisk: 4242\r\n\r\n";

// Data block N of an upload holds 1024 bytes of the letter 'a' + N - 1; a file of SIZE bytes is what they bring.
std::string Block(int number) { return Frame(true, static_cast<unsigned char>(number), std::string(1024, char('a' + number - 1))); }
std::string BlocksContent(uint32_t size)
{
    std::string content;
    for (char letter = 'a'; content.size() < size; letter++)
        content += std::string(1024, letter);
    return content.substr(0, size);
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

// The names a session may use beside the control bytes: listings, and the frames of an upload.
ByteNames FrameNames()
{
    std::string checkWrong = Block(1), complementWrong = Block(1);
    checkWrong[500] ^= 1, complementWrong[2] ^= 1;
    ByteNames names = {{"SAMPLE", SampleListing},       {"STALE", StaleListing},
                       {"BADCHECK", checkWrong},        {"BADCOMPLEMENT", complementWrong},
                       {"SHORTBLOCK", Block(1).substr(0, 600)}, {"CLOSINGHEADER", Frame(true, 0, std::string())}};
    for (int number = 1; number <= 9; number++)
        names.emplace_back("BLOCK" + std::to_string(number), Block(number));
    return names;
}
const ByteNames SessionNames = FrameNames();

class Sim : public testing::Test {
protected:
    void SetUp() override
    {
        fs::copy(SIM_SAMPLE_DIR, sim.root, fs::copy_options::recursive);
        WriteHostFile(sim.root + "/.tools.lf", "T1 mill\nT2 drill\n");
        WriteHostFile(outside, "must survive");
        fs::create_symlink(outside, sim.root + "/ram/link.nc");
    }
    void TearDown() override { StopSim(&sim); }
    void Start(const std::string& options) { ASSERT_TRUE(StartSim(&sim, Options(sim.root, options))); }
    std::string Disk(const std::string& path) { return sim.root + path; }
    ScratchDir dir;
    std::string outside = dir.File("outside.txt");   // beside the controller folder, linked from inside it
    SimProcess sim = {-1, -1, dir.File("root"), ""};
};

// The steps of a session (tests/sim/README.md): what is sent, then " => " and what must come back.
const std::vector<VerbShape> SessionVerbs = {
    {"send", 3, ANY_NUMBER}, {"listen", 2, ANY_NUMBER}, {"read-on", 2, ANY_NUMBER}, {"header", 4, ANY_NUMBER},
    {"faults", 1, ANY_NUMBER}, {"exit", 1, 1}, {"send-fails", 1, ANY_NUMBER}, {"hidden-files", 2, 2},
    {"stored", 2, 2}, {"back-in-command-mode", 0, 0}, {"no-file", 1, 1}};

struct SessionStep {
    int line;
    std::string verb;
    ByteText send;                 // the bytes sent, with pauses between pieces
    std::string kind, expected;    // how the answer is judged, and against what
};

struct SessionCase {
    std::string name, options, file;
    std::vector<SessionStep> steps;
};

void PrintTo(const SessionCase& session, std::ostream* out) { *out << session.name; }

// A step's line: what it sends (faults: the control file's text; header: block 0 of the path and size) and, for
// an exchange, the answer after " => " as a kind and its text; the words of a check; "" when it reads, else why not.
std::string ReadStep(const CaseLine& line, SessionStep* step)
{
    static const std::regex exchange("(.*?) ?=> (is|starts|ends|follows|matches|longer-than|nothing)(?: (.*))?");
    std::smatch part;
    *step = {line.line, line.verb, {}, "", ""};
    int answered = std::regex_match(line.rest, part, exchange);
    if (answered != (line.verb == "send" || line.verb == "listen" || line.verb == "read-on" || line.verb == "header"))
        return "'" + line.verb + (answered ? "' takes no answer" : "' needs ' => ' and a kind of answer");
    if (line.verb != "faults" && line.verb != "send-fails" && !answered)   // a check: its words as written
        return step->expected = line.rest, "";
    std::string sent = part[1], problem;
    if (line.verb == "header")   // "PATH SIZE"
        step->send.bytes = Frame(true, 0, sent.substr(0, sent.rfind(' ')) + '\0' + sent.substr(sent.rfind(' ') + 1));
    else
        problem = ReadByteText(answered ? sent : line.rest, &step->send, SessionNames);
    if (!problem.empty() || !answered)
        return problem;
    step->kind = part[2];
    if (line.verb == "read-on" && !step->send.bytes.empty())
        return "'read-on' sends nothing";
    if (step->kind == "matches" || step->kind == "longer-than" || step->kind == "nothing")   // as written
        return step->expected = part[3], step->kind == "nothing" && part[3].matched ? "'nothing' takes no text" : "";
    ByteText answer;
    problem = ReadByteText(part[3], &answer, SessionNames);
    step->expected = answer.bytes;
    return problem.empty() && !answer.pauses.empty() ? "a pause in an answer" : problem;
}

// What the data files hold that cannot be read, for the test of the files: the cases are made before any test runs.
std::vector<std::string> dataProblems;

std::vector<SessionCase> Sessions()
{
    std::vector<SessionCase> all;
    const std::string path = std::string(SIM_TEST_DATA) + "/sessions.txt";
    std::ifstream in(path, std::ios::binary);
    for (const CaseBlock& block : ParseCaseBlocks(in, path, SessionVerbs, &dataProblems)) {
        all.push_back({block.name, block.more, block.file, {}});
        for (const CaseLine& line : block.lines) {
            SessionStep step;
            std::string problem = ReadStep(line, &step);
            if (!problem.empty())
                dataProblems.push_back(block.Where(line.line) + ": " + problem);
            else
                all.back().steps.push_back(step);
        }
    }
    return all;
}

const std::vector<SessionCase>& SessionCases()
{
    static const std::vector<SessionCase> all = Sessions();
    return all;
}

class SimSessions : public Sim, public testing::WithParamInterface<SessionCase> {};

// Sends a step's bytes and reads what comes until the line is quiet, for a second at most; a pause in the bytes
// lets that long pass between the pieces (what comes meanwhile is dropped). read-on sends nothing and waits longer
// for the first byte, listen reads a whole second.
std::string Exchange(int port, const SessionStep& step)
{
    if (step.verb == "read-on")
        return ReadAnswer(port, 1500, 150, 1500);
    tcflush(port, TCIOFLUSH);
    size_t from = 0;
    for (const auto& [at, ms] : step.send.pauses) {
        WriteBytes(port, step.send.bytes.substr(from, at - from));
        ReadAnswer(port, ms, ms, ms);
        from = at;
    }
    WriteBytes(port, step.send.bytes.substr(from));
    return step.verb == "listen" ? ReadAnswer(port, 1000, 1000, 1000) : ReadAnswer(port, 700, 150, 1000);
}

// One fact about an answer, of the step's kind.
void ExpectAnswer(const std::string& answer, const SessionStep& step)
{
    const std::string& expected = step.expected;
    if (step.kind == "longer-than") {
        EXPECT_GT(answer.size(), std::stoul(expected));
    } else if (step.kind == "matches") {
        EXPECT_TRUE(std::regex_match(answer, std::regex(expected))) << "got " << answer;
    } else if (step.kind == "ends") {
        EXPECT_EQ(answer.substr(answer.size() - std::min(answer.size(), expected.size())), expected);
    } else if (step.kind == "starts") {
        EXPECT_EQ(answer.substr(0, expected.size()), expected);
    } else if (step.kind == "follows") {   // past the start requests in front of it
        EXPECT_EQ(answer.substr(std::min(answer.find_first_not_of('C'), answer.size())), expected);
    } else {   // is, nothing
        EXPECT_EQ(answer, expected);
    }
}

TEST_P(SimSessions, AnswerAsExpected)
{
    const SessionCase& session = GetParam();
    Start(session.options);
    for (const SessionStep& step : session.steps) {
        testing::ScopedTrace trace(session.file.c_str(), step.line, step.verb);
        const std::string& bytes = step.send.bytes;
        const std::string& words = step.expected;   // a check's: a path, for some a number behind it
        std::string path = words.substr(0, words.find(' ')), number = words.substr(words.find(' ') + 1);
        if (step.verb == "faults")
            WriteHostFile(Disk("/.faults"), bytes);
        else if (step.verb == "exit")
            EXPECT_EQ(WaitSimExit(&sim, 3000), std::stoi(words)) << "the simulator's exit";
        else if (step.verb == "send-fails")
            EXPECT_EQ(write(sim.port, bytes.data(), bytes.size()), -1) << "written to a line that hung up";
        else if (step.verb == "hidden-files")
            EXPECT_EQ(std::to_string(HiddenUploads(Disk(path))), number);
        else if (step.verb == "stored")
            EXPECT_EQ(ReadBytes(Disk(path)), BlocksContent(std::stoul(number)));
        else if (step.verb == "no-file")
            EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(Disk(path))));
        else if (step.verb == "back-in-command-mode")
            EXPECT_TRUE(AnswersCommands(sim.port));
        else
            ExpectAnswer(Exchange(sim.port, step), step);
    }
    EXPECT_EQ(HiddenUploads(Disk("/ram/cncprg")), 0) << "files of an upload left behind";
    EXPECT_EQ(HiddenUploads(Disk("/ROM")), 0) << "files of an upload left behind";
    EXPECT_EQ(ReadBytes(outside), "must survive");
}

INSTANTIATE_TEST_SUITE_P(Commands, SimSessions, testing::ValuesIn(SessionCases()),
                         [](const testing::TestParamInfo<SessionCase>& info) { return info.param.name; });

TEST_F(Sim, HangsUpAfterTwoCommandsAndTakesItsLinkAlong)
{
    std::string link = Disk("/.com1");
    Start("--fault hangup-after:2 --link " + link);
    EXPECT_EQ(fs::read_symlink(link).string(), sim.slave);
    // A client that closes and reopens the port, with an answer pending meanwhile: it finds the answer.
    close(sim.port);
    int writer = OpenPortRaw(sim.slave);
    WriteBytes(writer, "p\r");
    close(writer);
    sim.port = OpenPortRaw(link);
    EXPECT_EQ(ReadAnswer(sim.port, 3000).substr(0, 3), "p\r\n");
    EXPECT_EQ(Command(sim.port, "l\r\n"), SampleListing);
    EXPECT_EQ(WaitSimExit(&sim, 3000), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_EQ(write(sim.port, "l\r\n", 3), -1) << "the client's next send fails";
}

TEST_F(Sim, RefusesUnknownFaults)
{
    for (const char* bad : {"nak:1", "listing-silent:0", "silent:x", "slow", "no-such-fault", "can-start:1", "listing-gap:9:0",
                            "pause:l:5", "pause:u:1:5", "long:d", "endless:l", "noise:p:9:0", "hangup-at:lp:1", "bad-then-talk:x"})
        EXPECT_EQ(std::system((VANTORIX_SIM_BINARY " --root /tmp --fault " + std::string(bad) + " >/dev/null 2>&1").c_str()) >> 8, 2) << bad;
}

// Start requests every quarter second: none sooner than its turn, and at least 7 in 2.5 s (11 are due; 6 would be
// a request every half second).
TEST_F(Sim, RepeatsStartRequestsEveryQuarterSecond)
{
    Start("--silence-ms 5000");   // the wait for a header outlasts the count
    tcflush(sim.port, TCIOFLUSH);
    WriteBytes(sim.port, "u\r");
    const double sent = Seconds();
    std::vector<double> after;   // seconds from the command to each request
    char request = 0;
    for (double left = 2.5; left > 0; left = sent + 2.5 - Seconds()) {
        pollfd watch{sim.port, POLLIN, 0};
        if (poll(&watch, 1, static_cast<int>(left * 1000) + 1) <= 0)
            break;
        ASSERT_EQ(read(sim.port, &request, 1), 1);
        EXPECT_EQ(request, 'C');
        after.push_back(Seconds() - sent);
    }
    EXPECT_GE(after.size(), 7u);
    for (size_t k = 1; k < after.size(); k++)
        EXPECT_GE(after[k], 0.245 * k) << "request " << k + 1;
    WriteBytes(sim.port, std::string(1, CAN));
}

TEST(SimDataFiles, EveryLineReads)
{
    EXPECT_GE(SessionCases().size(), 40u);
    EXPECT_EQ(dataProblems, std::vector<std::string>{});
}

class SimWithSz : public Sim, public testing::WithParamInterface<const char*> {};

// sz in the simulator's mode ("crc" or "checksum", with -k for 1024-byte blocks).
TEST_P(SimWithSz, BatchArrivesByteExact)
{
    if (std::system("command -v sz >/dev/null 2>&1") != 0)
        SKIP_UNLESS_CI("no sz (lrzsz, scripts/install-deps.sh installs it)");
    ScratchDir folder;
    std::string mode = GetParam(), pc = folder.path.string();
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
        EXPECT_EQ(ReadBytes(Disk("/ram/cncprg/" + names[i])), contents[i]) << names[i];
    EXPECT_EQ(HiddenUploads(Disk("/ram/cncprg")), 0);
    // Back in command mode, with the free space lowered by what came.
    std::string after = Command(sim.port, "l\r\n", 2000);
    EXPECT_NE(after.find("  0 empty.nc\r\n"), std::string::npos);
    EXPECT_NE(after.find("Free RamDisk: " + std::to_string(1048242 - total) + "\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Modes, SimWithSz, testing::Values("crc", "crc -k", "checksum", "checksum -k"));

}   // namespace
