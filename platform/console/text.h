// Text conversions for the console: the program's Windows-1252 texts and the
// system's own strings, both written out as UTF-8. Apart from the console's
// boxes and drawing, for the core's JSON forms too.
#pragma once

#include <string>
#include <string_view>

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
