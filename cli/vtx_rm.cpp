// vtx rm [-n] [--no-verify] PATH...: the browser's delete command, checked
// against the tree before anything is sent and read again afterwards.
#include <cstdio>
#include <cstring>

#include "app/delete_command.h"
#include "cli/vtx_commands.h"
#include "lib/zem_lib.h"
#include "serial/answer_read.h"
#include "serial/serial_port.h"
#include "tree/device_tree.h"

const char VtxRmUsage[] =
    "usage: vtx [OPTIONS] rm [-n] [--no-verify] PATH...\n"
    "\n"
    "Deletes files on the controller, one \"d PATH\" command each, in the order\n"
    "given (for example /ram/cncprg/part.nc; a PATH without a leading \"/\" is\n"
    "taken in /ram/cncprg/). The directories are read first: when a PATH is not\n"
    "a file there, nothing is sent at all. Directories cannot be deleted.\n"
    "Afterwards the directories are read again and every PATH must be gone; a\n"
    "file that is still listed is named with the controller's answer to its\n"
    "delete (for example \"Error: file is write-protected\").\n"
    "\n"
    "  -n           dry run: read and check, print the commands, send none\n"
    "  --no-verify  skip the second read, which costs one listing: its line time\n"
    "               and a few milliseconds\n"
    "\n"
    "Exit status: 0 deleted (and gone from the listing), 1 the port or the\n"
    "controller failed, a PATH is no file on the controller, or a file is still\n"
    "listed, 2 usage error. When the answer to a delete does not come in time,\n"
    "no further delete is sent: the files not tried are named and the status\n"
    "is 1.\n";

// What the controller answered to one delete, kept until the listing after.
constexpr uint32_t ANSWER_WORDS_SIZE = 160;
enum {
    DELETE_WAS_ANSWERED = 0,
    DELETE_ANSWER_MISSING = 1,   // sent, but its answer did not come in time
    DELETE_NOT_TRIED = 2,        // not sent: an earlier delete's answer was missing
};
struct DeleteAnswer {
    char words[ANSWER_WORDS_SIZE];
    int state;
};

// Why a path cannot become a delete command, or null when it can.
static const char* CheckDeletePath(const char* path, char* command)
{
    size_t length = strlen(path);
    if (length == 0)
        return "empty path";
    if (path[length - 1] == '/')
        return "not a file (directories cannot be deleted)";
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(path); *p; p++)
        if (*p < 0x20)
            return "control character in path";   // a CR would end the command early
    if (!BuildDeleteCommand(command, "", path))
        return "path too long for the delete command";
    return nullptr;
}

// 1 when every path is listed as a file before the deletes (answers null)
// or none is after them; names each path that is not as it should be, after
// the deletes with the controller's answer.
static int ListedAsExpected(DeviceTree* tree, int count, char** paths, const DeleteAnswer* answers)
{
    int all = 1;
    int listed = answers == nullptr;
    for (int i = 0; i < count; i++) {
        if ((VtxFindFile(tree, paths[i]) != nullptr) == listed)
            continue;
        if (listed)
            fprintf(stderr, "vtx: %s: no such file on the controller\n", paths[i]);
        else if (answers[i].state == DELETE_NOT_TRIED)
            continue;   // named already
        else if (answers[i].state == DELETE_ANSWER_MISSING)
            fprintf(stderr, "vtx: %s: still on the controller after the delete; its answer did not come\n", paths[i]);
        else if (answers[i].words[0])
            fprintf(stderr, "vtx: %s: still on the controller after the delete; the controller answered \"%s\"\n",
                    paths[i], answers[i].words);
        else
            fprintf(stderr, "vtx: %s: still on the controller after the delete; the controller answered nothing\n",
                    paths[i]);
        all = 0;
    }
    return all;
}

// 1 when every delete went out and was answered; 2 when one answer did not
// come: no further delete is sent, and the files not tried are named; 0
// when a command could not be sent.
static int SendDeletes(SerialPort* port, int count, char** paths, DeleteAnswer* answers)
{
    char command[DELETE_COMMAND_SIZE];
    for (int i = 0; i < count; i++) {
        BuildDeleteCommand(command, "", paths[i]);
        int outcome = SendDeleteCommand(port, command, AnswerBuffer, ANSWER_BUFFER_SIZE, answers[i].words,
                                        ANSWER_WORDS_SIZE);
        if (outcome == DELETE_NOT_SENT) {
            fputs("Can't send Command. Please check if Vantorix is connected.\n", stderr);
            return 0;
        }
        if (outcome == DELETE_NOT_ANSWERED) {
            answers[i].state = DELETE_ANSWER_MISSING;
            for (int k = i + 1; k < count; k++) {
                answers[k].state = DELETE_NOT_TRIED;
                fprintf(stderr, "vtx: %s: not deleted: the controller did not answer the delete of %s in time\n",
                        paths[k], paths[i]);
            }
            return i + 1 < count ? 2 : 1;
        }
    }
    return 1;
}

int VtxRm(int argc, char** argv, const VtxOptions* options)
{
    int dryRun = 0, verify = 1, i = 1;
    for (; i < argc && argv[i][0] == '-'; i++) {
        if (strcmp(argv[i], "--") == 0) {
            i++;
            break;
        }
        if (strcmp(argv[i], "-n") == 0)
            dryRun = 1;
        else if (strcmp(argv[i], "--no-verify") == 0)
            verify = 0;
        else
            return VtxUsageError("rm", "unknown option", argv[i]);
    }
    int count = argc - i;
    char** paths = argv + i;
    if (count < 1)
        return VtxUsageError("rm", "no path given", nullptr);
    char command[DELETE_COMMAND_SIZE];
    for (int k = 0; k < count; k++) {
        const char* problem = CheckDeletePath(paths[k], command);
        if (problem)
            return VtxUsageError("rm", problem, paths[k]);
    }

    DeleteAnswer* answers = nullptr;
    if (!ZemMemAllocAs(&answers, sizeof(DeleteAnswer) * static_cast<size_t>(count), ZEM_ZERO_MEMORY)) {
        fputs("Not enough memory.\n", stderr);
        return VTX_EXIT_FAILED;
    }
    VtxSession session;
    int result = VTX_EXIT_FAILED;
    if (VtxConnectAndRead(options, &session) && ListedAsExpected(session.tree, count, paths, nullptr)) {
        if (dryRun) {
            for (int k = 0; k < count; k++)
                printf("d %s\n", paths[k]);
            result = VTX_EXIT_OK;
        } else if (int sent = SendDeletes(session.port, count, paths, answers)) {
            if (!verify || (VtxReadAgain(&session) && ListedAsExpected(session.tree, count, paths, answers)))
                result = sent == 1 ? VTX_EXIT_OK : VTX_EXIT_FAILED;
        }
    }
    VtxDisconnect(&session);
    ZemMemFreeAs(&answers);
    return result;
}
