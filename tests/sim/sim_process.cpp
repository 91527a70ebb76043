#include "tests/sim/sim_process.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace fs = std::filesystem;

static uint64_t NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
}

std::string MakeControllerFolder(bool withSample)
{
    char pattern[] = "/tmp/vantorix-sim-test-XXXXXX";
    std::string folder = mkdtemp(pattern);
    if (withSample)
        fs::copy(SIM_SAMPLE_DIR, folder, fs::copy_options::recursive);
    return folder;
}

void RemoveFolder(const std::string& path)
{
    std::error_code ignored;
    if (!path.empty())
        fs::remove_all(path, ignored);
}

int OpenPortRaw(const std::string& path)
{
    int port = open(path.c_str(), O_RDWR | O_NOCTTY);
    termios mode{};
    if (port >= 0 && tcgetattr(port, &mode) == 0) {
        cfmakeraw(&mode);
        tcsetattr(port, TCSANOW, &mode);
    }
    return port;
}

// The simulator prints its terminal's path as its first line.
int StartSim(SimProcess* sim, const std::vector<std::string>& options)
{
    if (sim->root.empty())
        sim->root = MakeControllerFolder(true);
    std::vector<std::string> args = {VANTORIX_SIM_BINARY, "--root", sim->root};
    args.insert(args.end(), options.begin(), options.end());
    int out[2];
    if (pipe(out) != 0)
        return 0;
    sim->pid = fork();
    if (sim->pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string line = ReadAnswer(out[0], 5000, 100);
    close(out[0]);
    if (line.find('\n') == std::string::npos)
        return 0;
    sim->slave = line.substr(0, line.find('\n'));
    sim->port = OpenPortRaw(sim->slave);
    return sim->port >= 0;
}

int WaitSimExit(SimProcess* sim, uint32_t ms)
{
    for (uint64_t end = NowMs() + ms;; usleep(10000)) {
        int status = 0;
        if (waitpid(sim->pid, &status, WNOHANG) == sim->pid) {
            sim->pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (NowMs() >= end)
            return -1;
    }
}

int StopSim(SimProcess* sim, bool keepFolder)
{
    int code = -1;
    if (sim->pid > 0) {
        kill(sim->pid, SIGTERM);
        code = WaitSimExit(sim, 5000);
        if (sim->pid > 0) {
            kill(sim->pid, SIGKILL);
            waitpid(sim->pid, nullptr, 0);
            sim->pid = -1;
        }
    }
    if (sim->port >= 0)
        close(sim->port);
    sim->port = -1;
    if (!keepFolder) {
        RemoveFolder(sim->root);
        sim->root.clear();
    }
    return code;
}

void PurgePort(int port)
{
    tcflush(port, TCIOFLUSH);
}

void WriteBytes(int port, const std::string& bytes)
{
    for (size_t done = 0; done < bytes.size();) {
        ssize_t put = write(port, bytes.data() + done, bytes.size() - done);
        if (put <= 0)
            return;
        done += static_cast<size_t>(put);
    }
}

int ReadByte(int port, uint32_t ms)
{
    pollfd watch{port, POLLIN, 0};
    unsigned char byte = 0;
    if (poll(&watch, 1, static_cast<int>(ms)) <= 0 || (watch.revents & POLLIN) == 0)
        return -1;
    return read(port, &byte, 1) == 1 ? byte : -1;
}

std::string ReadAnswer(int port, uint32_t firstMs, uint32_t quietMs)
{
    std::string answer;
    for (uint32_t wait = firstMs;; wait = quietMs) {
        pollfd watch{port, POLLIN, 0};
        char piece[65536];
        ssize_t got = 0;
        if (poll(&watch, 1, static_cast<int>(wait)) <= 0 || (watch.revents & POLLIN) == 0 ||
            (got = read(port, piece, sizeof piece)) <= 0)
            return answer;
        answer.append(piece, static_cast<size_t>(got));
    }
}

std::string Command(int port, const std::string& text, uint32_t firstMs)
{
    PurgePort(port);
    WriteBytes(port, text);
    return ReadAnswer(port, firstMs);
}

std::string Reply(int port, const std::string& bytes, uint32_t firstMs)
{
    WriteBytes(port, bytes);
    std::string answer = ReadAnswer(port, firstMs, 100);
    return answer.erase(0, std::min(answer.find_first_not_of('C'), answer.size()));
}

std::string MakeFrame(int number, const std::string& data, uint32_t size, bool crc)
{
    std::string body = data.substr(0, size);
    body.resize(size, '\0');
    std::string frame = {static_cast<char>(size == 1024 ? STX : SOH), static_cast<char>(number & 0xFF),
                         static_cast<char>(255 - (number & 0xFF))};
    frame += body;
    // Table-free CRC-16/XMODEM, written independently of the program's sender.
    unsigned sum = 0, reg = 0;
    for (unsigned char byte : body) {
        sum += byte;
        for (int bit = 7; bit >= 0; bit--)
            reg = ((reg << 1) ^ ((((reg >> 15) ^ (byte >> bit)) & 1) ? 0x1021 : 0)) & 0xFFFF;
    }
    if (crc)
        return frame + static_cast<char>(reg >> 8) + static_cast<char>(reg & 0xFF);
    return frame + static_cast<char>(sum & 0xFF);
}

std::string MakeHeader(const std::string& path, uint64_t size, uint32_t blockSize, bool crc)
{
    return MakeFrame(0, path + '\0' + std::to_string(size), blockSize, crc);
}

std::string ReadHostFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteHostFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

bool HostPathExists(const std::string& path)
{
    std::error_code ignored;
    return fs::symlink_status(path, ignored).type() != fs::file_type::not_found;
}

bool FolderIsEmpty(const std::string& path)
{
    std::error_code ignored;
    return fs::is_empty(path, ignored);
}

int HiddenUploads(const std::string& folder)
{
    int count = 0;
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ignored))
        count += entry.path().filename().string().rfind(".sim-upload-", 0) == 0;
    return count;
}
