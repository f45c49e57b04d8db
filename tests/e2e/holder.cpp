// Holds one file open without sharing, as another program at the practice
// might, so that a test can watch the program meet a file it cannot open.
//
//   holder.exe PATH [SECONDS]
//
// Opens PATH (created if missing) for reading and writing with share mode 0,
// writes "held" on stdout, and keeps it until standard input ends or SECONDS
// (default 60) pass, whichever comes first; then writes "released" and ends.
// Exit code 0, or 1 with "failed ERROR" when the file cannot be opened.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

DWORD WINAPI DrainInput(LPVOID) {
    while (std::fgetc(stdin) != EOF) {
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: holder PATH [SECONDS]\n");
        return 2;
    }
    const long seconds = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 60;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("failed %lu\n", GetLastError());
        std::fflush(stdout);
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    // A thread waits for the end of input so that the time limit holds even
    // when nobody ever closes it.
    HANDLE reader = CreateThread(nullptr, 0, DrainInput, nullptr, 0, nullptr);
    if (reader) WaitForSingleObject(reader, seconds > 0 ? static_cast<DWORD>(seconds) * 1000 : 0);
    CloseHandle(file);
    std::printf("released\n");
    std::fflush(stdout);
    // The reader may still be blocked on its input: end the process, not main.
    ExitProcess(0);
}
