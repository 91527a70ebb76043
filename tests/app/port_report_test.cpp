// The box of a port that does not open, with the serial ports the PC has.
#include <regex>
#include <sstream>

#include "app/port_report.h"
#include "serial/serial_ports.h"
#include "tests/support/rows.h"

namespace {

SerialPortInfo ports[300];

int FillPorts(const std::string& names)
{
    std::istringstream in(names);
    int count = 0;
    for (std::string name; in >> name; count++)
        snprintf(ports[count].port, sizeof(ports[count].port), "%s", name.c_str());
    return count;
}

TEST(OpenFailureText, Rows)
{
    char text[1200];
    for (const Row& row : ReadRows("app/port_report.rows", {{"", 3, 3}})) {
        uint32_t room = std::stoul(row[0]);
        ASSERT_LE(room, sizeof(text)) << row.Where();
        EXPECT_STREQ(BuildOpenFailureText(ports, FillPorts(row[1]), text, room), row[2].c_str()) << row.Where();
    }
}

// A PC with very many ports: the list ends with a whole name.
TEST(OpenFailureText, ManyPortsEndWithAWholeName)
{
    std::string names;
    for (int i = 1; i <= 300; i++)
        names += "COM" + std::to_string(i) + " ";
    char text[1200];
    std::string shown = BuildOpenFailureText(ports, FillPorts(names), text, sizeof(text));
    EXPECT_TRUE(std::regex_match(shown, std::regex("Can't open Serial Port\\.\nSerial ports on this PC: COM1, COM2, "
                                                   "(COM[0-9]+, )*COM[0-9]+\\.")))
        << shown;
    EXPECT_GT(shown.size(), 900u);
}

}  // namespace
