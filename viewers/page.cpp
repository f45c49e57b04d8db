#include "store/state.h"
#include "viewers/views.h"

PageGeometry PageFor(SurfaceRef surface, int printing) {
    PageGeometry page;
    page.advance = LineAdvance(surface);
    page.top = printing ? 50 : 0;
    page.limit = (printing ? DeviceVerticalResolution(surface) : ClientBottom(MainWindow)) - 100;
    return page;
}

bool BreakPrintedPage(SurfaceRef surface, int& y, std::int32_t next, std::int32_t counter) {
    if (next < 1 || next > counter) return false;
    EndPrintedPage(surface);
    SelectFontInto(surface, PrintFont);
    StartPrintedPage(surface);
    y = 50;
    return true;
}

void EndViewAfterFailure() { ViewReady = 0; }

void DrawViewHeader(SurfaceRef surface, int y, const char* text, int length) {
    SetTextColour(surface, MakeColour(255, 0, 0));
    DrawTextAt(surface, 20, y, text, length);
    SetTextColour(surface, MakeColour(0, 0, 0));
}

void PaintViewOfMode(SurfaceRef surface, int printing) {
    switch (CurrentMode) {
    case ModeClinicalFromStart:
    case ModeClinicalFromEnd:
        PaintClinicalChart(surface, printing);
        break;
    case ModeQuotesFromStart:
    case ModeQuotesFromEnd:
        PaintQuotes(surface, printing);
        break;
    case ModeDentalChart:
        PaintDentalChart(surface, printing);
        break;
    case ModeBrowseClinique:
    case ModeBrowseEstime:
        if (!printing) PaintRawFile(surface);
        break;
    default:
        break;
    }
}
