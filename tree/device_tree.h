// The controller's file tree as parsed from one listing, with the free bytes
// of both disks. Its storage lives for the life of the main window and is
// reused from one listing to the next.
#pragma once

#include <cstdint>

#include "lib/zem_lib.h"

struct DeviceTree;
struct SerialPort;

constexpr uint32_t DIR_ENTRY_NAME_SIZE = 260;

struct DirEntry {
    char name[DIR_ENTRY_NAME_SIZE];   // as listed, blanks included; the root is "/"
    unsigned char isDirectory;        // 1 for a directory
    uint32_t size;                    // bytes as listed; 0 for a directory
    EntryArray* children;             // a directory's entries in listing order
    DeviceTree* tree;                 // the owning tree
    DirEntry* parent;                 // the enclosing directory; none for the root
};

struct DeviceTree {
    EntryArray* arrayPool;            // one EntryArray* per directory of the last listing
    uint32_t arraysInUse;             // 0: no tree loaded
    uint32_t ramDiskFree;
    uint32_t flashDiskFree;
    DirEntry root;
};

// Kinds of listing lines.
enum {
    LINE_OTHER = 0,            // none of the others
    LINE_FILE = 1,             // decimal size, one blank, name
    LINE_DIRECTORY = 2,        // "(dir) " and name
    LINE_RAMDISK_FREE = 3,     // free space of the RAM disk
    LINE_FLASHDISK_FREE = 4,   // free space of the flash disk
    LINE_EMPTY = 5,            // nothing but blanks before the line end
    LINE_END = 6,              // the text ends at the line's first character
};

struct ListingLine {
    const char* text;     // first character of the name
    uint32_t length;      // characters of the name
    uint32_t number;      // file size or free byte count
    const char* next;     // first character of the following line
    uint32_t depth;       // leading blanks
};

// Outcomes of one listing attempt.
enum {
    READ_OK = 0,
    READ_SEND_FAILED = 1,   // "l\r\n" could not be written (or the port was busy)
    READ_NO_ANSWER = 2,     // the read brought nothing
    READ_BAD_ANSWER = 3,    // the listing was cut short, did not stop or did not parse
    READ_NOT_CONNECTED = 4, // no port was given: the tree was only emptied
    READ_ABANDONED = 5,     // the between-reads hook ended the read: no message, no further attempt
};

// Listing attempts per ReadDirectories call when not 0; 0: 2. The browser
// started with "-u" sets 4, vtx its --attempts.
extern uint32_t ListingAttemptsOverride;

DeviceTree* CreateDeviceTree();
void FreeDeviceTree(DeviceTree* tree);
int AddEntryArray(DeviceTree* tree);
void ResetDeviceTree(DeviceTree* tree);
int ClassifyLine(ListingLine* line, const char* text);
int ParseDirectory(DeviceTree* tree, EntryArray* array, DirEntry* directory, const char** cursor, const uint32_t* parentDepth);
int ParseListing(DeviceTree* tree, const char* text);
int ReadDirectories(DeviceTree* tree, SerialPort* port, char* buffer, uint32_t bufferSize);
// Counts every ReadDirectories call (connect and disconnect read too), so
// that a command that waited for the user can tell whether the listing it
// started from is still the current one.
extern uint32_t ListingGeneration;
// The outcome of the last ReadDirectories call (READ_OK when it loaded a tree).
int LastReadOutcome();
// The sentence that a failed read shows after its last attempt (null: none);
// each program gives its table of texts. Not set: no sentence.
extern const char* (*ReadOutcomeText)(int outcome);

// "/" for the root, the parent's path + name, and "/" behind a directory.
// Returns 0 with an empty buffer when the path does not fit.
int GetEntryPath(const DirEntry* entry, char* buffer, uint32_t size);
// Changes path in place; returns the first entry of each name, or null.
DirEntry* FindEntryByPath(DeviceTree* tree, char* path);

inline EntryArray* PoolArrayAt(const DeviceTree* tree, uint32_t index)
{
    return *static_cast<EntryArray**>(ZemArrayAt(tree->arrayPool, index));
}

inline DirEntry* EntryAt(const EntryArray* array, uint32_t index)
{
    return static_cast<DirEntry*>(ZemArrayAt(array, index));
}
