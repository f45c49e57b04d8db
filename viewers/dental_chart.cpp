// The dental chart view: one line per entry of the patient's forward chain.
#include "store/format.h"
#include "store/recordio.h"
#include "store/state.h"
#include "viewers/views.h"
#include "window/state.h"

#include <cstdio>

namespace {

// The entry's number, the slots in use as "a-b-c/" in slot order, the link
// to the next entry. At most 325 characters.
int FormatChartEntry(const ChartEntry& entry, std::int32_t number, char* out, std::size_t capacity) {
    int n = std::snprintf(out, capacity, "%8ld%c", static_cast<long>(number), ColumnSeparator);
    for (int slot = 0; slot < ChartSlots; ++slot) {
        if (!ChartSlotInUse(entry, slot)) continue;
        n += std::snprintf(out + n, capacity - n, "%d-%d-%d/", ChartSlotValue(entry, ChartField::ValueA, slot),
                           ChartSlotValue(entry, ChartField::ValueB, slot),
                           ChartSlotValue(entry, ChartField::ValueC, slot));
    }
    n += std::snprintf(out + n, capacity - n, "%c%8ld%c", ColumnSeparator, static_cast<long>(GetNextEntry(entry)),
                       ColumnSeparator);
    return n;
}

} // namespace

void PaintDentalChart(SurfaceRef surface, int printing) {
    const PageGeometry page = PageFor(surface, printing);
    int y = page.top;

    if (CurrentLine == 0) {
        FirstrecRecord ends;
        if (!ReadOrEndView(ReadFirstrec(CurrentPatient, ends))) return;
        const std::int32_t start = GetField(ends, FirstrecField::ChartStart);
        CurrentLine = start;
        char header[96];
        const int n = std::snprintf(header, sizeof header, "DEBUTSCHEMA: %ld    LASTINDEX: %ld    ",
                                    static_cast<long>(start), static_cast<long>(LastChartEntry));
        DrawViewHeader(surface, y, header, n);
        y += page.advance;
    }

    PrintedWalk printed = printing ? StartPrintedWalk(FschemaFile, LastChartEntry) : PrintedWalk{};
    while (CurrentLine >= 1) {
        if (CurrentLine > LastChartEntry) return;
        if (printing && !PrintedWalkGoesOn(printed, CurrentLine)) return;
        ChartEntry entry;
        if (!ReadOrEndView(ReadChartEntry(CurrentLine, entry))) return;
        char text[ScreenLineCapacity];
        const int n = FormatChartEntry(entry, CurrentLine, text, sizeof text);
        DrawTextAt(surface, 20, y, text, n);
        y += page.advance;
        CurrentLine = GetNextEntry(entry);
        if (y > page.limit) {
            if (!printing || !BreakPrintedPage(surface, y, CurrentLine, LastChartEntry)) return;
        }
    }
}
