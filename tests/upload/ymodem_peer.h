// The receiving side of an upload for the tests of the sender: file contents that show a shifted or lost byte,
// and a receiver that behaves.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "serial/upload_protocol.h"

using Bytes = std::vector<unsigned char>;

inline Bytes FileContent(uint32_t size)
{
    Bytes content(size);
    for (uint32_t i = 0; i < size; i++)
        content[i] = static_cast<unsigned char>(i * 7 + 3);
    return content;
}

// A well-behaved receiver that asks for one mode and keeps what it gets.
struct YmodemPeer {
    int crcMode = 1, closed = 0;
    uint32_t nextBlock = 1;
    std::vector<std::pair<std::string, uint32_t>> names;   // block 0: path and size
    std::vector<Bytes> files;                               // data, cut to the size at EOT

    std::string AnswerText(const Bytes& write)
    {
        std::string start = crcMode ? "CC" : "\x15";
        if (write.size() == 2 && write[0] == 'u')
            return start;
        if (write.size() == 1 && write[0] == UPL_EOT) {
            files.back().resize(std::min<size_t>(files.back().size(), names.back().second));
            nextBlock = 1;
            return "\x06" + start;
        }
        if (write.size() != 132 && write.size() != 1029)
            return !write.empty() && write[0] == UPL_CAN ? "" : "\x15";
        const char* text = reinterpret_cast<const char*>(write.data() + 3);
        if (write[1] == 0 && nextBlock == 1) {
            if (!(closed = text[0] == 0))
                names.emplace_back(text, static_cast<uint32_t>(strtoul(text + strlen(text) + 1, nullptr, 10))), files.emplace_back();
            return closed ? "\x06" : "\x06" "C";
        }
        if (write[1] != (nextBlock & 0xFF))
            return "\x15";
        files.back().insert(files.back().end(), write.begin() + 3, write.end() - (write.size() == 1029 ? 2 : 1));
        nextBlock++;
        return "\x06";
    }
};
