// The delete command text and where it stops fitting, and the parameter and
// tool-list fetch against a scripted controller: which part of the answer is
// kept and what reaches the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/delete_command.h"
#include "app/fetch_answer.h"
#include "lib/zem_lib.h"
#include "serial/serial_port.h"
#include "tests/support/scripted_device.h"

namespace {

TEST(BuildDeleteCommand, JoinsPathAndNameAndUsesEveryByteButNoMore)
{
    char command[DELETE_COMMAND_SIZE], target[DELETE_COMMAND_SIZE];
    ASSERT_EQ(BuildDeleteCommand(command, "/ram/cncprg/", "part.nc"), 1);
    EXPECT_STREQ(command, "d /ram/cncprg/part.nc\r");
    ASSERT_EQ(BuildDeleteCommand(command, "", "a b"), 1);
    EXPECT_STREQ(command, "d a b\r");
    GetDeleteTarget(command, target, sizeof(target));
    EXPECT_STREQ(target, "a b");
    // "d " + path + name + "\r" + NUL = 512 exactly.
    std::string path = "/" + std::string(506, 'p');
    ASSERT_EQ(BuildDeleteCommand(command, path.c_str(), "x"), 1);
    EXPECT_EQ(std::string(command).size(), 511u);
    EXPECT_EQ(BuildDeleteCommand(command, (path + "q").c_str(), "x"), 0);
    EXPECT_STREQ(command, "");
    EXPECT_EQ(BuildDeleteCommand(command, path.c_str(), "xy"), 0);   // never a cut name
    EXPECT_EQ(BuildDeleteCommand(command, "/ram/", ""), 0);
}

TEST(FetchControllerList, WhatReachesTheFile)
{
    ScriptedLine line;
    line.bytesPerRead = 4;   // every answer takes several read times
    InstallScriptedLine(&line);
    SerialPort* port = ZemSerComOpen("COM1", 9600);
    ASSERT_NE(port, nullptr);
    const std::string path = testing::TempDir() + "fetch-test.txt";
    const struct {
        int kind;
        const char* answer;   // null: silence
        int failWrites, busy;
        int outcome;
        const char* file;     // what the file holds afterwards ("old" before each case)
    } cases[] = {
        {FETCH_PARAMETERS, "p\r\nX=1\r\n", 0, 0, FETCH_OK, "X=1\r\n\r\n"},
        {FETCH_PARAMETERS, "P1\n", 0, 0, FETCH_OK, "P1\n\r\n"},   // nothing behind the first line: kept
        {FETCH_PARAMETERS, "\nAB", 0, 0, FETCH_OK, "AB\r\n"},      // a leading LF costs only itself
        {FETCH_PARAMETERS, "p\r\n", 0, 0, FETCH_OK, "p\r\n\r\n"},   // three bytes are nothing special here
        {FETCH_TOOL_LIST, "t\r\nX", 0, 0, FETCH_OK, "X"},
        {FETCH_TOOL_LIST, "t\r\n", 0, 0, FETCH_NO_TOOL_LIST, "old"},
        {FETCH_TOOL_LIST, nullptr, 0, 0, FETCH_NO_ANSWER, "old"},
        {FETCH_PARAMETERS, "p\r\nX", 1, 0, FETCH_SEND_FAILED, "old"},
        {FETCH_PARAMETERS, "p\r\nX", 0, 1, FETCH_SEND_FAILED, "old"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer ? c.answer : "silence");
        ZemFileWrite(path.c_str(), "old", 3, ZEM_FILE_CREATE);
        std::string answer = c.answer ? c.answer : "";
        line.onWrite = [&](ScriptedLine& l, const unsigned char*, uint32_t) { l.Queue({answer.begin(), answer.end()}); };
        line.written.clear();
        line.failWrites = c.failWrites;
        ZemSerComSetBusy(port, c.busy);
        char buffer[4096];
        uint32_t start = 0, length = 0;
        int outcome = FetchControllerList(port, c.kind, buffer, sizeof(buffer), &start, &length);
        ZemSerComSetBusy(port, 0);
        EXPECT_EQ(outcome, c.outcome);
        if (outcome == FETCH_OK)
            WriteFetchedFile(path.c_str(), c.kind, buffer + start, length);
        if (!c.failWrites && !c.busy) {
            EXPECT_EQ(std::string(line.written.begin(), line.written.end()), c.kind == FETCH_TOOL_LIST ? "t\r\n" : "p\r\n");
        }
        char data[64];
        long n = ZemFileRead(path.c_str(), data, sizeof(data), 0, nullptr);
        EXPECT_EQ(std::string(data, n > 0 ? static_cast<size_t>(n) : 0), c.file);
    }
    EXPECT_STREQ(FetchOutcomeMessage(FETCH_NO_TOOL_LIST), "The Vantorix sent no tool list.");
    EXPECT_STREQ(FetchOutcomeMessage(FETCH_NO_ANSWER), "No answer from Vantorix. Please check if it is connected.");
    EXPECT_STREQ(FetchOutcomeMessage(FETCH_SEND_FAILED), "Can't send Command. Please check if Vantorix is connected.");
    ZemSerComClose(port);
    InstallScriptedLine(nullptr);
    remove(path.c_str());
}

}  // namespace
