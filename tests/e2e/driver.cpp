// Drives a Win32 program from outside, as a technician would: through its
// menu commands, keys, dialogs and message boxes. Reads a script, one step a
// line, words separated by tabs (Windows-1252 bytes, no escapes):
//
//   start EXE DIR       CreateProcess with current directory DIR
//   window              wait for the program's main window
//   command ID          WM_COMMAND ID, as the menu sends it
//   enter               the Enter key (the accelerator table applies)
//   dialog TITLE        wait for a dialog of that title
//   type ID TEXT        one WM_CHAR per byte into control ID (limits apply)
//   set ID TEXT         SetDlgItemTextA
//   get ID              report a control's text
//   click ID            press a button of the dialog
//   box                 wait for a message box, report it, press its OK
//   idle                wait until the program has handled what it was
//                       sent and painted what that left invalid, and a
//                       print job has ended
//   mark NAME           "e2e-mark NAME" on stderr, where the relay trace goes
//   close               the frame's close command
//   exit                wait for the program to end, report its code
//
// A step that waits fails after 30 s; close fails when a message box is
// still up. Reports go to stdout, tab-separated: "box CAPTION
// TEXT", "text TEXT", "exit CODE", and "fail STEP REASON" at the end of a
// failed script (exit code 1). The program never outlives the driver.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

PROCESS_INFORMATION Program{};
HWND Main = nullptr, Dialog = nullptr;
const DWORD Limit = 30000;
std::string Why;

bool Fail(const std::string& why) {
    Why = why;
    return false;
}

void Report(const std::string& kind, const std::string& a, const std::string& b = "") {
    std::string line = kind + "\t" + a + (b.empty() ? "" : "\t" + b);
    for (char& c : line)
        if (c == '\n') c = '|';
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::string Text(HWND hwnd) {
    char buf[2048] = {};
    DWORD_PTR got = 0;
    SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, Limit, &got);
    return buf;
}

std::string ClassOf(HWND hwnd) {
    char buf[64] = {};
    GetClassNameA(hwnd, buf, sizeof buf);
    return buf;
}

BOOL CALLBACK Collect(HWND hwnd, LPARAM lp) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == Program.dwProcessId && IsWindowVisible(hwnd)) reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}

// A message box is a dialog whose text is static 0xFFFF, beside an icon.
bool IsBox(HWND hwnd) { return ClassOf(hwnd) == "#32770" && GetDlgItem(hwnd, 0xFFFF) && GetDlgItem(hwnd, 0x440); }

std::vector<HWND> Windows() {
    std::vector<HWND> windows;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND FindBox() {
    for (HWND w : Windows())
        if (IsBox(w)) return w;
    return nullptr;
}

// Polls the program's visible windows until `pick` chooses one.
template <typename Pick> HWND WaitFor(const char* what, Pick pick) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < Limit; Sleep(10)) {
        for (HWND w : Windows())
            if (pick(w)) return w;
        if (WaitForSingleObject(Program.hProcess, 0) == WAIT_OBJECT_0) return Fail(std::string("ended before ") + what), nullptr;
    }
    return Fail(std::string("no ") + what), nullptr;
}

// Sent messages are handled in the order sent: once a round trip is back,
// what was sent before it has been handled, and the window is then made to
// paint what that left invalid.
bool Idle() {
    DWORD_PTR r = 0;
    auto trip = [&] { return SendMessageTimeoutA(Main, WM_NULL, 0, 0, SMTO_NORMAL, Limit, &r) != 0; };
    if (!trip() || !RedrawWindow(Main, nullptr, nullptr, RDW_UPDATENOW) || !trip()) return Fail("not answering");
    return true;
}

// Presses a button of a dialog or box, and waits until the window is gone
// (the program is then past the call that showed it) or a box shows.
bool Press(HWND window, int id) {
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
    for (DWORD start = GetTickCount(); IsWindow(window) && !(window == Dialog && FindBox()); Sleep(5))
        if (GetTickCount() - start > Limit) return Fail("stays open");
    return Main ? Idle() : true;
}

bool Run(const std::vector<std::string>& w) {
    const std::string& verb = w[0];
    const int id = w.size() > 1 ? std::atoi(w[1].c_str()) : 0;
    const std::string arg = w.size() > 2 ? w[2] : "";
    if (verb == "start") {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        std::string cmd = "\"" + w[1] + "\"";
        if (!CreateProcessA(w[1].c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, arg.c_str(), &si, &Program))
            return Fail("CreateProcess " + std::to_string(GetLastError()));
    } else if (verb == "window") {
        Main = WaitFor("window", [](HWND h) { return ClassOf(h) != "#32770"; });
        return Main && Idle();
    } else if (verb == "command") {
        SendNotifyMessageA(Main, WM_COMMAND, id, 0);
    } else if (verb == "enter") {
        // Posted, for the accelerator table; then Options > Corriger, posted
        // after it, is the sign that it was handled: its dialog is up. The
        // window paints, and "Annuler" leaves everything as it was.
        PostMessageA(Main, WM_KEYDOWN, VK_RETURN, 0x001C0001);
        PostMessageA(Main, WM_KEYUP, VK_RETURN, 0xC01C0001);
        PostMessageA(Main, WM_COMMAND, 113, 0);
        HWND ligne = WaitFor("dialog", [](HWND h) { return ClassOf(h) == "#32770" && !IsBox(h); });
        return ligne && RedrawWindow(Main, nullptr, nullptr, RDW_UPDATENOW) && Press(ligne, IDCANCEL);
    } else if (verb == "dialog") {
        Dialog = WaitFor("dialog", [&](HWND h) { return ClassOf(h) == "#32770" && !IsBox(h) && Text(h) == w[1]; });
        return Dialog != nullptr;
    } else if (verb == "type") {
        for (unsigned char c : arg) SendMessageA(GetDlgItem(Dialog, id), WM_CHAR, c, 1);
    } else if (verb == "set") {
        SetDlgItemTextA(Dialog, id, arg.c_str());
    } else if (verb == "get") {
        Report("text", Text(GetDlgItem(Dialog, id)));
    } else if (verb == "click") {
        return Press(Dialog, id);
    } else if (verb == "box") {
        HWND box = WaitFor("box", IsBox);
        if (!box) return false;
        Report("box", Text(box), Text(GetDlgItem(box, 0xFFFF)));
        return Press(box, IDOK);
    } else if (verb == "idle") {
        // A print job disables the window, and its abort procedure may answer
        // a round trip in the middle of the job.
        if (!Idle()) return false;
        for (DWORD start = GetTickCount(); !IsWindowEnabled(Main); Sleep(10))
            if (GetTickCount() - start > Limit) return Fail("disabled");
        return Idle();
    } else if (verb == "mark") {
        std::fprintf(stderr, "e2e-mark %s\n", w[1].c_str());
        std::fflush(stderr);
    } else if (verb == "close") {
        if (!Idle()) return false;
        if (HWND box = FindBox()) return Fail("unexpected box " + Text(GetDlgItem(box, 0xFFFF)));
        PostMessageA(Main, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (verb == "exit") {
        DWORD code = 0;
        if (WaitForSingleObject(Program.hProcess, Limit) != WAIT_OBJECT_0) return Fail("still running");
        GetExitCodeProcess(Program.hProcess, &code);
        Report("exit", std::to_string(code));
    } else {
        return Fail("unknown step");
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    std::FILE* f = argc == 2 ? std::fopen(argv[1], "rb") : nullptr;
    if (!f) return 2;
    bool ok = true;
    char line[4096];
    while (ok && std::fgets(line, sizeof line, f)) {
        line[std::strcspn(line, "\r\n")] = '\0';
        std::vector<std::string> words;
        for (char *p = line, *tab; p; p = tab ? tab + 1 : nullptr) {
            tab = std::strchr(p, '\t');
            words.emplace_back(p, tab ? tab - p : std::strlen(p));
        }
        if (!Run(words)) {
            Report("fail", line, Why);
            ok = false;
        }
    }
    if (Program.hProcess && WaitForSingleObject(Program.hProcess, 0) != WAIT_OBJECT_0) {
        TerminateProcess(Program.hProcess, 255);
        WaitForSingleObject(Program.hProcess, 5000);
    }
    return ok ? 0 : 1;
}
