// The serial ports of this machine, to name them to the user: the names a
// port opens by and what the system knows of the device behind each. One
// backend per platform: serial_ports_win32.cpp reads the registry,
// serial_ports_posix.cpp reads /dev and sysfs (every terminal with a device
// behind it).
#pragma once

#include <cstddef>

constexpr int SERIAL_PORT_NAME_SIZE = 1024;
constexpr int SERIAL_PORT_TEXT_SIZE = 128;

// Every text is empty where the system does not say.
struct SerialPortInfo {
    char port[SERIAL_PORT_NAME_SIZE];          // what opens it: "COM3", "/dev/serial/by-id/usb-..."
    char device[SERIAL_PORT_TEXT_SIZE];        // the device behind it: "\Device\VCP0", "/dev/ttyUSB0"
    int link;                                  // 1: port is a link to device, another name for it
    char vendorId[SERIAL_PORT_TEXT_SIZE];      // USB ids in lower-case hex: "0403"
    char productId[SERIAL_PORT_TEXT_SIZE];
    char manufacturer[SERIAL_PORT_TEXT_SIZE];
    char product[SERIAL_PORT_TEXT_SIZE];       // Windows: the name the Device Manager shows
    char serial[SERIAL_PORT_TEXT_SIZE];
    char driver[SERIAL_PORT_TEXT_SIZE];
};

// Fills at most max records in the order a user looks for them (COM2 before
// COM10) and returns how many; none is no failure. root is put in front of
// /dev and /sys so that a fake tree can stand in ("" for the machine's own);
// Windows has no use for it.
int ListSerialPorts(const char* root, SerialPortInfo* ports, int max);

// Orders names as a user counts: runs of digits by their value, the rest
// by its bytes; COM3 before COM12, ttyS2 before ttyS10, ttyS2 before ttyUSB0.
// Negative, zero (only for the same text) or positive, as strcmp.
int CompareSerialPortNames(const char* a, const char* b);
// Puts the records in that order of their port names.
void SortSerialPorts(SerialPortInfo* ports, int count);

// A port name as the user typed it, as a port opens by it: blanks around it
// and one ':' at its end ("COM3:", "COM12 " from a shell's set) are dropped;
// the letter case stays, since Windows ignores it and a device path keeps
// it. Returns the length left, 0 when nothing is left or it does not fit.
size_t TidyPortName(const char* typed, char* name, size_t room);
