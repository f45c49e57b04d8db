// The main window procedure: each message to a small handler, each handler a
// call into the portable shell.
#include "resources/resource.h"
#include "shell/app.h"
#include "shell/win32.h"

namespace {

LRESULT OnCreate(HWND window) {
    OnMainWindowCreate(WindowRefOf(window));
    return 0;
}

LRESULT OnDestroy() {
    OnMainWindowDestroy();
    PostQuitMessage(0);
    return 0;
}

LRESULT OnPaint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    PaintCurrentView(SurfaceRefOf(dc));
    EndPaint(window, &ps);
    return 0;
}

LRESULT OnCommand(HWND window, WPARAM wParam) { return RouteCommand(WindowRefOf(window), LOWORD(wParam)); }

LRESULT OnInitMenu(HMENU menu) {
    const UINT state = ViewCommandsEnabled() ? MF_ENABLED : (MF_GRAYED | MF_DISABLED);
    EnableMenuItem(menu, CMD_PRINT, MF_BYCOMMAND | state);
    EnableMenuItem(menu, CMD_CORRECT, MF_BYCOMMAND | state);
    return 0;
}

} // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_DESTROY:
        return OnDestroy();
    case WM_PAINT:
        return OnPaint(window);
    case WM_COMMAND:
        return OnCommand(window, wParam);
    case WM_INITMENU:
        return OnInitMenu(reinterpret_cast<HMENU>(wParam));
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
