// What the user-interface thread of the Windows program owns: the main
// window and its controls, the connected port and the controller's tree.
#pragma once

#include <windows.h>

struct SerialPort;
struct DeviceTree;

extern HINSTANCE ProgramInstance;
extern HWND MainWindow;
extern SerialPort* ConnectedPort;     // none while disconnected
extern DeviceTree* TheDeviceTree;     // created with the main window
extern HCURSOR WaitCursor;

extern HWND TreeView, FileView, Separator, FreeSpaceText, PathBox, PortEdit, BaudBox, ConnectButton;
extern HWND PortLabel, BaudLabel, ParamsButton, ToolListButton, DeleteButton, UploadButton, ReReadButton;
