// The two reply waits of the sender. Each reply byte is fetched by its own
// one-byte read, and the clock is looked at only after a read ends, so a
// silent line costs up to one read time beyond the limit. A device that has
// gone ends a wait at once.
#include "lib/zem_shared.h"
#include "lib/zem_time.h"
#include "serial/serial_port.h"
#include "serial/upload_protocol.h"

constexpr uint32_t LONGEST_WAIT_MS = 30000;

// One byte, or -1 when the read brought nothing.
static int ReadReplyByte(SerialPort* port)
{
    unsigned char byte[2];   // a read stores a 0 behind the data
    if (ZemSerComRead(port, byte, 1, 1) != 1)
        return -1;
    return byte[0];
}

int UploadWaitReply(SerialPort* port, uint32_t limit, int ignoreNak)
{
    if (limit > LONGEST_WAIT_MS)
        limit = LONGEST_WAIT_MS;
    uint32_t start = ZemTickCount();
    do {
        int byte = ReadReplyByte(port);
        if (byte == UPL_ACK)
            return REPLY_ACK;
        if (byte == UPL_NAK && !ignoreNak)
            return REPLY_NAK;
        if (byte == UPL_CAN)
            return REPLY_CAN;
        // Line noise and stray start requests are skipped.
    } while (ZemTickCount() - start < limit && !ZemLoadByte(&port->gone));
    return REPLY_NONE;
}

int UploadWaitStart(SerialPort* port, uint32_t limit, int count)
{
    if (limit > LONGEST_WAIT_MS)
        limit = LONGEST_WAIT_MS;
    uint32_t start = ZemTickCount();
    int run = 0;
    do {
        int byte = ReadReplyByte(port);
        if (byte == UPL_NAK)
            return START_CHECKSUM;
        if (byte == UPL_CAN)
            return START_CAN;
        if (byte == 'C') {
            if (++run >= count)
                return START_CRC;
        } else if (byte >= 0) {
            // Only consecutive 'C' count; a read that brings nothing keeps the run.
            run = 0;
        }
    } while (ZemTickCount() - start < limit && !ZemLoadByte(&port->gone));
    return START_NONE;
}
