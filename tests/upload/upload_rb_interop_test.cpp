// The sender on a real pseudo-terminal against an independent receiver
// program (rb, about two seconds per file of its own): every file arrives
// byte for byte under its name, a blank in a name as '_'.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <unistd.h>

#include "serial/serial_port.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"
#include "serial/upload_worker.h"
#include "tests/upload/pty_relay.h"

TEST(UploadInterop, RbReceivesEveryFileByteForByte)
{
    if (access("/usr/bin/rb", X_OK) != 0)
        GTEST_SKIP() << "no rb";
    std::string source = MakeFolder(nullptr), received = MakeFolder(nullptr);
    const std::vector<std::pair<std::string, uint32_t>> files = {{"my part.nc", 3000}, {"f1", 1}, {"f128", 128},
                                                                 {"f1025", 1025}, {"f100001", 100001}};
    static UploadJob job;
    ClearUploadJob(&job);
    job.ramBudget = job.flashBudget = 0xFFFFFFFFu;
    size_t at = 0;
    for (const auto& [name, size] : files) {
        std::string content(size, '\0'), path = source + "/" + name;
        for (uint32_t i = 0; i < size; i++)
            content[i] = static_cast<char>((i * 2654435761u + size) >> 13);
        WriteHostFile(path, content);
        memcpy(job.fileList + at, path.c_str(), path.size() + 1);
        at += path.size() + 1;
    }
    PtyRelay relay;
    ASSERT_EQ(OpenPtyRelay(&relay, 1), 1);
    char* argv[] = {const_cast<char*>("rb"), const_cast<char*>("--ymodem"), const_cast<char*>("-b"), nullptr};
    int rbStatus = -1;
    std::thread peer([&] { rbStatus = RunPtyRelay(&relay, argv, received.c_str(), 1); });
    job.port = ZemSerComOpen(relay.slavePath, 115200);
    EXPECT_EQ(job.port ? RunUploadWorker(&job) : -1, UPL_OK);
    peer.join();
    ZemSerComClose(job.port);
    ClosePtyRelay(&relay);
    EXPECT_EQ(rbStatus, 0);
    for (const auto& [name, size] : files) {
        std::string target = name == "my part.nc" ? "my_part.nc" : name;
        EXPECT_EQ(ReadHostFile(received + "/" + target), ReadHostFile(source + "/" + name)) << name;
        EXPECT_EQ(ReadHostFile(received + "/" + target).size(), size);
    }
    std::filesystem::remove_all(source);
    std::filesystem::remove_all(received);
}
