// The receiving side of the batch upload, as the controller runs it after
// "u\r": start requests, one header block per file, numbered data blocks,
// EOT, and an empty header that closes the batch. A file is written under a
// hidden name and becomes visible only when its EOT has come.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sim/sim.h"

constexpr int SOH = 0x01;
constexpr int STX = 0x02;
constexpr int EOT = 0x04;
constexpr int ACK = 0x06;
constexpr int NAK = 0x15;
constexpr int CAN = 0x18;

// Inside a frame the bytes follow each other closely; a longer gap means the
// frame was cut short.
constexpr uint32_t BYTE_TIMEOUT_MS = 1000;
// A sender may want several 'C' in a row before a header, so they come often,
// and the wait for a header lasts at least this long.
constexpr uint32_t HEADER_REQUEST_MS = 250;
constexpr uint32_t HEADER_SILENCE_MIN_MS = 1500;
// Before the first data block one request suffices; repeat it only rarely,
// since an extra one could be taken for the answer to a block.
constexpr uint32_t DATA_REQUEST_MS = 3000;
// After an abort the rest of the sender's output is swallowed.
constexpr uint32_t DRAIN_QUIET_MS = 300;
constexpr uint32_t DRAIN_MAX_MS = 5000;

enum { FRAME_GOOD, FRAME_BAD, FRAME_STOP };

struct Frame {
    int number;
    uint32_t size;               // 128 or 1024 data bytes
    unsigned char data[1024];
};

// The file being received.
struct Incoming {
    int fd;                      // -1: none
    std::string tempPath;
    std::string finalPath;
    int sized;                   // the header gave a size
    uint64_t announced;
    uint64_t received;           // bytes kept so far
    uint64_t limit;              // room on its disk
    uint32_t blocks;             // data blocks taken
    uint32_t naksGiven;          // NAKs of the nak fault for the next block
};

static Incoming File{-1, {}, {}, 0, 0, 0, 0, 0, 0};

static uint16_t ComputeCrc16(const unsigned char* data, size_t count)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < count; i++) {
        crc = static_cast<uint16_t>(crc ^ (data[i] << 8));
        for (int bit = 0; bit < 8; bit++)
            crc = static_cast<uint16_t>((crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

static unsigned char ComputeSum(const unsigned char* data, size_t count)
{
    unsigned sum = 0;
    for (size_t i = 0; i < count; i++)
        sum += data[i];
    return static_cast<unsigned char>(sum);
}

static void SendByte(int byte)
{
    unsigned char value = static_cast<unsigned char>(byte);
    LineWrite(&value, 1);
}

// ACK and NAK go out after the optional delay of the ack-delay fault.
static void SendReply(int byte)
{
    if (const FaultRule* delay = FindFault(FAULT_ACK_DELAY))
        SimSleepMs(delay->a);
    SendByte(byte);
}

// Two CAN bytes: some senders want them in a row before they give up.
static void SendCancel()
{
    const unsigned char cancel[2] = {CAN, CAN};
    LineWrite(cancel, 2);
}

static void DropIncoming()
{
    if (File.fd < 0)
        return;
    close(File.fd);
    unlink(File.tempPath.c_str());
    SimTrace("dropped %s", File.finalPath.c_str());
    File.fd = -1;
}

// Waits for the first byte of a frame, sending the start request (when one is
// given) whenever *nextRequest is due, then every intervalMs; the caller keeps
// *nextRequest, so a refused frame does not bring an extra request. Bytes that
// start no frame are skipped. LINE_TIMEOUT after the silence limit.
static int WaitFrameStart(int request, uint32_t intervalMs, uint64_t* nextRequest, uint32_t silenceMs)
{
    uint64_t silenceEnd = SimNowUs() + static_cast<uint64_t>(silenceMs) * 1000u;
    for (;;) {
        uint64_t now = SimNowUs();
        if (now >= silenceEnd)
            return LINE_TIMEOUT;
        uint64_t until = silenceEnd;
        if (request != 0) {
            if (now >= *nextRequest) {
                SendByte(request);
                *nextRequest = now + static_cast<uint64_t>(intervalMs) * 1000u;
            }
            until = *nextRequest < silenceEnd ? *nextRequest : silenceEnd;
        }
        int byte = LineReadByte(static_cast<uint32_t>((until - now + 999) / 1000));
        if (byte == LINE_STOP)
            return LINE_STOP;
        if (byte == SOH || byte == STX || byte == EOT || byte == CAN)
            return byte;
        if (byte >= 0)
            SimTrace("skipped byte 0x%02x", byte);
    }
}

// Reads the rest of a frame whose first byte was SOH or STX and checks it.
static int ReadFrame(int first, Frame* frame)
{
    unsigned char raw[2 + 1024 + 2];
    frame->size = first == STX ? 1024 : 128;
    size_t total = 2 + frame->size + (Options.crcMode ? 2 : 1);
    for (size_t i = 0; i < total; i++) {
        int byte = LineReadByte(BYTE_TIMEOUT_MS);
        if (byte == LINE_STOP)
            return FRAME_STOP;
        if (byte == LINE_TIMEOUT) {
            SimTrace("frame cut short after %zu bytes", i + 1);
            return FRAME_BAD;
        }
        raw[i] = static_cast<unsigned char>(byte);
    }
    if (raw[0] + raw[1] != 255) {
        SimTrace("block number %u with complement %u", raw[0], raw[1]);
        return FRAME_BAD;
    }
    const unsigned char* data = raw + 2;
    const unsigned char* check = data + frame->size;
    int good = Options.crcMode ? ComputeCrc16(data, frame->size) == ((check[0] << 8) | check[1])
                               : ComputeSum(data, frame->size) == check[0];
    if (!good) {
        SimTrace("block %u: check mismatch", raw[0]);
        return FRAME_BAD;
    }
    frame->number = raw[0];
    std::memcpy(frame->data, data, frame->size);
    return FRAME_GOOD;
}

// A damaged frame: let the rest of it pass, then ask for it again.
static void RefuseFrame()
{
    LineDrain(100, 2000);
    SendReply(NAK);
}

static int Abort(int result)
{
    DropIncoming();
    if (result != RECEIVE_SILENCE && result != RECEIVE_STOPPED)
        LineDrain(DRAIN_QUIET_MS, DRAIN_MAX_MS);
    return result;
}

// Silence, the line gone, or a CAN where a frame should start end the session.
static int EndsSession(int first)
{
    return first == LINE_TIMEOUT || first == LINE_STOP || first == CAN;
}

static int SessionEnd(int first)
{
    return first == LINE_TIMEOUT ? RECEIVE_SILENCE : first == LINE_STOP ? RECEIVE_STOPPED : RECEIVE_CANCELLED;
}

static int Refuse(const char* why)
{
    SimTrace("refused: %s", why);
    DropIncoming();
    SendCancel();
    return Abort(RECEIVE_REFUSED);
}

// Header data: path, NUL, size in decimal (more fields may follow a blank).
// 1 = file opened, 0 = refused (the reason is traced).
static int OpenIncoming(const Frame& frame, const char** why)
{
    const char* data = reinterpret_cast<const char*>(frame.data);
    size_t nameLength = strnlen(data, frame.size);
    std::string name(data, nameLength);
    File.sized = 0;
    File.announced = 0;
    if (nameLength + 1 < frame.size && data[nameLength + 1] >= '0' && data[nameLength + 1] <= '9') {
        File.sized = 1;
        for (size_t i = nameLength + 1; i < frame.size && data[i] >= '0' && data[i] <= '9'; i++)
            File.announced = File.announced * 10 + static_cast<uint64_t>(data[i] - '0');
    }
    SimPath target;
    *why = "path outside the disks or missing directory";
    if (!ResolveControllerPath(name, &target) || target.disk == DISK_NONE)
        return 0;
    File.finalPath = target.hostDir + "/" + target.name;
    uint64_t replaced = 0;
    struct stat info{};
    if (lstat(File.finalPath.c_str(), &info) == 0) {
        *why = "a directory or link has that name";
        if (!S_ISREG(info.st_mode))
            return 0;
        replaced = static_cast<uint64_t>(info.st_size);
    }
    File.limit = FindFault(FAULT_NO_SPACE) != nullptr ? 0 : DiskBytesFree(target.disk) + replaced;
    *why = "no room on the disk";
    if ((File.sized && File.announced > File.limit) || File.limit == 0)
        return 0;
    File.tempPath = target.hostDir + "/" + UploadTempName();
    unlink(File.tempPath.c_str());
    File.fd = open(File.tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644);
    *why = "cannot create the file";
    if (File.fd < 0)
        return 0;
    File.received = 0;
    File.blocks = 0;
    File.naksGiven = 0;
    SimTrace("receiving %s (%s%llu bytes)", name.c_str(), File.sized ? "" : "size unknown, ",
             static_cast<unsigned long long>(File.announced));
    return 1;
}

static int StoreBlock(const Frame& frame)
{
    uint64_t take = frame.size;
    if (File.sized) {
        uint64_t left = File.announced > File.received ? File.announced - File.received : 0;
        take = take < left ? take : left;
    }
    if (File.received + take > File.limit)
        return 0;
    size_t done = 0;
    while (done < take) {
        ssize_t put = write(File.fd, frame.data + done, take - done);
        if (put <= 0 && errno != EINTR)
            return 0;
        if (put > 0)
            done += static_cast<size_t>(put);
    }
    File.received += take;
    return 1;
}

static int CommitIncoming()
{
    int fd = File.fd;
    File.fd = -1;
    if (const FaultRule* shorter = FindFault(FAULT_STORE_SHORT)) {
        File.received = File.received > shorter->a ? File.received - shorter->a : 0;
        if (ftruncate(fd, static_cast<off_t>(File.received)) != 0)
            SimTrace("could not shorten the file: %s", std::strerror(errno));
    }
    int good = close(fd) == 0 && rename(File.tempPath.c_str(), File.finalPath.c_str()) == 0;
    if (!good) {
        unlink(File.tempPath.c_str());
        return 0;
    }
    SimTrace("stored %s, %llu bytes", File.finalPath.c_str(), static_cast<unsigned long long>(File.received));
    return 1;
}

// Stops reading the line and acknowledges blindly, so a client keeps writing
// until the pty's buffers are full and its writes block.
static void StallLine(uint32_t seconds)
{
    SimTrace("stalling for %u s", seconds);
    uint64_t end = SimNowUs() + static_cast<uint64_t>(seconds) * 1000000u;
    while (SimNowUs() < end && !SimStopRequested) {
        SendByte(ACK);
        SimSleepMs(10);
    }
}

// Faults that hit data block K of a file; 1 when the block is answered here.
static int ApplyBlockFaults(uint32_t k, int* result)
{
    for (const FaultRule* rule : FaultsOfKind(FAULT_SILENT_FROM)) {
        if (k >= rule->a) {
            *result = Abort(RECEIVE_FAULT);
            return 1;
        }
    }
    for (const FaultRule* rule : FaultsOfKind(FAULT_STALL_FROM)) {
        if (k >= rule->a) {
            DropIncoming();
            StallLine(rule->b);
            *result = Abort(RECEIVE_FAULT);
            return 1;
        }
    }
    for (const FaultRule* rule : FaultsOfKind(FAULT_HANGUP_BLOCK)) {
        if (k == rule->a) {
            LineHangUp();
            *result = Abort(RECEIVE_FAULT);
            return 1;
        }
    }
    for (const FaultRule* rule : FaultsOfKind(FAULT_CAN_BLOCK)) {
        if (k == rule->a) {
            DropIncoming();
            SendCancel();
            *result = Abort(RECEIVE_FAULT);
            return 1;
        }
    }
    for (const FaultRule* rule : FaultsOfKind(FAULT_NAK)) {
        if (k == rule->a && File.naksGiven < rule->b) {
            File.naksGiven++;
            SendReply(NAK);
            *result = -1;
            return 1;
        }
    }
    return 0;
}

enum { HEADER_FILE = -1, HEADER_CLOSE = -2 };

// Waits for a header; HEADER_FILE when a file was opened, HEADER_CLOSE for
// the closing header, or the RECEIVE_ result that ends the session.
static int ReceiveHeader(int request)
{
    uint32_t silenceMs = Options.silenceMs > HEADER_SILENCE_MIN_MS ? Options.silenceMs : HEADER_SILENCE_MIN_MS;
    uint64_t nextRequest = SimNowUs();
    for (;;) {
        int first = WaitFrameStart(request, HEADER_REQUEST_MS, &nextRequest, silenceMs);
        if (EndsSession(first))
            return Abort(SessionEnd(first));
        if (first == EOT) {
            // The sender missed our ACK of its last EOT.
            SendReply(ACK);
            continue;
        }
        Frame frame{};
        int got = ReadFrame(first, &frame);
        if (got == FRAME_STOP)
            return Abort(RECEIVE_STOPPED);
        if (got == FRAME_BAD || frame.number != 0) {
            RefuseFrame();
            continue;
        }
        if (frame.data[0] == 0) {
            if (FindFault(FAULT_SILENT_CLOSE) != nullptr)
                return Abort(RECEIVE_FAULT);
            SendReply(ACK);
            return HEADER_CLOSE;
        }
        const char* why = nullptr;
        if (!OpenIncoming(frame, &why))
            return Refuse(why);
        if (FindFault(FAULT_SILENT_HEADER) != nullptr)
            return Abort(RECEIVE_FAULT);
        if (FindFault(FAULT_CAN_HEADER) != nullptr) {
            DropIncoming();
            SendCancel();
            return Abort(RECEIVE_FAULT);
        }
        SendReply(ACK);
        return HEADER_FILE;
    }
}

// Receives the data of the open file up to its EOT; -1 when the file is
// stored, else the RECEIVE_ result that ends the session.
static int ReceiveData(int request)
{
    int started = 0;
    int quietStart = FindFault(FAULT_SILENT_DATA_START) != nullptr;
    uint64_t nextRequest = SimNowUs();
    for (;;) {
        int first = WaitFrameStart(started || quietStart ? 0 : request, DATA_REQUEST_MS, &nextRequest,
                                   Options.silenceMs);
        if (EndsSession(first))
            return Abort(SessionEnd(first));
        if (first == EOT) {
            if (FindFault(FAULT_SILENT_EOT) != nullptr)
                return Abort(RECEIVE_FAULT);
            if (File.sized && File.received < File.announced)
                return Refuse("the data ended before the announced size");
            if (!CommitIncoming())
                return Refuse("cannot store the file");
            SendReply(ACK);
            return -1;
        }
        Frame frame{};
        int got = ReadFrame(first, &frame);
        if (got == FRAME_STOP)
            return Abort(RECEIVE_STOPPED);
        if (got == FRAME_BAD) {
            RefuseFrame();
            continue;
        }
        uint32_t next = File.blocks + 1;
        if (frame.number == static_cast<int>(next & 0xFF)) {
            int result = 0;
            if (ApplyBlockFaults(next, &result)) {
                if (result >= 0)
                    return result;
                continue;
            }
            if (!StoreBlock(frame))
                return Refuse("no room for the data");
            File.blocks = next;
            File.naksGiven = 0;
            started = 1;
            SendReply(ACK);
        } else if (frame.number == static_cast<int>(File.blocks & 0xFF)) {
            // A repeat of the block we took last (our ACK was lost), or of
            // the header: acknowledge it and keep nothing.
            SendReply(ACK);
            if (File.blocks == 0) {
                started = 0;
                nextRequest = SimNowUs();
            }
        } else {
            return Refuse("block out of sequence");
        }
    }
}

int ReceiveBatch()
{
    SimTrace("upload started (%s)", Options.crcMode ? "crc" : "checksum");
    if (FindFault(FAULT_CAN_START) != nullptr) {
        SendCancel();
        return Abort(RECEIVE_FAULT);
    }
    int request = Options.crcMode ? 'C' : NAK;
    for (;;) {
        int header = ReceiveHeader(request);
        if (header == HEADER_CLOSE) {
            SimTrace("upload complete");
            return RECEIVE_OK;
        }
        if (header != HEADER_FILE)
            return header;
        int data = ReceiveData(request);
        if (data >= 0)
            return data;
    }
}
