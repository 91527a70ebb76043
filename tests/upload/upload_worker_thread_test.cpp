// The upload worker on a thread of its own beside a thread that plays the progress dialog, as on Windows: the
// dialog claims the port, starts the worker, copies the texts out when a notice says they changed, asks for a
// cancel, tries a command while the port is busy and again once it is free, and reads the result after the
// worker's last notice. Natively nothing else runs the worker on a thread; the sanitizer pass (ThreadSanitizer)
// watches what the two share.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>

#include "lib/zem_shared.h"
#include "serial/serial_port.h"
#include "serial/upload_file_list.h"
#include "serial/upload_job.h"
#include "serial/upload_notice.h"
#include "serial/upload_protocol.h"
#include "serial/upload_worker.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_device.h"
#include "tests/upload/ymodem_peer.h"

namespace {

// Posted notices, as the dialog's message queue holds them.
struct NoticeQueue {
    std::mutex lock;
    std::condition_variable arrived;
    std::deque<unsigned> ids;

    void Post(unsigned id)
    {
        std::lock_guard<std::mutex> hold(lock);
        ids.push_back(id);
        arrived.notify_one();
    }
    unsigned Take()
    {
        std::unique_lock<std::mutex> hold(lock);
        arrived.wait(hold, [this] { return !ids.empty(); });
        unsigned id = ids.front();
        ids.pop_front();
        return id;
    }
};

struct DialogSide {
    std::vector<std::string> statusTexts, fileTexts;
    int busyRefusals = 0, commandAfterRelease = -1;
};

TEST(UploadWorkerThread, TheDialogSharesTextsCancelBusyAndResultWithTheWorker)
{
    ScratchDir dir;
    std::string path = dir.File("part.nc");
    Bytes content = FileContent(40 * 1024);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(content.data()), content.size());

    // A slow line: data block 4 is answered once the dialog has asked for the cancel.
    std::mutex cancelLock;
    std::condition_variable cancelSignal;
    ScriptedLine line;
    YmodemPeer receiver;
    InstallScriptedLine(&line);
    line.onWrite = [&](ScriptedLine& scripted, const unsigned char* bytes, uint32_t count) {
        if (count == 1029 && bytes[1] == 4) {
            std::unique_lock<std::mutex> hold(cancelLock);
            cancelSignal.wait(hold, [&] { return ZemLoadByte(&TheUploadJob.cancelRequested) != 0; });
        }
        scripted.Queue(receiver.Answer(Bytes(bytes, bytes + count)));
    };
    SerialPort* port = ZemSerComOpen("COM1", 115200);
    ASSERT_NE(port, nullptr);
    UploadJob& job = TheUploadJob;
    ClearUploadJob(&job);
    uint32_t used = 0;
    ASSERT_TRUE(AppendFileName(job.fileList, FILE_LIST_ROOM, &used, path.c_str()));
    job.port = port;
    job.ramBudget = job.flashBudget = 0xFFFFFFFFu;

    NoticeQueue queue;
    static UploadNoticeSink sink;
    sink = {[](void* context, unsigned id, intptr_t) { static_cast<NoticeQueue*>(context)->Post(id); }, &queue};
    UploadSetNoticeSink(&sink);

    // The command the dialog tries once the port is free has gone out before the worker's last notice, so that
    // only the port's busy flag orders the worker's last use of the line before the dialog's.
    std::mutex usedLock;
    std::condition_variable usedSignal;
    int dialogUsedPort = 0;
    DialogSide dialog;
    ASSERT_EQ(ClaimUploadPort(&job), UPL_OK);
    std::thread worker([&] {
        RunClaimedUpload(&job);
        std::unique_lock<std::mutex> hold(usedLock);
        usedSignal.wait(hold, [&] { return dialogUsedPort; });
        hold.unlock();
        queue.Post(UM_UPLOAD_DONE);
    });
    char copy[UPLOAD_TEXT_SIZE];
    for (unsigned id = 0; id != UM_UPLOAD_DONE;) {
        id = queue.Take();
        if (id == UM_SET_STATUS_TEXT) {
            UploadCopyText(UploadStatusText, copy, sizeof(copy));
            dialog.statusTexts.push_back(copy);
        } else if (id == UM_SET_FILE_TEXT) {
            UploadCopyText(UploadFileText, copy, sizeof(copy));
            dialog.fileTexts.push_back(copy);
        }
        if (id == UM_SET_STATUS_TEXT && dialog.statusTexts.size() == 3) {
            dialog.busyRefusals += ZemSerComSendCmd(port, "l\r\n", 0) == SERCOM_BUSY;
            std::lock_guard<std::mutex> hold(cancelLock);
            ZemStoreByte(&job.cancelRequested, 1);   // the Cancel button
            cancelSignal.notify_one();
        }
        if (dialog.commandAfterRelease < 0 && ZemLoadByte(&job.cancelRequested)) {
            while (ZemSerComIsBusy(port))   // a command that arrives while the worker lets the port go
                std::this_thread::yield();
            dialog.commandAfterRelease = ZemSerComSendCmd(port, "l\r\n", 0);
            std::lock_guard<std::mutex> hold(usedLock);
            dialogUsedPort = 1;
            usedSignal.notify_one();
        }
    }
    worker.join();
    UploadSetNoticeSink(nullptr);

    EXPECT_EQ(ZemLoadResult(&job.result), UPL_CANCELLED);
    EXPECT_EQ(dialog.busyRefusals, 1);
    EXPECT_EQ(dialog.commandAfterRelease, SERCOM_DONE);
    ASSERT_EQ(dialog.fileTexts.size(), 1u);
    EXPECT_EQ(dialog.fileTexts[0], "Uploading : part.nc");
    ASSERT_GE(dialog.statusTexts.size(), 4u);
    EXPECT_EQ(dialog.statusTexts[2], "3072 from 40960 Bytes uploaded");   // the worker waits at block 4
    EXPECT_EQ(dialog.statusTexts.back(), "Canceling, this may take 10-15 Seconds");
    EXPECT_EQ(line.Written().substr(line.Written().size() - 3), "l\r\n");
    ZemSerComClose(port);
    InstallScriptedLine(nullptr);
}

}   // namespace
