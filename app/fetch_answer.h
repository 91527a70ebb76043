// Fetching the controller's parameter list and tool list: the command, the
// rule that drops the answer's first line, and the file it is written to.
// The browser and vtx share these so both write the same bytes.
#pragma once

#include <cstdint>

struct SerialPort;

// Which list is fetched.
enum {
    FETCH_PARAMETERS = 0,   // "p\r\n", written with "\r\n" appended
    FETCH_TOOL_LIST = 1,    // "t\r\n", written as it came
};

// Outcomes of FetchControllerList.
enum {
    FETCH_OK = 0,            // the content lies in the buffer
    FETCH_SEND_FAILED = 1,   // the command could not be written (or the port was busy)
    FETCH_NO_ANSWER = 2,     // the read brought nothing
    FETCH_NO_TOOL_LIST = 3,  // the tool-list answer was exactly 3 bytes
    FETCH_TOO_LONG = 4,      // the answer filled the buffer: its end would be missing
    FETCH_ENDLESS = 5,       // the controller went on sending past the read's time limit
    FETCH_ABANDONED = 6,     // the between-reads hook ended the read: nothing to say
    FETCH_NO_LIST = 7,       // nothing but blanks and line ends behind the first line, or no line behind
                             // it at all: the browser writes it as it came, vtx writes nothing
};

// The controller's answer to "t\r\n" when it holds no tool list.
constexpr uint32_t EMPTY_TOOL_LIST_ANSWER = 3;

// Where the content starts: behind the first LF or NUL, or 0 when that
// would leave nothing (the answer is then kept whole). buffer[n] must be 0.
uint32_t SkipFirstLine(const char* answer, uint32_t n);

// Sends the list's command, reads the whole answer into buffer (size - 1
// bytes at most) and gives the content's start and length. Only FETCH_OK
// and FETCH_NO_LIST leave a content to write.
int FetchControllerList(SerialPort* port, int kind, char* buffer, uint32_t size, uint32_t* start, uint32_t* length);

// Writes the content (and, for the parameters, the appended line end) into a
// file made new and exclusively beside PATH (PATH.new1, or the first
// PATH.newN that nobody has taken; never an existing file, never through a
// link) and moves that over PATH; 1, or 0 when a step failed: every file is
// then as it was, and why says what failed and why ("the folder /x is not
// writable (Permission denied)"). A path that names a device, a pipe or a
// link is written in place.
int WriteFetchedFile(const char* path, int kind, const char* content, uint32_t length, char* why, uint32_t whySize);

// "parameters-from-vantorix.txt" or "ToolList-from-vantorix.txt".
const char* FetchedFileName(int kind);
// The message for a failed fetch of the list (FETCH_NO_LIST included), or
// null for FETCH_OK and FETCH_ABANDONED. Valid until the next call.
const char* FetchOutcomeMessage(int kind, int outcome);
