// What changed between two backups, as lines for people (one change a line,
// the first 20 of each kind of list and how many more) or as one JSON object.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "cli/vtx_backup.h"
#include "tree/tree_json.h"

// Controller text: control and 8-bit bytes as \xNN so that they cannot
// drive the terminal, a backslash doubled, as `vtx ls` shows names.
static void PrintEscaped(FILE* out, const char* text)
{
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++) {
        if (*p == '\\')
            fputs("\\\\", out);
        else if (*p < 0x20 || *p >= 0x7F)
            fprintf(out, "\\x%02x", *p);
        else
            fputc(*p, out);
    }
}

static uint32_t Total(uint32_t added, uint32_t removed, uint32_t changed)
{
    return added + removed + changed;
}

static void PrintCounts(FILE* out, const char* what, uint32_t added, uint32_t removed, uint32_t changed,
                        const char* changedWord)
{
    fprintf(out, "%s: %lu added, %lu removed, %lu %s\n", what, static_cast<unsigned long>(added),
            static_cast<unsigned long>(removed), static_cast<unsigned long>(changed), changedWord);
}

static void PrintMore(FILE* out, uint32_t total, uint32_t shown)
{
    if (total > shown)
        fprintf(out, "  ... %lu more\n", static_cast<unsigned long>(total - shown));
}

static void PrintList(FILE* out, const char* what, const VtxListChanges* list)
{
    uint32_t total = Total(list->added, list->removed, list->changed);
    if (total == 0)
        return;
    PrintCounts(out, what, list->added, list->removed, list->changed, "changed");
    for (uint32_t i = 0; i < list->shown; i++) {
        const VtxLineChange* change = &list->first[i];
        fputs(!change->before ? "  added    " : !change->after ? "  removed  " : "  changed  ", out);
        PrintEscaped(out, change->before ? change->before : change->after);
        if (change->before && change->after) {
            fputs("  ->  ", out);
            PrintEscaped(out, change->after);
        }
        fputc('\n', out);
    }
    PrintMore(out, total, list->shown);
}

static void PrintSize(FILE* out, const char* path, int64_t size)
{
    size_t length = strlen(path);
    if (length > 0 && path[length - 1] == '/')
        fputs("(directory)", out);
    else
        fprintf(out, "%" PRId64 " bytes", size);
}

static void PrintPrograms(FILE* out, const VtxProgramChanges* programs)
{
    uint32_t total = Total(programs->added, programs->removed, programs->changed);
    if (total == 0)
        return;
    PrintCounts(out, "programs", programs->added, programs->removed, programs->changed, "changed in size");
    for (uint32_t i = 0; i < programs->shown; i++) {
        const VtxProgramChange* change = &programs->first[i];
        fputs(change->before < 0 ? "  added    " : change->after < 0 ? "  removed  " : "  changed  ", out);
        PrintEscaped(out, change->path);
        fputs("  ", out);
        if (change->before >= 0 && change->after >= 0)
            fprintf(out, "%" PRId64 " -> ", change->before);
        PrintSize(out, change->path, change->after >= 0 ? change->after : change->before);
        fputc('\n', out);
    }
    PrintMore(out, total, programs->shown);
}

static void PrintFree(FILE* out, const char* disk, uint32_t before, uint32_t after)
{
    if (before == after)
        fprintf(out, "%s %lu bytes (no change)", disk, static_cast<unsigned long>(after));
    else
        fprintf(out, "%s %lu -> %lu bytes", disk, static_cast<unsigned long>(before), static_cast<unsigned long>(after));
}

void VtxPrintChanges(FILE* out, const VtxChanges* changes)
{
    if (!VtxAnythingChanged(changes)) {
        fputs("no changes\n", out);
        return;
    }
    PrintList(out, "parameter lines", &changes->params);
    PrintList(out, "tool lines", &changes->tools);
    PrintPrograms(out, &changes->programs);
    const VtxBackupContent* before = &changes->before;
    const VtxBackupContent* after = &changes->after;
    if (before->ramDiskFree == after->ramDiskFree && before->flashDiskFree == after->flashDiskFree)
        return;
    fputs("free space: ", out);
    PrintFree(out, "RAM disk", before->ramDiskFree, after->ramDiskFree);
    fputs(", ", out);
    PrintFree(out, "flash disk", before->flashDiskFree, after->flashDiskFree);
    fputc('\n', out);
}

static void WriteCounts(FILE* out, uint32_t added, uint32_t removed, uint32_t changed)
{
    fprintf(out, "{\"added\":%lu,\"removed\":%lu,\"changed\":%lu,\"first\":[", static_cast<unsigned long>(added),
            static_cast<unsigned long>(removed), static_cast<unsigned long>(changed));
}

static const char* ChangeWord(int added, int removed)
{
    return added ? "added" : removed ? "removed" : "changed";
}

static void WriteListJson(FILE* out, const VtxListChanges* list)
{
    WriteCounts(out, list->added, list->removed, list->changed);
    for (uint32_t i = 0; i < list->shown; i++) {
        const VtxLineChange* change = &list->first[i];
        fprintf(out, "%s{\"change\":\"%s\"", i ? "," : "", ChangeWord(!change->before, !change->after));
        if (change->before) {
            fputs(",\"before\":", out);
            WriteJsonString(out, change->before);
        }
        if (change->after) {
            fputs(",\"after\":", out);
            WriteJsonString(out, change->after);
        }
        fputc('}', out);
    }
    fputs("]}", out);
}

static void WriteProgramsJson(FILE* out, const VtxProgramChanges* programs)
{
    WriteCounts(out, programs->added, programs->removed, programs->changed);
    for (uint32_t i = 0; i < programs->shown; i++) {
        const VtxProgramChange* change = &programs->first[i];
        fprintf(out, "%s{\"change\":\"%s\",\"path\":", i ? "," : "", ChangeWord(change->before < 0, change->after < 0));
        WriteJsonString(out, change->path);
        if (change->before >= 0)
            fprintf(out, ",\"before\":%" PRId64, change->before);
        if (change->after >= 0)
            fprintf(out, ",\"after\":%" PRId64, change->after);
        fputc('}', out);
    }
    fputs("]}", out);
}

void VtxWriteChangesJson(FILE* out, const VtxChanges* changes)
{
    fputs("{\"parameters\":", out);
    WriteListJson(out, &changes->params);
    fputs(",\"tools\":", out);
    WriteListJson(out, &changes->tools);
    fputs(",\"programs\":", out);
    WriteProgramsJson(out, &changes->programs);
    fprintf(out, ",\"ramDiskFree\":{\"before\":%lu,\"after\":%lu},\"flashDiskFree\":{\"before\":%lu,\"after\":%lu}}",
            static_cast<unsigned long>(changes->before.ramDiskFree), static_cast<unsigned long>(changes->after.ramDiskFree),
            static_cast<unsigned long>(changes->before.flashDiskFree),
            static_cast<unsigned long>(changes->after.flashDiskFree));
}

// "2 parameter lines, 1 program, free space", or "none".
void VtxSummarizeChanges(const VtxChanges* changes, char* text, uint32_t size)
{
    struct { uint32_t count; const char* one; const char* many; } parts[] = {
        {Total(changes->params.added, changes->params.removed, changes->params.changed), "parameter line", "parameter lines"},
        {Total(changes->tools.added, changes->tools.removed, changes->tools.changed), "tool line", "tool lines"},
        {Total(changes->programs.added, changes->programs.removed, changes->programs.changed), "program", "programs"},
    };
    snprintf(text, size, "none");
    size_t used = 0;
    for (const auto& part : parts) {
        if (part.count && used < size)
            used += snprintf(text + used, size - used, "%s%lu %s", used ? ", " : "", static_cast<unsigned long>(part.count),
                             part.count == 1 ? part.one : part.many);
    }
    int freeChanged = changes->before.ramDiskFree != changes->after.ramDiskFree ||
                      changes->before.flashDiskFree != changes->after.flashDiskFree;
    if (freeChanged && used < size)
        snprintf(text + used, size - used, "%sfree space", used ? ", " : "");
}
