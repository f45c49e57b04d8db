// Entry point: the host-version guard, the main window, the message loop.
#include "resources/resource.h"
#include "shell/app.h"
#include "shell/win32.h"
#include "store/state.h"

#include <windows.h>

#include <vector>

HINSTANCE AppInstance = nullptr;
HACCEL AppAccelerators = nullptr;

namespace {

// Reads the file version of the host executable at the root of the current
// drive. A host that is missing, or has no usable version block, is refused
// like an old one: nothing tells us it is recent enough.
bool HostIsRecentEnough() {
    char directory[MAX_PATH] = "";
    GetCurrentDirectoryA(MAX_PATH, directory);
    char path[MAX_PATH + 32];
    HostExecutablePath(directory, path, sizeof path);

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0) return false;
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path, 0, size, block.data())) return false;

    // The internal name is looked up as the host's installer has always
    // done; its value does not matter.
    struct Translation {
        WORD language, codePage;
    }* translation = nullptr;
    UINT length = 0;
    if (VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) &&
        length >= sizeof *translation) {
        char query[64];
        wsprintfA(query, "\\StringFileInfo\\%04x%04x\\InternalName", translation->language, translation->codePage);
        void* value = nullptr;
        VerQueryValueA(block.data(), query, &value, &length);
    }

    VS_FIXEDFILEINFO* fixed = nullptr;
    if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr ||
        length < sizeof *fixed)
        return false;
    return HostVersionAccepted(HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS));
}

bool RegisterMainClass(HINSTANCE instance, const char* className) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_CHKORT));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // the arrow
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(IDM_MAIN);
    wc.lpszClassName = className;
    wc.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_CHKORT_SMALL));
    return RegisterClassExA(&wc) != 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    if (!HostIsRecentEnough()) {
        MessageBoxA(nullptr, HostRefusedText, HostRefusedCaption, MB_ICONINFORMATION);
        return 0;
    }

    char appName[100];
    char className[100];
    LoadStringA(instance, IDS_APP_NAME, appName, sizeof appName);
    LoadStringA(instance, IDS_CLASS_NAME, className, sizeof className);
    RegisterMainClass(instance, className);

    AppInstance = instance;
    HWND window = CreateWindowExA(0, className, "Utilitaire de ORTAVO", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr,
                                  nullptr, instance, nullptr);
    MainWindow = WindowRefOf(window);
    if (window == nullptr) return 0;

    ShowWindow(window, show);
    UpdateWindow(window);
    AppAccelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDA_MAIN));

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(window, AppAccelerators, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
