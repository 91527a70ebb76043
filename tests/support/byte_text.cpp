#include "tests/support/byte_text.h"

#include <gtest/gtest.h>

#include <cctype>
#include <regex>

namespace {

const ByteNames ControlBytes = {{"NUL", std::string(1, '\0')}, {"SOH", "\x01"}, {"STX", "\x02"}, {"EOT", "\x04"},
                                {"ACK", "\x06"},                {"NAK", "\x15"}, {"CAN", "\x18"}};
const std::regex Name("<([A-Z][A-Z0-9]*)>"), Brace("\\{([0-9]{1,9})(\\*?)\\}");

std::string At(size_t index)
{
    return " at character " + std::to_string(index + 1);
}

const std::string* FindName(const std::string& name, const ByteNames& names)
{
    for (const ByteNames* table : {&ControlBytes, &names})
        for (const auto& [known, value] : *table)
            if (known == name)
                return &value;
    return nullptr;
}

int IsHex(char c)
{
    return isxdigit(static_cast<unsigned char>(c));
}

// The byte of the escape at text[i] (two characters, or four for \xNN); "" with why in problem when it does not read.
std::string Escape(const std::string& text, size_t i, size_t to, std::string* problem)
{
    const char e = i + 1 < to ? text[i + 1] : '\0';
    const size_t named = std::string("rnt\\").find(e);
    if (i + 1 >= to)
        *problem = "a backslash ends the text" + At(i);
    else if (named != std::string::npos)
        return std::string(1, "\r\n\t\\"[named]);
    else if (e == 'x' && i + 3 < to && IsHex(text[i + 2]) && IsHex(text[i + 3]))
        return std::string(1, static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16)));
    else if (e == 'x')
        *problem = "\\x needs two hex digits" + At(i);
    else if (ispunct(static_cast<unsigned char>(e)))
        return std::string(1, e);
    else
        *problem = std::string("unknown escape \\") + e + At(i);
    return "";
}

std::string ReadPart(const std::string& text, size_t i, size_t to, ByteText* out, const ByteNames& names, int inRepeat)
{
    const auto whole = std::regex_constants::match_continuous;
    for (std::smatch m; i < to;) {
        const auto from = text.begin() + static_cast<long>(i), end = text.begin() + static_cast<long>(to);
        std::string problem;
        if (text[i] == '\\') {
            out->bytes += Escape(text, i, to, &problem);
            if (!problem.empty())
                return problem;
            i += text[i + 1] == 'x' ? 4 : 2;
        } else if (text[i] == '<' && std::regex_search(from, end, m, Name, whole)) {
            const std::string* bytes = FindName(m[1], names);
            if (!bytes)
                return "unknown name <" + m[1].str() + ">" + At(i);
            out->bytes += *bytes;
            i += m.length();
        } else if (text.compare(i, 3, "{*}") == 0) {
            return "{*} closes no repeat" + At(i);
        } else if (text[i] != '{' || !std::regex_search(from, end, m, Brace, whole)) {
            out->bytes += text[i++];
        } else if (m[2].length() == 0) {
            out->pauses.emplace_back(out->bytes.size(), std::stoul(m[1]));
            i += m.length();
        } else {
            if (inRepeat)
                return "a repeat inside a repeat" + At(i);
            size_t close = text.find("{*}", i + m.length());
            if (close == std::string::npos || close >= to)
                return "{" + m[1].str() + "*} has no {*}" + At(i);
            ByteText unit;
            problem = ReadPart(text, i + m.length(), close, &unit, names, 1);
            if (!problem.empty())
                return problem;
            for (unsigned long k = std::stoul(m[1]); k > 0; k--) {
                for (const auto& [at, ms] : unit.pauses)
                    out->pauses.emplace_back(out->bytes.size() + at, ms);
                out->bytes += unit.bytes;
            }
            i = close + 3;
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
