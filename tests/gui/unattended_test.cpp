// Runs that a script starts must end: the boxes of the start come to the front like every problem, and a
// "-q" run whose read after the automatic upload fails ends once its box is answered. The whole program runs
// in this process (RunProgram), its boxes answered by the hook, against the scripted controller.
#include <cstdio>
#include <string>

#include "app/app_state.h"
#include "app/program_dir.h"
#include "app/program_main.h"
#include "app/settings.h"
#include "lib/zem_lib.h"
#include "serial/upload_dialog.h"
#include "serial/upload_job.h"
#include "tests/gui/support/gui_harness.h"

namespace {

bool watchdogFired;

// A timer procedure is __stdcall (CALLBACK) on 32-bit Windows, which a lambda is not.
void CALLBACK EndTheRun(HWND, UINT, UINT_PTR, DWORD)
{
    watchdogFired = true;
    DestroyWindow(MainWindow);
}

class WholeRun : public MainWindowTest {
protected:
    // The program from its start to its end with this argument text. A run that has not ended after 15 s is
    // ended here, so that the test fails instead of hanging.
    int Run(const char* arguments)
    {
        watchdogFired = false;
        UINT_PTR watchdog = SetTimer(nullptr, 0, 15000, EndTheRun);
        int exitCode = RunProgram(GetModuleHandleA(nullptr), arguments, SW_SHOWNORMAL);
        KillTimer(nullptr, watchdog);
        // The program shut the support library down and left its window class behind.
        ZemLibInit();
        UnregisterClassA(MainWindowClass, GetModuleHandleA(nullptr));
        gui::quitSeen = true;   // its own loop took the quit message
        return exitCode;
    }
};

// The "-q" before the fault ends the run right after the box.
TEST_F(WholeRun, UsageBoxComesToTheFront)
{
    EXPECT_EQ(Run("-q -x"), 0);
    EXPECT_FALSE(watchdogFired);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, "Vantorix-Commandline-Problem");
    gui::ExpectInFront(boxes.boxes[0]);
}

TEST_F(WholeRun, StartFailureComesToTheFront)
{
    StartSupportLibrary = [] { return 0; };
    int exitCode = Run("");
    StartSupportLibrary = ZemLibInit;
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Vantorix1 can't start.");
    EXPECT_EQ(boxes.boxes[0].caption, "ZemLibInit-Problem");
    gui::ExpectInFront(boxes.boxes[0]);
}

// The upload fails at once (no worker starts); from then on the controller is silent, so no listing comes.
TEST_F(WholeRun, QuitRunEndsWhenTheReadAfterItsUploadFails)
{
    ASSERT_TRUE(FindProgramDir());
    const std::string settingsFile = std::string(ProgramDir) + "Vantorix1.ini";
    remove(settingsFile.c_str());
    auto startThread = StartUploadThread;
    StartUploadThread = [](UploadJob*) -> HANDLE { return nullptr; };
    boxes.onDialog = [this](HWND) { listing = ""; };
    int exitCode = Run("-u part.nc -q");
    StartUploadThread = startThread;
    EXPECT_FALSE(watchdogFired) << "still running 15 s after its start";
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(TakeBoxes(),
              (Texts{"There was an error trying to upload.",
                     "No answer from Vantorix. Please check if it is connected."}));
    EXPECT_NE(gui::FileText(settingsFile), "<missing>");   // saved at the end as always
    remove(settingsFile.c_str());
}

bool boxOpenAtClose;

BOOL CALLBACK NoteBox(HWND window, LPARAM found)
{
    *reinterpret_cast<bool*>(found) |= !gui::MessageBoxText(window).empty();
    return TRUE;
}

// Notes whether a message box of this thread is still there when the main window goes.
LRESULT CALLBACK NoteClose(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_DESTROY && call->hwnd == MainWindow) {
        bool found = false;
        EnumThreadWindows(GetCurrentThreadId(), NoteBox, reinterpret_cast<LPARAM>(&found));
        boxOpenAtClose = found;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The controller takes the file but the listing after the upload lacks it: the box names it, and the "-q"
// run ends once it is answered, not under it (the listing's end of the run comes while the box is open).
TEST_F(WholeRun, QuitRunEndsAfterTheBoxOfAFileTheListingLacks)
{
    ASSERT_TRUE(FindProgramDir());
    remove((std::string(ProgramDir) + "Vantorix1.ini").c_str());
    const std::string file = gui::ScratchDirectory("unlisted") + "part.nc";
    gui::WriteFileText(file, std::string(1500, 'G'));
    boxOpenAtClose = true;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, NoteClose, nullptr, GetCurrentThreadId());
    int exitCode = Run(("-u \"" + file + "\" -q").c_str());
    UnhookWindowsHookEx(hook);
    EXPECT_FALSE(watchdogFired) << "still running 15 s after its start";
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(TakeBoxes(), Texts{"part.nc is not listed on the Vantorix after the upload."});
    EXPECT_FALSE(boxOpenAtClose) << "the window closed while the box was open";
    remove((std::string(ProgramDir) + "Vantorix1.ini").c_str());
}

}  // namespace
