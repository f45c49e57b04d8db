// The data files of fixed-size records, as the record operations
// (store/recordio.h) and the journal beneath them (store/journal.h) both
// name them. Neither owns the other's: this table is all they share.
#pragma once

#include "store/state.h"

#include <cstdint>

// A file of fixed-size records and the tag its errors carry.
struct RecordFile {
    const char* caption;
    FileHandle* handle;
    std::uint32_t recordSize;
};

extern const RecordFile LastrecFile;  // "LASTREC"
extern const RecordFile FirstrecFile; // "FIRSTREC"
extern const RecordFile IdentiteFile; // "IDENTITE"
extern const RecordFile EstimeFile;   // "ESTIM"
extern const RecordFile CliniqueFile; // "CLINIQUE"
extern const RecordFile FschemaFile;  // "FSCHEMA"

// The largest record of them all (identite's).
constexpr std::uint32_t LargestRecord = 1420;

// The box of a transfer of `file` that came up short: "Erreur", the file's
// tag as caption, OK only, owned by MainWindow. Returns false.
bool ReportShortTransfer(const RecordFile& file);
