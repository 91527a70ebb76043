// Runs DIR\VBrowser.exe and prints what a person would see: UPLOAD, then TREE with what the main window shows
// meanwhile (its free-space line and the path box's entries, " | " between them), UPLOAD_END, BOX text (answered
// OK), CANCEL, CLOSE (a WM_CLOSE sent once the window has been reading directories for CLOSE_MS), EXIT code, or why
// it was ended: TERMINATED (asked), OPEN (idle after its last box), HANG (past LIMIT_MS).
//   auto_upload_watch.exe DIR LIMIT_MS CANCEL_MS TERMINATE_MS IDLE_MS CLOSE_MS -- ARGUMENTS...   (0: never)
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

struct Views {
    HWND freeSpace = nullptr, pathBox = nullptr;
};

// The free-space line (it tells the free bytes or the bytes read so far) and the editable combo box of the paths.
static BOOL CALLBACK NoteView(HWND control, LPARAM found)
{
    Views* views = reinterpret_cast<Views*>(found);
    std::string text = TextOf(control), kind = TextOf(control, true);
    if (kind == "Static" && (text.rfind("  Available", 0) == 0 || text.rfind("Reading", 0) == 0))
        views->freeSpace = control;
    if (kind == "ComboBox" && (GetWindowLongA(control, GWL_STYLE) & 3) == CBS_DROPDOWN)
        views->pathBox = control;
    return TRUE;
}

// The free-space line and the path box's entries, or "" when they cannot be read.
static std::string ReadViews(const Views& views)
{
    DWORD_PTR count = 0;
    if (!views.freeSpace || !views.pathBox ||
        !SendMessageTimeoutA(views.pathBox, CB_GETCOUNT, 0, 0, SMTO_NORMAL, 5000, &count))
        return "";
    std::string shown = TextOf(views.freeSpace);
    // Asked in UTF-16: Wine hands an ANSI entry of another process back in UTF-16 whatever was asked.
    for (DWORD_PTR i = 0; i < count && i < 1000; i++) {
        wchar_t entry[512] = {};
        char narrow[1024] = {};
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(views.pathBox, CB_GETLBTEXTLEN, i, 0, SMTO_NORMAL, 5000, &length) ||
            length >= sizeof(entry) / sizeof(entry[0]) ||
            !SendMessageTimeoutW(views.pathBox, CB_GETLBTEXT, i, LPARAM(entry), SMTO_NORMAL, 5000, &length))
            return "";
        WideCharToMultiByte(CP_ACP, 0, entry, -1, narrow, sizeof(narrow), nullptr, nullptr);
        shown += std::string(" | ") + narrow;
    }
    return shown;
}

int main(int argc, char** argv)
{
    const char* marker = strstr(GetCommandLineA(), " -- ");
    if (argc < 8 || !marker)
        return 2;
    std::string dir = std::string(argv[1]) + "\\", commandLine = "\"" + dir + "VBrowser.exe\" " + (marker + 4);
    DWORD limit = atol(argv[2]), cancelAt = atol(argv[3]), terminateAt = atol(argv[4]), idleLimit = atol(argv[5]);
    DWORD closeAfter = atol(argv[6]), readingSince = 0;
    bool treeShown = false;
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
        HWND upload = nullptr, box = nullptr, main = nullptr;
        for (HWND window = GetTopWindow(nullptr); window; window = GetWindow(window, GW_HWNDNEXT)) {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process == child.dwProcessId && IsWindowVisible(window) && TextOf(window, true) == "#32770") {
                upload = TextOf(window) == "Upload Status" ? window : upload;
                box = TextOf(window) == "Problem" && GetDlgItem(window, 0xFFFF) ? window : box;   // a message box
            }
            if (process == child.dwProcessId && TextOf(window, true) == "Vantorix1Class")
                main = window;
        }
        if (!upload != !dialog)
            printf(upload ? "UPLOAD\n" : "UPLOAD_END\n");
        Views views;
        if (main)
            EnumChildWindows(main, NoteView, reinterpret_cast<LPARAM>(&views));
        // The views do not change while the dialog is open: read while it is, and told only when it still is.
        std::string shown = upload && !treeShown ? ReadViews(views) : "";
        if (!shown.empty() && IsWindowVisible(upload)) {
            printf("TREE %s\n", shown.c_str());
            treeShown = true;
        }
        bool reading = views.freeSpace && TextOf(views.freeSpace).rfind("Reading directories", 0) == 0;
        readingSince = reading ? (readingSince ? readingSince : now) : 0;
        if (closeAfter && readingSince && now - readingSince >= closeAfter) {
            // Sent, as a launcher or "End task" sends it; the window answers at its read's next look at the queue.
            DWORD_PTR result = 0;
            SendMessageTimeoutA(main, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &result);
            printf("CLOSE\n");
            closeAfter = 0;
        }
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
