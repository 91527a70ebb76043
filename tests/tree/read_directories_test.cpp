// Fetching the listing over a scripted line: attempts, the last one's message, the post after it.

#include "app/message_texts.h"
#include "lib/zem_ui.h"
#include "res/resource_ids.h"
#include "serial/answer_read.h"
#include "serial/serial_port.h"
#include "tests/support/case_blocks.h"
#include "tests/support/scripted_device.h"
#include "tree/device_tree.h"

class ReadDirectoriesTest : public testing::Test {
protected:
    void SetUp() override
    {
        InstallScriptedLine(&line);
        uiSink = {[](void* self, const char* text) { static_cast<ReadDirectoriesTest*>(self)->problems.push_back(text); },
                  [](void* self, unsigned id, intptr_t) { static_cast<ReadDirectoriesTest*>(self)->posts.push_back(id); },
                  this};
        ZemUiSetSink(&uiSink);
        line.onWrite = [this](ScriptedLine& peer, const unsigned char* bytes, uint32_t count) {
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), count), "l\r\n");
            if (sends < answers.size())
                QueueScript(peer, answers[sends]);
            sends++;
            ArmFailingWrite();
        };
        ReadOutcomeText = ReadOutcomeMessage;
        ASSERT_NE(port = ZemSerComOpen("COM1", 57600), nullptr);
        ASSERT_NE(tree = CreateDeviceTree(), nullptr);
    }
    void TearDown() override
    {
        FreeDeviceTree(tree), ZemSerComClose(port), ZemUiSetSink(nullptr), InstallScriptedLine(nullptr);
        ListingAttemptsOverride = 0;
        ReadOutcomeText = nullptr;
    }
    // A failing write never reaches the peer, so the line is told beforehand.
    void ArmFailingWrite() { line.failWrites = sends < failing.size() && failing[sends] && ++sends; }
    void Read(SerialPort* through)
    {
        sends = line.writes = 0;
        line.written.clear(), line.pending.clear(), line.arriving.clear(), problems.clear(), posts.clear();
        port->lineUnsettled = 0, port->restEnd = nullptr;   // each case starts on a quiet line
        ArmFailingWrite();
        ReadDirectories(tree, through, AnswerBuffer, ANSWER_BUFFER_SIZE);
    }

    ScriptedLine line;
    ZemUiSink uiSink{};
    SerialPort* port = nullptr;
    DeviceTree* tree = nullptr;
    std::vector<std::string> answers;   // the controller's answer to each "l\r\n" in turn
    std::vector<int> failing;           // 1 where that "l\r\n" cannot be written
    size_t sends = 0;
    std::vector<std::string> problems;
    std::vector<unsigned> posts;
};

// Checks the directory DIR ("/": the root) holds COUNT entries, every one NAME, a file of SIZE bytes or a "dir".
static void ExpectHolds(DeviceTree* tree, std::vector<std::string> words)
{
    DirEntry* directory = words[0] == "/" ? &tree->root : FindEntryByPath(tree, words[0].data());
    ASSERT_NE(directory, nullptr);
    ASSERT_EQ(directory->isDirectory, 1);
    ASSERT_EQ(directory->children->count, std::stoul(words[1]));
    for (uint32_t i = 0; i < directory->children->count; i++) {
        const DirEntry* entry = EntryAt(directory->children, i);
        EXPECT_EQ(entry->name, words[2]) << "entry " << i;
        EXPECT_EQ(entry->isDirectory ? "dir" : std::to_string(entry->size), words[3]) << "entry " << i;
    }
}

TEST_F(ReadDirectoriesTest, AttemptsAndTheMessageOfTheLastOne)
{
    const std::vector<std::string> outcomes = {"OK", "SEND_FAILED", "NO_ANSWER", "BAD_ANSWER", "NOT_CONNECTED", "ABANDONED"};
    const std::vector<VerbShape> verbs = {
        {"attempts", 1, 1}, {"bytes-per-read", 1, 1}, {"hook", 1, ANY_NUMBER}, {"busy-port", 0, 0},
        {"reply", 1, ANY_NUMBER}, {"silent", 0, 0}, {"write-fails", 0, 0}, {"writes", 1, 1}, {"outcome", 1, 1},
        {"message", 1, ANY_NUMBER}, {"holds", 4, 4}, {"free", 2, 2}, {"virtual-ms", 2, 2}};
    for (const CaseBlock& c : ReadCaseBlocks(std::string(TESTS_DIR) + "/tree/reads.txt", verbs)) {
        SCOPED_TRACE(c.Where(c.line) + " " + c.name);
        ListingAttemptsOverride = 0, line.bytesPerRead = 0;
        answers.clear(), failing.clear();
        std::string hook;
        int busy = 0;
        for (const CaseLine& l : c.lines) {
            if (l.verb == "attempts")
                ListingAttemptsOverride = std::stoul(l.rest);
            else if (l.verb == "bytes-per-read")
                line.bytesPerRead = std::stoul(l.rest);
            else if (l.verb == "hook")
                for (const std::string& answer : l.words)
                    hook += answer;
            busy |= l.verb == "busy-port";
            if (l.verb == "reply" || l.verb == "silent" || l.verb == "write-fails") {
                answers.push_back(l.verb == "reply" ? l.rest : "");
                failing.push_back(l.verb == "write-fails");
            }
        }
        ScriptAnswerHook(hook);
        ZemSerComSetBusy(port, busy);
        uint32_t start = line.clock.now;
        Read(port);
        uint32_t took = line.clock.now - start;
        ZemSerComSetBusy(port, 0);
        std::vector<std::string> messages;
        int holds = 0;
        for (const CaseLine& l : c.lines) {
            SCOPED_TRACE(c.Where(l.line));
            if (l.verb == "writes") {
                EXPECT_EQ(line.writes, std::stoi(l.rest));
            } else if (l.verb == "outcome") {
                EXPECT_EQ(outcomes.at(LastReadOutcome()), l.rest);
                // the views are filled after a listing that was read, and only then
                EXPECT_EQ(posts, l.rest == "OK" ? std::vector<unsigned>{CMD_AFTER_CONNECT} : std::vector<unsigned>{});
            } else if (l.verb == "message") {
                messages.push_back(TextBytes(l.rest, c.Where(l.line)));
            } else if (l.verb == "holds") {
                holds++;
                ExpectHolds(tree, l.words);
            } else if (l.verb == "free") {
                EXPECT_EQ(tree->ramDiskFree, std::stoul(l.words[0]));
                EXPECT_EQ(tree->flashDiskFree, std::stoul(l.words[1]));
            } else if (l.verb == "virtual-ms") {
                EXPECT_GE(took, std::stoul(l.words[0]));
                EXPECT_LT(took, std::stoul(l.words[1]));
            }
        }
        EXPECT_EQ(problems, messages);
        if (!holds) {
            EXPECT_EQ(tree->arraysInUse, 0u) << "a tree without a holds line";
        }
    }
    ScriptAnswerHook("");
    answers.clear(), failing.clear();
    ASSERT_EQ(ParseListing(tree, "(dir) ram\r\n"), 1);
    Read(nullptr);   // no port only empties the tree
    EXPECT_EQ(tree->arraysInUse, 0u);
    EXPECT_EQ(line.writes, 0);
    EXPECT_TRUE(problems.empty());
    EXPECT_TRUE(posts.empty());
}
