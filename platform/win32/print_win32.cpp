// The default printer and the print job's cancel box, for chkort.exe.
#include "platform/win32/handles.h"

namespace {

HWND CancelBox = nullptr;
int* Cancelled = nullptr; // the caller's flag, set by the box's button
bool FirstPageStarted = false;

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
    if (CancelBox == nullptr) return TRUE;
    if (*Cancelled) return FALSE;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!IsDialogMessageA(CancelBox, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (*Cancelled) return FALSE;
    }
    return !*Cancelled;
}

INT_PTR CALLBACK CancelBoxProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        SetFocus(GetDlgItem(dialog, IDOK));
        return FALSE;
    }
    if (message == WM_COMMAND) { // the button, Enter or Escape
        *Cancelled = 1;
        return TRUE;
    }
    return FALSE;
}

} // namespace

SurfaceRef OpenDefaultPrinter() { return SurfaceRefOf(DefaultPrinter()); }

void ClosePrinter(SurfaceRef printer) { DeleteDC(NativeSurface(printer)); }

int DeviceDotsPerInch(SurfaceRef printer) { return GetDeviceCaps(NativeSurface(printer), LOGPIXELSX); }

bool WatchPrintCancel(SurfaceRef printer) { return SetAbortProc(NativeSurface(printer), PrintAbortProc) > 0; }

bool OpenPrintCancelBox(WindowRef owner, int* cancelled) {
    HWND window = NativeWindow(owner);
    Cancelled = cancelled;
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    CancelBox = CreateDialogParamA(instance, "AbortDlg", window, CancelBoxProc, 0); // resources/chkort.rc
    if (CancelBox == nullptr) return false;
    ShowWindow(CancelBox, SW_NORMAL);
    EnableWindow(window, FALSE);
    return true;
}

void ClosePrintCancelBox(WindowRef owner) {
    EnableWindow(NativeWindow(owner), TRUE);
    DestroyWindow(CancelBox);
    CancelBox = nullptr;
    SetFocus(NativeWindow(owner));
}

bool StartPrintedDocument(SurfaceRef printer, const char* name, FontRef font) {
    DOCINFOA document{};
    document.cbSize = sizeof document;
    document.lpszDocName = name;
    if (StartDocA(NativeSurface(printer), &document) <= 0) return false;
    SelectObject(NativeSurface(printer), NativeFont(font));
    FirstPageStarted = StartPage(NativeSurface(printer)) >= 0;
    return true;
}

void EndPrintedDocument(SurfaceRef printer) {
    if (!FirstPageStarted) return;
    EndPage(NativeSurface(printer));
    EndDoc(NativeSurface(printer));
}
