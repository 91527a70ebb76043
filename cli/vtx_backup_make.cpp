// Making one backup. Everything is fetched into a hidden folder of its own
// in DIR, which is given its dated name in DIR/NAME only when the listing,
// both lists and backup.json are written whole: a backup folder is always
// a whole backup, and a failed one leaves nothing behind. The name is the
// time in UTC, so that a clock that changes to summer time neither repeats
// nor reorders names; when a backup of the same second is there, the new
// one is "-2", "-3" and so on, as a folder's name is never taken twice.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/fetch_answer.h"
#include "cli/vtx_backup.h"
#include "cli/vtx_commands.h"
#include "cli/vtx_folders.h"
#include "cli/vtx_platform.h"
#include "serial/answer_read.h"
#include "serial/serial_port.h"
#include "tree/tree_json.h"
#include "vbrowser_version.h"

const char VtxListingFile[] = "listing.json";
const char VtxParamsFile[] = "params.txt";
const char VtxToolsFile[] = "tools.txt";
const char VtxBackupFile[] = "backup.json";

std::atomic<int> VtxBackupInterrupted{0};

// More backups of one machine in one second than this would be a loop gone wrong.
static const uint32_t MOST_BACKUPS_A_SECOND = 99;

// Says why on stderr ("vtx: " and the reason) and keeps it; returns 0.
static int Fail(VtxBackupResult* result, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    vsnprintf(result->reason, sizeof(result->reason), format, arguments);
    va_end(arguments);
    fprintf(stderr, "vtx: %s\n", result->reason);
    return 0;
}

int VtxJoinPath(char* path, uint32_t size, const char* folder, const char* name)
{
    size_t length = strlen(folder);
    const char separator[2] = {VtxFolderSeparator, 0};
    int separate = length > 0 && folder[length - 1] != '/' && folder[length - 1] != VtxFolderSeparator;
    int written = snprintf(path, size, "%s%s%s", folder, separate ? separator : "", name);
    return written > 0 && static_cast<uint32_t>(written) < size;
}

int VtxIsBackupName(const char* name, uint32_t* suffix)
{
    static const char shape[] = "0000-00-00T00-00-00";
    for (uint32_t i = 0; i < VTX_STAMP_LENGTH; i++) {
        int digit = name[i] >= '0' && name[i] <= '9';
        if (shape[i] == '0' ? !digit : name[i] != shape[i])
            return 0;
    }
    *suffix = 1;
    const char* rest = name + VTX_STAMP_LENGTH;
    if (!*rest)
        return 1;
    return rest[0] == '-' && rest[1] != '0' && VtxParseCount(rest + 1, suffix) && *suffix >= 2;
}

struct Latest {
    char name[VTX_FOLDER_PATH_SIZE];
    uint32_t suffix;
};

static void KeepLatest(const char* name, void* context)
{
    Latest* latest = static_cast<Latest*>(context);
    uint32_t suffix;
    if (!VtxIsBackupName(name, &suffix) || strlen(name) >= sizeof(latest->name))
        return;
    int order = latest->name[0] ? strncmp(name, latest->name, VTX_STAMP_LENGTH) : 1;
    if (order > 0 || (order == 0 && suffix > latest->suffix)) {
        strcpy(latest->name, name);
        latest->suffix = suffix;
    }
}

static void FindPrevious(const char* machineFolder, VtxBackupResult* result)
{
    Latest latest = {};
    VtxEachFolderIn(machineFolder, KeepLatest, &latest);
    if (latest.name[0] && !VtxJoinPath(result->previous, sizeof(result->previous), machineFolder, latest.name))
        result->previous[0] = 0;
}

// DIR, or DIR/NAME, made when missing.
static int MakeFolderOnce(const char* folder, VtxBackupResult* result)
{
    const char* why = "";
    int made = VtxMakeFolder(folder, &why);
    if (made == VTX_FOLDER_FAILED)
        return Fail(result, "%s: cannot make the folder: %s", folder, why);
    VtxLocalFile there;
    if (made == VTX_FOLDER_TAKEN && VtxLookAtLocalFile(folder, &there, &why) && there.kind != VTX_FILE_DIRECTORY)
        return Fail(result, "%s: not a folder", folder);
    return 1;
}

// "NAME" or "NAME-N" for N from 2 on.
static void NumberedName(char* text, uint32_t size, const char* name, uint32_t number)
{
    if (number > 1)
        snprintf(text, size, "%s-%lu", name, static_cast<unsigned long>(number));
    else
        snprintf(text, size, "%s", name);
}

// A folder of a new name in the folder: the hidden one that is filled, or
// under its dated name the finished backup.
static int MakeNewFolder(const char* folder, const char* name, int move, const char* from, char* made,
                         VtxBackupResult* result)
{
    const char* why = "";
    for (uint32_t number = 1; number <= MOST_BACKUPS_A_SECOND; number++) {
        char numbered[128];
        NumberedName(numbered, sizeof(numbered), name, number);
        if (!VtxJoinPath(made, VTX_FOLDER_PATH_SIZE, folder, numbered))
            return Fail(result, "%s: the folder's path is too long", folder);
        int done = move ? VtxMoveFolderToNew(from, made, &why) : VtxMakeFolder(made, &why);
        if (done == VTX_FOLDER_DONE)
            return 1;
        if (done == VTX_FOLDER_FAILED)
            return Fail(result, "%s: cannot %s the folder: %s", made, move ? "name" : "make", why);
    }
    return Fail(result, "%s: %lu folders of that second are there already", made,
                static_cast<unsigned long>(MOST_BACKUPS_A_SECOND));
}

static int WriteListing(const char* folder, const DeviceTree* tree, VtxBackupResult* result)
{
    char path[VTX_FOLDER_PATH_SIZE];
    FILE* out = VtxJoinPath(path, sizeof(path), folder, VtxListingFile) ? fopen(path, "wb") : nullptr;
    if (!out)
        return Fail(result, "could not write %s", path);
    WriteTreeJson(out, tree);
    fputc('\n', out);
    int written = !ferror(out);
    if (fclose(out) != 0 || !written)
        return Fail(result, "could not write %s", path);
    return 1;
}

// The list into its file; 1 written, 2 no tool list, 0 failed.
static int FetchInto(SerialPort* port, int kind, const char* folder, VtxBackupResult* result)
{
    uint32_t start = 0, length = 0;
    int outcome = FetchControllerList(port, kind, AnswerBuffer, ANSWER_BUFFER_SIZE, &start, &length);
    if (outcome == FETCH_NO_TOOL_LIST && kind == FETCH_TOOL_LIST)
        return 2;
    if (outcome != FETCH_OK) {
        const char* message = FetchOutcomeMessage(kind, outcome);
        snprintf(result->reason, sizeof(result->reason), "%s", message ? message : "The list was not read.");
        fprintf(stderr, "%s\n", result->reason);
        VtxTellIfGone(port);
        return 0;
    }
    // The folder is new and the backup's alone: the list goes straight into
    // its file, with the bytes that `vtx params -o` and `vtx tools -o` write.
    char path[VTX_FOLDER_PATH_SIZE];
    const char* name = kind == FETCH_TOOL_LIST ? VtxToolsFile : VtxParamsFile;
    int written = VtxJoinPath(path, sizeof(path), folder, name) &&
                  ZemFileWrite(path, AnswerBuffer + start, length, ZEM_FILE_CREATE) &&
                  (kind != FETCH_PARAMETERS || ZemFileWrite(path, "\r\n", 2, ZEM_FILE_APPEND));
    return written || Fail(result, "could not write %s", path);
}

static int WriteRecord(const char* folder, const VtxMachine* machine, const VtxOptions* options, const char* time,
                       VtxBackupResult* result)
{
    char path[VTX_FOLDER_PATH_SIZE];
    FILE* out = VtxJoinPath(path, sizeof(path), folder, VtxBackupFile) ? fopen(path, "wb") : nullptr;
    if (!out)
        return Fail(result, "could not write %s", path);
    fputs("{\"machine\":", out);
    WriteJsonString(out, machine->name);
    fputs(",\"port\":", out);
    WriteJsonString(out, options->port);
    fprintf(out, ",\"baud\":%lu,\"attempts\":%lu,\"note\":", static_cast<unsigned long>(options->baud),
            static_cast<unsigned long>(options->attempts));
    WriteJsonString(out, machine->note);
    fprintf(out, ",\"time\":\"%s\",\"vtx\":\"%s\",\"files\":[\"%s\",\"%s\"", time, VBROWSER_VERSION, VtxListingFile,
            VtxParamsFile);
    if (result->hasTools)
        fprintf(out, ",\"%s\"", VtxToolsFile);
    fprintf(out, "],\"toolList\":%s}\n", result->hasTools ? "true" : "false");
    int written = !ferror(out);
    if (fclose(out) != 0 || !written)
        return Fail(result, "could not write %s", path);
    return 1;
}

// 1 unless a Ctrl-C asked to stop.
static int GoOn(VtxBackupResult* result)
{
    return !VtxBackupInterrupted.load() || Fail(result, "interrupted: the backup was not finished");
}

// The listing and both lists from the controller, then the record.
static int FillFolder(const char* folder, const VtxMachine* machine, const VtxOptions* options, const char* time,
                      VtxBackupResult* result)
{
    VtxSession session;
    if (!VtxReadMachineListing(options, &session, result->reason, sizeof(result->reason))) {
        VtxDisconnect(&session);
        return 0;
    }
    int tools = 0;
    int fetched = WriteListing(folder, session.tree, result) && GoOn(result) &&
                  FetchInto(session.port, FETCH_PARAMETERS, folder, result) && GoOn(result) &&
                  (tools = FetchInto(session.port, FETCH_TOOL_LIST, folder, result)) != 0 && GoOn(result);
    VtxDisconnect(&session);
    result->hasTools = tools == 1;
    return fetched && WriteRecord(folder, machine, options, time, result);
}

static void RemoveUnfinished(const char* folder)
{
    static const char* const names[] = {VtxListingFile, VtxParamsFile, VtxToolsFile, VtxBackupFile};
    char path[VTX_FOLDER_PATH_SIZE];
    for (const char* name : names)
        if (VtxJoinPath(path, sizeof(path), folder, name))
            ZemFileDelete(path);
    VtxRemoveFolder(folder);
}

void VtxMakeBackup(const VtxMachine* machine, const VtxOptions* options, const char* outputDir, VtxBackupResult* result)
{
    memset(result, 0, sizeof(*result));
    char machineFolder[VTX_FOLDER_PATH_SIZE];
    if (!VtxJoinPath(machineFolder, sizeof(machineFolder), outputDir, machine->name)) {
        Fail(result, "%s: the folder's path is too long", outputDir);
        return;
    }
    FindPrevious(machineFolder, result);

    time_t now = time(nullptr);
    const struct tm* utc = gmtime(&now);
    char stamp[32], iso[32], hidden[128];
    strftime(stamp, sizeof(stamp), "%Y-%m-%dT%H-%M-%S", utc);
    strftime(iso, sizeof(iso), "%Y-%m-%dT%H:%M:%SZ", utc);
    snprintf(hidden, sizeof(hidden), ".%s-%s.partial", machine->name, stamp);

    // The unfinished folder waits in DIR, so that a machine whose first
    // backup fails gets no folder at all.
    char unfinished[VTX_FOLDER_PATH_SIZE];
    if (!MakeFolderOnce(outputDir, result) || !MakeNewFolder(outputDir, hidden, 0, nullptr, unfinished, result))
        return;
    if (FillFolder(unfinished, machine, options, iso, result) && MakeFolderOnce(machineFolder, result) &&
        MakeNewFolder(machineFolder, stamp, 1, unfinished, result->folder, result)) {
        result->whole = 1;
        return;
    }
    result->folder[0] = 0;
    RemoveUnfinished(unfinished);
}
