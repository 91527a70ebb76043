// The one serial connection to the controller: open with the controller's
// fixed line settings, raw write, purge-and-send of a command, one timed read,
// the busy flag of the upload worker, and the optional traffic log.
#pragma once

#include <cstdint>

#include "serial/serial_device.h"

constexpr int SERIAL_PORT_NAME_ROOM = 128;

struct SerialPort {
    SerialHandle handle;                 // SERIAL_INVALID_HANDLE when the device failed to open
    SerialSavedState savedState;         // device settings found at open, written back at close
    SerialSavedTimeouts savedTimeouts;   // timeouts found at open, written back at close
    unsigned char stateSaved;            // savedState holds valid settings
    unsigned char timeoutsSaved;         // savedTimeouts holds valid settings
    unsigned char busy;                  // an upload worker owns the port; read with ZemLoadByte
    uint32_t baud;                       // the line speed given at open, in bit/s; bounds how long an answer may last
    // Kept by the owner of the talk on the line (serial/line_talk.h): an
    // answer was cut, or did not come, and its rest may still arrive;
    // restEnd (with restState) finds where that rest ends, null: only a
    // quiet line shows it is over.
    unsigned char lineUnsettled;
    uint32_t (*restEnd)(const char* text, uint32_t length, void* state);
    alignas(8) unsigned char restState[32];
    unsigned char gone;                  // the device has gone: every transfer fails (ZemLoadByte)
    char name[SERIAL_PORT_NAME_ROOM];    // the name it was opened by, to name it to the user
};

// Results of ZemSerComWrite and ZemSerComSendCmd.
constexpr int SERCOM_DONE = 0;      // every byte written
constexpr int SERCOM_BUSY = 1;      // refused: an upload worker holds the port
constexpr int SERCOM_FAILED = 2;    // the platform write failed or ended short

// The traffic log: "VantorixLog.txt" in the folder that SetTrafficLogFolder
// named ("" or never named: no log), written while the byte that
// TrafficLogSwitch points at is not 0. The browser points it at its setting,
// which is read live; vtx keeps no log.
extern char TrafficLogPath[512];
extern const signed char* TrafficLogSwitch;
// folder: its text ends in a separator. A path too long for the room keeps no log.
void SetTrafficLogFolder(const char* folder);

SerialPort* ZemSerComOpen(const char* name, uint32_t baud);
int ZemSerComClose(SerialPort* port);
// Gives the device back the settings and timeouts found at open, leaving it
// open: for a process that the system is about to end.
void ZemSerComRestoreSettings(SerialPort* port);
int ZemSerComIsBusy(const SerialPort* port);
void ZemSerComSetBusy(SerialPort* port, int busy);
int ZemSerComWrite(SerialPort* port, const void* bytes, uint32_t length, int override);
int ZemSerComSendCmd(SerialPort* port, const char* text, int override);
uint32_t ZemSerComRead(SerialPort* port, void* buffer, uint32_t max, int override);
// The same, ending as soon as something has arrived: the piece of an answer
// that is there, or 0 after a read time of silence.
uint32_t ZemSerComReadArrived(SerialPort* port, void* buffer, uint32_t max, int override);
// How many bytes have arrived that nobody has read yet; no wait.
uint32_t ZemSerComWaiting(const SerialPort* port);
