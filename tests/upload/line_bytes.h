// Bytes on the line as the tests write them down, built independently of the program.
#pragma once

#include <algorithm>
#include <string>
#include <utility>

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

// Text with each <NAME> of names replaced by its bytes; "-" is nothing.
template <class Bytes, class Names>
Bytes DecodeNames(const std::string& text, const Names& names)
{
    Bytes out;
    for (size_t at = 0; text != "-" && at < text.size();) {
        auto named = std::find_if(std::begin(names), std::end(names), [&](const auto& n) { return text.compare(at, n.first.size(), n.first) == 0; });
        std::string piece = named == std::end(names) ? text.substr(at, 1) : std::string(named->second);
        out.insert(out.end(), piece.begin(), piece.end());
        at += named == std::end(names) ? 1 : named->first.size();
    }
    return out;
}
