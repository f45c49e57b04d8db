// The message-box and drawing half of the seam for a console program.
//
// A box becomes one line on stderr. Drawn texts are kept, in drawing order,
// for the command to print once the core is done. There is no page: the
// window's client area and a printer's page are both taller than any walk,
// so a view drawn "on paper" comes out whole, in one piece.
#pragma once

#include "platform/platform.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

struct ConsoleText {
    int x = 0, y = 0;
    Colour colour = 0; // text colour in force when it was drawn
    std::string bytes; // Windows-1252, as drawn
};

struct ConsoleBox {
    std::string text, caption; // as the core passed them
};

// Texts drawn and boxes shown since the last ConsoleForget.
const std::vector<ConsoleText>& ConsoleTexts();
const std::vector<ConsoleBox>& ConsoleBoxes();
void ConsoleForget();

// Box lines begin with `prefix` (the program's name). While muted, boxes are
// still kept but print nothing: for opens whose failure the caller explains.
void ConsoleSetBoxPrefix(const char* prefix);
void ConsoleMuteBoxes(bool muted);

// A progress bar on stderr, drawn only when stderr is a terminal and redrawn
// only when what it shows changes. `label` is Windows-1252. ConsoleProgressEnd
// wipes it, so that what follows starts on a clean line.
bool ConsoleStderrIsTerminal();
void ConsoleProgress(const char* label, long long done, long long total);
void ConsoleProgressEnd();

// ---------------------------------------------------------------- text

// Windows-1252 bytes as UTF-8. Control bytes become their visible pictures
// (U+2400 on) and the five bytes the code page leaves undefined U+FFFD, so no
// record byte can reach a terminal as a control sequence.
enum : unsigned {
    // The column separator 0xB3 as a box-drawing vertical bar rather than
    // the superscript three it is in the code page.
    TextSeparatorAsBar = 1,
    // Control bytes pass as they are: for the program's own messages, whose
    // line ends are meant.
    TextKeepControls = 2,
    // The marks of a walk's picture: 0x81 an arrow, 0x8F a cross. Both bytes
    // are undefined in the code page, so only the program's own pictures
    // hold them (console/walk_picture.h).
    TextWalkMarks = 4,
};
std::string Cp1252ToUtf8(std::string_view bytes, unsigned flags = 0);

// A string in the system's own encoding (paths from the command line or the
// current directory: UTF-8 on Linux, the ANSI code page on Windows) as UTF-8.
std::string NativeToUtf8(std::string_view text);

// Writes a message whose format is a Windows-1252 literal (as every literal
// of the program is) and whose %s arguments are UTF-8 already.
void ConsoleSay(std::FILE* stream, const char* format, ...);
void ConsoleSayList(std::FILE* stream, const char* format, va_list args);
