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

// Where the sentences go: as many whole ones as fit.
struct UploadReportText {
    char* out;
    size_t size, used;
    int named;
};

static void AddSentence(void* context, const UploadedFile* file, int state)
{
    UploadReportText* report = static_cast<UploadReportText*>(context);
    char sentence[sizeof(file->pcName) + 128];
    DescribeFile(state, file, sentence, sizeof(sentence));
    char* end = report->out + report->used;
    int added = snprintf(end, report->size - report->used, "%s%s", report->named ? "\n" : "", sentence);
    if (added < 0 || report->used + static_cast<size_t>(added) >= report->size) {
        *end = '\0';   // a sentence goes in whole or not at all
        return;
    }
    report->used += static_cast<size_t>(added);
    report->named++;
}

int DescribeUploadCheck(const UploadJob* job, DeviceTree* tree, char* out, uint32_t size)
{
    if (size == 0)
        return 0;
    out[0] = '\0';
    UploadReportText report = {out, size, 0, 0};
    int wrong = CheckUploadedBatch(job, tree, AddSentence, &report);
    return wrong < 0 ? 0 : wrong;
}
