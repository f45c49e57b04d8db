// Keeps files open as another program at the practice would, until its
// standard input ends: "holder.exe shared FILE..." for reading and writing
// with read and write sharing (as the host application keeps its data
// files), "holder.exe none FILE..." without any sharing. Writes "held" once
// every file is open; exit code 1 if one cannot be opened.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    const DWORD share = argc > 1 && std::strcmp(argv[1], "shared") == 0 ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
    for (int i = 2; i < argc; ++i)
        if (CreateFileA(argv[i], GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr) ==
            INVALID_HANDLE_VALUE) {
            std::printf("failed %s\n", argv[i]);
            return 1;
        }
    std::printf("held\n");
    std::fflush(stdout);
    while (std::fgetc(stdin) != EOF) {
    }
    return 0;
}
