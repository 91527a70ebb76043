// The support library: heap wrappers, the growable EntryArray and the
// whole-file helpers. Every function returns 1/0, a pointer (null on
// failure) or a byte count (-1 on failure); nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>

// Flag for ZemMemAlloc / ZemMemReAlloc: the new bytes are zero-filled
// (the value of HEAP_ZERO_MEMORY, so Win32 callers may pass either).
constexpr unsigned ZEM_ZERO_MEMORY = 0x00000008;

// Attribute bit of a directory in ZemFindData (FILE_ATTRIBUTE_DIRECTORY).
constexpr unsigned ZEM_ATTR_DIRECTORY = 0x10;

int ZemLibInit();
void ZemLibExit();

// The pointer variable is passed by address so that a free can null it.
void* ZemMemAlloc(void** block, size_t size, unsigned flags);
int ZemMemFree(void** block);
void* ZemMemReAlloc(void** block, size_t size, unsigned flags);
size_t ZemMemSize(const void* block);

// Typed conveniences over the same wrappers.
template <typename T> T* ZemMemAllocAs(T** block, size_t size, unsigned flags)
{
    return static_cast<T*>(ZemMemAlloc(reinterpret_cast<void**>(block), size, flags));
}
template <typename T> int ZemMemFreeAs(T** block)
{
    return ZemMemFree(reinterpret_cast<void**>(block));
}

struct EntryArray {
    unsigned char* data;     // the elements, one after the other
    uint32_t count;          // elements in use
    uint32_t elementSize;    // bytes per element, at least 1
    uint32_t capacityBytes;  // bytes available in data
    uint32_t growthBytes;    // spare bytes asked for on every growth: 4 elements
};

// Appends rather than inserts when passed as the position.
constexpr uint32_t ZEM_ARRAY_END = 0xFFFFFFFFu;

EntryArray* ZemArrayCreate(uint32_t elementSize, uint32_t initialCount);
int ZemArrayInit(EntryArray* array, uint32_t elementSize, uint32_t initialCount);
int ZemArrayReserve(EntryArray* array, uint32_t n);
int ZemArrayInsert(EntryArray* array, const void* source, uint32_t position, uint32_t n);
int ZemArrayClear(EntryArray* array);
void ZemArrayDestroy(EntryArray* array);

inline void* ZemArrayAt(const EntryArray* array, uint32_t index)
{
    return array->data + static_cast<size_t>(index) * array->elementSize;
}

// What ZemFileFind reports about the first match (the parts of
// WIN32_FIND_DATAA that the program uses).
struct ZemFindData {
    uint32_t attributes;     // ZEM_ATTR_DIRECTORY for a directory
    uint32_t sizeLow;        // low 32 bits of the size
    uint32_t sizeHigh;       // high 32 bits of the size
    char fileName[260];      // base name as the file system stores it
};

// What ZemFileRead can report about the open file. The identity and the
// last write time tell a file replaced or rewritten in place between two
// reads, even when its size stayed the same.
struct ZemFileInfo {
    uint32_t attributes;
    uint32_t sizeLow;
    uint32_t sizeHigh;
    uint64_t identity;     // which file this is (volume and file index / device and inode)
    uint64_t writeTime;    // last modification, in the platform's units
};

// Dispositions of ZemFileWrite.
constexpr int ZEM_FILE_CREATE = 0;   // create, or truncate an existing file
constexpr int ZEM_FILE_APPEND = 1;   // append, creating the file if needed
constexpr int ZEM_FILE_NEW = 2;      // create a file that is not there yet: never an existing file, never
                                     // through a link; fails with ZEM_FILE_EXISTS when the name is taken

long ZemFileRead(const char* path, void* buffer, uint32_t maxBytes, uint32_t offset, ZemFileInfo* info);
int ZemFileWrite(const char* path, const void* buffer, uint32_t length, int mode);
// 1 when the path names an existing file or directory. A name with "*" or
// "?" names none, even where the platform would expand it to a match.
int ZemFileFind(const char* path, ZemFindData* data);
// Moves a file to a new name in the same folder, replacing a file of that
// name at once (MoveFileExA with MOVEFILE_REPLACE_EXISTING / rename); 1 or 0,
// with nothing changed on failure.
int ZemFileMove(const char* from, const char* to);
// Deletes a file; 1, or 0 when it could not be deleted or was not there.
int ZemFileDelete(const char* path);
// 1 when the path names a regular file or nothing yet; 0 for a directory, a
// device, a pipe or a link, which a move must not replace.
int ZemFileIsRegular(const char* path);

// Why the last file call of this thread failed, in the system's words
// ("Permission denied"), and whether that was a name already taken or a
// folder that may not be written.
enum {
    ZEM_FILE_OTHER = 0,
    ZEM_FILE_EXISTS = 1,
    ZEM_FILE_DENIED = 2,
    ZEM_FILE_NO_ROOM = 3,
};
int ZemFileLastProblem(char* words, uint32_t size);

// The call of ZemFileWrite that puts bytes into the open file (WriteFile /
// write), in a slot so that a test can make it fail part way as a full disk
// does. It returns the count written (possibly short) or -1 on failure.
using ZemFileWriteCall = int64_t (*)(intptr_t file, const void* bytes, uint32_t length);
// Null restores the platform's call, which the getter gives.
void ZemFileSetWriteCall(ZemFileWriteCall call);
ZemFileWriteCall ZemFilePlatformWriteCall();
// The platform's call (zem_file_<platform>.cpp), and the call in the slot,
// through which the platform parts write.
int64_t ZemPlatformFileWrite(intptr_t file, const void* bytes, uint32_t length);
int64_t ZemFileWriteThroughCall(intptr_t file, const void* bytes, uint32_t length);
