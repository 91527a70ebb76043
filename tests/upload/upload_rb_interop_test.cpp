// The sender on a pseudo-terminal against rb (about two seconds per file of its
// own): every file arrives byte for byte under its name, a blank as '_'.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <unistd.h>

#include "serial/serial_port.h"
#include "serial/upload_file_list.h"
#include "serial/upload_job.h"
#include "serial/upload_protocol.h"
#include "serial/upload_worker.h"
#include "tests/support/scratch_dir.h"
#include "tests/upload/pty_relay.h"

TEST(UploadInterop, RbReceivesEveryFileByteForByte)
{
    if (access("/usr/bin/rb", X_OK) != 0)
        SKIP_UNLESS_CI("no /usr/bin/rb (lrzsz, scripts/install-deps.sh installs it)");
    ScratchDir source, received;
    static UploadJob job;
    ClearUploadJob(&job);
    job.ramBudget = job.flashBudget = 0xFFFFFFFFu;
    uint32_t listed = 0;
    for (uint32_t size : {3000, 1, 128, 1025, 100001}) {
        std::string content(size, '\0'), path = source.File(size == 3000 ? "my part.nc" : "f" + std::to_string(size));
        for (uint32_t i = 0; i < size; i++)
            content[i] = static_cast<char>((i * 2654435761u + size) >> 13);
        WriteHostFile(path, content);
        AppendFileName(job.fileList, FILE_LIST_ROOM, &listed, path.c_str());
    }
    PtyRelay relay;
    ASSERT_EQ(OpenPtyRelay(&relay, 1), 1);
    char* argv[] = {const_cast<char*>("rb"), const_cast<char*>("--ymodem"), const_cast<char*>("-b"), nullptr};
    int rbStatus = -1;
    std::string into = received.path.string();
    std::thread peer([&] { rbStatus = RunPtyRelay(&relay, argv, into.c_str(), 1); });
    job.port = ZemSerComOpen(relay.slavePath, 115200);
    EXPECT_EQ(job.port ? RunUploadWorker(&job) : -1, UPL_OK);
    peer.join();
    ZemSerComClose(job.port);
    ClosePtyRelay(&relay);
    EXPECT_EQ(rbStatus, 0);
    for (const auto& entry : std::filesystem::directory_iterator(source.path)) {
        std::string name = entry.path().filename().string(), sent = ReadBytes(entry.path().string());
        EXPECT_EQ(ReadBytes(received.File(name == "my part.nc" ? "my_part.nc" : name)), sent) << name;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(received.path), {}), 5);
}
