// One loop reads every answer that is a text of unknown length: the listing,
// the parameter list and the tool list.
#include "tree/answer_read.h"

#include "lib/zem_time.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "tree/device_tree.h"

AnswerReadHooks AnswerReadHook;

int ListingEndArrived(const char* text, uint32_t length, ListingEndScan* scan)
{
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
            return 1;
        if (kind == LINE_DIRECTORY)
            scan->inTree = 1;
        // Where the next line begins depends on the byte after the CR.
        if (end + 1 >= length)
            return 0;
        scan->lineStart = scan->searchFrom = static_cast<uint32_t>(line.next - text);
    }
}

uint32_t ReadWholeAnswer(SerialPort* port, char* buffer, uint32_t max, int listing, int* ended)
{
    ListingEndScan scan = {};
    uint32_t total = 0;
    const uint32_t began = ZemTickCount();
    *ended = 0;
    for (;;) {
        uint32_t got = ZemSerComReadArrived(port, buffer + total, max - total, 0);
        if (got == 0)
            break;   // a whole read time without a byte (or the port is busy)
        total += got;
        if (listing && ListingEndArrived(buffer, total, &scan)) {
            *ended = 1;
            break;
        }
        if (total == max)
            break;
        // An answer within one read time is over before anyone would notice.
        if (AnswerReadHook.betweenReads && ZemTickCount() - began >= SERIAL_READ_TIME_MS)
            AnswerReadHook.betweenReads(listing, total);
    }
    return total;
}
