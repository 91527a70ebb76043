// The delete command text and where it stops fitting; fetching parameters and tools from a scripted controller;
// writing a fetched list on a disk that fills up.
#include "app/delete_command.h"
#include "app/fetch_answer.h"
#include "lib/zem_lib.h"
#include "serial/serial_port.h"
#include "tests/support/rows.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_device.h"

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

TEST(FetchControllerList, WhatReachesTheFile)
{
    ScriptedLine line;
    line.bytesPerRead = 4;   // every answer takes several read times
    InstallScriptedLine(&line);
    SerialPort* port;
    ASSERT_NE(port = ZemSerComOpen("COM1", 9600), nullptr);
    const std::string path = testing::TempDir() + "fetch-test.txt";
    const std::vector<std::string> outcomes = {"OK", "SEND_FAILED", "NO_ANSWER", "NO_TOOL_LIST", "TOO_LONG", "ENDLESS",
                                               "ABANDONED", "NO_LIST"};
    for (const Row& c : ReadRows("remote/fetch.rows", {{"p", 8, 8}, {"t", 8, 8}})) {
        SCOPED_TRACE(c.Where());
        int kind = c[0] == "t" ? FETCH_TOOL_LIST : FETCH_PARAMETERS;
        ZemFileWrite(path.c_str(), "old", 3, ZEM_FILE_CREATE);
        const ByteText& answer = c.Timed(1);
        line.onWrite = [&](ScriptedLine& l, const unsigned char*, uint32_t) { QueueScript(l, answer); };
        line.written.clear(), line.pending.clear(), line.arriving.clear();
        line.failWrites = std::stoi(c[2]);
        ZemSerComSetBusy(port, std::stoi(c[3]));
        ScriptAnswerHook(c[4]);
        char buffer[4096], why[512];
        uint32_t start = 0, length = 0;
        int outcome = FetchControllerList(port, kind, buffer, sizeof(buffer), &start, &length);
        ScriptAnswerHook("");
        ZemSerComSetBusy(port, 0);
        EXPECT_EQ(outcomes.at(outcome), c[5]);
        const char* message = FetchOutcomeMessage(kind, outcome);
        EXPECT_EQ(message ? message : "", c[6]);
        if (outcome == FETCH_OK || outcome == FETCH_NO_LIST)   // as the browser writes it
            WriteFetchedFile(path.c_str(), kind, buffer + start, length, why, sizeof(why));
        EXPECT_EQ(line.Written(), c[2] + c[3] == "00" ? c[0] + "\r\n" : "");
        EXPECT_EQ(ReadBytes(path), c[7]);
    }
    EXPECT_STREQ(FetchedFileName(FETCH_TOOL_LIST), "ToolList-from-vantorix.txt");
    ZemSerComClose(port);
    InstallScriptedLine(nullptr);
    remove(path.c_str());
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

TEST(WriteFetchedFile, TheOldListStaysUntilTheNewOneIsWhole)
{
    for (const Row& c : ReadRows("remote/fetched_files.rows", {{"", 8, 8}})) {
        SCOPED_TRACE(c.Where());
        ScratchDir dir;
        const std::string path = dir.File("list.txt"), taken = dir.File("list.txt.new1");
        const std::string target = c[2] == "<elsewhere>" ? dir.File("gone") + "/list.txt" : path;
        if (c[2] == "<folder>")
            std::filesystem::create_directory(path);
        else if (c[2] == "<taken>")
            ZemFileWrite(path.c_str(), "old list", 8, ZEM_FILE_CREATE), ZemFileWrite(taken.c_str(), "other", 5, ZEM_FILE_CREATE);
        else if (c[2] != "~" && c[2] != "<elsewhere>")
            ZemFileWrite(path.c_str(), c[2].data(), static_cast<uint32_t>(c[2].size()), ZEM_FILE_CREATE);
        diskRoom = std::stoul(c[3]);
        ZemFileSetWriteCall(FullDiskWrite);
        char why[512];
        EXPECT_EQ(WriteFetchedFile(target.c_str(), c[1] == "t" ? FETCH_TOOL_LIST : FETCH_PARAMETERS, "X=1\r\n", 5,
                                   why, sizeof(why)),
                  std::stoi(c[4]));
        ZemFileSetWriteCall(nullptr);
        if (c[5] != "~") {
            EXPECT_EQ(ReadBytes(path), c[5]);
        }
        if (c[2] == "<taken>") {
            EXPECT_EQ(ReadBytes(taken), "other");
        }
        EXPECT_EQ(FolderNames(dir), c[6]);
        // What failed, as the message says it; the system's own words follow in parentheses.
        std::string said = why, folder = std::filesystem::path(target).parent_path().string();
        said = said.substr(0, said.find(" ("));
        if (size_t at = said.find(folder); at != std::string::npos && !folder.empty())
            said.replace(at, folder.size(), "{folder}");
        std::replace(said.begin(), said.end(), '\\', '/');   // a Windows path's separators
        EXPECT_EQ(said, c[7]);
    }
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
