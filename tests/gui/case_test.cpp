// Plays the window cases of tests/gui/cases, each on a fresh window and a fresh scripted controller; the verbs
// and fields are described in tests/gui/README.md.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <thread>

#include <windows.h>

#include <dbt.h>

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

// A message to the main window: a command as its button or menu item sends it, or what the system sends.
struct WindowMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
const std::map<std::string, WindowMessage> messages = {
    {"connect", {WM_COMMAND, CMD_CONNECT, 0}},
    {"reread", {WM_COMMAND, CMD_REREAD, 0}},
    {"delete", {WM_COMMAND, CMD_DELETE, 0}},
    {"show-parameters", {WM_COMMAND, CMD_SHOW_PARAMETERS, 0}},
    {"show-tool-list", {WM_COMMAND, CMD_SHOW_TOOLLIST, 0}},
    {"exit", {WM_COMMAND, CMD_EXIT, 0}},
    {"info", {WM_COMMAND, CMD_INFO, 0}},
    {"log-file", {WM_COMMAND, CMD_WRITE_LOGFILE, 0}},
    {"upload-to-path", {WM_COMMAND, CMD_UPLOAD_TO_ACTUAL_PATH, 0}},
    {"upload-to-default", {WM_COMMAND, CMD_ALWAYS_UPLOAD_DEFAULT, 0}},
    {"minimize", {WM_SYSCOMMAND, SC_MINIMIZE, 0}},
    {"maximize", {WM_SYSCOMMAND, SC_MAXIMIZE, 0}},
    {"close", {WM_CLOSE, 0, 0}},   // as "End task" sends it
    {"taskbar-close", {WM_SYSCOMMAND, SC_CLOSE, 0}},
    {"logoff", {WM_QUERYENDSESSION, 0, LPARAM(ENDSESSION_LOGOFF)}},
    {"logoff-end", {WM_ENDSESSION, TRUE, LPARAM(ENDSESSION_LOGOFF)}},
    {"menu", {WM_SYSCOMMAND, SC_KEYMENU, 'f'}}};
// The keys a case may press.
const std::map<std::string, UINT> keyCodes = {
    {"F5", VK_F5}, {"Delete", VK_DELETE}, {"Backspace", VK_BACK}, {"Home", VK_HOME}, {"End", VK_END}, {"Tab", VK_TAB}};
// The controls a key goes to and the focus is named by; "path" is the path box's edit field.
const char* const placeNames[] = {"files", "tree", "port", "path", "baud"};

// Where a field may stand: at the start (REQUIRED there), in a step; MANY: more than once. A field of the start
// and a step's "with ..." field are put in place before the window opens or the step runs; any other field of a
// step is a check, of the value the window shows after the step.
enum : int { START = 1, REQUIRED = 2, STEP = 4, MANY = 8 };
// What its value must be.
enum class Kind { TEXT, YES_NO, NUMBER, WINDOW, ANSWERS, MESSAGE };
struct FieldRule {
    int where;
    Kind kind;
};
const std::map<std::string, FieldRule> fields = {
    // The start, and the checks of the same names.
    {"port", {START | REQUIRED | STEP, Kind::TEXT}},   {"baud", {START | REQUIRED | STEP, Kind::NUMBER}},
    {"listing", {START | REQUIRED, Kind::TEXT}},       {"connected", {START | REQUIRED | STEP, Kind::YES_NO}},
    {"use-path", {START | STEP, Kind::NUMBER}},        {"log-file", {START | STEP, Kind::NUMBER}},
    {"window-place", {START | STEP, Kind::TEXT}},      {"box", {START | STEP | MANY, Kind::TEXT}},
    {"file", {START | MANY, Kind::TEXT}},              {"folder", {START | MANY, Kind::TEXT}},
    {"serial-ports", {START, Kind::TEXT}},             {"arguments", {START, Kind::TEXT}},
    {"fail-open", {START, Kind::YES_NO}},
    // The inputs of a step.
    {"with listing", {STEP, Kind::TEXT}},              {"with fail-open", {STEP, Kind::YES_NO}},
    {"with parameters", {STEP, Kind::TEXT}},           {"with tools", {STEP, Kind::TEXT}},
    {"with delete-answers", {STEP, Kind::TEXT}},
    {"with answers", {STEP, Kind::ANSWERS}},           {"with busy", {STEP, Kind::YES_NO}},
    {"with fail-writes", {STEP, Kind::NUMBER}},        {"with gone", {STEP, Kind::YES_NO}},        {"with held-file", {STEP, Kind::TEXT}},
    {"with send-during-read", {STEP, Kind::MESSAGE}},  {"with cancel-at-block", {STEP, Kind::NUMBER}},
    // The checks after a step.
    {"sent", {STEP | MANY, Kind::TEXT}},               {"path", {STEP, Kind::TEXT}},
    {"tree", {STEP, Kind::TEXT}},                      {"files", {STEP, Kind::TEXT}},
    {"port-box", {STEP, Kind::TEXT}},                  {"baud-box", {STEP, Kind::TEXT}},
    {"free-space", {STEP, Kind::TEXT}},                {"focus", {STEP, Kind::TEXT}},
    {"options", {STEP, Kind::TEXT}},                   {"busy", {STEP, Kind::YES_NO}},
    {"closes", {STEP, Kind::NUMBER}},                  {"cancel-asked", {STEP, Kind::YES_NO}},
    {"send-answer", {STEP, Kind::NUMBER}},            {"looks-apart-at-most", {STEP, Kind::NUMBER}},
    {"free-space-at-last-look", {STEP, Kind::TEXT}},             {"on-monitor", {STEP, Kind::YES_NO}},
    {"takes-drops", {STEP, Kind::YES_NO}},             {"window", {STEP, Kind::WINDOW}},
    {"pc-file", {STEP | MANY, Kind::TEXT}}};

std::string YesNo(bool yes)
{
    return yes ? "yes" : "no";
}

// The items as a case writes a list, "(none)" for none.
std::string Join(const Texts& items, const std::string& separator)
{
    std::string joined;
    for (const std::string& item : items)
        joined += (joined.empty() ? "" : separator) + item;
    return items.empty() ? "(none)" : joined;
}

// Every look of a step's reads at the queue, on the line's clock: how far apart, what the free-space line said,
// whether the window or the port had gone. At the first look another thread may send the main window a message.
struct WatchedReads {
    WindowMessage sent;   // no message (0): nothing is sent
    std::thread sender;
    bool answeredAtOnce;
    LRESULT answer;
    int looks, windowGone, portClosed, closesAtStart;
    uint32_t lastLook, longestGap;
    std::string freeSpaceAtLook;
    const ScriptedLine* line;
} during;

BOOL WINAPI WatchLook(LPMSG message, HWND window, UINT first, UINT last, UINT how)
{
    const uint32_t now = during.line->clock.now;
    during.longestGap = during.looks ? std::max(during.longestGap, now - during.lastLook) : 0;
    during.lastLook = now;
    during.freeSpaceAtLook = gui::WindowText(FreeSpaceText);
    if (during.looks++ == 0 && during.sent.message) {
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

    // A failure at the field's line.
    void Fail(const CaseField& field, const std::string& why)
    {
        ADD_FAILURE_AT(played.file.c_str(), field.line) << field.key << ": " << why;
    }

    // Why the value is not of its kind; "" when it is.
    static std::string Misfit(const CaseField& field, Kind kind)
    {
        char* end = nullptr;
        strtol(field.value.c_str(), &end, 10);
        switch (kind) {
        case Kind::YES_NO:
            return field.value == "yes" || field.value == "no" ? "" : "expected yes or no";
        case Kind::NUMBER:
            return !field.value.empty() && !*end ? "" : "expected a number";
        case Kind::WINDOW:
            return field.value == "open" || field.value == "closed" ? "" : "expected open or closed";
        case Kind::MESSAGE:
            return messages.count(field.value) ? "" : "expected a command's name, close, taskbar-close, logoff, logoff-end or menu";
        case Kind::ANSWERS:
            for (const std::string& answer : SplitCaseList(field.value, " "))
                if (answer != "yes" && answer != "no")
                    return "answers are yes or no";
            return "";
        case Kind::TEXT:
            break;
        }
        return "";
    }

    // Every field where it may stand, once unless MANY, with a value of its kind; false after a failure.
    bool CheckFields(const std::vector<CaseField>& list, bool atStart)
    {
        bool good = true;
        std::set<std::string> given;
        for (const CaseField& field : list) {
            auto rule = fields.find(field.key);
            std::string why = rule == fields.end() ? "unknown field" : Misfit(field, rule->second.kind);
            if (rule != fields.end() && !(rule->second.where & (atStart ? START : STEP)))
                why = atStart ? "belongs to a step, after a 'do:' line" : "belongs to the start, before any 'do:'";
            if (!atStart && fields.count("with " + field.key) && why != "")
                why = "in a step this is 'with " + field.key + ":'";
            if (why.empty() && given.count(field.key) && !(rule->second.where & MANY))
                why = "given twice";
            if (!why.empty())
                Fail(field, why);
            good = good && why.empty();
            given.insert(field.key);
        }
        for (const auto& [key, rule] : fields)
            if (atStart && (rule.where & REQUIRED) && !given.count(key)) {
                Fail({played.steps.empty() ? 0 : played.steps[0].line, key, "", ""}, "missing from the start");
                good = false;
            }
        return good;
    }

    bool CheckVocabulary()
    {
        bool good = CheckFields(played.start, true);
        for (const CaseStep& step : played.steps) {
            if (!verbs.count(step.verb) && !messages.count(step.verb)) {
                Fail({step.line, "do", step.verb, ""}, "unknown verb '" + step.verb + "'");
                good = false;
            }
            good = CheckFields(step.fields, false) && good;
        }
        return good;
    }

    void Start()
    {
        Texts startBoxes;
        for (const CaseField& field : played.start)
            if (field.key == "box")
                startBoxes.push_back(field.value);
            else
                Put(field.key, field);
        ASSERT_TRUE(ReadStartupArguments(arguments.c_str())) << arguments;
        OpenWindow();   // which posts the connect of an automatic upload, as at the program's start
        CheckBoxManners();
        EXPECT_EQ(TakeBoxes(), startBoxes) << "the boxes of the start";
        if (!connectAtStart)
            return;
        gui::Command(MainWindow, CMD_CONNECT);
        ASSERT_NE(ConnectedPort, nullptr) << "the connect at the start";
        ASSERT_EQ(TakeBoxes(), Texts{}) << "the connect at the start";
        TakeSent();
    }

    // A field of the start, or a step's input without its "with ".
    void Put(const std::string& key, const CaseField& field)
    {
        const std::string& value = field.value;
        size_t is = value.find(" = ");   // a file's "NAME = BYTES"
        std::string bytes = is == std::string::npos ? "G0 X1\r\n" : value.substr(is + 3);
        WindowRectangle& place = Settings.WindowRect;
        if (key == "port")
            snprintf(Settings.Port, sizeof(Settings.Port), "%s", value.c_str());
        else if (key == "baud")
            Settings.Baudrate = atoi(value.c_str());
        else if (key == "use-path")
            Settings.UsePath = static_cast<signed char>(atoi(value.c_str()));
        else if (key == "log-file")
            Settings.LogFile = static_cast<signed char>(atoi(value.c_str()));
        else if (key == "window-place")
            sscanf(value.c_str(), "%d %d %d %d", &place.left, &place.top, &place.right, &place.bottom);
        else if (key == "connected")
            connectAtStart = value == "yes";
        else if (key == "listing")   // handed on as written: the scripted controller reads its pauses and repeats
            listing = field.script == "sample" ? SampleListing : field.script;
        else if (key == "parameters")
            parameterAnswer = field.script;
        else if (key == "tools")
            toolAnswer = field.script;
        else if (key == "delete-answers")
            deleteAnswer = field.script;
        else if (key == "fail-open")
            line.failOpen = value == "yes";
        else if (key == "fail-writes")
            line.failWrites = atoi(value.c_str());
        else if (key == "gone")
            line.gone = value == "yes";
        else if (key == "serial-ports")
            serialPorts = SplitCaseList(value, " | ");
        else if (key == "arguments")
            arguments = value;
        else if (key == "file")
            gui::WriteFileText(folder + value.substr(0, is), bytes);
        else if (key == "folder")
            CreateDirectoryA((folder + value).c_str(), nullptr);
        else if (key == "answers")
            for (const std::string& answer : SplitCaseList(value, " "))
                boxes.answers.push_back(answer == "yes" ? IDYES : IDNO);
        else if (key == "busy" && !ConnectedPort)
            Fail(field, "no port is connected");
        else if (key == "busy")
            ZemSerComSetBusy(ConnectedPort, value == "yes");
        else if (key == "held-file")
            HoldFile(field);
        else if (key == "send-during-read")
            during.sent = messages.at(value);
        else if (key == "cancel-at-block")
            CancelAtBlock(atoi(value.c_str()));
    }

    // Held open as another program holds it, one that lets others read and write it.
    void HoldFile(const CaseField& field)
    {
        heldFile = CreateFileA((folder + field.value).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        if (heldFile == INVALID_HANDLE_VALUE)
            Fail(field, "the case has no such file");
    }

    // Cancel is clicked when the block has arrived, before its acknowledgement is read.
    void CancelAtBlock(int number)
    {
        onDataBlock = [number](int block) {
            if (block != number)
                return;
            PostMessageA(GetDlgItem(HWND(TheUploadJob.dialog), IDC_UPLOAD_CANCEL), BM_CLICK, 0, 0);
            // The sender looks at the request once this block's reply is read: it waits for the click.
            gui::WaitUntil([] { return ZemLoadByte(&TheUploadJob.cancelRequested) != 0; }, 10000);
        };
    }

    // "NAME = BYTES" when the case's folder has the file, "NAME" when not.
    std::string PcFile(const std::string& name)
    {
        std::string text = gui::FileText(folder + name);
        return text == "<missing>" ? name : name + " = " + text;
    }

    // What a check reads after a step, written as the case writes its value.
    std::string Observed(const CaseField& field)
    {
        const std::string& key = field.key;
        const WindowRectangle& r = Settings.WindowRect;
        if (key == "port")
            return Settings.Port;
        if (key == "baud")
            return std::to_string(Settings.Baudrate);
        if (key == "use-path")
            return std::to_string(Settings.UsePath);
        if (key == "log-file")
            return std::to_string(Settings.LogFile);
        if (key == "window-place")
            return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " " +
                   std::to_string(r.bottom);
        if (key == "connected")
            return YesNo(ConnectedPort != nullptr);
        if (key == "path")
            return ReadViews().path;
        if (key == "tree")
            return Join(ReadViews().tree, " > ");
        if (key == "files")
            return Join(ReadViews().files, " | ");
        if (key == "port-box")
            return gui::WindowText(PortEdit);
        if (key == "baud-box")
            return gui::WindowText(BaudBox);
        if (key == "free-space")
            return gui::WindowText(FreeSpaceText);
        if (key == "focus")
            return FocusName();
        if (key == "options")
            return CheckedOptions();
        if (key == "busy")
            return ConnectedPort ? YesNo(ZemSerComIsBusy(ConnectedPort)) : "no port is connected";
        if (key == "closes")
            return std::to_string(line.closes - during.closesAtStart);
        if (key == "cancel-asked")
            return YesNo(TheUploadJob.cancelRequested);
        if (key == "send-answer")   // of the message sent during the read
            return std::to_string(during.answer);
        if (key == "free-space-at-last-look")   // of the step's reads
            return during.freeSpaceAtLook;
        if (key == "looks-apart-at-most" && during.looks < 2)
            return "fewer than two looks at the queue";
        if (key == "looks-apart-at-most")   // the bound when it holds
            return during.longestGap <= uint32_t(atoi(field.value.c_str())) ? field.value
                                                                             : std::to_string(during.longestGap);
        if (key == "on-monitor")
            return YesNo(MonitorFromWindow(MainWindow, MONITOR_DEFAULTTONULL));
        if (key == "takes-drops")
            return YesNo(GetWindowLongA(FileView, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
        if (key == "pc-file")
            return PcFile(field.value.substr(0, field.value.find(" = ")));
        if (IsWindow(MainWindow))   // "window"
            return gui::quitSeen ? "open, but the program's quit message was sent" : "open";
        return gui::PumpUntil([] { return gui::quitSeen; }, 10000) ? "closed" : "closed without the quit message";
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

    // A choice in the path box or the baud box, by its text or "#N", told to the window as the user's pick is, or
    // only marked, as a program sets it.
    static void Pick(HWND combo, const std::string& entry, bool told)
    {
        int index = entry.rfind('#', 0) == 0 ? atoi(entry.c_str() + 1)
                                              : int(SendMessageA(combo, CB_FINDSTRINGEXACT, -1, LPARAM(entry.c_str())));
        if (index < 0)
            ADD_FAILURE() << "the box has no entry '" << entry << "'";
        SendMessageA(combo, CB_SETCURSEL, index, 0);
        if (told)
            SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE), LPARAM(combo));
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

    // The text replaces the box's, with the caret behind it as after typing.
    static void TypeInto(HWND edit, const std::string& text)
    {
        SetWindowTextA(edit, text.c_str());
        SendMessageA(edit, EM_SETSEL, text.size(), text.size());
    }

    static HWND Place(const std::string& place)
    {
        HWND controls[] = {FileView, TreeView, PortEdit, GetWindow(PathBox, GW_CHILD), BaudBox};
        for (size_t i = 0; i < std::size(placeNames); i++)
            if (place == placeNames[i])
                return controls[i];
        return nullptr;
    }

    static std::string FocusName()
    {
        for (const char* name : placeNames)
            if (lastFocused == Place(name))
                return name;
        return lastFocused ? "elsewhere" : "none";
    }

    static std::string CheckedOptions()
    {
        Texts checked;
        for (const char* name : {"log-file", "upload-to-path", "upload-to-default"})
            if (GetMenuState(GetMenu(MainWindow), UINT(messages.at(name).wParam), MF_BYCOMMAND) & MF_CHECKED)
                checked.push_back(name);
        return Join(checked, " | ");
    }

    // Key messages as the keyboard leaves them in the queue of the window with the focus.
    static void PostKeys(HWND target, std::initializer_list<std::pair<UINT, WPARAM>> keys)
    {
        for (const auto& [message, key] : keys) {
            UINT flags = 1 | MapVirtualKeyA(UINT(key), MAPVK_VK_TO_VSC) << 16;
            flags |= message == WM_SYSKEYDOWN || message == WM_SYSKEYUP ? 1u << 29 : 0;   // Alt is held
            flags |= message == WM_KEYUP || message == WM_SYSKEYUP ? 3u << 30 : 0;         // a key let go
            PostMessageA(target, message, key, LPARAM(flags));
        }
    }

    // "KEY in PLACE": the control gets the focus, then the key goes down and up through the window's queue, as
    // typed; the message loop sees it first. "KEY" alone goes where the focus is once the main window is active:
    // when a closing box left another program of the display in front, it is brought back as the user would.
    void PressKey(const std::string& argument)
    {
        size_t in = argument.find(" in ");
        auto key = keyCodes.find(argument.substr(0, in));
        HWND control = in == std::string::npos ? nullptr : Place(argument.substr(in + 4));
        if (key == keyCodes.end() || (in != std::string::npos && !control)) {
            ADD_FAILURE() << "key: '" << argument << "' is no KEY or KEY in PLACE (F5, Delete, Backspace, Home, End "
                          << "or Tab in files, tree, port, path or baud)";
            return;
        }
        if (control)
            SetFocus(control);
        else if (GetActiveWindow() != MainWindow)
            SetActiveWindow(MainWindow);
        HWND target = GetFocus() ? GetFocus() : GetActiveWindow();
        PostKeys(target ? target : MainWindow, {{WM_KEYDOWN, key->second}, {WM_KEYUP, key->second}});
    }

    static LRESULT CALLBACK PostedVerbProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message != WM_APP)
            return DefWindowProcA(window, message, wParam, lParam);
        PlayedCase* played = reinterpret_cast<PlayedCase*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        auto [verb, argument] = played->queuedVerbs.front();
        played->queuedVerbs.pop_front();
        played->verbs.at(verb)(argument);
        return 0;
    }

    // A message or a key waits in the queue as the system leaves it there; any other verb runs when a loop
    // dispatches the message posted for it.
    void Post(const std::string& what)
    {
        size_t blank = what.find(' ');
        std::string verb = what.substr(0, blank), argument = blank == std::string::npos ? "" : what.substr(blank + 1);
        HWND keys = lastFocused ? lastFocused : MainWindow;
        if (messages.count(what)) {
            const WindowMessage& posted = messages.at(what);
            PostMessageA(MainWindow, posted.message, posted.wParam, posted.lParam);
        } else if (what == "escape") {
            PostKeys(keys, {{WM_KEYDOWN, VK_ESCAPE}, {WM_KEYUP, VK_ESCAPE}});
        } else if (what == "alt-f4") {
            PostKeys(keys,
                     {{WM_SYSKEYDOWN, VK_MENU}, {WM_SYSKEYDOWN, VK_F4}, {WM_SYSKEYUP, VK_F4}, {WM_KEYUP, VK_MENU}});
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

    // The message was delivered during the read and answered at once, and the window and the port stayed while
    // the read was under way.
    void CheckSentDuringRead()
    {
        EXPECT_GT(during.looks, 0) << "the read never looked at its queue: nothing was sent";
        EXPECT_TRUE(during.answeredAtOnce) << "the message sent during the read was not answered within 5 s";
        EXPECT_EQ(during.windowGone, 0) << "the window went while the read was under way";
        EXPECT_EQ(during.portClosed, 0) << "the port was closed while the read was under way";
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

    void CheckExpectations(const CaseStep& step)
    {
        Texts wantBoxes, wantSent;
        for (const CaseField& field : step.fields) {
            ::testing::ScopedTrace trace(played.file.c_str(), field.line, field.key + ": " + field.value);
            if (field.key == "box")
                wantBoxes.push_back(field.value);
            else if (field.key == "sent")
                wantSent.push_back(field.value);
            else if (field.key.rfind("with ", 0) != 0) {
                EXPECT_EQ(Observed(field), field.value) << "what the window shows";
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
        during = {{}, {}, false, 0, 0, 0, 0, line.closes, 0, 0, "", &line};
        LookAtQueue = WatchLook;
        for (const CaseField& field : step.fields)
            if (field.key.rfind("with ", 0) == 0)
                Put(field.key.substr(5), field);
        if (messages.count(step.verb)) {
            const WindowMessage& sent = messages.at(step.verb);
            SendMessageA(MainWindow, sent.message, sent.wParam, sent.lParam);
        } else {
            verbs.at(step.verb)(step.argument);
        }
        if (step.verb != "post")   // a posted command waits for the question of a later step
            gui::PumpPending();
        if (heldFile != INVALID_HANDLE_VALUE)
            CloseHandle(heldFile);
        heldFile = INVALID_HANDLE_VALUE;
        onDataBlock = nullptr;
        LookAtQueue = PeekMessageA;
        if (during.sender.joinable())
            during.sender.join();
        if (during.sent.message)
            CheckSentDuringRead();
        CheckExpectations(step);
    }

    GuiCase played;
    std::string folder;   // the case's PC files, for drops
    std::string arguments;
    bool connectAtStart = false;
    HWND postedVerbs = nullptr;   // runs the verbs that "post" queued, when a loop dispatches its message
    std::deque<std::pair<std::string, std::string>> queuedVerbs;
    HHOOK focusHook = nullptr;
    HANDLE heldFile = INVALID_HANDLE_VALUE;
    char startDirectory[MAX_PATH] = "";
    std::map<std::string, Verb> verbs = {
        // Not dispatched here: it waits in the queue for a question or a read of a later step.
        {"post", [this](const std::string& what) { Post(what); }},
        {"choose-tree", [this](const std::string& items) { SelectDirectory(SplitCaseList(items, " > ")); }},
        {"double-click", [this](const std::string& row) { DoubleClick(row); }},
        {"press-return", [this](const std::string& row) { PressReturn(row); }},
        {"select", [this](const std::string& rows) { SelectRows(rows); }},
        {"choose-path", [](const std::string& entry) { Pick(PathBox, entry, true); }},
        {"mark-path", [](const std::string& entry) { Pick(PathBox, entry, false); }},
        {"choose-baud", [](const std::string& rate) { Pick(BaudBox, rate, true); }},
        {"mark-baud", [](const std::string& rate) { Pick(BaudBox, rate, false); }},
        {"type-port", [](const std::string& text) { TypeInto(PortEdit, text); }},
        {"type-path", [](const std::string& text) { TypeInto(GetWindow(PathBox, GW_CHILD), text); }},
        {"key", [this](const std::string& argument) { PressKey(argument); }},
        {"unplug",
         [](const std::string& port) {   // the system's word that a port's device was removed
             // The record ends in the name, as long as it is.
             alignas(DEV_BROADCAST_PORT_A) char bytes[sizeof(DEV_BROADCAST_PORT_A) + 64] = {};
             DEV_BROADCAST_PORT_A* removed = reinterpret_cast<DEV_BROADCAST_PORT_A*>(bytes);
             removed->dbcp_size = sizeof(bytes);
             removed->dbcp_devicetype = DBT_DEVTYP_PORT;
             snprintf(bytes + offsetof(DEV_BROADCAST_PORT_A, dbcp_name), 64, "%s", port.c_str());
             SendMessageA(MainWindow, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, LPARAM(removed));
         }},
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
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;   // a test's name has no '-'
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
