// Bytes as the test data writes them down (tests/README.md, "Bytes in test data"): C escapes, the named
// control bytes, repeats and pauses; the one reader of that syntax, for the C++ drivers.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct ByteText {
    std::string bytes;
    std::vector<std::pair<size_t, uint32_t>> pauses;   // N ms of silence before bytes[at], in order
};

// Names a data file may use beside the control bytes, e.g. {"SAMPLE", the sample's listing}.
using ByteNames = std::vector<std::pair<std::string, std::string>>;

// Reads text into out; "" when it reads, else what is wrong and at which character (counted from 1).
std::string ReadByteText(const std::string& text, ByteText* out, const ByteNames& names = {});

// The bytes of a text that holds no pause; one that does not read, or holds a pause, fails the test with where.
std::string TextBytes(const std::string& text, const std::string& where = "", const ByteNames& names = {});
