// The two texts that the sender writes and the progress dialog shows. The
// writer builds a text aside and publishes it whole under a small lock; the
// dialog copies it out under the same lock, so it never sees half a text.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "serial/upload_protocol.h"
#include "serial/upload_steps.h"

char UploadFileText[UPLOAD_TEXT_SIZE];
char UploadStatusText[UPLOAD_TEXT_SIZE];

static std::mutex uploadTextLock;

static const char FILE_TEXT_PREFIX[] = "Uploading : ";
constexpr uint32_t FILE_NAME_ROOM = UPLOAD_TEXT_SIZE - (sizeof(FILE_TEXT_PREFIX) - 1) - 1;   // 243
static const char ELLIPSIS[] = "...";

void UploadPublishText(char* text, const char* value)
{
    char local[UPLOAD_TEXT_SIZE] = {};
    snprintf(local, sizeof(local), "%s", value);   // cut to the room, always ended
    std::lock_guard<std::mutex> hold(uploadTextLock);
    memcpy(text, local, UPLOAD_TEXT_SIZE);
}

void UploadCopyText(const char* text, char* out, uint32_t size)
{
    if (!size)
        return;
    std::lock_guard<std::mutex> hold(uploadTextLock);
    uint32_t length = static_cast<uint32_t>(strnlen(text, UPLOAD_TEXT_SIZE - 1));
    if (length > size - 1)
        length = size - 1;
    memcpy(out, text, length);
    out[length] = 0;
}

// A cut never lands inside a multi-byte UTF-8 character.
static int IsContinuationByte(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

void ShortenFileName(const char* name, char* out, uint32_t room)
{
    uint32_t length = static_cast<uint32_t>(strlen(name));
    if (length <= room) {
        memcpy(out, name, length + 1);
        return;
    }
    // Keep the start and the end (where the extension is), joined by "...".
    uint32_t keep = room - (sizeof(ELLIPSIS) - 1);
    uint32_t head = keep / 2;
    uint32_t tail = length - (keep - head);
    while (head > 0 && IsContinuationByte(static_cast<unsigned char>(name[head])))
        head--;
    while (tail < length && IsContinuationByte(static_cast<unsigned char>(name[tail])))
        tail++;
    memcpy(out, name, head);
    memcpy(out + head, ELLIPSIS, sizeof(ELLIPSIS) - 1);
    memcpy(out + head + sizeof(ELLIPSIS) - 1, name + tail, length - tail + 1);
}

void SetUploadFileText(const char* baseName)
{
    char text[UPLOAD_TEXT_SIZE] = {};
    memcpy(text, FILE_TEXT_PREFIX, sizeof(FILE_TEXT_PREFIX) - 1);
    ShortenFileName(baseName, text + sizeof(FILE_TEXT_PREFIX) - 1, FILE_NAME_ROOM);
    UploadPublishText(UploadFileText, text);
}

void SetUploadStatusText(uint32_t sent, uint32_t size)
{
    char text[UPLOAD_TEXT_SIZE];
    snprintf(text, sizeof(text), "%lu from %lu Bytes uploaded", static_cast<unsigned long>(sent),
             static_cast<unsigned long>(size));
    UploadPublishText(UploadStatusText, text);
}
