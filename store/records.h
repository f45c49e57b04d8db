// Record layouts of the host's data files.
//
// A record is a block of bytes exactly as it lies in its file. Fields are read
// and written at their byte offsets as little-endian values, so bytes that
// this program does not interpret pass through a read-modify-write untouched,
// whatever the machine's alignment and byte order.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------- little-endian access

inline std::int32_t LoadI32(const std::uint8_t* p) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                     (static_cast<std::uint32_t>(p[2]) << 16) |
                                     (static_cast<std::uint32_t>(p[3]) << 24));
}
inline void StoreI32(std::uint8_t* p, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}
inline std::uint16_t LoadU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::int16_t LoadI16(const std::uint8_t* p) { return static_cast<std::int16_t>(LoadU16(p)); }

// ---------------------------------------------------------------- lastrec: global counters

struct LastrecRecord {
    std::uint8_t bytes[16];
};
namespace LastrecField {
constexpr std::size_t CounterValue = 12; // int32
}
// Record indexes (0-based) of the counters in use.
constexpr std::uint32_t LastrecPatients = 0;
constexpr std::uint32_t LastrecQuoteLines = 2;
constexpr std::uint32_t LastrecClinicalLines = 3;
constexpr std::uint32_t LastrecChartEntries = 7;

// ---------------------------------------------------------------- firstrec: a patient's chain ends

struct FirstrecRecord {
    std::uint8_t bytes[32];
};
namespace FirstrecField {
constexpr std::size_t ClinicalStart = 0; // int32 each
constexpr std::size_t ClinicalEnd = 4;
constexpr std::size_t QuoteStart = 8;
constexpr std::size_t QuoteEnd = 12;
constexpr std::size_t ChartStart = 16;
} // namespace FirstrecField

// ---------------------------------------------------------------- identite: a patient's identity

struct IdentiteRecord {
    std::uint8_t bytes[1420];
};
namespace IdentiteField {
constexpr std::size_t Balance = 786; // IEEE-754 double, little-endian, unaligned
constexpr std::size_t BalanceWidth = 8;
} // namespace IdentiteField

// ---------------------------------------------------------------- clinique: clinical act lines

struct ClinicalLine {
    std::uint8_t bytes[224];
};
namespace ClinicalField {
constexpr std::size_t Text8 = 0;          // char[8]
constexpr std::size_t Text12 = 8;         // char[12]
constexpr std::size_t ColourCode = 50;    // uint8
constexpr std::size_t Text50 = 51;        // char[50]
constexpr std::size_t ActCode = 101;      // char[13]
constexpr std::size_t Text9 = 114;        // char[9]
constexpr std::size_t BilledMark = 126;   // char
constexpr std::size_t DesignNumber = 127; // char[2]
constexpr std::size_t Text2 = 129;        // char[2]
constexpr std::size_t UserNumber = 135;   // char
constexpr std::size_t Number1 = 136;      // int32
constexpr std::size_t PrevLine = 141;     // int32
constexpr std::size_t NextLine = 145;     // int32
constexpr std::size_t ColourCode2 = 153;  // uint8
constexpr std::size_t Number2 = 156;      // int32
constexpr std::size_t Number3 = 160;      // int32
constexpr std::size_t Text26 = 164;       // char[26]
constexpr std::size_t Number4 = 190;      // uint16
} // namespace ClinicalField

// ---------------------------------------------------------------- estime: quote lines

struct QuoteLine {
    std::uint8_t bytes[86];
};
namespace QuoteField {
constexpr std::size_t Number = 0;   // int16
constexpr std::size_t Text5 = 2;    // char[5]
constexpr std::size_t Label = 7;    // char[29]
constexpr std::size_t ActCode = 37; // char[4]
constexpr std::size_t Text9 = 54;   // char[9]
constexpr std::size_t PrevLine = 67; // int32
constexpr std::size_t NextLine = 71; // int32
constexpr std::size_t Text8 = 78;   // char[8]
} // namespace QuoteField

// ---------------------------------------------------------------- Fschema: dental chart entries

struct ChartEntry {
    std::uint8_t bytes[64];
};
namespace ChartField {
constexpr std::size_t ValueA = 0;     // int8[20]
constexpr std::size_t ValueB = 20;    // int8[20]
constexpr std::size_t ValueC = 40;    // int8[20]; blank = free slot
constexpr std::size_t NextEntry = 60; // int32
} // namespace ChartField
constexpr int ChartSlots = 20;
constexpr std::uint8_t ChartFreeSlot = 0x20;

static_assert(sizeof(LastrecRecord) == 16 && sizeof(FirstrecRecord) == 32 && sizeof(IdentiteRecord) == 1420 &&
              sizeof(ClinicalLine) == 224 && sizeof(QuoteLine) == 86 && sizeof(ChartEntry) == 64);

// ---------------------------------------------------------------- named fields

inline std::int32_t CounterValue(const LastrecRecord& r) { return LoadI32(r.bytes + LastrecField::CounterValue); }

inline std::int32_t GetField(const FirstrecRecord& r, std::size_t field) { return LoadI32(r.bytes + field); }
inline void SetField(FirstrecRecord& r, std::size_t field, std::int32_t v) { StoreI32(r.bytes + field, v); }

inline std::int32_t GetPrevLine(const ClinicalLine& r) { return LoadI32(r.bytes + ClinicalField::PrevLine); }
inline std::int32_t GetNextLine(const ClinicalLine& r) { return LoadI32(r.bytes + ClinicalField::NextLine); }
inline void SetPrevLine(ClinicalLine& r, std::int32_t v) { StoreI32(r.bytes + ClinicalField::PrevLine, v); }
inline void SetNextLine(ClinicalLine& r, std::int32_t v) { StoreI32(r.bytes + ClinicalField::NextLine, v); }

inline std::int32_t GetPrevLine(const QuoteLine& r) { return LoadI32(r.bytes + QuoteField::PrevLine); }
inline std::int32_t GetNextLine(const QuoteLine& r) { return LoadI32(r.bytes + QuoteField::NextLine); }
inline void SetPrevLine(QuoteLine& r, std::int32_t v) { StoreI32(r.bytes + QuoteField::PrevLine, v); }
inline void SetNextLine(QuoteLine& r, std::int32_t v) { StoreI32(r.bytes + QuoteField::NextLine, v); }

inline std::int32_t GetNextEntry(const ChartEntry& r) { return LoadI32(r.bytes + ChartField::NextEntry); }
inline void SetNextEntry(ChartEntry& r, std::int32_t v) { StoreI32(r.bytes + ChartField::NextEntry, v); }
inline bool ChartSlotInUse(const ChartEntry& r, int slot) {
    return r.bytes[ChartField::ValueC + slot] != ChartFreeSlot;
}
inline int ChartSlotValue(const ChartEntry& r, std::size_t field, int slot) {
    return static_cast<std::int8_t>(r.bytes[field + slot]);
}

// The balance as 8 raw bytes: resetting it writes the double 0.0, whose
// representation is eight zero bytes, so no floating-point handling is needed.
inline void ClearBalance(IdentiteRecord& r) {
    for (std::size_t i = 0; i < IdentiteField::BalanceWidth; ++i) r.bytes[IdentiteField::Balance + i] = 0;
}
