// Fetching the listing over a scripted line: attempts, the last one's message, the post after it.
#include <functional>
#include <map>

#include "app/message_texts.h"
#include "lib/zem_ui.h"
#include "res/resource_ids.h"
#include "serial/answer_read.h"
#include "serial/serial_port.h"
#include "tests/support/rows.h"
#include "tests/support/scripted_device.h"
#include "tree/device_tree.h"

// Every entry as its path (a file's with "=size"), then the free bytes: the tree in one line.
static std::string TreeSummary(const DeviceTree* tree)
{
    if (tree->arraysInUse == 0)
        return "";
    std::string text;
    std::function<void(const DirEntry*)> walk = [&](const DirEntry* directory) {
        for (uint32_t i = 0; i < directory->children->count; i++) {
            const DirEntry* entry = EntryAt(directory->children, i);
            char path[1024];
            GetEntryPath(entry, path, sizeof(path));
            text += path + (entry->isDirectory ? "" : "=" + std::to_string(entry->size)) + " ";
            if (entry->isDirectory)
                walk(entry);
        }
    };
    walk(&tree->root);
    return text + "free " + std::to_string(tree->ramDiskFree) + " " + std::to_string(tree->flashDiskFree);
}

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
            QueueScript(peer, replies[script[sends++]]);
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
    void ArmFailingWrite() { line.failWrites = script[sends] == 'W' && ++sends; }
    void Read(const std::string& letters, SerialPort* through)
    {
        script = letters + std::string(8, '-');
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
    std::map<char, ByteText> replies;
    std::string script;
    size_t sends = 0;
    std::vector<std::string> problems;
    std::vector<unsigned> posts;
};

TEST_F(ReadDirectoriesTest, AttemptsAndTheMessageOfTheLastOne)
{
    const std::vector<std::string> outcomes = {"OK", "SEND_FAILED", "NO_ANSWER", "BAD_ANSWER", "NOT_CONNECTED", "ABANDONED"};
    for (const Row& c : ReadRows("tree/reads.rows", {{"reply", 3, 3}, {"slow", 2, 2}, {"", 8, 8}})) {
        if (c[0] == "reply") {
            replies[c[1][0]] = c.Timed(2);
            continue;
        }
        if (c[0] == "slow") {
            line.bytesPerRead = std::stoul(c[1]);
            continue;
        }
        SCOPED_TRACE(c.Where());
        ListingAttemptsOverride = std::stoul(c[0]);
        ScriptAnswerHook(c[2]);
        ZemSerComSetBusy(port, c[1][0] == '*');
        uint32_t start = line.clock.now;
        Read(c[1], port);
        uint32_t took = line.clock.now - start;
        ZemSerComSetBusy(port, 0);
        EXPECT_EQ(line.writes, std::stoi(c[3]));
        EXPECT_EQ(outcomes.at(LastReadOutcome()), c[4]);
        EXPECT_EQ(problems, c[5].empty() ? std::vector<std::string>{} : std::vector<std::string>{c[5]});
        EXPECT_EQ(posts, c[4] == "OK" ? std::vector<unsigned>{CMD_AFTER_CONNECT} : std::vector<unsigned>{});
        EXPECT_EQ(TreeSummary(tree), c[6]);
        if (!c[7].empty()) {
            EXPECT_GE(took, std::stoul(c[7]));
            EXPECT_LT(took, std::stoul(c[7].substr(c[7].find('-') + 1)));
        }
    }
    ScriptAnswerHook("");
    Read("G", nullptr);   // no port only empties the tree
    EXPECT_EQ(tree->arraysInUse, 0u);
    EXPECT_EQ(line.writes, 0);
    EXPECT_TRUE(problems.empty());
    EXPECT_TRUE(posts.empty());
}
