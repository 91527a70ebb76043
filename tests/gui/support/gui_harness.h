// The real Win32 windows under Wine: boxes answered, controls driven as a user would, the main window in the test.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "res/resource_ids.h"
#include "tests/support/scripted_device.h"

using Texts = std::vector<std::string>;

namespace gui {

struct CapturedBox {
    std::string text, caption;
    HWND owner;
    UINT style;   // the MB_ flags asked for
};

// Records and answers this thread's message boxes: a question takes the next queued answer, else No; a box
// with only OK gets OK. Other dialogs go to onDialog.
struct BoxCapture {
    BoxCapture();
    ~BoxCapture();
    std::vector<int> answers;
    std::vector<CapturedBox> boxes;
    std::function<void(HWND dialog)> onDialog;
    HHOOK hook;
};

std::string MessageBoxText(HWND box);   // "" when not a message box
// A problem or a question comes to the front of other programs, such as the script that started this one.
void ExpectInFront(const CapturedBox& box);
// Dispatches messages until condition() holds or ms have passed; a WM_QUIT only sets quitSeen.
bool PumpUntil(const std::function<bool()>& condition, DWORD ms);
void PumpPending();
// Waits, without dispatching, until condition() holds or ms have passed: for a thread beside the window's.
bool WaitUntil(const std::function<bool()>& condition, DWORD ms);
extern bool quitSeen;
std::string WindowText(HWND window);
void Command(HWND window, unsigned id);   // WM_COMMAND, then what it posted

std::string WindowsPath(std::string path);   // "/tmp/x" as Wine sees it on Z:
std::string ScratchDirectory(const char* tag);   // new, ending in a backslash
std::string FileText(const std::string& path);   // or "<missing>"
void WriteFileText(const std::string& path, const std::string& bytes);

}  // namespace gui

extern const char* const SampleListing;

// What the three views show: the path box text, the selected tree item with the items above it ("/", "ram",
// ...; none when nothing is selected) and the names in the file list, top row first.
struct Views {
    std::string path;
    Texts tree;
    Texts files;
};

// One write to the line in words: a command up to its first CR ("l", "d /ram/a.nc"), or an upload's
// "header NAME", "closing header", "block N", "EOT", "CAN xCOUNT".
std::string DescribeWrite(const std::string& bytes);

// The scripted controller answers "l\r\n" with `listing`, "p\r\n" and "t\r\n" with the answers (scripts, in which
// "{N}" pauses N ms of virtual time: tests/support/scripted_device.h), a delete with OK, and plays the receiving side
// of an upload: start requests, and every block and EOT acknowledged. The PC's serial ports, which a failed connect
// names, are `serialPorts` (none unless a test gives some).
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void UseSettings(const char* port, int baud);   // before OpenWindow
    void OpenWindow();
    void CloseWindow();
    void Connect() { gui::Command(MainWindow, CMD_CONNECT); }   // connects or disconnects
    void ReRead() { gui::Command(MainWindow, CMD_REREAD); }
    void Drop(const Texts& paths);   // on the file list, as the shell drops them
    void SelectDirectory(const Texts& path);   // through the tree: "/", "ram", "cncprg"
    Views ReadViews();
    Texts TakeBoxes();   // the texts of the boxes raised since the last call
    Texts TakeSent();    // the writes since the last call, as DescribeWrite tells them

    std::string listing = SampleListing, parameterAnswer = "p\r\nX=1\r\n", toolAnswer = "t\r\n", deleteAnswer = "OK\r\n";
    Texts commands;   // every write to the line, as written
    Texts serialPorts;   // the serial ports of this PC that a failed connect names, in the system's order
    // Called on the upload worker's thread when data block `number` has arrived, before its acknowledgement
    // is read.
    std::function<void(int number)> onDataBlock;
    ScriptedLine line;
    gui::BoxCapture boxes;
};
