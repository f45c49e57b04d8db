// Cutting a chain after a line chosen by its ordinal on screen, and
// overwriting the two links of one line.
#include "repairs/repairs.h"
#include "store/recordio.h"
#include "store/state.h"
#include "window/state.h"

namespace {

// Walks `steps` lines along a chain from `start` (forward by next links, or
// backward by previous links) and returns the number of the line reached, or
// 0 when the chain ends before it (a link out of 1..counter). `line` holds
// the line reached. A failed read (after its box) returns -1.
std::int32_t FindLine(const LineChain& chain, std::int32_t start, std::int32_t ordinal, bool forward,
                      ChainLine& line) {
    // No line has an ordinal below 1; on a chain that loops back the walk
    // would otherwise never end.
    if (ordinal < 1) return 0;
    std::int32_t r = start;
    for (std::int32_t count = 1;; ++count) {
        if (r > *chain.counter) return 0;
        if (!ReadChainLine(chain, r, line)) return -1;
        if (count == ordinal) return r;
        r = forward ? ChainNext(chain, line) : ChainPrev(chain, line);
        if (r < 1) return 0;
    }
}

// The cut of a doubly linked chain, in the direction the view walks it.
void TruncateLineChain(const LineChain& chain, bool forward) {
    const std::int32_t n = LineOrdinal;
    CurrentLine = 0;
    FirstrecRecord ends;
    if (!ReadFirstrec(CurrentPatient, ends)) return;
    const std::size_t nearField = forward ? chain.startField : chain.endField;
    const std::size_t farField = forward ? chain.endField : chain.startField;
    const std::int32_t start = GetField(ends, nearField);
    if (start < 1 || start > *chain.counter) return;

    if (n == 0) {
        SetField(ends, chain.startField, 0);
        SetField(ends, chain.endField, 0);
        WriteFirstrec(CurrentPatient, ends);
        return;
    }

    ChainLine line;
    const std::int32_t cut = FindLine(chain, start, n, forward, line);
    if (cut <= 0) return;
    if (forward)
        SetChainNext(chain, line, 0);
    else
        SetChainPrev(chain, line, 0);
    SetField(ends, farField, cut);
    if (!WriteChainLine(chain, cut, line) || !WriteFirstrec(CurrentPatient, ends)) return;

    // Rebuild the reverse links of the kept part. The cut line's link is 0
    // now, so this walk ends there even when the dropped part looped.
    std::int32_t previous = 0;
    for (std::int32_t r = start; r >= 1 && r <= *chain.counter;) {
        if (!ReadChainLine(chain, r, line)) return;
        if (forward)
            SetChainPrev(chain, line, previous);
        else
            SetChainNext(chain, line, previous);
        previous = r;
        if (!WriteChainLine(chain, r, line)) return;
        r = forward ? ChainNext(chain, line) : ChainPrev(chain, line);
    }
    SetField(ends, farField, previous);
    WriteFirstrec(CurrentPatient, ends);
}

void TruncateClinicalChain() { TruncateLineChain(ClinicalChain, CurrentMode == ModeClinicalFromStart); }
void TruncateQuoteChain() { TruncateLineChain(QuoteChain, CurrentMode == ModeQuotesFromStart); }

void TruncateChartChain() {
    const std::int32_t n = LineOrdinal;
    CurrentLine = 0;
    FirstrecRecord ends;
    if (!ReadFirstrec(CurrentPatient, ends)) return;
    std::int32_t r = GetField(ends, FirstrecField::ChartStart);
    if (r < 1 || r > LastChartEntry) return;
    if (n == 0) {
        SetField(ends, FirstrecField::ChartStart, 0);
        WriteFirstrec(CurrentPatient, ends);
        return;
    }
    for (std::int32_t count = 1;; ++count) {
        if (r > LastChartEntry) return;
        ChartEntry entry;
        if (!ReadChartEntry(r, entry)) return;
        if (count == n) {
            SetNextEntry(entry, 0);
            WriteChartEntry(r, entry);
            return;
        }
        r = GetNextEntry(entry);
        if (r < 1) return;
    }
}

} // namespace

void CutViewedChain(WindowRef window) {
    if (CurrentMode <= ModeClinicalFromEnd)
        TruncateClinicalChain();
    else if (CurrentMode <= ModeQuotesFromEnd)
        TruncateQuoteChain();
    else
        TruncateChartChain();
    // Every cut has set CurrentLine to 0: the view is drawn again from its
    // header, also one that had ended on a record it could not read, which
    // the cut may have taken out of the chain.
    ViewReady = 1;
    InvalidateWindow(window);
}

void RelinkLine() {
    const LineChain& chain = CurrentMode == ModeRelinkQuote ? QuoteChain : ClinicalChain;
    const std::int32_t limit = *chain.counter;
    // The firstrec record is read before the values are judged, so a patient
    // beyond the file is reported by its read; a number below 1 names no
    // record at all and ends the command silently.
    if (CurrentPatient < 1) return;
    FirstrecRecord ends;
    if (!ReadFirstrec(CurrentPatient, ends)) return;
    const std::int32_t start = GetField(ends, chain.startField);
    if (FirstLinkInput < 0 || FirstLinkInput > limit || SecondLinkInput < 0 || SecondLinkInput > limit) return;
    if (CurrentPatient < 1 || CurrentPatient > LastPatient || start < 1) return;
    ChainLine line;
    const std::int32_t r = FindLine(chain, start, LineOrdinal, true, line);
    if (r <= 0) return;
    SetChainNext(chain, line, FirstLinkInput);
    SetChainPrev(chain, line, SecondLinkInput);
    WriteChainLine(chain, r, line);
}
