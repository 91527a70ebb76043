// Comparing two backups. A list line is known by its key, the first word of
// the line (up to a blank, "=" or ":"): "1010 Rapid X = 10000" by "1010",
// "T1 D6.000 ..." by "T1", "X=1" by "X". A key in both backups whose line
// differs is a changed line; a key that repeats is matched in its order.
// Programs are known by their path on the controller, and changed when
// their size is.
#include <cstdlib>
#include <cstring>

#include "cli/vtx_backup.h"

// A listing.json holds at most a full answer's entries with their JSON.
static const uint32_t LISTING_JSON_MAX = 64u * 1024 * 1024;
static const uint32_t LIST_FILE_MAX = 1024 * 1024;
static const uint32_t RECORD_FILE_MAX = 64 * 1024;
static const uint32_t NO_PARTNER = 0xFFFFFFFFu;

struct ListLine {
    const char* text;
    const char* key;
    uint32_t keyLength;
    uint32_t order;     // its place in the list
    uint32_t partner;   // the same key's line in the other backup, or NO_PARTNER
};

static ListLine* LineAt(const EntryArray* lines, uint32_t index)
{
    return static_cast<ListLine*>(ZemArrayAt(lines, index));
}

// The lines of the text, cut in place at their ends; empty ones are left out.
static int SplitLines(char* text, EntryArray* lines)
{
    for (char* next = text; next && *next;) {
        char* start = next;
        next = strchr(start, '\n');
        if (next)
            *next++ = 0;
        size_t length = strlen(start);
        while (length > 0 && start[length - 1] == '\r')
            start[--length] = 0;
        const char* key = start + strspn(start, " \t");
        if (!*key)
            continue;
        ListLine line = {start, key, static_cast<uint32_t>(strcspn(key, " \t=:")), lines->count, NO_PARTNER};
        if (!ZemArrayInsert(lines, &line, 0xFFFFFFFFu, 1))
            return 0;
    }
    return 1;
}

static int ReadFail(const char* folder, const char* name, const char* why)
{
    fprintf(stderr, "vtx: %s: %s: %s\n", folder, name, why);
    return 0;
}

// The text of one file of the backup, or null after saying why.
static char* ReadPart(const char* folder, const char* name, uint32_t most)
{
    char path[VTX_FOLDER_PATH_SIZE];
    char* text = nullptr;
    uint32_t length;
    const char* why = "the path is too long";
    if (!VtxJoinPath(path, sizeof(path), folder, name) || !VtxReadWholeFile(path, most, &text, &length, &why))
        ReadFail(folder, name, why);
    return text;
}

static int LoadBackup(const char* folder, VtxBackupContent* content)
{
    memset(content, 0, sizeof(*content));
    content->lines[0] = ZemArrayCreate(sizeof(ListLine), 64);
    content->lines[1] = ZemArrayCreate(sizeof(ListLine), 16);
    content->entries = ZemArrayCreate(sizeof(VtxListedEntry), 64);
    if (!content->lines[0] || !content->lines[1] || !content->entries)
        return ReadFail(folder, VtxBackupFile, "not enough memory");
    char* record = ReadPart(folder, VtxBackupFile, RECORD_FILE_MAX);
    if (!record)
        return 0;
    int hasTools = strstr(record, "\"toolList\":true") != nullptr;
    int known = hasTools || strstr(record, "\"toolList\":false") != nullptr;
    ZemMemFreeAs(&record);
    if (!known)
        return ReadFail(folder, VtxBackupFile, "not a backup record: it says nothing of the tool list");
    char* listing = ReadPart(folder, VtxListingFile, LISTING_JSON_MAX);
    if (!listing)
        return 0;
    int read = VtxReadListingJson(listing, content->entries, &content->ramDiskFree, &content->flashDiskFree);
    ZemMemFreeAs(&listing);
    if (!read)
        return ReadFail(folder, VtxListingFile, "not a listing as vtx writes it");
    content->params = ReadPart(folder, VtxParamsFile, LIST_FILE_MAX);
    if (!content->params || !SplitLines(content->params, content->lines[0]))
        return 0;
    if (!hasTools)
        return 1;
    content->tools = ReadPart(folder, VtxToolsFile, LIST_FILE_MAX);
    return content->tools && SplitLines(content->tools, content->lines[1]);
}

static void FreeBackup(VtxBackupContent* content)
{
    ZemMemFreeAs(&content->params);
    ZemMemFreeAs(&content->tools);
    EntryArray* arrays[] = {content->lines[0], content->lines[1], content->entries};
    for (EntryArray* array : arrays)
        if (array)
            ZemArrayDestroy(array);
    memset(content, 0, sizeof(*content));
}

// qsort has no context: the lines that the indices being sorted point into.
static const EntryArray* sortedLines;

static int ByKeyThenOrder(const void* a, const void* b)
{
    const ListLine* x = LineAt(sortedLines, *static_cast<const uint32_t*>(a));
    const ListLine* y = LineAt(sortedLines, *static_cast<const uint32_t*>(b));
    uint32_t shorter = x->keyLength < y->keyLength ? x->keyLength : y->keyLength;
    int order = memcmp(x->key, y->key, shorter);
    if (order == 0)
        order = x->keyLength < y->keyLength ? -1 : x->keyLength > y->keyLength ? 1 : 0;
    if (order == 0)
        order = x->order < y->order ? -1 : 1;
    return order;
}

static uint32_t* SortedByKey(const EntryArray* lines)
{
    uint32_t* indices = nullptr;
    if (!ZemMemAllocAs(&indices, (lines->count + 1) * sizeof(uint32_t), 0))
        return nullptr;
    for (uint32_t i = 0; i < lines->count; i++)
        indices[i] = i;
    sortedLines = lines;
    qsort(indices, lines->count, sizeof(uint32_t), ByKeyThenOrder);
    return indices;
}

static int CompareKeys(const ListLine* x, const ListLine* y)
{
    uint32_t shorter = x->keyLength < y->keyLength ? x->keyLength : y->keyLength;
    int order = memcmp(x->key, y->key, shorter);
    return order ? order : static_cast<int>(x->keyLength) - static_cast<int>(y->keyLength);
}

// Pairs the n-th line of a key before with the n-th line of that key after.
static int PairLines(EntryArray* before, EntryArray* after)
{
    uint32_t* old = SortedByKey(before);
    uint32_t* now = old ? SortedByKey(after) : nullptr;
    uint32_t i = 0, j = 0;
    while (now && i < before->count && j < after->count) {
        ListLine* x = LineAt(before, old[i]);
        ListLine* y = LineAt(after, now[j]);
        int order = CompareKeys(x, y);
        if (order == 0) {
            x->partner = now[j];
            y->partner = old[i];
        }
        i += order <= 0;
        j += order >= 0;
    }
    int paired = now != nullptr;
    ZemMemFreeAs(&old);
    ZemMemFreeAs(&now);
    return paired;
}

static void NoteLine(VtxListChanges* changes, uint32_t* count, const char* before, const char* after)
{
    *count += 1;
    if (changes->shown < VTX_CHANGES_SHOWN)
        changes->first[changes->shown++] = {before, after};
}

static int CompareLists(EntryArray* before, EntryArray* after, VtxListChanges* changes)
{
    memset(changes, 0, sizeof(*changes));
    if (!PairLines(before, after))
        return 0;
    for (uint32_t j = 0; j < after->count; j++) {
        const ListLine* line = LineAt(after, j);
        if (line->partner == NO_PARTNER)
            NoteLine(changes, &changes->added, nullptr, line->text);
        else if (strcmp(LineAt(before, line->partner)->text, line->text) != 0)
            NoteLine(changes, &changes->changed, LineAt(before, line->partner)->text, line->text);
    }
    for (uint32_t i = 0; i < before->count; i++)
        if (LineAt(before, i)->partner == NO_PARTNER)
            NoteLine(changes, &changes->removed, LineAt(before, i)->text, nullptr);
    return 1;
}

static int ByPathThenSize(const void* a, const void* b)
{
    const VtxListedEntry* x = static_cast<const VtxListedEntry*>(a);
    const VtxListedEntry* y = static_cast<const VtxListedEntry*>(b);
    int order = strcmp(x->path, y->path);
    return order ? order : x->size < y->size ? -1 : x->size > y->size ? 1 : 0;
}

static void NoteProgram(VtxProgramChanges* changes, uint32_t* count, const char* path, int64_t before, int64_t after)
{
    *count += 1;
    if (changes->shown >= VTX_CHANGES_SHOWN)
        return;
    VtxProgramChange* change = &changes->first[changes->shown++];
    strcpy(change->path, path);
    change->before = before;
    change->after = after;
}

// Both lists sorted by path, walked side by side.
static void ComparePrograms(EntryArray* before, EntryArray* after, VtxProgramChanges* changes)
{
    memset(changes, 0, sizeof(*changes));
    qsort(before->data, before->count, sizeof(VtxListedEntry), ByPathThenSize);
    qsort(after->data, after->count, sizeof(VtxListedEntry), ByPathThenSize);
    uint32_t i = 0, j = 0;
    while (i < before->count || j < after->count) {
        const VtxListedEntry* x = i < before->count ? static_cast<VtxListedEntry*>(ZemArrayAt(before, i)) : nullptr;
        const VtxListedEntry* y = j < after->count ? static_cast<VtxListedEntry*>(ZemArrayAt(after, j)) : nullptr;
        int order = !x ? 1 : !y ? -1 : strcmp(x->path, y->path);
        if (order < 0)
            NoteProgram(changes, &changes->removed, x->path, x->size, -1);
        else if (order > 0)
            NoteProgram(changes, &changes->added, y->path, -1, y->size);
        else if (x->size != y->size)
            NoteProgram(changes, &changes->changed, x->path, x->size, y->size);
        i += order <= 0;
        j += order >= 0;
    }
}

int VtxCompareBackups(const char* before, const char* after, VtxChanges* changes)
{
    memset(changes, 0, sizeof(*changes));
    if (!LoadBackup(before, &changes->before) || !LoadBackup(after, &changes->after))
        return 0;
    if (!CompareLists(changes->before.lines[0], changes->after.lines[0], &changes->params) ||
        !CompareLists(changes->before.lines[1], changes->after.lines[1], &changes->tools)) {
        fputs("Not enough memory.\n", stderr);
        return 0;
    }
    ComparePrograms(changes->before.entries, changes->after.entries, &changes->programs);
    return 1;
}

void VtxFreeChanges(VtxChanges* changes)
{
    FreeBackup(&changes->before);
    FreeBackup(&changes->after);
}

int VtxAnythingChanged(const VtxChanges* changes)
{
    const VtxListChanges* lists[] = {&changes->params, &changes->tools};
    for (const VtxListChanges* list : lists)
        if (list->added || list->removed || list->changed)
            return 1;
    return changes->programs.added || changes->programs.removed || changes->programs.changed ||
           changes->before.ramDiskFree != changes->after.ramDiskFree ||
           changes->before.flashDiskFree != changes->after.flashDiskFree;
}
