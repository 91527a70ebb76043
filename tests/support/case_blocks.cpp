#include "tests/support/case_blocks.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

void PrintTo(const CaseBlock& block, std::ostream* out)
{
    *out << block.Where(block.line);
}

std::vector<CaseBlock> ParseCaseBlocks(std::istream& in, const std::string& file, const std::vector<VerbShape>& verbs,
                                       std::vector<std::string>* problems)
{
    std::vector<CaseBlock> blocks;
    int number = 0;
    for (std::string text; std::getline(in, text);) {
        number++;
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        size_t first = text.find_first_not_of(" \t");
        if (first == std::string::npos || text[first] == '#')
            continue;
        size_t blank = text.find_first_of(" \t", first);
        CaseLine line{number, text.substr(first, blank - first), blank == std::string::npos ? "" : text.substr(blank + 1), {}};
        std::istringstream words(line.rest);
        for (std::string word; words >> word;)
            line.words.push_back(word);
        auto complain = [&](const std::string& why) { problems->push_back(file + ":" + std::to_string(number) + ": " + why); };
        if (line.verb == "case") {
            if (line.words.empty())
                complain("a case needs a name");
            else
                blocks.push_back({file, number, line.words[0], line.rest.substr(line.rest.find(line.words[0]) + line.words[0].size()), {}});
            continue;
        }
        const VerbShape* shape = FindShape(verbs, line.verb);
        if (!shape)
            complain("unknown directive '" + line.verb + "'");
        else if (line.words.size() < shape->fewest || line.words.size() > shape->most)
            complain("'" + line.verb + "' takes " + CountText(*shape) + (shape->most == 1 ? " word" : " words") +
                     ", not " + std::to_string(line.words.size()));
        else if (blocks.empty())
            complain("'" + line.verb + "' before the first case");
        else
            blocks.back().lines.push_back(line);
    }
    return blocks;
}

std::vector<CaseBlock> ReadCaseBlocks(const std::string& path, const std::vector<VerbShape>& verbs)
{
    return ReadDataFile(path, [&](std::istream& in, const std::string& name, auto problems) {
        return ParseCaseBlocks(in, name, verbs, problems);
    });
}
