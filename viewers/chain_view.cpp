// The clinical chart and quote views: the same walk along a doubly linked
// chain, with their own header labels, line format and line colour.
#include "store/format.h"
#include "store/recordio.h"
#include "viewers/views.h"
#include "window/state.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr Colour Red = MakeColour(255, 0, 0);
constexpr Colour Black = MakeColour(0, 0, 0);

struct ChainView {
    const LineChain& chain;
    std::int32_t forwardMode; // the other mode of the pair walks backwards
    const char* startLabel;
    const char* endLabel;
    void (*format)(const ChainLine& line, char* out, std::size_t capacity);
    // Sets the colour of one line; null when every line stays black.
    void (*colour)(SurfaceRef surface, const ChainLine& line);
};

void FormatClinical(const ChainLine& line, char* out, std::size_t capacity) {
    ClinicalLine record;
    std::memcpy(record.bytes, line.bytes, sizeof record.bytes);
    FormatClinicalLine(record, LineOrdinal, CurrentLine, out, capacity);
}

void FormatQuote(const ChainLine& line, char* out, std::size_t capacity) {
    QuoteLine record;
    std::memcpy(record.bytes, line.bytes, sizeof record.bytes);
    FormatQuoteLine(out, capacity, record, LineOrdinal, CurrentLine);
}

// Colour code 49 (the character '1') marks a line to be drawn in red.
void ClinicalColour(SurfaceRef surface, const ChainLine& line) {
    SetTextColour(surface, line.bytes[ClinicalField::ColourCode] == 49 ? Red : Black);
}

const ChainView ClinicalView{ClinicalChain, ModeClinicalFromStart, "DEBUTACTE: ", "FINACTE: ", FormatClinical,
                             ClinicalColour};
const ChainView QuoteView{QuoteChain, ModeQuotesFromStart, "DEBUTDEVIS: ", "FINDEVIS: ", FormatQuote, nullptr};

void DrawHeader(SurfaceRef surface, int y, const ChainView& view, std::int32_t start, std::int32_t end) {
    char header[128];
    const int n = std::snprintf(header, sizeof header, "%s%ld    %s%ld    LASTINDEX: %ld    ", view.startLabel,
                                static_cast<long>(start), view.endLabel, static_cast<long>(end),
                                static_cast<long>(*view.chain.counter));
    DrawViewHeader(surface, y, header, n);
}

void PaintChain(SurfaceRef surface, int printing, const ChainView& view) {
    const PageGeometry page = PageFor(surface, printing);
    const std::int32_t counter = *view.chain.counter;
    PrintedWalk printed = printing ? StartPrintedWalk(*view.chain.file, counter) : PrintedWalk{};
    const bool forward = CurrentMode == view.forwardMode;
    int y = page.top;

    if (CurrentLine == 0) {
        FirstrecRecord ends;
        if (!ReadOrEndView(ReadFirstrec(CurrentPatient, ends))) return;
        const std::int32_t start = GetField(ends, view.chain.startField);
        const std::int32_t end = GetField(ends, view.chain.endField);
        CurrentLine = forward ? start : end;
        LineOrdinal = 0;
        DrawHeader(surface, y, view, start, end);
        y += page.advance;
    }

    while (CurrentLine >= 1) {
        if (CurrentLine > counter) return; // a link out of the file ends the walk silently
        if (printing && !PrintedWalkGoesOn(printed, CurrentLine)) return;
        ++LineOrdinal;
        ChainLine line;
        if (!ReadOrEndView(ReadChainLine(view.chain, CurrentLine, line))) return;
        char text[ScreenLineCapacity];
        view.format(line, text, sizeof text);
        if (view.colour) view.colour(surface, line);
        DrawTextAt(surface, 1, y, text, static_cast<int>(std::strlen(text)));
        y += page.advance;
        CurrentLine = forward ? ChainNext(view.chain, line) : ChainPrev(view.chain, line);
        if (y > page.limit) {
            if (!printing || !BreakPrintedPage(surface, y, CurrentLine, counter)) return;
        }
    }
}

} // namespace

void PaintClinicalChart(SurfaceRef surface, int printing) { PaintChain(surface, printing, ClinicalView); }

void PaintQuotes(SurfaceRef surface, int printing) { PaintChain(surface, printing, QuoteView); }
