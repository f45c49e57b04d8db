// What the fuzzers share: a practice decoded from the fuzzer's bytes into the
// in-memory files, the shared state set up as window creation would, and the
// checks that hold for every command on every input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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

// Lays out param, Fschema, firstrec, lastrec, estime, clinique, identite,
// patient and patient.tri in M:\data from the input (sizes, counters that
// may disagree with them, records whose links mostly stay near the file),
// opens the set and loads the counters. The recording stand-in is reset.
void DecodePractice(FuzzInput& in);

// The data files as they are now, by name.
struct DataSnapshot {
    std::vector<std::vector<std::uint8_t>> files;
};
DataSnapshot SnapshotDataFiles();
const char* const* DataFileNames(); // null-terminated, in snapshot order

// Whether the counters let a whole integrity test run in milliseconds. Its
// map is one slot per line and every patient up to the counter is tried (one
// box for each firstrec record missing): larger counters take the same paths,
// only longer, and would slow the fuzzer a hundredfold.
bool CountersWithinReach();

// Aborts (a fuzzer finding) when `condition` is false.
void FuzzCheck(bool condition, const char* what);

// Answers of the stand-in dialogs and the printer used by the fuzzers.
extern std::int32_t FuzzLineAnswer;
