// Profile (INI) strings: GetPrivateProfileStringA / WritePrivateProfileStringA
// on Windows, our own reader and writer elsewhere. A missing file, section or
// key gives the default; a value longer than the buffer is cut to size - 1;
// a write creates file, section and key as needed and reports 1 or 0.
#pragma once

#include <cstdint>

uint32_t ProfileReadString(const char* section, const char* key, const char* defaultText,
                           char* buffer, uint32_t size, const char* path);
int ProfileWriteString(const char* section, const char* key, const char* value, const char* path);

// 1 when the key and value can be written so that they read back as given:
// no line break anywhere, no "=" in the key, no "]" in the section name.
// Both backends refuse a write (0) that fails this test.
int ProfileCanStore(const char* section, const char* key, const char* value);
