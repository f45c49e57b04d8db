// Boxes as lines on stderr, drawing kept for the command, for chkort-cli.
#include "platform/console/console.h"

#include <climits>
#include <cstdarg>

#ifdef _WIN32
#include <io.h>
#define ConsoleIsATty(f) (_isatty(_fileno(f)) != 0)
#else
#include <unistd.h>
#define ConsoleIsATty(f) (isatty(fileno(f)) != 0)
#endif

namespace {

std::vector<ConsoleText> texts;
std::vector<ConsoleBox> boxes;
std::string boxPrefix;
bool boxesMuted = false;
Colour colour = 0;
FontRef selectedFont = 0;
FontRef nextFont{0x100};

// Taller than any walk: a view drawn on paper never breaks its page, and
// one drawn on the window never fills it.
constexpr int PageHeight = INT_MAX / 2;

// What the bar shows now, to redraw it only when that changes.
bool barShown = false;
int barPercent = -1;
std::string barLabel;
constexpr int BarWidth = 30;

void WipeBar() {
    if (!barShown) return;
    std::fprintf(stderr, "\r%*s\r", BarWidth + 60, "");
    std::fflush(stderr);
    barShown = false;
}

} // namespace

const std::vector<ConsoleText>& ConsoleTexts() { return texts; }
const std::vector<ConsoleBox>& ConsoleBoxes() { return boxes; }

void ConsoleForget() {
    texts.clear();
    boxes.clear();
}

void ConsoleSetBoxPrefix(const char* prefix) { boxPrefix = prefix ? prefix : ""; }
void ConsoleMuteBoxes(bool muted) { boxesMuted = muted; }

bool ConsoleStderrIsTerminal() { return ConsoleIsATty(stderr); }

void ConsoleProgress(const char* label, long long done, long long total) {
    if (!ConsoleStderrIsTerminal()) return;
    const int percent = total > 0 ? static_cast<int>(done * 100 / total) : 100;
    if (barShown && percent == barPercent && barLabel == label) return;
    barPercent = percent;
    barLabel = label;
    const int filled = percent * BarWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(BarWidth - filled), '.');
    std::fprintf(stderr, "\r[%s] %3d %% %s", bar.c_str(), percent, Cp1252ToUtf8(label).c_str());
    std::fflush(stderr);
    barShown = true;
}

void ConsoleProgressEnd() {
    WipeBar();
    barPercent = -1;
    barLabel.clear();
}

void ConsoleSayList(std::FILE* stream, const char* format, va_list args) {
    WipeBar();
    const std::string utf8 = Cp1252ToUtf8(format, TextKeepControls);
    std::vfprintf(stream, utf8.c_str(), args);
    std::fflush(stream);
}

void ConsoleSay(std::FILE* stream, const char* format, ...) {
    va_list args;
    va_start(args, format);
    ConsoleSayList(stream, format, args);
    va_end(args);
}

// ---------------------------------------------------------------- the seam

int ShowMessageBox(WindowRef, const char* text, const char* caption, unsigned) {
    ConsoleBox box{text ? text : "", caption ? caption : ""};
    boxes.push_back(box);
    if (!boxesMuted) {
        WipeBar();
        // The core's box texts are plain ASCII around paths of the system's
        // own encoding ("Erreur d'ouverture du fichier - <path>").
        std::fprintf(stderr, "%s%s : %s\n", boxPrefix.c_str(), NativeToUtf8(box.text).c_str(),
                     NativeToUtf8(box.caption).c_str());
        std::fflush(stderr);
    }
    return 1;
}

void DrawTextAt(SurfaceRef, int x, int y, const char* bytes, int length) {
    if (length < 0) length = 0;
    texts.push_back(ConsoleText{x, y, colour, std::string(bytes, static_cast<std::size_t>(length))});
}

Colour SetTextColour(SurfaceRef, Colour c) {
    const Colour previous = colour;
    colour = c;
    return previous;
}

// One unit a line: positions then number the lines.
int LineAdvance(SurfaceRef) { return 1; }

FontRef SelectFontInto(SurfaceRef, FontRef font) {
    const FontRef previous = selectedFont;
    selectedFont = font;
    return previous;
}

void ClearRect(SurfaceRef, int, int, int, int) {}
int ClientBottom(WindowRef) { return PageHeight; }
int DeviceVerticalResolution(SurfaceRef) { return PageHeight; }
void EndPrintedPage(SurfaceRef) {}
void StartPrintedPage(SurfaceRef) {}
void FocusWindow(WindowRef) {}
void InvalidateWindow(WindowRef) {}
FontRef CreateFontFrom(const FontSpec&) {
    nextFont = FontRef{nextFont.value + 1};
    return nextFont;
}
void DeleteFontRef(FontRef) {}
SurfaceRef AcquireWindowSurface(WindowRef) { return SurfaceRef{1}; }
void ReleaseWindowSurface(WindowRef, SurfaceRef) {}
