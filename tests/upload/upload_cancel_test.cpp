// The user's cancel: when the sender notices it and what it sends then; and
// the worker around the batch: busy flag, drain and result.
#include "lib/zem_shared.h"
#include "serial/upload_notice.h"
#include "serial/upload_worker.h"
#include "tests/upload/upload_rig.h"

using UploadCancel = UploadRig;

TEST_F(UploadCancel, CancelAfterADataBlockSendsABlockOfCanPausesAndDrains)
{
    SetFiles({MakeFile("c.nc", 5000)});
    for (int crc = 0; crc <= 1; crc++) {
        SCOPED_TRACE(crc);
        writes.clear();
        line.clock = VirtualClock{};
        ZemStoreByte(&job->cancelRequested, 0);
        YmodemPeer receiver;
        receiver.crcMode = crc;
        int readsBeforeDrain = 0;
        UsePeer(&receiver, [&](size_t index, const Bytes&) {
            if (index != 3)
                return "";
            ZemStoreByte(&job->cancelRequested, 1);   // the user clicks while block 2 is on its way
            readsBeforeDrain = line.reads;
            return "z";   // still waiting when the drain comes
        });
        EXPECT_EQ(Run(), UPL_CANCELLED);
        ASSERT_EQ(writes.size(), 5u);   // u, header, block 1, block 2, CAN run
        EXPECT_EQ(writes.back(), Bytes(crc ? 1024 : 128, UPL_CAN));
        EXPECT_EQ(std::string(UploadStatusText), "Canceling, this may take 10-15 Seconds");
        EXPECT_EQ(notices.back(), std::make_pair(unsigned(UM_SET_STATUS_TEXT), intptr_t(0)));
        EXPECT_EQ(line.clock.slept, 9000u);
        // The reply to block 2 was read, then one drain read took the rest.
        EXPECT_EQ(line.reads, readsBeforeDrain + 2);
        EXPECT_TRUE(line.pending.empty());
    }
}

// A cancel during the header waits for the next data block; one after the
// last data block is too late and the batch ends normally.
TEST_F(UploadCancel, CancelTakesEffectOnlyAfterADataBlock)
{
    for (int atEot = 0; atEot <= 1; atEot++) {
        if (atEot)
            SetFiles({MakeFile("a.nc", 100)});
        else
            SetFiles({MakeFile("a.nc", 100), MakeFile("b.nc", 100)});
        writes.clear();
        line.clock.slept = 0;
        ZemStoreByte(&job->cancelRequested, 0);
        YmodemPeer receiver;
        UsePeer(&receiver, [&](size_t index, const Bytes& bytes) {
            if (atEot ? bytes == Bytes{UPL_EOT} : index == 1)
                ZemStoreByte(&job->cancelRequested, 1);
            return "";
        });
        if (atEot) {
            EXPECT_EQ(Run(), UPL_OK);
            EXPECT_EQ(receiver.closed, 1);
            EXPECT_EQ(line.clock.slept, 0u);
        } else {
            EXPECT_EQ(Run(), UPL_CANCELLED);
            ASSERT_EQ(writes.size(), 4u);   // u, header, one data block, CAN run
            EXPECT_EQ(writes.back(), Bytes(1024, UPL_CAN));
        }
    }
}

TEST_F(UploadCancel, WorkerHoldsThePortForTheBatchThenDrainsAndReleasesIt)
{
    SetFiles({MakeFile("a.nc", 100)});
    YmodemPeer receiver;
    int busyWhileWriting = 1;
    UsePeer(&receiver, [&](size_t, const Bytes&) {
        busyWhileWriting &= ZemSerComIsBusy(port);
        return receiver.closed ? "xy" : "";   // left for the drain
    });
    ZemStoreResult(&job->result, 77);
    EXPECT_EQ(RunUploadWorker(job), UPL_OK);
    EXPECT_EQ(ZemLoadResult(&job->result), UPL_OK);
    EXPECT_EQ(busyWhileWriting, 1);
    EXPECT_EQ(ZemSerComIsBusy(port), 0);
    EXPECT_TRUE(line.pending.empty());

    writes.clear();
    Script({"C"});
    EXPECT_EQ(RunUploadWorker(job), UPL_NO_ANSWER);
    EXPECT_EQ(ZemLoadResult(&job->result), UPL_NO_ANSWER);
    EXPECT_EQ(ZemSerComIsBusy(port), 0);

    // A busy port is neither used nor released.
    ZemSerComSetBusy(port, 1);
    size_t writesBefore = writes.size();
    int reads = line.reads;
    EXPECT_EQ(RunUploadWorker(job), UPL_PORT_BUSY);
    EXPECT_EQ(ZemLoadResult(&job->result), UPL_PORT_BUSY);
    EXPECT_EQ(writes.size(), writesBefore);
    EXPECT_EQ(line.reads, reads);
    EXPECT_EQ(ZemSerComIsBusy(port), 1);
}
