// Reading one controller answer whole: piece by piece while bytes keep
// coming, until the line has been quiet for a whole read time, the buffer is
// full or, for a listing, its end has arrived.
#pragma once

#include <cstdint>

struct SerialPort;

// Called between two reads of an answer that has gone on past one read time,
// with the bytes read so far, so that a long read can keep a window alive;
// none by default.
struct AnswerReadHooks {
    void (*betweenReads)(int listing, uint32_t bytesSoFar);
};
extern AnswerReadHooks AnswerReadHook;

// Where the look for a listing's end stands; all zero before the first byte.
struct ListingEndScan {
    uint32_t lineStart;    // the first line not yet looked at
    uint32_t searchFrom;   // how far its line end has been searched for
    int inTree;            // a directory line has come: the header is over
};

// 1 once the text of length bytes holds the empty or blank line that ends
// the tree part of a listing, exactly where the parser stops.
int ListingEndArrived(const char* text, uint32_t length, ListingEndScan* scan);

// Reads an answer into buffer, at most max bytes, with a NUL stored behind
// them; the count (0: nothing came). For a listing (listing 1) the read also
// ends at its end, and *ended says whether that end came.
uint32_t ReadWholeAnswer(SerialPort* port, char* buffer, uint32_t max, int listing, int* ended);
