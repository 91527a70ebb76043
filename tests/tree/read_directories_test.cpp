// Fetching the listing over a scripted line: attempts, the last one's message, the post after it.
#include "app/command_line.h"
#include "lib/zem_ui.h"
#include "res/resource_ids.h"
#include "serial/serial_port.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_device.h"
#include "tree/device_tree.h"

const char* const goodListing = "listing\r\n(dir) ram\r\n 12 a.nc\r\nFree RamDisk: 100\r\nFree FlashDisk: 200\r\n\r\n";

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
            char reply = script[sends++];
            peer.Queue(reply == 'G' ? goodListing : reply == 'B' ? "(dir) ram\r\n what is this\r\n" : "");
            ArmFailingWrite();
        };
        ASSERT_NE(port = ZemSerComOpen("COM1", 57600), nullptr);
        ASSERT_NE(tree = CreateDeviceTree(), nullptr);
    }
    void TearDown() override
    {
        FreeDeviceTree(tree), ZemSerComClose(port), ZemUiSetSink(nullptr), InstallScriptedLine(nullptr);
        AutoConnect = ListingAttemptsOverride = 0;
    }
    // A failing write never reaches the peer, so the line is told beforehand.
    void ArmFailingWrite() { line.failWrites = script[sends] == 'W' && ++sends; }
    void Read(const std::string& replies, SerialPort* through)
    {
        script = replies + std::string(8, '-');
        sends = line.writes = 0;
        line.written.clear(), problems.clear(), posts.clear();
        ArmFailingWrite();
        ReadDirectories(tree, through, AnswerBuffer, ANSWER_BUFFER_SIZE);
    }

    ScriptedLine line;
    ZemUiSink uiSink{};
    SerialPort* port = nullptr;
    DeviceTree* tree = nullptr;
    std::string script;
    size_t sends = 0;
    std::vector<std::string> problems;
    std::vector<unsigned> posts;
};

TEST_F(ReadDirectoriesTest, AttemptsAndTheMessageOfTheLastOne)
{
    const std::vector<std::string> outcomes = {"OK", "SEND_FAILED", "NO_ANSWER", "BAD_ANSWER"};
    for (const Row& c : ReadRows("tree/reads.rows")) {
        SCOPED_TRACE(c[0] + " " + c[2]);
        AutoConnect = std::stoi(c[0]);
        ListingAttemptsOverride = std::stoul(c[1]);
        ZemSerComSetBusy(port, c[2][0] == '*');
        Read(c[2], port);
        ZemSerComSetBusy(port, 0);
        EXPECT_EQ(line.writes, std::stoi(c[3]));
        EXPECT_EQ(outcomes.at(LastReadOutcome()), c[4]);
        EXPECT_EQ(problems, c[5].empty() ? std::vector<std::string>{} : std::vector<std::string>{c[5]});
        EXPECT_EQ(posts.size(), c[5].empty() ? 1u : 0u);
        EXPECT_TRUE(posts.empty() || posts[0] == CMD_AFTER_CONNECT);
        EXPECT_EQ(tree->arraysInUse, c[5].empty() ? 2u : 0u);
        EXPECT_EQ(tree->ramDiskFree + tree->flashDiskFree, c[5].empty() ? 300u : 0u);
    }
    AutoConnect = ListingAttemptsOverride = 0;   // no pause between attempts: only the two read timeouts pass
    uint32_t start = line.clock.now;
    Read("", port);
    EXPECT_EQ(line.Written(), "l\r\nl\r\n");
    EXPECT_GE(line.clock.now - start, 2 * 990u);
    EXPECT_LT(line.clock.now - start, 2 * 990u + 100);
    Read("G", port);
    ASSERT_EQ(tree->arraysInUse, 2u);
    Read("G", nullptr);   // no port only empties the tree
    EXPECT_TRUE(tree->arraysInUse == 0 && line.writes == 0 && problems.empty() && posts.empty());
}

// A slow line: read up to the empty line without waiting for quiet; a full buffer before the end is not correct.
TEST_F(ReadDirectoriesTest, ListingIsReadWholeUpToItsEndOrAFullBuffer)
{
    line.bytesPerRead = 1000;
    for (size_t files : {600, 22000}) {
        std::string listing = "(dir) ram\r\n";
        for (size_t i = 0; i < files; i++)
            listing += " 1 file.nc\r\n";
        if (files == 600)
            listing += "Free RamDisk: 100\r\n\r\nnot read";
        line.onWrite = [&](ScriptedLine& peer, const unsigned char*, uint32_t) { peer.Queue(listing.c_str()); };
        uint32_t start = line.clock.now;
        ReadDirectories(tree, port, AnswerBuffer, ANSWER_BUFFER_SIZE);
        EXPECT_EQ(LastReadOutcome(), files == 600 ? READ_OK : READ_BAD_ANSWER);
        if (files == 600) {
            ASSERT_EQ(tree->arraysInUse, 2u);
            EXPECT_TRUE(EntryAt(tree->root.children, 0)->children->count == 600 && tree->ramDiskFree == 100);
            EXPECT_LT(line.clock.now - start, 100u);
        }
    }
}
