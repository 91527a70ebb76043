// Plays the window cases of tests/gui/cases, each on a fresh window and a fresh scripted controller; the verbs
// and fields are described in tests/gui/README.md.
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "app/main_window.h"
#include "app/program_main.h"
#include "app/settings.h"
#include "lib/zem_shared.h"
#include "serial/serial_port.h"
#include "serial/upload_dialog.h"
#include "serial/upload_job.h"
#include "tests/gui/support/gui_case.h"
#include "tests/gui/support/gui_harness.h"

namespace {

const std::set<std::string> startKeys = {"port",      "baud", "listing",   "connected", "file",
                                         "folder",    "box",  "arguments", "fail-open", "serial-ports"};
const std::set<std::string> requiredStartKeys = {"port", "baud", "listing", "connected"};
const std::set<std::string> inputKeys = {"with listing",    "with parameters", "with tools",
                                         "with answers",    "with busy",       "with fail-open",
                                         "with fail-writes", "with held-file", "with cancel-at-block",
                                         "with send-during-read"};
const std::set<std::string> expectationKeys = {"path",      "tree",       "files",   "box",          "sent",
                                               "port",      "baud",       "port-box", "focus",       "connected",
                                               "busy",      "closes",     "window",  "cancel-asked", "pc-file",
                                               "free-space", "window-place", "send-answer"};
const std::set<std::string> repeatableKeys = {"box", "sent", "file", "folder", "pc-file"};
const std::set<std::string> yesNoKeys = {"connected", "fail-open", "busy", "cancel-asked", "with busy",
                                         "with fail-open"};
const std::set<std::string> numberKeys = {"baud", "closes", "send-answer", "with fail-writes", "with cancel-at-block"};
// The keys a case may press.
const std::map<std::string, UINT> keyCodes = {
    {"F5", VK_F5}, {"Delete", VK_DELETE}, {"Backspace", VK_BACK}, {"Home", VK_HOME}, {"End", VK_END}};
// The commands a case may post.
const std::map<std::string, unsigned> commandIds = {
    {"connect", CMD_CONNECT}, {"reread", CMD_REREAD}, {"delete", CMD_DELETE}, {"exit", CMD_EXIT}};

// What another thread may send the main window during a long read, as a launcher or the system sends it.
struct SentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
const std::map<std::string, SentMessage> sendable = {
    {"close", {WM_CLOSE, 0, 0}},          {"taskbar-close", {WM_SYSCOMMAND, SC_CLOSE, 0}},
    {"exit", {WM_COMMAND, CMD_EXIT, 0}},  {"logoff", {WM_QUERYENDSESSION, 0, LPARAM(ENDSESSION_LOGOFF)}},
    {"menu", {WM_SYSCOMMAND, SC_KEYMENU, 'f'}}, {"connect", {WM_COMMAND, CMD_CONNECT, 0}}};

// The message of a step, sent at the read's first look at its queue; after every look the driver notes whether
// the window or the port had gone.
struct SendDuringRead {
    SentMessage sent;
    std::thread sender;
    bool answeredAtOnce;
    LRESULT answer;
    int looks, windowGone, portClosed, closesAtStart;
    const ScriptedLine* line;
} during;

BOOL WINAPI LookAndSend(LPMSG message, HWND window, UINT first, UINT last, UINT how)
{
    if (during.looks++ == 0) {
        during.sender = std::thread([] {
            DWORD_PTR result = 0;
            during.answeredAtOnce = SendMessageTimeoutA(MainWindow, during.sent.message, during.sent.wParam,
                                                        during.sent.lParam, SMTO_NORMAL, 5000, &result);
            during.answer = LRESULT(result);
            if (!during.answeredAtOnce)   // a loop of the window's own under the read: let go of it
                for (int i = 0; i < 3; i++)
                    PostMessageA(MainWindow, WM_KEYDOWN, VK_ESCAPE, 1);
        });
        // Delivered by the look below, once it waits in the queue.
        gui::WaitUntil([] { return (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) != 0; }, 5000);
    }
    BOOL found = PeekMessageA(message, window, first, last, how);
    during.windowGone += !IsWindow(MainWindow);
    during.portClosed += during.line->closes != during.closesAtStart;
    return found;
}

// A timer procedure is __stdcall (CALLBACK) on 32-bit Windows, which a lambda is not.
void CALLBACK EndOpenDialog(HWND open, UINT, UINT_PTR, DWORD)
{
    ADD_FAILURE() << "the dialog '" << gui::WindowText(open) << "' was still open 10 s after its start";
    EndDialog(open, 0);
}

// The window that last got the keyboard focus: unlike GetFocus it stays when another program on the display takes
// the front for a moment.
HWND lastFocused;

LRESULT CALLBACK NoteFocus(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_SETFOCUS)
        lastFocused = call->hwnd;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

class PlayedCase : public MainWindowTest, public ::testing::WithParamInterface<std::string> {
protected:
    ~PlayedCase() override
    {
        if (postedVerbs)
            DestroyWindow(postedVerbs);
    }

    using Verb = std::function<void(const std::string& argument)>;

    void SetUp() override
    {
        MainWindowTest::SetUp();
        lastFocused = nullptr;
        // The case's own folder holds its PC files and is the program's folder and the current one.
        GetCurrentDirectoryA(MAX_PATH, startDirectory);
        folder = gui::ScratchDirectory("case");
        strcpy(ProgramDir, folder.c_str());
        SetCurrentDirectoryA(folder.c_str());
        // An upload dialog still open 10 s after its start is ended, so that the case fails instead of hanging.
        boxes.onDialog = [](HWND dialog) { SetTimer(dialog, 1, 10000, EndOpenDialog); };
        focusHook = SetWindowsHookExA(WH_CALLWNDPROC, NoteFocus, nullptr, GetCurrentThreadId());
    }
    void TearDown() override
    {
        if (during.sender.joinable())   // a step that stopped before its checks
            during.sender.join();
        LookAtQueue = PeekMessageA;
        UnhookWindowsHookEx(focusHook);
        MainWindowTest::TearDown();
        SetCurrentDirectoryA(startDirectory);
    }

    // A failure at the field's line; false, so that a check reads `good || Fail(...)`.
    bool Fail(const CaseField& field, const std::string& why)
    {
        ADD_FAILURE_AT(played.file.c_str(), field.line) << field.key << ": " << why;
        return false;
    }
    bool YesNo(const CaseField& field, bool* yes)
    {
        *yes = field.value == "yes";
        return field.value == "yes" || field.value == "no" || Fail(field, "expected yes or no");
    }
    bool Number(const CaseField& field, int* number)
    {
        char* end = nullptr;
        *number = static_cast<int>(strtol(field.value.c_str(), &end, 10));
        return (!field.value.empty() && !*end) || Fail(field, "expected a number");
    }
    // A listing is handed on as written: the scripted controller reads its pauses and repeats.
    std::string ListingText(const std::string& script) { return script == "sample" ? SampleListing : script; }
    // The text replaces the box's, with the caret behind it as after typing.
    static void TypeInto(HWND edit, const std::string& text)
    {
        SetWindowTextA(edit, text.c_str());
        SendMessageA(edit, EM_SETSEL, text.size(), text.size());
    }

    static LRESULT CALLBACK PostedVerbProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message != WM_APP)
            return DefWindowProcA(window, message, wParam, lParam);
        reinterpret_cast<PlayedCase*>(GetWindowLongPtrA(window, GWLP_USERDATA))->RunPostedVerb();
        return 0;
    }

    bool CheckValue(const CaseField& field)
    {
        bool yes = false;
        int number = 0;
        if (yesNoKeys.count(field.key))
            return YesNo(field, &yes);
        if (numberKeys.count(field.key))
            return Number(field, &number);
        if (field.key == "window")
            return field.value == "open" || field.value == "closed" || Fail(field, "expected open or closed");
        if (field.key == "with send-during-read")
            return sendable.count(field.value) ||
                   Fail(field, "expected close, taskbar-close, exit, logoff, menu or connect");
        if (field.key == "with answers")
            for (const std::string& answer : SplitCaseList(field.value, " "))
                if (answer != "yes" && answer != "no")
                    return Fail(field, "answers are yes or no");
        return true;
    }

    bool CheckVocabulary()
    {
        bool good = true;
        std::set<std::string> given;
        for (const CaseField& field : played.start) {
            if (!startKeys.count(field.key))
                good = Fail(field, expectationKeys.count(field.key) || inputKeys.count(field.key)
                                       ? "belongs to a step, after a 'do:' line"
                                       : "unknown field");
            else if (given.count(field.key) && !repeatableKeys.count(field.key))
                good = Fail(field, "given twice");
            else if (!CheckValue(field))
                good = false;
            given.insert(field.key);
        }
        for (const std::string& key : requiredStartKeys)
            if (!given.count(key))
                good = Fail({played.steps.empty() ? 0 : played.steps[0].line, key, "", ""}, "missing from the start");
        for (const CaseStep& step : played.steps) {
            if (!verbs.count(step.verb))
                good = Fail({step.line, "do", step.verb, ""}, "unknown verb '" + step.verb + "'");
            std::set<std::string> seen;
            for (const CaseField& field : step.fields) {
                if (inputKeys.count("with " + field.key) && !expectationKeys.count(field.key))
                    good = Fail(field, "in a step this is 'with " + field.key + ":'");
                else if (!inputKeys.count(field.key) && !expectationKeys.count(field.key))
                    good = Fail(field, "unknown field");
                else if (seen.count(field.key) && !repeatableKeys.count(field.key))
                    good = Fail(field, "written twice in one step");
                else if (!CheckValue(field))
                    good = false;
                seen.insert(field.key);
            }
        }
        return good;
    }

    void Start()
    {
        std::string port, baud, arguments;
        Texts startBoxes;
        bool connected = false, failOpen = false;
        for (const CaseField& field : played.start) {
            size_t is = field.value.find(" = ");   // a file's "NAME = BYTES"
            if (field.key == "port")
                port = field.value;
            else if (field.key == "baud")
                baud = field.value;
            else if (field.key == "listing")
                listing = ListingText(field.script);
            else if (field.key == "connected")
                YesNo(field, &connected);
            else if (field.key == "serial-ports")
                serialPorts = SplitCaseList(field.value, " | ");
            else if (field.key == "fail-open" && YesNo(field, &failOpen))
                line.failOpen = failOpen;
            else if (field.key == "arguments")
                arguments = field.value;
            else if (field.key == "box")
                startBoxes.push_back(field.value);
            else if (field.key == "file")
                gui::WriteFileText(folder + field.value.substr(0, is),
                                   is == std::string::npos ? "G0 X1\r\n" : field.value.substr(is + 3));
            else if (field.key == "folder")
                CreateDirectoryA((folder + field.value).c_str(), nullptr);
        }
        UseSettings(port.c_str(), atoi(baud.c_str()), 0, 0);
        ASSERT_TRUE(ReadStartupArguments(arguments.c_str())) << arguments;
        OpenWindow();   // which posts the connect of an automatic upload, as at the program's start
        CheckBoxManners();
        EXPECT_EQ(TakeBoxes(), startBoxes) << "the boxes of the start";
        if (!connected)
            return;
        gui::Command(MainWindow, CMD_CONNECT);
        ASSERT_NE(ConnectedPort, nullptr) << "the connect at the start";
        ASSERT_EQ(TakeBoxes(), Texts{}) << "the connect at the start";
        TakeSent();
    }

    int FindRow(const std::string& row)
    {
        Texts names = ReadViews().files;
        if (row.rfind('#', 0) == 0) {   // "#N", or "#N NAME" with the name checked
            int number = atoi(row.c_str() + 1);
            size_t blank = row.find(' ');
            bool named = blank != std::string::npos;
            if (named && (number < 0 || number >= int(names.size()) || names[number] != row.substr(blank + 1)))
                ADD_FAILURE() << "row " << row << ": the file list holds " << testing::PrintToString(names);
            return number;
        }
        int found = -1, count = 0;
        for (int i = 0; i < int(names.size()); i++)
            if (names[i] == row)
                found = found < 0 ? i : found, count++;
        if (count != 1)
            ADD_FAILURE() << "row '" << row << "' is in the file list " << count << " times; write #N NAME";
        return found;
    }

    int FindPathEntry(const std::string& entry)
    {
        if (entry.rfind('#', 0) == 0)
            return atoi(entry.c_str() + 1);
        int index = int(SendMessageA(PathBox, CB_FINDSTRINGEXACT, -1, LPARAM(entry.c_str())));
        if (index < 0)
            ADD_FAILURE() << "the path box has no entry '" << entry << "'";
        return index;
    }

    int FindBaud(const std::string& rate)
    {
        int index = int(SendMessageA(BaudBox, CB_FINDSTRINGEXACT, -1, LPARAM(rate.c_str())));
        if (index < 0)
            ADD_FAILURE() << "the baud box has no rate '" << rate << "'";
        return index;
    }

    void DoubleClick(const std::string& row)
    {
        int number = FindRow(row);
        RECT rect = {};
        ListView_GetItemRect(FileView, number, &rect, LVIR_LABEL);
        NMITEMACTIVATE activate = {{FileView, UINT_PTR(GetDlgCtrlID(FileView)), UINT(NM_DBLCLK)}, number, 0, 0, 0, 0,
                                   {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}, 0, 0};
        SendMessageA(MainWindow, WM_NOTIFY, activate.hdr.idFrom, reinterpret_cast<LPARAM>(&activate));
    }

    // Return on a row: the row focused and selected alone, as the keyboard leaves it.
    void PressReturn(const std::string& row)
    {
        const UINT state = LVIS_SELECTED | LVIS_FOCUSED;
        ListView_SetItemState(FileView, -1, 0, state);
        ListView_SetItemState(FileView, FindRow(row), state, state);
        NMHDR header = {FileView, static_cast<UINT_PTR>(GetDlgCtrlID(FileView)), static_cast<UINT>(NM_RETURN)};
        SendMessageA(MainWindow, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
    }

    void SelectRows(const std::string& rows)
    {
        ListView_SetItemState(FileView, -1, 0, LVIS_SELECTED);
        for (const std::string& row : SplitCaseList(rows, " | "))
            ListView_SetItemState(FileView, FindRow(row), LVIS_SELECTED, LVIS_SELECTED);
    }

    // A choice told to the window as the user's pick is, or only marked, as a program sets it.
    void PickCombo(HWND combo, int index, bool told)
    {
        SendMessageA(combo, CB_SETCURSEL, index, 0);
        if (told)
            SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE), LPARAM(combo));
    }

    // The control a key goes to: the file list, the tree, the port box, the path box's edit field or the baud box.
    HWND Place(const std::string& place)
    {
        HWND controls[] = {FileView, TreeView, PortEdit, GetWindow(PathBox, GW_CHILD), BaudBox};
        const char* names[] = {"files", "tree", "port", "path", "baud"};
        for (size_t i = 0; i < sizeof(names) / sizeof(names[0]); i++)
            if (place == names[i])
                return controls[i];
        return nullptr;
    }

    std::string FocusName()
    {
        const char* names[] = {"files", "tree", "port", "path", "baud"};
        for (const char* name : names)
            if (lastFocused == Place(name))
                return name;
        return lastFocused ? "elsewhere" : "none";
    }

    // "KEY in PLACE": the control gets the focus, then the key goes down and up through the window's queue, as
    // typed; the message loop sees it first.
    void PressKey(const std::string& argument)
    {
        size_t in = argument.find(" in ");
        auto key = keyCodes.find(argument.substr(0, in));
        HWND control = in == std::string::npos ? nullptr : Place(argument.substr(in + 4));
        if (key == keyCodes.end() || !control) {
            ADD_FAILURE() << "key: '" << argument << "' is no KEY in PLACE (F5, Delete, Backspace, Home or End in "
                          << "files, tree, port, path or baud)";
            return;
        }
        SetFocus(control);
        const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(key->second, MAPVK_VK_TO_VSC)) << 16;
        PostMessageA(control, WM_KEYDOWN, key->second, scan | 1);
        PostMessageA(control, WM_KEYUP, key->second, scan | 1 | static_cast<LPARAM>(0xC0000000u));
    }

    // Key messages as the keyboard leaves them in the queue of the window that last got the focus.
    void PostKeys(std::initializer_list<std::pair<UINT, WPARAM>> keys)
    {
        HWND target = lastFocused ? lastFocused : MainWindow;
        for (const auto& [message, key] : keys) {
            UINT flags = 1 | MapVirtualKeyA(UINT(key), MAPVK_VK_TO_VSC) << 16;
            flags |= message == WM_SYSKEYDOWN || message == WM_SYSKEYUP ? 1u << 29 : 0;   // Alt is held
            flags |= message == WM_KEYUP || message == WM_SYSKEYUP ? 3u << 30 : 0;         // a key let go
            PostMessageA(target, message, key, LPARAM(flags));
        }
    }

    // A command, a key or a close waits in the queue as the system leaves it there; any other verb runs when a loop
    // dispatches the message posted for it.
    void Post(const std::string& what)
    {
        size_t blank = what.find(' ');
        std::string verb = what.substr(0, blank), argument = blank == std::string::npos ? "" : what.substr(blank + 1);
        if (commandIds.count(what)) {
            PostMessageA(MainWindow, WM_COMMAND, commandIds.at(what), 0);
        } else if (what == "escape") {
            PostKeys({{WM_KEYDOWN, VK_ESCAPE}, {WM_KEYUP, VK_ESCAPE}});
        } else if (what == "alt-f4") {
            PostKeys({{WM_SYSKEYDOWN, VK_MENU}, {WM_SYSKEYDOWN, VK_F4}, {WM_SYSKEYUP, VK_F4}, {WM_KEYUP, VK_MENU}});
        } else if (what == "close") {
            PostMessageA(MainWindow, WM_CLOSE, 0, 0);
        } else if (what == "taskbar-close") {
            PostMessageA(MainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else if (verbs.count(verb) && verb != "post") {
            if (!postedVerbs) {
                postedVerbs = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
                SetWindowLongPtrA(postedVerbs, GWLP_USERDATA, LONG_PTR(this));
                SetWindowLongPtrA(postedVerbs, GWLP_WNDPROC, LONG_PTR(PostedVerbProc));
            }
            queuedVerbs.emplace_back(verb, argument);
            PostMessageA(postedVerbs, WM_APP, 0, 0);
        } else {
            ADD_FAILURE() << "post: nothing to post as '" << what << "'";
        }
    }

    void RunPostedVerb()
    {
        auto [verb, argument] = queuedVerbs.front();
        queuedVerbs.pop_front();
        verbs.at(verb)(argument);
    }

    void ApplyInput(const CaseField& field)
    {
        bool yes = false;
        int number = 0;
        if (field.key == "with listing") {
            listing = ListingText(field.script);
        } else if (field.key == "with parameters") {
            parameterAnswer = field.script;
        } else if (field.key == "with tools") {
            toolAnswer = field.script;
        } else if (field.key == "with held-file") {
            // Held open as another program holds it, one that lets others read and write it.
            heldFile = CreateFileA((folder + field.value).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
            if (heldFile == INVALID_HANDLE_VALUE)
                Fail(field, "the case has no such file");
        } else if (field.key == "with send-during-read") {
            during = {sendable.at(field.value), {}, false, 0, 0, 0, 0, line.closes, &line};
            LookAtQueue = LookAndSend;
        } else if (field.key == "with cancel-at-block" && Number(field, &number)) {
            onDataBlock = [number](int block) {
                if (block != number)
                    return;
                PostMessageA(GetDlgItem(HWND(TheUploadJob.dialog), IDC_UPLOAD_CANCEL), BM_CLICK, 0, 0);
                // The sender looks at the request once this block's reply is read: it waits for the click.
                gui::WaitUntil([] { return ZemLoadByte(&TheUploadJob.cancelRequested) != 0; }, 10000);
            };
        } else if (field.key == "with answers") {
            for (const std::string& answer : SplitCaseList(field.value, " "))
                boxes.answers.push_back(answer == "yes" ? IDYES : IDNO);
        } else if (field.key == "with busy") {
            if (!ConnectedPort)
                Fail(field, "no port is connected");
            else if (YesNo(field, &yes))
                ZemSerComSetBusy(ConnectedPort, yes);
        } else if (field.key == "with fail-open") {
            if (YesNo(field, &yes))
                line.failOpen = yes;
        } else if (field.key == "with fail-writes") {
            if (Number(field, &number))
                line.failWrites = number;
        }
    }

    // The message was delivered during the read and answered at once, and the window and the port stayed while
    // the read was under way.
    void CheckSentDuringRead()
    {
        LookAtQueue = PeekMessageA;
        if (during.sender.joinable())
            during.sender.join();
        EXPECT_GT(during.looks, 0) << "the read never looked at its queue: nothing was sent";
        EXPECT_TRUE(during.answeredAtOnce) << "the message sent during the read was not answered within 5 s";
        EXPECT_EQ(during.windowGone, 0) << "the window went while the read was under way";
        EXPECT_EQ(during.portClosed, 0) << "the port was closed while the read was under way";
    }

    static std::string PlaceText(const WindowRectangle& r)
    {
        return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " " +
               std::to_string(r.bottom);
    }

    // "NAME = BYTES": the case's file holds these bytes; "NAME": there is no such file.
    void CheckPcFile(const CaseField& field)
    {
        size_t is = field.value.find(" = ");
        std::string want = is == std::string::npos ? "<missing>" : field.value.substr(is + 3);
        EXPECT_EQ(gui::FileText(folder + field.value.substr(0, is)), want) << "the PC file";
    }

    // Problems and questions come to the front of other programs without an owner; only the version box has one.
    void CheckBoxManners()
    {
        for (const gui::CapturedBox& box : boxes.boxes) {
            if (box.caption == "Vantorix Browser Info") {
                EXPECT_EQ(box.owner, MainWindow) << box.text;
                continue;
            }
            gui::ExpectInFront(box);
        }
    }

    void CheckExpectations(const CaseStep& step, int closesBefore)
    {
        Texts wantBoxes, wantSent;
        for (const CaseField& field : step.fields) {
            bool yes = false;
            int number = 0;
            ::testing::ScopedTrace trace(played.file.c_str(), field.line, field.key + ": " + field.value);
            if (field.key == "box")
                wantBoxes.push_back(field.value);
            else if (field.key == "sent")
                wantSent.push_back(field.value);
            else if (field.key == "path")
                EXPECT_EQ(ReadViews().path, field.value) << "the path box";
            else if (field.key == "port-box")
                EXPECT_EQ(gui::WindowText(PortEdit), field.value) << "the port box";
            else if (field.key == "focus")
                EXPECT_EQ(FocusName(), field.value) << "the control with the focus";
            else if (field.key == "tree")
                EXPECT_EQ(ReadViews().tree, SplitCaseList(field.value, " > ")) << "the tree's selection";
            else if (field.key == "files")
                EXPECT_EQ(ReadViews().files, SplitCaseList(field.value, " | ")) << "the file list";
            else if (field.key == "port")
                EXPECT_EQ(std::string(Settings.Port), field.value) << "the port setting";
            else if (field.key == "baud")
                EXPECT_EQ(std::to_string(Settings.Baudrate), field.value) << "the baud rate setting";
            else if (field.key == "connected" && YesNo(field, &yes))
                EXPECT_EQ(ConnectedPort != nullptr, yes) << "a port is connected";
            else if (field.key == "busy" && !ConnectedPort)
                Fail(field, "no port is connected");
            else if (field.key == "busy" && YesNo(field, &yes))
                EXPECT_EQ(ZemSerComIsBusy(ConnectedPort) != 0, yes) << "an upload holds the port";
            else if (field.key == "free-space")
                EXPECT_EQ(gui::WindowText(FreeSpaceText), field.value) << "the free-space line";
            else if (field.key == "pc-file")
                CheckPcFile(field);
            else if (field.key == "window-place")
                EXPECT_EQ(PlaceText(Settings.WindowRect), field.value) << "the window's place in the settings";
            else if (field.key == "send-answer" && Number(field, &number))
                EXPECT_EQ(during.answer, number) << "the answer to the message sent during the read";
            else if (field.key == "closes" && Number(field, &number))
                EXPECT_EQ(line.closes - closesBefore, number) << "the port's closes in this step";
            else if (field.key == "cancel-asked" && YesNo(field, &yes))
                EXPECT_EQ(TheUploadJob.cancelRequested, yes ? 1 : 0) << "the upload's cancel request";
            else if (field.key == "window" && field.value == "open") {
                EXPECT_TRUE(IsWindow(MainWindow)) << "the main window";
                EXPECT_FALSE(gui::quitSeen) << "the program's quit message";
            } else if (field.key == "window") {
                EXPECT_FALSE(IsWindow(MainWindow)) << "the main window";
                EXPECT_TRUE(gui::PumpUntil([] { return gui::quitSeen; }, 10000)) << "the quit message";
            }
        }
        CheckBoxManners();
        EXPECT_EQ(TakeBoxes(), wantBoxes) << "the boxes raised in this step";
        EXPECT_EQ(TakeSent(), wantSent) << "the writes to the line in this step";
        EXPECT_EQ(boxes.answers.size(), 0u) << "answers left for questions that were not asked";
        boxes.answers.clear();
    }

    void Play(const CaseStep& step)
    {
        ::testing::ScopedTrace trace(played.file.c_str(), step.line,
                                     "do: " + step.verb + (step.argument.empty() ? "" : " " + step.argument));
        int closesBefore = line.closes;
        for (const CaseField& field : step.fields)
            ApplyInput(field);
        verbs.at(step.verb)(step.argument);
        if (step.verb != "post")   // a posted command waits for the question of a later step
            gui::PumpPending();
        if (heldFile != INVALID_HANDLE_VALUE)
            CloseHandle(heldFile);
        heldFile = INVALID_HANDLE_VALUE;
        onDataBlock = nullptr;
        if (LookAtQueue == LookAndSend)
            CheckSentDuringRead();
        CheckExpectations(step, closesBefore);
    }

    GuiCase played;
    std::string folder;   // the case's PC files, for drops
    HWND postedVerbs = nullptr;   // runs the verbs that "post" queued, when a loop dispatches its message
    std::deque<std::pair<std::string, std::string>> queuedVerbs;
    HHOOK focusHook = nullptr;
    HANDLE heldFile = INVALID_HANDLE_VALUE;
    char startDirectory[MAX_PATH] = "";
    std::map<std::string, Verb> verbs = {
        {"connect", [this](const std::string&) { gui::Command(MainWindow, CMD_CONNECT); }},
        {"reread", [this](const std::string&) { gui::Command(MainWindow, CMD_REREAD); }},
        {"delete", [this](const std::string&) { gui::Command(MainWindow, CMD_DELETE); }},
        {"show-parameters", [this](const std::string&) { gui::Command(MainWindow, CMD_SHOW_PARAMETERS); }},
        {"show-tool-list", [this](const std::string&) { gui::Command(MainWindow, CMD_SHOW_TOOLLIST); }},
        {"exit", [this](const std::string&) { gui::Command(MainWindow, CMD_EXIT); }},
        {"info", [this](const std::string&) { gui::Command(MainWindow, CMD_INFO); }},
        // Not dispatched here: it waits in the queue for a question or a read of a later step.
        {"post", [this](const std::string& what) { Post(what); }},
        {"choose-tree", [this](const std::string& items) { SelectDirectory(SplitCaseList(items, " > ")); }},
        {"double-click", [this](const std::string& row) { DoubleClick(row); }},
        {"press-return", [this](const std::string& row) { PressReturn(row); }},
        {"select", [this](const std::string& rows) { SelectRows(rows); }},
        {"choose-path", [this](const std::string& entry) { PickCombo(PathBox, FindPathEntry(entry), true); }},
        {"mark-path", [this](const std::string& entry) { PickCombo(PathBox, FindPathEntry(entry), false); }},
        {"choose-baud", [this](const std::string& rate) { PickCombo(BaudBox, FindBaud(rate), true); }},
        {"mark-baud", [this](const std::string& rate) { PickCombo(BaudBox, FindBaud(rate), false); }},
        {"type-port", [this](const std::string& text) { TypeInto(PortEdit, text); }},
        {"type-path", [this](const std::string& text) { TypeInto(GetWindow(PathBox, GW_CHILD), text); }},
        {"key", [this](const std::string& argument) { PressKey(argument); }},
        {"drop",
         [this](const std::string& names) {
             Texts paths;
             for (const std::string& name : SplitCaseList(names, " | "))
                 paths.push_back(folder + name);
             Drop(paths);
         }},
    };
};

TEST_P(PlayedCase, Steps)
{
    // Every line that cannot be played is told before anything runs.
    const bool read = ReadGuiCase(GetParam(), &played);
    const bool known = CheckVocabulary();
    if (!read || !known)
        return;
    Start();
    if (HasFatalFailure())
        return;
    for (const CaseStep& step : played.steps)
        Play(step);
}

INSTANTIATE_TEST_SUITE_P(Cases, PlayedCase, ::testing::ValuesIn(GuiCaseNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
