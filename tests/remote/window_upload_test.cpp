// Uploads through the progress dialog and the automatic mode, against the
// simulated controller on COM5: what arrives, where, and what is said.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/app_state.h"
#include "app/command_ids.h"
#include "app/command_line.h"
#include "app/program_main.h"
#include "app/settings.h"
#include "serial/upload_job.h"
#include "tests/gui/support/gui_harness.h"
#include "tests/remote/window_test_files.h"
#include "tree/device_tree.h"
#include "tree/views.h"

#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;

std::string FromEnvironment(const char* name)
{
    const char* value = getenv(name);
    return value ? value : "";
}

std::string SampleBytes(size_t count, unsigned seed)
{
    std::string bytes(count, '\0');
    for (size_t i = 0; i < count; i++) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 16);
    }
    return bytes;
}

class SimUpload : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (FromEnvironment("VBROWSER_SIM_ROOT").empty())
            GTEST_SKIP() << "needs the simulated controller (run_window_sim_test.sh)";
        root = HostToWindowsPath(FromEnvironment("VBROWSER_SIM_ROOT"));
        AutoMode = 0;
        AutoConnect = 0;
        QuitWhenDone = 0;
        ClearUploadJob(&TheUploadJob);
        memset(&Settings, 0, sizeof(Settings));
        strcpy(Settings.Port, "COM5");
        Settings.Baudrate = 57600;
        Settings.WindowRect = {20, 20, 800, 600};
        local = MakeScratchDirectory("upload");
        strcpy(ProgramDir, local.c_str());
        gui::ResetQuitSeen();
        boxes.onDialog = [this](HWND dialog) { OnDialog(dialog); };
        ASSERT_TRUE(OpenMainWindow(GetModuleHandleA(nullptr), SW_SHOWNORMAL));
        gui::PumpPending();
        gui::SendCommand(MainWindow, CMD_CONNECT);
        gui::PumpPending();
        ASSERT_NE(ConnectedPort, nullptr);
        ASSERT_NE(TheDeviceTree->arraysInUse, 0u);
    }

    void TearDown() override
    {
        SetFaults("");
        if (MainWindow && IsWindow(MainWindow))
            DestroyWindow(MainWindow);
        gui::PumpUntil([] { return gui::QuitSeen(); }, 2000);
        MainWindow = nullptr;
        UnregisterClassA(MainWindowClass, GetModuleHandleA(nullptr));
    }

    // The open-file dialog gets the chosen name; the upload dialog is counted.
    void OnDialog(HWND dialog)
    {
        std::string caption = gui::WindowText(dialog);
        if (caption == "Upload Status") {
            uploadDialogs++;
            if (cancelAtOnce) {
                // Neither Escape nor the close box ends the dialog; Cancel asks the worker.
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
                PostMessageA(dialog, WM_CLOSE, 0, 0);
                PostMessageA(dialog, WM_COMMAND, IDC_UPLOAD_CANCEL, 0);
            }
            return;
        }
        SetDlgItemTextA(dialog, 0x47C, choice.c_str());
        SetDlgItemTextA(dialog, 0x480, choice.c_str());
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    }

    void SetFaults(const char* faults)
    {
        std::string control = FromEnvironment("VBROWSER_SIM_CONTROL");
        if (!control.empty())
            WriteWholeFile(HostToWindowsFile(control), faults);
    }

    std::string MakeLocalFile(const char* name, const std::string& bytes)
    {
        WriteWholeFile(local + name, bytes);
        return local + name;
    }

    void UploadChosen(const std::string& path)
    {
        choice = path;
        gui::SendCommand(MainWindow, CMD_UPLOAD);
        gui::PumpPending();
    }

    std::string Arrived(const char* controllerPath)
    {
        std::string path = root + (controllerPath + 1);
        for (char& c : path)
            if (c == '/')
                c = '\\';
        return ReadWholeFile(path);
    }

    bool TreeHolds(const char* controllerPath)
    {
        char path[256];
        strcpy(path, controllerPath);
        return FindEntryByPath(TheDeviceTree, path) != nullptr;
    }

    std::string root;
    std::string local;
    std::string choice;
    int uploadDialogs = 0;
    int cancelAtOnce = 0;
    gui::BoxCapture boxes;
};

TEST_F(SimUpload, ChosenFileArrivesInTheDefaultDirectory)
{
    std::string bytes = SampleBytes(5000, 1);
    UploadChosen(MakeLocalFile("up-default.nc", bytes));
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(uploadDialogs, 1);
    EXPECT_EQ(Arrived("/ram/cncprg/up-default.nc"), bytes);
    EXPECT_TRUE(TreeHolds("/ram/cncprg/up-default.nc"));   // read again afterwards
    EXPECT_EQ(std::string(Settings.DefUplPath), local);
    EXPECT_EQ(std::string(TheUploadJob.fileList), local + "up-default.nc");
}

TEST_F(SimUpload, WithUsePathTheFileGoesToThePathBoxDirectory)
{
    gui::SendCommand(MainWindow, CMD_UPLOAD_TO_ACTUAL_PATH);
    HTREEITEM empty = gui::FindTreeItem(TreeView, {"/", "ram", "empty"});
    ASSERT_NE(empty, nullptr);
    gui::SelectTreeItem(TreeView, empty);
    gui::PumpPending();
    ASSERT_EQ(gui::ComboSelectedText(PathBox), "/ram/empty/");
    std::string bytes = SampleBytes(1500, 2);
    UploadChosen(MakeLocalFile("up-path.nc", bytes));
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(Arrived("/ram/empty/up-path.nc"), bytes);
    EXPECT_EQ(Arrived("/ram/cncprg/up-path.nc"), "<missing>");
    EXPECT_TRUE(TreeHolds("/ram/empty/up-path.nc"));
}

TEST_F(SimUpload, DroppedFilesArriveTogether)
{
    std::string first = SampleBytes(300, 3), second = SampleBytes(2100, 4);
    HDROP drop = MakeDrop({MakeLocalFile("drop one.nc", first), MakeLocalFile("drop-two.nc", second)});
    SendMessageA(FileView, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    gui::PumpPending();
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(Arrived("/ram/cncprg/drop_one.nc"), first);   // blanks travel as '_'
    EXPECT_EQ(Arrived("/ram/cncprg/drop-two.nc"), second);
}

TEST_F(SimUpload, OutcomesThatFailAreReported)
{
    UploadChosen(MakeLocalFile("empty.nc", ""));
    SetFaults("can-start");
    UploadChosen(MakeLocalFile("refused.nc", "G0\r\n"));
    SetFaults("no-space");
    gui::SendCommand(MainWindow, CMD_REREAD);   // the free space is now listed as 0
    UploadChosen(MakeLocalFile("big.nc", "G1\r\n"));
    EXPECT_EQ(boxes.Texts(), (Texts{"Upload-Error: Can't read file.", "There was an error trying to upload.",
                                    "Upload-Error: Not enough space."}));
    for (const gui::CapturedBox& box : boxes.Boxes())
        EXPECT_EQ(box.caption, "Problem");
    EXPECT_EQ(Arrived("/ram/cncprg/empty.nc"), "<missing>");
    EXPECT_EQ(Arrived("/ram/cncprg/refused.nc"), "<missing>");
    EXPECT_EQ(Arrived("/ram/cncprg/big.nc"), "<missing>");
}

// The one cancel: it costs the sender's 9-second pause in real time.
TEST_F(SimUpload, CancelEndsWithoutMessageAndWithoutFile)
{
    cancelAtOnce = 1;
    DWORD start = GetTickCount();
    UploadChosen(MakeLocalFile("cancelled.nc", SampleBytes(60000, 8)));
    DWORD took = GetTickCount() - start;
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(TheUploadJob.result, 2);   // UPL_CANCELLED
    EXPECT_EQ(Arrived("/ram/cncprg/cancelled.nc"), "<missing>");
    EXPECT_GE(took, 9000u);
    EXPECT_LE(took, 25000u);
    EXPECT_TRUE(TreeHolds("/ram/cncprg/part1.nc"));   // read again afterwards
}

TEST_F(SimUpload, DirectoryOptionWithoutFilesHasNoEffect)
{
    ASSERT_TRUE(ParseCommandLine("-p /ram/x/"));
    EXPECT_EQ(AutoMode, 0);
    std::string bytes = SampleBytes(200, 5);
    UploadChosen(MakeLocalFile("no-auto.nc", bytes));
    EXPECT_EQ(Arrived("/ram/cncprg/no-auto.nc"), bytes);
    EXPECT_EQ(Arrived("/ram/x/no-auto.nc"), "<missing>");
}

// ---- the automatic mode, in a child process ------------------------------

class AutomaticRun : public SimUpload {
protected:
    void SetUp() override
    {
        SimUpload::SetUp();
        if (IsSkipped())
            return;
        gui::SendCommand(MainWindow, CMD_CONNECT);   // the child gets the line
        ASSERT_EQ(ConnectedPort, nullptr);
        childDir = MakeScratchDirectory("auto");
        std::string exe = HostToWindowsPath(FromEnvironment("VBROWSER_BUILD")) + "VBrowser.exe";
        ASSERT_TRUE(CopyFileA(exe.c_str(), (childDir + "VBrowser.exe").c_str(), FALSE));
    }
    void TearDown() override
    {
        if (child.hProcess) {
            TerminateProcess(child.hProcess, 1);
            WaitForSingleObject(child.hProcess, 5000);
            CloseHandle(child.hProcess);
            CloseHandle(child.hThread);
        }
        SimUpload::TearDown();
    }

    void StartChild(const char* port, const std::string& arguments)
    {
        WriteWholeFile(childDir + "Vantorix1.ini",
                       std::string("[Vantorix]\r\nPort=") + port + "\r\nBaudrate=57600\r\n");
        std::string commandLine = "\"" + childDir + "VBrowser.exe\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   childDir.c_str(), &startup, &child));
    }

    // A top-level window of the child with this caption, or null.
    HWND FindChildWindow(const char* caption)
    {
        struct Search {
            DWORD process;
            const char* caption;
            HWND found;
        } search = {child.dwProcessId, caption, nullptr};
        EnumWindows(
            [](HWND window, LPARAM context) -> BOOL {
                Search* s = reinterpret_cast<Search*>(context);
                DWORD process = 0;
                GetWindowThreadProcessId(window, &process);
                if (process == s->process && gui::WindowText(window) == s->caption) {
                    s->found = window;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    std::string childDir;
    PROCESS_INFORMATION child = {};
};

TEST_F(AutomaticRun, UploadsEveryNamedFileAndEndsAfterTheSecondListing)
{
    std::string a = SampleBytes(700, 6), bc = SampleBytes(1300, 7);
    WriteWholeFile(childDir + "a", a);
    WriteWholeFile(childDir + "b c", bc);
    StartChild("COM5", "-u a -u \"b c\" -p /ram/x/ -q");
    ASSERT_EQ(WaitForSingleObject(child.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(child.hProcess, &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(Arrived("/ram/x/a"), a);
    EXPECT_EQ(Arrived("/ram/x/b_c"), bc);
    std::string saved = ReadWholeFile(childDir + "Vantorix1.ini");
    EXPECT_NE(saved.find("[VantorixPos]"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Port=COM5"), std::string::npos) << saved;
}

TEST_F(AutomaticRun, FailedConnectKeepsTheWindowOpenDespiteQuit)
{
    WriteWholeFile(childDir + "a", "G0\r\n");
    StartChild("COM8", "-u a -q");   // nothing behind COM8
    HWND box = nullptr;
    gui::PumpUntil([&] { return (box = FindChildWindow("Problem")) != nullptr; }, 30000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(gui::WindowText(GetDlgItem(box, 0xFFFF)), "Can't open Serial Port.");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    gui::PumpUntil([] { return false; }, 1500);
    EXPECT_EQ(WaitForSingleObject(child.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_NE(FindChildWindow("Vantorix1-Browser"), nullptr);
}

}  // namespace
