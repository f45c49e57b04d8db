// What the journal's writer (store/journal.cpp) and its reader
// (store/journal_read.cpp) share of the format described in store/journal.h.
#pragma once

#include "store/recordfile.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace journalformat {

constexpr char MagicJ1[] = "CHKORTJ1";
constexpr char MagicJ2[] = "CHKORTJ2";
constexpr std::uint32_t HeaderSize = 24;
constexpr std::uint32_t Framing = 1 + 4 + 4; // kind, length, check
constexpr std::uint32_t CommandFixed = 14 + 4 + 1 + 1; // time, patient, mode, durability

// The journal's file numbers, fixed by the format.
inline const RecordFile* const Files[] = {nullptr, &FirstrecFile, &IdentiteFile, &CliniqueFile, &EstimeFile,
                                          &FschemaFile};
constexpr std::uint8_t FileCount = sizeof Files / sizeof *Files;

inline std::uint8_t NumberOf(const RecordFile& file) {
    for (std::uint8_t i = 1; i < FileCount; ++i)
        if (Files[i] == &file) return i;
    return 0;
}

inline std::uint32_t Fnv1a(const std::uint8_t* bytes, std::size_t n, std::uint32_t h = 2166136261u) {
    for (std::size_t i = 0; i < n; ++i) h = (h ^ bytes[i]) * 16777619u;
    return h;
}

inline void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline std::uint32_t Get32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

// A record is built at the end of `out`, its length left blank until its
// payload is complete.
inline std::size_t Begin(std::vector<std::uint8_t>& out, char kind) {
    const std::size_t at = out.size();
    out.insert(out.end(), {static_cast<std::uint8_t>(kind), 0, 0, 0, 0});
    return at;
}
inline void Seal(std::vector<std::uint8_t>& out, std::size_t at) {
    const auto length = static_cast<std::uint32_t>(out.size() - at - 5);
    for (int i = 0; i < 4; ++i) out[at + 1 + i] = static_cast<std::uint8_t>(length >> (8 * i));
    Put32(out, Fnv1a(out.data() + at, out.size() - at));
}

} // namespace journalformat
