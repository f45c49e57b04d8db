// Holds files open the way other programs at the practice do, so that a test
// can watch the program meet them.
//
//   holder.exe PATH [SECONDS]
//   holder.exe --shared [--seconds N] [--write-on EVENT PATH OFFSET HEX] PATH...
//   holder.exe --probe PATH...
//
// The first form opens PATH (created if missing) for reading and writing with
// share mode 0, as a program that locks a file does.
//
// --shared opens every PATH, which must exist, for reading and writing with
// read and write sharing, as the host application keeps its data files while
// it runs. With --write-on it also writes like the host: once the named event
// EVENT is set (by the driver's "signal EVENT"), it writes the bytes HEX (two
// hex digits a byte) at OFFSET of PATH through the handle it holds on that
// path, writes "written" on stdout and sets the event "EVENT.done" (the
// driver's "wait-event EVENT.done").
//
// Both holding forms write "held" on stdout once every file is open, and keep
// them until standard input ends or SECONDS (default 60) pass, whichever comes
// first; then write "released" and end. Exit code 0, or 1 with
// "failed ERROR" (and for --shared the path) when a file cannot be opened.
//
// --probe tries to open each PATH for reading and writing with share mode 0
// and writes one line per path, "open" or "refused ERROR", then ends; it
// tells whether somebody else has the file open.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

DWORD WINAPI DrainInput(LPVOID) {
    while (std::fgetc(stdin) != EOF) {
    }
    return 0;
}

int Usage() {
    std::fprintf(stderr, "usage: holder PATH [SECONDS]\n"
                         "       holder --shared [--seconds N] [--write-on EVENT PATH OFFSET HEX] PATH...\n"
                         "       holder --probe PATH...\n");
    return 2;
}

void Say(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

bool ParseHex(const char* text, std::vector<unsigned char>& bytes) {
    const std::size_t n = std::strlen(text);
    if (n == 0 || n % 2 != 0) return false;
    for (std::size_t i = 0; i < n; i += 2) {
        char pair[3] = {text[i], text[i + 1], 0};
        char* end = nullptr;
        const unsigned long v = std::strtoul(pair, &end, 16);
        if (*end != 0) return false;
        bytes.push_back(static_cast<unsigned char>(v));
    }
    return true;
}

struct PendingWrite {
    std::string event, path;
    DWORD offset = 0;
    std::vector<unsigned char> bytes;
};

// Writes as the host would while the utility runs: one seek, one write,
// through the handle held since the start.
bool WriteThrough(HANDLE file, const PendingWrite& w) {
    LONG high = 0;
    if (SetFilePointer(file, static_cast<LONG>(w.offset), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return false;
    DWORD done = 0;
    return WriteFile(file, w.bytes.data(), static_cast<DWORD>(w.bytes.size()), &done, nullptr) &&
           done == w.bytes.size();
}

// Holds the handles until the input ends or the time is up; performs the
// pending write, if any, when its event comes.
void Hold(const std::vector<HANDLE>& files, const std::vector<std::string>& paths, long seconds,
          const PendingWrite* write) {
    Say("held");
    // A thread waits for the end of input so that the time limit holds even
    // when nobody ever closes it.
    HANDLE reader = CreateThread(nullptr, 0, DrainInput, nullptr, 0, nullptr);
    const DWORD limit = seconds > 0 ? static_cast<DWORD>(seconds) * 1000 : 0;
    const DWORD start = GetTickCount();
    HANDLE go = write ? CreateEventA(nullptr, TRUE, FALSE, write->event.c_str()) : nullptr;
    if (reader) {
        for (;;) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= limit) break;
            HANDLE waits[2] = {reader, go};
            const DWORD r = WaitForMultipleObjects(go ? 2 : 1, waits, FALSE, limit - spent);
            if (r != WAIT_OBJECT_0 + 1) break;
            // The event stays set: write once, then wait for the end alone.
            CloseHandle(go);
            go = nullptr;
            HANDLE target = nullptr;
            for (std::size_t i = 0; i < paths.size(); ++i)
                if (_stricmp(paths[i].c_str(), write->path.c_str()) == 0) target = files[i];
            if (target && WriteThrough(target, *write)) {
                Say("written");
            } else {
                std::printf("write failed %lu\n", GetLastError());
                std::fflush(stdout);
            }
            HANDLE done = CreateEventA(nullptr, TRUE, FALSE, (write->event + ".done").c_str());
            if (done) SetEvent(done);
            // Kept open: a named event lives only while a handle on it does.
        }
    }
    for (HANDLE f : files) CloseHandle(f);
    Say("released");
}

int Probe(int argc, char** argv) {
    if (argc < 3) return Usage();
    for (int i = 2; i < argc; ++i) {
        HANDLE f = CreateFileA(argv[i], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) {
            std::printf("refused %lu\n", GetLastError());
        } else {
            CloseHandle(f);
            std::printf("open\n");
        }
    }
    std::fflush(stdout);
    return 0;
}

int Shared(int argc, char** argv) {
    long seconds = 60;
    PendingWrite write;
    bool writes = false;
    std::vector<std::string> paths;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::strtol(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--write-on") == 0 && i + 4 < argc) {
            write.event = argv[i + 1];
            write.path = argv[i + 2];
            write.offset = static_cast<DWORD>(std::strtoul(argv[i + 3], nullptr, 10));
            if (!ParseHex(argv[i + 4], write.bytes)) return Usage();
            writes = true;
            i += 4;
        } else {
            paths.push_back(argv[i]);
        }
    }
    if (paths.empty()) return Usage();
    std::vector<HANDLE> files;
    for (const std::string& path : paths) {
        HANDLE f = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f == INVALID_HANDLE_VALUE) {
            std::printf("failed %lu %s\n", GetLastError(), path.c_str());
            std::fflush(stdout);
            for (HANDLE held : files) CloseHandle(held);
            return 1;
        }
        files.push_back(f);
    }
    Hold(files, paths, seconds, writes ? &write : nullptr);
    // The reader may still be blocked on its input: end the process, not main.
    ExitProcess(0);
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--shared") == 0) return Shared(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "--probe") == 0) return Probe(argc, argv);
    if (argc < 2 || argc > 3) return Usage();
    const long seconds = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 60;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("failed %lu\n", GetLastError());
        std::fflush(stdout);
        return 1;
    }
    Hold({file}, {argv[1]}, seconds, nullptr);
    ExitProcess(0);
}
