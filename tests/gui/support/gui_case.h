// A window case as written in tests/gui/cases/NAME.case (the format is in tests/gui/README.md): the start, then
// steps, each a verb with the lines that belong to it.
#pragma once

#include <string>
#include <vector>

struct CaseField {
    int line;
    std::string key, value;   // the value with its quotes taken off and its bytes read
    std::string script;       // the same as written, in the byte syntax: a listing, sent in time, keeps its pauses
};

struct CaseStep {
    int line;
    std::string verb, argument;
    std::vector<CaseField> fields;   // the "with ..." inputs and the expectations, as written
};

struct GuiCase {
    std::string file;   // the path that failures name
    std::vector<CaseField> start;
    std::vector<CaseStep> steps;
};

// The case names: the files in tests/gui/cases without ".case", in name order; a file with a line
// "variants: A | B" is the cases NAME__A and NAME__B.
std::vector<std::string> GuiCaseNames();
// Reads a case, "{variant}" replaced by the variant that its name gives; a line that cannot be read is a test
// failure at its file and line, and the result is 0.
int ReadGuiCase(const std::string& name, GuiCase* out);
// "a | b | c" as {"a", "b", "c"}; "(none)" as no items.
std::vector<std::string> SplitCaseList(const std::string& value, const std::string& separator);
