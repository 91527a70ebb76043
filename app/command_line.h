// The argument text: "-q", "-u" file (repeatable), "-p" directory.
#pragma once

#include <cstdint>

extern int32_t AutoMode;       // 0 none, 1 automatic upload pending, 2 done
extern int32_t AutoConnect;    // set by "-u": connect at start, 4 listing attempts
extern int32_t QuitWhenDone;   // set by "-q"

// Reads one token at text into *cursor; returns the position after it, or null.
const char* GetCmdLineToken(const char* text, char** cursor, uint32_t* capacity);

// Parses the whole argument text into the upload job and the three flags.
// Returns 1, or 0 after a usage error (the job cleared, the run goes on).
int ParseCommandLine(const char* text);

// Shows the usage message (MSG_USAGE): a message box that comes to the front
// on Windows, stderr elsewhere. ParseCommandLine calls UsageMessageHook
// instead when one is set.
void ShowUsageMessage();
extern void (*UsageMessageHook)();

// Joins arguments delivered already split into one argument text with single
// blanks, quoting those that hold a blank or tab or are empty, so that the
// grammar above reads them back. The grammar has no escape, so an argument
// that starts with a double quote, or holds one together with a blank, cannot
// be written: the result is then 0 and the buffer empty, as when the text
// would not fit the buffer. Returns 1 on success.
int JoinArguments(int count, const char* const* arguments, char* buffer, uint32_t size);
