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

// What the listing shows of one file of the batch.
enum {
    UPLOAD_FILE_LISTED = 0,       // listed in its directory with the size sent
    UPLOAD_FILE_NOT_LISTED = 1,   // no file of that name in that directory
    UPLOAD_FILE_OTHER_SIZE = 2,   // listed with another size
    UPLOAD_FILE_UNCHECKED = 3,    // the sender refuses it, or a later file of the batch lands on its path
};

struct UploadedFile {
    char pcName[260];                          // the PC file's base name
    char controllerPath[CONTROLLER_PATH_SIZE];
    uint32_t sent;                             // bytes the header announced
    uint32_t listed;                           // bytes the listing shows (UPLOAD_FILE_OTHER_SIZE)
};

// The name behind name in a file list (NUL-ended names closed by an empty
// one); "" at the list's end.
const char* NextUploadName(const char* name);
// Checks the file list entry name (a name inside job->fileList) against the
// tree read after the batch; returns an UPLOAD_FILE_ code and fills file.
int CheckUploadedFile(const UploadJob* job, const char* name, DeviceTree* tree, UploadedFile* file);
