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
