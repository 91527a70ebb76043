// Case files of lines: "case NAME [MORE]" opens a case and every line up to the next one belongs to it, a verb
// and what follows it (tests/README.md). The upload transcripts and the simulator's sessions are written so.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "tests/support/rows.h"

struct CaseLine {
    int line;
    std::string verb;
    std::string rest;                  // the text after the verb and its blank, as written
    std::vector<std::string> words;    // the rest split at blanks
};

struct CaseBlock {
    std::string file;
    int line;
    std::string name, more;            // the case line's name and what follows it
    std::vector<CaseLine> lines;
    std::string Where(int at) const { return file + ":" + std::to_string(at); }
};

void PrintTo(const CaseBlock& block, std::ostream* out);

// The verbs a case may hold, each with how many words may follow it.
using VerbShape = RowShape;

// Reads a case file; a line of an unknown verb or of the wrong number of words, or one before the first case,
// goes to problems as "FILE:LINE: why" and is left out.
std::vector<CaseBlock> ParseCaseBlocks(std::istream& in, const std::string& file, const std::vector<VerbShape>& verbs,
                                       std::vector<std::string>* problems);
// The same for a file on disk; each problem fails the test.
std::vector<CaseBlock> ReadCaseBlocks(const std::string& path, const std::vector<VerbShape>& verbs);
