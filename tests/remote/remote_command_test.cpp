// The delete command text and where it stops fitting; fetching parameters and tools from a scripted controller.
#include "app/delete_command.h"
#include "app/fetch_answer.h"
#include "lib/zem_lib.h"
#include "serial/answer_read.h"
#include "serial/serial_port.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_device.h"

TEST(BuildDeleteCommand, JoinsPathAndNameAndUsesEveryByteButNoMore)
{
    char command[DELETE_COMMAND_SIZE], target[DELETE_COMMAND_SIZE];
    EXPECT_TRUE(BuildDeleteCommand(command, "/ram/cncprg/", "part.nc") && !strcmp(command, "d /ram/cncprg/part.nc\r"));
    EXPECT_TRUE(BuildDeleteCommand(command, "", "a b") && !strcmp(command, "d a b\r"));
    GetDeleteTarget(command, target, sizeof(target));
    EXPECT_STREQ(target, "a b");
    std::string path = "/" + std::string(506, 'p');
    ASSERT_EQ(BuildDeleteCommand(command, path.c_str(), "x"), 1);
    EXPECT_EQ(std::string(command).size(), 511u);   // and its NUL: 512 exactly
    EXPECT_TRUE(!BuildDeleteCommand(command, (path + "q").c_str(), "x") && command[0] == 0);
    EXPECT_EQ(BuildDeleteCommand(command, path.c_str(), "xy"), 0);   // never a cut name
    EXPECT_EQ(BuildDeleteCommand(command, "/ram/", ""), 0);
}

// The hook's answers, call by call; 1 once they are used up.
static std::string hookAnswers;
static int AnswerFromRow(int, uint32_t)
{
    int goOn = hookAnswers.empty() || hookAnswers[0] == '1';
    hookAnswers.erase(0, hookAnswers.empty() ? 0 : 1);
    return goOn;
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
                                               "ABANDONED"};
    for (const Row& c : ReadRows("remote/fetch.rows")) {
        SCOPED_TRACE(c[1].substr(0, 40));
        int kind = c[0] == "t" ? FETCH_TOOL_LIST : FETCH_PARAMETERS;
        ZemFileWrite(path.c_str(), "old", 3, ZEM_FILE_CREATE);
        std::string answer = c[1] == "~" ? "" : c[1];
        line.onWrite = [&](ScriptedLine& l, const unsigned char*, uint32_t) { QueueScript(l, answer); };
        line.written.clear(), line.pending.clear(), line.arriving.clear();
        line.failWrites = std::stoi(c[2]);
        ZemSerComSetBusy(port, std::stoi(c[3]));
        hookAnswers = c[4];
        AnswerReadHook.betweenReads = c[4].empty() ? nullptr : AnswerFromRow;
        char buffer[4096];
        uint32_t start = 0, length = 0;
        int outcome = FetchControllerList(port, kind, buffer, sizeof(buffer), &start, &length);
        AnswerReadHook.betweenReads = nullptr;
        ZemSerComSetBusy(port, 0);
        EXPECT_EQ(outcomes.at(outcome), c[5]);
        const char* message = FetchOutcomeMessage(kind, outcome);
        EXPECT_EQ(message ? message : "", c[6]);
        if (outcome == FETCH_OK)
            WriteFetchedFile(path.c_str(), kind, buffer + start, length);
        EXPECT_EQ(line.Written(), c[2] + c[3] == "00" ? c[0] + "\r\n" : "");
        EXPECT_EQ(ReadBytes(path), ScriptBytes(c[7]));
    }
    EXPECT_STREQ(FetchedFileName(FETCH_TOOL_LIST), "ToolList-from-vantorix.txt");
    ZemSerComClose(port);
    InstallScriptedLine(nullptr);
    remove(path.c_str());
}
