// The upload job's file list: PC paths one behind the other, each ended by a NUL, the whole list closed by an
// empty name. Every command that fills it and every step that walks it goes through these helpers.
#pragma once

#include <cstdint>

#include "serial/upload_job.h"

// Room for names and their NULs: the field's last byte always stays for the closing empty name.
constexpr uint32_t FILE_LIST_ROOM = UPLOAD_FILE_LIST_SIZE - 1;

// Appends a name and its NUL behind the used bytes and closes the list behind it; 0, with nothing written, for
// an empty name or one that does not fit the room (room counts names and their NULs, as FILE_LIST_ROOM does).
int AppendFileName(char* list, uint32_t room, uint32_t* used, const char* name);
// The name behind name; an empty one at the end of the list.
const char* NextFileName(const char* name);
// 1 when an empty name closes the list inside its field of UPLOAD_FILE_LIST_SIZE bytes.
int FileListIsClosed(const char* list);
// The bytes of a closed list: its names, their NULs and the closing empty name.
uint32_t FileListBytes(const char* list);
