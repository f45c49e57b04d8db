// The recording stand-in for message boxes, drawing and the printer, linked by
// the tests in place of the Win32 user interface. Every call is kept in order,
// so a test reads like "these lines, in this colour, at these positions, then
// this box".
#pragma once

#include "platform/platform.h"

#include <string>
#include <vector>

enum RecordedKind {
    RecordedText,     // DrawTextAt
    RecordedBox,      // ShowMessageBox
    RecordedFont,     // SelectFontInto
    RecordedClear,    // ClearRect
    RecordedPageEnd,  // EndPrintedPage
    RecordedPageStart, // StartPrintedPage
    RecordedInvalidate, // InvalidateWindow
    RecordedFontCreate, // CreateFontFrom
    RecordedFontDelete, // DeleteFontRef
    RecordedFocus       // FocusWindow
};

struct RecordedCall {
    RecordedKind kind = RecordedText;
    SurfaceRef surface = 0; // drawing calls
    int x = 0, y = 0;       // text position, or the rectangle's corner
    int width = 0, height = 0;
    Colour colour = 0;      // text colour in force when the text was drawn
    std::string bytes;      // text drawn, or box text
    bool hasCaption = false;
    std::string caption;    // box caption (when hasCaption)
    unsigned style = 0;     // box style
    WindowRef owner = 0;    // box owner
    FontRef font = 0;       // font selected, created or deleted
    FontSpec shape{};        // font created (its face copied into `bytes`)
    unsigned long repeats = 1; // draws folded into this one (see below)
};

// The default printer: a surface of 300 dots per inch on which every job
// starts. A job's frame (document, cancel box) is not recorded, only what is
// drawn on paper, its page breaks and its font.
constexpr SurfaceRef RecordedPrinter{0x5000};

// Every call since the last reset, in order.
const std::vector<RecordedCall>& RecordedCalls();
// Only the message boxes / only the drawn texts, in order.
std::vector<RecordedCall> RecordedBoxes();
std::vector<RecordedCall> RecordedTexts();

// Forgets the calls and restores the defaults below.
void ResetRecording();

// What the stand-in answers. Defaults: line advance 16, client bottom 600,
// vertical resolution 3508, each surface's colour black, box result 1 (OK).
void SetRecordedLineAdvance(int advance);
void SetRecordedClientBottom(int bottom);
void SetRecordedVerticalResolution(int resolution);
void SetRecordedBoxResult(int result);
// Called after each page end is recorded, where a printer lets the job's
// cancel box act; null (the default) does nothing.
void SetRecordedPageEndAction(void (*action)());

// For runs that draw millions of progress lines: a text drawn at the very
// place of the call recorded just before it (a text on the same surface, at
// the same x and y, in the same colour) replaces that call's bytes and adds
// one to its `repeats`, instead of being kept apart. Off after a reset.
void SetRecordedRepeatsFolded(bool fold);
