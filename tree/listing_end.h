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

// 1 once the text of length bytes holds the empty or blank line that ends
// the tree part of a listing, exactly where the parser stops. scan is a
// ListingEndScan (an AnswerEndTest's state).
int ListingEndArrived(const char* text, uint32_t length, void* scan);

// 1 when the text of length bytes ends with whole free-space lines of both
// disks, each with its CR, as its last two lines: what a controller sends
// last, so a listing that then went quiet is complete without its empty line.
int ListingEndsOnFreeSpace(const char* text, uint32_t length);

// Where the last whole listing of a text that may hold several begins,
// when the text ends with it: behind the end line of the listing before it,
// or at 0. The last listing is whole up to its end line, with nothing but
// blank lines behind it, or up to the free-space lines that end the text.
// 1 with *start set; 0 when the text does not end with a whole listing (the
// last one was cut, or more came after it).
int FindLastWholeListing(const char* text, uint32_t length, uint32_t* start);
