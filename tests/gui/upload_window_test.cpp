// Uploads from the main window with a scripted controller: those refused before anything is sent.
#include <cstring>
#include <string>

#include "app/command_line.h"
#include "serial/serial_port.h"
#include "serial/upload_dialog.h"
#include "serial/upload_job.h"
#include "tests/gui/support/gui_harness.h"

namespace {

class UploadWindow : public MainWindowTest {
protected:
    void Drop(const Texts& paths) { SendMessageA(FileView, WM_DROPFILES, gui::MakeDrop(paths), 0); }
};

int busyAtThreadStart = -1;

TEST_F(UploadWindow, UploadsThatCannotGoAheadSendNothing)
{
    std::string dir = gui::ScratchDirectory("drop"), file = dir + "part.nc", deep = dir + std::string(180, 'd');
    gui::WriteFileText(file, "G0 X1\r\n");
    CreateDirectoryA(deep.c_str(), nullptr);
    gui::WriteFileText(deep + "\\part.nc", "G0\r\n");
    OpenWindow();
    SetForegroundWindow(GetDesktopWindow());
    Drop({file});
    EXPECT_EQ(GetForegroundWindow(), MainWindow);   // a drop brings the window forward
    EXPECT_EQ(TakeBoxes(), Texts{"You must first connect to a Vantorix."});
    Connect();
    EXPECT_EQ(TakeSent(), Texts{"l"});
    // The files of an automatic upload wait for their listing and stay.
    AutoMode = 1;
    strcpy(TheUploadJob.fileList, "auto.nc");
    Drop({file});
    AutoMode = 0;
    EXPECT_EQ(TakeBoxes(), Texts{"The automatic upload is still waiting, Upload later."});
    EXPECT_STREQ(TheUploadJob.fileList, "auto.nc");
    // A path longer than the open-file dialog's buffer.
    boxes.onDialog = [&](HWND dialog) {
        SetDlgItemTextA(dialog, 0x47C, (deep + "\\part.nc").c_str());
        SetDlgItemTextA(dialog, 0x480, (deep + "\\part.nc").c_str());
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    };
    gui::Command(MainWindow, CMD_UPLOAD);
    EXPECT_EQ(TakeBoxes(), Texts{"Filename is too long"});
    // A worker that cannot be started: the port, already taken for it, is given back.
    auto startThread = StartUploadThread;
    StartUploadThread = [](UploadJob* job) -> HANDLE {
        return busyAtThreadStart = ZemSerComIsBusy(job->port), nullptr;
    };
    Drop({file});
    gui::PumpPending();
    StartUploadThread = startThread;
    EXPECT_EQ(busyAtThreadStart, 1);
    EXPECT_EQ(ZemSerComIsBusy(ConnectedPort), 0);
    EXPECT_EQ(TakeBoxes(), Texts{"There was an error trying to upload."});
    EXPECT_EQ(TakeSent(), Texts{"l"});   // only the read after the upload that failed
}

}  // namespace
