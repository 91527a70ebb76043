// Start-up, the message loop and the shutdown of the Windows program.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/app_state.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "app/message_texts.h"
#include "app/program_dir.h"
#include "app/program_main.h"
#include "app/settings.h"
#include "lib/zem_lib.h"
#include "lib/zem_ui.h"
#include "res/resource_ids.h"
#include "serial/upload_job.h"
#include "tree/device_tree.h"

const char* const MainWindowClass = "Vantorix1Class";

int (*StartSupportLibrary)() = ZemLibInit;

int ReadStartupArguments(const char* argumentText)
{
    ClearUploadJob(&TheUploadJob);
    if (argumentText && argumentText[0])
        ParseCommandLine(argumentText);
    // A program started for an unattended upload waits for a controller that
    // may still be busy, so it tries twice as often.
    ListingAttemptsOverride = AutoConnect ? 4 : 0;
    // "-q" without files to upload has nothing left to do.
    return !(QuitWhenDone && !AutoConnect);
}

void LoadProgramSettings()
{
    // Settings that cannot be saved are said at once, not found out later.
    if (FindProgramDir() && !AnsiPathIsWhole(ProgramDir)) {
        char text[sizeof(ProgramDir) + 256];
        ZemUiProblem(FillMessageText(MSG_PROGRAM_DIR_NOT_IN_CODE_PAGE, ProgramDir, text, sizeof(text)));
    }
    LoadSettings();
}

static ATOM RegisterMainWindowClass(HINSTANCE instance)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.hInstance = instance;
    // Our own icon; the system's application icon when it cannot be loaded.
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_VBROWSER));
    windowClass.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_VBROWSER), IMAGE_ICON,
                                                        GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), 0));
    if (!windowClass.hIcon)
        windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    if (!windowClass.hIconSm)
        windowClass.hIconSm = LoadIconA(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_MAINMENU);
    windowClass.lpszClassName = MainWindowClass;
    return RegisterClassExA(&windowClass);
}

int OpenMainWindow(HINSTANCE instance, int show)
{
    CoInitialize(nullptr);
    // InitCommonControls registers nothing under common controls 6, which the
    // manifest asks for: the classes the window and the upload dialog use.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    ProgramInstance = instance;
    LoadWindowKeys(instance);
    if (!RegisterMainWindowClass(instance))
        return 0;
    // After LoadSettings right and bottom hold the width and the height.
    ChooseStartPlace(&Settings.WindowRect);
    const WindowRectangle& rect = Settings.WindowRect;
    MainWindow = CreateWindowExA(0, MainWindowClass, "Vantorix1-Browser", WS_OVERLAPPEDWINDOW, rect.left, rect.top,
                                 rect.right, rect.bottom, nullptr, nullptr, instance, nullptr);
    ShowWindow(MainWindow, show);
    UpdateWindow(MainWindow);
    if (AutoConnect)
        PostMessageA(MainWindow, WM_COMMAND, CMD_CONNECT, 0);
    return 1;
}

int RunMessageLoop()
{
    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchLoopMessage(&message);
    return static_cast<int>(message.wParam);
}

void FinishProgram()
{
    CoUninitialize();
    ZemLibExit();
    SaveSettings();
}

int RunProgram(HINSTANCE instance, const char* argumentText, int show)
{
    if (!StartSupportLibrary()) {
        // In front like every problem, so that a script that started us does not wait behind it.
        ZemUiBox(MessageText(MSG_CANT_START), MessageCaption(MSG_CANT_START), MB_OK);
        return 0;
    }
    if (!ReadStartupArguments(argumentText)) {
        ZemLibExit();
        return 0;
    }
    LoadProgramSettings();
    if (!OpenMainWindow(instance, show)) {
        // The settings are left as they were.
        CoUninitialize();
        ZemLibExit();
        return 0;
    }
    RunMessageLoop();
    FinishProgram();
    return 0;
}
