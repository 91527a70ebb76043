// Profile strings in our own INI reader and writer: "[Section]" lines, each
// followed by "key=value" lines. Names compare without regard to letter case,
// blanks around keys and values are dropped on reading, lines end in CR LF.
// A write rewrites the whole file through a temporary file in the same
// directory and a rename, so a crash leaves the old file or the new one.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/profile.h"

// The settings are saved after the support library has shut down, so this
// file allocates with the C library, not through the Zem heap wrappers.

// A settings file is a few hundred bytes; anything past this is not one.
constexpr size_t PROFILE_MAX_BYTES = 16u * 1024u * 1024u;

struct ProfileText {
    char* bytes;
    size_t length;
};

struct ProfileLine {
    const char* start;
    size_t length;       // without the line end
};

// 1 loaded, 0 no such file, -1 present but not readable as a profile.
static int LoadProfileFile(const char* path, ProfileText* text)
{
    text->bytes = nullptr;
    text->length = 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? 0 : -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > PROFILE_MAX_BYTES) {
        close(fd);
        return -1;
    }
    // One spare byte tells a file that grew past the limit while we read it.
    size_t room = static_cast<size_t>(st.st_size) + 1;
    text->bytes = static_cast<char*>(malloc(room));
    if (!text->bytes) {
        close(fd);
        return -1;
    }
    int result = 1;
    while (text->length < room) {
        ssize_t got = read(fd, text->bytes + text->length, room - text->length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result = -1;
            break;
        }
        if (got == 0)
            break;
        text->length += static_cast<size_t>(got);
    }
    close(fd);
    if (result < 0 || text->length >= room) {
        free(text->bytes);
        text->bytes = nullptr;
        text->length = 0;
        return -1;
    }
    return 1;
}

static void FreeProfileText(ProfileText* text)
{
    free(text->bytes);
    text->bytes = nullptr;
    text->length = 0;
}

// Lines end in LF or CR LF; the last line may have no end at all.
static int NextLine(const ProfileText* text, size_t* position, ProfileLine* line)
{
    if (*position >= text->length)
        return 0;
    const char* start = text->bytes + *position;
    size_t rest = text->length - *position;
    const char* end = static_cast<const char*>(memchr(start, '\n', rest));
    size_t length = end ? static_cast<size_t>(end - start) : rest;
    *position += length + (end ? 1 : 0);
    if (length > 0 && start[length - 1] == '\r')
        length--;
    line->start = start;
    line->length = length;
    return 1;
}

static int IsProfileSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

static ProfileLine TrimLine(ProfileLine line)
{
    while (line.length > 0 && IsProfileSpace(line.start[0])) {
        line.start++;
        line.length--;
    }
    while (line.length > 0 && IsProfileSpace(line.start[line.length - 1]))
        line.length--;
    return line;
}

static char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

static int SameName(ProfileLine text, const char* name)
{
    size_t length = strlen(name);
    if (text.length != length)
        return 0;
    for (size_t i = 0; i < length; i++)
        if (LowerAscii(text.start[i]) != LowerAscii(name[i]))
            return 0;
    return 1;
}

// A line that starts with "[" opens a section, even without its "]".
static int ReadSectionName(ProfileLine line, ProfileLine* name)
{
    line = TrimLine(line);
    if (line.length == 0 || line.start[0] != '[')
        return 0;
    const char* close = static_cast<const char*>(memchr(line.start + 1, ']', line.length - 1));
    name->start = line.start + 1;
    name->length = close ? static_cast<size_t>(close - name->start) : line.length - 1;
    *name = TrimLine(*name);
    return 1;
}

static int ReadKeyLine(ProfileLine line, ProfileLine* key, ProfileLine* value)
{
    const char* equals = static_cast<const char*>(memchr(line.start, '=', line.length));
    if (!equals)
        return 0;
    key->start = line.start;
    key->length = static_cast<size_t>(equals - line.start);
    *key = TrimLine(*key);
    value->start = equals + 1;
    value->length = static_cast<size_t>(line.start + line.length - value->start);
    *value = TrimLine(*value);
    return 1;
}

// What a reader of the value gets: up to a NUL byte, without one pair of
// enclosing quotes, as the Windows functions return it.
static ProfileLine CleanValue(ProfileLine value)
{
    const char* nul = static_cast<const char*>(memchr(value.start, '\0', value.length));
    if (nul)
        value.length = static_cast<size_t>(nul - value.start);
    if (value.length >= 2 && (value.start[0] == '"' || value.start[0] == '\'') &&
        value.start[value.length - 1] == value.start[0]) {
        value.start++;
        value.length -= 2;
    }
    return value;
}

// Only the first section of a name counts, for reading and for writing.
static int FindValue(const ProfileText* text, const char* section, const char* key, ProfileLine* value)
{
    size_t position = 0;
    ProfileLine line, name, foundKey, foundValue;
    int inSection = 0, sectionSeen = 0;
    while (NextLine(text, &position, &line)) {
        if (ReadSectionName(line, &name)) {
            if (inSection)
                return 0;
            inSection = !sectionSeen && SameName(name, section);
            sectionSeen |= inSection;
            continue;
        }
        if (inSection && ReadKeyLine(line, &foundKey, &foundValue) && SameName(foundKey, key)) {
            *value = CleanValue(foundValue);
            return 1;
        }
    }
    return 0;
}

uint32_t ProfileReadString(const char* section, const char* key, const char* defaultText,
                           char* buffer, uint32_t size, const char* path)
{
    if (size == 0)
        return 0;
    ProfileLine value{defaultText ? defaultText : "", 0};
    value.length = strlen(value.start);
    ProfileText text;
    if (LoadProfileFile(path, &text) == 1)
        FindValue(&text, section, key, &value);
    size_t length = value.length < size - 1 ? value.length : size - 1;
    memcpy(buffer, value.start, length);
    buffer[length] = '\0';
    FreeProfileText(&text);
    return static_cast<uint32_t>(length);
}

static void EmitLine(FILE* out, const char* start, size_t length)
{
    fwrite(start, 1, length, out);
    fwrite("\r\n", 1, 2, out);
}

static void EmitKey(FILE* out, const char* key, const char* value)
{
    fprintf(out, "%s=%s\r\n", key, value);
}

static void EmitBlankLines(FILE* out, int count)
{
    for (; count > 0; count--)
        fwrite("\r\n", 1, 2, out);
}

// Copies the file with the key replaced, or added at the end of its section
// (before the blank lines that close it), or in a new section at the end.
static void EmitProfile(FILE* out, const ProfileText* text, const char* section, const char* key, const char* value)
{
    size_t position = 0;
    ProfileLine line, name, foundKey, foundValue;
    int inSection = 0, sectionSeen = 0, written = 0, pendingBlanks = 0;
    while (NextLine(text, &position, &line)) {
        if (inSection && TrimLine(line).length == 0) {
            pendingBlanks++;
            continue;
        }
        if (ReadSectionName(line, &name)) {
            if (inSection && !written) {
                EmitKey(out, key, value);
                written = 1;
            }
            EmitBlankLines(out, pendingBlanks);
            pendingBlanks = 0;
            inSection = !sectionSeen && SameName(name, section);
            sectionSeen |= inSection;
            EmitLine(out, line.start, line.length);
            continue;
        }
        EmitBlankLines(out, pendingBlanks);
        pendingBlanks = 0;
        if (inSection && !written && ReadKeyLine(line, &foundKey, &foundValue) && SameName(foundKey, key)) {
            EmitKey(out, key, value);
            written = 1;
            continue;
        }
        EmitLine(out, line.start, line.length);
    }
    if (!written) {
        if (!sectionSeen)
            fprintf(out, "[%s]\r\n", section);
        EmitKey(out, key, value);
    }
    EmitBlankLines(out, pendingBlanks);
}

// An existing file must be writable; the permission bits count even for a
// user whom the system would let write anyway, as a read-only file does on
// Windows.
static int CheckWritable(const char* path, mode_t* mode)
{
    struct stat st;
    if (stat(path, &st) != 0)
        return 0;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return 0;
    int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    close(fd);
    *mode = st.st_mode & 07777;
    return 1;
}

int ProfileWriteString(const char* section, const char* key, const char* value, const char* path)
{
    if (!value)
        value = "";
    if (!ProfileCanStore(section, key, value))
        return 0;
    ProfileText text;
    int loaded = LoadProfileFile(path, &text);
    if (loaded < 0)
        return 0;
    mode_t mode = 0644;
    if (loaded == 1 && !CheckWritable(path, &mode)) {
        FreeProfileText(&text);
        return 0;
    }
    size_t pathLength = strlen(path);
    char* tempPath = static_cast<char*>(malloc(pathLength + 8));
    if (!tempPath) {
        FreeProfileText(&text);
        return 0;
    }
    memcpy(tempPath, path, pathLength);
    memcpy(tempPath + pathLength, ".XXXXXX", 8);

    int ok = 0;
    int fd = mkostemp(tempPath, O_CLOEXEC);
    FILE* out = fd >= 0 ? fdopen(fd, "wb") : nullptr;
    if (out) {
        EmitProfile(out, &text, section, key, value);
        // The new file must be complete on disk before it takes the old one's name.
        ok = fflush(out) == 0 && !ferror(out) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
        ok = (fclose(out) == 0) && ok;
        ok = ok && rename(tempPath, path) == 0;
        if (!ok)
            unlink(tempPath);
    } else if (fd >= 0) {
        close(fd);
        unlink(tempPath);
    }
    free(tempPath);
    FreeProfileText(&text);
    return ok;
}
