// The batch sender against answers from the input: the exchange ends, nothing goes out after a failed
// command or block, texts stay terminated, every result has its cause. Byte 0: bit 0 a second file, bits 1-2
// which, bit 3 flash, bit 5 a budget one byte short; byte 1 the write that fails; byte 2 the read after which
// the user cancels; then one byte per read (0xFF a time-out; past the end silence).
#include <algorithm>

#include "fuzz/fuzz_require.h"
#include "lib/zem_lib.h"
#include "lib/zem_time.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "serial/upload_file_list.h"
#include "serial/upload_job.h"
#include "serial/upload_notice.h"
#include "serial/upload_protocol.h"

static uint32_t virtualNow;
static const ZemClock virtualClock = {[](void*) { return virtualNow; }, [](void*, uint32_t ms) { virtualNow += ms; },
                                      nullptr};
static struct {
    const uint8_t* replies;
    size_t count, at;
    uint32_t failWriteAt, cancelAfter, writes, reads;
    int writeFailed, canDelivered;
    UploadJob* job;
} line;

static int DeviceWrite(SerialHandle, const void*, uint32_t length, uint32_t* written)
{
    Require(!line.writeFailed);
    *written = length;
    if (++line.writes != line.failWriteAt)
        return 1;
    // A failed EOT or CAN is not looked at; a failed command or block ends the exchange.
    line.writeFailed = line.writes == 1 || length == 132 || length == 1029 ? static_cast<int>(line.writes) : 0;
    *written = 0;
    return 0;
}

static int DeviceRead(SerialHandle, void* buffer, uint32_t max, uint32_t* got)
{
    Require(++line.reads <= line.count + 24);   // every wait ends by its limit once the script is used up
    if (line.reads == line.cancelAfter)
        line.job->cancelRequested = 1;
    uint8_t byte = line.at < line.count ? line.replies[line.at++] : 0xFF;
    if ((*got = byte != 0xFF && max)) {
        *static_cast<uint8_t*>(buffer) = byte;
        line.canDelivered |= byte == UPL_CAN;
    }
    virtualNow += *got ? 1 : 990;
    return 1;
}

static const SerialDevice fuzzDevice = {
    [](const char*, SerialHandle* handle) { *handle = 3; return 1; }, [](SerialHandle, SerialSavedState*) { return 1; },
    [](SerialHandle, SerialSavedTimeouts*) { return 1; }, [](SerialHandle, uint32_t) { return 1; },
    [](SerialHandle) { return 1; }, [](SerialHandle, const SerialSavedState*) {},
    [](SerialHandle, const SerialSavedTimeouts*) {}, [](SerialHandle) {}, DeviceWrite, DeviceRead, [](SerialHandle) {},
    DeviceRead, nullptr, [](SerialHandle) { return 0; }};
static const UploadNoticeSink quietSink = {[](void*, unsigned, intptr_t) {}, nullptr};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static SerialPort* port;
    static UploadJob job;
    static std::string paths[4];   // 200 bytes, 1300 bytes, missing, empty
    if (!port) {
        ZemLibInit();
        std::string folder = ScratchFolder("fuzz_sender");
        const char* names[4] = {"/part a.nc", "/b.nc", "/missing.nc", "/empty.nc"};
        for (int i = 0; i < 4; i++) {
            paths[i] = folder + names[i];
            std::string bytes(i == 0 ? 200 : i == 1 ? 1300 : 0, 'x');
            Require(i == 2 || ZemFileWrite(paths[i].c_str(), bytes.data(), bytes.size(), ZEM_FILE_CREATE));
        }
        ZemSetClock(&virtualClock);
        SerialSetDevice(&fuzzDevice);
        UploadSetNoticeSink(&quietSink);
        Require((port = ZemSerComOpen("fuzz", 115200)) != nullptr);
    }
    uint8_t s[3] = {};
    size_t used = std::min<size_t>(size, 3);
    memcpy(s, data, used);
    ClearUploadJob(&job);
    job.port = port;
    const int second[4] = {1, 2, 3, 0};
    int files[2] = {0, second[(s[0] >> 1) & 3]}, count = 1 + (s[0] & 1);
    bool fileError = count == 2 && (files[1] == 2 || files[1] == 3);
    uint32_t listed = 0;
    for (int i = 0; i < count; i++)
        AppendFileName(job.fileList, FILE_LIST_ROOM, &listed, paths[files[i]].c_str());
    strcpy(job.targetDir, s[0] & 8 ? "/ROM/prog/" : "/ram/cncprg/");
    job.ramBudget = job.flashBudget = 1u << 30;
    if (s[0] & 32)
        (s[0] & 8 ? job.flashBudget : job.ramBudget) =
            200 + (count == 2 && files[1] < 2 ? files[1] ? 1300 : 200 : 0) - 1;

    line = {data + used, size - used, 0, s[1], s[2], 0, 0, 0, 0, &job};
    ZemSerComSetBusy(port, 1);
    int result = UploadBatch(&job);
    ZemSerComSetBusy(port, 0);

    Require(result >= UPL_OK);
    Require(result <= UPL_NO_SPACE);
    Require(result != UPL_PORT_BUSY);
    Require(strnlen(UploadFileText, UPLOAD_TEXT_SIZE) < UPLOAD_TEXT_SIZE);
    Require(strnlen(UploadStatusText, UPLOAD_TEXT_SIZE) < UPLOAD_TEXT_SIZE);
    // A success only with every file readable, the room for them and every write done.
    Require(result != UPL_OK || !fileError);
    Require(result != UPL_OK || !(s[0] & 32));
    Require(result != UPL_OK || !line.writeFailed);
    Require(result != UPL_CANCELLED || job.cancelRequested);
    Require(result != UPL_COMMAND_FAILED || line.writeFailed == 1);
    Require(result != UPL_WRITE_FAILED || line.writeFailed > 1);
    Require(result != UPL_FILE_ERROR || fileError);
    Require(result != UPL_REMOTE_CANCEL || line.canDelivered);
    Require(result != UPL_NO_SPACE || (s[0] & 32));
    // Every failure has its stage and a reason in words; a success has neither.
    char words[512];
    UploadFailureWords(result, &job.failure, words, sizeof(words));
    Require((result == UPL_OK) == (job.failure.stage == UPLOAD_STAGE_NONE));
    Require((result == UPL_OK) == (words[0] == 0));
    Require(strnlen(job.failure.file, UPLOAD_FAILURE_NAME_SIZE) < UPLOAD_FAILURE_NAME_SIZE);
    return 0;
}
