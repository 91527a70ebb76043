// The slot of the call that puts a whole file's bytes into the open file,
// shared by the platform parts.
#include "lib/zem_lib.h"

static ZemFileWriteCall writeCall = ZemPlatformFileWrite;

void ZemFileSetWriteCall(ZemFileWriteCall call)
{
    writeCall = call ? call : ZemPlatformFileWrite;
}

ZemFileWriteCall ZemFilePlatformWriteCall()
{
    return ZemPlatformFileWrite;
}

int64_t ZemFileWriteThroughCall(intptr_t file, const void* bytes, uint32_t length)
{
    return writeCall(file, bytes, length);
}
