#include "store/format.h"

#include "store/state.h"

#include <climits>
#include <cstdio>

namespace {

// Appends to a fixed buffer, dropping whatever would not fit, so that no
// record can make a line overrun its buffer.
struct LineText {
    char* out;
    std::size_t capacity;
    std::size_t length;
};

void Append(LineText& t, char c) {
    if (t.length + 1 < t.capacity) t.out[t.length++] = c;
    t.out[t.length] = '\0';
}

// A text field: its bytes up to its width or to the first zero byte, unpadded.
void Text(LineText& t, const std::uint8_t* field, std::size_t width) {
    for (std::size_t i = 0; i < width && field[i] != 0; ++i) Append(t, static_cast<char>(field[i]));
}

void Number(LineText& t, const char* format, long value) {
    char digits[24];
    std::snprintf(digits, sizeof digits, format, value);
    for (const char* p = digits; *p; ++p) Append(t, *p);
}

void Separator(LineText& t) { Append(t, ColumnSeparator); }

LineText Start(char* out, std::size_t capacity) {
    if (capacity > 0) out[0] = '\0';
    return LineText{out, capacity, 0};
}

} // namespace

bool FormatClinicalLine(const ClinicalLine& line, char* out, std::size_t capacity) {
    namespace F = ClinicalField;
    const std::uint8_t* r = line.bytes;
    LineText t = Start(out, capacity);
    Number(t, "%4ld", LineOrdinal);
    Separator(t);
    Number(t, "%8ld", CurrentLine);
    Separator(t);
    Text(t, r + F::Text8, 8);
    Separator(t);
    Text(t, r + F::Text12, 12);
    Separator(t);
    Text(t, r + F::DesignNumber, 2);
    Separator(t);
    Text(t, r + F::Text2, 2);
    Separator(t);
    Text(t, r + F::Text50, 50);
    Separator(t);
    Text(t, r + F::ActCode, 13);
    Separator(t);
    Text(t, r + F::Text9, 9);
    Separator(t);
    Text(t, r + F::BilledMark, 1);
    Separator(t);
    Number(t, "%8ld", GetNextLine(line));
    Separator(t);
    Number(t, "%8ld", GetPrevLine(line));
    Separator(t);
    Text(t, r + F::Text26, 26);
    Separator(t);
    Number(t, "%ld", LoadU16(r + F::Number4));
    Separator(t);
    Number(t, "%ld", r[F::ColourCode]);
    Separator(t);
    Number(t, "%ld", r[F::ColourCode2]);
    Separator(t);
    Number(t, "%8ld", LoadI32(r + F::Number1));
    Separator(t);
    Number(t, "%8ld", LoadI32(r + F::Number2));
    Separator(t);
    Number(t, "%8ld", LoadI32(r + F::Number3));
    Separator(t);
    return true;
}

bool FormatQuoteLine(char* out, std::size_t capacity, const QuoteLine& line) {
    namespace F = QuoteField;
    const std::uint8_t* r = line.bytes;
    LineText t = Start(out, capacity);
    Number(t, "%4ld", LineOrdinal);
    Separator(t);
    Number(t, "%8ld", CurrentLine);
    Separator(t);
    Number(t, "%5ld", LoadI16(r + F::Number));
    Separator(t);
    Text(t, r + F::Text8, 8);
    Separator(t);
    Text(t, r + F::Text5, 5);
    Separator(t);
    Text(t, r + F::Label, 29);
    Separator(t);
    Text(t, r + F::Text9, 9);
    Separator(t);
    Number(t, "%8ld", GetNextLine(line));
    Separator(t);
    Number(t, "%8ld", GetPrevLine(line));
    Separator(t);
    return true;
}

std::int32_t TextToNumber(const char* text) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT_MAX) {
            value = static_cast<long long>(INT_MAX) + 1; // -2147483648 still fits
            break;
        }
    }
    if (negative) return static_cast<std::int32_t>(-value);
    return value > INT_MAX ? INT_MAX : static_cast<std::int32_t>(value);
}
