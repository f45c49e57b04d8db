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
