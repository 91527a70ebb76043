// A frame as a receiver checks it, built independently of the sender: SOH and the
// sum for 128 bytes, STX and the CRC (high byte first) for 1024, zero-filled.
#pragma once

template <class Bytes>
Bytes Frame(bool crc, unsigned char number, Bytes data)
{
    data.resize(crc ? 1024 : 128, 0);
    Bytes out = {static_cast<typename Bytes::value_type>(crc ? 2 : 1), static_cast<typename Bytes::value_type>(number),
                 static_cast<typename Bytes::value_type>(255 - number)};
    unsigned sum = 0, reg = 0;
    for (unsigned char byte : data) {
        sum += byte;
        for (int bit = 7; bit >= 0; bit--)
            reg = ((reg << 1) ^ ((((reg >> 15) ^ (byte >> bit)) & 1) ? 0x1021 : 0)) & 0xFFFF;
    }
    out.insert(out.end(), data.begin(), data.end());
    if (crc)
        out.push_back(static_cast<typename Bytes::value_type>(reg >> 8));
    out.push_back(static_cast<typename Bytes::value_type>(crc ? reg : sum));
    return out;
}
