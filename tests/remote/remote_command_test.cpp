// The delete command text and where it stops fitting; fetches and deletes on a scripted line, each fetched list
// written over the old one on a disk that may fill up; a link or a pipe named as the list.
#include "app/delete_command.h"
#include "app/fetch_answer.h"
#include "lib/zem_lib.h"
#include "serial/serial_port.h"
#include "tests/support/case_blocks.h"
#include "tests/support/rows.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_device.h"

#include <map>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

TEST(BuildDeleteCommand, JoinsPathAndNameAndUsesEveryByteButNoMore)
{
    char command[DELETE_COMMAND_SIZE], target[DELETE_COMMAND_SIZE];
    for (const Row& c : ReadRows("remote/delete.rows", {{"", 4, 4}})) {
        SCOPED_TRACE(c.Where());
        memset(command, 'x', sizeof(command));
        EXPECT_EQ(BuildDeleteCommand(command, c[0].c_str(), c[1].c_str()), !c[2].empty());
        EXPECT_EQ(command, c[2]);
        GetDeleteTarget(command, target, sizeof(target));
        EXPECT_EQ(target, c[3]);
    }
}

// Room left on the disk for the writes of ZemFileWrite: a write past it puts what fits, and one with no room
// writes nothing, as on a full disk.
uint32_t diskRoom;
int64_t FullDiskWrite(intptr_t file, const void* bytes, uint32_t length)
{
    uint32_t fits = std::min(length, diskRoom);
    diskRoom -= fits;
    return fits ? ZemFilePlatformWriteCall()(file, bytes, fits) : 0;
}

// The names in the folder, sorted.
std::string FolderNames(const ScratchDir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

// The directives of remote/commands.txt (README.md), each with how many words follow it.
const std::vector<VerbShape> CommandVerbs = {
    {"fetch", 1, 1},         {"delete", 1, 1},       {"answer", 0, ANY_NUMBER}, {"failing-writes", 1, 1},
    {"busy", 0, 0},          {"hook", 1, 1},         {"before", 1, ANY_NUMBER}, {"no-list", 0, 0},
    {"folder", 0, 0},        {"taken", 1, 1},        {"elsewhere", 0, 0},       {"room", 1, 1},
    {"outcome", 1, 1},       {"message", 1, ANY_NUMBER}, {"file", 0, ANY_NUMBER}, {"sent", 0, 0},
    {"words", 1, ANY_NUMBER}, {"names", 0, ANY_NUMBER}, {"failed", 1, ANY_NUMBER}, {"written", 1, 1}};

TEST(RemoteCommands, WhatReachesTheLineTheFileAndTheUser)
{
    const std::vector<std::string> ended = {"ANSWERED", "NOT_SENT", "NOT_ANSWERED"}, fetchOutcomes = {"OK",
        "SEND_FAILED", "NO_ANSWER", "NO_TOOL_LIST", "TOO_LONG", "ENDLESS", "ABANDONED", "NO_LIST"};
    for (const CaseBlock& c : ReadCaseBlocks(TESTS_DIR "/remote/commands.txt", CommandVerbs)) {
        ScriptedLine line;
        line.bytesPerRead = 4;   // every answer takes several read times
        InstallScriptedLine(&line);
        SerialPort* port;
        ASSERT_NE(port = ZemSerComOpen("COM1", 9600), nullptr);
        ScratchDir dir;
        for (size_t at = 0; at < c.lines.size();) {
            const CaseLine& step = c.lines[at];
            SCOPED_TRACE(c.Where(step.line));
            const int fetch = step.verb == "fetch", kind = step.words[0] == "t" ? FETCH_TOOL_LIST : FETCH_PARAMETERS;
            char command[DELETE_COMMAND_SIZE];   // a delete's
            BuildDeleteCommand(command, "/ram/", step.rest.c_str());
            // What the checks of the step expect unless they say otherwise.
            std::map<std::string, std::string> expect = {{"sent", fetch ? step.rest + "\r\n" : command}};
            expect["message"] = expect["words"] = expect["failed"] = "";
            const std::string path = dir.File("list.txt");
            std::string target = path, before = "old";
            ByteText answer;
            int taken = 1;
            diskRoom = UINT32_MAX;
            for (at++; at < c.lines.size() && c.lines[at].verb != "fetch" && c.lines[at].verb != "delete"; at++) {
                const CaseLine& l = c.lines[at];
                const std::string text = l.verb == "answer" ? "" : TextBytes(l.rest, c.Where(l.line));
                if (l.verb == "answer")
                    EXPECT_EQ(ReadByteText(l.rest, &answer), "");
                else if (l.verb == "failing-writes")
                    line.failWrites = std::stoi(l.rest);
                else if (l.verb == "busy")
                    ZemSerComSetBusy(port, 1);
                else if (l.verb == "hook")
                    ScriptAnswerHook(l.rest);
                else if (l.verb == "before" || l.verb == "no-list")
                    before = l.verb == "before" ? text : "~";
                else if (l.verb == "folder")
                    std::filesystem::create_directory(path);
                else if (l.verb == "taken")
                    for (; taken <= std::stoi(l.rest); taken++)
                        ZemFileWrite((path + ".new" + std::to_string(taken)).c_str(), "other", 5, ZEM_FILE_CREATE);
                else if (l.verb == "elsewhere")
                    target = dir.File("gone") + "/list.txt";
                else if (l.verb == "room")
                    diskRoom = std::stoul(l.rest);
                else
                    expect[l.verb] = text;
            }
            if (before != "~" && !std::filesystem::is_directory(path))
                ZemFileWrite(path.c_str(), before.data(), static_cast<uint32_t>(before.size()), ZEM_FILE_CREATE);
            line.onWrite = [&](ScriptedLine& l, const unsigned char*, uint32_t) { QueueScript(l, answer); };
            line.written.clear();
            ZemFileSetWriteCall(FullDiskWrite);
            char buffer[4096] = {}, words[64], why[512] = {};
            std::map<std::string, std::string> got;
            if (fetch) {
                uint32_t start = 0, length = 0;
                int outcome = FetchControllerList(port, kind, buffer, sizeof(buffer), &start, &length);
                const char* message = FetchOutcomeMessage(kind, outcome);
                int written = -1;
                if (outcome == FETCH_OK || outcome == FETCH_NO_LIST)   // as the browser writes it
                    written = WriteFetchedFile(target.c_str(), kind, buffer + start, length, why, sizeof(why));
                got = {{"outcome", fetchOutcomes.at(outcome)}, {"message", message ? message : ""}};
                if (expect.count("written"))
                    got["written"] = std::to_string(written);
            } else {
                got = {{"outcome", ended.at(SendDeleteCommand(port, command, buffer, sizeof(buffer), words, sizeof(words)))},
                       {"words", words}};
            }
            ZemFileSetWriteCall(nullptr);
            got["sent"] = line.Written();
            if (expect.count("file"))
                got["file"] = ReadBytes(path);
            if (expect.count("names"))
                got["names"] = FolderNames(dir);
            for (int n = 1; n < taken; n++)
                EXPECT_EQ(ReadBytes(path + ".new" + std::to_string(n)), "other") << n;
            // What failed, as the message says it; the system's own words follow in parentheses.
            std::string said = why, folder = std::filesystem::path(target).parent_path().string();
            said = said.substr(0, said.find(" ("));
            if (size_t place = said.find(folder); place != std::string::npos && !folder.empty())
                said.replace(place, folder.size(), "{folder}");
            std::replace(said.begin(), said.end(), '\\', '/');   // a Windows path's separators
            got["failed"] = said;
            ScriptAnswerHook("");
            ZemSerComSetBusy(port, 0);
            for (const auto& [what, value] : got)
                EXPECT_EQ(value, expect[what]) << what;
        }
        ZemSerComClose(port);
        InstallScriptedLine(nullptr);
    }
    EXPECT_STREQ(FetchedFileName(FETCH_TOOL_LIST), "ToolList-from-vantorix.txt");
}

#ifndef _WIN32
// What vtx -o may name besides a file: a link, or a pipe to another program. Each stays what it was, with the
// list written through it, and nothing is put in its place.
TEST(WriteFetchedFile, ALinkOrAPipeIsWrittenInPlace)
{
    ScratchDir dir;
    const std::string list = dir.File("list.txt"), link = dir.File("link.txt"), pipe = dir.File("pipe");
    ZemFileWrite(list.c_str(), "old list", 8, ZEM_FILE_CREATE);
    std::filesystem::create_symlink(list, link);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    int reader = open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    char why[512];
    EXPECT_EQ(WriteFetchedFile(link.c_str(), FETCH_TOOL_LIST, "X=1\r\n", 5, why, sizeof(why)), 1);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadBytes(list), "X=1\r\n");
    EXPECT_EQ(WriteFetchedFile(pipe.c_str(), FETCH_PARAMETERS, "X=1\r\n", 5, why, sizeof(why)), 1);
    EXPECT_TRUE(std::filesystem::is_fifo(pipe));
    char got[16] = {};
    EXPECT_EQ(read(reader, got, sizeof(got) - 1), 7);
    EXPECT_STREQ(got, "X=1\r\n\r\n");
    close(reader);
    EXPECT_EQ(FolderNames(dir), "link.txt list.txt pipe");
}

// A link where the new list would be made, put there by another user of a shared folder, is not written through:
// the file it points to stays as it was, and the list takes another new name.
TEST(WriteFetchedFile, ALinkBesideTheListIsNotWrittenThrough)
{
    ScratchDir dir;
    const std::string list = dir.File("list.txt"), victim = dir.File("victim.txt");
    ZemFileWrite(victim.c_str(), "victim", 6, ZEM_FILE_CREATE);
    std::filesystem::create_symlink(victim, list + ".new1");
    char why[512];
    EXPECT_EQ(WriteFetchedFile(list.c_str(), FETCH_TOOL_LIST, "X=1\r\n", 5, why, sizeof(why)), 1);
    EXPECT_EQ(ReadBytes(victim), "victim");
    EXPECT_EQ(ReadBytes(list), "X=1\r\n");
    EXPECT_EQ(FolderNames(dir), "list.txt list.txt.new1 victim.txt");
}
#endif
