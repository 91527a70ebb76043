// Every text that the browser shows in a message box, each once, by id: the
// code that shows a box takes its text and caption from here, and Readme.txt
// explains each of them (tests/app/message_texts_test.cpp holds the manual
// against this table). A new message is a new id and a new row.
#pragma once

#include <cstdint>

enum MessageId {
    MSG_NOT_CONNECTED,          // a command that needs the port, with none open
    MSG_BUSY_DISCONNECT,        // the busy messages, one per command
    MSG_BUSY_TRY,
    MSG_BUSY_UPLOAD,
    MSG_BUSY_UPDATE,
    MSG_PATH_BOX_ELSEWHERE,     // the path box names another directory than the file list
    MSG_AUTO_UPLOAD_WAITING,    // an upload while the "-u" files wait for their listing
    MSG_NO_PORT_TEXT,
    MSG_CANT_OPEN_PORT,
    MSG_SERIAL_PORTS,           // behind MSG_CANT_OPEN_PORT; %s: the ports, "COM3, COM12"
    MSG_NO_SERIAL_PORT,         // behind MSG_CANT_OPEN_PORT
    MSG_PORT_GONE,              // %s: the port's name; its device has gone (unplugged)
    MSG_CANT_SEND,
    MSG_NO_ANSWER,
    MSG_ANSWER_NOT_CORRECT,
    MSG_NO_TOOL_LIST,
    MSG_STILL_SENDING,          // the rest of an answer cut by Esc or a close does not stop
    MSG_LIST_TOO_LONG,          // %s: "parameter list" or "tool list"
    MSG_LIST_ENDLESS,           // %s: "parameter list" or "tool list"
    MSG_CANT_WRITE_LIST,        // %s: the fetched list's file name, then why
    MSG_FILENAME_TOO_LONG,
    MSG_TOO_MANY_FILES,
    MSG_NO_VALID_FILE,
    MSG_NO_FOLDERS,
    MSG_NAME_NOT_IN_CODE_PAGE,  // %s: a PC file's path with '?' for the letters the ANSI code page lacks
    MSG_PROGRAM_DIR_NOT_IN_CODE_PAGE,   // %s: the program's folder, likewise
    MSG_DELETE_PATH_TOO_LONG,
    MSG_DELETE_NOT_ANSWERED,    // %s: the file whose answer did not come, then the files not tried
    MSG_UPLOAD_CANT_READ,
    MSG_UPLOAD_NO_SPACE,
    MSG_UPLOAD_FAILED,
    MSG_UPLOAD_NOT_LISTED,      // %s: the PC file's name
    MSG_UPLOAD_NOT_AS_SENT,     // %s: the PC file's name, the bytes listed, the bytes sent
    MSG_CANT_CREATE_UI,
    MSG_NOT_ENOUGH_MEMORY,
    MSG_USAGE,                  // the command-line box
    MSG_CANT_START,             // the support library did not start
    MSG_DELETE_QUESTION,        // Yes/No before each delete
    MSG_INFO,                   // the version box
    MSG_COUNT
};

struct MessageRow {
    int id;
    const char* caption;
    // A "%s" stands for the part filled in when the box is shown. Null: the
    // box shows a text of the moment (the delete question shows the file's
    // path), and the manual names the box by its caption.
    const char* text;
};

extern const MessageRow MessageRows[];
extern const uint32_t MESSAGE_ROW_COUNT;

// The text of the id ("" for an id without one) and its caption.
const char* MessageText(int id);
const char* MessageCaption(int id);
// The text with its "%s" replaced by part, cut to size bytes with its NUL;
// returns out.
const char* FillMessageText(int id, const char* part, char* out, uint32_t size);
// The same with each "%s" replaced by the next of count parts ("" when they
// run out).
const char* FillMessageParts(int id, const char* const* parts, uint32_t count, char* out, uint32_t size);

// The sentence for a failed listing read (a READ_ outcome), or null when it
// shows none.
const char* ReadOutcomeMessage(int outcome);
