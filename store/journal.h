// The journal of data writes: a layer between the record operations
// (store/recordio.h) and the data files. Every transfer of a data file goes
// through it. It keeps the last record read or written in each file, and
// before a write changes bytes of a record it puts the bytes that change,
// old and new, in a journal file of the run, so that `chkort-cli annuler`
// can put them back. The data files see exactly the transfers the record
// operations ask for: a write of a record other than the one it keeps is
// journaled from a read of its own, which no repair needs today.
//
// Where: "<data directory>\chkort-journal\AAAAMMJJ-HHMMSS.jnl" (a suffix
// "-2", "-3"... when that name is taken), created at the run's first write
// that changes a byte; a run that changes nothing leaves nothing. Other
// programs may read it while the run goes on.
//
// Format (integers little-endian):
//   header   "CHKORTJ2", 14 digits AAAAMMJJHHMMSS, CR LF       (24 bytes)
//   record   kind (1 byte), payload length (u32), payload, check (u32)
//            check: FNV-1a 32 over kind, length and payload
//   'C'      a command begins: 14 digits of its time, the patient it works
//            on (u32, 0 for none), the window's mode it works in (1 byte,
//            window/state.h; 0 for none), its durability (1 byte, the
//            values of JournalDurability), then its name (Windows-1252);
//            written with the command's first journaled write
//   'G'      a group of writes begins (durability "in groups"): file number
//            (1 byte), first offset (u32), end offset (u32): the command's
//            writes until its next 'G' or its 'E' lie within [first, end)
//   'W'      a write: file number (1 byte: 1 firstrec, 2 identite,
//            3 clinique, 4 estime, 5 Fschema), offset of the record (u32),
//            then runs of changed bytes: offset in the record (u16),
//            length n (u16, 1 or more), the n old bytes, the n new bytes
//   'E'      the command has ended (empty payload)
// A file cut short (a power cut, a crash mid-record) is read up to its last
// whole record. Journals of the first format ("CHKORTJ1": 'C' with only a
// time and a name, 'W', nothing else) are read too; they were flushed only
// at the end of each command and say nothing of commands left unfinished.
//
// The order of writes on the disk, by durability:
//   each write  every record is on the disk (flushed) before its data write;
//   in groups   a group's 'G' is on the disk before the group's first data
//               write, and the group's records before the next group's first
//               data write, or with the command's 'E': after a power cut at
//               most one group of a command can be on the disk without its
//               records, and its 'G' names where it lies;
//   at commit   the data writes wait in the layer until JournalCommit(); its
//               one flush puts their records on the disk before any of them.
// A command's 'E' is flushed when it ends. The data files themselves are
// never flushed by the program: the system writes them when it will.
#pragma once

#include "store/recordfile.h"

#include <cstdint>
#include <string>
#include <vector>

// The folder of the journals in a data directory.
extern const char JournalFolder[]; // "chkort-journal"

// How soon a command's records reach the disk, against its data writes.
enum JournalDurability : std::uint8_t {
    JournalEachWrite = 0, // one flush before each data write that changes bytes
    JournalInGroups = 1,  // one flush per group of neighbouring records
    JournalAtCommit = 2,  // one flush per JournalCommit(), the data writes held until then
};

// What a command works on, for the readers of the journal.
struct JournalSubject {
    std::int32_t patient = 0; // 0: none (an edit of a whole file)
    std::uint8_t mode = 0;    // the window's mode (window/state.h); 0: none
};

// ---------------------------------------------------------------- writing

// Journaling from now on, for data files of `dataDirectory`.
void JournalStart(const char* dataDirectory);
// Ends the command in progress, flushes and closes the run's journal;
// journaling stops.
void JournalStop();
bool JournalActive();

// A command starts (ending the one before, if it was not ended). Its records
// are headed by `name` and by what `subject` (when given) says when its
// first record is written, and reach the disk as `durability` says.
void JournalCommand(const char* name, JournalDurability durability = JournalEachWrite,
                    JournalSubject (*subject)() = nullptr);
// Puts the command's records so far on the disk (one flush), then, at
// commit, makes the writes held. False after a box when the journal could
// not take them (no held write is made) or a data write came up short (the
// writes after it are not made). True when there was nothing to do.
bool JournalCommit();
// The command ends: its last records and its 'E' go to the disk.
void JournalCommandEnd();
// A batch: the commands begun until JournalBatchEnd() are all at commit,
// whatever they ask, and keep their writes held across their ends; their
// records, each command's 'C' and 'E' included, go to the disk in one
// flush at JournalBatchEnd(), before any of their data writes, which it then
// makes in order. A console making several repairs of one patient thus
// flushes once for them. JournalBatchEnd() is false as JournalCommit() is.
void JournalBatchBegin();
bool JournalBatchEnd();
// Creates the run's journal now rather than at its first record, for a
// caller that must know before its first data write whether its writes can
// be journaled; false, without a box, when it cannot, and
// JournalRefusalCause() says why in the technician's words.
bool JournalCreate();
const char* JournalRefusalCause();
// The run's journal file ("" before its first record).
const std::string& JournalPath();

// The layer's transfers, for the record operations: one whole record of
// `file` at `offset`. A read returns the bytes it moved.
std::uint32_t JournaledRead(const RecordFile& file, std::uint32_t offset, void* record);
enum JournaledWriteResult {
    WriteWhole,   // made (or held, at commit)
    WriteShort,   // a transfer of the data file came up short: the caller's box
    WriteRefused, // the journal could not take it, and said so: nothing written
};
JournaledWriteResult JournaledWrite(const RecordFile& file, std::uint32_t offset, const void* record);

// ---------------------------------------------------------------- reading

struct JournalRun {
    std::uint16_t at;
    std::vector<std::uint8_t> before, after;
};

struct JournalEntry {
    char kind = 0;                                 // 'C', 'G', 'W' or 'E'
    std::string time, command;                     // 'C'
    JournalSubject subject;                        // 'C' (none in the first format)
    JournalDurability durability = JournalEachWrite; // 'C'
    const RecordFile* file = nullptr;              // 'G', 'W'; null for an unknown file number
    std::uint32_t offset = 0;                      // 'G': first offset; 'W': the record's
    std::uint32_t end = 0;                         // 'G'
    std::vector<JournalRun> runs;                  // 'W'
};

struct Journal {
    int format = 0;    // 1 or 2
    std::string time;  // of the header, AAAAMMJJHHMMSS
    std::vector<JournalEntry> entries;
    std::uint32_t size = 0;        // of the file
    std::uint32_t wholeBytes = 0;  // up to the end of the last whole record
    bool cut = false;              // bytes after it: a record cut short
};

// False when the file cannot be read or is not a journal.
bool ReadJournal(const char* path, Journal& journal);

// A command of a journal, as its records tell it.
struct JournalCommandRecord {
    std::size_t head = 0, end = 0; // its 'C' entry, and past its last entry
    unsigned writes = 0;           // its 'W' entries
    unsigned records = 0;          // the distinct records they changed
    bool ended = true;             // format 2: an 'E' ends it
    // Begun and not ended, in groups: the records of its last group, which
    // may hold changes the journal lacks (file null when there are none:
    // each of its writes had its record on the disk first).
    const RecordFile* lackFile = nullptr;
    std::uint32_t lackFirst = 0, lackEnd = 0; // offsets [first, end)
};
std::vector<JournalCommandRecord> JournalCommands(const Journal& journal);

// ---------------------------------------------------------------- undoing

enum UndoOutcome {
    UndoRestored,  // the bytes written were there, the old ones are back
    UndoUnchanged, // the old bytes (or older ones of this journal) were there
    UndoKept,      // other bytes: changed since, left as they are
    UndoFailed,    // the record could not be read or written
};

// Puts the old bytes of each write back, newest first, when the record still
// holds what was written; with `dryRun`, only says what it would do. It
// reads and writes the data files directly, through the handles of the
// entries' files, which must be open (read-write unless `dryRun`); boxes
// none. `report` is called once per write entry.
void UndoJournal(const Journal& journal, bool dryRun,
                 void (*report)(const JournalEntry& entry, UndoOutcome outcome, void* context), void* context);

// The records a group spans from its first write: 4096, unless a test
// wants groups small enough to see several (0: back to 4096).
void JournalSetGroupRecords(std::uint32_t records);

// Resets the journal's state (tests).
void ResetJournal();
