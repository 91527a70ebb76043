// The sending side of the controller's YMODEM-style batch upload.
#pragma once

#include <cstdint>

struct SerialPort;
struct UploadJob;
struct ZemFindData;

// Control bytes on the line.
constexpr unsigned char UPL_SOH = 0x01;
constexpr unsigned char UPL_STX = 0x02;
constexpr unsigned char UPL_EOT = 0x04;
constexpr unsigned char UPL_ACK = 0x06;
constexpr unsigned char UPL_NAK = 0x15;
constexpr unsigned char UPL_CAN = 0x18;

// Results of UploadBatch (the job's result).
enum {
    UPL_OK = 0,                 // the closing header was acknowledged
    UPL_PORT_BUSY = 1,          // the port was busy when the upload was to start
    UPL_CANCELLED = 2,          // the user cancelled; CAN block, pause and drain sent
    UPL_COMMAND_FAILED = 3,     // "u\r" could not be written
    UPL_NO_ANSWER = 4,          // a start request, ACK or data reply did not come
    UPL_WRITE_FAILED = 5,       // a header or data block could not be written
    UPL_FILE_ERROR = 6,         // a file is missing, empty, unreadable or changed length
    UPL_REMOTE_CANCEL = 7,      // the receiver sent CAN
    UPL_TOO_MANY_RETRIES = 8,   // a data block was refused nine times
    UPL_NO_SPACE = 9,           // the file is larger than its disk's remaining budget
};

// UploadWaitReply results.
enum { REPLY_NONE = 0, REPLY_ACK = 1, REPLY_NAK = 2, REPLY_CAN = 3 };
// UploadWaitStart results; START_CHECKSUM and START_CRC double as the block mode.
enum { START_NONE = 0, START_CHECKSUM = 1, START_CRC = 2, START_CAN = 3 };

struct UploadFrame {
    unsigned char header;        // SOH or STX
    unsigned char number;        // block number modulo 256
    unsigned char complement;    // 255 - number
    unsigned char data[1024];    // 128 used in checksum mode
    unsigned char check[2];      // checksum, or CRC high then low byte
};

constexpr uint32_t UPLOAD_TEXT_SIZE = 256;
extern char UploadFileText[UPLOAD_TEXT_SIZE];
extern char UploadStatusText[UPLOAD_TEXT_SIZE];
// The dialog's way to read a shared text: copies it out whole (at most
// size - 1 characters and a NUL), never half written.
void UploadCopyText(const char* text, char* out, uint32_t size);

int UploadWaitReply(SerialPort* port, uint32_t limit, int ignoreNak);
int UploadWaitStart(SerialPort* port, uint32_t limit, int count);
unsigned char UploadChecksum(const unsigned char* data);
uint16_t UploadCrc16(const unsigned char* data);
int UploadSendBlock(SerialPort* port, UploadFrame* frame, int mode, uint32_t counter);
int UploadBatch(UploadJob* job);

// The sender's rules for what it announces, shared with the console client's
// dry run so that a check before the batch says what the batch would do.
// The size a file's header announces, or 0 when the sender refuses the file
// (not found, a directory, empty, 4 GiB or more).
uint32_t UploadFileSize(const char* path, ZemFindData* found);
// 1 when the directory names the flash disk ("/ROM" in any letter case).
int IsFlashTarget(const char* targetDir);
// Takes size bytes from the budget of the job's target disk; 0, with the
// budget unchanged, when they do not fit.
int TakeUploadBudget(UploadJob* job, uint32_t size);
// Zero-fills the data area and writes directory, name ('_' for spaces), NUL
// and the decimal size; returns the bytes used, NUL and digits included. The
// text up to the NUL is the controller path the file is stored under.
uint32_t BuildHeaderText(unsigned char* data, const char* targetDir, const char* baseName, uint32_t size);

// The sender's reason for a result in one sentence: which file, which block,
// what the controller did or did not answer ("" for UPL_OK); returns out.
struct UploadFailure;
const char* UploadFailureWords(int result, const UploadFailure* failure, char* out, uint32_t size);
