// The end-to-end driver: starts a Win32 program and drives it from outside,
// the way a technician would, through messages only. It reads a script of
// steps, one per line, and writes one line per observed event to stdout.
//
//   driver.exe SCRIPT        steps from a file ("-" for standard input)
//   driver.exe -c STEP ...   steps from the command line
//
// Script: one step per line, words separated by blanks; "#" starts a comment
// line. A word in double quotes may hold blanks and the escapes \" \\ \n \r
// \t \xNN, so any Windows-1252 byte can be written in an ASCII script; bytes
// of the script itself are taken as they are (Windows-1252).
//
//   timeout MS                  limit of every later wait (default 20000)
//   start EXE [DIR]             CreateProcess, current directory DIR
//   wait-window CLASS [TITLE]   wait for the program's top-level window; it
//                               becomes the main window ("*" matches any)
//   command ID                  post WM_COMMAND ID to the main window
//   key NAME                    post a key press (down and up) to the main
//                               window: enter escape up down left right
//                               f1..f12 home end prior next, or one character
//   char C                      post WM_CHAR C (a character accelerator)
//   initmenu                    post WM_INITMENU as opening the menu does
//   dialog TITLE                wait for a dialog (not a message box) with
//                               that title; it becomes the current dialog
//   set ID TEXT                 SetDlgItemTextA in the current dialog
//   get ID                      report the text of a control of the dialog
//   type ID TEXT                type TEXT into control ID of the dialog, one
//                               WM_CHAR per byte as the keyboard sends them,
//                               so that an edit's text limit applies
//   click ID                    press button ID of the current dialog
//   wait-closed                 wait until the current dialog is gone
//   box [BUTTON]                wait for a message box, report it, press
//                               BUTTON (default OK) and wait until it is gone
//   no-box MS                   fail if a message box shows within MS
//   idle                        wait until the program has handled what was
//                               posted to it and what that caused
//   sleep MS
//   echo TEXT                   a marker in the output
//   windows                     list the program's top-level windows
//   client                      report the main window's client area size
//   close                       the frame's close command (SC_CLOSE)
//   wait-exit                   wait for the program to end, report its code
//   signal NAME                 set the named event NAME (created if need be),
//                               for a helper process of the test waiting on it
//   wait-event NAME             wait until the named event NAME is set
//
// Output lines: "step N t=MS <step as written>" (MS since the driver
// started), then the events of that step:
// started, window, dialog, box, text, closed, idle, exit, echo, win, client, event,
// and at
// the end "killed" if the program had to be stopped and "done" or
// "fail step=N reason=...". Strings are quoted with the same escapes, every
// byte outside printable ASCII as \xNN. Each step's number is also written
// to stderr ("e2e-step N"), where the relay trace of the program goes, so
// the trace can be cut by step.
//
// Exit code: 0 when every step passed, 1 when a step failed, 2 when the
// script cannot be read. The program is never left running.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Step {
    int number = 0;
    std::string text; // as written, for the echo
    std::vector<std::string> words;
};

PROCESS_INFORMATION Program{};
bool ProgramStarted = false;
HWND MainWindow = nullptr;
HWND CurrentDialog = nullptr;
// Generous: a wait that succeeds ends at once, and a busy machine is slow.
DWORD WaitLimit = 20000;
std::string FailReason;

// ------------------------------------------------------------------ output

std::string Quote(const std::string& bytes)
{
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void Emit(const std::string& line)
{
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string Hex(const void* handle)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(handle)));
    return buf;
}

bool Fail(const std::string& reason)
{
    FailReason = reason;
    return false;
}

// ------------------------------------------------------------------ script

bool Tokenise(const std::string& line, std::vector<std::string>& words, std::string& error)
{
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size())
            break;
        std::string word;
        if (line[i] == '"') {
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char c = line[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c != '\\') {
                    word += c;
                    continue;
                }
                if (i >= line.size())
                    break;
                char e = line[i++];
                switch (e) {
                case 'n': word += '\n'; break;
                case 'r': word += '\r'; break;
                case 't': word += '\t'; break;
                case 'x':
                    if (i + 2 <= line.size() && std::isxdigit(static_cast<unsigned char>(line[i]))
                        && std::isxdigit(static_cast<unsigned char>(line[i + 1]))) {
                        word += static_cast<char>(std::strtoul(line.substr(i, 2).c_str(), nullptr, 16));
                        i += 2;
                    } else {
                        error = "bad \\x escape";
                        return false;
                    }
                    break;
                default: word += e; break;
                }
            }
            if (!closed) {
                error = "unclosed quote";
                return false;
            }
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t')
                word += line[i++];
        }
        words.push_back(word);
    }
    return true;
}

bool ParseNumber(const std::string& word, long& value)
{
    if (word.empty())
        return false;
    char* end = nullptr;
    value = std::strtol(word.c_str(), &end, 0);
    return *end == 0;
}

// ------------------------------------------------------------------ windows of the program

bool ProgramRunning()
{
    return ProgramStarted && WaitForSingleObject(Program.hProcess, 0) == WAIT_TIMEOUT;
}

std::string WindowText(HWND hwnd)
{
    // WM_GETTEXT with a timeout, so that a program stuck in a loop cannot
    // hang the driver.
    char buf[4096];
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 2000, &got))
        return GetWindowTextA(hwnd, buf, sizeof buf) > 0 ? std::string(buf) : std::string();
    buf[sizeof buf - 1] = 0;
    return std::string(buf, std::strlen(buf));
}

std::string ClassOf(HWND hwnd)
{
    char buf[256] = {};
    GetClassNameA(hwnd, buf, sizeof buf);
    return buf;
}

struct WindowSearch {
    DWORD pid;
    std::vector<HWND>* out;
};

// A plain function: a lambda does not convert to the stdcall callback that
// the 32-bit build needs.
BOOL CALLBACK CollectProgramWindow(HWND hwnd, LPARAM lp)
{
    auto* search = reinterpret_cast<WindowSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == search->pid)
        search->out->push_back(hwnd);
    return TRUE;
}

std::vector<HWND> ProgramWindows()
{
    std::vector<HWND> found;
    if (!ProgramStarted)
        return found;
    WindowSearch search{Program.dwProcessId, &found};
    EnumWindows(CollectProgramWindow, reinterpret_cast<LPARAM>(&search));
    return found;
}

// A message box is a dialog with its text in static 0xFFFF and an icon
// static beside it (0x440 under Wine, 20 under Windows); a dialog of the
// program with a label of id -1 has the first but not the second.
bool IsMessageBox(HWND hwnd)
{
    if (ClassOf(hwnd) != "#32770" || !GetDlgItem(hwnd, 0xFFFF))
        return false;
    for (int id : {0x440, 20}) {
        HWND icon = GetDlgItem(hwnd, id);
        if (icon && ClassOf(icon) == "Static" && (GetWindowLongA(icon, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return true;
    }
    return false;
}

HWND IconControl(HWND box)
{
    HWND icon = GetDlgItem(box, 0x440);
    return icon ? icon : GetDlgItem(box, 20);
}

std::string OwnerName(HWND hwnd)
{
    HWND owner = GetWindow(hwnd, GW_OWNER);
    if (!owner)
        return "none";
    if (owner == MainWindow)
        return "main";
    return Hex(owner);
}

bool Matches(const std::string& pattern, const std::string& value)
{
    return pattern == "*" || pattern == value;
}

// Polls until `found` yields a window, the program ends, or the limit
// passes. The program ending is a failure of its own, reported with the
// exit code, so a refused start shows as such and not as a timeout.
template <typename Finder> HWND WaitFor(const std::string& what, Finder found)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND hwnd = found())
            return hwnd;
        if (ProgramStarted && !ProgramRunning()) {
            DWORD code = 0;
            GetExitCodeProcess(Program.hProcess, &code);
            Fail("program exited with code " + std::to_string(code) + " while waiting for " + what);
            return nullptr;
        }
        if (GetTickCount() - start >= WaitLimit) {
            Fail("timeout after " + std::to_string(WaitLimit) + " ms waiting for " + what);
            return nullptr;
        }
        Sleep(15);
    }
}

HWND FindBox()
{
    for (HWND hwnd : ProgramWindows())
        if (IsWindowVisible(hwnd) && IsMessageBox(hwnd))
            return hwnd;
    return nullptr;
}

std::string DescribeBox(HWND box)
{
    HWND icon = IconControl(box);
    DWORD_PTR hicon = 0;
    if (icon)
        SendMessageTimeoutA(icon, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &hicon);
    bool hasIcon = icon && IsWindowVisible(icon) && hicon;
    std::string buttons;
    for (int id = IDOK; id <= IDCONTINUE; ++id) {
        HWND b = GetDlgItem(box, id);
        if (b && IsWindowVisible(b))
            buttons += (buttons.empty() ? "" : ",") + std::to_string(id);
    }
    return "box hwnd=" + Hex(box) + " caption=" + Quote(WindowText(box)) + " text="
        + Quote(WindowText(GetDlgItem(box, 0xFFFF))) + " owner=" + OwnerName(box)
        + " icon=" + (hasIcon ? "yes" : "no") + " buttons=" + (buttons.empty() ? "none" : buttons);
}

bool WaitGone(HWND hwnd, const std::string& what)
{
    DWORD start = GetTickCount();
    while (IsWindow(hwnd) && IsWindowVisible(hwnd)) {
        if (GetTickCount() - start >= WaitLimit)
            return Fail("timeout after " + std::to_string(WaitLimit) + " ms waiting for " + what + " to close");
        Sleep(10);
    }
    return true;
}

// One round trip through the program's message queue: returns once the
// program's thread is back in a message loop (its own or a modal one).
bool RoundTrip(HWND hwnd)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, WaitLimit, &result) != 0;
}

// ------------------------------------------------------------------ keys

struct KeyName {
    const char* name;
    UINT vk;
};

const KeyName Keys[] = {
    {"enter", VK_RETURN}, {"return", VK_RETURN}, {"escape", VK_ESCAPE}, {"esc", VK_ESCAPE},
    {"up", VK_UP},        {"down", VK_DOWN},     {"left", VK_LEFT},     {"right", VK_RIGHT},
    {"home", VK_HOME},    {"end", VK_END},       {"prior", VK_PRIOR},   {"next", VK_NEXT},
    {"tab", VK_TAB},      {"space", VK_SPACE},   {"back", VK_BACK},
};

bool KeyCode(const std::string& name, UINT& vk)
{
    for (const KeyName& k : Keys)
        if (name == k.name) {
            vk = k.vk;
            return true;
        }
    if ((name[0] == 'f' || name[0] == 'F') && name.size() >= 2) {
        long n = 0;
        if (ParseNumber(name.substr(1), n) && n >= 1 && n <= 24) {
            vk = VK_F1 + static_cast<UINT>(n - 1);
            return true;
        }
    }
    if (name.size() == 1) {
        SHORT scan = VkKeyScanA(name[0]);
        if (scan != -1) {
            vk = LOBYTE(scan);
            return true;
        }
    }
    return false;
}

// ------------------------------------------------------------------ steps

bool NeedMain()
{
    if (!MainWindow || !IsWindow(MainWindow))
        return Fail("no main window (wait-window first)");
    return true;
}

bool NeedDialog()
{
    if (!CurrentDialog || !IsWindow(CurrentDialog))
        return Fail("no current dialog (dialog first)");
    return true;
}

bool NeedArgs(const Step& s, size_t least, size_t most)
{
    size_t n = s.words.size() - 1;
    if (n < least || n > most)
        return Fail("wrong number of arguments");
    return true;
}

bool NeedNumber(const std::string& word, long& value)
{
    if (!ParseNumber(word, value))
        return Fail("not a number: " + word);
    return true;
}

// The program gets the driver's environment, except WINEDEBUG, which comes
// from E2E_CHILD_WINEDEBUG when set: the program is traced, the driver not.
std::vector<char> ChildEnvironment()
{
    std::vector<char> block;
    char childDebug[512];
    DWORD n = GetEnvironmentVariableA("E2E_CHILD_WINEDEBUG", childDebug, sizeof childDebug);
    if (n == 0 || n >= sizeof childDebug)
        return block;
    char* env = GetEnvironmentStringsA();
    for (const char* p = env; *p; p += std::strlen(p) + 1) {
        if (_strnicmp(p, "WINEDEBUG=", 10) == 0 || _strnicmp(p, "E2E_CHILD_WINEDEBUG=", 20) == 0)
            continue;
        block.insert(block.end(), p, p + std::strlen(p) + 1);
    }
    FreeEnvironmentStringsA(env);
    std::string own = std::string("WINEDEBUG=") + childDebug;
    block.insert(block.end(), own.c_str(), own.c_str() + own.size() + 1);
    block.push_back(0);
    return block;
}

bool DoStart(const Step& s)
{
    if (!NeedArgs(s, 1, 2))
        return false;
    if (ProgramStarted)
        return Fail("a program is already started");
    std::string cmdline = "\"" + s.words[1] + "\"";
    std::vector<char> cmd(cmdline.begin(), cmdline.end());
    cmd.push_back(0);
    const char* dir = s.words.size() > 2 ? s.words[2].c_str() : nullptr;
    std::vector<char> env = ChildEnvironment();
    STARTUPINFOA si{};
    si.cb = sizeof si;
    if (!CreateProcessA(s.words[1].c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, env.empty() ? nullptr : env.data(),
                        dir, &si, &Program))
        return Fail("CreateProcess failed, error " + std::to_string(GetLastError()));
    ProgramStarted = true;
    Emit("started pid=" + std::to_string(Program.dwProcessId));
    return true;
}

bool DoWaitWindow(const Step& s)
{
    if (!NeedArgs(s, 1, 2))
        return false;
    std::string cls = s.words[1], title = s.words.size() > 2 ? s.words[2] : "*";
    HWND hwnd = WaitFor("window " + Quote(cls) + " " + Quote(title), [&]() -> HWND {
        for (HWND w : ProgramWindows())
            if (IsWindowVisible(w) && Matches(cls, ClassOf(w)) && Matches(title, WindowText(w)))
                return w;
        return nullptr;
    });
    if (!hwnd)
        return false;
    MainWindow = hwnd;
    Emit("window hwnd=" + Hex(hwnd) + " class=" + Quote(ClassOf(hwnd)) + " title=" + Quote(WindowText(hwnd)));
    return true;
}

bool DoCommand(const Step& s)
{
    long id = 0;
    if (!NeedArgs(s, 1, 1) || !NeedNumber(s.words[1], id) || !NeedMain())
        return false;
    if (!PostMessageA(MainWindow, WM_COMMAND, MAKEWPARAM(id, 0), 0))
        return Fail("PostMessage failed");
    return true;
}

bool DoKey(const Step& s)
{
    UINT vk = 0;
    if (!NeedArgs(s, 1, 1) || !NeedMain())
        return false;
    if (!KeyCode(s.words[1], vk))
        return Fail("unknown key " + s.words[1]);
    // lParam as the keyboard sets it: repeat 1, scan code; the key-up has
    // the previous-state and transition bits.
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC)) << 16;
    PostMessageA(MainWindow, WM_KEYDOWN, vk, 1 | scan);
    PostMessageA(MainWindow, WM_KEYUP, vk, 1 | scan | (1u << 30) | (1u << 31));
    return true;
}

bool DoChar(const Step& s)
{
    if (!NeedArgs(s, 1, 1) || !NeedMain())
        return false;
    if (s.words[1].size() != 1)
        return Fail("char takes one byte");
    PostMessageA(MainWindow, WM_CHAR, static_cast<unsigned char>(s.words[1][0]), 1);
    return true;
}

bool DoInitMenu(const Step& s)
{
    if (!NeedArgs(s, 0, 0) || !NeedMain())
        return false;
    HMENU menu = GetMenu(MainWindow);
    if (!menu)
        return Fail("the main window has no menu");
    PostMessageA(MainWindow, WM_INITMENU, reinterpret_cast<WPARAM>(menu), 0);
    return true;
}

bool DoDialog(const Step& s)
{
    if (!NeedArgs(s, 1, 1))
        return false;
    const std::string& title = s.words[1];
    HWND hwnd = WaitFor("dialog " + Quote(title), [&]() -> HWND {
        for (HWND w : ProgramWindows())
            if (IsWindowVisible(w) && ClassOf(w) == "#32770" && !IsMessageBox(w) && Matches(title, WindowText(w)))
                return w;
        return nullptr;
    });
    if (!hwnd)
        return false;
    CurrentDialog = hwnd;
    Emit("dialog hwnd=" + Hex(hwnd) + " title=" + Quote(WindowText(hwnd)) + " owner=" + OwnerName(hwnd));
    return true;
}

bool DoSet(const Step& s)
{
    long id = 0;
    if (!NeedArgs(s, 2, 2) || !NeedNumber(s.words[1], id) || !NeedDialog())
        return false;
    if (!GetDlgItem(CurrentDialog, static_cast<int>(id)))
        return Fail("the dialog has no control " + s.words[1]);
    if (!SetDlgItemTextA(CurrentDialog, static_cast<int>(id), s.words[2].c_str()))
        return Fail("SetDlgItemText failed");
    return true;
}

bool DoGet(const Step& s)
{
    long id = 0;
    if (!NeedArgs(s, 1, 1) || !NeedNumber(s.words[1], id) || !NeedDialog())
        return false;
    HWND ctl = GetDlgItem(CurrentDialog, static_cast<int>(id));
    if (!ctl)
        return Fail("the dialog has no control " + s.words[1]);
    Emit("text id=" + std::to_string(id) + " text=" + Quote(WindowText(ctl)));
    return true;
}

bool DoType(const Step& s)
{
    long id = 0;
    if (!NeedArgs(s, 2, 2) || !NeedNumber(s.words[1], id) || !NeedDialog())
        return false;
    HWND ctl = GetDlgItem(CurrentDialog, static_cast<int>(id));
    if (!ctl)
        return Fail("the dialog has no control " + s.words[1]);
    // Sent, not posted: each character is in the edit before the next step.
    for (unsigned char c : s.words[2]) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(ctl, WM_CHAR, c, 1, SMTO_ABORTIFHUNG, WaitLimit, &result))
            return Fail("the control did not take a character within " + std::to_string(WaitLimit) + " ms");
    }
    return true;
}

bool DoClick(const Step& s)
{
    long id = 0;
    if (!NeedArgs(s, 1, 1) || !NeedNumber(s.words[1], id) || !NeedDialog())
        return false;
    HWND button = GetDlgItem(CurrentDialog, static_cast<int>(id));
    if (!button)
        return Fail("the dialog has no control " + s.words[1]);
    // What a button sends its dialog when pressed.
    PostMessageA(CurrentDialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
}

bool DoWaitClosed(const Step& s)
{
    // A dialog that closed before this step began (its button was posted
    // and handled at once) is closed all the same.
    if (!NeedArgs(s, 0, 0))
        return false;
    if (!CurrentDialog)
        return Fail("no current dialog (dialog first)");
    if (!WaitGone(CurrentDialog, "the dialog"))
        return false;
    CurrentDialog = nullptr;
    Emit("closed");
    return true;
}

bool DoBox(const Step& s)
{
    long button = IDOK;
    if (!NeedArgs(s, 0, 1) || (s.words.size() > 1 && !NeedNumber(s.words[1], button)))
        return false;
    HWND box = WaitFor("a message box", FindBox);
    if (!box)
        return false;
    Emit(DescribeBox(box));
    HWND b = GetDlgItem(box, static_cast<int>(button));
    if (!b)
        return Fail("the box has no button " + std::to_string(button));
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(b));
    return WaitGone(box, "the message box");
}

bool DoNoBox(const Step& s)
{
    long ms = 0;
    if (!NeedArgs(s, 1, 1) || !NeedNumber(s.words[1], ms))
        return false;
    DWORD start = GetTickCount();
    do {
        if (HWND box = FindBox()) {
            Emit(DescribeBox(box));
            return Fail("a message box showed");
        }
        Sleep(15);
    } while (GetTickCount() - start < static_cast<DWORD>(ms));
    return true;
}

bool DoIdle(const Step& s)
{
    if (!NeedArgs(s, 0, 0) || !NeedMain())
        return false;
    // Each round trip is answered at the program's next GetMessage/
    // PeekMessage, so each one lets at least one more message (a posted
    // command, then the paint it asks for, ...) be handled before it.
    for (int i = 0; i < 5; ++i) {
        if (!RoundTrip(MainWindow))
            return Fail("the program did not answer within " + std::to_string(WaitLimit) + " ms");
        Sleep(5);
    }
    Emit("idle");
    return true;
}

bool DoSleep(const Step& s)
{
    long ms = 0;
    if (!NeedArgs(s, 1, 1) || !NeedNumber(s.words[1], ms))
        return false;
    Sleep(static_cast<DWORD>(ms));
    return true;
}

bool DoTimeout(const Step& s)
{
    long ms = 0;
    if (!NeedArgs(s, 1, 1) || !NeedNumber(s.words[1], ms) || ms <= 0)
        return Fail("timeout takes a positive number of milliseconds");
    WaitLimit = static_cast<DWORD>(ms);
    return true;
}

bool DoEcho(const Step& s)
{
    std::string text;
    for (size_t i = 1; i < s.words.size(); ++i)
        text += (i > 1 ? " " : "") + s.words[i];
    Emit("echo " + Quote(text));
    return true;
}

bool DoWindows(const Step& s)
{
    if (!NeedArgs(s, 0, 0))
        return false;
    for (HWND w : ProgramWindows())
        Emit("win hwnd=" + Hex(w) + " class=" + Quote(ClassOf(w)) + " title=" + Quote(WindowText(w))
             + " visible=" + (IsWindowVisible(w) ? "yes" : "no") + " owner=" + OwnerName(w));
    return true;
}

bool DoClient(const Step& s)
{
    if (!NeedArgs(s, 0, 0) || !NeedMain())
        return false;
    RECT r{};
    if (!GetClientRect(MainWindow, &r))
        return Fail("GetClientRect failed");
    Emit("client width=" + std::to_string(r.right - r.left) + " height=" + std::to_string(r.bottom - r.top));
    return true;
}

bool DoClose(const Step& s)
{
    if (!NeedArgs(s, 0, 0) || !NeedMain())
        return false;
    PostMessageA(MainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
}

bool DoWaitExit(const Step& s)
{
    if (!NeedArgs(s, 0, 0))
        return false;
    if (!ProgramStarted)
        return Fail("no program started");
    if (WaitForSingleObject(Program.hProcess, WaitLimit) != WAIT_OBJECT_0)
        return Fail("timeout after " + std::to_string(WaitLimit) + " ms waiting for the program to exit");
    DWORD code = 0;
    GetExitCodeProcess(Program.hProcess, &code);
    Emit("exit code=" + std::to_string(code));
    return true;
}

// Named events let a helper process of the test (holder.exe) act at a chosen
// point of the script and the script go on only once it has.
HANDLE NamedEvent(const Step& s)
{
    if (!NeedArgs(s, 1, 1))
        return nullptr;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, s.words[1].c_str());
    if (!event)
        Fail("cannot create the event " + s.words[1]);
    return event;
}

bool DoSignal(const Step& s)
{
    HANDLE event = NamedEvent(s);
    if (!event)
        return false;
    SetEvent(event);
    // Left open to the end: the event must outlive this step until the
    // helper has seen it.
    return true;
}

bool DoWaitEvent(const Step& s)
{
    HANDLE event = NamedEvent(s);
    if (!event)
        return false;
    const bool set = WaitForSingleObject(event, WaitLimit) == WAIT_OBJECT_0;
    CloseHandle(event);
    if (!set)
        return Fail("timeout after " + std::to_string(WaitLimit) + " ms waiting for the event " + s.words[1]);
    Emit("event " + Quote(s.words[1]));
    return true;
}

struct Verb {
    const char* name;
    bool (*run)(const Step&);
};

const Verb Verbs[] = {
    {"start", DoStart},       {"wait-window", DoWaitWindow}, {"command", DoCommand}, {"key", DoKey},
    {"char", DoChar},         {"initmenu", DoInitMenu},      {"dialog", DoDialog},   {"set", DoSet},
    {"get", DoGet},           {"click", DoClick},            {"wait-closed", DoWaitClosed},
    {"box", DoBox},           {"expect-box", DoBox},         {"no-box", DoNoBox},    {"idle", DoIdle},
    {"sleep", DoSleep},       {"timeout", DoTimeout},        {"echo", DoEcho},       {"windows", DoWindows},
    {"close", DoClose},       {"wait-exit", DoWaitExit},      {"type", DoType},       {"client", DoClient},
    {"signal", DoSignal},     {"wait-event", DoWaitEvent},
};

bool RunStep(const Step& s)
{
    for (const Verb& v : Verbs)
        if (s.words[0] == v.name)
            return v.run(s);
    return Fail("unknown step " + s.words[0]);
}

bool ReadScript(std::FILE* f, std::vector<std::string>& lines)
{
    std::string line;
    int c;
    while ((c = std::fgetc(f)) != EOF) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return true;
}

void StopProgram()
{
    if (ProgramRunning()) {
        TerminateProcess(Program.hProcess, 255);
        WaitForSingleObject(Program.hProcess, 5000);
        Emit("killed pid=" + std::to_string(Program.dwProcessId));
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> lines;
    if (argc >= 3 && std::strcmp(argv[1], "-c") == 0) {
        for (int i = 2; i < argc; ++i)
            if (std::strcmp(argv[i], "-c") != 0)
                lines.push_back(argv[i]);
    } else if (argc == 2) {
        std::FILE* f = std::strcmp(argv[1], "-") == 0 ? stdin : std::fopen(argv[1], "rb");
        if (!f) {
            std::fprintf(stderr, "driver: cannot read %s\n", argv[1]);
            return 2;
        }
        ReadScript(f, lines);
        if (f != stdin)
            std::fclose(f);
    } else {
        std::fprintf(stderr, "usage: driver SCRIPT | driver -c STEP [STEP...]\n");
        return 2;
    }

    // Parse everything first: a typing error fails before anything runs.
    std::vector<Step> steps;
    for (size_t i = 0; i < lines.size(); ++i) {
        Step s;
        s.number = static_cast<int>(i + 1);
        s.text = lines[i];
        std::string error;
        if (!Tokenise(lines[i], s.words, error)) {
            Emit("fail step=" + std::to_string(s.number) + " reason=" + Quote(error));
            return 2;
        }
        if (s.words.empty() || s.words[0][0] == '#')
            continue;
        steps.push_back(s);
    }

    DWORD started = GetTickCount();
    Emit("driver acp=" + std::to_string(GetACP()));
    bool ok = true;
    for (const Step& s : steps) {
        std::fprintf(stderr, "e2e-step %d\n", s.number);
        std::fflush(stderr);
        Emit("step " + std::to_string(s.number) + " t=" + std::to_string(GetTickCount() - started) + " "
             + Quote(s.text));
        if (!RunStep(s)) {
            Emit("fail step=" + std::to_string(s.number) + " reason=" + Quote(FailReason));
            ok = false;
            break;
        }
    }
    std::fprintf(stderr, "e2e-step end\n");
    std::fflush(stderr);
    StopProgram();
    if (ok)
        Emit("done t=" + std::to_string(GetTickCount() - started));
    return ok ? 0 : 1;
}
