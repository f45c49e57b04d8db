// Any record bytes and any ordinals through both line formatters: the lines
// stay within their bounds and end with a separator.
#include "store/format.h"
#include "store/state.h"
#include "tests/fuzz/fuzz_practice.h"

#include <cstring>

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
    FuzzCheck(n >= 19 && n <= 230, "clinical line length");
    FuzzCheck(out[n - 1] == ColumnSeparator, "clinical line ends with a separator");
    FuzzCheck(out[ScreenLineCapacity] == 0x7E, "clinical line stays in its buffer");

    FormatQuoteLine(out, ScreenLineCapacity, quote);
    n = std::strlen(out);
    FuzzCheck(n >= 9 && n <= 110, "quote line length");
    FuzzCheck(out[n - 1] == ColumnSeparator, "quote line ends with a separator");
    return 0;
}
