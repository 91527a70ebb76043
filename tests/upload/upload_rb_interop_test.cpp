// The sender on a real pseudo-terminal against an independent receiver
// program: every file must arrive byte for byte under its name. The receiver
// takes about two seconds per file of its own (it waits before it answers
// EOT and before its next start request).
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "serial/serial_port.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"
#include "serial/upload_worker.h"
#include "tests/support/scratch_dir.h"
#include "tests/upload/pty_relay.h"

namespace fs = std::filesystem;

static std::string ReadWhole(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

static std::string Content(uint32_t size, uint32_t seed)
{
    std::string text(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (uint32_t i = 0; i < size; i++) {
        x = x * 1103515245u + 12345u;
        text[i] = static_cast<char>(x >> 16);
    }
    return text;
}

class UploadInterop : public testing::Test {
protected:
    ScratchDir dir;
    fs::path source, received;

    void SetUp() override
    {
        if (access("/usr/bin/rb", X_OK) != 0)
            GTEST_SKIP() << "no rb";
        source = dir.path / "source";
        received = dir.path / "received";
        fs::create_directories(source);
        fs::create_directories(received);
    }

    // Sends the files through the relay into rb; returns the sender's result.
    int SendToRb(const std::vector<std::string>& names, int* rbStatus)
    {
        static UploadJob job;
        ClearUploadJob(&job);
        size_t at = 0;
        for (const std::string& name : names) {
            std::string path = (source / name).string();
            memcpy(job.fileList + at, path.c_str(), path.size() + 1);
            at += path.size() + 1;
        }
        job.ramBudget = job.flashBudget = 0xFFFFFFFFu;

        PtyRelay relay;
        EXPECT_EQ(OpenPtyRelay(&relay, 1), 1);
        std::string folderText = received.string();
        char* argv[] = {const_cast<char*>("rb"), const_cast<char*>("--ymodem"), const_cast<char*>("-b"), nullptr};
        std::thread peer([&] { *rbStatus = RunPtyRelay(&relay, argv, folderText.c_str(), 1); });
        job.port = ZemSerComOpen(relay.slavePath, 115200);
        int result = job.port ? RunUploadWorker(&job) : -1;
        peer.join();
        ZemSerComClose(job.port);
        ClosePtyRelay(&relay);
        return result;
    }
};

// Several files with sizes around the block boundaries, and a blank in a
// name that arrives as '_'.
TEST_F(UploadInterop, RbReceivesEveryFileByteForByte)
{
    const uint32_t sizes[] = {1, 127, 128, 129, 1023, 1024, 1025, 100001};
    std::vector<std::string> names = {"my part.nc"};
    std::ofstream(source / names[0], std::ios::binary) << Content(3000, 7);
    for (uint32_t size : sizes) {
        names.push_back("f" + std::to_string(size) + ".bin");
        std::ofstream(source / names.back(), std::ios::binary) << Content(size, size);
    }
    int rbStatus = -1;
    EXPECT_EQ(SendToRb(names, &rbStatus), UPL_OK);
    EXPECT_EQ(rbStatus, 0);
    EXPECT_EQ(ReadWhole(received / "my_part.nc"), Content(3000, 7));
    for (size_t i = 0; i < std::size(sizes); i++)
        EXPECT_EQ(ReadWhole(received / names[i + 1]), Content(sizes[i], sizes[i])) << names[i + 1];
}
