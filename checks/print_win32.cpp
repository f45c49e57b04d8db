// The print job on the default printer, with its modeless cancel dialog.
#include "checks/checks.h"
#include "checks/print.h"
#include "platform/win32/handles.h"
#include "store/state.h"

#include <windows.h>

HWND AbortDialog = nullptr;

namespace {

void Cancelled(HWND window) { MessageBoxA(window, "Impression est annulé", nullptr, MB_ICONSTOP); }

// The printer's context, without showing a dialog: the default printer's, or
// one made from its device names when none comes back.
HDC DefaultPrinter() {
    PRINTDLGA setup{};
    setup.lStructSize = sizeof setup;
    setup.Flags = PD_RETURNDC | PD_RETURNDEFAULT;
    if (!PrintDlgA(&setup)) return nullptr;
    HDC dc = setup.hDC;
    if (dc == nullptr && setup.hDevNames != nullptr) {
        auto* names = static_cast<DEVNAMES*>(GlobalLock(setup.hDevNames));
        auto* mode = setup.hDevMode ? static_cast<DEVMODEA*>(GlobalLock(setup.hDevMode)) : nullptr;
        if (names != nullptr) {
            const char* base = reinterpret_cast<const char*>(names);
            dc = CreateDCA(base + names->wDriverOffset, base + names->wDeviceOffset, base + names->wOutputOffset, mode);
            GlobalUnlock(setup.hDevNames);
        }
        if (mode != nullptr) GlobalUnlock(setup.hDevMode);
    }
    if (setup.hDevNames != nullptr) GlobalFree(setup.hDevNames);
    if (setup.hDevMode != nullptr) GlobalFree(setup.hDevMode);
    return dc;
}

BOOL CALLBACK PrintAbortProc(HDC, int) {
    if (AbortDialog == nullptr) return TRUE;
    if (PrintCancelled) return FALSE;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageA(AbortDialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (PrintCancelled) return FALSE;
    }
    return !PrintCancelled;
}

INT_PTR CALLBACK AbortDlgProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        SetFocus(GetDlgItem(dialog, IDOK));
        return FALSE;
    }
    if (message == WM_COMMAND) { // the button, Enter or Escape
        PrintCancelled = 1;
        return TRUE;
    }
    return FALSE;
}

void Release(HDC dc) {
    DeleteDC(dc);
    DeleteFontRef(PrintFont);
    PrintFont = 0;
}

} // namespace

void PrintCurrentView(WindowRef windowRef) {
    HWND window = NativeWindow(windowRef);
    HDC dc = DefaultPrinter();
    if (dc == nullptr) {
        Cancelled(window);
        return;
    }
    PrintFont = CreateFontFrom(PrintFontSpec(PrintFontHeight(GetDeviceCaps(dc, LOGPIXELSX))));

    if (SetAbortProc(dc, PrintAbortProc) <= 0) {
        MessageBoxA(window, "Erreur de l'impression", "Erreur", MB_ICONSTOP);
        Release(dc);
        return;
    }
    PrintCancelled = 0;
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    AbortDialog = CreateDialogParamA(instance, "AbortDlg", window, AbortDlgProc, 0);
    if (AbortDialog == nullptr) {
        MessageBoxA(window, "Erreur de l'impression", nullptr, MB_ICONSTOP);
        Release(dc);
        return;
    }
    ShowWindow(AbortDialog, SW_NORMAL);
    EnableWindow(window, FALSE);

    DOCINFOA document{};
    document.cbSize = sizeof document;
    document.lpszDocName = "Utilitaire ORT";
    if (StartDocA(dc, &document) <= 0) {
        MessageBoxA(window, "Erreur de l'impression", "Erreur", MB_ICONSTOP);
    } else {
        SelectObject(dc, NativeFont(PrintFont));
        const int pageStarted = StartPage(dc);
        PrintViewFromStart(SurfaceRefOf(dc));
        // A cancelled job was ended by the abort procedure's refusal.
        if (pageStarted >= 0 && !PrintCancelled) {
            EndPage(dc);
            EndDoc(dc);
        }
    }
    EnableWindow(window, TRUE);
    DestroyWindow(AbortDialog);
    AbortDialog = nullptr;
    Release(dc);
    SetFocus(window);
}
