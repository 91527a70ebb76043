// Uploads through the progress dialog and the automatic mode, against the
// simulated controller on COM5: what arrives, where, and what is said.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "res/resource_ids.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "serial/upload_job.h"
#include "tests/gui/main_window_fixture.h"
#include "tree/device_tree.h"
#include "tree/views.h"

namespace {

std::string FromEnvironment(const char* name)
{
    const char* value = getenv(name);
    return value ? value : "";
}

std::string SampleBytes(size_t count, unsigned seed)
{
    std::string bytes(count, '\0');
    for (char& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<char>(seed >> 16);
    }
    return bytes;
}

class SimUpload : public MainWindowTest {
protected:
    void SetUp() override
    {
        if (FromEnvironment("VBROWSER_SIM_ROOT").empty())
            GTEST_SKIP() << "needs the simulated controller (run_window_sim_test.sh)";
        MainWindowTest::SetUp();
        InstallScriptedLine(nullptr);   // the real port
        root = gui::WindowsPath(FromEnvironment("VBROWSER_SIM_ROOT")) + "\\";
        local = gui::MakeScratchDirectory("upload");
        strcpy(ProgramDir, local.c_str());
        boxes.onDialog = [this](HWND dialog) { OnDialog(dialog); };
        UseSettings("COM5", 57600, 0, 0);
        OpenWindow();
        Connect();
        ASSERT_NE(TheDeviceTree->arraysInUse, 0u);
    }
    void TearDown() override
    {
        SetFaults("");
        if (!IsSkipped())
            MainWindowTest::TearDown();
    }

    // The open-file dialog gets the chosen name; the upload dialog is counted.
    void OnDialog(HWND dialog)
    {
        if (gui::WindowText(dialog) == "Upload Status") {
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
            gui::WriteWholeFile(gui::WindowsPath(control), faults);
    }
    std::string LocalFile(const char* name, const std::string& bytes)
    {
        gui::WriteWholeFile(local + name, bytes);
        return local + name;
    }
    void UploadChosen(const std::string& path)
    {
        choice = path;
        char before[MAX_PATH], after[MAX_PATH];
        GetCurrentDirectoryA(MAX_PATH, before);
        gui::SendCommand(MainWindow, CMD_UPLOAD);
        gui::PumpPending();
        EXPECT_STREQ(GetCurrentDirectoryA(MAX_PATH, after) ? after : "", before);   // no folder kept in use
    }
    // A filled controller: its listing takes several read times at 57600 bit/s.
    void FillController()
    {
        CreateDirectoryA((root + "ram\\programs").c_str(), nullptr);
        for (int i = 0; i < 600; i++)
            gui::WriteWholeFile(root + "ram\\programs\\program_number_" + std::to_string(i) + ".nc", "G0\r\n");
    }
    std::string Arrived(const char* controllerPath) { return gui::ReadWholeFile(gui::WindowsPath(root + (controllerPath + 1))); }
    bool TreeHolds(const char* controllerPath)
    {
        char path[256];
        strcpy(path, controllerPath);
        return FindEntryByPath(TheDeviceTree, path) != nullptr;
    }

    std::string root, local, choice;
    int uploadDialogs = 0;
    int cancelAtOnce = 0;
};

TEST_F(SimUpload, ChosenFileArrivesInTheDefaultDirectoryOrThePathBoxDirectory)
{
    ASSERT_TRUE(ParseCommandLine("-p /ram/x/"));   // without "-u" it has no effect
    EXPECT_EQ(AutoMode, 0);
    std::string bytes = SampleBytes(5000, 1);
    UploadChosen(LocalFile("up-default.nc", bytes));
    EXPECT_EQ(uploadDialogs, 1);
    EXPECT_EQ(Arrived("/ram/cncprg/up-default.nc"), bytes);
    EXPECT_TRUE(TreeHolds("/ram/cncprg/up-default.nc"));   // read again afterwards
    EXPECT_EQ(Arrived("/ram/x/up-default.nc"), "<missing>");
    EXPECT_EQ(std::string(Settings.DefUplPath), local);

    gui::SendCommand(MainWindow, CMD_UPLOAD_TO_ACTUAL_PATH);
    SelectDirectory({"/", "ram", "empty"});
    bytes = SampleBytes(1500, 2);
    for (size_t i = 0; i < bytes.size(); i += 2)
        bytes[i] = "\x00\x11\x13"[i % 3];   // NUL, XON and XOFF arrive as they are
    UploadChosen(LocalFile("up-path.nc", bytes));
    EXPECT_EQ(Arrived("/ram/empty/up-path.nc"), bytes);
    EXPECT_EQ(Arrived("/ram/cncprg/up-path.nc"), "<missing>");
    EXPECT_TRUE(TreeHolds("/ram/empty/up-path.nc"));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(SimUpload, DroppedFilesArriveTogether)
{
    std::string first = SampleBytes(300, 3), second = SampleBytes(2100, 4);
    HDROP drop = gui::MakeDrop({LocalFile("drop one.nc", first), LocalFile("drop-two.nc", second)});
    SendMessageA(FileView, WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
    gui::PumpPending();
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(Arrived("/ram/cncprg/drop_one.nc"), first);   // blanks travel as '_'
    EXPECT_EQ(Arrived("/ram/cncprg/drop-two.nc"), second);
}

TEST_F(SimUpload, OutcomesThatFailAreReported)
{
    UploadChosen(LocalFile("empty.nc", ""));
    SetFaults("can-start");
    UploadChosen(LocalFile("refused.nc", "G0\r\n"));
    SetFaults("no-space");
    ReRead();   // the free space is now listed as 0
    UploadChosen(LocalFile("big.nc", "G1\r\n"));
    EXPECT_EQ(boxes.Texts(), (Texts{"Upload-Error: Can't read file.", "There was an error trying to upload.",
                                    "Upload-Error: Not enough space."}));
    for (const gui::CapturedBox& box : boxes.Boxes())
        EXPECT_EQ(box.caption, "Problem");
    EXPECT_EQ(Arrived("/ram/cncprg/empty.nc") + Arrived("/ram/cncprg/refused.nc") + Arrived("/ram/cncprg/big.nc"),
              "<missing><missing><missing>");
}

// The one cancel: it costs the sender's 9-second pause in real time.
TEST_F(SimUpload, CancelEndsWithoutMessageAndWithoutFile)
{
    cancelAtOnce = 1;
    DWORD start = GetTickCount();
    UploadChosen(LocalFile("cancelled.nc", SampleBytes(60000, 8)));
    DWORD took = GetTickCount() - start;
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(TheUploadJob.result, 2);   // UPL_CANCELLED
    EXPECT_EQ(Arrived("/ram/cncprg/cancelled.nc"), "<missing>");
    EXPECT_GE(took, 9000u);
    EXPECT_LE(took, 25000u);
    EXPECT_TRUE(TreeHolds("/ram/cncprg/part1.nc"));   // read again afterwards
}

std::vector<DWORD> queueLooks;
std::string lineAtLook;
BOOL WINAPI CountedLook(LPMSG message, HWND window, UINT first, UINT last, UINT how)
{
    queueLooks.push_back(GetTickCount());
    lineAtLook = gui::WindowText(FreeSpaceText);
    return PeekMessageA(message, window, first, last, how);
}

// Windows takes a window as hung after 5 seconds without a look at its queue.
TEST_F(SimUpload, LongListingLooksAtTheQueueEverySecondAndSaysSo)
{
    FillController();
    LookAtQueue = CountedLook;
    ReRead();
    LookAtQueue = PeekMessageA;
    ASSERT_GE(queueLooks.size(), 2u);
    for (size_t i = 1; i < queueLooks.size(); i++)
        EXPECT_LT(queueLooks[i] - queueLooks[i - 1], 1000u);
    unsigned long bytes = 0;
    sscanf(lineAtLook.c_str(), "Reading directories: %lu", &bytes);
    EXPECT_EQ(lineAtLook, "Reading directories: " + std::to_string(bytes) + " bytes");
    EXPECT_GT(bytes, 1000u);
    EXPECT_TRUE(TreeHolds("/ram/programs/program_number_599.nc"));
    EXPECT_EQ(gui::WindowText(FreeSpaceText).find("  Available RamDisk: "), 0u);
}

// ---- the automatic mode, in a child process ------------------------------

class AutomaticRun : public SimUpload {
protected:
    void SetUp() override
    {
        SimUpload::SetUp();
        if (IsSkipped())
            return;
        Connect();   // the child gets the line
        ASSERT_EQ(ConnectedPort, nullptr);
        childDir = gui::MakeScratchDirectory("auto");
        std::string exe = gui::WindowsPath(FromEnvironment("VBROWSER_BUILD")) + "\\VBrowser.exe";
        ASSERT_TRUE(CopyFileA(exe.c_str(), (childDir + "VBrowser.exe").c_str(), FALSE));
    }
    void TearDown() override
    {
        gui::EndProgram(&child);
        SimUpload::TearDown();
    }
    void StartChild(const char* port, const std::string& arguments)
    {
        gui::WriteWholeFile(childDir + "Vantorix1.ini", std::string("[Vantorix]\r\nPort=") + port + "\r\nBaudrate=57600\r\n");
        ASSERT_TRUE(gui::StartProgram(childDir + "VBrowser.exe", arguments, childDir, &child));
    }

    std::string childDir;
    PROCESS_INFORMATION child = {};
};

// On a filled controller the free space stands at the end of a listing of
// several read times; without it every file would be refused.
TEST_F(AutomaticRun, UploadsEveryNamedFileAndEndsAfterTheSecondListing)
{
    FillController();
    std::string a = SampleBytes(700, 6), bc = SampleBytes(1300, 7);
    gui::WriteWholeFile(childDir + "a", a);
    gui::WriteWholeFile(childDir + "b c", bc);
    StartChild("COM5", "-u a -u \"b c\" -p /ram/x/ -q");
    EXPECT_EQ(gui::WaitForExit(child, 60000), 0);
    EXPECT_EQ(Arrived("/ram/x/a"), a);
    EXPECT_EQ(Arrived("/ram/x/b_c"), bc);
    std::string saved = gui::ReadWholeFile(childDir + "Vantorix1.ini");
    EXPECT_NE(saved.find("[VantorixPos]"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Port=COM5"), std::string::npos) << saved;
}

// A close of the window (taskbar, "End task") while the upload runs: the
// controller is told with CAN and answers again at once, holding the whole
// file or none of it; the program ends normally afterwards.
TEST_F(AutomaticRun, CloseDuringTheUploadCancelsItFirst)
{
    std::string big = SampleBytes(400000, 9);
    gui::WriteWholeFile(childDir + "big.nc", big);
    StartChild("COM5", "-u big.nc -p /ram/x/");
    ASSERT_NE(gui::WaitForProcessWindow(child, nullptr, "Upload Status", 60000), nullptr);
    PostMessageA(gui::WaitForProcessWindow(child, "Vantorix1Class", "Vantorix1-Browser", 5000), WM_CLOSE, 0, 0);
    EXPECT_EQ(gui::WaitForExit(child, 60000), 0);
    EXPECT_NE(gui::ReadWholeFile(childDir + "Vantorix1.ini").find("[VantorixPos]"), std::string::npos);
    Connect();
    EXPECT_NE(TheDeviceTree->arraysInUse, 0u);
    std::string arrived = Arrived("/ram/x/big.nc");
    EXPECT_TRUE(arrived == "<missing>" || arrived == big) << arrived.size();
}

TEST_F(AutomaticRun, FailedConnectKeepsTheWindowOpenDespiteQuit)
{
    gui::WriteWholeFile(childDir + "a", "G0\r\n");
    StartChild("COM8", "-u a -q");   // nothing behind COM8
    HWND box = gui::WaitForProcessWindow(child, nullptr, "Problem", 30000);
    EXPECT_EQ(gui::MessageBoxText(box), "Can't open Serial Port.");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    gui::PumpUntil([] { return false; }, 1500);
    EXPECT_EQ(WaitForSingleObject(child.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_NE(gui::WaitForProcessWindow(child, "Vantorix1Class", "Vantorix1-Browser", 5000), nullptr);
}

}  // namespace
