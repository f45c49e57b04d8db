// The raw browser: records in physical order, regardless of the chains.
#include "store/format.h"
#include "store/recordio.h"
#include "store/state.h"
#include "viewers/views.h"
#include "window/state.h"

#include <climits>
#include <cstring>

void PaintRawFile(SurfaceRef surface) {
    const bool clinique = CurrentMode == ModeBrowseClinique;
    const std::int32_t bound = clinique ? LastClinicalLine : LastQuoteLine;
    const PageGeometry page = PageFor(surface, 0);
    int y = 0;

    if (CurrentLine < 1 || CurrentLine > bound) return;
    for (;;) { // ends at the page bottom, at the bound, or at a short read
        char text[ScreenLineCapacity];
        if (clinique) {
            ClinicalLine line;
            if (!ReadOrEndView(ReadCliniqueLine(CurrentLine, line))) return;
            FormatClinicalLine(line, LineOrdinal, CurrentLine, text, sizeof text);
        } else {
            QuoteLine line;
            if (!ReadOrEndView(ReadEstimeLine(CurrentLine, line))) return;
            FormatQuoteLine(text, sizeof text, line, LineOrdinal, CurrentLine);
        }
        DrawTextAt(surface, 0, y, text, static_cast<int>(std::strlen(text)));
        y += page.advance;
        if (CurrentLine == INT_MAX) return; // a counter this high ends here rather than overflow
        ++CurrentLine;
        if (y > page.limit || CurrentLine > bound) return;
    }
}
