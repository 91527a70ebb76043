// Runs DIR\VBrowser.exe and prints what a person would see: UPLOAD, UPLOAD_END, BOX text (answered OK), CANCEL,
// EXIT code, or why it was ended: TERMINATED (asked), OPEN (idle after its last box), HANG (past LIMIT_MS).
//   auto_upload_watch.exe DIR LIMIT_MS CANCEL_MS TERMINATE_MS IDLE_MS -- ARGUMENTS...   (from the dialog, 0: never)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

static std::string TextOf(HWND window, bool className = false)
{
    char text[512] = {};
    className ? GetClassNameA(window, text, sizeof(text)) : GetWindowTextA(window, text, sizeof(text));
    return text;
}

int main(int argc, char** argv)
{
    const char* marker = strstr(GetCommandLineA(), " -- ");
    if (argc < 7 || !marker)
        return 2;
    std::string dir = std::string(argv[1]) + "\\", commandLine = "\"" + dir + "VBrowser.exe\" " + (marker + 4);
    DWORD limit = atol(argv[2]), cancelAt = atol(argv[3]), terminateAt = atol(argv[4]), idleLimit = atol(argv[5]);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, 0, 0, nullptr, dir.c_str(), &startup, &child))
        return fprintf(stderr, "auto_upload_watch: cannot start %s\n", commandLine.c_str()), 2;
    DWORD start = GetTickCount(), dialogSince = 0, lastBoxAt = 0, code = 0;
    HWND lastBox = nullptr, dialog = nullptr;
    for (const char* forced = nullptr;; Sleep(0)) {
        if (WaitForSingleObject(child.hProcess, 40) == WAIT_OBJECT_0) {
            GetExitCodeProcess(child.hProcess, &code);
            printf("%sEXIT %lu\n", dialog ? "UPLOAD_END\n" : "", code);
            break;
        }
        DWORD now = GetTickCount();
        HWND upload = nullptr, box = nullptr;
        for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process == child.dwProcessId && IsWindowVisible(window) && TextOf(window, true) == "#32770") {
                upload = TextOf(window) == "Upload Status" ? window : upload;
                box = TextOf(window) == "Problem" && GetDlgItem(window, 0xFFFF) ? window : box;   // a message box
            }
        }
        if (!upload != !dialog)
            printf(upload ? "UPLOAD\n" : "UPLOAD_END\n");
        dialogSince = upload && !dialog ? now : dialogSince;
        dialog = upload;
        // A box is answered once; should it stay up, it is answered again.
        if (box && (box != lastBox || now - lastBoxAt > 2000)) {
            if (box != lastBox)
                printf("BOX %s\n", TextOf(GetDlgItem(box, 0xFFFF)).c_str());
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            lastBox = box;
            lastBoxAt = now;
        }
        if (dialog && cancelAt && now - dialogSince >= cancelAt) {
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(701, BN_CLICKED), (LPARAM)GetDlgItem(dialog, 701));   // Cancel
            cancelAt = 0;
            printf("CANCEL\n");
        }
        forced = now - start > limit                                              ? "HANG"
                 : dialogSince && terminateAt && now - dialogSince >= terminateAt ? "TERMINATED"
                 : lastBoxAt && !dialog && !box && now - lastBoxAt > idleLimit    ? "OPEN"
                                                                                  : nullptr;
        fflush(stdout);
        if (forced) {
            TerminateProcess(child.hProcess, 9);
            WaitForSingleObject(child.hProcess, 5000);
            printf("%s\n", forced);
            break;
        }
    }
    fflush(stdout);
    return 0;
}
