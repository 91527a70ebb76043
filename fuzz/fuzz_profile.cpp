// Profiles on arbitrary files: reads stay in their buffer and cut to size - 1; a refused write changes
// nothing; a done write of a plain value reads back and leaves other keys alone.
#include <cctype>
#include <strings.h>
#include <fuzzer/FuzzedDataProvider.h>

#include "app/profile.h"
#include "fuzz/fuzz_require.h"
#include "lib/zem_lib.h"

static std::string profilePath, missingPath;

// Into a heap block of exactly size bytes, so that a write past it is caught.
static std::string ReadValue(const std::string& path, const std::string& section, const std::string& key,
                             const std::string& defaultText, size_t size)
{
    std::vector<char> buffer(size ? size : 1, 0x55);
    uint32_t length = ProfileReadString(section.c_str(), key.c_str(), defaultText.c_str(),
                                        size ? buffer.data() : nullptr, static_cast<uint32_t>(size), path.c_str());
    Require(length < (size ? size : 1));   // nothing at all without room
    Require(!size || buffer[length] == 0);
    Require(!size || strlen(buffer.data()) == length);
    return size ? std::string(buffer.data(), length) : std::string();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (profilePath.empty()) {
        ZemLibInit();
        profilePath = ScratchFolder("fuzz_profile") + "/Vantorix1.ini";
        missingPath = profilePath + ".absent/Vantorix1.ini";
    }
    FuzzedDataProvider input(data, size);
    // Names and values are C texts: what follows a NUL is not part of them.
    std::string text[6];
    for (size_t i = 0; i < 6; i++)
        text[i] = input.ConsumeRandomLengthString(i == 2 ? 64 : 24).c_str();
    const std::string &section = text[0], &key = text[1], &value = text[2], &defaultText = text[3];
    const std::string &probeSection = text[4], &probeKey = text[5];
    uint32_t smallSize = input.ConsumeIntegralInRange<uint32_t>(0, 24);
    std::string content = input.ConsumeRemainingBytesAsString();
    Require(ZemFileWrite(profilePath.c_str(), content.data(), static_cast<uint32_t>(content.size()), ZEM_FILE_CREATE));

    // A small buffer gets the value cut to its size; no file at all gives the default, cut the same way.
    std::string whole = ReadValue(profilePath, section, key, defaultText, content.size() + defaultText.size() + 2);
    Require(ReadValue(profilePath, section, key, defaultText, smallSize) == whole.substr(0, smallSize - !!smallSize));
    Require(ReadValue(missingPath, section, key, defaultText, smallSize) ==
            (smallSize ? defaultText.substr(0, smallSize - 1) : ""));

    std::string probeBefore = ReadValue(profilePath, probeSection, probeKey, "", content.size() + 2);
    int written = ProfileWriteString(section.c_str(), key.c_str(), value.c_str(), profilePath.c_str());
    Require(written == ProfileCanStore(section.c_str(), key.c_str(), value.c_str()));
    if (!written) {
        std::string bytes(content.size() + 1, 0);
        long got = ZemFileRead(profilePath.c_str(), bytes.data(), static_cast<uint32_t>(bytes.size()), 0, nullptr);
        Require(got == static_cast<long>(content.size()));
        return Require(bytes.compare(0, got, content) == 0), 0;
    }
    // A value without blanks or quotes at its ends reads back as it was written.
    bool plain = value.empty() || (!isspace(static_cast<unsigned char>(value[0])) && value[0] != '"' &&
                                   value[0] != '\'' && !isspace(static_cast<unsigned char>(value.back())));
    if (plain)
        Require(ReadValue(profilePath, section, key, "", value.size() + 2) == value);
    if (strcasecmp(probeSection.c_str(), section.c_str()) != 0 || strcasecmp(probeKey.c_str(), key.c_str()) != 0)
        Require(ReadValue(profilePath, probeSection, probeKey, "",
                          content.size() + value.size() + key.size() + section.size() + 16) == probeBefore);
    return 0;
}
