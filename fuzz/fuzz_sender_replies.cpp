// The batch sender against a receiver whose every answer comes from the fuzz
// input. A small serial device plays the line on a virtual clock and keeps a
// model of what a receiver would have taken: it checks each frame the sender
// writes as it goes, and the result against what was acknowledged.
//
// Input: three setting bytes, then one byte per read of the sender (0xFF is a
// read that times out; past the end of the input the line is silent).
//   byte 0: bit 0 a second file; bits 1-2 which one (another file, a missing
//           one, an empty one, the first file again); bit 3 the flash disk;
//           bit 4 no directory; bit 5 a budget one byte short; bit 6 a
//           directory too long for a checksum-mode header; bit 7 the first
//           file changes length once its header was accepted
//   byte 1: the write that fails (1-based, 0 none); bit 7 makes it end short
//   byte 2: bits 0-6 the read after which the user asks for a cancel
//           (1-based, 0 none); bit 7 the change is a growth, not a cut
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <unistd.h>

#include "app/settings.h"
#include "fuzz/fuzz_require.h"
#include "lib/zem_lib.h"
#include "lib/zem_time.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "serial/upload_job.h"
#include "serial/upload_notice.h"
#include "serial/upload_protocol.h"

// ---- the files of the batch, made once per run of the fuzzer

struct BatchFile {
    std::string path;
    std::string baseName;
    std::vector<unsigned char> bytes;
};

static BatchFile fileA, fileB, fileEmpty;
static std::string missingPath;

static void MakeFile(const std::string& folder, const char* name, uint32_t size, unsigned seed, BatchFile* file)
{
    file->baseName = name;
    file->path = folder + "/" + name;
    file->bytes.resize(size);
    for (uint32_t i = 0; i < size; i++)
        file->bytes[i] = static_cast<unsigned char>((i * seed + (i >> 7)) & 0xFF);
    Require(ZemFileWrite(file->path.c_str(), file->bytes.data(), size, ZEM_FILE_CREATE) == 1 || size == 0);
    if (size == 0) {
        FILE* out = fopen(file->path.c_str(), "wb");
        Require(out != nullptr);
        fclose(out);
    }
}

static std::string batchFolder;

static void RemoveBatchFiles()
{
    for (const BatchFile* file : {&fileA, &fileB, &fileEmpty})
        unlink(file->path.c_str());
    rmdir(batchFolder.c_str());
}

static void MakeBatchFiles()
{
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string folder = std::string(base) + "/fuzz_sender.XXXXXX";
    Require(mkdtemp(folder.data()) != nullptr);
    // One block in CRC mode, two in checksum mode, the last one filled.
    MakeFile(folder, "part a.nc", 200, 7, &fileA);
    // Two CRC blocks, eleven checksum blocks.
    MakeFile(folder, "b.nc", 1300, 13, &fileB);
    MakeFile(folder, "empty.nc", 0, 1, &fileEmpty);
    missingPath = folder + "/missing.nc";
    batchFolder = folder;
    atexit(RemoveBatchFiles);
}

// ---- virtual time

static uint32_t virtualNow;

static uint32_t VirtualTick(void*)
{
    return virtualNow;
}

static void VirtualSleep(void*, uint32_t ms)
{
    virtualNow += ms;
}

static const ZemClock virtualClock = {VirtualTick, VirtualSleep, nullptr};

// ---- the receiver model

enum FrameKind { SENT_NOTHING, SENT_HEADER, SENT_DATA, SENT_EOT };

struct ReceivedFile {
    std::string headerName;
    uint32_t headerSize;
    int mode;                          // 1 checksum, 2 CRC
    std::vector<unsigned char> data;   // accepted data areas, in order
    int complete;                      // the EOT was acknowledged
};

struct Receiver {
    // The run's settings and script.
    const uint8_t* replies;
    size_t replyCount;
    size_t replyAt;
    uint32_t failWriteAt;
    int failShort;
    uint32_t cancelAfterRead;
    int changeLength;                  // 0 none, -1 cut the first file, 1 grow it
    int lengthChanged;
    UploadJob* job;

    // What happened on the line.
    uint32_t writes;
    uint32_t reads;
    int commandSeen;
    int writeFailed;                   // an injected failure has happened
    int canDelivered;
    std::vector<unsigned char> sinceDecision;   // bytes read since the last reply wait ended

    // The model.
    FrameKind outstanding;             // the frame whose reply the sender waits for
    int phaseData;                     // a header was accepted: data blocks of that file follow
    int blockMode;
    uint32_t nextBlock;                // counter of the next new data block
    uint32_t sendsOfBlock;             // sends of the current data block
    std::vector<unsigned char> lastFrame;
    std::vector<ReceivedFile> files;
    int closingAccepted;
    int writesAfterClose;
    int cancelBlockSent;
    int singleCans;
};

static Receiver rx;

// What a start wait asking for count 'C' makes of the bytes read since the
// previous wait ended: the first NAK, CAN or run of count 'C'.
static int FirstStartEvent(const std::vector<unsigned char>& bytes, int count)
{
    int run = 0;
    for (unsigned char byte : bytes) {
        if (byte == UPL_NAK)
            return START_CHECKSUM;
        if (byte == UPL_CAN)
            return START_CAN;
        if (byte == 'C') {
            if (++run >= count)
                return START_CRC;
        } else {
            run = 0;
        }
    }
    return START_NONE;
}

// The CRC the way the receiver checks it: a shift register over the data and
// two zero bytes.
static uint16_t ReferenceCrc(const unsigned char* data, uint32_t length)
{
    uint32_t reg = 0;
    for (uint32_t i = 0; i < length + 2; i++) {
        unsigned char byte = i < length ? data[i] : 0;
        for (int bit = 7; bit >= 0; bit--) {
            uint32_t out = reg & 0x8000;
            reg = ((reg << 1) | ((byte >> bit) & 1)) & 0xFFFF;
            if (out)
                reg ^= 0x1021;
        }
    }
    return static_cast<uint16_t>(reg);
}

// A well-formed block of either size; returns its mode, or 0.
static int CheckBlock(const unsigned char* bytes, uint32_t length)
{
    if (length == 132 && bytes[0] == UPL_SOH) {
        unsigned sum = 0;
        for (int i = 0; i < 128; i++)
            sum += bytes[3 + i];
        Require(bytes[2] == 255 - bytes[1] && bytes[131] == (sum & 0xFF));
        return START_CHECKSUM;
    }
    if (length == 1029 && bytes[0] == UPL_STX) {
        uint16_t crc = ReferenceCrc(bytes + 3, 1024);
        Require(bytes[2] == 255 - bytes[1] && bytes[1027] == (crc >> 8) && bytes[1028] == (crc & 0xFF));
        return START_CRC;
    }
    return 0;
}

static bool AllBytesAre(const unsigned char* bytes, uint32_t length, unsigned char value)
{
    for (uint32_t i = 0; i < length; i++)
        if (bytes[i] != value)
            return false;
    return true;
}

static void TakeHeader(const unsigned char* data, uint32_t blockSize, int mode)
{
    // The start request just read decides the header's block size.
    Require(FirstStartEvent(rx.sinceDecision, 2) == mode);
    if (AllBytesAre(data, blockSize, 0)) {
        rx.outstanding = SENT_HEADER;
        rx.files.push_back(ReceivedFile{"", 0, mode, {}, -1});   // -1 marks the closing header
        return;
    }
    // Name, NUL, decimal size, zeros.
    const char* text = reinterpret_cast<const char*>(data);
    size_t nameLength = strnlen(text, blockSize);
    Require(nameLength > 0 && nameLength < blockSize);
    const char* digits = text + nameLength + 1;
    size_t digitCount = strnlen(digits, blockSize - nameLength - 1);
    Require(digitCount > 0 && nameLength + 1 + digitCount < blockSize);
    Require(strspn(digits, "0123456789") == digitCount && (digits[0] != '0'));
    Require(AllBytesAre(data + nameLength + 1 + digitCount, blockSize - nameLength - 1 - digitCount, 0));
    ReceivedFile file{std::string(text, nameLength), static_cast<uint32_t>(strtoul(digits, nullptr, 10)), mode, {}, 0};
    rx.files.push_back(file);
    rx.outstanding = SENT_HEADER;
}

static void TakeDataBlock(const unsigned char* bytes, uint32_t length, int mode)
{
    Require(rx.phaseData && mode == rx.blockMode);
    if (rx.nextBlock == 1 && rx.sendsOfBlock == 0)
        // The data start request came after the header's ACK.
        Require(FirstStartEvent(rx.sinceDecision, 1) == START_CRC || FirstStartEvent(rx.sinceDecision, 1) == START_CHECKSUM);
    Require(bytes[1] == (rx.nextBlock & 0xFF));
    if (rx.sendsOfBlock > 0)
        Require(rx.lastFrame.size() == length && memcmp(rx.lastFrame.data(), bytes, length) == 0);
    rx.sendsOfBlock++;
    Require(rx.sendsOfBlock <= 9);
    rx.lastFrame.assign(bytes, bytes + length);
    rx.outstanding = SENT_DATA;
}

static void TakeWrite(const unsigned char* bytes, uint32_t length)
{
    rx.writes++;
    if (rx.closingAccepted)
        rx.writesAfterClose++;
    if (rx.writes == 1) {
        Require(length == 2 && bytes[0] == 'u' && bytes[1] == '\r');
        rx.commandSeen = 1;
        rx.sinceDecision.clear();
        return;
    }
    int mode = CheckBlock(bytes, length);
    if (mode) {
        if (bytes[1] == 0 && !rx.phaseData)
            TakeHeader(bytes + 3, mode == START_CRC ? 1024 : 128, mode);
        else
            TakeDataBlock(bytes, length, mode);
        return;
    }
    if (length == 1 && bytes[0] == UPL_EOT) {
        // Every block of the file was accepted before its end is announced.
        Require(rx.phaseData && rx.sendsOfBlock == 0 && rx.outstanding == SENT_NOTHING);
        ReceivedFile& file = rx.files.back();
        uint32_t blockSize = rx.blockMode == START_CRC ? 1024 : 128;
        Require(file.data.size() == (file.headerSize + blockSize - 1) / blockSize * blockSize);
        rx.outstanding = SENT_EOT;
        return;
    }
    if (length == 1 && bytes[0] == UPL_CAN) {
        // A refused file: before its header goes out, never within its data.
        Require(!rx.phaseData);
        rx.singleCans++;
        return;
    }
    if ((length == 128 || length == 1024) && AllBytesAre(bytes, length, UPL_CAN)) {
        Require(rx.phaseData && length == (rx.blockMode == START_CRC ? 1024u : 128u));
        rx.cancelBlockSent = 1;
        return;
    }
    Require(false);   // no frame of the protocol looks like this
}

// A file that is still being written while it is sent.
static void ChangeFirstFileLength()
{
    uint32_t size = static_cast<uint32_t>(fileA.bytes.size());
    std::vector<unsigned char> changed(fileA.bytes);
    changed.resize(rx.changeLength < 0 ? size / 2 : size + 1, 0x5A);
    Require(ZemFileWrite(fileA.path.c_str(), changed.data(), static_cast<uint32_t>(changed.size()), ZEM_FILE_CREATE) == 1);
    rx.lengthChanged = 1;
}

static void RestoreFirstFile()
{
    Require(ZemFileWrite(fileA.path.c_str(), fileA.bytes.data(), static_cast<uint32_t>(fileA.bytes.size()),
                         ZEM_FILE_CREATE) == 1);
}

// The first ACK (or CAN, or NAK where it counts) after a frame ends the
// sender's reply wait: the model takes it the same way.
static void TakeReply(unsigned char byte)
{
    if (byte == UPL_CAN)
        rx.canDelivered = 1;
    rx.sinceDecision.push_back(byte);
    FrameKind waiting = rx.outstanding;
    if (waiting == SENT_NOTHING)
        return;
    int decides = byte == UPL_ACK || byte == UPL_CAN || (byte == UPL_NAK && waiting == SENT_DATA);
    if (!decides)
        return;
    rx.outstanding = SENT_NOTHING;
    rx.sinceDecision.clear();
    if (byte != UPL_ACK)
        return;
    ReceivedFile& file = rx.files.back();
    if (waiting == SENT_HEADER) {
        if (file.complete < 0) {
            rx.closingAccepted = 1;
            return;
        }
        if (rx.changeLength && !rx.lengthChanged)
            ChangeFirstFileLength();
        rx.phaseData = 1;
        rx.blockMode = file.mode;
        rx.nextBlock = 1;
        rx.sendsOfBlock = 0;
    } else if (waiting == SENT_DATA) {
        uint32_t blockSize = rx.blockMode == START_CRC ? 1024 : 128;
        file.data.insert(file.data.end(), rx.lastFrame.begin() + 3, rx.lastFrame.begin() + 3 + blockSize);
        rx.nextBlock++;
        rx.sendsOfBlock = 0;
    } else {
        file.complete = 1;
        rx.phaseData = 0;
    }
}

// ---- the serial device

static int DeviceOpen(const char*, SerialHandle* handle)
{
    *handle = 3;
    return 1;
}

static int DeviceGetState(SerialHandle, SerialSavedState*)
{
    return 1;
}

static int DeviceGetTimeouts(SerialHandle, SerialSavedTimeouts*)
{
    return 1;
}

static int DeviceConfigure(SerialHandle, uint32_t)
{
    return 1;
}

static int DeviceSetTimeouts(SerialHandle)
{
    return 1;
}

static void DeviceRestoreState(SerialHandle, const SerialSavedState*)
{
}

static void DeviceRestoreTimeouts(SerialHandle, const SerialSavedTimeouts*)
{
}

static void DevicePurge(SerialHandle)
{
}

static int DeviceWrite(SerialHandle, const void* bytes, uint32_t length, uint32_t* written)
{
    // A failed command or block ends the exchange: nothing more is written.
    Require(!rx.writeFailed);
    auto* data = static_cast<const unsigned char*>(bytes);
    if (rx.writes + 1 == rx.failWriteAt) {
        *written = rx.failShort && length > 0 ? length - 1 : 0;
        // The results of EOT and CAN writes are not looked at: the model
        // takes them as attempted, and the exchange may go on.
        if (rx.writes == 0 || CheckBlock(data, length)) {
            rx.writeFailed = 1;
            rx.writes++;
        } else {
            TakeWrite(data, length);
        }
        return rx.failShort ? 1 : 0;
    }
    TakeWrite(data, length);
    *written = length;
    return 1;
}

static int DeviceRead(SerialHandle, void* buffer, uint32_t max, uint32_t* got)
{
    rx.reads++;
    // Every wait ends by its limit once the script is used up, so the reads
    // are bounded by the script's length and a few waits' worth of silence.
    Require(rx.reads <= rx.replyCount + 24);
    if (rx.cancelAfterRead && rx.reads == rx.cancelAfterRead)
        rx.job->cancelRequested = 1;
    *got = 0;
    if (rx.replyAt >= rx.replyCount || rx.replies[rx.replyAt] == 0xFF || max == 0) {
        if (rx.replyAt < rx.replyCount)
            rx.replyAt++;
        virtualNow += 990;
        return 1;
    }
    unsigned char byte = rx.replies[rx.replyAt++];
    static_cast<unsigned char*>(buffer)[0] = byte;
    *got = 1;
    virtualNow += 1;
    TakeReply(byte);
    return 1;
}

static void DeviceClose(SerialHandle)
{
}

static const SerialDevice fuzzDevice = {
    DeviceOpen, DeviceGetState, DeviceGetTimeouts, DeviceConfigure, DeviceSetTimeouts, DeviceRestoreState,
    DeviceRestoreTimeouts, DevicePurge, DeviceWrite, DeviceRead, DeviceClose, DeviceRead,
};

static void CheckNotice(void*, unsigned id, intptr_t param)
{
    Require(id >= UM_SET_FILE_TEXT && id <= UM_PROGRESS_SET && param >= 0);
}

static const UploadNoticeSink noticeSink = {CheckNotice, nullptr};

// ---- one run

struct BatchPlan {
    std::vector<const BatchFile*> files;   // null: the missing file
    std::string targetDir;
    int expectFileError = 0;
    int expectNoSpace = 0;
    int longDirectory = 0;   // a checksum-mode header cannot hold it
};

static BatchPlan PlanBatch(uint8_t settings, UploadJob* job)
{
    BatchPlan plan;
    plan.files.push_back(&fileA);
    if (settings & 1) {
        static const BatchFile* const seconds[4] = {&fileB, nullptr, &fileEmpty, &fileA};
        plan.files.push_back(seconds[(settings >> 1) & 3]);
    }
    plan.targetDir = (settings & 8) ? "/ROM/prog/" : "/ram/cncprg/";
    if (settings & 16)
        plan.targetDir = "";
    if (settings & 64)
        plan.targetDir = "/ram/" + std::string(116, 'd') + "/";
    uint32_t total = 0;
    char* cursor = job->fileList;
    for (const BatchFile* file : plan.files) {
        const std::string& path = file ? file->path : missingPath;
        memcpy(cursor, path.c_str(), path.size() + 1);
        cursor += path.size() + 1;
        if (!file || file->bytes.empty())
            plan.expectFileError = 1;
        else
            total += static_cast<uint32_t>(file->bytes.size());
    }
    memcpy(job->targetDir, plan.targetDir.c_str(), plan.targetDir.size() + 1);
    plan.longDirectory = (settings & 64) != 0;
    uint32_t budget = 1u << 30;
    if (settings & 32) {
        budget = total - 1;
        plan.expectNoSpace = 1;
    }
    bool flash = plan.targetDir.size() >= 4 && strncasecmp(plan.targetDir.c_str(), "/ROM", 4) == 0;
    job->ramBudget = flash ? 1u << 30 : budget;
    job->flashBudget = flash ? budget : 1u << 30;
    return plan;
}

static std::string HeaderName(const std::string& targetDir, const std::string& baseName)
{
    std::string name = targetDir + baseName;
    for (char& c : name)
        if (c == ' ')
            c = '_';
    return name;
}

static void CheckSuccess(const BatchPlan& plan)
{
    Require(!plan.expectFileError && !plan.expectNoSpace && !rx.writeFailed && !rx.lengthChanged);
    Require(rx.closingAccepted && rx.writesAfterClose == 0 && !rx.cancelBlockSent && rx.singleCans == 0);
    Require(rx.files.size() == plan.files.size() + 1);
    for (size_t i = 0; i < plan.files.size(); i++) {
        const BatchFile& sent = *plan.files[i];
        const ReceivedFile& got = rx.files[i];
        Require(got.complete == 1);
        Require(got.headerName == HeaderName(plan.targetDir, sent.baseName));
        Require(got.headerSize == sent.bytes.size());
        // Every data block was acknowledged: the file arrived whole, zero-filled.
        Require(got.data.size() >= sent.bytes.size());
        Require(memcmp(got.data.data(), sent.bytes.data(), sent.bytes.size()) == 0);
        Require(AllBytesAre(got.data.data() + sent.bytes.size(), got.data.size() - sent.bytes.size(), 0));
    }
    Require(rx.files.back().complete < 0);
}

static void CheckResult(int result, const BatchPlan& plan)
{
    Require(result >= UPL_OK && result <= UPL_NO_SPACE && result != UPL_PORT_BUSY);
    Require(strnlen(UploadFileText, UPLOAD_TEXT_SIZE) < UPLOAD_TEXT_SIZE);
    Require(strnlen(UploadStatusText, UPLOAD_TEXT_SIZE) < UPLOAD_TEXT_SIZE);
    switch (result) {
    case UPL_OK:
        CheckSuccess(plan);
        break;
    case UPL_CANCELLED:
        Require(rx.cancelAfterRead && rx.cancelBlockSent);
        break;
    case UPL_COMMAND_FAILED:
        Require(rx.failWriteAt == 1 && !rx.commandSeen);
        break;
    case UPL_WRITE_FAILED:
        Require(rx.writeFailed);
        break;
    case UPL_FILE_ERROR:
        Require(plan.expectFileError || plan.longDirectory || rx.lengthChanged);
        break;
    case UPL_REMOTE_CANCEL:
        Require(rx.canDelivered);
        break;
    case UPL_TOO_MANY_RETRIES:
        Require(rx.sendsOfBlock == 9);
        break;
    case UPL_NO_SPACE:
        Require(plan.expectNoSpace && rx.singleCans == 1);
        break;
    default:
        break;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static SerialPort* port;
    static UploadJob job;
    if (!port) {
        ZemLibInit();
        Settings.LogFile = 0;
        MakeBatchFiles();
        ZemSetClock(&virtualClock);
        SerialSetDevice(&fuzzDevice);
        UploadSetNoticeSink(&noticeSink);
        port = ZemSerComOpen("fuzz", 115200);
        Require(port != nullptr);
    }
    uint8_t settings[3] = {};
    size_t used = size < 3 ? size : 3;
    memcpy(settings, data, used);

    ClearUploadJob(&job);
    job.port = port;
    BatchPlan plan = PlanBatch(settings[0], &job);

    rx = Receiver{};
    rx.replies = data + used;
    rx.replyCount = size - used;
    rx.failWriteAt = settings[1] & 0x7F;
    rx.failShort = (settings[1] & 0x80) != 0;
    rx.cancelAfterRead = settings[2] & 0x7F;
    if (settings[0] & 0x80)
        rx.changeLength = (settings[2] & 0x80) ? 1 : -1;
    rx.job = &job;

    ZemSerComSetBusy(port, 1);
    int result = UploadBatch(&job);
    ZemSerComSetBusy(port, 0);
    if (rx.lengthChanged)
        RestoreFirstFile();
    CheckResult(result, plan);
    // For looking at what a corpus reaches: FUZZ_SHOW_RESULT=1 prints each result.
    static const int showResult = getenv("FUZZ_SHOW_RESULT") != nullptr;
    if (showResult)
        fprintf(stderr, "result %s after %u writes, %u reads\n", UploadResultName(result), rx.writes, rx.reads);
    return 0;
}
