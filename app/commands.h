// The command handlers that DispatchCommand (dispatch_command_win32.cpp)
// calls, grouped by concern: connection and browsing
// (commands_connect_win32.cpp), options, info and Exit
// (commands_options_win32.cpp), the window's close (window_close_win32.cpp),
// transfers and the upload's opener (commands_transfer_win32.cpp), remote
// files (commands_remote_win32.cpp) and the automatic mode
// (auto_mode_win32.cpp).
#pragma once

#include <windows.h>

#include <cstdint>

void DispatchCommand(unsigned id, intptr_t param);

void CommandConnect();
void CommandReRead();
void CommandExit();
void CommandOption(unsigned id);
void CommandInfo();
void CommandShowFetched(unsigned id);        // CMD_SHOW_PARAMETERS and CMD_SHOW_TOOLLIST
void CommandDelete();
void CommandUpload();
void CommandDropFiles(intptr_t drop);
void CommandParentDirectory();
void CommandAfterConnect();
void CommandAutoUpload();

// A command that talks to the controller is under way: in a read, in the
// upload dialog or in a message box of its own.
int CommandUnderWay();

// Every way of closing the main window (the close box, Alt+F4, the taskbar,
// "End task", Exit, the end of the session): at once while nothing is under
// way. Otherwise the close is remembered (CloseAsked), an upload is asked to
// cancel and a read ends; DispatchCommand closes the window once the command
// under way has returned and the upload worker has ended.
void CloseMainWindow();
int CloseAsked();
// The window is gone: no close waits any more.
void ForgetAskedClose();
// WM_QUERYENDSESSION and WM_ENDSESSION: the query changes nothing and says no
// while an upload holds the port; at the end itself an upload or a read under
// way ends as for a close, and the CAN of the upload goes out before the
// settings are saved.
LRESULT OnQueryEndSession();
LRESULT OnEndSession(WPARAM ending);

// The one way an upload starts: puts the file list (NUL-ended names closed by
// an empty one) and the target directory into the upload job and runs the
// progress dialog. Returns 1 unless the window is to close.
int OpenUpload(const char* fileList, const char* targetDir);

// The device of the connected port has gone (a failed transfer said so): the
// port is closed, the window shows itself disconnected and a box names the
// port. Nothing happens while the port is fine or an upload holds it.
void DropGonePort();
// The system says a port's device was removed: when it is the connected
// port's, that port has gone; dropped at once when no command is under way.
void PortDeviceRemoved(const char* name);

// Re-read: ReadDirectories with the connected port, then RefreshViews.
void ReReadAndRefresh();
// After the re-read that follows an upload: when the upload ended well and
// the read loaded a tree, one box names every file of the upload job that
// the tree does not show as sent.
void ReportUploadCheck();
// The ports that a failed connect names: ListSerialPorts; tests put a list of
// their own in its place.
struct SerialPortInfo;
extern int (*ListPcSerialPorts)(const char* root, SerialPortInfo* ports, int max);
// Shows "You must first connect to a Vantorix." or the busy message (a
// MessageId) and returns 0 when the port cannot be used now; first waits out
// the rest of an answer whose read was ended (0 when Esc ends that wait too).
int GuardPort(int busyMessage);
// The directory a command acts in: the one the file list shows. Shows a
// message and returns 0 when the path box names something else.
int GetCommandDirectory(char* buffer, uint32_t size);
// Shows a message and returns 0 while the files of the automatic upload
// wait for their listing: an interactive upload would replace them.
int GuardAutomaticUpload();
