// Case tables: tests/AREA/NAME.rows, one case a line, fields split by '|' (tests/README.md).
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <fstream>
#include <istream>
#include <map>
#include <string>
#include <vector>

#include "tests/support/byte_text.h"

struct Row {
    std::string file;                 // the table's path, for failures
    int line = 0;
    std::vector<std::string> raw;     // the fields as written
    std::vector<ByteText> fields;     // the fields read as bytes

    size_t size() const { return fields.size(); }
    // The field's bytes; a field that holds a pause fails the test here (use Timed).
    const std::string& operator[](size_t index) const;
    // The field as written.
    const std::string& Raw(size_t index) const { return raw.at(index); }
    // A field sent in time: its bytes and pauses.
    const ByteText& Timed(size_t index) const { return fields.at(index); }
    // The bytes of the fields from first on.
    std::vector<std::string> From(size_t first) const;
    // Named fields NAME=VALUE from first on, over the defaults; any other field goes to rest, or fails the test.
    std::map<std::string, std::string> Named(size_t first, std::map<std::string, std::string> values,
                                             std::vector<std::string>* rest = nullptr) const;
    // "FILE:LINE", for a trace.
    std::string Where() const { return file + ":" + std::to_string(line); }
};

void PrintTo(const Row& row, std::ostream* out);

// The rows a table may hold: those whose first field is verb ("" for any first field no other shape names)
// have fewest to most fields.
struct RowShape {
    std::string verb;
    size_t fewest, most;
};
constexpr size_t ANY_NUMBER = static_cast<size_t>(-1);
// "N", "N to M" or "N or more", as the readers say what a shape takes.
std::string CountText(const RowShape& shape);
// The shape of a verb: its own, else the one of no verb (a table whose rows have none), else null.
const RowShape* FindShape(const std::vector<RowShape>& shapes, const std::string& verb);

// A line's fields split at each '|' that no backslash escapes; the escapes stay for the byte reader.
std::vector<std::string> SplitFields(const std::string& text);

// Reads a table; what cannot be read (a field, or a row of no shape) goes to problems as "FILE:LINE: why",
// and its row is left out.
std::vector<Row> ParseRows(std::istream& in, const std::string& file, const std::vector<RowShape>& shapes,
                           std::vector<std::string>* problems);

// Opens a data file for a parser that takes (stream, path, problems) and turns every problem it names (its file and
// line in the text) and a file that cannot be read into a test failure.
template <typename Parse>
auto ReadDataFile(const std::string& path, Parse parse)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        ADD_FAILURE() << "cannot read " << path;
    std::vector<std::string> problems;
    auto parsed = parse(in, path, &problems);
    for (const std::string& problem : problems)
        ADD_FAILURE() << problem;
    return parsed;
}

// The table tests/NAME; each problem fails the test.
std::vector<Row> ReadRows(const std::string& name, const std::vector<RowShape>& shapes);
