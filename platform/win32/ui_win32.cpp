// Message boxes and text drawing through USER and GDI, for chkort.exe.
#include "platform/platform.h"

#include <windows.h>

namespace {
HWND Window(WindowRef w) { return reinterpret_cast<HWND>(w); }
HDC Dc(SurfaceRef s) { return reinterpret_cast<HDC>(s); }
} // namespace

int ShowMessageBox(WindowRef owner, const char* text, const char* caption, unsigned style) {
    return MessageBoxA(Window(owner), text, caption, style);
}

void DrawTextAt(SurfaceRef surface, int x, int y, const char* bytes, int length) {
    TextOutA(Dc(surface), x, y, bytes, length);
}

Colour SetTextColour(SurfaceRef surface, Colour colour) {
    return SetTextColor(Dc(surface), colour);
}

int LineAdvance(SurfaceRef surface) {
    TEXTMETRICA tm{};
    GetTextMetricsA(Dc(surface), &tm);
    return tm.tmHeight + tm.tmExternalLeading;
}

FontRef SelectFontInto(SurfaceRef surface, FontRef font) {
    return reinterpret_cast<FontRef>(SelectObject(Dc(surface), reinterpret_cast<HGDIOBJ>(font)));
}

void ClearRect(SurfaceRef surface, int x, int y, int width, int height) {
    PatBlt(Dc(surface), x, y, width, height, PATCOPY);
}

int ClientBottom(WindowRef window) {
    RECT r{};
    GetClientRect(Window(window), &r);
    return r.bottom;
}

int DeviceVerticalResolution(SurfaceRef surface) { return GetDeviceCaps(Dc(surface), VERTRES); }

void EndPrintedPage(SurfaceRef surface) { EndPage(Dc(surface)); }

void StartPrintedPage(SurfaceRef surface) { StartPage(Dc(surface)); }

SurfaceRef AcquireWindowSurface(WindowRef window) {
    return reinterpret_cast<SurfaceRef>(GetDC(Window(window)));
}

void ReleaseWindowSurface(WindowRef window, SurfaceRef surface) { ReleaseDC(Window(window), Dc(surface)); }

void InvalidateWindow(WindowRef window) { InvalidateRect(Window(window), nullptr, TRUE); }

FontRef CreateFontFrom(const FontSpec& f) {
    return reinterpret_cast<FontRef>(CreateFontA(f.height, f.width, f.escapement, f.orientation, f.weight, f.italic,
                                                 f.underline, f.strikeOut, f.charSet, f.outPrecision, f.clipPrecision,
                                                 f.quality, f.pitchAndFamily, f.face));
}

void DeleteFontRef(FontRef font) {
    if (font != 0) DeleteObject(reinterpret_cast<HGDIOBJ>(font));
}

void FocusWindow(WindowRef window) { SetFocus(Window(window)); }
