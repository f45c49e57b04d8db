// The seam between the portable core and the operating system.
//
// Everything above this header (store/, viewers/, repairs/, checks/) reaches
// files, message boxes, drawing surfaces and the printer only through these
// free functions.
// One implementation is chosen at link time:
//   platform/win32/   the real Win32 calls, for chkort.exe
//   platform/posix/   files on Linux, for the native tests and tools
//   platform/record/  a stand-in for boxes, drawing and the printer that keeps
//                     every call, so a test can read back what the program
//                     showed
//   platform/console/ boxes on stderr and drawing kept, for chkort-cli, with
//                     platform/no_printer.cpp: no printer (the benchmark's too)
// The file implementations consult a fault hook on every transfer and every
// flush: in the tests platform/fault.cpp, which lets a test make the Nth
// transfer come up short or a flush fail, and keeps what a disk would keep
// at a power cut; in the product platform/no_fault.cpp, which lets every
// one through.
#pragma once

#include <cstddef>
#include <cstdint>

// Opaque references, each of a type of its own, so that a file cannot be
// passed for a window, nor a font for a surface. 0 means "none" / "not open"
// for every kind (`file == 0`, `font = 0`); any other value comes only from
// the implementation that made it, spelt out (`WindowRef{0x1234}`).
template <typename Kind>
struct Opaque {
    std::uintptr_t value = 0;
    constexpr Opaque() = default;
    constexpr Opaque(std::nullptr_t) {} // the literal 0
    constexpr explicit Opaque(std::uintptr_t v) : value(v) {}
    friend constexpr bool operator==(Opaque a, Opaque b) { return a.value == b.value; }
    friend constexpr bool operator<(Opaque a, Opaque b) { return a.value < b.value; }
};
using FileHandle = Opaque<struct FileKind>;
using WindowRef = Opaque<struct WindowKind>;
using SurfaceRef = Opaque<struct SurfaceKind>; // a device context: window or printer
using FontRef = Opaque<struct FontKind>;

// A colour as Windows packs it (0x00BBGGRR).
using Colour = std::uint32_t;
constexpr Colour MakeColour(unsigned r, unsigned g, unsigned b) {
    return (r & 0xFFu) | ((g & 0xFFu) << 8) | ((b & 0xFFu) << 16);
}

// ---------------------------------------------------------------- files

enum FileOpenKind {
    // Existing file, read and write access, reading and writing shared with
    // other processes (the host keeps its data files open while it runs).
    OpenSharedExisting,
    // Existing file, read access only, reading and writing shared: for looking
    // at a practice's files without any chance of changing them.
    OpenSharedReadOnly,
    // Existing file, read and write access, not shared.
    OpenExclusiveExisting,
    // Created or emptied, read and write access, not shared.
    CreateExclusive,
    // Created only if it does not exist yet, read and write access; other
    // processes may read it, not write it: a run's journal never takes the
    // place of another's, and can be read while the run goes on.
    CreateNewSharedRead,
    // Existing file, read and write access, reading shared but not writing:
    // no other program writes it while it is open, and it cannot be opened
    // while another program has it open for writing.
    OpenGuardedExisting,
};

// Returns 0 when the file cannot be opened. A path may use '\' as its
// separator on every platform.
FileHandle FileOpen(const char* path, FileOpenKind kind);
void FileClose(FileHandle file);

// One absolute seek from the start of the file, then one read or one write.
// The offset is unsigned 32-bit: callers compute it in 32-bit arithmetic, and
// an offset of 2 GiB or more is still a position, never a negative seek.
// Returns the number of bytes transferred (0 on any failure, on handle 0 too).
std::uint32_t FileRead(FileHandle file, std::uint32_t offset, void* buffer, std::uint32_t length);
std::uint32_t FileWrite(FileHandle file, std::uint32_t offset, const void* buffer, std::uint32_t length);

// Hands what was written to the disk; false when the system says it could
// not. Like a transfer, it consults the fault hook.
bool FileFlush(FileHandle file);

// Creates a directory; true when it exists afterwards.
bool MakeDirectory(const char* path);

// The local date and time, for naming and dating journals.
struct LocalTime {
    int year, month, day, hour, minute, second;
};
LocalTime LocalTimeNow();

// Low 32 bits of the file's size; 0 for handle 0.
std::uint32_t FileSizeLow(FileHandle file);

// The process's current directory, NUL-terminated, without a trailing
// separator. Returns false (with an empty buffer) when it does not fit.
bool WorkingDirectory(char* buffer, std::size_t capacity);

// Zeroed memory for a table of a whole file's links, walked at random: where
// the system can, in large pages, so that a walk does not also miss the
// address translation at every step. Null when there is not enough memory.
void* TableAlloc(std::size_t bytes);
void TableFree(void* table, std::size_t bytes);

// ---------------------------------------------------------------- message boxes

// Style bits, same values as the Win32 MB_ constants.
constexpr unsigned BoxOk = 0x00;
constexpr unsigned BoxIconStop = 0x10;
constexpr unsigned BoxIconInformation = 0x40;

// Modal box. A null caption leaves the system's default caption. Returns the
// button pressed (1 for OK).
int ShowMessageBox(WindowRef owner, const char* text, const char* caption, unsigned style);

// ---------------------------------------------------------------- drawing

// Draws exactly `length` bytes (Windows-1252) with the top-left corner at (x, y).
void DrawTextAt(SurfaceRef surface, int x, int y, const char* bytes, int length);
// Sets the colour of later text; returns the previous one.
Colour SetTextColour(SurfaceRef surface, Colour colour);
// Character height plus external leading of the font selected in `surface`.
int LineAdvance(SurfaceRef surface);
// Selects `font` into `surface`; returns the font it replaces.
FontRef SelectFontInto(SurfaceRef surface, FontRef font);
// Fills a rectangle with the surface's current brush (pattern copy).
void ClearRect(SurfaceRef surface, int x, int y, int width, int height);

// Bottom of the window's client area, in pixels.
int ClientBottom(WindowRef window);
// Vertical resolution of a printer surface, in device units.
int DeviceVerticalResolution(SurfaceRef surface);
// Page break on a printer surface: ends the current page, starts the next one.
void EndPrintedPage(SurfaceRef surface);
void StartPrintedPage(SurfaceRef surface);

// Gives the keyboard focus to the window.
void FocusWindow(WindowRef window);

// Asks for the whole client area to be repainted, erasing it first.
void InvalidateWindow(WindowRef window);

// Fonts, created by parameters as GDI takes them.
struct FontSpec {
    int height, width, escapement, orientation, weight;
    bool italic, underline, strikeOut;
    unsigned charSet, outPrecision, clipPrecision, quality, pitchAndFamily;
    const char* face;
};
FontRef CreateFontFrom(const FontSpec& shape); // 0 on failure
void DeleteFontRef(FontRef font);

// A surface on the window's client area outside painting, for progress lines.
SurfaceRef AcquireWindowSurface(WindowRef window);
void ReleaseWindowSurface(WindowRef window, SurfaceRef surface);

// ---------------------------------------------------------------- printing

// The default printer's surface, without a print dialog; 0 when there is no
// default printer.
SurfaceRef OpenDefaultPrinter();
void ClosePrinter(SurfaceRef printer);
// Dots per inch across a printer surface.
int DeviceDotsPerInch(SurfaceRef printer);
// Lets the job's cancel box act while the printer works; false when the
// printer will not have it.
bool WatchPrintCancel(SurfaceRef printer);
// The job's modeless cancel box over `owner`, which takes no input while the
// box is open; false when it cannot be made. Its button sets `*cancelled` to
// 1, and the printer then ends the job itself. Closing the box gives `owner`
// back its input and the keyboard focus.
bool OpenPrintCancelBox(WindowRef owner, int* cancelled);
void ClosePrintCancelBox(WindowRef owner);
// A document named `name`, started with its first page and `font` selected;
// false when it cannot start. Ending it ends its last page and the document,
// unless its first page could not start.
bool StartPrintedDocument(SurfaceRef printer, const char* name, FontRef font);
void EndPrintedDocument(SurfaceRef printer);
