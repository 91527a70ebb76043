// The controller's storage: a host folder whose top-level folders are the
// controller's top-level directories. Paths from the line are checked one
// component at a time and never pass through a symbolic link.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "sim/sim.h"

static std::string RootHost;
static const char DEFAULT_DIRECTORY[] = "/ram/cncprg/";
static const char TEMP_PREFIX[] = ".sim-upload-";
static const char TEMP_SUFFIX[] = ".part";

std::string UploadTempName()
{
    return std::string(TEMP_PREFIX) + std::to_string(getpid()) + TEMP_SUFFIX;
}

int IsUploadTempName(const char* name)
{
    size_t length = std::strlen(name);
    size_t prefix = sizeof TEMP_PREFIX - 1;
    size_t suffix = sizeof TEMP_SUFFIX - 1;
    return length > prefix + suffix && std::strncmp(name, TEMP_PREFIX, prefix) == 0 &&
           std::strcmp(name + length - suffix, TEMP_SUFFIX) == 0;
}

static int IsRealDirectory(const std::string& path)
{
    struct stat info{};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

static int MakeDirectory(const std::string& path)
{
    if (IsRealDirectory(path))
        return 1;
    return mkdir(path.c_str(), 0755) == 0;
}

// Walks a folder without following links; visit gets each regular file.
template <typename Visit> static void WalkFiles(const std::string& dir, Visit visit)
{
    DIR* handle = opendir(dir.c_str());
    if (handle == nullptr)
        return;
    while (dirent* item = readdir(handle)) {
        if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0)
            continue;
        std::string path = dir + "/" + item->d_name;
        struct stat info{};
        if (lstat(path.c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode))
            WalkFiles(path, visit);
        else if (S_ISREG(info.st_mode))
            visit(path, item->d_name, info);
    }
    closedir(handle);
}

// An upload that a killed simulator left behind is not a file of the controller.
static void RemoveStaleUploads(const std::string& dir)
{
    WalkFiles(dir, [](const std::string& path, const char* name, const struct stat&) {
        if (IsUploadTempName(name))
            unlink(path.c_str());
    });
}

int PrepareStorage()
{
    char resolved[PATH_MAX];
    if (!MakeDirectory(Options.root) || realpath(Options.root.c_str(), resolved) == nullptr) {
        std::fprintf(stderr, "vantorix-sim: cannot use %s as root: %s\n", Options.root.c_str(), std::strerror(errno));
        return 0;
    }
    RootHost = resolved;
    if (!MakeDirectory(RootHost + "/ram") || !MakeDirectory(RootHost + "/ROM") ||
        !MakeDirectory(RootHost + "/ram/cncprg")) {
        std::fprintf(stderr, "vantorix-sim: cannot make the disks under %s\n", RootHost.c_str());
        return 0;
    }
    RemoveStaleUploads(RootHost + "/ram");
    RemoveStaleUploads(RootHost + "/ROM");
    return 1;
}

const std::string& StorageRoot()
{
    return RootHost;
}

// Names that the listing could not show, or that reach outside the root,
// are refused; names beginning with a dot are ours.
static int IsAcceptableName(const std::string& name)
{
    if (name.empty() || name[0] == '.')
        return 0;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F)
            return 0;
    }
    return 1;
}

int ResolveControllerPath(const std::string& path, SimPath* out)
{
    if (path.empty())
        return 0;
    std::string full = (!path.empty() && path[0] == '/') ? path : std::string(DEFAULT_DIRECTORY) + path;
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= full.size()) {
        size_t slash = full.find('/', start);
        if (slash == std::string::npos)
            slash = full.size();
        if (slash > start)
            parts.push_back(full.substr(start, slash - start));
        start = slash + 1;
    }
    if (parts.size() < 2)
        return 0;
    for (const std::string& part : parts) {
        if (!IsAcceptableName(part))
            return 0;
    }
    std::string host = RootHost;
    for (size_t i = 0; i + 1 < parts.size(); i++) {
        host += "/" + parts[i];
        if (!IsRealDirectory(host))
            return 0;
    }
    out->hostDir = host;
    out->name = parts.back();
    out->disk = parts[0] == "ram" ? DISK_RAM : parts[0] == "ROM" ? DISK_FLASH : DISK_NONE;
    return 1;
}

uint64_t DiskBytesUsed(int disk)
{
    if (disk == DISK_NONE)
        return 0;
    uint64_t used = 0;
    WalkFiles(RootHost + (disk == DISK_RAM ? "/ram" : "/ROM"),
              [&used](const std::string&, const char*, const struct stat& info) {
                  used += static_cast<uint64_t>(info.st_size);
              });
    return used;
}

uint64_t DiskBytesFree(int disk)
{
    if (disk == DISK_NONE || FindFault(FAULT_NO_SPACE) != nullptr)
        return 0;
    uint64_t capacity = disk == DISK_RAM ? Options.ramSize : Options.flashSize;
    uint64_t used = DiskBytesUsed(disk);
    return used < capacity ? capacity - used : 0;
}

std::string DeleteControllerFile(const std::string& path)
{
    SimPath target;
    if (!ResolveControllerPath(path, &target))
        return "Error: bad path\r\n";
    if (target.disk == DISK_NONE)
        return "Error: directory is read-only\r\n";
    std::string host = target.hostDir + "/" + target.name;
    struct stat info{};
    if (lstat(host.c_str(), &info) != 0)
        return "Error: file not found\r\n";
    if (!S_ISREG(info.st_mode))
        return "Error: not a file\r\n";
    // A host file nobody may write stands for a file the controller keeps write-protected.
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return "Error: file is write-protected\r\n";
    if (unlink(host.c_str()) != 0)
        return "Error: cannot delete\r\n";
    SimTrace("deleted %s", host.c_str());
    return "File deleted\r\n";
}
