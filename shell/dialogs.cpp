// The input dialogs: read the edits, hand the texts to the portable judge.
#include "shell/input.h"
#include "shell/win32.h"

namespace {

constexpr int FirstEdit = 1000;

INT_PTR OnInitDialog(HWND dialog, DialogKind kind) {
    SetWindowLongPtrA(dialog, GWLP_USERDATA, kind);
    for (int i = 0; i < DialogEditCount(kind); ++i)
        SendDlgItemMessageA(dialog, FirstEdit + i, EM_LIMITTEXT, DialogEditLimit(kind, i), 0);
    SetFocus(GetDlgItem(dialog, FirstEdit));
    return TRUE;
}

void OnOk(HWND dialog, DialogKind kind) {
    char buffers[4][10] = {};
    const char* texts[4] = {buffers[0], buffers[1], buffers[2], buffers[3]};
    for (int i = 0; i < DialogEditCount(kind); ++i)
        GetDlgItemTextA(dialog, FirstEdit + i, buffers[i], DialogReadBuffer(kind, i));
    if (DialogConfirm(WindowRefOf(dialog), kind, texts)) EndDialog(dialog, 1);
}

INT_PTR CALLBACK InputDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return OnInitDialog(dialog, static_cast<DialogKind>(lParam));
    if (message != WM_COMMAND || (wParam != IDOK && wParam != IDCANCEL)) return FALSE;
    const auto kind = static_cast<DialogKind>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
    if (wParam == IDOK) {
        OnOk(dialog, kind);
    } else {
        DialogCancel(kind);
        EndDialog(dialog, 1);
    }
    return TRUE;
}

} // namespace

void RunInputDialog(WindowRef owner, DialogKind kind) {
    DialogBoxParamA(AppInstance, DialogTemplate(kind), NativeWindow(owner), InputDialogProc, kind);
}
