// Any record bytes and any ordinals through both line formatters: the lines
// stay within their bounds and end with a separator. Then any typed text
// through the dialogs' number reading, against the C library's.
#include "store/format.h"
#include "store/state.h"
#include "tests/fuzz/fuzz_practice.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size};
    LineOrdinal = in.Int32();
    CurrentLine = in.Int32();
    ClinicalLine clinical;
    QuoteLine quote;
    for (auto& b : clinical.bytes) b = in.Byte();
    for (auto& b : quote.bytes) b = in.Byte();

    char out[ScreenLineCapacity + 8];
    std::memset(out, 0x7E, sizeof out);
    FormatClinicalLine(clinical, out, ScreenLineCapacity);
    std::size_t n = std::strlen(out);
    FuzzCheck(n >= 19 && n <= 230 && out[n - 1] == ColumnSeparator, "a clinical line's length and separator");
    FuzzCheck(out[ScreenLineCapacity] == 0x7E, "a clinical line stays in its buffer");
    FormatQuoteLine(out, ScreenLineCapacity, quote);
    n = std::strlen(out);
    FuzzCheck(n >= 9 && n <= 110 && out[n - 1] == ColumnSeparator, "a quote line's length and separator");

    // What an edit control of the dialogs can hold, up to its first NUL.
    std::string typed;
    for (char c; typed.size() < 40 && in.at < in.size && (c = static_cast<char>(in.Byte())) != 0;) typed += c;
    const long long wide = std::strtoll(typed.c_str(), nullptr, 10);
    FuzzCheck(TextToNumber(typed.c_str()) == std::clamp<long long>(wide, INT_MIN, INT_MAX),
              "a typed number reads as the C library reads it, held within 32 bits");
    return 0;
}
