// The PC folders that backups are kept in, one backend per platform
// (vtx_folders_*.cpp). Where a step fails, *why gets the system's words.
#pragma once

// Results of VtxMakeFolder and VtxMoveFolderToNew.
enum { VTX_FOLDER_FAILED = 0, VTX_FOLDER_DONE = 1, VTX_FOLDER_TAKEN = 2 };

// Makes one folder; VTX_FOLDER_TAKEN when something of that name is there.
int VtxMakeFolder(const char* path, const char** why);
// Gives a folder a new name in the same folder, never over anything of that
// name, in one step: VTX_FOLDER_TAKEN when the name is taken.
int VtxMoveFolderToNew(const char* from, const char* to, const char** why);
// Removes an empty folder; 1 or 0.
int VtxRemoveFolder(const char* path);
// Calls each with the name of every folder in the folder ("." and ".."
// left out); 1, or 0 when the folder cannot be read.
int VtxEachFolderIn(const char* path, void (*each)(const char* name, void* context), void* context);
// The separator between a folder and a name in it.
extern const char VtxFolderSeparator;
