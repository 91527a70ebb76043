// The browser's words when a port does not open: which serial ports this PC
// has, so that the user need not guess the number a USB adapter got.
#pragma once

#include <cstdint>

struct SerialPort;
struct SerialPortInfo;

// "Can't open Serial Port." and, on the next line, the ports in the order
// given ("Serial ports on this PC: COM3, COM12.") or "This PC has no serial
// port."; cut to size bytes with its NUL. Returns out.
const char* BuildOpenFailureText(const SerialPortInfo* ports, int count, char* out, uint32_t size);

// "The serial port COM3 is gone (unplugged?)." for a port whose device has gone.
void DescribeGonePort(const SerialPort* port, char* out, uint32_t size);
