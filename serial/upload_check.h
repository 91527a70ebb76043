// What the listing read after an upload must show: every file of the batch
// in its target directory, under the name the controller stores, with the
// size its header announced. The browser and vtx check by the same rules.
#pragma once

#include <cstdint>

struct DeviceTree;
struct UploadJob;

constexpr uint32_t CONTROLLER_PATH_SIZE = 1024;
// Where the controller puts a path without a leading "/" (a delete of a bare
// name, an upload without a target directory).
extern const char ControllerDefaultDirectory[];

// The path with the default directory in front of a relative one; 0 when it
// does not fit.
int ControllerAbsolutePath(const char* path, char* out, uint32_t size);

// The size the sender announces for a PC file, and the controller path it
// is stored under: the target directory, then the base name with '_' for
// each blank, absolute. 0 when the sender refuses the file or the path does
// not fit.
uint32_t UploadTargetOf(const char* targetDir, const char* pcPath, char* controllerPath, uint32_t size);

// What the listing shows of a file that is not there as sent.
enum {
    UPLOAD_FILE_NOT_LISTED = 1,   // no file of that name in that directory
    UPLOAD_FILE_OTHER_SIZE = 2,   // listed with another size
};

struct UploadedFile {
    const char* listName;                      // the name in the job's file list
    char pcName[260];                          // the PC file's base name
    char controllerPath[CONTROLLER_PATH_SIZE];
    uint32_t sent;                             // bytes the header announced
    uint32_t listed;                           // bytes the listing shows (UPLOAD_FILE_OTHER_SIZE)
};

using UploadCheckReport = void (*)(void* context, const UploadedFile* file, int state);

// Checks the job's files against the tree read after the batch and calls
// report, in list order, for each one that is not there as sent. Files the
// sender refuses, and files that a later file of the batch replaces on the
// controller, are not checked. Returns how many were reported, or -1 when
// there was no memory to check.
int CheckUploadedBatch(const UploadJob* job, DeviceTree* tree, UploadCheckReport report, void* context);
