// The batch sender against a receiver whose every answer comes from the fuzz
// input, on a virtual clock. Every frame the sender writes is checked on its
// own (layout, checksum or CRC computed here independently, block numbering,
// at most nine sends of a block), and each result against what the line saw.
//
// Input: three setting bytes, then one byte per read of the sender (0xFF is a
// read that times out; past the end of the input the line is silent).
//   byte 0: bit 0 a second file; bits 1-2 which one (another file, a missing
//           one, an empty one, the first file again); bit 3 the flash disk;
//           bit 4 no directory; bit 5 a budget one byte short; bit 6 a
//           directory too long for a checksum-mode header; bit 7 the first
//           file changes length once its header is on the line
//   byte 1: the write that fails (1-based, 0 none); bit 7 makes it end short
//   byte 2: bits 0-6 the read after which the user asks for a cancel
//           (1-based, 0 none); bit 7 the change is a growth, not a cut
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "app/settings.h"
#include "fuzz/fuzz_require.h"
#include "lib/zem_lib.h"
#include "lib/zem_time.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "serial/upload_job.h"
#include "serial/upload_notice.h"
#include "serial/upload_protocol.h"

using Bytes = std::vector<unsigned char>;

struct BatchFile {
    std::string path, baseName;
    Bytes bytes;
};
// One CRC block or two checksum blocks; two CRC or eleven checksum blocks; empty.
static BatchFile fileA{"", "part a.nc", Bytes(200)}, fileB{"", "b.nc", Bytes(1300)}, fileEmpty{"", "empty.nc", {}};
static std::string missingPath;

static void WriteFile(const BatchFile& file, const Bytes& bytes)
{
    FILE* out = fopen(file.path.c_str(), "wb");
    Require(out && fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() && fclose(out) == 0);
}

static void MakeBatchFiles()
{
    std::string folder = ScratchFolder("fuzz_sender");
    for (BatchFile* file : {&fileA, &fileB, &fileEmpty}) {
        file->path = folder + "/" + file->baseName;
        for (size_t i = 0; i < file->bytes.size(); i++)
            file->bytes[i] = static_cast<unsigned char>(i * file->baseName.size() + (i >> 7));
        WriteFile(*file, file->bytes);
    }
    missingPath = folder + "/missing.nc";
}

static uint32_t virtualNow;
static const ZemClock virtualClock = {[](void*) { return virtualNow; }, [](void*, uint32_t ms) { virtualNow += ms; },
                                      nullptr};

// What the line saw in one run.
struct Line {
    const uint8_t *replies;
    size_t replyCount, replyAt;
    uint32_t failWriteAt, cancelAfterRead, writes, reads, acks;
    int failShort, changeLength, lengthChanged, writeFailed, canDelivered, cancelBlock, singleCans;
    UploadJob* job;
    std::vector<std::tuple<std::string, uint32_t, uint32_t>> headers;   // name ("" closes), size, block size
    std::vector<Bytes> data;                                 // per header, the data areas of new blocks
    Bytes lastBlock;
    uint32_t sendsOfBlock, blockSize;
    bool lastWasClosing, inFile;   // inFile: a header went out, its EOT not yet
};
static Line line;

static uint16_t ReferenceCrc(const unsigned char* data, uint32_t length)
{
    uint32_t reg = 0;   // a shift register over the data and two zero bytes
    for (uint32_t i = 0; i < length + 2; i++)
        for (int bit = 7; bit >= 0; bit--) {
            uint32_t out = reg & 0x8000;
            reg = ((reg << 1) | (((i < length ? data[i] : 0) >> bit) & 1)) & 0xFFFF;
            reg ^= out ? 0x1021 : 0;
        }
    return static_cast<uint16_t>(reg);
}

// The data size of a well-formed block, or 0.
static uint32_t CheckBlock(const unsigned char* bytes, uint32_t length)
{
    uint32_t size = length == 132 && bytes[0] == UPL_SOH ? 128 : length == 1029 && bytes[0] == UPL_STX ? 1024 : 0;
    if (!size)
        return 0;
    Require(bytes[2] == 255 - bytes[1]);
    unsigned sum = 0;
    for (uint32_t i = 0; i < size; i++)
        sum += bytes[3 + i];
    uint16_t crc = size == 1024 ? ReferenceCrc(bytes + 3, 1024) : 0;
    Require(size == 128 ? bytes[131] == (sum & 0xFF) : bytes[1027] == (crc >> 8) && bytes[1028] == (crc & 0xFF));
    return size;
}

// A header: name, NUL, decimal size, zeros; or all zeros to close the batch.
static void TakeHeader(const char* text, uint32_t size)
{
    size_t nameLength = strnlen(text, size), digits = strnlen(text + nameLength + 1, size - nameLength - 1);
    line.lastWasClosing = nameLength == 0;
    line.inFile = nameLength > 0;
    Require(nameLength < size && (nameLength == 0 || (digits > 0 && nameLength + 1 + digits < size)));
    for (size_t i = nameLength ? nameLength + 1 + digits : 0; i < size; i++)
        Require(text[i] == 0);
    Require(strspn(text + nameLength + 1, "0123456789") == digits && text[nameLength + 1] != '0');
    line.headers.emplace_back(std::string(text, nameLength), strtoul(text + nameLength + 1, nullptr, 10), size);
    line.data.emplace_back();
    line.lastBlock.clear();
    if (line.changeLength && !line.lengthChanged) {   // a file still being written while it is sent
        Bytes changed(fileA.bytes);
        changed.resize(line.changeLength < 0 ? changed.size() / 2 : changed.size() + 1, 0x5A);
        WriteFile(fileA, changed);
        line.lengthChanged = 1;
    }
}

static void TakeWrite(const unsigned char* bytes, uint32_t length)
{
    if (++line.writes == 1) {
        Require(length == 2 && bytes[0] == 'u' && bytes[1] == '\r');
        return;
    }
    line.lastWasClosing = false;
    if (uint32_t size = CheckBlock(bytes, length)) {
        if (!line.inFile) {
            line.blockSize = size;
            return TakeHeader(reinterpret_cast<const char*>(bytes + 3), size);
        }
        // A data block is the last one again, or the next one (the first is 1).
        Bytes block(bytes, bytes + length);
        bool again = block == line.lastBlock;
        Require(size == line.blockSize && (again || bytes[1] == ((line.data.back().size() / size + 1) & 0xFF)));
        line.sendsOfBlock = again ? line.sendsOfBlock + 1 : 1;
        Require(line.sendsOfBlock <= 9);
        if (!again)
            line.data.back().insert(line.data.back().end(), bytes + 3, bytes + 3 + size);
        line.lastBlock = block;
    } else if (length == 1 && bytes[0] == UPL_EOT) {
        Require(line.inFile);
        line.inFile = false;
        line.data.back().push_back(UPL_EOT);   // marks the file's end
    } else if (length == 1 && bytes[0] == UPL_CAN) {
        Require(!line.inFile);
        line.singleCans++;                      // a refused file, before its header
    } else {
        Require(line.inFile && length == line.blockSize && bytes[0] == UPL_CAN &&
                memcmp(bytes, bytes + 1, length - 1) == 0);
        line.cancelBlock = 1;
    }
}

static int DeviceWrite(SerialHandle, const void* bytes, uint32_t length, uint32_t* written)
{
    Require(!line.writeFailed);   // a failed command or block ends the exchange
    auto* data = static_cast<const unsigned char*>(bytes);
    *written = length;
    if (line.writes + 1 != line.failWriteAt) {
        TakeWrite(data, length);
        return 1;
    }
    *written = line.failShort && length > 0 ? length - 1 : 0;
    // The results of EOT and CAN writes are not looked at: the exchange may go on.
    if (line.writes == 0 || CheckBlock(data, length))
        line.writeFailed = ++line.writes;
    else
        TakeWrite(data, length);
    return line.failShort;
}

static int DeviceRead(SerialHandle, void* buffer, uint32_t max, uint32_t* got)
{
    // Every wait ends by its limit once the script is used up.
    Require(++line.reads <= line.replyCount + 24);
    if (line.reads == line.cancelAfterRead)
        line.job->cancelRequested = 1;
    *got = 0;
    if (line.replyAt >= line.replyCount || line.replies[line.replyAt] == 0xFF || max == 0) {
        line.replyAt += line.replyAt < line.replyCount;
        virtualNow += 990;
        return 1;
    }
    unsigned char byte = static_cast<unsigned char*>(buffer)[0] = line.replies[line.replyAt++];
    *got = 1;
    virtualNow += 1;
    line.acks += byte == UPL_ACK;
    line.canDelivered |= byte == UPL_CAN;
    return 1;
}

static const SerialDevice fuzzDevice = {
    [](const char*, SerialHandle* handle) { return *handle = 3, 1; }, [](SerialHandle, SerialSavedState*) { return 1; },
    [](SerialHandle, SerialSavedTimeouts*) { return 1; }, [](SerialHandle, uint32_t) { return 1; },
    [](SerialHandle) { return 1; }, [](SerialHandle, const SerialSavedState*) {},
    [](SerialHandle, const SerialSavedTimeouts*) {}, [](SerialHandle) {}, DeviceWrite, DeviceRead, [](SerialHandle) {},
    DeviceRead};
static const UploadNoticeSink noticeSink = {
    [](void*, unsigned id, intptr_t param) { Require(id >= UM_SET_FILE_TEXT && id <= UM_PROGRESS_SET && param >= 0); },
    nullptr};

// On success every file arrived whole under its target name, zero-filled to
// the block, and the closing header was the last frame; every header, block
// and EOT took an ACK.
static void CheckSuccess(const std::vector<const BatchFile*>& files, const std::string& dir)
{
    Require(!line.lengthChanged && !line.cancelBlock && line.singleCans == 0 && line.lastWasClosing);
    Require(line.headers.size() == files.size() + 1 && std::get<0>(line.headers.back()).empty());
    uint32_t frames = 1;
    for (size_t i = 0; i < files.size(); i++) {
        std::string name = dir + files[i]->baseName;
        std::replace(name.begin(), name.end(), ' ', '_');
        const Bytes& sent = files[i]->bytes;
        Bytes arrived = line.data[i];
        auto [headerName, headerSize, block] = line.headers[i];
        Require(headerName == name && headerSize == sent.size());
        Require(!arrived.empty() && arrived.back() == UPL_EOT && (arrived.size() - 1) % block == 0);
        arrived.pop_back();
        frames += 2 + arrived.size() / block;
        Require(arrived.size() >= sent.size() && arrived.size() < sent.size() + block);
        Require(std::equal(sent.begin(), sent.end(), arrived.begin()));
        Require(std::count(arrived.begin() + sent.size(), arrived.end(), 0) == long(arrived.size() - sent.size()));
    }
    Require(line.acks >= frames);
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
        Require((port = ZemSerComOpen("fuzz", 115200)) != nullptr);
    }
    uint8_t s[3] = {};
    size_t used = std::min<size_t>(size, 3);
    memcpy(s, data, used);
    ClearUploadJob(&job);
    job.port = port;
    std::vector<const BatchFile*> files = {&fileA};
    const BatchFile* const seconds[4] = {&fileB, nullptr, &fileEmpty, &fileA};
    if (s[0] & 1)
        files.push_back(seconds[(s[0] >> 1) & 3]);
    std::string dir = s[0] & 64 ? "/ram/" + std::string(116, 'd') + "/"
                      : s[0] & 16 ? "" : s[0] & 8 ? "/ROM/prog/" : "/ram/cncprg/";
    bool fileError = false;
    uint32_t total = 0;
    char* cursor = job.fileList;
    for (const BatchFile* file : files) {
        const std::string& path = file ? file->path : missingPath;
        cursor = static_cast<char*>(memcpy(cursor, path.c_str(), path.size() + 1)) + path.size() + 1;
        fileError |= !file || file->bytes.empty();
        total += file ? static_cast<uint32_t>(file->bytes.size()) : 0;
    }
    memcpy(job.targetDir, dir.c_str(), dir.size() + 1);
    job.ramBudget = job.flashBudget = 1u << 30;
    (strncasecmp(dir.c_str(), "/ROM", 4) == 0 ? job.flashBudget : job.ramBudget) = s[0] & 32 ? total - 1 : 1u << 30;

    line = Line{};
    line.replies = data + used;
    line.replyCount = size - used;
    line.failWriteAt = s[1] & 0x7F;
    line.failShort = s[1] >> 7;
    line.cancelAfterRead = s[2] & 0x7F;
    line.changeLength = s[0] & 0x80 ? (s[2] & 0x80 ? 1 : -1) : 0;
    line.job = &job;
    ZemSerComSetBusy(port, 1);
    int result = UploadBatch(&job);
    ZemSerComSetBusy(port, 0);
    if (line.lengthChanged)
        WriteFile(fileA, fileA.bytes);

    Require(result >= UPL_OK && result <= UPL_NO_SPACE && result != UPL_PORT_BUSY);
    Require(strnlen(UploadFileText, UPLOAD_TEXT_SIZE) < UPLOAD_TEXT_SIZE);
    Require(strnlen(UploadStatusText, UPLOAD_TEXT_SIZE) < UPLOAD_TEXT_SIZE);
    if (result == UPL_OK)
        CheckSuccess(files, dir);
    Require(result != UPL_OK || (!fileError && !(s[0] & 32) && !line.writeFailed));
    Require(result != UPL_CANCELLED || (line.cancelAfterRead && line.cancelBlock));
    Require(result != UPL_COMMAND_FAILED || line.writeFailed == 1);
    Require(result != UPL_WRITE_FAILED || line.writeFailed);
    Require(result != UPL_FILE_ERROR || fileError || (s[0] & 64) || line.lengthChanged);
    Require(result != UPL_REMOTE_CANCEL || line.canDelivered);
    Require(result != UPL_TOO_MANY_RETRIES || line.sendsOfBlock == 9);
    Require(result != UPL_NO_SPACE || ((s[0] & 32) && line.singleCans == 1));
    return 0;
}
