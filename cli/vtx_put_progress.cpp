// Progress of vtx put, fed by the sender's notices on the sending thread.
#include <cstdio>
#include <cstring>

#include "cli/vtx_platform.h"
#include "cli/vtx_put_progress.h"
#include "lib/zem_time.h"
#include "serial/upload_notice.h"
#include "serial/upload_protocol.h"

struct PutProgress {
    int live;                // redraw one line in place
    int active;              // a file has been announced
    char name[UPLOAD_TEXT_SIZE];
    unsigned long sent;
    unsigned long total;
    uint32_t startTick;
    uint32_t filesDone;
    uint64_t bytesDone;
};

static PutProgress progress;

static const char FILE_TEXT_PREFIX[] = "Uploading : ";
constexpr int BAR_WIDTH = 24;

static void FormatRate(char* out, size_t size, double bytesPerSecond)
{
    if (bytesPerSecond >= 1024.0 * 1024.0)
        snprintf(out, size, "%.1f MiB/s", bytesPerSecond / (1024.0 * 1024.0));
    else
        snprintf(out, size, "%.1f KiB/s", bytesPerSecond / 1024.0);
}

static double SecondsSinceStart()
{
    return (ZemTickCount() - progress.startTick) / 1000.0;
}

static void DrawBar()
{
    double seconds = SecondsSinceStart();
    double rate = seconds > 0 ? progress.sent / seconds : 0;
    char rateText[32];
    FormatRate(rateText, sizeof(rateText), rate);
    int filled = progress.total ? static_cast<int>(static_cast<uint64_t>(progress.sent) * BAR_WIDTH / progress.total) : 0;
    char bar[BAR_WIDTH + 1];
    for (int i = 0; i < BAR_WIDTH; i++)
        bar[i] = i < filled ? '#' : '-';
    bar[BAR_WIDTH] = 0;
    char left[32] = "--:--";
    if (rate > 0) {
        unsigned long remaining = static_cast<unsigned long>((progress.total - progress.sent) / rate + 0.5);
        snprintf(left, sizeof(left), "%02lu:%02lu", remaining / 60, remaining % 60);
    }
    char line[160];
    snprintf(line, sizeof(line), "%.40s [%s] %lu/%lu bytes  %s  %s left", progress.name, bar, progress.sent,
             progress.total, rateText, left);
    VtxRedrawLine(line);
}

// A file counts as done when its last data block was acknowledged.
static void CloseFile()
{
    if (!progress.active)
        return;
    int complete = progress.total && progress.sent == progress.total;
    if (complete) {
        progress.filesDone++;
        progress.bytesDone += progress.total;
    }
    if (progress.live) {
        fputc('\n', stderr);
    } else if (complete) {
        char rateText[32];
        double seconds = SecondsSinceStart();
        FormatRate(rateText, sizeof(rateText), seconds > 0 ? progress.total / seconds : 0);
        fprintf(stderr, "%s: %lu bytes sent (%s)\n", progress.name, progress.total, rateText);
    }
    progress.active = 0;
}

static void OpenFile()
{
    CloseFile();
    char text[UPLOAD_TEXT_SIZE];
    UploadCopyText(UploadFileText, text, sizeof(text));
    const char* name = text;
    if (strncmp(name, FILE_TEXT_PREFIX, sizeof(FILE_TEXT_PREFIX) - 1) == 0)
        name += sizeof(FILE_TEXT_PREFIX) - 1;
    snprintf(progress.name, sizeof(progress.name), "%s", name);
    progress.active = 1;
    progress.sent = 0;
    progress.total = 0;
    progress.startTick = ZemTickCount();
}

static void TakeStatus()
{
    char text[UPLOAD_TEXT_SIZE];
    UploadCopyText(UploadStatusText, text, sizeof(text));
    unsigned long sent, total;
    if (!progress.active || sscanf(text, "%lu from %lu", &sent, &total) != 2)
        return;
    progress.sent = sent;
    progress.total = total;
    if (progress.live)
        DrawBar();
}

static void OnNotice(void*, unsigned id, intptr_t)
{
    if (id == UM_SET_FILE_TEXT)
        OpenFile();
    else if (id == UM_SET_STATUS_TEXT)
        TakeStatus();
}

void StartPutProgress(int live)
{
    memset(&progress, 0, sizeof(progress));
    progress.live = live;
    static const UploadNoticeSink sink = {OnNotice, nullptr};
    UploadSetNoticeSink(&sink);
}

uint32_t FinishPutProgress(uint64_t* bytes)
{
    CloseFile();
    UploadSetNoticeSink(nullptr);
    *bytes = progress.bytesDone;
    return progress.filesDone;
}
