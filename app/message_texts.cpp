#include "app/message_texts.h"

#include <cstring>

#include "tree/device_tree.h"
#include "vbrowser_version.h"

static const char PROBLEM[] = "Problem";

const MessageRow MessageRows[] = {
    {MSG_NOT_CONNECTED, PROBLEM, "You must first connect to a Vantorix."},
    {MSG_BUSY_DISCONNECT, PROBLEM, "Serial Port still busy, Disconnect later."},
    {MSG_BUSY_TRY, PROBLEM, "Serial Port still busy, Try later."},
    {MSG_BUSY_UPLOAD, PROBLEM, "Serial Port still busy, Upload later."},
    {MSG_BUSY_UPDATE, PROBLEM, "Serial Port still busy, Update later."},
    {MSG_PATH_BOX_ELSEWHERE, PROBLEM, "The path box does not name the directory shown in the file list."},
    {MSG_AUTO_UPLOAD_WAITING, PROBLEM, "The automatic upload is still waiting, Upload later."},
    {MSG_NO_PORT_TEXT, PROBLEM, "Please enter a Port."},
    {MSG_CANT_OPEN_PORT, PROBLEM, "Can't open Serial Port."},
    {MSG_SERIAL_PORTS, PROBLEM, "Serial ports on this PC: %s."},
    {MSG_NO_SERIAL_PORT, PROBLEM, "This PC has no serial port."},
    {MSG_PORT_GONE, PROBLEM, "The serial port %s is gone (unplugged?)."},
    {MSG_CANT_SEND, PROBLEM, "Can't send Command. Please check if Vantorix is connected."},
    {MSG_NO_ANSWER, PROBLEM, "No answer from Vantorix. Please check if it is connected."},
    {MSG_ANSWER_NOT_CORRECT, PROBLEM, "The Vantorix-answer was not correct. Please try to update again."},
    {MSG_NO_TOOL_LIST, PROBLEM, "The Vantorix sent no tool list."},
    {MSG_STILL_SENDING, PROBLEM, "The Vantorix is still sending. Please try again later."},
    // The size is the answer buffer's less its closing NUL (ANSWER_READ_MAX).
    {MSG_LIST_TOO_LONG, PROBLEM, "The %s is longer than the 262143 bytes the program can read; it was not written."},
    {MSG_LIST_ENDLESS, PROBLEM, "The Vantorix did not stop sending the %s; it was not written."},
    {MSG_CANT_WRITE_LIST, PROBLEM, "Can't write %s: %s."},
    {MSG_FILENAME_TOO_LONG, PROBLEM, "Filename is too long"},
    {MSG_TOO_MANY_FILES, PROBLEM, "Too much Files, or a too long Path."},
    {MSG_NO_VALID_FILE, PROBLEM, "No valid File."},
    {MSG_NO_FOLDERS, PROBLEM, "No Folders, only Files please."},
    {MSG_NAME_NOT_IN_CODE_PAGE, PROBLEM,
     "%s: this PC's code page has no letters for the places shown as ?. Please rename the file or its folder."},
    {MSG_PROGRAM_DIR_NOT_IN_CODE_PAGE, PROBLEM,
     "The program's folder %s has letters that this PC's code page lacks (shown as ?), so the settings, the log "
     "and the fetched lists cannot be written. Please move the program to a folder whose name has other letters."},
    {MSG_DELETE_PATH_TOO_LONG, PROBLEM, "The path is too long to delete a file in it."},
    {MSG_DELETE_NOT_ANSWERED, PROBLEM, "The Vantorix did not answer the delete of %s in time. Not tried: %s."},
    {MSG_UPLOAD_CANT_READ, PROBLEM, "Upload-Error: Can't read file."},
    {MSG_UPLOAD_NO_SPACE, PROBLEM, "Upload-Error: Not enough space."},
    {MSG_UPLOAD_FAILED, PROBLEM, "There was an error trying to upload."},
    {MSG_UPLOAD_NOT_LISTED, PROBLEM, "%s is not listed on the Vantorix after the upload."},
    {MSG_UPLOAD_NOT_AS_SENT, PROBLEM, "%s is not on the Vantorix as sent: listed with %s bytes, sent %s."},
    {MSG_CANT_CREATE_UI, PROBLEM, "Can't create UI."},
    {MSG_NOT_ENOUGH_MEMORY, PROBLEM, "Not enough memory."},
    {MSG_USAGE, "Vantorix-Commandline-Problem",
     "VBrowser.exe [-q] [-u \"Filename\"] ... .\nSee Readme.txt for more informations."},
    {MSG_CANT_START, "ZemLibInit-Problem", "Vantorix1 can't start."},
    {MSG_DELETE_QUESTION, "Really delete ?", nullptr},
    {MSG_INFO, "Vantorix Browser Info", "Vantorix-Browser V" VBROWSER_VERSION},
};

const uint32_t MESSAGE_ROW_COUNT = sizeof(MessageRows) / sizeof(MessageRows[0]);

static const MessageRow* FindRow(int id)
{
    for (uint32_t i = 0; i < MESSAGE_ROW_COUNT; i++)
        if (MessageRows[i].id == id)
            return &MessageRows[i];
    return nullptr;
}

const char* MessageText(int id)
{
    const MessageRow* row = FindRow(id);
    return row && row->text ? row->text : "";
}

const char* MessageCaption(int id)
{
    const MessageRow* row = FindRow(id);
    return row ? row->caption : "";
}

// Appends text to out without passing size - 1 bytes in all.
static void AppendCut(char* out, uint32_t size, uint32_t* used, const char* text, size_t length)
{
    size_t room = size - 1 - *used;
    size_t take = length < room ? length : room;
    memcpy(out + *used, text, take);
    *used += static_cast<uint32_t>(take);
    out[*used] = '\0';
}

const char* FillMessageText(int id, const char* part, char* out, uint32_t size)
{
    return FillMessageParts(id, &part, 1, out, size);
}

const char* FillMessageParts(int id, const char* const* parts, uint32_t count, char* out, uint32_t size)
{
    if (size == 0)
        return out;
    out[0] = '\0';
    uint32_t used = 0;
    const char* text = MessageText(id);
    for (uint32_t next = 0;; next++) {
        const char* mark = strstr(text, "%s");
        if (!mark) {
            AppendCut(out, size, &used, text, strlen(text));
            return out;
        }
        AppendCut(out, size, &used, text, static_cast<size_t>(mark - text));
        const char* part = next < count ? parts[next] : "";
        AppendCut(out, size, &used, part, strlen(part));
        text = mark + 2;
    }
}

const char* ReadOutcomeMessage(int outcome)
{
    // One sentence per failed outcome; the message follows the last attempt only.
    switch (outcome) {
    case READ_SEND_FAILED:
        return MessageText(MSG_CANT_SEND);
    case READ_NO_ANSWER:
        return MessageText(MSG_NO_ANSWER);
    case READ_BAD_ANSWER:
        return MessageText(MSG_ANSWER_NOT_CORRECT);
    default:
        return nullptr;
    }
}
