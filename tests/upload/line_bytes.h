// Bytes on the line as the tests write them down, built independently of the program.
#pragma once

#include <algorithm>

// A frame as a receiver checks it: SOH and the sum for 128 bytes, STX and the CRC
// (high byte first) for 1024, zero-filled.
template <class Bytes>
Bytes Frame(bool crc, unsigned char number, Bytes data)
{
    using Byte = typename Bytes::value_type;
    data.resize(crc ? 1024 : 128, 0);
    Bytes out(3 + data.size() + 1 + crc, 0);
    out[0] = static_cast<Byte>(crc ? 2 : 1), out[1] = static_cast<Byte>(number), out[2] = static_cast<Byte>(255 - number);
    unsigned sum = 0, reg = 0;
    for (unsigned char byte : data) {
        sum += byte;
        for (int bit = 7; bit >= 0; bit--)
            reg = ((reg << 1) ^ ((((reg >> 15) ^ (byte >> bit)) & 1) ? 0x1021 : 0)) & 0xFFFF;
    }
    std::copy(data.begin(), data.end(), out.begin() + 3);
    out[out.size() - 1 - crc] = static_cast<Byte>(crc ? reg >> 8 : sum);
    out.back() = static_cast<Byte>(crc ? reg : sum);
    return out;
}
