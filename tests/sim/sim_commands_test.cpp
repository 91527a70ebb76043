// The short commands of the simulated controller: parameter and tool lists,
// delete, and how it reads command lines and survives a client that comes
// and goes.
#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "tests/sim/sim_process.h"

namespace {

class SimCommands : public testing::Test {
protected:
    void TearDown() override { StopSim(&sim); }
    SimProcess sim;
};

// The lists come from their files with CRLF line ends, after an echo line;
// a missing file leaves the echo alone.
TEST_F(SimCommands, ListsFollowAnEchoLine)
{
    sim.root = MakeControllerFolder(true);
    WriteHostFile(sim.root + "/tools.lf", "T1 mill\nT2 drill\n");
    ASSERT_TRUE(StartSim(&sim, {"--tools", sim.root + "/tools.lf", "--params", sim.root + "/missing"}));
    EXPECT_EQ(Command(sim.port, "t\r\n"), "t\r\nT1 mill\r\nT2 drill\r\n");
    EXPECT_EQ(Command(sim.port, "p\r\n"), "p\r\n");
    StopSim(&sim, true);
    ASSERT_TRUE(StartSim(&sim, {}));
    EXPECT_EQ(Command(sim.port, "p\r\n"), "p\r\n" + ReadHostFile(sim.root + "/.params.txt"));
}

TEST_F(SimCommands, DeleteRemovesOnlyPlainFilesInsideTheDisks)
{
    sim.root = MakeControllerFolder(true);
    std::filesystem::create_directories(sim.root + "/spare");
    WriteHostFile(sim.root + "/spare/keep.nc", "x");
    std::string outside = sim.root + "-outside.txt";
    WriteHostFile(outside, "must survive");
    ASSERT_EQ(symlink(outside.c_str(), (sim.root + "/ram/link.nc").c_str()), 0);
    ASSERT_TRUE(StartSim(&sim, {}));

    EXPECT_EQ(Command(sim.port, "d /ram/notes.txt\r"), "File deleted\r\n");
    EXPECT_FALSE(HostPathExists(sim.root + "/ram/notes.txt"));
    EXPECT_EQ(Command(sim.port, "d /ram/notes.txt\r"), "Error: file not found\r\n");
    EXPECT_EQ(Command(sim.port, "d /ram/empty\r"), "Error: not a file\r\n");
    EXPECT_EQ(Command(sim.port, "d /ram/link.nc\r"), "Error: not a file\r\n");
    EXPECT_EQ(ReadHostFile(outside), "must survive");
    EXPECT_EQ(Command(sim.port, "d /ram/../../" + outside.substr(5) + "\r"), "Error: bad path\r\n");
    EXPECT_EQ(Command(sim.port, "d /ram/.keep\r"), "Error: bad path\r\n");
    EXPECT_EQ(Command(sim.port, "d /spare/keep.nc\r"), "Error: directory is read-only\r\n");
    EXPECT_EQ(Command(sim.port, "d \r"), "Error: bad path\r\n");
    // A name alone is looked for in the default directory.
    EXPECT_EQ(Command(sim.port, "d part b.nc\r"), "File deleted\r\n");
    EXPECT_FALSE(HostPathExists(sim.root + "/ram/cncprg/part b.nc"));
    EXPECT_TRUE(HostPathExists(outside));
    unlink(outside.c_str());
}

TEST_F(SimCommands, CommandsSurviveJunkSplitsAndStrayLineFeeds)
{
    ASSERT_TRUE(StartSim(&sim, {}));
    // Leftovers of an aborted transfer in front of a command are skipped.
    EXPECT_EQ(Command(sim.port, std::string("\x18\x18\x06\n\x01 t\r\n")).substr(0, 3), "t\r\n");
    // A command that arrives in pieces is answered once it is complete.
    PurgePort(sim.port);
    WriteBytes(sim.port, "\n\nt");
    usleep(100000);
    WriteBytes(sim.port, "\r");
    EXPECT_EQ(ReadAnswer(sim.port).substr(0, 3), "t\r\n");
    EXPECT_EQ(Command(sim.port, "x\r"), "Unknown command\r\n");
    EXPECT_EQ(Command(sim.port, "list\r"), "Unknown command\r\n");
    EXPECT_EQ(Command(sim.port, "\r\r", 300), "");
}

TEST_F(SimCommands, ServesAClientThatClosesAndReopensThePort)
{
    ASSERT_TRUE(StartSim(&sim, {}));
    std::string first = Command(sim.port, "l\r\n");
    for (int round = 0; round < 3; round++) {
        close(sim.port);
        // A pending answer while nobody has the port open must not hurt.
        int writer = OpenPortRaw(sim.slave);
        WriteBytes(writer, "p\r");
        close(writer);
        usleep(50000);
        sim.port = OpenPortRaw(sim.slave);
        ASSERT_GE(sim.port, 0);
        EXPECT_EQ(Command(sim.port, "l\r\n"), first);
    }
}

TEST_F(SimCommands, LinkComesAndGoesWithTheSimulator)
{
    sim.root = MakeControllerFolder(true);
    std::string link = sim.root + "/.com1";
    ASSERT_TRUE(StartSim(&sim, {"--link", link}));
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), sim.slave);
    int viaLink = OpenPortRaw(link);
    EXPECT_EQ(Command(viaLink, "t\r\n").substr(0, 3), "t\r\n");
    close(viaLink);
    EXPECT_EQ(StopSim(&sim, true), 0);
    EXPECT_FALSE(HostPathExists(link));
}

}   // namespace
