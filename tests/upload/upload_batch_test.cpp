// Whole batches: several files, budgets, refused files, files that change
// while they are sent, and the progress the dialog is given.
#include <cstring>
#include <filesystem>
#include <fstream>

#include "serial/upload_steps.h"
#include "tests/upload/upload_rig.h"

using UploadBatches = UploadRig;

TEST_F(UploadBatches, FilesAroundBlockBoundariesArriveByteForByte)
{
    const uint32_t sizes[] = {1, 127, 128, 129, 1023, 1024, 1025, 2048, 3000};
    for (int crc = 0; crc <= 1; crc++) {
        SCOPED_TRACE(crc ? "crc" : "checksum");
        writes.clear();
        std::vector<std::string> paths;
        for (uint32_t size : sizes)
            paths.push_back(MakeFile("f" + std::to_string(size) + ".bin", size));
        SetFiles(paths);
        YmodemPeer receiver;
        receiver.crcMode = crc;
        UsePeer(&receiver);
        ASSERT_EQ(Run(), UPL_OK);
        EXPECT_EQ(receiver.closed, 1);
        ASSERT_EQ(receiver.files.size(), std::size(sizes));
        for (size_t i = 0; i < std::size(sizes); i++) {
            EXPECT_EQ(receiver.files[i].name, "f" + std::to_string(sizes[i]) + ".bin");
            EXPECT_EQ(receiver.files[i].size, sizes[i]);
            EXPECT_EQ(receiver.files[i].data, FileContent(sizes[i]));
        }
    }
}

TEST_F(UploadBatches, EmptyListClosesTheBatchWithAFullBar)
{
    SetFiles({});
    Script({"CC", ACK});
    EXPECT_EQ(Run(), UPL_OK);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(Bytes(writes[1].begin(), writes[1].begin() + 3), Bytes({UPL_STX, 0, 255}));
    EXPECT_EQ(FrameData(writes[1]), Bytes(1024, 0));
    EXPECT_EQ(Positions(), std::vector<intptr_t>{256});
}

TEST_F(UploadBatches, NoticesFollowEachStepOfAFile)
{
    SetFiles({MakeFile("a.nc", 300)});
    Script({NAK, ACK "C", ACK, ACK, ACK, ACK NAK, ACK});
    ASSERT_EQ(Run(), UPL_OK);
    std::vector<std::pair<unsigned, intptr_t>> expected = {
        {UM_SET_FILE_TEXT, 0}, {UM_PROGRESS_INIT, 0}, {UM_PROGRESS_SET, 256 * 128 / 300},
        {UM_SET_STATUS_TEXT, 0}, {UM_PROGRESS_SET, 128 * 256 / 300},
        {UM_SET_STATUS_TEXT, 0}, {UM_PROGRESS_SET, 256 * 256 / 300},
        {UM_SET_STATUS_TEXT, 0}, {UM_PROGRESS_SET, 256},
        {UM_PROGRESS_SET, 256 * 128 / 300},   // the closing header uses the last file's size
    };
    EXPECT_EQ(notices, expected);
    EXPECT_EQ(std::string(UploadStatusText), "300 from 300 Bytes uploaded");
}

struct BudgetCase {
    const char* targetDir;
    uint32_t size;
    int result;
    uint32_t ramLeft, flashLeft;
};

class UploadBudgets : public UploadRig, public testing::WithParamInterface<BudgetCase> {};

TEST_P(UploadBudgets, DrawOnTheDiskOfTheDirectory)
{
    const BudgetCase& row = GetParam();
    strcpy(job->targetDir, row.targetDir);
    job->ramBudget = 1000;
    job->flashBudget = 2000;
    SetFiles({MakeFile("b.nc", row.size)});
    YmodemPeer receiver;
    UsePeer(&receiver);
    EXPECT_EQ(Run(), row.result);
    EXPECT_EQ(job->ramBudget, row.ramLeft);
    EXPECT_EQ(job->flashBudget, row.flashLeft);
    if (row.result == UPL_NO_SPACE) {
        // One CAN and no start handshake.
        EXPECT_EQ(line.written, ToBytes("u\r" CAN));
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, UploadBudgets, testing::Values(
    BudgetCase{"", 1000, UPL_OK, 0, 2000},
    BudgetCase{"", 1001, UPL_NO_SPACE, 1000, 2000},
    BudgetCase{"/ram/", 999, UPL_OK, 1, 2000},
    BudgetCase{"/ROM/", 2000, UPL_OK, 1000, 0},
    BudgetCase{"/rom/cnc/", 2001, UPL_NO_SPACE, 1000, 2000},
    BudgetCase{"/RoMdisk/", 1500, UPL_OK, 1000, 500},
    BudgetCase{"/RO", 1500, UPL_NO_SPACE, 1000, 2000},
    BudgetCase{"/ram/rom/", 1500, UPL_NO_SPACE, 1000, 2000}));

TEST_F(UploadBatches, BudgetIsLoweredFileByFileUntilOneNoLongerFits)
{
    job->ramBudget = 2500;
    SetFiles({MakeFile("a.nc", 1000), MakeFile("b.nc", 1000), MakeFile("c.nc", 1000)});
    YmodemPeer receiver;
    UsePeer(&receiver);
    EXPECT_EQ(Run(), UPL_NO_SPACE);
    EXPECT_EQ(receiver.files.size(), 2u);
    EXPECT_EQ(job->ramBudget, 500u);
    EXPECT_EQ(writes.back(), ToBytes(CAN));
}

TEST_F(UploadBatches, MissingEmptyOrDirectoryCostsOneCanAfterEarlierFiles)
{
    std::filesystem::create_directory(folder / "sub");
    const std::string refused[] = {(folder / "absent.nc").string(), MakeFile("empty.nc", Bytes{}),
                                   (folder / "sub").string()};
    for (const std::string& path : refused) {
        SCOPED_TRACE(path);
        writes.clear();
        SetFiles({MakeFile("first.nc", 500), path, MakeFile("never.nc", 10)});
        YmodemPeer receiver;
        UsePeer(&receiver);
        EXPECT_EQ(Run(), UPL_FILE_ERROR);
        ASSERT_EQ(receiver.files.size(), 1u);
        EXPECT_EQ(receiver.files[0].data, FileContent(500));
        // The CAN follows the first file's EOT directly: no second handshake.
        ASSERT_GE(writes.size(), 2u);
        EXPECT_EQ(writes[writes.size() - 2], Bytes{UPL_EOT});
        EXPECT_EQ(writes.back(), ToBytes(CAN));
    }
}

TEST_F(UploadBatches, HeaderTooLongForAChecksumBlockIsRefused)
{
    std::string dir = "/ram/" + std::string(110, 'd') + "/";   // 116 characters
    strcpy(job->targetDir, dir.c_str());
    SetFiles({MakeFile("abcdefgh.nc", 1000)});   // 116 + 11 + NUL + 4 digits > 127
    YmodemPeer checksum;
    checksum.crcMode = 0;
    UsePeer(&checksum);
    EXPECT_EQ(Run(), UPL_FILE_ERROR);
    EXPECT_EQ(writes.back(), ToBytes(CAN));
    EXPECT_EQ(CountWritesOfLength(132), 0);

    // The same header fits a CRC block.
    writes.clear();
    YmodemPeer crc;
    UsePeer(&crc);
    EXPECT_EQ(Run(), UPL_OK);
    ASSERT_EQ(crc.files.size(), 1u);
    EXPECT_EQ(crc.files[0].name, dir + "abcdefgh.nc");
    EXPECT_EQ(crc.files[0].size, 1000u);
}

TEST_F(UploadBatches, HeaderThatJustFitsAChecksumBlockGoesOut)
{
    // 118 + 4 + NUL + 4 digits = 127 bytes, so a zero still ends the size.
    std::string dir = "/" + std::string(116, 'd') + "/";
    strcpy(job->targetDir, dir.c_str());
    SetFiles({MakeFile("a.nc", 1000)});
    YmodemPeer checksum;
    checksum.crcMode = 0;
    UsePeer(&checksum);
    EXPECT_EQ(Run(), UPL_OK);
    ASSERT_EQ(checksum.files.size(), 1u);
    EXPECT_EQ(checksum.files[0].size, 1000u);
}

TEST_F(UploadBatches, FileThatShrinksDuringTheTransferIsCancelled)
{
    std::string path = MakeFile("shrink.nc", 3000);
    SetFiles({path});
    YmodemPeer receiver;
    peer = [&](size_t index, const Bytes& bytes) {
        Bytes answer = receiver.Answer(bytes);
        if (bytes.size() == 1029 && bytes[1] == 1)
            std::filesystem::resize_file(path, 1500);
        return std::string(answer.begin(), answer.end());
    };
    EXPECT_EQ(Run(), UPL_FILE_ERROR);
    EXPECT_EQ(CountWritesOfLength(1029), 2);   // header and block 1 only
    EXPECT_EQ(writes.back(), Bytes(1024, UPL_CAN));
    EXPECT_EQ(CountWritesOfLength(1), 0);      // no EOT
    EXPECT_GE(line.clock.slept, 9000u);
}

TEST_F(UploadBatches, FileThatGrowsDuringTheTransferIsCancelled)
{
    for (uint32_t size : {3000u, 2048u}) {
        SCOPED_TRACE(size);
        writes.clear();
        std::string path = MakeFile("grow.nc", size);
        SetFiles({path});
        YmodemPeer receiver;
        peer = [&](size_t index, const Bytes& bytes) {
            Bytes answer = receiver.Answer(bytes);
            if (bytes.size() == 1029 && bytes[1] == 1) {
                std::ofstream out(path, std::ios::binary | std::ios::app);
                out << "more";
            }
            return std::string(answer.begin(), answer.end());
        };
        EXPECT_EQ(Run(), UPL_FILE_ERROR);
        EXPECT_EQ(writes.back(), Bytes(1024, UPL_CAN));
        EXPECT_EQ(CountWritesOfLength(1), 0);   // never an EOT for it
    }
}

TEST_F(UploadBatches, ProgressNearFourGibibytesDoesNotOverflow)
{
    // A sparse file of 4 GiB - 1024 bytes; the receiver stops after 17000
    // blocks, past the point where offset * 256 leaves 32 bits.
    const uint32_t size = 0xFFFFFC00u;
    std::filesystem::path path = folder / "huge.bin";
    {
        std::ofstream out(path, std::ios::binary);
    }
    std::filesystem::resize_file(path, size);
    SetFiles({path.string()});
    keepWrites = 0;
    const uint32_t blocks = 17000;
    uint32_t header = 0;
    peer = [&](size_t index, const Bytes& bytes) -> std::string {
        if (index == 0)
            return "CC";
        if (index == 1) {
            header = static_cast<uint32_t>(strtoul(reinterpret_cast<const char*>(bytes.data()) + 3 + 9, nullptr, 10));
            return ACK "C";
        }
        return index - 1 < blocks ? ACK : CAN;
    };
    EXPECT_EQ(Run(), UPL_REMOTE_CANCEL);
    EXPECT_EQ(header, size);
    std::vector<intptr_t> positions = Positions();
    ASSERT_EQ(positions.size(), blocks);
    EXPECT_EQ(positions[0], 0);   // 256 * 1024 / size after the handshake
    for (uint32_t block = 1; block < blocks; block++)
        ASSERT_EQ(positions[block], static_cast<intptr_t>(uint64_t(block) * 1024 * 256 / size)) << block;
    EXPECT_EQ(positions.back(), 1);
}

TEST_F(UploadBatches, FailedWritesEndTheBatch)
{
    SetFiles({MakeFile("a.nc", 100)});
    line.failWrites = 1;
    EXPECT_EQ(Run(), UPL_COMMAND_FAILED);

    writes.clear();
    Script({"CC"});
    line.shortWrites = 0;
    peer = [this](size_t index, const Bytes&) -> std::string {
        if (index == 0) {
            line.shortWrites = 1;   // the header ends one byte short
            return "CC";
        }
        return "";
    };
    EXPECT_EQ(Run(), UPL_WRITE_FAILED);

    writes.clear();
    peer = [this](size_t index, const Bytes&) -> std::string {
        if (index == 0)
            return "CC";
        line.failWrites = 1;   // the data block fails
        return ACK "C";
    };
    EXPECT_EQ(Run(), UPL_WRITE_FAILED);
}

TEST_F(UploadBatches, ListWithoutItsClosingNulIsRefused)
{
    memset(job->fileList, 'x', sizeof(job->fileList));
    EXPECT_EQ(Run(), UPL_FILE_ERROR);
    EXPECT_EQ(line.written, ToBytes("u\r" CAN));
}
