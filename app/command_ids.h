// WM_COMMAND ids shared by the buttons, the menu, the file drop, start-up and
// the automatic mode.
#pragma once

enum {
    CMD_CONNECT = 500,
    CMD_SHOW_PARAMETERS = 501,
    CMD_DELETE = 502,
    CMD_UPLOAD = 503,
    CMD_REREAD = 504,
    CMD_EXIT = 505,
    CMD_UPLOAD_TO_ACTUAL_PATH = 506,
    CMD_ALWAYS_UPLOAD_DEFAULT = 507,
    CMD_WRITE_LOGFILE = 508,
    CMD_DROP_FILES = 509,
    CMD_SHOW_TOOLLIST = 510,
    CMD_INFO = 511,
    CMD_AFTER_CONNECT = 512,
    CMD_AUTO_UPLOAD = 513,
};

enum {
    IDR_MAINMENU = 100,
    IDD_UPLOAD = 700,
    IDC_UPLOAD_CANCEL = 701,
    IDC_UPLOAD_FILE = 702,
    IDC_UPLOAD_STATUS = 703,
    IDC_UPLOAD_PROGRESS = 704,
};
