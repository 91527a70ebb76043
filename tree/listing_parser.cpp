// The controller's answer to "l\r\n", parsed in place: lines are only looked
// at, and each name is copied once into its entry.
#include <cstring>

#include "tree/device_tree.h"

constexpr uint32_t DIR_PREFIX_LENGTH = 6;                   // "(dir) "
constexpr uint32_t MAX_NAME_LENGTH = DIR_ENTRY_NAME_SIZE - 1;

static int IsSpaceForNumber(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The free count after the colon. White space is skipped across line ends,
// as the controller's own reader does; the digits wrap in 32 bits.
static uint32_t ReadFreeNumber(const char* p)
{
    while (IsSpaceForNumber(*p))
        p++;
    int negative = 0;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    uint32_t value = 0;
    for (; *p >= '0' && *p <= '9'; p++)
        value = value * 10u + static_cast<uint32_t>(*p - '0');
    return negative ? 0u - value : value;
}

// Searches backwards, so that of several keywords the rightmost one decides;
// a keyword at the line's first character does not count.
static int ClassifyFreeSpace(ListingLine* line, const char* start, const char* end)
{
    if (end - start < 9)
        return LINE_OTHER;
    for (const char* at = end - 8; at > start; at--) {
        int kind = LINE_OTHER;
        if (memcmp(at, "RamDisk", 7) == 0)
            kind = LINE_RAMDISK_FREE;
        else if (end - at >= 9 && memcmp(at, "FlashDisk", 9) == 0)
            kind = LINE_FLASHDISK_FREE;
        if (kind == LINE_OTHER)
            continue;
        const char* colon = static_cast<const char*>(memchr(at, ':', static_cast<size_t>(end - at)));
        if (!colon)
            return LINE_OTHER;
        line->number = ReadFreeNumber(colon + 1);
        return kind;
    }
    return LINE_OTHER;
}

int ClassifyLine(ListingLine* line, const char* text)
{
    memset(line, 0, sizeof(*line));
    if (*text == 0)
        return LINE_END;
    const char* start = text;
    while (*start == ' ')
        start++;
    line->depth = static_cast<uint32_t>(start - text);

    const char* end = start + strcspn(start, "\r");
    line->next = end;
    if (*end == '\r') {
        line->next = end + 1;
        if (end[1] == '\n')
            line->next = end + 2;
    }
    uint32_t length = static_cast<uint32_t>(end - start);
    if (length == 0)
        return LINE_EMPTY;

    if (length >= DIR_PREFIX_LENGTH && memcmp(start, "(dir) ", DIR_PREFIX_LENGTH) == 0) {
        line->text = start + DIR_PREFIX_LENGTH;
        line->length = length - DIR_PREFIX_LENGTH;
        return LINE_DIRECTORY;
    }

    const char* digit = start;
    for (; *digit >= '0' && *digit <= '9'; digit++)
        line->number = line->number * 10u + static_cast<uint32_t>(*digit - '0');
    if (digit > start && *digit == ' ') {
        line->text = digit + 1;
        line->length = static_cast<uint32_t>(end - line->text);
        return LINE_FILE;
    }
    return ClassifyFreeSpace(line, start, end);
}

// Appends one entry without a source. A full array doubles rather than
// growing by the library's few elements, so that a directory of thousands of
// files is not copied over and over; should the doubling fail, the plain
// growth still gets its chance.
static DirEntry* AppendEntry(EntryArray* array)
{
    if (array->capacityBytes / array->elementSize <= array->count)
        ZemArrayReserve(array, array->count);
    if (!ZemArrayInsert(array, nullptr, ZEM_ARRAY_END, 1))
        return nullptr;
    return EntryAt(array, array->count - 1);
}

int ParseDirectory(DeviceTree* tree, EntryArray* array, DirEntry* directory, const char** cursor, const uint32_t* parentDepth)
{
    for (;;) {
        ListingLine line;
        int kind = ClassifyLine(&line, *cursor);
        if (parentDepth && line.depth <= *parentDepth)
            return 1;
        switch (kind) {
        case LINE_FILE:
        case LINE_DIRECTORY: {
            // A cut name could pass for another file; a name that does not
            // fit makes the whole listing invalid instead.
            if (line.length > MAX_NAME_LENGTH)
                return 0;
            DirEntry* entry = AppendEntry(array);
            if (!entry)
                return 0;
            memcpy(entry->name, line.text, line.length);
            entry->name[line.length] = 0;
            entry->isDirectory = kind == LINE_DIRECTORY;
            entry->size = kind == LINE_FILE ? line.number : 0;
            entry->children = nullptr;
            entry->tree = tree;
            entry->parent = directory;
            *cursor = line.next;
            if (kind == LINE_FILE)
                break;
            if (tree->arraysInUse == tree->arrayPool->count && !AddEntryArray(tree))
                return 0;
            entry->children = PoolArrayAt(tree, tree->arraysInUse);
            tree->arraysInUse++;
            // The entry stays put meanwhile: only its own children's array grows.
            if (!ParseDirectory(tree, entry->children, entry, cursor, &line.depth))
                return 0;
            break;
        }
        case LINE_RAMDISK_FREE:
            tree->ramDiskFree = line.number;
            *cursor = line.next;
            break;
        case LINE_FLASHDISK_FREE:
            tree->flashDiskFree = line.number;
            *cursor = line.next;
            break;
        case LINE_EMPTY:
        case LINE_END:
            return 1;
        default:
            return 0;
        }
    }
}

// An array that grew during the parse has moved its entries, and the parent
// links of their children still point at the old places. Once the parse is
// over nothing grows until the next reset, so one pass over the directories
// makes every link, and every reference the views take, good until then.
static void LinkParents(DeviceTree* tree)
{
    for (uint32_t i = 0; i < tree->root.children->count; i++)
        EntryAt(tree->root.children, i)->parent = &tree->root;
    for (uint32_t a = 0; a < tree->arraysInUse; a++) {
        EntryArray* array = PoolArrayAt(tree, a);
        for (uint32_t i = 0; i < array->count; i++) {
            DirEntry* directory = EntryAt(array, i);
            if (!directory->isDirectory)
                continue;
            for (uint32_t c = 0; c < directory->children->count; c++)
                EntryAt(directory->children, c)->parent = directory;
        }
    }
}

int ParseListing(DeviceTree* tree, const char* text)
{
    ResetDeviceTree(tree);
    const char* cursor = text;
    ListingLine line;
    for (;;) {
        int kind = ClassifyLine(&line, cursor);
        if (kind == LINE_DIRECTORY || kind == LINE_END)
            break;
        cursor = line.next;
    }
    if (tree->arrayPool->count == 0 && !AddEntryArray(tree))
        return 0;
    tree->arraysInUse = 1;
    tree->root.isDirectory = 1;
    memcpy(tree->root.name, "/", 2);
    tree->root.tree = tree;
    tree->root.children = PoolArrayAt(tree, 0);

    if (!ParseDirectory(tree, tree->root.children, &tree->root, &cursor, nullptr) || tree->root.children->count == 0) {
        ResetDeviceTree(tree);
        return 0;
    }
    LinkParents(tree);
    return 1;
}
