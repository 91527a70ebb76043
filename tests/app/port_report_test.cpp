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
    for (const Row& row : ReadRows("app/port_report.rows", {{"", 2, 2}}))
        EXPECT_STREQ(BuildOpenFailureText(ports, FillPorts(row[0]), text, sizeof(text)), row[1].c_str()) << row.Where();
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

// The text is cut to the room given.
TEST(OpenFailureText, CutToTheRoom)
{
    char text[12];
    EXPECT_STREQ(BuildOpenFailureText(ports, FillPorts("COM3"), text, sizeof(text)), "Can't open ");
}

}  // namespace
