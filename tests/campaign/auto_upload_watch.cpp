// Runs VBrowser.exe in automatic mode and reports on stdout what a person in
// front of the screen would see, one line each:
//   UPLOAD          the "Upload Status" dialog appeared
//   UPLOAD_END      it went away
//   BOX text        a "Problem" message box showed text (it is answered with OK)
//   CANCEL          Cancel was pressed in the upload dialog
//   TERMINATED      the program was ended by force, as asked
//   EXIT code       the program ended by itself
//   OPEN            the program stayed open after its last message box
//   HANG            the program did not end within the limit
//
//   auto_upload_watch.exe DIR LIMIT_MS CANCEL_MS TERMINATE_MS IDLE_MS -- ARGUMENTS...
// DIR holds VBrowser.exe and its settings. CANCEL_MS and TERMINATE_MS count
// from the upload dialog's appearance (0: never). IDLE_MS is how long the
// program may stay open without a dialog after its last message box.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

constexpr int MESSAGE_TEXT_ID = 0xFFFF;   // the text control of a system message box
constexpr int UPLOAD_CANCEL_ID = 701;
constexpr DWORD POLL_MS = 40;

struct ChildWindows {
    DWORD process;
    HWND upload;
    HWND box;
};

static std::string TextOf(HWND window)
{
    char text[512] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

static std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

static BOOL CALLBACK VisitWindow(HWND window, LPARAM context)
{
    ChildWindows* found = reinterpret_cast<ChildWindows*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != found->process || !IsWindowVisible(window) || ClassOf(window) != "#32770")
        return TRUE;
    std::string caption = TextOf(window);
    if (caption == "Upload Status")
        found->upload = window;
    else if (caption == "Problem" && GetDlgItem(window, MESSAGE_TEXT_ID))
        found->box = window;
    return TRUE;
}

static void Say(const char* what, const std::string& text = std::string())
{
    if (text.empty())
        printf("%s\n", what);
    else
        printf("%s %s\n", what, text.c_str());
    fflush(stdout);
}

// Everything of our own command line after the first " -- ".
static std::string ArgumentsAfterMarker()
{
    const char* line = GetCommandLineA();
    const char* marker = strstr(line, " -- ");
    return marker ? std::string(marker + 4) : std::string();
}

int main(int argc, char** argv)
{
    if (argc < 7 || strcmp(argv[6], "--") != 0) {
        fprintf(stderr, "usage: auto_upload_watch DIR LIMIT_MS CANCEL_MS TERMINATE_MS IDLE_MS -- ARGUMENTS...\n");
        return 2;
    }
    std::string dir = argv[1];
    DWORD limit = strtoul(argv[2], nullptr, 10), cancelAt = strtoul(argv[3], nullptr, 10);
    DWORD terminateAt = strtoul(argv[4], nullptr, 10), idleLimit = strtoul(argv[5], nullptr, 10);
    if (!dir.empty() && dir.back() != '\\')
        dir += '\\';
    std::string commandLine = "\"" + dir + "VBrowser.exe\" " + ArgumentsAfterMarker();

    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &startup,
                        &child)) {
        fprintf(stderr, "auto_upload_watch: cannot start %s (error %lu)\n", commandLine.c_str(), GetLastError());
        return 2;
    }

    DWORD start = GetTickCount(), dialogSince = 0, lastBoxAt = 0;
    HWND lastBox = nullptr, dialog = nullptr;
    bool cancelled = false;
    for (;;) {
        if (WaitForSingleObject(child.hProcess, POLL_MS) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(child.hProcess, &code);
            if (dialog)
                Say("UPLOAD_END");
            Say("EXIT", std::to_string(code));
            break;
        }
        DWORD now = GetTickCount();
        if (now - start > limit) {
            Say("HANG");
            TerminateProcess(child.hProcess, 3);
            WaitForSingleObject(child.hProcess, 5000);
            break;
        }
        ChildWindows found = {child.dwProcessId, nullptr, nullptr};
        EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&found));

        if (found.upload && !dialog) {
            Say("UPLOAD");
            dialogSince = now;
        } else if (!found.upload && dialog) {
            Say("UPLOAD_END");
        }
        dialog = found.upload;

        // A box is answered once; should it stay up, it is answered again.
        if (found.box && (found.box != lastBox || now - lastBoxAt > 2000)) {
            if (found.box != lastBox)
                Say("BOX", TextOf(GetDlgItem(found.box, MESSAGE_TEXT_ID)));
            PostMessageA(found.box, WM_COMMAND, IDOK, 0);
            lastBox = found.box;
            lastBoxAt = now;
        }
        if (dialog && cancelAt && !cancelled && now - dialogSince >= cancelAt) {
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(UPLOAD_CANCEL_ID, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, UPLOAD_CANCEL_ID)));
            cancelled = true;
            Say("CANCEL");
        }
        if (dialogSince && terminateAt && now - dialogSince >= terminateAt) {
            TerminateProcess(child.hProcess, 9);
            WaitForSingleObject(child.hProcess, 5000);
            Say("TERMINATED");
            break;
        }
        if (lastBoxAt && !dialog && !found.box && now - lastBoxAt > idleLimit) {
            Say("OPEN");
            TerminateProcess(child.hProcess, 4);
            WaitForSingleObject(child.hProcess, 5000);
            break;
        }
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return 0;
}
