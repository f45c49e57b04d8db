#include "platform/record/record.h"

#include <map>

namespace {

std::vector<RecordedCall> calls;
std::map<SurfaceRef, Colour> colours;
std::map<SurfaceRef, FontRef> fonts;
int lineAdvance = 16;
int clientBottom = 600;
int verticalResolution = 3508;
int boxResult = 1;
FontRef nextFont{0x100};
bool foldRepeats = false;
void (*pageEndAction)() = nullptr;

std::vector<RecordedCall> OfKind(RecordedKind kind) {
    std::vector<RecordedCall> out;
    for (const RecordedCall& c : calls)
        if (c.kind == kind) out.push_back(c);
    return out;
}

} // namespace

const std::vector<RecordedCall>& RecordedCalls() { return calls; }
std::vector<RecordedCall> RecordedBoxes() { return OfKind(RecordedBox); }
std::vector<RecordedCall> RecordedTexts() { return OfKind(RecordedText); }

void ResetRecording() {
    calls.clear();
    colours.clear();
    fonts.clear();
    lineAdvance = 16;
    clientBottom = 600;
    verticalResolution = 3508;
    boxResult = 1;
    nextFont = FontRef{0x100};
    foldRepeats = false;
    pageEndAction = nullptr;
}

void SetRecordedLineAdvance(int advance) { lineAdvance = advance; }
void SetRecordedClientBottom(int bottom) { clientBottom = bottom; }
void SetRecordedVerticalResolution(int resolution) { verticalResolution = resolution; }
void SetRecordedBoxResult(int result) { boxResult = result; }
void SetRecordedRepeatsFolded(bool fold) { foldRepeats = fold; }
void SetRecordedPageEndAction(void (*action)()) { pageEndAction = action; }

int ShowMessageBox(WindowRef owner, const char* text, const char* caption, unsigned style) {
    RecordedCall c;
    c.kind = RecordedBox;
    c.bytes = text ? text : "";
    c.hasCaption = caption != nullptr;
    c.caption = caption ? caption : "";
    c.style = style;
    c.owner = owner;
    calls.push_back(c);
    return boxResult;
}

void DrawTextAt(SurfaceRef surface, int x, int y, const char* bytes, int length) {
    const std::size_t n = length > 0 ? static_cast<std::size_t>(length) : 0;
    if (foldRepeats && !calls.empty()) {
        RecordedCall& last = calls.back();
        if (last.kind == RecordedText && last.surface == surface && last.x == x && last.y == y &&
            last.colour == colours[surface]) {
            last.bytes.assign(bytes, n);
            ++last.repeats;
            return;
        }
    }
    RecordedCall c;
    c.kind = RecordedText;
    c.surface = surface;
    c.x = x;
    c.y = y;
    c.colour = colours[surface];
    c.bytes.assign(bytes, n);
    calls.push_back(c);
}

Colour SetTextColour(SurfaceRef surface, Colour colour) {
    const Colour previous = colours[surface];
    colours[surface] = colour;
    return previous;
}

int LineAdvance(SurfaceRef) { return lineAdvance; }

FontRef SelectFontInto(SurfaceRef surface, FontRef font) {
    RecordedCall c;
    c.kind = RecordedFont;
    c.surface = surface;
    c.font = font;
    calls.push_back(c);
    const FontRef previous = fonts[surface];
    fonts[surface] = font;
    return previous;
}

void ClearRect(SurfaceRef surface, int x, int y, int width, int height) {
    RecordedCall c;
    c.kind = RecordedClear;
    c.surface = surface;
    c.x = x;
    c.y = y;
    c.width = width;
    c.height = height;
    calls.push_back(c);
}

int ClientBottom(WindowRef) { return clientBottom; }
int DeviceVerticalResolution(SurfaceRef) { return verticalResolution; }

void EndPrintedPage(SurfaceRef surface) {
    RecordedCall c;
    c.kind = RecordedPageEnd;
    c.surface = surface;
    calls.push_back(c);
    if (pageEndAction) pageEndAction();
}

void StartPrintedPage(SurfaceRef surface) {
    RecordedCall c;
    c.kind = RecordedPageStart;
    c.surface = surface;
    calls.push_back(c);
}

// Window surfaces of the stand-in are the window reference itself (never 0).
SurfaceRef AcquireWindowSurface(WindowRef window) { return SurfaceRef{window != 0 ? window.value : 1}; }
void ReleaseWindowSurface(WindowRef, SurfaceRef) {}

void InvalidateWindow(WindowRef window) {
    RecordedCall c;
    c.kind = RecordedInvalidate;
    c.owner = window;
    calls.push_back(c);
}

// Fonts of the stand-in are numbers from 0x100 up, distinct for each creation.
FontRef CreateFontFrom(const FontSpec& shape) {
    RecordedCall c;
    c.kind = RecordedFontCreate;
    c.shape = shape;
    c.bytes = shape.face ? shape.face : "";
    c.shape.face = nullptr;
    nextFont = FontRef{nextFont.value + 1};
    c.font = nextFont;
    calls.push_back(c);
    return c.font;
}

void DeleteFontRef(FontRef font) {
    RecordedCall c;
    c.kind = RecordedFontDelete;
    c.font = font;
    calls.push_back(c);
}

void FocusWindow(WindowRef window) {
    RecordedCall c;
    c.kind = RecordedFocus;
    c.owner = window;
    calls.push_back(c);
}

SurfaceRef OpenDefaultPrinter() { return RecordedPrinter; }
void ClosePrinter(SurfaceRef) {}
int DeviceDotsPerInch(SurfaceRef) { return 300; }
bool WatchPrintCancel(SurfaceRef) { return true; }
bool OpenPrintCancelBox(WindowRef, int*) { return true; }
void ClosePrintCancelBox(WindowRef) {}
bool StartPrintedDocument(SurfaceRef, const char*, FontRef) { return true; }
void EndPrintedDocument(SurfaceRef) {}
