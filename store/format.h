// The one-line text renderings of clinical and quote lines, shared by the
// chain viewers, the raw file browser and the printer.
#pragma once

#include "store/records.h"

#include <cstddef>
#include <cstdint>

// Ends every column, the last one included.
constexpr char ColumnSeparator = static_cast<char>(0xB3);

// Capacity of the buffers the callers pass; the longest clinical line is 230
// characters, the longest quote line 110.
constexpr std::size_t ScreenLineCapacity = 512;

// Fill `out` (NUL-terminated, never more than `capacity` bytes) with the
// screen line of the record. Columns 1 and 2 show `ordinal` (its place in
// the walk on screen) and `number` (the record's own). Any record bytes are
// accepted; these never fail.
bool FormatClinicalLine(const ClinicalLine& line, std::int32_t ordinal, std::int32_t number, char* out,
                        std::size_t capacity);
bool FormatQuoteLine(char* out, std::size_t capacity, const QuoteLine& line, std::int32_t ordinal,
                     std::int32_t number);

// Decimal text to a number, the way typed numbers are read: leading blanks
// and one sign allowed, conversion stops at the first non-digit, no digit at
// all gives 0. Saturates rather than overflows.
std::int32_t TextToNumber(const char* text);
