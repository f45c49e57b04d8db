// The journal of data writes: before a record of a data file is written,
// the bytes that the write changes, old and new, go to a journal file of the
// run, so that `chkort-cli annuler` can put them back.
//
// Where: "<data directory>\chkort-journal\AAAAMMJJ-HHMMSS.jnl" (a suffix
// "-2", "-3"... when that name is taken), created at the run's first write
// that changes a byte; a run that changes nothing leaves nothing.
//
// Format (integers little-endian):
//   header   "CHKORTJ1", 14 digits AAAAMMJJHHMMSS, CR LF       (24 bytes)
//   record   kind (1 byte), payload length (u32), payload, check (u32)
//            check: FNV-1a 32 over kind, length and payload
//   'C'      a command: 14 digits of its time, then its name (Windows-1252);
//            written before the command's first journaled write
//   'W'      a write: file number (1 byte: 1 firstrec, 2 identite,
//            3 clinique, 4 estime, 5 Fschema), offset of the record (u32),
//            then runs of changed bytes: offset in the record (u16),
//            length n (u16), the n old bytes, the n new bytes
// A file cut short (a crash mid-record) is read up to its last whole record.
//
// Each record is handed to the system in one transfer before the data write
// it describes, so a crash of the program cannot lose it; the journal is
// flushed to the disk at the end of each command and when the run ends.
#pragma once

#include "store/recordio.h"

#include <cstdint>
#include <string>
#include <vector>

// The folder of the journals in a data directory.
extern const char JournalFolder[]; // "chkort-journal"

// Journaling from now on, for data files of `dataDirectory`: every write of
// a record must then come after a read or write of that same record (the
// store keeps its bytes), or it is refused with a box.
void JournalStart(const char* dataDirectory);
// Flushes and closes the run's journal; journaling stops.
void JournalStop();
bool JournalActive();
// A command starts: `name` heads its records, if it writes any.
void JournalCommand(const char* name);
// A command ends: its records are flushed to the disk.
void JournalCommandEnd();
// The run's journal file ("" before its first write).
const std::string& JournalPath();
// Creates the run's journal now rather than at its first write, for a
// caller about to make many writes that must learn before the first one
// whether they can be journaled; false, without a box, when it cannot.
bool JournalCreate();

// For the store, before the data write: records the change from `before` to
// `after` of the record of `file` at `offset`. False (after its box) when the
// change could not be journaled: the data write must not happen.
bool JournalWrite(const RecordFile& file, std::uint32_t offset, const std::uint8_t* before,
                  const std::uint8_t* after);

// ---------------------------------------------------------------- reading

struct JournalRun {
    std::uint16_t at;
    std::vector<std::uint8_t> before, after;
};

struct JournalEntry {
    char kind; // 'C' or 'W'
    std::string time, command;   // 'C'
    const RecordFile* file;      // 'W'; null for an unknown file number
    std::uint32_t offset;        // 'W'
    std::vector<JournalRun> runs; // 'W'
};

struct Journal {
    std::string time; // of the header, AAAAMMJJHHMMSS
    std::vector<JournalEntry> entries;
    std::uint32_t size = 0;        // of the file
    std::uint32_t wholeBytes = 0;  // up to the end of the last whole record
    bool cut = false;              // bytes after it: a record cut short
};

// False when the file cannot be read or is not a journal.
bool ReadJournal(const char* path, Journal& journal);

// ---------------------------------------------------------------- undoing

enum UndoOutcome {
    UndoRestored,  // the bytes written were there, the old ones are back
    UndoUnchanged, // the old bytes were already there
    UndoKept,      // other bytes: changed since, left as they are
    UndoFailed,    // the record could not be read or written (after its box)
};

// Puts the old bytes of each write back, newest first, when the record still
// holds what was written; with `dryRun`, only says what it would do. The data
// files of the entries must be open (read-write unless `dryRun`). `report` is
// called once per write entry.
void UndoJournal(const Journal& journal, bool dryRun,
                 void (*report)(const JournalEntry& entry, UndoOutcome outcome, void* context), void* context);

// Resets the journal's state (tests).
void ResetJournal();
