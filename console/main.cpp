// chkort-cli's entry point.
#include "console/cli.h"

#ifdef _WIN32
#include <windows.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // Everything is written in UTF-8; a console shows it so only when told,
    // and is given its own code page back afterwards.
    const UINT previous = GetConsoleOutputCP();
    if (previous != 0) SetConsoleOutputCP(CP_UTF8);
    const int status = RunCli(argc, argv);
    if (previous != 0) SetConsoleOutputCP(previous);
    return status;
#else
    return RunCli(argc, argv);
#endif
}
