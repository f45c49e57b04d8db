// Boxes and drawing that go nowhere: the benchmark times the integrity test's
// own work and its file transfers, not a screen.
#include "platform/platform.h"

int ShowMessageBox(WindowRef, const char*, const char*, unsigned) { return 1; }
void DrawTextAt(SurfaceRef, int, int, const char*, int) {}
Colour SetTextColour(SurfaceRef, Colour) { return 0; }
int LineAdvance(SurfaceRef) { return 16; }
FontRef SelectFontInto(SurfaceRef, FontRef) { return 0; }
void ClearRect(SurfaceRef, int, int, int, int) {}
int ClientBottom(WindowRef) { return 600; }
int DeviceVerticalResolution(SurfaceRef) { return 3508; }
void EndPrintedPage(SurfaceRef) {}
void StartPrintedPage(SurfaceRef) {}
void FocusWindow(WindowRef) {}
void InvalidateWindow(WindowRef) {}
FontRef CreateFontFrom(const FontSpec&) { return FontRef{1}; }
void DeleteFontRef(FontRef) {}
SurfaceRef AcquireWindowSurface(WindowRef) { return SurfaceRef{1}; }
void ReleaseWindowSurface(WindowRef, SurfaceRef) {}
