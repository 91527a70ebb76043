// Fetching the listing over a scripted line: attempts, the last one's message, the post after it.
#include <algorithm>

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
            if (sends < steps.size() && steps[sends]->verb == "reply")
                QueueScript(peer, steps[sends]->rest);
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
    void ArmFailingWrite() { line.failWrites = sends < steps.size() && steps[sends]->verb == "write-fails" && ++sends; }

    ScriptedLine line;
    ZemUiSink uiSink{};
    SerialPort* port = nullptr;
    DeviceTree* tree = nullptr;
    std::vector<const CaseLine*> steps;   // what becomes of each "l\r\n" in turn
    size_t sends = 0;
    std::vector<std::string> problems;
    std::vector<unsigned> posts;
};

TEST_F(ReadDirectoriesTest, AttemptsAndTheMessageOfTheLastOne)
{
    const std::vector<std::string> outcomes = {"OK", "SEND_FAILED", "NO_ANSWER", "BAD_ANSWER", "NOT_CONNECTED", "ABANDONED"};
    const std::vector<VerbShape> verbs = {
        {"attempts", 1, 1}, {"bytes-per-read", 1, 1}, {"hook", 1, 1},   {"busy-port", 0, 0}, {"no-port", 0, 0},
        {"reply", 1, ANY_NUMBER}, {"silent", 0, 0}, {"write-fails", 0, 0}, {"writes", 1, 1},   {"outcome", 1, 1},
        {"message", 1, ANY_NUMBER}, {"holds", 4, 4}, {"free", 2, 2},      {"virtual-ms", 2, 2}};
    for (const CaseBlock& c : ReadCaseBlocks(std::string(TESTS_DIR) + "/tree/reads.txt", verbs)) {
        SCOPED_TRACE(c.Where(c.line) + " " + c.name);
        std::map<std::string, std::string> set = {{"attempts", "0"}, {"bytes-per-read", "0"}, {"hook", ""}};
        steps.clear();
        for (const CaseLine& l : c.lines) {
            if (set.count(l.verb))
                set[l.verb] = l.rest;
            if (l.verb == "reply" || l.verb == "silent" || l.verb == "write-fails")
                steps.push_back(&l);
        }
        auto given = [&](const char* verb) { return std::any_of(c.lines.begin(), c.lines.end(), [&](auto& l) { return l.verb == verb; }); };
        ListingAttemptsOverride = std::stoul(set["attempts"]), line.bytesPerRead = std::stoul(set["bytes-per-read"]);
        ScriptAnswerHook(set["hook"]);
        ZemSerComSetBusy(port, given("busy-port"));
        ASSERT_EQ(ParseListing(tree, "(dir) before\r\n"), 1);   // the tree of an earlier read
        sends = line.writes = 0;
        line.written.clear(), line.pending.clear(), line.arriving.clear(), problems.clear(), posts.clear();
        port->lineUnsettled = 0, port->restEnd = nullptr;   // each case starts on a quiet line
        ArmFailingWrite();
        uint32_t start = line.clock.now;
        ReadDirectories(tree, given("no-port") ? nullptr : port, AnswerBuffer, ANSWER_BUFFER_SIZE);
        uint32_t took = line.clock.now - start;
        std::vector<std::string> messages;
        for (const CaseLine& l : c.lines) {
            SCOPED_TRACE(c.Where(l.line));
            const std::vector<std::string>& w = l.words;
            if (l.verb == "writes") {
                EXPECT_EQ(line.writes, std::stoi(l.rest));
            } else if (l.verb == "outcome") {
                EXPECT_EQ(outcomes.at(LastReadOutcome()), l.rest);
                // the views are filled after a listing that was read, and only then
                EXPECT_EQ(posts, l.rest == "OK" ? std::vector<unsigned>{CMD_AFTER_CONNECT} : std::vector<unsigned>{});
            } else if (l.verb == "message") {
                messages.push_back(TextBytes(l.rest, c.Where(l.line)));
            } else if (l.verb == "holds") {   // DIR holds COUNT entries, every one NAME of SIZE bytes or a "dir"
                const DirEntry* dir = w[0] == "/" ? &tree->root : FindEntryByPath(tree, std::string(w[0]).data());
                const EntryArray* entries = dir && dir->isDirectory ? dir->children : nullptr;
                EXPECT_EQ(entries ? entries->count : 0u, std::stoul(w[1])) << "entries of " << w[0];
                for (uint32_t i = 0; entries && i < entries->count; i++) {
                    const DirEntry* entry = EntryAt(entries, i);
                    EXPECT_EQ(entry->name, w[2]) << "entry " << i;
                    EXPECT_EQ(entry->isDirectory ? "dir" : std::to_string(entry->size), w[3]) << "entry " << i;
                }
            } else if (l.verb == "free") {
                EXPECT_EQ(tree->ramDiskFree, std::stoul(w[0]));
                EXPECT_EQ(tree->flashDiskFree, std::stoul(w[1]));
            } else if (l.verb == "virtual-ms") {
                EXPECT_GE(took, std::stoul(w[0]));
                EXPECT_LT(took, std::stoul(w[1]));
            }
        }
        EXPECT_EQ(problems, messages);
        if (!given("holds")) {
            EXPECT_EQ(tree->arraysInUse, 0u) << "a tree without a holds line";
        }
    }
}
