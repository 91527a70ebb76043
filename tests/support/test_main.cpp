// Every test binary starts the support library before its first test.
#include "lib/zem_lib.h"
#include "tests/support/scratch_dir.h"

std::vector<Row> ReadRows(const std::string& name)
{
    std::ifstream in(std::string(TESTS_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in.good()) << name;
    std::vector<Row> rows;
    for (std::string text; std::getline(in, text);) {
        if (text.empty() || text[0] == '#')
            continue;
        Row row(1);
        for (size_t i = 0; i < text.size(); i++) {
            char c = text[i], e = c == '\\' && i + 1 < text.size() ? text[++i] : 0;
            if (c == '|')
                row.emplace_back();
            else if (e == 'x')
                row.back() += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)), i += 2;
            else
                row.back() += !e ? c : e == 'r' ? '\r' : e == 'n' ? '\n' : e == 't' ? '\t' : e;
        }
        rows.push_back(row);
    }
    return rows;
}

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!ZemLibInit())
        return 1;
    int result = RUN_ALL_TESTS();
    ZemLibExit();
    return result;
}
