#include "store/format.h"

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

LineText Start(char* out, std::size_t capacity) {
    if (capacity > 0) out[0] = '\0';
    return LineText{out, capacity, 0};
}

// One column of a screen line: where its value comes from and how it shows.
enum ColumnKind {
    OrdinalColumn, // the place in the walk on screen
    NumberColumn,  // the record's own number
    TextColumn,    // `width` bytes, up to the first zero byte
    Int32Column,
    Int16Column,
    Uint16Column,
    ByteColumn,
};

struct Column {
    ColumnKind kind;
    std::size_t offset;
    std::size_t width; // text columns
    const char* format;
};

// The columns in the order they are shown, which is not the order of the
// fields in the record: the links come next before previous.
const Column ClinicalColumns[] = {
    {OrdinalColumn, 0, 0, "%4ld"},
    {NumberColumn, 0, 0, "%8ld"},
    {TextColumn, ClinicalField::Text8, 8, nullptr},
    {TextColumn, ClinicalField::Text12, 12, nullptr},
    {TextColumn, ClinicalField::DesignNumber, 2, nullptr},
    {TextColumn, ClinicalField::Text2, 2, nullptr},
    {TextColumn, ClinicalField::Text50, 50, nullptr},
    {TextColumn, ClinicalField::ActCode, 13, nullptr},
    {TextColumn, ClinicalField::Text9, 9, nullptr},
    {TextColumn, ClinicalField::BilledMark, 1, nullptr},
    {Int32Column, ClinicalField::NextLine, 0, "%8ld"},
    {Int32Column, ClinicalField::PrevLine, 0, "%8ld"},
    {TextColumn, ClinicalField::Text26, 26, nullptr},
    {Uint16Column, ClinicalField::Number4, 0, "%ld"},
    {ByteColumn, ClinicalField::ColourCode, 0, "%ld"},
    {ByteColumn, ClinicalField::ColourCode2, 0, "%ld"},
    {Int32Column, ClinicalField::Number1, 0, "%8ld"},
    {Int32Column, ClinicalField::Number2, 0, "%8ld"},
    {Int32Column, ClinicalField::Number3, 0, "%8ld"},
};

const Column QuoteColumns[] = {
    {OrdinalColumn, 0, 0, "%4ld"},
    {NumberColumn, 0, 0, "%8ld"},
    {Int16Column, QuoteField::Number, 0, "%5ld"},
    {TextColumn, QuoteField::Text8, 8, nullptr},
    {TextColumn, QuoteField::Text5, 5, nullptr},
    {TextColumn, QuoteField::Label, 29, nullptr},
    {TextColumn, QuoteField::Text9, 9, nullptr},
    {Int32Column, QuoteField::NextLine, 0, "%8ld"},
    {Int32Column, QuoteField::PrevLine, 0, "%8ld"},
};

// Each column followed by one separator, the last one included.
template <std::size_t N>
void FormatColumns(const Column (&columns)[N], const std::uint8_t* record, std::int32_t ordinal, std::int32_t number,
                   char* out, std::size_t capacity) {
    LineText t = Start(out, capacity);
    for (const Column& c : columns) {
        const std::uint8_t* field = record + c.offset;
        switch (c.kind) {
        case OrdinalColumn: Number(t, c.format, ordinal); break;
        case NumberColumn: Number(t, c.format, number); break;
        case TextColumn: Text(t, field, c.width); break;
        case Int32Column: Number(t, c.format, LoadI32(field)); break;
        case Int16Column: Number(t, c.format, LoadI16(field)); break;
        case Uint16Column: Number(t, c.format, LoadU16(field)); break;
        case ByteColumn: Number(t, c.format, field[0]); break;
        }
        Append(t, ColumnSeparator);
    }
}

} // namespace

bool FormatClinicalLine(const ClinicalLine& line, std::int32_t ordinal, std::int32_t number, char* out,
                        std::size_t capacity) {
    FormatColumns(ClinicalColumns, line.bytes, ordinal, number, out, capacity);
    return true;
}

bool FormatQuoteLine(char* out, std::size_t capacity, const QuoteLine& line, std::int32_t ordinal,
                     std::int32_t number) {
    FormatColumns(QuoteColumns, line.bytes, ordinal, number, out, capacity);
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
