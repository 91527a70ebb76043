// Block framing: the 8-bit sum of checksum mode, the CRC-16 of CRC mode and
// the one write that puts a whole frame on the line.
#include "lib/zem_lib.h"
#include "serial/serial_port.h"
#include "serial/upload_protocol.h"

// The frame goes out as one contiguous write, check bytes right behind the data used.
static_assert(sizeof(UploadFrame) == 3 + 1024 + 2, "UploadFrame must have no padding");

constexpr uint32_t CHECKSUM_BLOCK = 128;
constexpr uint32_t CRC_BLOCK = 1024;

unsigned char UploadChecksum(const unsigned char* data)
{
    unsigned sum = 0;
    for (uint32_t i = 0; i < CHECKSUM_BLOCK; i++)
        sum += data[i];
    return static_cast<unsigned char>(sum);
}

// CRC-16/XMODEM (polynomial 0x1021, start 0, most significant bit first).
// Feeding the bits straight into the top of the register gives the same value
// as dividing the data followed by two zero bytes; a table of the 256 byte
// steps keeps the sender from being the slow end of a fast line.
struct CrcTable {
    uint16_t step[256];
};

static constexpr CrcTable MakeCrcTable()
{
    CrcTable table = {};
    for (uint32_t byte = 0; byte < 256; byte++) {
        uint32_t crc = byte << 8;
        for (int bit = 0; bit < 8; bit++)
            crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) : (crc << 1);
        table.step[byte] = static_cast<uint16_t>(crc);
    }
    return table;
}

static constexpr CrcTable crcTable = MakeCrcTable();

uint16_t UploadCrc16(const unsigned char* data)
{
    uint16_t crc = 0;
    for (uint32_t i = 0; i < CRC_BLOCK; i++)
        crc = static_cast<uint16_t>((crc << 8) ^ crcTable.step[(crc >> 8) ^ data[i]]);
    return crc;
}

int UploadSendBlock(SerialPort* port, UploadFrame* frame, int mode, uint32_t counter)
{
    frame->header = static_cast<unsigned char>(mode == START_CRC ? UPL_STX : UPL_SOH);
    frame->number = static_cast<unsigned char>(counter & 0xFF);
    frame->complement = static_cast<unsigned char>(255 - frame->number);
    uint32_t length;
    if (mode == START_CRC) {
        uint16_t crc = UploadCrc16(frame->data);
        frame->check[0] = static_cast<unsigned char>(crc >> 8);
        frame->check[1] = static_cast<unsigned char>(crc & 0xFF);
        length = 3 + CRC_BLOCK + 2;
    } else {
        frame->data[CHECKSUM_BLOCK] = UploadChecksum(frame->data);
        length = 3 + CHECKSUM_BLOCK + 1;
    }
    return ZemSerComWrite(port, frame, length, 1) == SERCOM_DONE;
}
