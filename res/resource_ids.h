// Ids that the resource scripts and the program share: plain #defines, so
// that the resource compiler reads them as well as the C++ compiler.
#pragma once

// The program's icon.
#define IDI_VBROWSER 1

// The main window's menu.
#define IDR_MAINMENU 100
// The keys of the main window: those of every control, and those of the file
// list alone.
#define IDR_WINDOWKEYS 101
#define IDR_FILELISTKEYS 102

// WM_COMMAND ids shared by the buttons, the menu, the file drop, start-up and
// the automatic mode.
#define CMD_CONNECT 500
#define CMD_SHOW_PARAMETERS 501
#define CMD_DELETE 502
#define CMD_UPLOAD 503
#define CMD_REREAD 504
#define CMD_EXIT 505
#define CMD_UPLOAD_TO_ACTUAL_PATH 506
#define CMD_ALWAYS_UPLOAD_DEFAULT 507
#define CMD_WRITE_LOGFILE 508
#define CMD_DROP_FILES 509
#define CMD_SHOW_TOOLLIST 510
#define CMD_INFO 511
#define CMD_AFTER_CONNECT 512
#define CMD_AUTO_UPLOAD 513
// Backspace in the file list: up to the parent directory.
#define CMD_PARENT_DIRECTORY 514

// The upload progress dialog and its controls.
#define IDD_UPLOAD 700
#define IDC_UPLOAD_CANCEL 701
#define IDC_UPLOAD_FILE 702
#define IDC_UPLOAD_STATUS 703
#define IDC_UPLOAD_PROGRESS 704
