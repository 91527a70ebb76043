// Whole-file helpers on POSIX file descriptors.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lib/zem_lib.h"

int64_t ZemPlatformFileWrite(intptr_t file, const void* bytes, uint32_t length)
{
    ssize_t n;
    do
        n = write(static_cast<int>(file), bytes, length);
    while (n < 0 && errno == EINTR);
    return n;
}

static void FillInfo(const struct stat& st, uint32_t* attributes, uint32_t* sizeLow, uint32_t* sizeHigh)
{
    uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    *attributes = S_ISDIR(st.st_mode) ? ZEM_ATTR_DIRECTORY : 0;
    *sizeLow = static_cast<uint32_t>(size);
    *sizeHigh = static_cast<uint32_t>(size >> 32);
}

long ZemFileRead(const char* path, void* buffer, uint32_t maxBytes, uint32_t offset, ZemFileInfo* info)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return -1;
    }
    if (offset != 0 && lseek(fd, offset, SEEK_SET) < 0) {
        close(fd);
        return -1;
    }
    // One read call may return less than asked on some files; keep reading to
    // the count or the end, as ReadFile does on a disk file.
    uint32_t total = 0;
    while (total < maxBytes) {
        ssize_t got = read(fd, static_cast<char*>(buffer) + total, maxBytes - total);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            close(fd);
            return -1;
        }
        if (got == 0)
            break;
        total += static_cast<uint32_t>(got);
    }
    long result = total;
    if (info) {
        if (fstat(fd, &st) == 0) {
            FillInfo(st, &info->attributes, &info->sizeLow, &info->sizeHigh);
            info->identity = (static_cast<uint64_t>(st.st_dev) << 40) ^ static_cast<uint64_t>(st.st_ino);
            info->writeTime = static_cast<uint64_t>(st.st_mtim.tv_sec) * 1000000000u + static_cast<uint64_t>(st.st_mtim.tv_nsec);
        } else {
            result = -1;
        }
    }
    close(fd);
    return result;
}

int ZemFileWrite(const char* path, const void* buffer, uint32_t length, int mode)
{
    int flags = O_RDWR | O_CREAT | O_CLOEXEC;
    flags |= mode == ZEM_FILE_CREATE ? O_TRUNC : mode == ZEM_FILE_NEW ? O_EXCL | O_NOFOLLOW : O_APPEND;
    int fd = open(path, flags, 0644);
    if (fd < 0)
        return 0;
    uint32_t done = 0;
    int ok = 1;
    while (done < length) {
        int64_t n = ZemFileWriteThroughCall(fd, static_cast<const char*>(buffer) + done, length - done);
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;   // a write that took nothing: the disk is full
            ok = 0;
            break;
        }
        done += static_cast<uint32_t>(n);
    }
    close(fd);
    return ok;
}

int ZemFileFind(const char* path, ZemFindData* data)
{
    struct stat st;
    if (!path || !*path || strpbrk(path, "*?") || stat(path, &st) != 0)
        return 0;
    if (data) {
        memset(data, 0, sizeof(*data));
        FillInfo(st, &data->attributes, &data->sizeLow, &data->sizeHigh);
        const char* base = strrchr(path, '/');
        base = base ? base + 1 : path;
        strncpy(data->fileName, base, sizeof(data->fileName) - 1);
    }
    return 1;
}

int ZemFileMove(const char* from, const char* to)
{
    return rename(from, to) == 0;
}

int ZemFileDelete(const char* path)
{
    return unlink(path) == 0;
}

int ZemFileIsRegular(const char* path)
{
    struct stat st;
    if (lstat(path, &st) != 0)
        return errno == ENOENT;
    return S_ISREG(st.st_mode);
}

int ZemFileLastProblem(char* words, uint32_t size)
{
    int error = errno;
    snprintf(words, size, "%s", strerror(error));
    if (error == EEXIST)
        return ZEM_FILE_EXISTS;
    if (error == EACCES || error == EPERM || error == EROFS)
        return ZEM_FILE_DENIED;
    return error == ENOSPC || error == EDQUOT ? ZEM_FILE_NO_ROOM : ZEM_FILE_OTHER;
}
