#include "app/upload_report.h"

#include <cstdio>
#include <cstring>

#include "app/message_texts.h"
#include "serial/upload_check.h"
#include "serial/upload_job.h"

// The sentence for one file that is not there as sent.
static void DescribeFile(int state, const UploadedFile* file, char* out, uint32_t size)
{
    if (state == UPLOAD_FILE_NOT_LISTED) {
        FillMessageText(MSG_UPLOAD_NOT_LISTED, file->pcName, out, size);
        return;
    }
    char listed[16], sent[16];
    snprintf(listed, sizeof(listed), "%lu", static_cast<unsigned long>(file->listed));
    snprintf(sent, sizeof(sent), "%lu", static_cast<unsigned long>(file->sent));
    const char* parts[] = {file->pcName, listed, sent};
    FillMessageParts(MSG_UPLOAD_NOT_AS_SENT, parts, 3, out, size);
}

int DescribeUploadCheck(const UploadJob* job, DeviceTree* tree, char* out, uint32_t size)
{
    if (size == 0)
        return 0;
    out[0] = '\0';
    int named = 0, wrong = 0;
    size_t used = 0;
    UploadedFile file;
    for (const char* name = job->fileList; *name; name = NextUploadName(name)) {
        int state = CheckUploadedFile(job, name, tree, &file);
        if (state != UPLOAD_FILE_NOT_LISTED && state != UPLOAD_FILE_OTHER_SIZE)
            continue;
        wrong++;
        char sentence[sizeof(file.pcName) + 128];
        DescribeFile(state, &file, sentence, sizeof(sentence));
        // A sentence goes in whole or not at all.
        int added = snprintf(out + used, size - used, "%s%s", named ? "\n" : "", sentence);
        if (added < 0 || used + static_cast<size_t>(added) >= size) {
            out[used] = '\0';
            continue;
        }
        used += static_cast<size_t>(added);
        named++;
    }
    return wrong;
}
