// The controller's delete command: "d " + directory path + file name + "\r"
// in a 512-byte text. The browser and vtx build it the same way.
#pragma once

#include <cstdint>

constexpr uint32_t DELETE_COMMAND_SIZE = 512;
// Room that the browser gives the path text behind "d ".
constexpr uint32_t DELETE_PATH_ROOM = 510;

// Builds the command; returns 0 and leaves command empty when the name is
// empty or path and name do not fit with the "\r" in the 512 bytes, so a
// cut name never deletes some other file.
int BuildDeleteCommand(char* command, const char* path, const char* name);

// The question text shown before a delete: the command less "d " and "\r".
void GetDeleteTarget(const char* command, char* target, uint32_t size);

// Sends one delete command and reads its answer into buffer (the browser
// throws it away). Returns the result of ZemSerComSendCmd: SERCOM_DONE when
// it went out.
struct SerialPort;
int SendDeleteCommand(SerialPort* port, const char* command, char* buffer, uint32_t size);

// The controller's answer to a delete as words to show: its first line that
// is not empty, with control and 8-bit bytes as \xNN, cut to size; "" when
// nothing came.
void DeleteAnswerWords(const char* answer, char* out, uint32_t size);
