// The handles and references that the user-interface thread keeps for the
// life of the main window.
#include "app/app_state.h"

HINSTANCE ProgramInstance;
HWND MainWindow;
SerialPort* ConnectedPort;
DeviceTree* TheDeviceTree;
HCURSOR WaitCursor;

HWND TreeView, FileView, Separator, FreeSpaceText, PathBox, PortEdit, BaudBox, ConnectButton;
HWND PortLabel, BaudLabel, ParamsButton, ToolListButton, DeleteButton, UploadButton, ReReadButton;
