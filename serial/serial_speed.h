// Line speeds that termios has no constant for (14400, 56000 ...): the
// Linux driver takes them as a number (serial_speed_linux.cpp). Kept apart
// from the termios code, whose header clashes with the kernel's.
#pragma once

#include <cstdint>

// The kernel's whole line record, speeds included, as it was at open.
struct SerialLineRecord {
    alignas(4) unsigned char bytes[48];
};

// Sets both directions to baud bit/s, leaving every other setting alone.
// 1 when the driver made that speed (within 2 %); else 0 with *made the
// speed it made instead (0 when it refused the request outright).
int SetLineSpeed(int fd, uint32_t baud, uint32_t* made);
// Saves and restores the whole line record, so that a speed set as a
// number by another program comes back at close.
int SaveLineRecord(int fd, SerialLineRecord* record);
void RestoreLineRecord(int fd, const SerialLineRecord* record);
