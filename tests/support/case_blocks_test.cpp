// The reader of case files: cases, their lines, and the lines it refuses with their file and line.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/case_blocks.h"

namespace {

const std::vector<VerbShape> Verbs = {{"file", 2, ANY_NUMBER}, {"result", 1, 1}, {"run", 0, 1}};

std::vector<std::string> Problems(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> problems;
    ParseCaseBlocks(in, "x.txt", Verbs, &problems);
    return problems;
}

TEST(CaseBlocks, CasesHoldTheirLinesWithVerbAndWords)
{
    std::istringstream in("# a comment\ncase one --fast -v\n  file 10 my part.nc\r\n\nrun\ncase two\nresult UPL_OK\n");
    std::vector<std::string> problems;
    std::vector<CaseBlock> blocks = ParseCaseBlocks(in, "x.txt", Verbs, &problems);
    EXPECT_EQ(problems, std::vector<std::string>{});
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].name, "one");
    EXPECT_EQ(blocks[0].more, " --fast -v");
    ASSERT_EQ(blocks[0].lines.size(), 2u);
    EXPECT_EQ(blocks[0].lines[0].line, 3);
    EXPECT_EQ(blocks[0].lines[0].rest, "10 my part.nc");
    EXPECT_EQ(blocks[0].lines[0].words, (std::vector<std::string>{"10", "my", "part.nc"}));
    EXPECT_EQ(blocks[1].Where(blocks[1].lines[0].line), "x.txt:7");
}

TEST(CaseBlocks, UnknownDirectivesWrongCountsAndStrayLinesFailAtTheirLine)
{
    EXPECT_EQ(Problems("case a\nfrob 1\n"), std::vector<std::string>{"x.txt:2: unknown directive 'frob'"});
    EXPECT_EQ(Problems("case a\nresult\n"), std::vector<std::string>{"x.txt:2: 'result' takes 1 word, not 0"});
    EXPECT_EQ(Problems("case a\nfile 1\n"), std::vector<std::string>{"x.txt:2: 'file' takes 2 or more words, not 1"});
    EXPECT_EQ(Problems("run\n"), std::vector<std::string>{"x.txt:1: 'run' before the first case"});
    EXPECT_EQ(Problems("\ncase\n"), std::vector<std::string>{"x.txt:2: a case needs a name"});
}

}   // namespace
