// The user's cancel: when the sender notices it and what it sends then.
#include "lib/zem_shared.h"
#include "tests/upload/upload_rig.h"

using UploadCancel = UploadRig;

TEST_F(UploadCancel, CancelAfterADataBlockSendsABlockOfCanPausesAndDrains)
{
    for (int crc = 0; crc <= 1; crc++) {
        SCOPED_TRACE(crc);
        writes.clear();
        notices.clear();
        line.clock = VirtualClock{};
        ZemStoreByte(&job->cancelRequested, 0);
        SetFiles({MakeFile("c.nc", 5000)});
        YmodemPeer receiver;
        receiver.crcMode = crc;
        int readsBeforeDrain = 0;
        peer = [&](size_t index, const Bytes& bytes) {
            Bytes answer = receiver.Answer(bytes);
            if (index == 3) {   // the user clicks while block 2 is on its way
                ZemStoreByte(&job->cancelRequested, 1);
                readsBeforeDrain = line.reads;
                answer.push_back('z');   // still waiting when the drain comes
            }
            return std::string(answer.begin(), answer.end());
        };
        EXPECT_EQ(Run(), UPL_CANCELLED);
        size_t block = crc ? 1024 : 128;
        ASSERT_EQ(writes.size(), 5u);   // u, header, block 1, block 2, CAN run
        EXPECT_EQ(writes.back(), Bytes(block, UPL_CAN));
        EXPECT_EQ(std::string(UploadStatusText), "Canceling, this may take 10-15 Seconds");
        EXPECT_EQ(notices.back(), std::make_pair(unsigned(UM_SET_STATUS_TEXT), intptr_t(0)));
        EXPECT_EQ(line.clock.slept, 9000u);
        // The reply to block 2 was read, then one drain read took the rest.
        EXPECT_EQ(line.reads, readsBeforeDrain + 2);
        EXPECT_TRUE(line.pending.empty());
    }
}

TEST_F(UploadCancel, CancelDuringTheHeaderWaitsForTheNextDataBlock)
{
    SetFiles({MakeFile("a.nc", 100), MakeFile("b.nc", 100)});
    YmodemPeer receiver;
    peer = [&](size_t index, const Bytes& bytes) {
        if (index == 1)
            ZemStoreByte(&job->cancelRequested, 1);
        Bytes answer = receiver.Answer(bytes);
        return std::string(answer.begin(), answer.end());
    };
    EXPECT_EQ(Run(), UPL_CANCELLED);
    ASSERT_EQ(writes.size(), 4u);   // u, header, one data block, CAN run
    EXPECT_EQ(writes.back(), Bytes(1024, UPL_CAN));
}

TEST_F(UploadCancel, CancelAfterTheLastDataBlockEndsNormally)
{
    SetFiles({MakeFile("a.nc", 100)});
    YmodemPeer receiver;
    peer = [&](size_t index, const Bytes& bytes) {
        if (bytes.size() == 1 && bytes[0] == UPL_EOT)
            ZemStoreByte(&job->cancelRequested, 1);
        Bytes answer = receiver.Answer(bytes);
        return std::string(answer.begin(), answer.end());
    };
    EXPECT_EQ(Run(), UPL_OK);
    EXPECT_EQ(receiver.closed, 1);
    EXPECT_EQ(line.clock.slept, 0u);
}
