// A small Win32 program shaped like chkort.exe, against which the end-to-end
// harness proves itself: a host check at the drive root, one window with a
// menu, a paged view drawn in red and black, Enter as an accelerator, a
// modal dialog, message boxes with and without owner, file opens and menu
// greying. Everything it does is observed from outside only.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "standin.h"

namespace {

HINSTANCE AppInstance;
HWND MainWindow;
int CurrentMode;    // 0 start page, 1 paged view, 2 patient shown
int CurrentPage;
int CurrentPatient;
char TypedText[64];

void DrawLine(HDC dc, int x, int y, const char* text)
{
    TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text)));
}

void OnPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    char line[300];
    if (CurrentMode == 0) {
        char dir[MAX_PATH] = {};
        GetCurrentDirectoryA(sizeof dir, dir);
        std::snprintf(line, sizeof line, "Dossier : %s", dir);
        DrawLine(dc, 0, 0, line);
    } else if (CurrentMode == 1) {
        SetTextColor(dc, RGB(255, 0, 0));
        std::snprintf(line, sizeof line, "EN-TÊTE page %d", CurrentPage);
        DrawLine(dc, 0, 0, line);
        SetTextColor(dc, RGB(0, 0, 0));
        for (int i = 1; i <= 3; ++i) {
            std::snprintf(line, sizeof line, "%4d\xB3Ligne \"%d\" de C:\\data\xB3", CurrentPage * 3 + i, i);
            DrawLine(dc, 8, 16 * i, line);
        }
    } else if (CurrentMode == 2) {
        std::snprintf(line, sizeof line, "Patient %d saisi : %s", CurrentPatient, TypedText);
        DrawLine(dc, 0, 0, line);
    }
    EndPaint(hwnd, &ps);
}

// Texts the relay trace cannot show whole: longer than its 300-character
// buffer, mostly escaped bytes, and one with a NUL inside the counted run.
void DrawLongTexts(HWND hwnd)
{
    HDC dc = GetDC(hwnd);
    char text[400];
    std::memset(text, 'x', sizeof text);
    text[sizeof text - 1] = 0;
    TextOutA(dc, 0, 0, text, 350);
    std::memset(text, 0xB3, 120);
    text[120] = 0;
    TextOutA(dc, -4, 16, text, 120);
    std::memcpy(text, "AB\0CD", 6);
    TextOutA(dc, 0, 32, text, 5);
    TextOutA(dc, 0, 48, "abcdef", 3);
    ReleaseDC(hwnd, dc);
}

INT_PTR CALLBACK NumberDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM)
{
    if (msg == WM_INITDIALOG) {
        SendDlgItemMessageA(dlg, SI_EDIT, EM_LIMITTEXT, 20, 0);
        return TRUE;
    }
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        if (LOWORD(wp) == IDOK)
            GetDlgItemTextA(dlg, SI_EDIT, TypedText, sizeof TypedText);
        else
            TypedText[0] = 0;
        EndDialog(dlg, LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}

void AskNumber(HWND hwnd)
{
    if (DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(SI_DLG_NUMBER), hwnd, NumberDialogProc, 0) != IDOK)
        return;
    int n = std::atoi(TypedText);
    if (n < 1 || n > 99) {
        MessageBoxA(hwnd, "Numéro du patient non valide.", "Message", MB_OK);
        return;
    }
    HANDLE h = CreateFileA("clinique", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        char dir[MAX_PATH] = {}, caption[MAX_PATH + 64];
        GetCurrentDirectoryA(sizeof dir, dir);
        std::snprintf(caption, sizeof caption, "Erreur d'ouverture du fichier - %s\\clinique", dir);
        MessageBoxA(MainWindow, "Erreur", caption, MB_OK);
        return;
    }
    CloseHandle(h);
    CurrentPatient = n;
    CurrentMode = 2;
    InvalidateRect(hwnd, nullptr, TRUE);
}

void OnCommand(HWND hwnd, int id)
{
    switch (id) {
    case SI_CMD_SHOW:
        CurrentMode = 1;
        CurrentPage = 0;
        InvalidateRect(hwnd, nullptr, TRUE);
        break;
    case SI_ACC_CONTINUE:
        if (CurrentMode == 1) {
            ++CurrentPage;
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        break;
    case SI_CMD_NOTICE:
        MessageBoxA(hwnd, "Opération terminée.\nFichier \"clinique\" : 3 lignes.", "Information", MB_ICONINFORMATION);
        break;
    case SI_CMD_NUMBER:
        AskNumber(hwnd);
        break;
    case SI_CMD_LONG:
        DrawLongTexts(hwnd);
        break;
    case SI_CMD_ERROR:
        MessageBoxA(nullptr, "Erreur", "CLINIQUE", MB_OK);
        break;
    case SI_CMD_HANG:
        Sleep(60000);
        break;
    }
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_PAINT:
        OnPaint(hwnd);
        return 0;
    case WM_COMMAND:
        OnCommand(hwnd, LOWORD(wp));
        return 0;
    case WM_INITMENU:
        EnableMenuItem(reinterpret_cast<HMENU>(wp), SI_CMD_CORRECT,
                       MF_BYCOMMAND | (CurrentMode == 1 ? MF_ENABLED : MF_GRAYED));
        return 0;
    case WM_DESTROY:
        PostQuitMessage(7);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// The host is looked for at the root of the current drive, as chkort.exe
// does; only its presence matters here.
bool HostPresent()
{
    char dir[MAX_PATH] = {}, path[MAX_PATH + 32];
    GetCurrentDirectoryA(sizeof dir, dir);
    std::snprintf(path, sizeof path, "%.2s\\ortavo\\ortavo.exe", dir);
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(h);
    return true;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    AppInstance = instance;
    if (!HostPresent()) {
        MessageBoxA(nullptr, "Hôte absent.", "Information", MB_ICONINFORMATION);
        return 0;
    }
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszMenuName = MAKEINTRESOURCEA(SI_MENU);
    wc.lpszClassName = "E2ESTANDIN";
    RegisterClassExA(&wc);
    MainWindow = CreateWindowExA(0, "E2ESTANDIN", "Programme témoin", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                                 nullptr, instance, nullptr);
    if (!MainWindow)
        return 1;
    ShowWindow(MainWindow, show);
    UpdateWindow(MainWindow);
    HACCEL accel = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(SI_ACCEL));
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (!TranslateAcceleratorA(MainWindow, accel, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}
