// The profile reader and writer on arbitrary files. Per input: the file is
// written once into a memory-backed temporary folder, a key is read with a
// large and a small buffer, then one key is written and read back.
// Properties: a read never writes past its buffer and cuts a long value to
// size - 1; a refused write leaves the file as it was; a done write reads
// back as stored and leaves other keys alone.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <fcntl.h>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include "app/profile.h"
#include "fuzz/fuzz_require.h"

static std::string profilePath;
static std::string missingPath;

static std::string workFolder;

static void RemoveWorkFolder()
{
    unlink(profilePath.c_str());
    rmdir(workFolder.c_str());
}

// tmpfs keeps the writer's sync and rename cheap.
static void MakeWorkFolder()
{
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp");
    std::string folder = std::string(base) + "/fuzz_profile.XXXXXX";
    Require(mkdtemp(folder.data()) != nullptr);
    workFolder = folder;
    profilePath = folder + "/Vantorix1.ini";
    missingPath = folder + "/absent/Vantorix1.ini";
    atexit(RemoveWorkFolder);
}

static void WriteWhole(const std::string& path, const std::string& bytes)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    Require(fd >= 0);
    Require(write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()));
    close(fd);
}

static std::string ReadWhole(const std::string& path)
{
    std::string bytes;
    FILE* in = fopen(path.c_str(), "rb");
    Require(in != nullptr);
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), in)) > 0)
        bytes.append(chunk, got);
    fclose(in);
    return bytes;
}

// A read into a heap block of exactly size bytes, so that a write past it is
// caught; the result must be a terminated text of the returned length.
static std::string ReadValue(const std::string& path, const std::string& section, const std::string& key,
                             const std::string& defaultText, uint32_t size)
{
    std::vector<char> buffer(size ? size : 1, 0x55);
    uint32_t length = ProfileReadString(section.c_str(), key.c_str(), defaultText.c_str(),
                                        size ? buffer.data() : nullptr, size, path.c_str());
    if (size == 0) {
        Require(length == 0);
        return std::string();
    }
    Require(length < size && buffer[length] == 0 && strlen(buffer.data()) == length);
    return std::string(buffer.data(), length);
}

static bool IsProfileSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

static std::string Trim(const std::string& text)
{
    size_t first = 0, last = text.size();
    while (first < last && IsProfileSpace(text[first]))
        first++;
    while (last > first && IsProfileSpace(text[last - 1]))
        last--;
    return text.substr(first, last - first);
}

// What a reader gets back for a stored value: blanks around it dropped and
// one pair of enclosing quotes taken off, as the Windows functions do.
static std::string StoredForm(const std::string& value)
{
    std::string form = Trim(value);
    if (form.size() >= 2 && (form[0] == '"' || form[0] == '\'') && form.back() == form[0])
        form = form.substr(1, form.size() - 2);
    return form;
}

static bool SameNameIgnoringCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); i++)
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

static void CheckCutToSize(const std::string& section, const std::string& key, const std::string& defaultText,
                           uint32_t smallSize, size_t contentSize)
{
    uint32_t largeSize = static_cast<uint32_t>(contentSize + defaultText.size() + 2);
    std::string whole = ReadValue(profilePath, section, key, defaultText, largeSize);
    std::string cut = ReadValue(profilePath, section, key, defaultText, smallSize);
    if (smallSize > 0)
        Require(cut == whole.substr(0, smallSize - 1));
    // No file at all gives the default, cut the same way.
    std::string absent = ReadValue(missingPath, section, key, defaultText, smallSize);
    if (smallSize > 0)
        Require(absent == defaultText.substr(0, smallSize - 1));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (profilePath.empty())
        MakeWorkFolder();
    FuzzedDataProvider input(data, size);
    // Names and values are C texts: what follows a NUL is not part of them.
    std::string section = input.ConsumeRandomLengthString(24).c_str();
    std::string key = input.ConsumeRandomLengthString(24).c_str();
    std::string value = input.ConsumeRandomLengthString(64).c_str();
    std::string defaultText = input.ConsumeRandomLengthString(32).c_str();
    std::string probeSection = input.ConsumeRandomLengthString(24).c_str();
    std::string probeKey = input.ConsumeRandomLengthString(24).c_str();
    uint32_t smallSize = input.ConsumeIntegralInRange<uint32_t>(0, 24);
    std::string content = input.ConsumeRemainingBytesAsString();
    WriteWhole(profilePath, content);

    CheckCutToSize(section, key, defaultText, smallSize, content.size());

    uint32_t probeSize = static_cast<uint32_t>(content.size() + 2);
    std::string probeBefore = ReadValue(profilePath, probeSection, probeKey, "", probeSize);

    int storable = ProfileCanStore(section.c_str(), key.c_str(), value.c_str());
    int written = ProfileWriteString(section.c_str(), key.c_str(), value.c_str(), profilePath.c_str());
    Require(written == storable);
    if (!written) {
        Require(ReadWhole(profilePath) == content);
        return 0;
    }
    uint32_t backSize = static_cast<uint32_t>(value.size() + 2);
    Require(ReadValue(profilePath, section, key, "", backSize) == StoredForm(value));
    bool sameKey = SameNameIgnoringCase(probeSection, section) && SameNameIgnoringCase(probeKey, key);
    if (!sameKey) {
        uint32_t probeAfterSize = static_cast<uint32_t>(content.size() + value.size() + key.size() + section.size() + 16);
        Require(ReadValue(profilePath, probeSection, probeKey, "", probeAfterSize) == probeBefore);
    }
    return 0;
}
