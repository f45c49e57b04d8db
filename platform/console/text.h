// Text conversions for the console: the program's Windows-1252 texts and the
// system's own strings, both written out as UTF-8; and the builders of
// those texts. Apart from the console's boxes and drawing, for the core's
// words and JSON forms too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
    // hold them (checks/walk_picture.h).
    TextWalkMarks = 4,
};
std::string Cp1252ToUtf8(std::string_view bytes, unsigned flags = 0);

// A string in the system's own encoding (paths from the command line or the
// current directory: UTF-8 on Linux, the ANSI code page on Windows) as UTF-8.
std::string NativeToUtf8(std::string_view text);

// Texts are built in the program's code page and converted on output.
std::string Format(const char* format, ...);
// "s" after a count above 1.
const char* Plural(long long n);
// "3, 7, 12" with " et 4 autres" past `most`.
std::string ListOf(const std::vector<std::int32_t>& values, std::size_t most = 12);
// Ascending numbers (patients, lines) as "3, 5, 10 à 40 et 12 autres": runs
// of three or more joined, at most `most` items shown.
struct NumberRun {
    std::int32_t first, last;
};
std::string NumberList(std::vector<NumberRun> runs, std::size_t most = 8);
std::string NumberList(const std::vector<std::int32_t>& numbers, std::size_t most = 8);
// How many numbers the runs hold.
long long NumberCount(const std::vector<NumberRun>& runs);
