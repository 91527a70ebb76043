// The byte syntax of the test data, and the table reader: the cases of byte_text.rows, and rows the reader refuses
// with their file and line.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/support/byte_text.h"
#include "tests/support/rows.h"

namespace {

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char byte : bytes)
        hex += std::string{digits[byte >> 4], digits[byte & 15]};
    return hex.empty() ? "-" : hex;
}

std::string Pauses(const ByteText& text)
{
    std::string list;
    for (const auto& [at, ms] : text.pauses)
        list += (list.empty() ? "" : " ") + std::to_string(at) + ":" + std::to_string(ms);
    return list.empty() ? "-" : list;
}

TEST(ByteText, CasesOfTheSharedTable)
{
    std::ifstream in(std::string(TESTS_DIR) + "/support/byte_text.rows", std::ios::binary);
    int line = 0, cases = 0;
    for (std::string text; std::getline(in, text);) {
        line++;
        if (text.empty() || text[0] == '#')
            continue;
        std::vector<std::string> field = SplitFields(text);
        SCOPED_TRACE("byte_text.rows:" + std::to_string(line));
        ASSERT_EQ(field.size(), field[0] == "bytes" ? 4u : 3u);
        ByteText read;
        std::string problem = ReadByteText(field.back(), &read, {{"HELLO", "hi"}});
        cases++;
        if (field[0] == "error") {
            EXPECT_EQ(problem, field[1]);
            continue;
        }
        EXPECT_EQ(problem, "");
        EXPECT_EQ(Hex(read.bytes), field[1]);
        EXPECT_EQ(Pauses(read), field[2]);
    }
    EXPECT_GE(cases, 25);
}

TEST(ByteText, TextBytesRefusesAPause)
{
    EXPECT_EQ(TextBytes("a\\x62c"), "abc");
    EXPECT_NONFATAL_FAILURE(TextBytes("a{5}b", "here"), "here: a pause in a text that is not sent in time");
}

std::vector<std::string> Problems(const std::string& table)
{
    std::istringstream in(table);
    std::vector<std::string> problems;
    ParseRows(in, "t.rows", {{"get", 3, 3}, {"put", 2, ANY_NUMBER}}, &problems);
    return problems;
}

TEST(Rows, FieldsAreReadAsBytesAndSplitAtUnescapedBars)
{
    std::istringstream in("# a comment\n\nget|a\\|b|{2}x\nput|<ACK>|c|d\n");
    std::vector<std::string> problems;
    std::vector<Row> rows = ParseRows(in, "t.rows", {{"get", 3, 3}, {"put", 2, ANY_NUMBER}}, &problems);
    EXPECT_EQ(problems, std::vector<std::string>{});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].line, 3);
    EXPECT_EQ(rows[0][1], "a|b");
    EXPECT_EQ(rows[0].Timed(2).bytes, "x");
    EXPECT_EQ(rows[0].Timed(2).pauses.size(), 1u);
    EXPECT_EQ(rows[1].From(1), (std::vector<std::string>{"\x06", "c", "d"}));
}

TEST(Rows, UnknownVerbsCountsAndFieldsFailAtTheirLine)
{
    EXPECT_EQ(Problems("get|a|b\nset|x\n"), std::vector<std::string>{"t.rows:2: unknown verb 'set'"});
    EXPECT_EQ(Problems("get|a\n"), std::vector<std::string>{"t.rows:1: 'get' has 2 fields, not 3"});
    EXPECT_EQ(Problems("put\n"), std::vector<std::string>{"t.rows:1: 'put' has 1 fields, not 2 or more"});
    EXPECT_EQ(Problems("\nget|a|\\q\n"), std::vector<std::string>{"t.rows:2: field 3: unknown escape \\q at character 1"});
}

TEST(Rows, AFieldWithAPauseIsNoPlainText)
{
    std::istringstream in("get|a{5}|b\n");
    std::vector<std::string> problems;
    static std::vector<Row> rows;
    rows = ParseRows(in, "t.rows", {{"get", 3, 3}}, &problems);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NONFATAL_FAILURE(rows[0][1], "field 2 holds a pause");
}

}   // namespace
