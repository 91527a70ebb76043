// Throughput of the upload sender into rb over a pseudo-terminal, beside sz
// sending the same file to rb over the same kind of terminal and relay.
//   bench_upload [SIZE_BYTES [ROUNDS]]   (default 2 MiB, 3 rounds)
// Prints bytes per second of the data phase (from 2 KiB into the stream to
// the file's last byte, so the receiver's own start and end pauses do not
// count) and of the whole session, for both senders, and the ratio ours/sz.
// The two senders take turns; each figure is the median of its rounds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "lib/zem_lib.h"
#include "serial/serial_port.h"
#include "serial/upload_file_list.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"
#include "serial/upload_worker.h"
#include "tests/upload/pty_relay.h"

namespace fs = std::filesystem;

struct SessionTiming {
    int ok;
    double dataRate;      // bytes per second between the two marks
    double sessionRate;   // file bytes per second from start to the receiver's exit
};

static double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

static char rbName[] = "rb", rbYmodem[] = "--ymodem", rbBinary[] = "-b", rbOverwrite[] = "-y";
static char* rbArgs[] = {rbName, rbYmodem, rbBinary, rbOverwrite, nullptr};

static void SetMarks(PtyRelay* relay, uint64_t size)
{
    relay->marks[0] = 2048;
    relay->marks[1] = size;
}

static double DataRate(const PtyRelay& relay)
{
    double seconds = relay.markSeconds[1] - relay.markSeconds[0];
    return seconds > 0 ? (relay.marks[1] - relay.marks[0]) / seconds : 0;
}

static SessionTiming RunOurs(const std::string& file, const std::string& into, uint64_t size)
{
    SessionTiming timing = {};
    PtyRelay relay;
    if (!OpenPtyRelay(&relay, 1))
        return timing;
    SetMarks(&relay, size);
    int status = -1;
    double end = 0;
    std::thread peer([&] {
        status = RunPtyRelay(&relay, rbArgs, into.c_str(), 1);
        end = Now();
    });
    static UploadJob job;
    ClearUploadJob(&job);
    uint32_t listed = 0;
    AppendFileName(job.fileList, FILE_LIST_ROOM, &listed, file.c_str());
    job.ramBudget = job.flashBudget = 0xFFFFFFFFu;
    job.port = ZemSerComOpen(relay.slavePath, 115200);
    double start = Now();
    int result = job.port ? RunUploadWorker(&job) : -1;
    peer.join();
    ZemSerComClose(job.port);
    ClosePtyRelay(&relay);
    timing.ok = result == UPL_OK && status == 0;
    timing.dataRate = DataRate(relay);
    timing.sessionRate = size / (end - start);
    return timing;
}

static SessionTiming RunSz(const std::string& file, const std::string& into, uint64_t size)
{
    SessionTiming timing = {};
    PtyRelay relay;
    if (!OpenPtyRelay(&relay, 0))
        return timing;
    SetMarks(&relay, size);
    pid_t sender = fork();
    if (sender == 0) {
        int line = open(relay.slavePath, O_RDWR | O_NOCTTY);
        int null = open("/dev/null", O_WRONLY);
        dup2(line, 0);
        dup2(line, 1);
        dup2(null, 2);
        execlp("sz", "sz", "--ymodem", "-k", "-q", file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    usleep(300000);   // sz is waiting for its start request
    double start = Now();
    int status = RunPtyRelay(&relay, rbArgs, into.c_str(), 0);
    double end = Now();
    int senderStatus = 0;
    waitpid(sender, &senderStatus, 0);
    ClosePtyRelay(&relay);
    timing.ok = status == 0 && WIFEXITED(senderStatus) && WEXITSTATUS(senderStatus) == 0;
    timing.dataRate = DataRate(relay);
    timing.sessionRate = size / (end - start);
    return timing;
}

static double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

static int SameContent(const fs::path& a, const fs::path& b)
{
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(x), {}) == std::string(std::istreambuf_iterator<char>(y), {});
}

int main(int argc, char** argv)
{
    uint64_t size = argc > 1 ? strtoull(argv[1], nullptr, 10) : 2 * 1024 * 1024;
    if (!ZemLibInit())
        return 1;
    fs::path folder = fs::temp_directory_path() / ("bench-upload-" + std::to_string(getpid()));
    fs::create_directories(folder / "ours");
    fs::create_directories(folder / "sz");
    fs::path file = folder / "payload.bin";
    {
        std::ofstream out(file, std::ios::binary);
        uint32_t x = 12345;
        for (uint64_t i = 0; i < size; i++) {
            x = x * 1103515245u + 12345u;
            out.put(static_cast<char>(x >> 16));
        }
    }
    int rounds = argc > 2 ? atoi(argv[2]) : 3;
    std::vector<double> oursData, oursSession, szData, szSession;
    int allOk = 1;
    for (int round = 0; round < std::max(rounds, 1); round++) {
        SessionTiming ours = RunOurs(file.string(), (folder / "ours").string(), size);
        SessionTiming sz = RunSz(file.string(), (folder / "sz").string(), size);
        allOk &= ours.ok && SameContent(file, folder / "ours" / "payload.bin");
        allOk &= sz.ok && SameContent(file, folder / "sz" / "payload.bin");
        fs::remove(folder / "ours" / "payload.bin");
        fs::remove(folder / "sz" / "payload.bin");
        oursData.push_back(ours.dataRate);
        oursSession.push_back(ours.sessionRate);
        szData.push_back(sz.dataRate);
        szSession.push_back(sz.sessionRate);
    }
    fs::remove_all(folder);
    ZemLibExit();

    double od = Median(oursData), os = Median(oursSession), sd = Median(szData), ss = Median(szSession);
    printf("file: %llu bytes, %zu rounds\n", static_cast<unsigned long long>(size), oursData.size());
    printf("ours: data %.0f B/s, session %.0f B/s\n", od, os);
    printf("sz:   data %.0f B/s, session %.0f B/s\n", sd, ss);
    if (sd > 0 && ss > 0)
        printf("ratio ours/sz: data %.2f, session %.2f\n", od / sd, os / ss);
    if (!allOk)
        printf("a transfer FAILED\n");
    return allOk ? 0 : 1;
}
