// A shop's machines: the machines file that names each controller with its
// line settings, and what `--machine NAME` takes from it.
//   [lathe]
//   port = /dev/ttyUSB0
//   baud = 57600
//   attempts = 2
//   note = Lathe in hall 2
#pragma once

#include <cstdint>

#include "lib/zem_lib.h"

struct VtxOptions;

// A machine's name is a folder name of its backups.
constexpr uint32_t VTX_MACHINE_NAME_SIZE = 64;
constexpr uint32_t VTX_MACHINE_PORT_SIZE = 260;
constexpr uint32_t VTX_MACHINE_NOTE_SIZE = 256;
constexpr uint32_t VTX_MACHINES_PATH_SIZE = 1024;

struct VtxMachine {
    char name[VTX_MACHINE_NAME_SIZE];
    char port[VTX_MACHINE_PORT_SIZE];
    uint32_t baud;       // 57600 when the section gives none
    uint32_t attempts;   // 2 when the section gives none
    char note[VTX_MACHINE_NOTE_SIZE];
    uint32_t line;       // of its section in the file
};

// The machines of one file, in the file's order.
struct VtxMachinesFile {
    char path[VTX_MACHINES_PATH_SIZE];
    EntryArray* machines;   // of VtxMachine
};

// The machine chosen by --machine, -m or $VTX_MACHINE, once VtxTakeMachine
// took it; its name is empty when none was chosen.
extern VtxMachine VtxMachineTaken;

// Finds the machines file ($VTX_MACHINES, else the platform's places) and
// reads it whole; 1, or 0 after saying on stderr which file, which line and
// what is wrong. VtxCloseMachines releases what was read.
int VtxReadMachines(VtxMachinesFile* file);
void VtxCloseMachines(VtxMachinesFile* file);
inline uint32_t VtxMachineCount(const VtxMachinesFile* file)
{
    return file->machines ? file->machines->count : 0;
}
inline VtxMachine* VtxMachineAt(const VtxMachinesFile* file, uint32_t index)
{
    return static_cast<VtxMachine*>(ZemArrayAt(file->machines, index));
}

// The machine's settings in the options, except those the command line gave.
void VtxApplyMachine(VtxOptions* options, const VtxMachine* machine);
// When a machine was chosen: reads the file and applies it; 1, or 0 after
// the usage error on stderr. Without a machine: 1 and nothing read.
int VtxTakeMachine(VtxOptions* options);

// vtx_machines_places_*.cpp: where the platform looks for the file when
// $VTX_MACHINES names none, in order; returns how many places were written.
int VtxMachinesFilePlaces(char places[][VTX_MACHINES_PATH_SIZE], int most);
// The lines of the usage text that name those places.
extern const char VtxMachinesFileHelp[];

// vtx_machine_session.cpp: one machine after another on the line. The core's
// problems still go to stderr, and the last one is kept as its reason.
struct VtxSession;
// Opens the machine's port and reads its directories with the options'
// attempts; 1, or 0 with the reason in one sentence (as on stderr).
int VtxReadMachineListing(const VtxOptions* options, VtxSession* session, char* reason, uint32_t size);

// vtx_whole_file.cpp: a PC file's whole text, NUL-terminated, in a block
// that the caller frees with ZemMemFreeAs; 1, or 0 with *why in words.
int VtxReadWholeFile(const char* path, uint32_t most, char** text, uint32_t* length, const char** why);
