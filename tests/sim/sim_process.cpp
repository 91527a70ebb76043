#include "tests/sim/sim_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    if (port < 0)
        return -1;
    termios mode{};
    tcgetattr(port, &mode);
    cfmakeraw(&mode);
    tcsetattr(port, TCSANOW, &mode);
    return port;
}

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
    std::string line;
    uint64_t end = NowMs() + 5000;
    while (line.find('\n') == std::string::npos && NowMs() < end) {
        pollfd watch{out[0], POLLIN, 0};
        if (poll(&watch, 1, 100) > 0) {
            char piece[256];
            ssize_t got = read(out[0], piece, sizeof piece);
            if (got <= 0)
                break;
            line.append(piece, static_cast<size_t>(got));
        }
    }
    close(out[0]);
    if (line.find('\n') == std::string::npos)
        return 0;
    sim->slave = line.substr(0, line.find('\n'));
    sim->port = OpenPortRaw(sim->slave);
    return sim->port >= 0;
}

int WaitSimExit(SimProcess* sim, uint32_t ms)
{
    uint64_t end = NowMs() + ms;
    for (;;) {
        int status = 0;
        pid_t done = waitpid(sim->pid, &status, WNOHANG);
        if (done == sim->pid) {
            sim->pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (NowMs() >= end)
            return -1;
        usleep(10000);
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
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = write(port, bytes.data() + done, bytes.size() - done);
        if (put <= 0)
            return;
        done += static_cast<size_t>(put);
    }
}

int ReadByte(int port, uint32_t ms)
{
    pollfd watch{port, POLLIN, 0};
    if (poll(&watch, 1, static_cast<int>(ms)) <= 0 || (watch.revents & POLLIN) == 0)
        return -1;
    unsigned char byte = 0;
    return read(port, &byte, 1) == 1 ? byte : -1;
}

std::string ReadAnswer(int port, uint32_t firstMs, uint32_t quietMs)
{
    std::string answer;
    uint32_t wait = firstMs;
    for (;;) {
        pollfd watch{port, POLLIN, 0};
        if (poll(&watch, 1, static_cast<int>(wait)) <= 0 || (watch.revents & POLLIN) == 0)
            return answer;
        char piece[65536];
        ssize_t got = read(port, piece, sizeof piece);
        if (got <= 0)
            return answer;
        answer.append(piece, static_cast<size_t>(got));
        wait = quietMs;
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

static uint16_t Crc16(const std::string& data)
{
    // Table-free CRC-16/XMODEM, written independently of the program's sender.
    uint32_t crc = 0;
    for (unsigned char byte : data) {
        for (int bit = 7; bit >= 0; bit--) {
            bool top = (crc & 0x8000) != 0;
            bool in = ((byte >> bit) & 1) != 0;
            crc = (crc << 1) & 0xFFFF;
            if (top != in)
                crc ^= 0x1021;
        }
    }
    return static_cast<uint16_t>(crc);
}

std::string MakeFrame(int number, const std::string& data, uint32_t size, bool crc)
{
    std::string body = data.substr(0, size);
    body.resize(size, '\0');
    std::string frame;
    frame += static_cast<char>(size == 1024 ? STX : SOH);
    frame += static_cast<char>(number & 0xFF);
    frame += static_cast<char>(255 - (number & 0xFF));
    frame += body;
    if (crc) {
        uint16_t check = Crc16(body);
        frame += static_cast<char>(check >> 8);
        frame += static_cast<char>(check & 0xFF);
    } else {
        unsigned sum = 0;
        for (unsigned char byte : body)
            sum += byte;
        frame += static_cast<char>(sum & 0xFF);
    }
    return frame;
}

std::string MakeHeader(const std::string& path, uint64_t size, uint32_t blockSize, bool crc)
{
    std::string data = path;
    data += '\0';
    data += std::to_string(size);
    return MakeFrame(0, data, blockSize, crc);
}

std::string ReadHostFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteHostFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool HostPathExists(const std::string& path)
{
    std::error_code ignored;
    return fs::symlink_status(path, ignored).type() != fs::file_type::not_found;
}

std::vector<std::string> FolderNames(const std::string& path)
{
    std::vector<std::string> names;
    std::error_code ignored;
    for (const fs::directory_entry& entry : fs::directory_iterator(path, ignored))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

int HiddenUploads(const std::string& folder)
{
    int count = 0;
    for (const std::string& name : FolderNames(folder))
        count += name.rfind(".sim-upload-", 0) == 0;
    return count;
}
