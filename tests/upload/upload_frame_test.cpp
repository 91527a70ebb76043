// Frame layout and check values: whole exchanges compared byte for byte with
// frames built here independently, the block number wrap and the notices.
#include <cstring>

#include "serial/upload_notice.h"
#include "tests/upload/upload_rig.h"

// A frame as the receiver expects it: SOH and the sum for 128 bytes, STX and
// the CRC (high byte first) for 1024, data filled up with zeros.
static Bytes Frame(bool crc, unsigned char number, Bytes data)
{
    data.resize(crc ? 1024 : 128, 0);
    Bytes out = {crc ? UPL_STX : UPL_SOH, number, static_cast<unsigned char>(255 - number)};
    out.insert(out.end(), data.begin(), data.end());
    unsigned sum = 0, reg = 0;
    for (unsigned char byte : data) {
        sum += byte;
        for (int bit = 7; bit >= 0; bit--)
            reg = ((reg << 1) ^ ((((reg >> 15) ^ (byte >> bit)) & 1) ? 0x1021 : 0)) & 0xFFFF;
    }
    if (crc)
        out.insert(out.end(), {static_cast<unsigned char>(reg >> 8), static_cast<unsigned char>(reg)});
    else
        out.push_back(static_cast<unsigned char>(sum));
    return out;
}

using UploadFrames = UploadRig;

TEST(UploadCheck, CrcMatchesTheXmodemVector)
{
    // Leading zeros leave a CRC with initial value 0 unchanged.
    unsigned char data[1024] = {};
    memcpy(data + 1024 - 9, "123456789", 9);
    EXPECT_EQ(UploadCrc16(data), 0x31C3);
}

struct ExchangeCase {
    const char* title;
    const char* targetDir;
    std::string name;                   // on the PC
    uint32_t size;
    std::vector<std::string> replies;
    bool crc, closeCrc;                 // mode of the file's frames and of the closing header
    std::string header;                 // name in block 0
    std::vector<intptr_t> positions;    // progress, when checked
};

static void PrintTo(const ExchangeCase& row, std::ostream* out)
{
    *out << row.title;
}

class UploadExchange : public UploadRig, public testing::WithParamInterface<ExchangeCase> {};

TEST_P(UploadExchange, WritesExactlyTheseBytes)
{
    const ExchangeCase& row = GetParam();
    strcpy(job->targetDir, row.targetDir);
    Bytes content = FileContent(row.size);
    SetFiles({MakeFile(row.name, content)});
    Script(row.replies);
    ASSERT_EQ(Run(), UPL_OK);

    Bytes expected = ToBytes("u\r");
    std::vector<Bytes> pieces = {Frame(row.crc, 0, ToBytes(row.header + '\0' + std::to_string(row.size)))};
    size_t block = row.crc ? 1024 : 128;
    for (size_t at = 0; at < content.size(); at += block)
        pieces.push_back(Frame(row.crc, static_cast<unsigned char>(at / block + 1),
                               Bytes(content.begin() + at, content.begin() + std::min(content.size(), at + block))));
    pieces.push_back({UPL_EOT});
    pieces.push_back(Frame(row.closeCrc, 0, {}));
    for (const Bytes& piece : pieces)
        expected.insert(expected.end(), piece.begin(), piece.end());
    EXPECT_EQ(line.written, expected);
    EXPECT_EQ(line.purges, 2);   // at open and before "u\r"
    EXPECT_EQ(std::string(UploadFileText), "Uploading : " + row.name);
    EXPECT_EQ(std::string(UploadStatusText), std::to_string(row.size) + " from " + std::to_string(row.size) + " Bytes uploaded");
    if (!row.positions.empty()) {
        EXPECT_EQ(Positions(), row.positions);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, UploadExchange, testing::Values(
    // The worked example: NAK asks for sums, the 'C' after EOT for a CRC closing header.
    ExchangeCase{"checksum_200_bytes", "", "part.nc", 200, {NAK, ACK "C", ACK, ACK, ACK "CC", ACK}, false, true,
                 "part.nc", {}},
    ExchangeCase{"crc_full_block_without_fill", "", "full.nc", 1024, {"CC", ACK "C", ACK, ACK "CC", ACK}, true, true,
                 "full.nc", {}},
    // 256 * 1024 / 1 after the handshake, 256 after the block, 256 * 1024 / 1 at the close.
    ExchangeCase{"crc_one_byte_with_blanks", "/ram/cncprg/", "my part.nc", 1, {"CC", ACK "C", ACK, ACK "CC", ACK},
                 true, true, "/ram/cncprg/my_part.nc", {262144, 256, 262144}},
    ExchangeCase{"checksum_three_blocks", "/ROM/", "p.nc", 300, {NAK, ACK "C", ACK, ACK, ACK, ACK NAK, ACK}, false,
                 false, "/ROM/p.nc", {}}),
    [](const testing::TestParamInfo<ExchangeCase>& info) { return std::string(info.param.title); });

TEST_F(UploadFrames, BlockNumberWrapsToZeroInThe256thBlock)
{
    SetFiles({MakeFile("long.nc", 256 * 128 + 1)});
    YmodemPeer receiver;
    receiver.crcMode = 0;
    UsePeer(&receiver);
    ASSERT_EQ(Run(), UPL_OK);
    EXPECT_EQ(Bytes(writes[1 + 256].begin(), writes[1 + 256].begin() + 3), Bytes({UPL_SOH, 0, 255}));
    EXPECT_EQ(writes[1 + 257][1], 1);
    ASSERT_EQ(receiver.files.size(), 1u);
    EXPECT_EQ(receiver.files[0].data, FileContent(256 * 128 + 1));
}

TEST_F(UploadFrames, NoticesFollowEachStepOfAFile)
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
}
