#include "tests/support/byte_text.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

const ByteNames ControlBytes = {{"NUL", std::string(1, '\0')}, {"SOH", "\x01"}, {"STX", "\x02"}, {"EOT", "\x04"},
                                {"ACK", "\x06"},                {"NAK", "\x15"}, {"CAN", "\x18"}};

std::string At(size_t index)
{
    return " at character " + std::to_string(index + 1);
}

// The digits of "{N}" or "{N*}" at text[at], with the index behind the '}'; 0 when none stand there.
int ReadBrace(const std::string& text, size_t at, size_t to, uint32_t* number, int* star, size_t* after)
{
    size_t i = at + 1, digits = 0;
    uint32_t value = 0;
    for (; i < to && isdigit(static_cast<unsigned char>(text[i])) && digits < 9; i++, digits++)
        value = value * 10 + static_cast<uint32_t>(text[i] - '0');
    *star = i < to && text[i] == '*';
    i += *star;
    if (digits == 0 || i >= to || text[i] != '}')
        return 0;
    *number = value, *after = i + 1;
    return 1;
}

std::string ReadPart(const std::string& text, size_t from, size_t to, ByteText* out, const ByteNames& names, int inRepeat)
{
    for (size_t i = from; i < to;) {
        char c = text[i];
        if (c == '\\') {
            if (i + 1 >= to)
                return "a backslash ends the text" + At(i);
            char e = text[i + 1];
            if (e == 'r' || e == 'n' || e == 't' || e == '\\') {
                out->bytes += e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : '\\';
                i += 2;
            } else if (e == 'x') {
                if (i + 3 >= to || !isxdigit(static_cast<unsigned char>(text[i + 2])) ||
                    !isxdigit(static_cast<unsigned char>(text[i + 3])))
                    return "\\x needs two hex digits" + At(i);
                out->bytes += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
                i += 4;
            } else if (ispunct(static_cast<unsigned char>(e))) {
                out->bytes += e;
                i += 2;
            } else {
                return std::string("unknown escape \\") + e + At(i);
            }
        } else if (c == '<' && i + 1 < to && isupper(static_cast<unsigned char>(text[i + 1]))) {
            size_t end = i + 1;
            while (end < to && (isupper(static_cast<unsigned char>(text[end])) || isdigit(static_cast<unsigned char>(text[end]))))
                end++;
            if (end >= to || text[end] != '>') {
                out->bytes += c;
                i++;
                continue;
            }
            std::string name = text.substr(i + 1, end - i - 1);
            const std::string* bytes = nullptr;
            for (const ByteNames* table : {&ControlBytes, &names})
                for (const auto& [known, value] : *table)
                    if (!bytes && known == name)
                        bytes = &value;
            if (!bytes)
                return "unknown name <" + name + ">" + At(i);
            out->bytes += *bytes;
            i = end + 1;
        } else if (c == '{' && text.compare(i, 3, "{*}") == 0) {
            return "{*} closes no repeat" + At(i);
        } else if (c == '{') {
            uint32_t number = 0;
            int star = 0;
            size_t after = 0;
            if (!ReadBrace(text, i, to, &number, &star, &after)) {
                out->bytes += c;
                i++;
            } else if (!star) {
                out->pauses.emplace_back(out->bytes.size(), number);
                i = after;
            } else {
                if (inRepeat)
                    return "a repeat inside a repeat" + At(i);
                size_t close = text.find("{*}", after);
                if (close == std::string::npos || close >= to)
                    return "{" + std::to_string(number) + "*} has no {*}" + At(i);
                ByteText unit;
                std::string problem = ReadPart(text, after, close, &unit, names, 1);
                if (!problem.empty())
                    return problem;
                for (uint32_t k = 0; k < number; k++) {
                    for (const auto& [at, ms] : unit.pauses)
                        out->pauses.emplace_back(out->bytes.size() + at, ms);
                    out->bytes += unit.bytes;
                }
                i = close + 3;
            }
        } else {
            out->bytes += c;
            i++;
        }
    }
    return "";
}

}   // namespace

std::string ReadByteText(const std::string& text, ByteText* out, const ByteNames& names)
{
    *out = {};
    std::string problem = ReadPart(text, 0, text.size(), out, names, 0);
    if (!problem.empty())
        *out = {};
    return problem;
}

std::string TextBytes(const std::string& text, const std::string& where, const ByteNames& names)
{
    ByteText read;
    std::string problem = ReadByteText(text, &read, names);
    if (problem.empty() && !read.pauses.empty())
        problem = "a pause in a text that is not sent in time";
    if (!problem.empty())
        ADD_FAILURE() << where << (where.empty() ? "" : ": ") << problem << " in '" << text << "'";
    return read.bytes;
}
