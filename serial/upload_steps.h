// Helpers that the files of the batch sender share among themselves.
#pragma once

#include <cstdint>

struct UploadJob;
struct UploadFrame;

// Publishes a whole new text (zero-filled behind it) under the text lock.
void UploadPublishText(char* text, const char* value);
// "Uploading : " and the base name, shortened with "..." to the room left.
void SetUploadFileText(const char* baseName);
// "%lu from %lu Bytes uploaded".
void SetUploadStatusText(uint32_t sent, uint32_t size);
// Copies name into out, keeping start and end around "..." when it exceeds room characters.
void ShortenFileName(const char* name, char* out, uint32_t room);

// 1 when the directory names the flash disk ("/ROM" in any letter case).
int IsFlashTarget(const char* targetDir);
// Zero-fills the data area and writes directory, name ('_' for spaces), NUL
// and the decimal size; returns the bytes used, NUL and digits included.
uint32_t BuildHeaderText(unsigned char* data, const char* targetDir, const char* baseName, uint32_t size);
