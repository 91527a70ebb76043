// The commands of vtx, the console client on the browser's core. A command is
// one row of the table in vtx_main.cpp and one file vtx_NAME.cpp that defines
// its run function and its usage text.
#pragma once

#include <cstdint>

struct SerialPort;
struct DeviceTree;
struct DirEntry;

// Exit codes of every command.
enum {
    VTX_EXIT_OK = 0,       // done
    VTX_EXIT_FAILED = 1,   // the controller or the port failed; the reason is on stderr
    VTX_EXIT_USAGE = 2,    // the command line was wrong; the usage is on stderr
};

// What the global options chose.
struct VtxOptions {
    const char* port;      // --port, else $VTX_PORT, else the platform's VtxDefaultPort
    uint32_t baud;         // --baud, else 57600
    uint32_t attempts;     // --attempts, else 2 listing attempts
    int defaultPort;       // 1: neither --port nor $VTX_PORT named the device
    const char* machine;   // --machine or -m, else $VTX_MACHINE; null for none (cli/vtx_machines.h)
    unsigned given;        // VTX_GIVEN_... of the settings the command line gave: they win over a machine's
};
enum { VTX_GIVEN_PORT = 1, VTX_GIVEN_BAUD = 2, VTX_GIVEN_ATTEMPTS = 4 };

// The whole program, as main runs it: the global options, then the command.
int VtxMain(int argc, char** argv);

// A command gets its own arguments (argv[0] is the command's name).
using VtxRun = int (*)(int argc, char** argv, const VtxOptions* options);

struct VtxCommand {
    const char* name;
    VtxRun run;
    const char* summary;   // one line for `vtx --help`
    const char* usage;     // the whole text for `vtx COMMAND --help`
};

// Opens the chosen port with the controller's line settings, or says
// "Can't open Serial Port." and why on stderr and returns none.
SerialPort* VtxOpenPort(const VtxOptions* options);

// An open port and the directories read through it, as the browser connects.
struct VtxSession {
    DeviceTree* tree;
    SerialPort* port;
};
// Opens the port and reads the directories; 1 with a loaded tree, else 0
// (the reason already on stderr). VtxDisconnect releases what was made.
int VtxConnectAndRead(const VtxOptions* options, VtxSession* session);
void VtxDisconnect(VtxSession* session);
// Reads the directories again through the open port; 1 with a loaded tree.
int VtxReadAgain(VtxSession* session);
// After a failure on the port: when its device has gone, says so on stderr.
void VtxTellIfGone(const SerialPort* port);
// vtx_controller_path.cpp: paths on the controller, looked up in a tree read.
// A path without a leading "/" is one in the controller's default directory
// (serial/upload_check.h).
constexpr uint32_t VTX_PATH_SIZE = 1024;
// The file, or the directory (a path ending in "/"), listed at path; null when none.
DirEntry* VtxFindFile(DeviceTree* tree, const char* path);
DirEntry* VtxFindDirectory(DeviceTree* tree, const char* path);
// Prints the complaint and the command's usage on stderr; returns VTX_EXIT_USAGE.
int VtxUsageError(const char* command, const char* complaint, const char* detail);
// The one option of ls and ports: 1 with *json set, or 0 after the usage error.
int VtxReadJsonOption(int argc, char** argv, const char* command, int* json);
// Reads a decimal number of 1 to 4294967295; 1 on success.
int VtxParseCount(const char* text, uint32_t* value);

// One pair per command.
int VtxLs(int argc, char** argv, const VtxOptions* options);
extern const char VtxLsUsage[];
// vtx_rm.cpp: delete.
int VtxRm(int argc, char** argv, const VtxOptions* options);
extern const char VtxRmUsage[];
// vtx_remote.cpp: parameter list and tool list.
int VtxParams(int argc, char** argv, const VtxOptions* options);
extern const char VtxParamsUsage[];
int VtxTools(int argc, char** argv, const VtxOptions* options);
extern const char VtxToolsUsage[];
// vtx_put.cpp: the upload.
int VtxPut(int argc, char** argv, const VtxOptions* options);
extern const char VtxPutUsage[];
// vtx_put_plan.cpp: its checks; each names what is wrong on stderr and returns 0.
struct UploadJob;
// Every PC file of the list exists, is a readable regular file of 1 byte to
// under 4 GiB, and is named without wildcards.
int VtxCheckLocalFiles(const UploadJob* job);
// The batch fits the free space of the tree by the sender's rules and every
// target directory is listed; with print, what would be sent goes to stdout.
int VtxPlanUpload(const UploadJob* job, DeviceTree* tree, int print);
// Every file is listed in its target directory, under the name the
// controller stores, with its size (serial/upload_check.h has the rules).
int VtxVerifyUpload(const UploadJob* job, DeviceTree* tree);
// vtx_ports.cpp: the serial devices of this machine.
int VtxPorts(int argc, char** argv, const VtxOptions* options);
extern const char VtxPortsUsage[];   // in the platform's vtx_port_*.cpp
// vtx_machines.cpp: the machines file's machines, and whether each answers.
int VtxMachines(int argc, char** argv, const VtxOptions* options);
extern const char VtxMachinesUsage[];
// vtx_backup.cpp: backups of machines into folders, and what changed.
int VtxBackup(int argc, char** argv, const VtxOptions* options);
extern const char VtxBackupUsage[];
// vtx_diff.cpp: what changed between two backup folders.
int VtxDiff(int argc, char** argv, const VtxOptions* options);
extern const char VtxDiffUsage[];
