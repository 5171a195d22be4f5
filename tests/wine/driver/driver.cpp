// The player, for tests under Wine: starts programs, waits for the wizard
// or a message box, reads what they show, clicks and answers, and checks
// exit codes, following a play script of short lines. It is a test tool
// outside the program's layers, so it talks to Win32 directly.
//
//   driver.exe SCRIPT [NAME]     NAME: how failures name the script
//
// Script lines (UTF-8; texts are compared as cp932, "\r" "\n" "\\" escape):
//   start NAME PATH [ARGS]      start a program, known by NAME afterwards
//   expect-exit NAME CODE       wait for NAME to end with CODE
//   wait-dialog CAPTION         wait for the wizard of that caption
//   expect-title CAPTION        the current dialog's caption
//   expect-text ID TEXT         a control's text
//   expect-enabled ID yes|no    likewise its state; also expect-visible,
//   expect-checked ID yes|no    and expect-checked for radio buttons
//   click ID                    press a button of the dialog, once enabled
//   wait-box CAPTION            wait for a message box of that caption
//   expect-box-text TEXT        the current box's text
//   answer ok|cancel            press a button of the current box
//   expect-no-box               no message box is open
//   wait-window TITLE           wait for a top-level window of that title
//   close-window TITLE          ask a top-level window of that title to close
//   key KEYS                    type into the current box or dialog, as the
//                               keyboard does: enter, escape, space, tab,
//                               up, down, left, right, f4, a letter; joined
//                               by + to modifiers alt, shift, ctrl (alt+f4);
//                               a wait-box after it waits for another box
//                               than the one typed into
//   focus ID                    move the keyboard focus to a control of the
//                               dialog, once shown and enabled, as the
//                               dialog manager moves it
//   expect-focus ID             the control of the current box or dialog
//                               that has the keyboard focus (0: none)
//   expect-responsive MS        the wizard answers a message within MS
//                               milliseconds (a window that answers none
//                               for 5 s is taken for hung by Windows)
//   describe                    print every window and control shown
//   sleep MS
//   timeout MS                  the waits of later lines give up after MS
//                               milliseconds (15000 at first)
//   snapshot NAME               a screenshot of the current box or dialog,
//                               when the harness asks for them (below)
// Screenshots are taken by the harness on the X side: for "snapshot NAME"
// the driver writes the window's rectangle to C:\test\snap\NAME.req and
// waits until the harness has taken the picture and removed the file.
// Without the folder C:\test\snap the line does nothing.
// Every wait and expectation retries until it holds or a timeout passes,
// then prints what the screen showed and fails with exit code 1. Programs
// still running at the end are terminated.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr DWORD kDefaultTimeoutMs = 15000;
constexpr DWORD kPollMs = 50;
constexpr DWORD kKeyMs = 200;

std::string Convert(const std::string& text, UINT from, UINT to) {
    if (text.empty()) return text;
    int wide = MultiByteToWideChar(from, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring w(size_t(wide), L'\0');
    MultiByteToWideChar(from, 0, text.data(), int(text.size()), w.data(), wide);
    int narrow = WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(size_t(narrow), '\0');
    WideCharToMultiByte(to, 0, w.data(), wide, out.data(), narrow, nullptr, nullptr);
    return out;
}

std::string ToAnsi(const std::string& utf8) { return Convert(utf8, CP_UTF8, 932); }
std::string ToUtf8(const std::string& ansi) { return Convert(ansi, 932, CP_UTF8); }

// Control characters made visible, so a report shows line breaks.
std::string Shown(const std::string& ansi) {
    std::string out;
    for (char c : ToUtf8(ansi)) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
    return "\"" + out + "\"";
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            char next = text[i + 1];
            if (next == 'r') { out += '\r'; ++i; continue; }
            if (next == 'n') { out += '\n'; ++i; continue; }
            if (next == '\\') { out += '\\'; ++i; continue; }
        }
        out += text[i];
    }
    return out;
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TitleOf(HWND window) {
    char title[1024] = {};
    GetWindowTextA(window, title, sizeof title);
    return title;
}

std::string ItemText(HWND dialog, int id) {
    char text[4096] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// The window that has the keyboard focus in WINDOW's thread, if any.
HWND FocusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

// The virtual key of a name in a key line; 0 for an unknown name.
WORD KeyCode(const std::string& name) {
    static const std::map<std::string, WORD> names = {
        {"enter", VK_RETURN}, {"escape", VK_ESCAPE}, {"space", VK_SPACE}, {"tab", VK_TAB},
        {"up", VK_UP},        {"down", VK_DOWN},     {"left", VK_LEFT},   {"right", VK_RIGHT},
        {"f4", VK_F4},        {"alt", VK_MENU},      {"shift", VK_SHIFT}, {"ctrl", VK_CONTROL}};
    auto found = names.find(name);
    if (found != names.end()) return found->second;
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0])))
        return WORD(std::toupper(static_cast<unsigned char>(name[0])));
    return 0;
}

INPUT KeyInput(WORD code, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = code;
    input.ki.dwFlags = flags;
    return input;
}

bool IsMessageBox(HWND window) {
    return ClassOf(window) == "#32770" && GetDlgItem(window, 0xFFFF) != nullptr;
}

struct Search {
    std::string title;
    bool wantBox;
    HWND found;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(window) || ClassOf(window) != "#32770") return TRUE;
    if (IsMessageBox(window) != search->wantBox) return TRUE;
    if (!search->title.empty() && TitleOf(window) != search->title) return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindDialog(const std::string& title, bool wantBox) {
    Search search{title, wantBox, nullptr};
    EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK DescribeChild(HWND child, LPARAM param) {
    auto* out = reinterpret_cast<std::string*>(param);
    int id = GetDlgCtrlID(child);
    char line[64];
    std::snprintf(line, sizeof line, "    %5d %-8s", id, ClassOf(child).c_str());
    *out += line;
    *out += IsWindowVisible(child) ? " visible" : " hidden ";
    *out += IsWindowEnabled(child) ? " enabled " : " disabled";
    if (FocusOf(child) == child) *out += " focused";
    if (ClassOf(child) == "Button") {
        LRESULT check = SendMessageA(child, BM_GETCHECK, 0, 0);
        if (check == BST_CHECKED) *out += " checked";
    }
    *out += ' ';
    *out += Shown(ItemText(GetParent(child), id));
    *out += '\n';
    return TRUE;
}

BOOL CALLBACK DescribeTopLevel(HWND window, LPARAM param) {
    auto* out = reinterpret_cast<std::string*>(param);
    if (!IsWindowVisible(window)) return TRUE;
    std::string title = TitleOf(window);
    std::string cls = ClassOf(window);
    if (title.empty() && cls != "#32770") return TRUE;
    *out += "  window class " + Shown(cls) + " title " + Shown(title) + "\n";
    if (cls == "#32770") EnumChildWindows(window, DescribeChild, param);
    return TRUE;
}

std::string DescribeScreen() {
    std::string out = "what the screen showed:\n";
    EnumWindows(DescribeTopLevel, reinterpret_cast<LPARAM>(&out));
    return out;
}

struct Program {
    PROCESS_INFORMATION info{};
};

class Player {
public:
    explicit Player(std::string scriptName) : scriptName_(std::move(scriptName)) {}
    ~Player() {
        for (auto& [name, program] : programs_) {
            if (WaitForSingleObject(program.info.hProcess, 0) == WAIT_TIMEOUT) {
                TerminateProcess(program.info.hProcess, 255);
                std::printf("driver: %s was still running; terminated\n", name.c_str());
            }
            CloseHandle(program.info.hProcess);
            CloseHandle(program.info.hThread);
        }
    }

    bool Run(std::istream& script) {
        std::string line;
        while (std::getline(script, line)) {
            ++lineNumber_;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            size_t start = line.find_first_not_of(" \t");
            if (start == std::string::npos || line[start] == '#') continue;
            std::printf("  > %s\n", line.c_str() + start);
            std::fflush(stdout);
            std::istringstream words(line.substr(start));
            std::string command;
            words >> command;
            std::string rest;
            std::getline(words, rest);
            rest.erase(0, rest.find_first_not_of(" \t"));
            if (!Step(command, rest)) return false;
        }
        return true;
    }

private:
    bool Step(const std::string& command, const std::string& rest) {
        std::istringstream args(rest);
        if (command == "start") {
            std::string name, path;
            args >> name >> path;
            std::string tail;
            std::getline(args, tail);
            return Start(name, path, tail);
        }
        if (command == "expect-exit") {
            std::string name;
            DWORD code = 0;
            args >> name >> code;
            return ExpectExit(name, code);
        }
        if (command == "wait-dialog") {
            std::string caption = ToAnsi(Unescape(rest));
            return Until("a wizard titled " + Shown(caption), [&] {
                dialog_ = current_ = FindDialog(caption, false);
                return dialog_ != nullptr;
            });
        }
        if (command == "wait-box") {
            std::string caption = ToAnsi(Unescape(rest));
            // A box just typed into may still be closing: the one to wait
            // for is the next.
            const bool found = Until("a message box titled " + Shown(caption), [&] {
                HWND box = FindDialog(caption, true);
                if (box == nullptr || box == typedBox_) return false;
                box_ = current_ = box;
                return true;
            });
            typedBox_ = nullptr;
            return found;
        }
        if (command == "wait-window") {
            std::string title = ToAnsi(Unescape(rest));
            return Until("a window titled " + Shown(title),
                         [&] { return FindWindowA(nullptr, title.c_str()) != nullptr; });
        }
        if (command == "expect-no-box") {
            HWND box = FindDialog("", true);
            if (!box) return true;
            return Fail("no message box, but one is open: " + Shown(ItemText(box, 0xFFFF)));
        }
        if (command == "expect-title") {
            std::string caption = ToAnsi(Unescape(rest));
            return Until("the wizard's title " + Shown(caption),
                         [&] { return IsWindow(dialog_) && TitleOf(dialog_) == caption; });
        }
        if (command == "expect-box-text") {
            std::string text = ToAnsi(Unescape(rest));
            return Until("the box's text " + Shown(text),
                         [&] { return IsWindow(box_) && ItemText(box_, 0xFFFF) == text; });
        }
        if (command == "answer") {
            int id = rest == "ok" ? IDOK : rest == "cancel" ? IDCANCEL : 0;
            if (id == 0) return Fail("answer takes ok or cancel");
            if (!IsWindow(box_) || !GetDlgItem(box_, id))
                return Fail("no box with a button " + rest + " to press");
            PostMessageA(box_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(box_, id)));
            current_ = dialog_;
            return Until("the box to close", [&] { return !IsWindowVisible(box_); });
        }
        if (command == "expect-text") {
            int id = 0;
            args >> id;
            std::string text;
            std::getline(args, text);
            text.erase(0, text.find_first_not_of(" \t"));
            text = ToAnsi(Unescape(text));
            return Until("control " + std::to_string(id) + " reading " + Shown(text),
                         [&] { return IsWindow(dialog_) && ItemText(dialog_, id) == text; });
        }
        if (command == "expect-enabled" || command == "expect-visible" ||
            command == "expect-checked") {
            int id = 0;
            std::string want;
            args >> id >> want;
            bool expected = want == "yes";
            std::string what = command.substr(7);
            return Until("control " + std::to_string(id) + " " + what + " " + want, [&] {
                HWND item = IsWindow(dialog_) ? GetDlgItem(dialog_, id) : nullptr;
                if (!item) return false;
                bool actual = what == "enabled"   ? IsWindowEnabled(item) != 0
                              : what == "visible" ? IsWindowVisible(item) != 0
                                                  : IsDlgButtonChecked(dialog_, id) == BST_CHECKED;
                return actual == expected;
            });
        }
        if (command == "click") {
            int id = std::atoi(rest.c_str());
            HWND item = UsableControl(id, "click");
            if (!item) return false;
            PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(item));
            return true;
        }
        if (command == "close-window") {
            std::string title = ToAnsi(Unescape(rest));
            HWND window = FindWindowA(nullptr, title.c_str());
            if (!window) return Fail("no window titled " + Shown(title) + " to close");
            PostMessageA(window, WM_CLOSE, 0, 0);
            return true;
        }
        if (command == "key") {
            typedBox_ = current_ == box_ ? box_ : nullptr;
            return Type(rest);
        }
        if (command == "focus") {
            int id = std::atoi(rest.c_str());
            HWND item = UsableControl(id, "focus");
            if (!item) return false;
            PostMessageA(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
            return Until("control " + std::to_string(id) + " to have the focus",
                         [&] { return FocusOf(dialog_) == item; });
        }
        if (command == "expect-focus") {
            int id = std::atoi(rest.c_str());
            return Until("control " + std::to_string(id) + " to have the focus", [&] {
                HWND window = IsWindow(current_) ? current_ : nullptr;
                if (!window) return false;
                HWND focus = FocusOf(window);
                return (focus && IsChild(window, focus) ? GetDlgCtrlID(focus) : 0) == id;
            });
        }
        if (command == "expect-responsive") {
            const DWORD limit = DWORD(std::atoi(rest.c_str()));
            DWORD_PTR answer = 0;
            if (IsWindow(dialog_) &&
                SendMessageTimeoutA(dialog_, WM_NULL, 0, 0, SMTO_NORMAL, limit, &answer)) {
                return true;
            }
            return Fail("the wizard answered no message within " + std::to_string(limit) + " ms");
        }
        if (command == "snapshot") return Snapshot(rest);
        if (command == "describe") {
            std::printf("%s", DescribeScreen().c_str());
            return true;
        }
        if (command == "sleep") {
            Sleep(DWORD(std::atoi(rest.c_str())));
            return true;
        }
        if (command == "timeout") {
            timeoutMs_ = DWORD(std::atoi(rest.c_str()));
            return true;
        }
        return Fail("unknown command " + command);
    }

    // Real keystrokes, through the system's input queue: they reach the
    // focus of the window in front, and the dialog manager sees them as a
    // player's.
    bool Type(const std::string& keys) {
        std::vector<WORD> codes;
        std::istringstream names(keys);
        std::string name;
        while (std::getline(names, name, '+')) {
            WORD code = KeyCode(name);
            if (code == 0) return Fail("unknown key " + Shown(name));
            codes.push_back(code);
        }
        if (codes.empty()) return Fail("key takes a key");
        HWND window = IsWindow(current_) ? current_ : nullptr;
        if (!window) return Fail("nothing to type into");
        SetForegroundWindow(window);
        if (!Until("the window to come to the front",
                   [&] { return GetForegroundWindow() == window; }))
            return false;
        std::vector<INPUT> inputs;
        for (WORD code : codes) inputs.push_back(KeyInput(code, 0));
        for (auto code = codes.rbegin(); code != codes.rend(); ++code)
            inputs.push_back(KeyInput(*code, KEYEVENTF_KEYUP));
        if (SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size())
            return Fail("the keys could not be typed, error " + std::to_string(GetLastError()));
        // Keys go to whichever control has the focus when they are read:
        // give them time to be handled before the next line moves on.
        Sleep(kKeyMs);
        return true;
    }

    bool Snapshot(const std::string& name) {
        const std::string folder = "C:\\test\\snap";
        if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
        HWND window = IsWindow(current_) ? current_ : nullptr;
        if (!window) return Fail("nothing to take a snapshot of");
        Sleep(300);  // let the last change paint
        RECT rect{};
        GetWindowRect(window, &rect);
        const std::string request = folder + "\\" + name + ".req";
        {
            std::ofstream out(request, std::ios::binary);
            out << (rect.right - rect.left) << ' ' << (rect.bottom - rect.top) << ' ' << rect.left
                << ' ' << rect.top << '\n';
        }
        return Until("the snapshot " + name, [&] {
            return GetFileAttributesA(request.c_str()) == INVALID_FILE_ATTRIBUTES;
        });
    }

    bool Start(const std::string& name, const std::string& utf8Path, const std::string& tail) {
        const std::string path = ToAnsi(utf8Path);
        std::string commandLine = "\"" + path + "\"" + ToAnsi(Unescape(tail));
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        // The program's own output goes where the driver's goes.
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        Program program;
        if (!CreateProcessA(path.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                            nullptr, &startup, &program.info))
            return Fail("cannot start " + utf8Path + ", error " + std::to_string(GetLastError()));
        programs_[name] = program;
        return true;
    }

    bool ExpectExit(const std::string& name, DWORD code) {
        auto found = programs_.find(name);
        if (found == programs_.end()) return Fail("no program started as " + name);
        HANDLE process = found->second.info.hProcess;
        if (!Until(name + " to end", [&] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; }))
            return false;
        DWORD actual = 0;
        GetExitCodeProcess(process, &actual);
        if (actual == code) return true;
        return Fail(name + " ended with " + std::to_string(actual) + ", expected " +
                    std::to_string(code));
    }

    // Control `id` of the dialog once it is there, shown and enabled: a
    // player can only use such a one. Null after the timeout.
    HWND UsableControl(int id, const std::string& use) {
        HWND item = nullptr;
        const bool usable = Until("control " + std::to_string(id) + " to be there to " + use, [&] {
            item = IsWindow(dialog_) ? GetDlgItem(dialog_, id) : nullptr;
            return item && IsWindowVisible(item) && IsWindowEnabled(item);
        });
        return usable ? item : nullptr;
    }

    template <typename Check>
    bool Until(const std::string& what, Check check) {
        DWORD started = GetTickCount();
        while (!check()) {
            if (GetTickCount() - started > timeoutMs_)
                return Fail("timed out waiting for " + what);
            Sleep(kPollMs);
        }
        return true;
    }

    bool Fail(const std::string& why) {
        std::printf("FAIL %s:%d: %s\n%s", scriptName_.c_str(), lineNumber_, why.c_str(),
                    DescribeScreen().c_str());
        std::fflush(stdout);
        return false;
    }

    std::string scriptName_;
    int lineNumber_ = 0;
    DWORD timeoutMs_ = kDefaultTimeoutMs;
    HWND dialog_ = nullptr;
    HWND box_ = nullptr;
    HWND typedBox_ = nullptr;  // the box of the last key line, until a wait-box
    HWND current_ = nullptr;  // what was waited for last: the snapshot's subject
    std::map<std::string, Program> programs_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::printf("usage: driver SCRIPT [NAME]\n");
        return 2;
    }
    std::ifstream script(argv[1], std::ios::binary);
    if (!script) {
        std::printf("driver: cannot read %s\n", argv[1]);
        return 2;
    }
    Player player(argv[argc - 1]);
    return player.Run(script) ? 0 : 1;
}
