// The simulated controller: a pseudo-terminal that answers the controller's
// command texts from a folder on disk and receives batch uploads into it.
// It shares no code with the program's own sender, so that a misreading of
// the protocol on one side is not mirrored on the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ---- Options ---------------------------------------------------------------

struct SimOptions {
    std::string root;            // host folder whose top-level folders are the controller's
    std::string link;            // symlink made to the pty slave, empty for none
    std::string params;          // parameter list file
    std::string tools;           // tool list file
    std::string control;         // file of fault specs read before each command
    uint64_t ramSize;            // capacity of the RAM disk ("ram")
    uint64_t flashSize;          // capacity of the flash disk ("ROM")
    uint32_t baud;               // 0: as fast as the pty allows
    uint32_t silenceMs;          // inactivity that aborts an upload
    int crcMode;                 // 1: ask for CRC and 1024-byte blocks, 0: checksum
    int onceUpload;              // leave after the first upload session
    int receiveNow;              // start a receiver at once, without "u\r"
    int verbose;                 // trace commands and frames on stderr
};

extern SimOptions Options;

// Fills Options from the command line; 0 = run, 1 = help shown, 2 = bad usage.
int ParseSimOptions(int argc, char** argv);

// ---- Clock and trace -------------------------------------------------------

uint64_t SimNowUs();
void SimSleepMs(uint32_t ms);
void SimSleepUntilUs(uint64_t when);
void SimTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Set by SIGINT/SIGTERM; every wait looks at it.
extern volatile int SimStopRequested;

// ---- The line (pseudo-terminal) --------------------------------------------

// Results of LineReadByte besides a byte value 0..255.
constexpr int LINE_TIMEOUT = -1;   // nothing arrived in time
constexpr int LINE_STOP = -2;      // a signal asked the simulator to end, or the line hung up

int LineOpen();                        // 1 = pty ready, path in LineSlavePath
void LineClose();
const char* LineSlavePath();
int LineReadByte(uint32_t timeoutMs);
int LineWrite(const void* bytes, size_t count);   // 1 = all written
int LineWriteText(const char* text);
// Throws input away until the line has been quiet for quietMs (at most maxMs).
void LineDrain(uint32_t quietMs, uint32_t maxMs);
// Waits (at most maxMs) until the client has read what we wrote.
void LineLinger(uint32_t maxMs);
// Closes the pty for good, after the last answer was read: the client's next
// write fails.
void LineHangUp();
int LineIsOpen();                      // 0 once the line was closed
// The speed in bit/s that the client set on the terminal (0 when unknown);
// the pacing of --baud does not depend on it.
uint32_t LineClientSpeed();
uint32_t TerminalSpeed(int fd);   // sim_line_speed_linux.cpp

// ---- Storage ---------------------------------------------------------------

enum {
    DISK_NONE = 0,    // a top-level folder that is neither disk: read-only
    DISK_RAM = 1,     // "ram"
    DISK_FLASH = 2,   // "ROM"
};

// A controller path resolved to the host: the folder that holds it and its name.
struct SimPath {
    std::string hostDir;    // host path of the parent directory
    std::string name;       // last component
    int disk;               // DISK_ of the top-level folder
};

int PrepareStorage();
const std::string& StorageRoot();   // the root's real path on the host
// Splits a controller path into checked components; relative paths start in
// /ram/cncprg/. 1 = the parent folders exist as real directories inside root.
int ResolveControllerPath(const std::string& path, SimPath* out);
uint64_t DiskBytesUsed(int disk);
uint64_t DiskBytesFree(int disk);
// The answer to "l\r\n".
std::string BuildListing();
// One answer line for "d PATH".
std::string DeleteControllerFile(const std::string& path);
// Hidden name of an upload in progress; removed at start-up if left behind.
std::string UploadTempName();
int IsUploadTempName(const char* name);

// ---- Faults ----------------------------------------------------------------

enum {
    FAULT_SILENT,              // silent:X[:N]
    FAULT_LISTING_INVALID,     // listing-invalid[:N]
    FAULT_LISTING_GAP,         // listing-gap:MS
    FAULT_NO_TOOLS,            // no-tools
    FAULT_SLOW,                // slow:MS
    FAULT_HANGUP_AFTER,        // hangup-after:N
    FAULT_CAN_START,           // can-start
    FAULT_SILENT_HEADER,       // silent-header
    FAULT_CAN_HEADER,          // can-header
    FAULT_SILENT_DATA_START,   // silent-data-start
    FAULT_NAK,                 // nak:K:N
    FAULT_CAN_BLOCK,           // can-block:K
    FAULT_SILENT_FROM,         // silent-from:K
    FAULT_STALL_FROM,          // stall-from:K[:S]
    FAULT_HANGUP_BLOCK,        // hangup-block:K
    FAULT_SILENT_EOT,          // silent-eot
    FAULT_SILENT_CLOSE,        // silent-close
    FAULT_NO_SPACE,            // no-space
    FAULT_ACK_DELAY,           // ack-delay:MS
    FAULT_STORE_SHORT,         // store-short:N
    FAULT_PAUSE,               // pause:X:B:MS[:N]
    FAULT_BAD_THEN_TALK,       // bad-then-talk[:N]
    FAULT_LONG,                // long:X[:N]
    FAULT_ENDLESS,             // endless:X:B[:N]
    FAULT_NOISE,               // noise:X:L[:N]
    FAULT_NOISE_LINES,         // noise-lines:X:L[:N]
    FAULT_HANGUP_AT,           // hangup-at:X:B[:N]
    FAULT_TWICE,               // twice:X[:N]
    FAULT_TALK_AFTER,          // talk-after:X:MS[:N]
    FAULT_KIND_COUNT
};

struct FaultRule {
    int kind;
    char letter;     // the command letter X of the forms that name one
    uint32_t a;      // first number; with a letter, the count N (0 = "every")
    uint32_t b;      // second number; with a letter, the byte B or the length L
    uint32_t c;      // with a letter, the milliseconds MS
};

// Adds one fault given on the command line; 0 when it is not understood.
int AddCommandLineFault(const char* written);
// Re-reads the control file; a change of its text restarts the counts.
void ReloadFaults();
// Counts one command and says whether a counted fault hits this one.
uint32_t CountCommand(char letter);
// Commands of every kind counted so far.
uint32_t CountedCommands();
// The first active rule of a kind, or null; every active rule of a kind.
const FaultRule* FindFault(int kind);
std::vector<const FaultRule*> FaultsOfKind(int kind);
// 1 when a rule of the kind is active for the given count (a = 0 or a = count).
int FaultHits(int kind, uint32_t count);
int FaultHitsCommand(char letter, uint32_t count);
// The active rules of a kind that name the letter and hit its count-th answer.
std::vector<const FaultRule*> AnswerFaults(int kind, char letter, uint32_t count);
void PrintFaultHelp();

// ---- Commands and upload ---------------------------------------------------

// Serves commands until a stop, a hang-up or (with --once-upload) the first
// upload; the exit code of the process.
int ServeCommands();

// Results of one upload session.
enum {
    RECEIVE_OK = 0,          // the closing header came: every file is stored
    RECEIVE_CANCELLED = 1,   // the sender cancelled
    RECEIVE_REFUSED = 2,     // we refused a file or a block sequence
    RECEIVE_SILENCE = 3,     // the sender went quiet
    RECEIVE_FAULT = 4,       // a configured fault ended the session
    RECEIVE_STOPPED = 5,     // the simulator was asked to end
};

int ReceiveBatch();

// Results of sending one answer.
enum {
    ANSWER_SENT = 0,       // the controller goes on serving
    ANSWER_HUNG_UP = 1,    // a fault closed the terminal
    ANSWER_TALKED = 2,     // a fault talked endlessly until the simulator was stopped
};

// Writes the count-th answer to the command letter as the faults shape it:
// noise in front, pauses inside, endless talk or a hang-up cutting it off.
int SendAnswer(char letter, uint32_t count, const std::string& answer);
