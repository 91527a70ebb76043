// A backup's listing.json read back into a flat list of paths and sizes. It
// takes the JSON that vtx writes (tree/tree_json.h), keys in any order
// except that a directory's name comes before its children, and refuses
// anything else: a backup that was edited by hand is not compared blindly.
#include <cstring>

#include "cli/vtx_backup.h"

struct JsonCursor {
    const char* at;
    EntryArray* entries;
};

static void SkipBlanks(JsonCursor* cursor)
{
    while (*cursor->at == ' ' || *cursor->at == '\t' || *cursor->at == '\r' || *cursor->at == '\n')
        cursor->at++;
}

static int Take(JsonCursor* cursor, char expected)
{
    SkipBlanks(cursor);
    if (*cursor->at != expected)
        return 0;
    cursor->at++;
    return 1;
}

static int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// A string into text (NUL-terminated); names are bytes, written as \u00XX
// when they are not printable ASCII.
static int ReadString(JsonCursor* cursor, char* text, uint32_t size)
{
    if (!Take(cursor, '"'))
        return 0;
    uint32_t length = 0;
    for (const char* p = cursor->at;; p++) {
        char c = *p;
        if (c == '"') {
            text[length] = 0;
            cursor->at = p + 1;
            return 1;
        }
        if (c == 0 || length + 1 >= size)
            return 0;
        if (c == '\\') {
            c = *++p;
            if (c == 'u') {
                int digits[4] = {HexValue(p[1]), HexValue(p[2]), HexValue(p[3]), HexValue(p[4])};
                if (digits[0] != 0 || digits[1] != 0 || digits[2] < 0 || digits[3] < 0)
                    return 0;
                c = static_cast<char>(digits[2] * 16 + digits[3]);
                p += 4;
            } else if (c != '"' && c != '\\' && c != '/') {
                return 0;
            }
        }
        text[length++] = c;
    }
}

static int ReadNumber(JsonCursor* cursor, uint32_t* value)
{
    SkipBlanks(cursor);
    uint64_t number = 0;
    const char* start = cursor->at;
    for (; *cursor->at >= '0' && *cursor->at <= '9'; cursor->at++) {
        number = number * 10 + static_cast<uint64_t>(*cursor->at - '0');
        if (number > 0xFFFFFFFFu)
            return 0;
    }
    *value = static_cast<uint32_t>(number);
    return cursor->at > start;
}

static int ReadEntry(JsonCursor* cursor, const char* parent, int isRoot);

// The children of the directory at path ("/ram/"), each added to the entries.
static int ReadChildren(JsonCursor* cursor, const char* path)
{
    if (!Take(cursor, '['))
        return 0;
    if (Take(cursor, ']'))
        return 1;
    do {
        if (!ReadEntry(cursor, path, 0))
            return 0;
    } while (Take(cursor, ','));
    return Take(cursor, ']');
}

// One object {"name":S,"type":"dir","children":[...]} or {"name":S,"type":"file","size":N}.
static int ReadEntry(JsonCursor* cursor, const char* parent, int isRoot)
{
    VtxListedEntry entry = {};
    char name[VTX_FOLDER_PATH_SIZE] = "", type[8] = "", key[16];
    int hasName = 0, hasSize = 0, hasChildren = 0;
    if (!Take(cursor, '{'))
        return 0;
    do {
        if (!ReadString(cursor, key, sizeof(key)) || !Take(cursor, ':'))
            return 0;
        if (strcmp(key, "name") == 0 && !hasName) {
            hasName = ReadString(cursor, name, sizeof(name));
            int written = isRoot ? snprintf(entry.path, sizeof(entry.path), "/")
                                 : snprintf(entry.path, sizeof(entry.path), "%s%s", parent, name);
            if (!hasName || written < 0 || static_cast<uint32_t>(written) + 1 >= sizeof(entry.path))
                return 0;
        } else if (strcmp(key, "type") == 0 && !type[0]) {
            if (!ReadString(cursor, type, sizeof(type)))
                return 0;
        } else if (strcmp(key, "size") == 0 && !hasSize) {
            hasSize = ReadNumber(cursor, &entry.size);
            if (!hasSize)
                return 0;
        } else if (strcmp(key, "children") == 0 && hasName && !hasChildren) {
            // The directory's own path ends in "/", as its children's start.
            size_t length = strlen(entry.path);
            if (!isRoot)
                strcpy(entry.path + length, "/");
            hasChildren = ReadChildren(cursor, entry.path);
            if (!hasChildren)
                return 0;
        } else {
            return 0;
        }
    } while (Take(cursor, ','));
    if (!Take(cursor, '}') || !hasName)
        return 0;
    int directory = strcmp(type, "dir") == 0 && hasChildren && !hasSize;
    int file = strcmp(type, "file") == 0 && hasSize && !hasChildren;
    if (!(isRoot ? directory : directory || file))
        return 0;
    return isRoot || ZemArrayInsert(cursor->entries, &entry, 0xFFFFFFFFu, 1);
}

int VtxReadListingJson(const char* text, EntryArray* entries, uint32_t* ramDiskFree, uint32_t* flashDiskFree)
{
    JsonCursor cursor = {text, entries};
    int hasRam = 0, hasFlash = 0, hasRoot = 0;
    char key[16];
    if (!Take(&cursor, '{'))
        return 0;
    do {
        if (!ReadString(&cursor, key, sizeof(key)) || !Take(&cursor, ':'))
            return 0;
        int read = 0;
        if (strcmp(key, "ramDiskFree") == 0 && !hasRam)
            read = hasRam = ReadNumber(&cursor, ramDiskFree);
        else if (strcmp(key, "flashDiskFree") == 0 && !hasFlash)
            read = hasFlash = ReadNumber(&cursor, flashDiskFree);
        else if (strcmp(key, "root") == 0 && !hasRoot)
            read = hasRoot = ReadEntry(&cursor, "", 1);
        if (!read)
            return 0;
    } while (Take(&cursor, ','));
    if (!Take(&cursor, '}'))
        return 0;
    SkipBlanks(&cursor);
    return hasRam && hasFlash && hasRoot && *cursor.at == 0;
}
