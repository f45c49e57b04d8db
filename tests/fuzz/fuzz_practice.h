// What the fuzzers share: a practice decoded from the fuzzer's bytes into
// in-memory files, and a check that aborts (a finding) when a property fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Reads the fuzzer's bytes in order; past the end everything is 0.
struct FuzzInput {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    std::uint8_t Byte() { return at < size ? data[at++] : 0; }
    std::int32_t Int32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(Byte()) << (8 * i);
        return static_cast<std::int32_t>(v);
    }
};

// Patients % 9, clinical lines, quote lines and chart entries each % 48, a
// mode byte; the firstrec, clinique, estime and Fschema records; then the
// four counters: the file's own count, or with mode bit i a step off it (an
// int8), with bit 4 too any int32. Links are folded near their file, so that
// chains form, loop and cross, unless mode bit 7 keeps them as given. The
// files go to M:\data, opened as a set with the counters loaded.
void DecodePractice(FuzzInput& in);

// The nine data files' bytes now (`names` gets their names), and the writes
// they took since they were decoded.
std::vector<std::vector<std::uint8_t>> DataFiles(const char* const** names = nullptr);
unsigned DataFileWrites();

// Counters that let a whole integrity test run in milliseconds (a map slot per
// line, every patient tried): larger ones take the same paths, only longer.
bool CountersWithinReach();

void FuzzCheck(bool condition, const char* what);

// The answer of the stand-in "Ligne" dialog; below 0 it is cancelled.
extern std::int32_t FuzzLineAnswer;
