// The main window against the simulated controller on COM3, with its sample
// storage: a real serial line under Wine, real time.
#include <gtest/gtest.h>

#include <cstring>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/command_line.h"
#include "app/program_main.h"
#include "app/settings.h"
#include "serial/upload_job.h"
#include "tests/gui/support/gui_harness.h"

namespace {

using Names = std::vector<std::string>;

class SimBrowse : public ::testing::Test {
protected:
    void SetUp() override
    {
        AutoMode = AutoConnect = QuitWhenDone = 0;
        ClearUploadJob(&TheUploadJob);
        memset(&Settings, 0, sizeof(Settings));
        strcpy(Settings.Port, "COM3");
        Settings.Baudrate = 115200;
        Settings.WindowRect = {10, 10, 820, 560};
        ASSERT_TRUE(OpenMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL));
        gui::PumpPending();
    }

    void TearDown() override
    {
        if (IsWindow(MainWindow))
            DestroyWindow(MainWindow);
        gui::PumpUntil([] { return gui::QuitSeen(); }, 2000);
        UnregisterClassA(MainWindowClass, GetModuleHandleA(nullptr));
    }

    // A listing read waits out the line's quiet time, so allow some seconds.
    bool ConnectAndWait()
    {
        PostMessageA(MainWindow, WM_COMMAND, CMD_CONNECT, 0);
        return gui::PumpUntil([] { return !gui::ReadTreeItems(TreeView).empty(); }, 15000);
    }

    gui::BoxCapture boxes;
};

TEST_F(SimBrowse, ConnectShowsTheSampleStorageAndNavigates)
{
    ASSERT_TRUE(ConnectAndWait()) << (boxes.Boxes().empty() ? "" : boxes.Boxes()[0].text);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(gui::WindowText(ConnectButton), "Disconnect");
    EXPECT_FALSE(IsWindowEnabled(PortEdit));
    Names paths = gui::ReadComboItems(PathBox);
    ASSERT_FALSE(paths.empty());
    EXPECT_EQ(paths[0], "/");
    for (const char* expected : {"/ram/", "/ram/cncprg/", "/ram/empty/", "/ROM/", "/ram/cncprg/fixtures/deep/deeper/"})
        EXPECT_NE(std::find(paths.begin(), paths.end(), expected), paths.end()) << expected;
    std::string freeText = gui::WindowText(FreeSpaceText);
    EXPECT_EQ(freeText.rfind("  Available RamDisk: ", 0), 0u) << freeText;
    EXPECT_EQ(freeText.find("RamDisk: 0 Bytes"), std::string::npos) << freeText;

    // Into /ram/cncprg/ by the path box.
    int index = static_cast<int>(std::find(paths.begin(), paths.end(), "/ram/cncprg/") - paths.begin());
    gui::ChooseComboItem(PathBox, index);
    gui::PumpPending();
    Names names = gui::ReadListNames(FileView);
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names[0], "..");
    EXPECT_NE(std::find(names.begin(), names.end(), "part1.nc"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "part b.nc"), names.end());
    EXPECT_EQ(gui::SelectedTreeText(TreeView), "cncprg");

    SetForegroundWindow(MainWindow);
    gui::PumpUntil([] { return false; }, 300);
    gui::SaveWindowImage(MainWindow, gui::ScreenshotDirectory() + "connected.bmp");

    // A re-read comes back to the same directory.
    PostMessageA(MainWindow, WM_COMMAND, CMD_REREAD, 0);
    gui::PumpUntil([] { return gui::ComboSelectedText(PathBox) == "/ram/cncprg/" &&
                               !gui::ReadListNames(FileView).empty(); },
                   15000);
    EXPECT_EQ(gui::ComboSelectedText(PathBox), "/ram/cncprg/");
    EXPECT_TRUE(boxes.Boxes().empty());

    // Disconnect empties everything.
    SendMessageA(MainWindow, WM_COMMAND, CMD_CONNECT, 0);
    gui::PumpPending();
    EXPECT_EQ(gui::WindowText(ConnectButton), "Connect");
    EXPECT_TRUE(gui::ReadTreeItems(TreeView).empty());
    EXPECT_TRUE(gui::ReadListNames(FileView).empty());
    EXPECT_TRUE(IsWindowEnabled(PortEdit));
}

TEST_F(SimBrowse, PortThatDoesNotExistCannotBeOpened)
{
    SetWindowTextA(PortEdit, "COM8");
    SendMessageA(MainWindow, WM_COMMAND, CMD_CONNECT, 0);
    gui::PumpPending();
    EXPECT_EQ(boxes.Texts(), (Names{"Can't open Serial Port."}));
    EXPECT_EQ(gui::WindowText(ConnectButton), "Connect");
}

}  // namespace
