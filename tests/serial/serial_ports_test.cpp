// The order in which the port list names the PC's serial ports.
#include <sstream>

#include "serial/serial_ports.h"
#include "tests/support/rows.h"

namespace {

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string word; in >> word;)
        words.push_back(word);
    return words;
}

// Rows of a list: the order a user counts in; rows of "typed": the name a typed one opens by.
TEST(SerialPortNames, SortedAsAUserCountsAndOpenedByTheNameAlone)
{
    static SerialPortInfo ports[8];
    for (const Row& row : ReadRows("serial/port_names.rows", {{"", 2, 2}, {"typed", 3, 3}})) {
        SCOPED_TRACE(row.Where());
        char name[16];
        if (row[0] == "typed") {
            EXPECT_EQ(TidyPortName(row[1].c_str(), name, sizeof(name)), row[2].size());
            EXPECT_EQ(std::string(name), row[2]);
            continue;
        }
        std::vector<std::string> names = Words(row[0]);
        ASSERT_LE(names.size(), 8u);
        for (size_t i = 0; i < names.size(); i++)
            snprintf(ports[i].port, sizeof(ports[i].port), "%s", names[i].c_str());
        SortSerialPorts(ports, static_cast<int>(names.size()));
        std::vector<std::string> sorted;
        for (size_t i = 0; i < names.size(); i++)
            sorted.push_back(ports[i].port);
        EXPECT_EQ(sorted, Words(row[1]));
    }
}

}  // namespace
