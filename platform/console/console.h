// The message-box and drawing half of the seam for a console program.
//
// A box becomes one line on stderr. Drawn texts are kept, in drawing order,
// for the command to print once the core is done. There is no page: the
// window's client area and a printer's page are both taller than any walk,
// so a view drawn "on paper" comes out whole, in one piece.
#pragma once

#include "platform/console/text.h"
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

// Writes a message whose format is a Windows-1252 literal (as every literal
// of the program is) and whose %s arguments are UTF-8 already.
void ConsoleSay(std::FILE* stream, const char* format, ...);
void ConsoleSayList(std::FILE* stream, const char* format, va_list args);
