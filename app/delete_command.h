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

// Outcomes of SendDeleteCommand.
enum {
    DELETE_ANSWERED = 0,       // sent, and its answer came to its line end
    DELETE_NOT_SENT = 1,       // the port was busy, the write failed or the line never went quiet
    DELETE_NOT_ANSWERED = 2,   // sent, but its answer did not come whole: the line is unsettled
};

// Sends one delete command and reads its answer into buffer; words (may be
// null) gets the answer's words (DeleteAnswerWords). Only the answer to this
// very command counts: a late one of an earlier delete is not taken for it.
struct SerialPort;
int SendDeleteCommand(SerialPort* port, const char* command, char* buffer, uint32_t size, char* words,
                      uint32_t wordsSize);

// The controller's answer to a delete as words to show: its first line that
// is not empty, with control and 8-bit bytes as \xNN, cut to size; "" when
// nothing came.
void DeleteAnswerWords(const char* answer, char* out, uint32_t size);
