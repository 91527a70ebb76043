// Whole batches: several files, budgets, refused files, files that change
// while they are sent, failed writes and progress near 4 GiB.
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/upload/upload_rig.h"

using UploadBatches = UploadRig;

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

struct BudgetCase {
    const char* targetDir;
    std::vector<uint32_t> sizes;
    int result;
    uint32_t ramLeft, flashLeft;
};

static void PrintTo(const BudgetCase& row, std::ostream* out)
{
    *out << '"' << row.targetDir << "\" with " << row.sizes.size() << " files, the last " << row.sizes.back();
}

class UploadBudgets : public UploadRig, public testing::WithParamInterface<BudgetCase> {};

// RAM 1000, flash 2000: each file draws on the disk of its directory; the
// first that no longer fits costs one CAN and no handshake for it.
TEST_P(UploadBudgets, DrawOnTheDiskOfTheDirectory)
{
    const BudgetCase& row = GetParam();
    strcpy(job->targetDir, row.targetDir);
    job->ramBudget = 1000;
    job->flashBudget = 2000;
    std::vector<std::string> paths;
    for (uint32_t size : row.sizes)
        paths.push_back(MakeFile("b" + std::to_string(paths.size()) + ".nc", size));
    SetFiles(paths);
    YmodemPeer receiver;
    UsePeer(&receiver);
    EXPECT_EQ(Run(), row.result);
    EXPECT_EQ(job->ramBudget, row.ramLeft);
    EXPECT_EQ(job->flashBudget, row.flashLeft);
    if (row.result == UPL_NO_SPACE) {
        EXPECT_EQ(receiver.files.size(), row.sizes.size() - 1);
        EXPECT_EQ(writes.back(), ToBytes(CAN));
        EXPECT_EQ(CountWritesOfLength(2), 1) << "no handshake after the refusal";
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, UploadBudgets, testing::Values(
    BudgetCase{"", {1000}, UPL_OK, 0, 2000},
    BudgetCase{"", {1001}, UPL_NO_SPACE, 1000, 2000},
    BudgetCase{"/ram/", {999}, UPL_OK, 1, 2000},
    BudgetCase{"/ROM/", {2000}, UPL_OK, 1000, 0},
    BudgetCase{"/rom/cnc/", {2001}, UPL_NO_SPACE, 1000, 2000},
    BudgetCase{"/RoMdisk/", {1500}, UPL_OK, 1000, 500},
    BudgetCase{"/RO", {1500}, UPL_NO_SPACE, 1000, 2000},
    BudgetCase{"/ram/rom/", {1500}, UPL_NO_SPACE, 1000, 2000},
    BudgetCase{"", {400, 400, 400}, UPL_NO_SPACE, 200, 2000}));

TEST_F(UploadBatches, MissingEmptyOrDirectoryCostsOneCanAfterEarlierFiles)
{
    std::filesystem::create_directory(dir.path / "sub");
    // A pattern that matches first.nc is no file either.
    for (const std::string& path :
         {dir.File("absent.nc"), MakeFile("empty.nc", Bytes{}), dir.File("sub"), dir.File("f*.nc")}) {
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

TEST_F(UploadBatches, ListWithoutItsClosingNulIsRefused)
{
    memset(job->fileList, 'x', sizeof(job->fileList));
    EXPECT_EQ(Run(), UPL_FILE_ERROR);
    EXPECT_EQ(line.written, ToBytes("u\r" CAN));
}

// Block 0 carries directory, name, NUL and size; in checksum mode it must fit 128 bytes.
TEST_F(UploadBatches, HeaderTooLongForAChecksumBlockIsRefused)
{
    const struct { std::string dir, name; int crc, result; } rows[] = {
        {"/ram/" + std::string(110, 'd') + "/", "abcdefgh.nc", 0, UPL_FILE_ERROR},   // 116 + 11 + 1 + 4 > 127
        {"/ram/" + std::string(110, 'd') + "/", "abcdefgh.nc", 1, UPL_OK},
        {"/" + std::string(116, 'd') + "/", "a.nc", 0, UPL_OK},   // 127: a zero still ends the size
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.dir.size() + row.name.size());
        writes.clear();
        strcpy(job->targetDir, row.dir.c_str());
        SetFiles({MakeFile(row.name, 1000)});
        YmodemPeer receiver;
        receiver.crcMode = row.crc;
        UsePeer(&receiver);
        EXPECT_EQ(Run(), row.result);
        if (row.result == UPL_OK) {
            ASSERT_EQ(receiver.files.size(), 1u);
            EXPECT_EQ(receiver.files[0].name, row.dir + row.name);
            EXPECT_EQ(receiver.files[0].size, 1000u);
        } else {
            EXPECT_EQ(writes.back(), ToBytes(CAN));
            EXPECT_EQ(CountWritesOfLength(132), 0);
        }
    }
}

// After block 1 the file is cut, grows or vanishes: a block of CAN, the pause, no EOT.
TEST_F(UploadBatches, FileThatChangesLengthDuringTheTransferIsCancelled)
{
    // The change shows at the next block read: its length, or the file's
    // write time and identity (a rewrite of the same size, a replacement).
    enum { REWRITE = 1, REPLACE = 2, DELETE = 3 };
    const struct { uint32_t size; int64_t change; int how; int frames; } rows[] = {
        {3000, -1500, 0, 2}, {3000, 4, 0, 2}, {2048, 4, 0, 2}, {3000, 0, REWRITE, 2}, {3000, 0, REPLACE, 2},
        {3000, 0, DELETE, 2}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.change + 10 * row.how);
        writes.clear();
        line.clock.slept = 0;
        std::string path = MakeFile("change.nc", row.size);
        // An old write time, so a rewrite within the file system's clock tick still shows.
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::hours(1));
        SetFiles({path});
        YmodemPeer receiver;
        UsePeer(&receiver, [&](size_t, const Bytes& bytes) {
            if (bytes.size() != 1029 || bytes[1] != 1)
                return std::string();
            if (row.how == REWRITE) {
                FILE* file = fopen(path.c_str(), "r+b");
                fputs("NEW", file);
                fclose(file);
            } else if (row.how == DELETE) {
                std::filesystem::remove(path);
            } else if (row.how == REPLACE) {
                std::string other = MakeFile("other.nc", row.size);
                std::filesystem::rename(other, path);
            } else {
                std::filesystem::resize_file(path, row.size + row.change);
            }
            return std::string();
        });
        EXPECT_EQ(Run(), UPL_FILE_ERROR);
        EXPECT_EQ(CountWritesOfLength(1029), row.frames);   // header and the blocks before the change showed
        EXPECT_EQ(writes.back(), Bytes(1024, UPL_CAN));
        EXPECT_EQ(CountWritesOfLength(1), 0);
        EXPECT_GE(line.clock.slept, 9000u);
    }
}

TEST_F(UploadBatches, ProgressNearFourGibibytesDoesNotOverflow)
{
    // A sparse file of 4 GiB - 1024 bytes; the receiver stops after 17000
    // blocks, past the point where offset * 256 leaves 32 bits.
    const uint32_t size = 0xFFFFFC00u, blocks = 17000;
    std::string path = MakeFile("huge.bin", Bytes{});
    std::filesystem::resize_file(path, size);
    SetFiles({path});
    keepWrites = 0;
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
    line.failWrites = 1;   // "u\r"
    EXPECT_EQ(Run(), UPL_COMMAND_FAILED);
    for (int* fault : {&line.shortWrites, &line.failWrites}) {
        // The header ends one byte short, or the data block fails.
        writes.clear();
        peer = [&](size_t index, const Bytes&) -> std::string {
            if (index == (fault == &line.shortWrites ? 0u : 1u))
                *fault = 1;
            return index == 0 ? "CC" : ACK "C";
        };
        EXPECT_EQ(Run(), UPL_WRITE_FAILED);
    }
}
