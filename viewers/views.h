// The page-by-page views of a patient's chains, on the window or a printer.
//
// Each view draws one page per call and keeps its place in CurrentLine, so
// the next call (the next paint, after Enter) goes on where it stopped. On a
// printer (printing = 1) it draws the whole walk, page after page, on a
// surface whose document and first page the print job has started.
#pragma once

#include "platform/platform.h"
#include "store/recordio.h"

#include <cstdint>
#include <vector>

void PaintClinicalChart(SurfaceRef surface, int printing); // modes 1 and 2
void PaintQuotes(SurfaceRef surface, int printing);        // modes 3 and 4
void PaintDentalChart(SurfaceRef surface, int printing);   // mode 5

// The clinique (mode 13) or estime (mode 14) file in record order from
// CurrentLine, one window-full per call, whatever chain a record belongs to.
void PaintRawFile(SurfaceRef surface);

// The view of CurrentMode: modes 1 to 5 on the window or on paper, and the
// raw browser (13, 14) on the window. Other modes draw nothing.
void PaintViewOfMode(SurfaceRef surface, int printing);

// What every view shares: line advance, top and bottom limit of a page.
struct PageGeometry {
    int advance; // character height plus external leading of the selected font
    int top;     // y of the first line: 0 on the window, 50 on paper
    int limit;   // a line may start at or above it: client bottom or VERTRES, less 100
};
PageGeometry PageFor(SurfaceRef surface, int printing);

// On paper, after a line has moved y past the limit: a new page when the
// walk goes on at a record within the file. Returns false when the walk must
// end here instead.
bool BreakPrintedPage(SurfaceRef surface, int& y, std::int32_t next, std::int32_t counter);

// The red header at (20, y); the text colour is black again afterwards.
void DrawViewHeader(SurfaceRef surface, int y, const char* text, int length);

// On paper a chain that links back on itself would print without end. A
// printed walk ends at the first line that is one it has printed already:
// - a bit per record of the file marks the records printed. A line number
//   whose 32-bit offset wraps past 4 GiB onto a record's place is that
//   record again (line 134,217,729 of clinique is line 1);
// - a wrapped offset between two records' places has no bit. Those places
//   are few (every 32 bytes in clinique, every 2 in estime), and once two
//   lines were read at the same place they led to the same next line: after
//   one line more than there are places, the walk repeats. `atMost` is that,
//   and never more than the counter (all lines are numbered 1..counter): the
//   last guard.
// A line beyond the file is still read, so that its failure is reported as
// on the screen. The walk also ends at its next line once the job's cancel
// box was pressed (PrintCancelled).
struct PrintedWalk {
    const RecordFile* file = nullptr;
    std::int32_t atMost = 0, printed = 0;
    std::vector<bool> records; // a bit per whole record of the file
};
PrintedWalk StartPrintedWalk(const RecordFile& file, std::int32_t counter);
// Counts line `next` (1..counter) as printed; false when it must be a repeat
// or the job was cancelled.
bool PrintedWalkGoesOn(PrintedWalk& walk, std::int32_t next);

// Returns whether a record was read. When it could not be, the view ends:
// later paints draw nothing until a new command, so that the repaint which
// closing the error box itself causes cannot bring the same box back again
// and again.
bool ReadOrEndView(bool read);
