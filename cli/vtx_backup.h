// Backups of a machine: one folder DIR/NAME/YYYY-MM-DDTHH-MM-SS (UTC) a
// backup, holding listing.json (as `vtx ls --json` writes it), params.txt
// and tools.txt (as `vtx params -o` and `vtx tools -o` write them) and
// backup.json, and what changed from one backup to another.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "cli/vtx_machines.h"
#include "lib/zem_lib.h"

struct VtxOptions;

constexpr uint32_t VTX_FOLDER_PATH_SIZE = 1024;
// "YYYY-MM-DDTHH-MM-SS", and "-N" when a backup of that second is there.
constexpr uint32_t VTX_STAMP_LENGTH = 19;

extern const char VtxListingFile[];   // "listing.json"
extern const char VtxParamsFile[];    // "params.txt"
extern const char VtxToolsFile[];     // "tools.txt"
extern const char VtxBackupFile[];    // "backup.json"

// The outcome of one machine's backup.
struct VtxBackupResult {
    int whole;                             // 1: the folder is in place with everything
    int hasTools;                          // 0: the controller holds no tool list
    char folder[VTX_FOLDER_PATH_SIZE];     // the new backup
    char previous[VTX_FOLDER_PATH_SIZE];   // the backup before it, empty when none
    char reason[256];                      // why it failed, one sentence
};

// vtx_backup_make.cpp: fetches the machine's listing and lists through the
// options' port into a new folder under outputDir; never a half backup. A
// Ctrl-C sets VtxBackupInterrupted: the backup stops after its current step
// and removes what it made.
extern std::atomic<int> VtxBackupInterrupted;
void VtxMakeBackup(const VtxMachine* machine, const VtxOptions* options, const char* outputDir,
                   VtxBackupResult* result);
// 1 when name is a backup folder's name, with *suffix its N (1 without one):
// the stamp, then N, sort backups by time.
int VtxIsBackupName(const char* name, uint32_t* suffix);
// "FOLDER/NAME" into path; 1, or 0 when it does not fit.
int VtxJoinPath(char* path, uint32_t size, const char* folder, const char* name);

// vtx_backup_compare.cpp: two backups read back and compared.
struct VtxLineChange {
    const char* before;   // null for a line added
    const char* after;    // null for a line removed
};
struct VtxProgramChange {
    char path[VTX_FOLDER_PATH_SIZE];   // the controller path; a directory's ends in "/"
    int64_t before;                    // size, -1 when it was not there
    int64_t after;                     // size, -1 when it is gone
};
// What changed in one list: counts, and the first VTX_CHANGES_SHOWN changes.
constexpr uint32_t VTX_CHANGES_SHOWN = 20;
struct VtxListChanges {
    uint32_t added, removed, changed;
    uint32_t shown;
    VtxLineChange first[VTX_CHANGES_SHOWN];
};
struct VtxProgramChanges {
    uint32_t added, removed, changed;
    uint32_t shown;
    VtxProgramChange first[VTX_CHANGES_SHOWN];
};
// One backup as read back.
struct VtxBackupContent {
    char* params;          // the list's lines, each ended by a NUL
    char* tools;           // null when the backup holds no tool list
    EntryArray* lines[2];  // of VtxListLine: the parameter and tool lines
    EntryArray* entries;   // of VtxListedEntry, sorted by path
    uint32_t ramDiskFree, flashDiskFree;
};
struct VtxChanges {
    VtxBackupContent before, after;   // the texts that the changes point into
    VtxListChanges params, tools;
    VtxProgramChanges programs;
};
// Reads both folders and compares them; 1, or 0 after saying on stderr
// which file of which folder is not a backup's. VtxFreeChanges afterwards.
int VtxCompareBackups(const char* before, const char* after, VtxChanges* changes);
void VtxFreeChanges(VtxChanges* changes);
// 1 when anything changed.
int VtxAnythingChanged(const VtxChanges* changes);

// vtx_listing_json.cpp: a listing.json read back, its entries flat.
struct VtxListedEntry {
    char path[VTX_FOLDER_PATH_SIZE];   // "/ram/cncprg/part1.nc"; a directory's ends in "/"
    uint32_t size;
};
// 1 with entries (unsorted) and the free bytes, or 0 when the text is not
// a listing as vtx writes it.
int VtxReadListingJson(const char* text, EntryArray* entries, uint32_t* ramDiskFree, uint32_t* flashDiskFree);

// vtx_backup_report.cpp: the changes as text (a line a change) or as one
// JSON object, and their summary for the table of `backup --all`.
void VtxPrintChanges(FILE* out, const VtxChanges* changes);
void VtxWriteChangesJson(FILE* out, const VtxChanges* changes);
void VtxSummarizeChanges(const VtxChanges* changes, char* text, uint32_t size);
