// The host's data file layouts, written down a second time, on purpose apart
// from store/: the sample-practice generator and the tests build their files
// with this, so that a wrong offset in store/ shows up as a failing test
// instead of agreeing with itself.
//
// Fields are (offset, width) pairs; integers are little-endian of the field's
// width; text is copied as given (Windows-1252 bytes) and never terminated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace hostlayout {

struct Field {
    std::size_t at;
    std::size_t width;
};

using Bytes = std::vector<std::uint8_t>;

namespace lastrec {
constexpr std::size_t size = 16;
constexpr Field counter{12, 4};
constexpr std::size_t records = 80; // a sound lastrec holds 80 counters
constexpr std::size_t patients = 0, quoteLines = 2, clinicalLines = 3, chartEntries = 7;
constexpr Field opaque{0, 12};
} // namespace lastrec

namespace firstrec {
constexpr std::size_t size = 32;
constexpr Field clinicalStart{0, 4}, clinicalEnd{4, 4}, quoteStart{8, 4}, quoteEnd{12, 4}, chartStart{16, 4};
constexpr Field opaque{20, 12};
} // namespace firstrec

namespace identite {
constexpr std::size_t size = 1420;
constexpr Field name{0, 30}, firstName{30, 25}, balance{786, 8};
// The program reads the balance only; the names lie in its opaque part.
constexpr Field opaque[] = {{0, 786}, {794, 626}};
} // namespace identite

namespace patient {
constexpr std::size_t size = 40;
}

namespace clinique {
constexpr std::size_t size = 224;
constexpr Field text8{0, 8}, text12{8, 12}, colour{50, 1}, text50{51, 50}, actCode{101, 13}, text9{114, 9},
    billed{126, 1}, design{127, 2}, text2{129, 2}, user{135, 1}, number1{136, 4}, prev{141, 4}, next{145, 4},
    colour2{153, 1}, number2{156, 4}, number3{160, 4}, text26{164, 26}, number4{190, 2};
// Bytes the program never interprets: they must pass through every rewrite.
constexpr Field opaque[] = {{20, 30}, {123, 3}, {131, 4}, {140, 1}, {149, 4}, {154, 2}, {192, 32}};
} // namespace clinique

namespace estime {
constexpr std::size_t size = 86;
constexpr Field number{0, 2}, text5{2, 5}, label{7, 29}, actCode{37, 4}, text9{54, 9}, prev{67, 4}, next{71, 4},
    text8{78, 8};
constexpr Field opaque[] = {{36, 1}, {41, 13}, {63, 4}, {75, 3}};
} // namespace estime

namespace fschema {
constexpr std::size_t size = 64;
constexpr std::size_t slots = 20;
constexpr std::size_t valueA = 0, valueB = 20, valueC = 40; // slot i at +i
constexpr Field next{60, 4};
} // namespace fschema

inline void PutInt(std::uint8_t* record, Field f, std::int64_t value) {
    auto v = static_cast<std::uint64_t>(value);
    for (std::size_t i = 0; i < f.width; ++i) record[f.at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::int64_t GetSigned(const std::uint8_t* record, Field f) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < f.width; ++i) v |= static_cast<std::uint64_t>(record[f.at + i]) << (8 * i);
    const unsigned bits = static_cast<unsigned>(8 * f.width);
    if (bits < 64 && (v >> (bits - 1)) & 1) v |= ~0ULL << bits;
    return static_cast<std::int64_t>(v);
}

// Copies at most the field's width; the rest of the field is left as it is.
inline void PutText(std::uint8_t* record, Field f, std::string_view text) {
    for (std::size_t i = 0; i < f.width && i < text.size(); ++i) record[f.at + i] = static_cast<std::uint8_t>(text[i]);
}

// Fills the whole field: the text, then `pad` bytes.
inline void PutPadded(std::uint8_t* record, Field f, std::string_view text, std::uint8_t pad) {
    for (std::size_t i = 0; i < f.width; ++i)
        record[f.at + i] = i < text.size() ? static_cast<std::uint8_t>(text[i]) : pad;
}

inline Bytes Records(std::size_t count, std::size_t size, std::uint8_t fill = 0) {
    return Bytes(count * size, fill);
}

inline std::uint8_t* Record(Bytes& file, std::size_t size, std::size_t number1) {
    return file.data() + (number1 - 1) * size;
}

inline const std::uint8_t* Record(const Bytes& file, std::size_t size, std::size_t number1) {
    return file.data() + (number1 - 1) * size;
}

// Record `number1` of a file when the file holds all of it, else null.
inline const std::uint8_t* RecordIfWhole(const Bytes& file, std::size_t size, std::int64_t number1) {
    if (number1 < 1 || static_cast<std::uint64_t>(number1) > file.size() / size) return nullptr;
    return Record(file, size, static_cast<std::size_t>(number1));
}

// Counter `index` of a lastrec file, or -1 when the file is too short for it.
inline std::int64_t Counter(const Bytes& lastrecFile, std::size_t index) {
    if ((index + 1) * lastrec::size > lastrecFile.size()) return -1;
    return GetSigned(lastrecFile.data() + index * lastrec::size, lastrec::counter);
}

// A lastrec file of `records` counters, the four in use set, the others and
// the 12 leading bytes of each record filled with recognisable junk.
inline Bytes Lastrec(std::int32_t patients, std::int32_t clinicalLines, std::int32_t quoteLines,
                     std::int32_t chartEntries, std::size_t records = lastrec::records) {
    Bytes b(records * lastrec::size);
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(0xA0 + i % 16);
    auto put = [&](std::size_t index, std::int32_t value) {
        if ((index + 1) * lastrec::size <= b.size()) PutInt(b.data() + index * lastrec::size, lastrec::counter, value);
    };
    put(lastrec::patients, patients);
    put(lastrec::clinicalLines, clinicalLines);
    put(lastrec::quoteLines, quoteLines);
    put(lastrec::chartEntries, chartEntries);
    return b;
}

inline bool WriteFileBytes(const std::string& path, const Bytes& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

inline Bytes ReadFileBytes(const std::string& path) {
    Bytes b;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return b;
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) b.insert(b.end(), chunk, chunk + n);
    std::fclose(f);
    return b;
}

} // namespace hostlayout
