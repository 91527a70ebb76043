#include "tests/gui/main_window_fixture.h"

#include <cstring>

#include "app/app_state.h"
#include "res/resource_ids.h"
#include "app/command_line.h"
#include "app/program_main.h"
#include "app/settings.h"
#include "serial/upload_job.h"

const char* const SampleListing =
    "Vantorix directory\r\n(dir) ram\r\n (dir) cncprg\r\n  1234 part1.nc\r\n  5678 part b.nc\r\n (dir) empty\r\n"
    " 99 notes.txt\r\n(dir) ROM\r\n 4096 setup.dat\r\n 4294967295 huge.bin\r\nFree RamDisk: 1048576\r\n"
    "Free FlashDisk: 524288\r\n\r\n";

void MainWindowTest::SetUp()
{
    InstallScriptedLine(&line);
    line.onWrite = [this](ScriptedLine& scripted, const unsigned char* bytes, uint32_t count) {
        std::string text(reinterpret_cast<const char*>(bytes), count);
        commands.push_back(text);
        if (text == "l\r\n") {
            listingRequests++;
            scripted.Queue(listing.c_str());
        } else if (text == "p\r\n" || text == "t\r\n") {
            const std::string& answer = text[0] == 'p' ? parameterAnswer : toolAnswer;
            scripted.Queue(std::vector<unsigned char>(answer.begin(), answer.end()));
        } else if (text.rfind("d ", 0) == 0) {
            scripted.Queue("OK\r\n");
        }
    };
    AutoMode = AutoConnect = QuitWhenDone = 0;
    ClearUploadJob(&TheUploadJob);
    UseSettings("COM3", 57600, 0, 0);
    gui::ResetQuitSeen();
}

void MainWindowTest::TearDown()
{
    CloseWindow();
    UnregisterClassA(MainWindowClass, GetModuleHandleA(nullptr));
    InstallScriptedLine(nullptr);
}

void MainWindowTest::UseSettings(const char* port, int baud, int usePath, int logFile)
{
    memset(&Settings, 0, sizeof(Settings));
    strcpy(Settings.Port, port);
    Settings.Baudrate = baud;
    Settings.UsePath = static_cast<signed char>(usePath);
    Settings.LogFile = static_cast<signed char>(logFile);
    Settings.WindowRect = {20, 20, 800, 600};
}

void MainWindowTest::OpenWindow()
{
    ASSERT_TRUE(OpenMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL));
    gui::PumpPending();
}

void MainWindowTest::CloseWindow()
{
    if (MainWindow && IsWindow(MainWindow))
        DestroyWindow(MainWindow);
    gui::PumpUntil([] { return gui::QuitSeen(); }, 2000);
    MainWindow = nullptr;
}

void MainWindowTest::Connect()
{
    gui::SendCommand(MainWindow, CMD_CONNECT);
    gui::PumpPending();
}

void MainWindowTest::ReRead()
{
    gui::SendCommand(MainWindow, CMD_REREAD);
    gui::PumpPending();
}

void MainWindowTest::SelectDirectory(const std::vector<std::string>& path)
{
    HTREEITEM item = gui::FindTreeItem(TreeView, path);
    ASSERT_NE(item, nullptr);
    gui::SelectTreeItem(TreeView, item);
    gui::PumpPending();
}
