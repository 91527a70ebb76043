// The answer to "l\r\n": a header line, one line per directory and file,
// indented one blank per level and sorted by name, the free bytes of both
// disks, and an empty line that ends it. Every line ends with CR LF.
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

#include "sim/sim.h"

struct ListedEntry {
    std::string name;
    int isDirectory;
    uint64_t size;
};

// Hidden names, links and names that a listing line cannot carry stay unseen.
static int IsListable(const char* name)
{
    if (name[0] == '.')
        return 0;
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(name); *c != 0; c++) {
        if (*c < 0x20 || *c == 0x7F)
            return 0;
    }
    return 1;
}

static std::vector<ListedEntry> ReadFolder(const std::string& dir, int directoriesOnly)
{
    std::vector<ListedEntry> entries;
    DIR* handle = opendir(dir.c_str());
    if (handle == nullptr)
        return entries;
    while (dirent* item = readdir(handle)) {
        if (!IsListable(item->d_name))
            continue;
        struct stat info{};
        if (lstat((dir + "/" + item->d_name).c_str(), &info) != 0)
            continue;
        if (S_ISDIR(info.st_mode))
            entries.push_back({item->d_name, 1, 0});
        else if (S_ISREG(info.st_mode) && !directoriesOnly)
            entries.push_back({item->d_name, 0, static_cast<uint64_t>(info.st_size)});
    }
    closedir(handle);
    std::sort(entries.begin(), entries.end(),
              [](const ListedEntry& a, const ListedEntry& b) { return std::strcmp(a.name.c_str(), b.name.c_str()) < 0; });
    return entries;
}

static void AppendFolder(std::string* text, const std::string& dir, size_t depth)
{
    for (const ListedEntry& entry : ReadFolder(dir, depth == 0)) {
        text->append(depth, ' ');
        if (entry.isDirectory) {
            *text += "(dir) " + entry.name + "\r\n";
            AppendFolder(text, dir + "/" + entry.name, depth + 1);
        } else {
            *text += std::to_string(entry.size) + " " + entry.name + "\r\n";
        }
    }
}

static uint64_t CapAt32Bits(uint64_t value)
{
    return value > 0xFFFFFFFFull ? 0xFFFFFFFFull : value;
}

std::string BuildListing()
{
    std::string text = "Directory of the controller\r\n";
    AppendFolder(&text, StorageRoot(), 0);
    text += "Free RamDisk: " + std::to_string(CapAt32Bits(DiskBytesFree(DISK_RAM))) + "\r\n";
    text += "Free FlashDisk: " + std::to_string(CapAt32Bits(DiskBytesFree(DISK_FLASH))) + "\r\n";
    text += "\r\n";
    return text;
}
