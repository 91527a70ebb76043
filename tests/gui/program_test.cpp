// The window against the simulated controller on COM5 (run_sim_test.sh), and VBrowser.exe as a child process.
#include <gmock/gmock.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/command_line.h"
#include "app/settings.h"
#include "tests/gui/support/gui_harness.h"
#include "tree/device_tree.h"

namespace {

std::string Env(const char* name)
{
    const char* value = getenv(name);
    return value ? value : "";
}

std::string SampleBytes(size_t count, unsigned seed)
{
    std::string bytes(count, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    return bytes;
}

class SimWindow : public MainWindowTest {
protected:
    void SetUp() override
    {
        // run_sim_test.sh starts the simulator, or tells why it cannot.
        ASSERT_NE(Env("VBROWSER_SIM_ROOT"), "") << "runs beside the simulated controller: start it with "
                                                   "run_sim_test.sh";
        MainWindowTest::SetUp();
        InstallScriptedLine(nullptr);   // the real port
        root = gui::WindowsPath(Env("VBROWSER_SIM_ROOT")) + "\\";
        local = gui::ScratchDirectory("upload");
        strcpy(ProgramDir, local.c_str());
        childDir = gui::ScratchDirectory("child");
        boxes.onDialog = [this](HWND dialog) {
            if (gui::WindowText(dialog) == "Upload Status")
                return;
            SetDlgItemTextA(dialog, 0x47C, choice.c_str());
            SetDlgItemTextA(dialog, 0x480, choice.c_str());
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        };
        UseSettings("COM5", 57600);
        OpenWindow();
        Connect();
        ASSERT_NE(TheDeviceTree->arraysInUse, 0u);
    }
    void TearDown() override
    {
        EndChild();
        MainWindowTest::TearDown();
    }
    std::string LocalFile(const char* name, const std::string& bytes)
    {
        return gui::WriteFileText(local + name, bytes), local + name;
    }
    void UploadChosen(const std::string& path)
    {
        choice = path;
        char before[MAX_PATH], after[MAX_PATH] = "";
        GetCurrentDirectoryA(MAX_PATH, before);
        gui::Command(MainWindow, CMD_UPLOAD);
        GetCurrentDirectoryA(MAX_PATH, after);
        EXPECT_STREQ(after, before);   // no folder kept in use
    }
    std::string Arrived(const char* path) { return gui::FileText(root + (path + 1)); }
    // A filled controller: its listing takes several read times at 57600 bit/s.
    void FillController()
    {
        CreateDirectoryA((root + "ram\\programs").c_str(), nullptr);
        for (int i = 0; i < 600; i++)
            gui::WriteFileText(root + "ram\\programs\\program_number_" + std::to_string(i) + ".nc", "G0\r\n");
    }
    // VBrowser.exe in a directory of its own, with the settings given; the one before ends by force.
    void StartChild(const std::string& settings, const std::string& arguments)
    {
        EndChild();
        ASSERT_TRUE(CopyFileA((gui::WindowsPath(Env("VBROWSER_BUILD")) + "\\VBrowser.exe").c_str(),
                              (childDir + "VBrowser.exe").c_str(), FALSE));
        if (!settings.empty())
            gui::WriteFileText(childDir + "Vantorix1.ini", settings);
        std::string commandLine = "\"" + childDir + "VBrowser.exe\" " + arguments;
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        ASSERT_TRUE(CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, childDir.c_str(),
                                   &startup, &child));
    }
    void EndChild()
    {
        if (child.hProcess && TerminateProcess(child.hProcess, 1))   // fails harmlessly when it has ended
            WaitForSingleObject(child.hProcess, 5000);
        CloseHandle(child.hProcess);
        CloseHandle(child.hThread);
        child = {};
    }
    DWORD ExitCode(DWORD ms)   // STILL_ACTIVE when it did not end in time
    {
        DWORD code = 0;
        WaitForSingleObject(child.hProcess, ms);
        return GetExitCodeProcess(child.hProcess, &code), code;
    }
    // A visible top-level window of the child with this title.
    HWND ChildWindow(const char* title = "Vantorix1-Browser", DWORD ms = 30000)
    {
        HWND found = nullptr;
        gui::PumpUntil([&] {
            for (HWND window = GetTopWindow(nullptr); window && !found; window = GetWindow(window, GW_HWNDNEXT)) {
                DWORD owner = 0;
                GetWindowThreadProcessId(window, &owner);
                if (owner == child.dwProcessId && IsWindowVisible(window) && gui::WindowText(window) == title)
                    found = window;
            }
            return found || WaitForSingleObject(child.hProcess, 0) != WAIT_TIMEOUT;
        }, ms);
        return found;
    }

    std::string root, local, choice, childDir;
    PROCESS_INFORMATION child = {};
};

TEST_F(SimWindow, UploadsArriveWhereChosen)
{
    ASSERT_TRUE(ParseCommandLine("-p /ram/x/"));   // without "-u" it has no effect
    std::string bytes = SampleBytes(5000, 1);
    UploadChosen(LocalFile("up-default.nc", bytes));
    EXPECT_EQ(Arrived("/ram/cncprg/up-default.nc"), bytes);
    EXPECT_EQ(Arrived("/ram/x/up-default.nc"), "<missing>");
    EXPECT_EQ(std::string(Settings.DefUplPath), local);
    gui::Command(MainWindow, CMD_UPLOAD_TO_ACTUAL_PATH);
    SelectDirectory({"/", "ram", "empty"});
    for (size_t i = 0; i < bytes.size(); i += 2)
        bytes[i] = "\x00\x11\x13"[i % 3];   // NUL, XON and XOFF arrive as they are
    UploadChosen(LocalFile("up-path.nc", bytes));
    EXPECT_EQ(Arrived("/ram/empty/up-path.nc"), bytes);
    EXPECT_NE(FindEntryByPath(TheDeviceTree, std::string("/ram/empty/up-path.nc").data()), nullptr);   // read again
    std::string first = SampleBytes(300, 3);
    Drop({LocalFile("drop one.nc", first), local + "up-path.nc"});
    gui::PumpPending();
    EXPECT_EQ(Arrived("/ram/empty/drop_one.nc"), first);   // blanks travel as '_'
    EXPECT_TRUE(boxes.boxes.empty());
}

// On a filled controller the free space ends a listing of several read times; without it every file is refused.
TEST_F(SimWindow, AutomaticRunUploadsEveryNamedFileAndEnds)
{
    Connect();   // the child gets the line
    FillController();
    std::string a = SampleBytes(700, 6), bc = SampleBytes(1300, 7);
    gui::WriteFileText(childDir + "a", a);
    gui::WriteFileText(childDir + "b c", bc);
    StartChild("[Vantorix]\r\nPort=COM5\r\nBaudrate=57600\r\n", "-u a -u \"b c\" -p /ram/x/ -q");
    EXPECT_EQ(ExitCode(60000), 0u);
    EXPECT_EQ(Arrived("/ram/x/a"), a);
    EXPECT_EQ(Arrived("/ram/x/b_c"), bc);
    EXPECT_NE(gui::FileText(childDir + "Vantorix1.ini").find("[VantorixPos]"), std::string::npos);
}

// A close (taskbar, "End task") during the upload: the controller is told with CAN and holds all of it or none.
TEST_F(SimWindow, CloseDuringAnAutomaticUploadCancelsItFirst)
{
    Connect();
    std::string big = SampleBytes(400000, 9);
    gui::WriteFileText(childDir + "big.nc", big);
    StartChild("[Vantorix]\r\nPort=COM5\r\nBaudrate=57600\r\n", "-u big.nc -p /ram/x/");
    ASSERT_NE(ChildWindow("Upload Status", 60000), nullptr);
    PostMessageA(ChildWindow(), WM_CLOSE, 0, 0);
    EXPECT_EQ(ExitCode(60000), 0u);
    Connect();   // the controller answers again at once
    EXPECT_NE(TheDeviceTree->arraysInUse, 0u);
    std::string arrived = Arrived("/ram/x/big.nc");
    std::string kept = arrived == big          ? "all"
                       : arrived == "<missing>" ? "none"
                                                : std::to_string(arrived.size()) + " bytes";
    EXPECT_THAT(kept, testing::AnyOf("all", "none"));
}

// A bad option: the usage, then the window as usual; a first run writes all nine keys.
TEST_F(SimWindow, StartsAfterABadOptionAndKeepsItsSettings)
{
    StartChild("", "-x -q");
    HWND box = ChildWindow("Vantorix-Commandline-Problem");
    EXPECT_EQ(gui::MessageBoxText(box), "VBrowser.exe [-q] [-u \"Filename\"] ... .\n"
                                        "See Readme.txt for more informations.");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    HWND window = ChildWindow();
    ASSERT_TRUE(SetWindowPos(window, nullptr, 100, 50, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE));
    auto placed = [&] {
        RECT r = {};
        GetWindowRect(window, &r);
        return std::to_string(r.left) + "," + std::to_string(r.top) + " to " + std::to_string(r.right) + "," +
               std::to_string(r.bottom);
    };
    gui::PumpUntil([&] { return placed() == "100,50 to 740,530"; }, 5000);
    ASSERT_EQ(placed(), "100,50 to 740,530");
    PostMessageA(window, WM_CLOSE, 0, 0);
    ASSERT_EQ(ExitCode(30000), 0u);
    EXPECT_EQ(gui::FileText(childDir + "Vantorix1.ini"),
              "[Vantorix]\r\nLogFile=0\r\nUsePath=0\r\nPort=COM1\r\nBaudrate=57600\r\nDefUplPath=\r\n"
              "[VantorixPos]\r\nleft=100\r\ntop=50\r\nright=640\r\nbottom=480\r\n");
}

}  // namespace
