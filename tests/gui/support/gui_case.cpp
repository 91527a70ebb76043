#include "tests/gui/support/gui_case.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "tests/support/byte_text.h"

static std::string CasesDirectory()
{
    return std::string(TESTS_DIR) + "/gui/cases";
}

static std::string Trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t"), last = text.find_last_not_of(" \t");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

// The words of the file's "variants:" line; none when it has no such line.
static std::vector<std::string> Variants(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("variants:", 0) == 0)
            return SplitCaseList(Trim(line.substr(9)), " | ");
    return {};
}

std::vector<std::string> GuiCaseNames()
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(CasesDirectory(), error)) {
        if (entry.path().extension() != ".case")
            continue;
        std::vector<std::string> variants = Variants(entry.path());
        for (const std::string& variant : variants)
            names.push_back(entry.path().stem().string() + "__" + variant);
        if (variants.empty())
            names.push_back(entry.path().stem().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A value in double quotes is taken as it stands between them, blanks included.
static std::string Unquoted(const std::string& raw)
{
    bool quoted = raw.size() >= 2 && raw.front() == '"' && raw.back() == '"';
    return quoted ? raw.substr(1, raw.size() - 2) : raw;
}

// The bytes of a field's script (tests/README.md); only the controller's answers, sent in time, may pause.
static std::string ReadBytes(const CaseField& field, std::string* problem)
{
    ByteText read;
    *problem = ReadByteText(field.script, &read);
    static const std::set<std::string> answers = {"listing", "with listing", "with parameters", "with tools",
                                                        "with delete-answers"};
    if (problem->empty() && !read.pauses.empty() && !answers.count(field.key))
        *problem = "a pause outside the controller's answers";
    return read.bytes;
}

int ReadGuiCase(const std::string& name, GuiCase* out)
{
    size_t split = name.find("__");
    const std::string variant = split == std::string::npos ? "" : name.substr(split + 2);
    *out = {CasesDirectory() + "/" + name.substr(0, split) + ".case", {}, {}};
    std::ifstream in(out->file, std::ios::binary);
    if (!in) {
        ADD_FAILURE_AT(out->file.c_str(), 0) << "cannot read the case";
        return 0;
    }
    int number = 0, good = 1;
    std::vector<CaseField>* blockOwner = nullptr;   // whose last field is read from the '|' lines below it
    auto fail = [&](int at, const std::string& why) {
        ADD_FAILURE_AT(out->file.c_str(), at) << why;
        good = 0;
    };
    auto endBlock = [&]() {
        if (blockOwner && blockOwner->back().script.empty())
            fail(blockOwner->back().line,
                 "'" + blockOwner->back().key + ":' has no value; write \"\" for no text, (none) for no items");
        blockOwner = nullptr;
    };
    for (std::string text; std::getline(in, text);) {
        number++;
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        for (size_t at; !variant.empty() && (at = text.find("{variant}")) != std::string::npos;)
            text.replace(at, 9, variant);
        std::string line = Trim(text), problem;
        if (line.empty() || line[0] == '#' || line.rfind("variants:", 0) == 0)
            continue;
        if (line[0] == '|') {   // one line of a multi-line text: what follows "| ", then CR LF
            std::string part = text.substr(text.find('|') + 1);
            if (!blockOwner)
                fail(number, "a '|' line belongs under a field written with no value on its own line");
            else
                blockOwner->back().script += (part.rfind(' ', 0) == 0 ? part.substr(1) : part) + "\\r\\n";
            continue;
        }
        endBlock();
        size_t colon = line.find(':');
        if (colon == std::string::npos) {
            fail(number, "expected 'KEY: VALUE', got '" + line + "'");
            continue;
        }
        std::string key = Trim(line.substr(0, colon)), raw = Trim(line.substr(colon + 1));
        if (key == "do") {
            size_t blank = raw.find(' ');
            CaseField argument = {number, key, "", Unquoted(blank == std::string::npos ? "" : Trim(raw.substr(blank)))};
            out->steps.push_back({number, raw.substr(0, blank), ReadBytes(argument, &problem), {}});
        } else {
            std::vector<CaseField>& owner = out->steps.empty() ? out->start : out->steps.back().fields;
            owner.push_back({number, key, "", Unquoted(raw)});
            blockOwner = raw.empty() ? &owner : nullptr;
        }
        if (!problem.empty())
            fail(number, problem);
    }
    endBlock();
    auto readFields = [&](std::vector<CaseField>& fields) {
        for (CaseField& field : fields) {
            std::string problem;
            field.value = ReadBytes(field, &problem);
            if (!problem.empty())
                fail(field.line, problem);
        }
    };
    readFields(out->start);
    for (CaseStep& step : out->steps)
        readFields(step.fields);
    if (out->steps.empty())
        fail(number, "a case needs at least one 'do:' step");
    return good;
}

std::vector<std::string> SplitCaseList(const std::string& value, const std::string& separator)
{
    std::vector<std::string> items;
    if (value == "(none)")
        return items;
    for (size_t start = 0;;) {
        size_t end = value.find(separator, start);
        items.push_back(value.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            return items;
        start = end + separator.size();
    }
}
