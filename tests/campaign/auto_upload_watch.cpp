// Runs VBrowser.exe in automatic mode and reports on stdout what a person in
// front of the screen would see, one line each: UPLOAD (the "Upload Status"
// dialog appeared), UPLOAD_END (it went away), BOX text (a "Problem" box,
// answered with OK), CANCEL (Cancel pressed in the dialog), TERMINATED (the
// program ended by force, as asked), EXIT code, OPEN (still open IDLE_MS after
// its last box), HANG (not ended within LIMIT_MS).
//   auto_upload_watch.exe DIR LIMIT_MS CANCEL_MS TERMINATE_MS IDLE_MS -- ARGUMENTS...
// DIR holds VBrowser.exe and its settings; CANCEL_MS and TERMINATE_MS count
// from the dialog's appearance (0: never).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

constexpr int MESSAGE_TEXT_ID = 0xFFFF;   // the text control of a system message box
constexpr int UPLOAD_CANCEL_ID = 701;

struct ChildWindows {
    DWORD process;
    HWND upload, box;
};

static std::string TextOf(HWND window, bool className = false)
{
    char text[512] = {};
    className ? GetClassNameA(window, text, sizeof(text)) : GetWindowTextA(window, text, sizeof(text));
    return text;
}

static BOOL CALLBACK VisitWindow(HWND window, LPARAM context)
{
    ChildWindows* found = reinterpret_cast<ChildWindows*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == found->process && IsWindowVisible(window) && TextOf(window, true) == "#32770") {
        if (TextOf(window) == "Upload Status")
            found->upload = window;
        else if (TextOf(window) == "Problem" && GetDlgItem(window, MESSAGE_TEXT_ID))
            found->box = window;
    }
    return TRUE;
}

static void Say(const std::string& line)
{
    printf("%s\n", line.c_str());
    fflush(stdout);
}

int main(int argc, char** argv)
{
    const char* marker = strstr(GetCommandLineA(), " -- ");
    if (argc < 7 || strcmp(argv[6], "--") != 0 || !marker) {
        fprintf(stderr, "usage: auto_upload_watch DIR LIMIT_MS CANCEL_MS TERMINATE_MS IDLE_MS -- ARGUMENTS...\n");
        return 2;
    }
    std::string dir = std::string(argv[1]) + "\\";
    DWORD limit = strtoul(argv[2], nullptr, 10), cancelAt = strtoul(argv[3], nullptr, 10);
    DWORD terminateAt = strtoul(argv[4], nullptr, 10), idleLimit = strtoul(argv[5], nullptr, 10);
    std::string commandLine = "\"" + dir + "VBrowser.exe\" " + (marker + 4);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &startup,
                        &child)) {
        fprintf(stderr, "auto_upload_watch: cannot start %s (error %lu)\n", commandLine.c_str(), GetLastError());
        return 2;
    }
    DWORD start = GetTickCount(), dialogSince = 0, lastBoxAt = 0, code = 0;
    HWND lastBox = nullptr, dialog = nullptr;
    const char* forced = nullptr;
    while (!forced) {
        if (WaitForSingleObject(child.hProcess, 40) == WAIT_OBJECT_0) {
            GetExitCodeProcess(child.hProcess, &code);
            Say(std::string(dialog ? "UPLOAD_END\n" : "") + "EXIT " + std::to_string(code));
            break;
        }
        DWORD now = GetTickCount();
        ChildWindows found = {child.dwProcessId, nullptr, nullptr};
        EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&found));
        if (!found.upload != !dialog)
            Say(found.upload ? "UPLOAD" : "UPLOAD_END");
        if (found.upload && !dialog)
            dialogSince = now;
        dialog = found.upload;
        // A box is answered once; should it stay up, it is answered again.
        if (found.box && (found.box != lastBox || now - lastBoxAt > 2000)) {
            if (found.box != lastBox)
                Say("BOX " + TextOf(GetDlgItem(found.box, MESSAGE_TEXT_ID)));
            PostMessageA(found.box, WM_COMMAND, IDOK, 0);
            lastBox = found.box;
            lastBoxAt = now;
        }
        if (dialog && cancelAt && now - dialogSince >= cancelAt) {
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(UPLOAD_CANCEL_ID, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, UPLOAD_CANCEL_ID)));
            cancelAt = 0;
            Say("CANCEL");
        }
        if (now - start > limit)
            forced = "HANG";
        else if (dialogSince && terminateAt && now - dialogSince >= terminateAt)
            forced = "TERMINATED";
        else if (lastBoxAt && !dialog && !found.box && now - lastBoxAt > idleLimit)
            forced = "OPEN";
    }
    if (forced) {
        TerminateProcess(child.hProcess, 9);
        WaitForSingleObject(child.hProcess, 5000);
        Say(forced);
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return 0;
}
