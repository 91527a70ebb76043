// The worker body: the busy flag around the batch, the drain and the result.
#include "lib/zem_shared.h"
#include "serial/upload_worker.h"
#include "tests/upload/upload_rig.h"

using UploadWorker = UploadRig;

TEST_F(UploadWorker, HoldsThePortForTheBatchThenDrainsAndReleasesIt)
{
    SetFiles({MakeFile("a.nc", 100)});
    YmodemPeer receiver;
    int busyWhileWriting = 1;
    peer = [&](size_t, const Bytes& bytes) {
        busyWhileWriting &= ZemSerComIsBusy(port);
        Bytes answer = receiver.Answer(bytes);
        if (receiver.closed)
            answer.insert(answer.end(), {'x', 'y'});   // left for the drain
        return std::string(answer.begin(), answer.end());
    };
    ZemStoreResult(&job->result, 77);
    EXPECT_EQ(RunUploadWorker(job), UPL_OK);
    EXPECT_EQ(ZemLoadResult(&job->result), UPL_OK);
    EXPECT_EQ(busyWhileWriting, 1);
    EXPECT_EQ(ZemSerComIsBusy(port), 0);
    EXPECT_TRUE(line.pending.empty());
}

TEST_F(UploadWorker, BusyPortIsNeitherUsedNorReleased)
{
    SetFiles({MakeFile("a.nc", 100)});
    ZemSerComSetBusy(port, 1);
    int reads = line.reads;
    EXPECT_EQ(RunUploadWorker(job), UPL_PORT_BUSY);
    EXPECT_EQ(ZemLoadResult(&job->result), UPL_PORT_BUSY);
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(line.reads, reads);
    EXPECT_EQ(ZemSerComIsBusy(port), 1);
}

TEST_F(UploadWorker, FailureIsStoredAndThePortFreed)
{
    SetFiles({MakeFile("a.nc", 100)});
    Script({"C"});
    EXPECT_EQ(RunUploadWorker(job), UPL_NO_ANSWER);
    EXPECT_EQ(ZemLoadResult(&job->result), UPL_NO_ANSWER);
    EXPECT_EQ(ZemSerComIsBusy(port), 0);
}

TEST(UploadResults, EachCodeHasItsMessage)
{
    const char* error = "There was an error trying to upload.";
    struct { int code; const char* message; const char* name; } rows[] = {
        {UPL_OK, nullptr, "UPL_OK"},
        {UPL_PORT_BUSY, nullptr, "UPL_PORT_BUSY"},
        {UPL_CANCELLED, nullptr, "UPL_CANCELLED"},
        {UPL_COMMAND_FAILED, error, "UPL_COMMAND_FAILED"},
        {UPL_NO_ANSWER, error, "UPL_NO_ANSWER"},
        {UPL_WRITE_FAILED, error, "UPL_WRITE_FAILED"},
        {UPL_FILE_ERROR, "Upload-Error: Can't read file.", "UPL_FILE_ERROR"},
        {UPL_REMOTE_CANCEL, error, "UPL_REMOTE_CANCEL"},
        {UPL_TOO_MANY_RETRIES, error, "UPL_TOO_MANY_RETRIES"},
        {UPL_NO_SPACE, "Upload-Error: Not enough space.", "UPL_NO_SPACE"},
    };
    for (const auto& row : rows) {
        EXPECT_STREQ(UploadResultName(row.code), row.name);
        EXPECT_STREQ(UploadResultMessage(row.code), row.message) << row.name;
    }
}
