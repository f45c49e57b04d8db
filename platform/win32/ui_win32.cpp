// Message boxes and text drawing through USER and GDI, for chkort.exe.
#include "platform/win32/handles.h"

int ShowMessageBox(WindowRef owner, const char* text, const char* caption, unsigned style) {
    return MessageBoxA(NativeWindow(owner), text, caption, style);
}

void DrawTextAt(SurfaceRef surface, int x, int y, const char* bytes, int length) {
    TextOutA(NativeSurface(surface), x, y, bytes, length);
}

Colour SetTextColour(SurfaceRef surface, Colour colour) {
    return SetTextColor(NativeSurface(surface), colour);
}

int LineAdvance(SurfaceRef surface) {
    TEXTMETRICA tm{};
    GetTextMetricsA(NativeSurface(surface), &tm);
    return tm.tmHeight + tm.tmExternalLeading;
}

FontRef SelectFontInto(SurfaceRef surface, FontRef font) {
    return FontRefOf(SelectObject(NativeSurface(surface), NativeFont(font)));
}

void ClearRect(SurfaceRef surface, int x, int y, int width, int height) {
    PatBlt(NativeSurface(surface), x, y, width, height, PATCOPY);
}

int ClientBottom(WindowRef window) {
    RECT r{};
    GetClientRect(NativeWindow(window), &r);
    return r.bottom;
}

int DeviceVerticalResolution(SurfaceRef surface) { return GetDeviceCaps(NativeSurface(surface), VERTRES); }

void EndPrintedPage(SurfaceRef surface) { EndPage(NativeSurface(surface)); }

void StartPrintedPage(SurfaceRef surface) { StartPage(NativeSurface(surface)); }

SurfaceRef AcquireWindowSurface(WindowRef window) { return SurfaceRefOf(GetDC(NativeWindow(window))); }

void ReleaseWindowSurface(WindowRef window, SurfaceRef surface) {
    ReleaseDC(NativeWindow(window), NativeSurface(surface));
}

void InvalidateWindow(WindowRef window) { InvalidateRect(NativeWindow(window), nullptr, TRUE); }

FontRef CreateFontFrom(const FontSpec& f) {
    return FontRefOf(CreateFontA(f.height, f.width, f.escapement, f.orientation, f.weight, f.italic, f.underline,
                                 f.strikeOut, f.charSet, f.outPrecision, f.clipPrecision, f.quality, f.pitchAndFamily,
                                 f.face));
}

void DeleteFontRef(FontRef font) {
    if (font != 0) DeleteObject(NativeFont(font));
}

void FocusWindow(WindowRef window) { SetFocus(NativeWindow(window)); }
