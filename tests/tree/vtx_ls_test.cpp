// vtx ls end to end: the built program on a pseudo-terminal whose other end
// plays the controller.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

// The controller's side of the line: answers every "l\r\n" with its listing
// (or keeps silent when the listing is empty).
class PtyController {
public:
    explicit PtyController(std::string listing) : answer(std::move(listing))
    {
        char name[256];
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            return;
        slavePath = name;
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        peer = std::thread([this] { Serve(); });
    }
    ~PtyController()
    {
        stop = true;
        if (peer.joinable())
            peer.join();
        if (master >= 0)
            close(master);
        if (slave >= 0)
            close(slave);
    }
    std::string slavePath;
    std::atomic<int> commandsSeen{0};

private:
    void Serve()
    {
        std::string received;
        while (!stop) {
            pollfd p = {master, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            char bytes[256];
            ssize_t n = read(master, bytes, sizeof(bytes));
            if (n <= 0)
                continue;
            received.append(bytes, static_cast<size_t>(n));
            if (received.find("l\r") == std::string::npos)
                continue;
            received.clear();
            commandsSeen++;
            for (size_t sent = 0; sent < answer.size() && !stop;) {
                ssize_t w = write(master, answer.data() + sent, answer.size() - sent);
                if (w > 0)
                    sent += static_cast<size_t>(w);
                else
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }

    std::string answer;
    int master = -1, slave = -1;   // the slave stays open so the line never hangs up
    std::atomic<bool> stop{false};
    std::thread peer;
};

struct VtxRun {
    int exitCode = -1;
    std::string out, err;
};

// Runs the built vtx with the arguments, collecting both outputs; a run that
// takes longer than 20 s is killed and fails the test.
static VtxRun RunVtx(std::vector<std::string> args)
{
    VtxRun run;
    int outPipe[2], errPipe[2];
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0)
        return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    args.insert(args.begin(), VTX_PATH);
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child = -1;
    int spawned = posix_spawn(&child, VTX_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    if (spawned != 0) {
        close(outPipe[0]);
        close(errPipe[0]);
        return run;
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (poll(fds, 2, 100) <= 0)
            continue;
        for (int i = 0; i < 2; i++) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char bytes[4096];
            ssize_t n = read(fds[i].fd, bytes, sizeof(bytes));
            if (n > 0) {
                sinks[i]->append(bytes, static_cast<size_t>(n));
            } else {
                close(fds[i].fd);
                fds[i].fd = -1;
                open--;
            }
        }
    }
    if (open > 0) {
        kill(child, SIGKILL);
        ADD_FAILURE() << "vtx did not finish in time";
    }
    for (pollfd& p : fds)
        if (p.fd >= 0)
            close(p.fd);
    int status = 0;
    waitpid(child, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

static const char* const sampleListing =
    "Vantorix directory listing\r\n"
    "(dir) ram\r\n"
    " (dir) cncprg\r\n"
    "  1234 part1.nc\r\n"
    "  5678 part b.nc\r\n"
    " 99 n\xe4me \"q\".txt\r\n"
    "(dir) ROM\r\n"
    "Free RamDisk: 1048576\r\n"
    "Free FlashDisk: 524288\r\n"
    "\r\n";

TEST(VtxLs, PrintsTheTreeAsText)
{
    PtyController controller(sampleListing);
    ASSERT_FALSE(controller.slavePath.empty());
    VtxRun run = RunVtx({"--port", controller.slavePath, "ls"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "/\n"
              "  ram/\n"
              "    cncprg/\n"
              "      part1.nc  (1234 bytes)\n"
              "      part b.nc  (5678 bytes)\n"
              "    n\\xe4me \"q\".txt  (99 bytes)\n"
              "  ROM/\n"
              "RAM disk free: 1048576 bytes\n"
              "Flash disk free: 524288 bytes\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(controller.commandsSeen, 1);
}

TEST(VtxLs, PrintsOneJsonObject)
{
    PtyController controller(sampleListing);
    VtxRun run = RunVtx({"--port=" + controller.slavePath, "--baud", "115200", "ls", "--json"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "{\"ramDiskFree\":1048576,\"flashDiskFree\":524288,\"root\":{\"name\":\"/\",\"type\":\"dir\",\"children\":["
              "{\"name\":\"ram\",\"type\":\"dir\",\"children\":["
              "{\"name\":\"cncprg\",\"type\":\"dir\",\"children\":["
              "{\"name\":\"part1.nc\",\"type\":\"file\",\"size\":1234},"
              "{\"name\":\"part b.nc\",\"type\":\"file\",\"size\":5678}]},"
              "{\"name\":\"n\\u00e4me \\\"q\\\".txt\",\"type\":\"file\",\"size\":99}]},"
              "{\"name\":\"ROM\",\"type\":\"dir\",\"children\":[]}]}}\n");
}

TEST(VtxLs, FailuresExitWithOneAndTheMessage)
{
    {
        PtyController silent("");
        VtxRun run = RunVtx({"--port", silent.slavePath, "--attempts", "1", "ls", "--json"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "No answer from Vantorix. Please check if it is connected.\n");
        EXPECT_EQ(silent.commandsSeen, 1);
    }
    {
        PtyController confused("(dir) ram\r\n what\r\n\r\n");
        VtxRun run = RunVtx({"--port", confused.slavePath, "ls"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "The Vantorix-answer was not correct. Please try to update again.\n");
        EXPECT_EQ(confused.commandsSeen, 2);   // the default two attempts
    }
    VtxRun run = RunVtx({"--port", "/nonexistent/tty", "ls"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("Can't open Serial Port."), std::string::npos) << run.err;
}

TEST(VtxLs, UsageErrorsExitWithTwo)
{
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"frobnicate"},
        {"--port"},
        {"--baud", "fast", "ls"},
        {"--baud", "0", "ls"},
        {"--attempts", "0", "ls"},
        {"--attempts", "-1", "ls"},
        {"--colour", "ls"},
        {"ls", "--xml"},
        {"ls", "extra"},
    };
    for (const auto& args : wrong) {
        VtxRun run = RunVtx(args);
        std::string joined;
        for (const std::string& arg : args)
            joined += arg + " ";
        EXPECT_EQ(run.exitCode, 2) << joined;
        EXPECT_NE(run.err.find("usage: vtx"), std::string::npos) << joined << run.err;
        EXPECT_EQ(run.out, "") << joined;
    }
}

TEST(VtxLs, HelpGoesToStdout)
{
    VtxRun global = RunVtx({"--help"});
    EXPECT_EQ(global.exitCode, 0);
    EXPECT_NE(global.out.find("COMMAND"), std::string::npos);
    EXPECT_NE(global.out.find("  ls "), std::string::npos);
    VtxRun ls = RunVtx({"ls", "--help"});
    EXPECT_EQ(ls.exitCode, 0);
    EXPECT_NE(ls.out.find("--json"), std::string::npos);
}
