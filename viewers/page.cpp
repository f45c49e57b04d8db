#include "store/state.h"
#include "viewers/views.h"
#include "window/state.h"

#include <algorithm>

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

PrintedWalk StartPrintedWalk(const RecordFile& file, std::int32_t counter) {
    // Offsets are (line - 1) x size modulo 2^32: multiples of the largest
    // power of two dividing the size (32 for clinique, 2 for estime), and
    // every such multiple is some line's offset.
    const std::uint32_t size = FileSizeLow(*file.handle);
    const std::uint32_t step = file.recordSize & (~file.recordSize + 1);
    const std::int64_t places = size < file.recordSize ? 0 : (size - file.recordSize) / step + 1;
    PrintedWalk walk;
    walk.file = &file;
    walk.atMost = static_cast<std::int32_t>(std::min<std::int64_t>(counter, places + 1));
    walk.records.assign(static_cast<std::size_t>(RecordsInFile(file)), false);
    return walk;
}

bool PrintedWalkGoesOn(PrintedWalk& walk, std::int32_t next) {
    if (PrintCancelled || walk.printed >= walk.atMost) return false;
    const std::uint32_t offset = RecordOffset(*walk.file, next);
    const std::uint32_t record = offset / walk.file->recordSize;
    if (offset % walk.file->recordSize == 0 && record < walk.records.size()) {
        if (walk.records[record]) return false;
        walk.records[record] = true;
    }
    ++walk.printed;
    return true;
}

bool ReadOrEndView(bool read) {
    if (!read) ViewReady = 0;
    return read;
}

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
