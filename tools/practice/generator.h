// The sample-practice generator: a complete host data directory, built
// deterministically from a handful of options, with sound chains unless some
// damage is asked for. Used by mkpractice, by the tests in-process and by
// `make demo`.
//
// The layouts come from layout.h only, never from store/, so that the files
// written here check store/ instead of agreeing with it.
#pragma once

#include "tools/practice/layout.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace practice {

// The files of a data directory, in the order the program opens them, then
// the two that only the size test opens.
enum class DataFile { Param, Fschema, Firstrec, Lastrec, Estime, Clinique, Identite, Patient, PatientTri };
constexpr int dataFileCount = 9;

// The host's own file name ("param", "Fschema", ..., "patient.tri").
const char* DataFileName(DataFile file);

// What a technician finds in a damaged practice. The chain kinds work on one
// patient's chain in clinique, estime or Fschema (where the chart has the
// pointer or link in question); truncate and missing work on a whole file.
enum class DamageKind {
    StartNegative, // start pointer below 0 (default -1)
    StartHigh,     // start pointer above the file's counter (default counter + 1)
    EndNegative,   // end pointer below 0 (default -1)
    EndHigh,       // end pointer above the counter (default counter + 1)
    FirstPrev,     // first line's previous link not 0 (default: a stray line)
    LastNext,      // last line's next link not 0 (default: a stray line)
    NextHigh,      // a middle line's next link above the counter (default counter + 1)
    PrevHigh,      // a middle line's previous link above the counter (default counter + 1)
    Uneven,        // the last line's previous link skips one line: the walks differ in length
    Loop,          // the last line's next link goes back to the first line
    Shared,        // the patient's pointers name another patient's chain (default the neighbour)
    Long,          // the chain holds exactly `value` lines (default 5001)
    Truncate,      // the file ends in the middle of a record its counter promises
    Missing,       // the file is not there
};
constexpr int damageKindCount = 14;

struct Damage {
    DamageKind kind = DamageKind::StartNegative;
    DataFile file = DataFile::Clinique;
    std::int32_t patient = 0; // 0: none given (truncate, missing)
    bool hasValue = false;    // `value` overrides the kind's default
    std::int64_t value = 0;
};

struct Options {
    std::int32_t patients = 40;
    std::int32_t clinicalLines = 400; // lines in use before any damage adds some
    std::int32_t quoteLines = 200;
    std::int32_t chartEntries = 100;
    std::int32_t variant = 0; // another number, another practice
    std::vector<Damage> damages;
    // Lays the practice out for the damages (chain lengths, room, placement)
    // but leaves it sound: the picture before the damage.
    bool leaveSound = false;
};

struct Practice {
    std::array<hostlayout::Bytes, dataFileCount> files;
    std::array<bool, dataFileCount> present{};
    // The counters written in lastrec.
    std::int32_t patients = 0, clinicalLines = 0, quoteLines = 0, chartEntries = 0;
    // One line per fact worth knowing: the counters, then each damage injected.
    std::vector<std::string> manifest;
};

inline hostlayout::Bytes& FileOf(Practice& p, DataFile f) { return p.files[static_cast<int>(f)]; }
inline const hostlayout::Bytes& FileOf(const Practice& p, DataFile f) { return p.files[static_cast<int>(f)]; }

// "KIND:FILE[:PATIENT[:VALUE]]", e.g. "loop:clinique:7", "shared:estime:9:4",
// "missing:patient.tri". Kind and file names are case-insensitive. Checks
// what can be checked without the practice; BuildPractice checks the rest.
bool ParseDamage(std::string_view text, Damage& damage, std::string& error);

// The spelling ParseDamage accepts, e.g. "next-high".
const char* DamageKindName(DamageKind kind);

// One line per kind: its spelling, the files it applies to and what it does.
std::vector<std::string> DamageKindHelp();

// Builds every file in memory. False, with a message, when the options or a
// damage cannot be honoured (patient out of range, two damages on the same
// field, a kind that does not apply to the file...).
bool BuildPractice(const Options& options, Practice& practice, std::string& error);

// Writes the files present into `dir` (created if needed) and removes from it
// any file that the practice lacks.
bool WritePractice(const std::string& dir, const Practice& practice, std::string& error);

} // namespace practice
