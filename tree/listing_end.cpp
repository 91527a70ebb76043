// The end of a listing as the parser sees it, found while the answer comes in.
#include "tree/listing_end.h"

#include <cstring>

#include "tree/device_tree.h"

uint32_t ListingEndArrived(const char* text, uint32_t length, void* state)
{
    ListingEndScan* scan = static_cast<ListingEndScan*>(state);
    for (;;) {
        uint32_t end = scan->searchFrom;
        while (end < length && text[end] != '\r' && text[end] != 0)
            end++;
        scan->searchFrom = end;
        // A line is whole once its CR is there; at a NUL the parser stops
        // reading, so only the silence of the line ends such an answer.
        if (end >= length || text[end] != '\r')
            return 0;
        ListingLine line;
        int kind = ClassifyLine(&line, text + scan->lineStart);
        if (kind == LINE_EMPTY && scan->inTree)
            return end + 1 < length && text[end + 1] == '\n' ? end + 2 : end + 1;
        if (kind == LINE_DIRECTORY)
            scan->inTree = 1;
        // Where the next line begins depends on the byte after the CR.
        if (end + 1 >= length)
            return 0;
        scan->lineStart = scan->searchFrom = static_cast<uint32_t>(line.next - text);
    }
}

// The start of the line whose CR stands at cr: behind the CR before it, and
// behind the LF that pairs with that CR.
static uint32_t LineStartBefore(const char* text, uint32_t cr)
{
    uint32_t start = cr;
    while (start > 0 && text[start - 1] != '\r')
        start--;
    if (start > 0 && start < cr && text[start] == '\n')
        start++;
    return start;
}

int ListingEndsOnFreeSpace(const char* text, uint32_t length)
{
    // The parser stops at a NUL, so it would not read up to these lines.
    if (memchr(text, 0, length))
        return 0;
    uint32_t end = length;
    int ramLine = 0, flashLine = 0;
    for (int i = 0; i < 2; i++) {
        if (end >= 2 && text[end - 1] == '\n' && text[end - 2] == '\r')
            end--;   // the LF of a CR LF pair belongs to the line end
        if (end == 0 || text[end - 1] != '\r')
            return 0;
        uint32_t start = LineStartBefore(text, end - 1);
        ListingLine line;
        int kind = ClassifyLine(&line, text + start);
        ramLine += kind == LINE_RAMDISK_FREE;
        flashLine += kind == LINE_FLASHDISK_FREE;
        end = start;
    }
    return ramLine == 1 && flashLine == 1;
}

void ListingEndCarry(const void* scan, void* rest)
{
    ListingEndScan carried = {};
    carried.inTree = static_cast<const ListingEndScan*>(scan)->inTree;
    memcpy(rest, &carried, sizeof(carried));
}
