// Where a listing ends, told from the bytes that have arrived so far: the
// test that the answer reader is handed, and the rule for a listing that
// ended on the silence of the line.
#pragma once

#include <cstdint>

// Where the look for a listing's end stands; all zero before the first byte.
struct ListingEndScan {
    uint32_t lineStart;    // the first line not yet looked at
    uint32_t searchFrom;   // how far its line end has been searched for
    int inTree;            // a directory line has come: the header is over
};

// 0 until the text of length bytes holds the empty or blank line that ends
// the tree part of a listing, exactly where the parser stops; then how many
// bytes reach up to and including that line's end. scan is a
// ListingEndScan (an AnswerEndTest's state).
uint32_t ListingEndArrived(const char* text, uint32_t length, void* scan);

// 1 when the text of length bytes ends with whole free-space lines of both
// disks, each with its CR, as its last two lines: what a controller sends
// last, so a listing that then went quiet is complete without its empty line.
int ListingEndsOnFreeSpace(const char* text, uint32_t length);

// The scan of a listing cut before its end, turned into one that finds that
// end in the text that follows: a rest that began inside the tree part ends
// at its first empty line.
void ListingEndCarry(const void* scan, void* rest);
