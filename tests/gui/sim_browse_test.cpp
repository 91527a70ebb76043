// The main window against the simulated controller on COM3, with its sample
// storage: a real serial line under Wine, real time.
#include <algorithm>

#include "app/app_state.h"
#include "res/resource_ids.h"
#include "tests/gui/main_window_fixture.h"

namespace {

class SimBrowse : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        InstallScriptedLine(nullptr);   // the real port
        UseSettings("COM3", 115200, 0, 0);
        OpenWindow();
    }
};

bool Holds(const Texts& texts, const char* text)
{
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

TEST_F(SimBrowse, ConnectShowsTheSampleStorageAndNavigates)
{
    // A listing read waits out the line's quiet time, so allow some seconds.
    PostMessageA(MainWindow, WM_COMMAND, CMD_CONNECT, 0);
    ASSERT_TRUE(gui::PumpUntil([] { return !gui::ReadTreeItems(TreeView).empty(); }, 15000))
        << (boxes.Boxes().empty() ? "" : boxes.Boxes()[0].text);
    EXPECT_EQ(gui::WindowText(ConnectButton), "Disconnect");
    Texts paths = gui::ReadComboItems(PathBox);
    ASSERT_FALSE(paths.empty());
    EXPECT_EQ(paths[0], "/");
    for (const char* expected : {"/ram/", "/ram/cncprg/", "/ram/empty/", "/ROM/", "/ram/cncprg/fixtures/deep/deeper/"})
        EXPECT_TRUE(Holds(paths, expected)) << expected;
    std::string freeText = gui::WindowText(FreeSpaceText);
    EXPECT_EQ(freeText.rfind("  Available RamDisk: ", 0), 0u) << freeText;
    EXPECT_EQ(freeText.find("RamDisk: 0 Bytes"), std::string::npos) << freeText;

    gui::ChooseComboItem(PathBox, static_cast<int>(std::find(paths.begin(), paths.end(), "/ram/cncprg/") - paths.begin()));
    gui::PumpPending();
    Texts names = gui::ReadListNames(FileView);
    EXPECT_TRUE(!names.empty() && names[0] == "..");
    EXPECT_TRUE(Holds(names, "part1.nc") && Holds(names, "part b.nc"));
    EXPECT_EQ(gui::SelectedTreeText(TreeView), "cncprg");

    SetForegroundWindow(MainWindow);
    gui::PumpUntil([] { return false; }, 300);
    EXPECT_TRUE(gui::SaveWindowImage(MainWindow, "connected"));

    // A re-read comes back to the same directory.
    PostMessageA(MainWindow, WM_COMMAND, CMD_REREAD, 0);
    EXPECT_TRUE(gui::PumpUntil([] { return gui::ComboSelectedText(PathBox) == "/ram/cncprg/" &&
                                           !gui::ReadListNames(FileView).empty(); }, 15000));
    EXPECT_TRUE(boxes.Boxes().empty());
    Connect();
    EXPECT_TRUE(gui::ReadTreeItems(TreeView).empty());
    EXPECT_TRUE(IsWindowEnabled(PortEdit));
}

}  // namespace
