// Frame layout, check values and the complete exchange of a small file.
#include <cstring>

#include "tests/upload/upload_rig.h"

TEST(UploadCheck, CrcMatchesTheXmodemVector)
{
    // Leading zeros leave a CRC with initial value 0 unchanged.
    unsigned char data[1024] = {};
    memcpy(data + 1024 - 9, "123456789", 9);
    EXPECT_EQ(UploadCrc16(data), 0x31C3);
    unsigned char zeros[1024] = {};
    EXPECT_EQ(UploadCrc16(zeros), 0);
}

TEST(UploadCheck, CrcEqualsTheBitwiseDivisionWithTwoZeroBytes)
{
    // The shift-register division over the data and two zero bytes.
    auto divide = [](const unsigned char* data) {
        uint32_t reg = 0;
        for (int i = 0; i < 1026; i++) {
            unsigned char byte = i < 1024 ? data[i] : 0;
            for (int bit = 7; bit >= 0; bit--) {
                uint32_t out = reg & 0x8000;
                reg = ((reg << 1) | ((byte >> bit) & 1)) & 0xFFFF;
                if (out)
                    reg ^= 0x1021;
            }
        }
        return static_cast<uint16_t>(reg);
    };
    unsigned char data[1024];
    uint32_t x = 99;
    for (int round = 0; round < 20; round++) {
        for (unsigned char& b : data) {
            x = x * 1103515245u + 12345u;
            b = static_cast<unsigned char>(x >> 16);
        }
        ASSERT_EQ(UploadCrc16(data), divide(data)) << round;
    }
}

TEST(UploadCheck, ChecksumIsTheSumOfThe128BytesModulo256)
{
    unsigned char data[1024];
    for (int i = 0; i < 1024; i++)
        data[i] = static_cast<unsigned char>(i < 128 ? 0xFF : 0x55);
    EXPECT_EQ(UploadChecksum(data), static_cast<unsigned char>(128 * 0xFF));
}

using UploadFrames = UploadRig;

TEST_F(UploadFrames, ChecksumModeGivesTheWorkedExampleExactly)
{
    Bytes content = FileContent(200);
    SetFiles({MakeFile("part.nc", content)});
    Script({NAK, ACK "C", ACK, ACK, ACK "CC", ACK});
    ASSERT_EQ(Run(), UPL_OK);

    auto frame = [](unsigned char number, Bytes data) {
        data.resize(128, 0);
        Bytes out = {UPL_SOH, number, static_cast<unsigned char>(255 - number)};
        out.insert(out.end(), data.begin(), data.end());
        unsigned sum = 0;
        for (unsigned char b : data)
            sum += b;
        out.push_back(static_cast<unsigned char>(sum));
        return out;
    };
    std::string headerText = std::string("part.nc") + '\0' + "200";
    Bytes expected = ToBytes("u\r");
    for (const Bytes& piece : {frame(0, ToBytes(headerText)), frame(1, Bytes(content.begin(), content.begin() + 128)),
                               frame(2, Bytes(content.begin() + 128, content.end())), Bytes{UPL_EOT}})
        expected.insert(expected.end(), piece.begin(), piece.end());
    // Line 12 asked for CRC mode: the closing header is a 1029-byte frame of zeros.
    Bytes closing = {UPL_STX, 0, 255};
    closing.resize(3 + 1024 + 2, 0);
    expected.insert(expected.end(), closing.begin(), closing.end());
    EXPECT_EQ(line.written, expected);
    EXPECT_EQ(line.purges, 2);   // at open and before "u\r"
}

TEST_F(UploadFrames, CrcModeSendsStxFramesWithTheCrcHighByteFirst)
{
    Bytes content = FileContent(1024);
    SetFiles({MakeFile("full.nc", content)});
    Script({"CC", ACK "C", ACK, ACK "CC", ACK});
    ASSERT_EQ(Run(), UPL_OK);
    ASSERT_EQ(writes.size(), 5u);
    const Bytes& block = writes[2];
    ASSERT_EQ(block.size(), 1029u);
    EXPECT_EQ(block[0], UPL_STX);
    EXPECT_EQ(block[1], 1);
    EXPECT_EQ(block[2], 254);
    EXPECT_EQ(FrameData(block), content);   // a full block carries no fill
    uint16_t crc = UploadCrc16(content.data());
    EXPECT_EQ(block[1027], crc >> 8);
    EXPECT_EQ(block[1028], crc & 0xFF);
    EXPECT_EQ(writes[3], Bytes{UPL_EOT});
}

TEST_F(UploadFrames, OneByteFileFillsWithZerosAndShowsFullAtOnce)
{
    SetFiles({MakeFile("one.nc", Bytes{0x5A})});
    Script({"CC", ACK "C", ACK, ACK "CC", ACK});
    ASSERT_EQ(Run(), UPL_OK);
    Bytes expected(1024, 0);
    expected[0] = 0x5A;
    EXPECT_EQ(FrameData(writes[2]), expected);
    // 256 * 1024 / 1 after the handshake, 256 after the block, 256 * 1024 / 1 at the close.
    EXPECT_EQ(Positions(), (std::vector<intptr_t>{262144, 256, 262144}));
    EXPECT_EQ(std::string(UploadStatusText), "1 from 1 Bytes uploaded");
}

TEST_F(UploadFrames, BlockNumberWrapsToZeroInThe256thBlock)
{
    SetFiles({MakeFile("long.nc", 256 * 128 + 1)});
    YmodemPeer receiver;
    receiver.crcMode = 0;
    UsePeer(&receiver);
    ASSERT_EQ(Run(), UPL_OK);
    const Bytes& block256 = writes[1 + 256];
    EXPECT_EQ(block256[0], UPL_SOH);
    EXPECT_EQ(block256[1], 0);
    EXPECT_EQ(block256[2], 255);
    EXPECT_EQ(writes[1 + 257][1], 1);
    ASSERT_EQ(receiver.files.size(), 1u);
    EXPECT_EQ(receiver.files[0].data, FileContent(256 * 128 + 1));
}

TEST_F(UploadFrames, HeaderCarriesDirectoryNameWithUnderscoresAndSize)
{
    strcpy(job->targetDir, "/ram/cncprg/");
    SetFiles({MakeFile("my part.nc", 987)});
    Script({"CC", ACK "C", ACK, ACK "CC", ACK});
    ASSERT_EQ(Run(), UPL_OK);
    Bytes data = FrameData(writes[1]);
    std::string text = std::string("/ram/cncprg/my_part.nc") + '\0' + "987";
    EXPECT_EQ(Bytes(data.begin(), data.begin() + text.size()), ToBytes(text));
    EXPECT_EQ(Bytes(data.begin() + text.size(), data.end()), Bytes(1024 - text.size(), 0));
    EXPECT_EQ(std::string(UploadFileText), "Uploading : my part.nc");
}
