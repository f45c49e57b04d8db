// The journals in the technician's words: a journal as `chkort-cli journal`
// lists it, and its undoing as `annuler` tells it. A record is "ligne 33 du
// devis", "pointeurs firstrec du patient 4"; the file and byte offset are a
// detail. Lines of Windows-1252 text, printed by the caller.
#pragma once

#include "store/journal.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

// The data files a journal writes, in the order they are opened and named.
struct JournalFileWords {
    const RecordFile* file;
    const char* name;      // in the data directory
    const char* one;       // before a record's number
    const char* many;      // before several
    const char* of;        // after the numbers: the file; "" for a patient's
    bool feminine, plural; // of `one`
};
extern const JournalFileWords JournalFiles[5];

// The size in bytes of the practice's file `name`, 0 when unknown: it bounds
// a range of records named. The caller opens the file; `context` is its own.
using JournalFileSize = std::uint32_t (*)(const char* name, const void* context);

// What is said of a journal, or of its undoing: a first line, the lines
// after it, and whether any of them is a finding.
struct JournalLines {
    std::string heading;
    std::vector<std::string> lines;
    bool findings = false;
};

// One journal as `journal` lists it: its date and the records it changed
// (the heading, to follow the journal's file name), then its commands, each
// with what it worked on, each one left unfinished and an end cut short.
JournalLines ListJournal(const Journal& journal, JournalFileSize sizeOf, const void* context);

// The undoing of a journal, counted as UndoJournal reports it.
struct UndoTally {
    bool dryRun = false;
    unsigned restored = 0, unchanged = 0, kept = 0, failed = 0;
    std::set<std::int32_t> patients;       // of the records kept
    std::set<const RecordFile*> lineFiles; // kept lines of no known patient
    const JournalEntry* first = nullptr;   // of the journal's entries
    std::vector<std::int32_t> patientOf;   // by entry: its command's patient
};
UndoTally StartUndoTally(const Journal& journal, const std::vector<JournalCommandRecord>& commands, bool dryRun);
// Counts one write undone; its line, "ligne 2 du devis : rétablie (estime,
// octet 86)".
std::string UndoReportLine(UndoTally& tally, const JournalEntry& entry, UndoOutcome outcome);
// After the undoing: the counts (the heading), then a warning per command
// left unfinished.
JournalLines UndoSummary(const Journal& journal, const std::vector<JournalCommandRecord>& commands,
                         const UndoTally& tally, JournalFileSize sizeOf, const void* context);
// After records kept, the next steps (none when none was). Each line is a
// format whose one "%s", if any, is the data directory as the user gave it.
std::vector<std::string> UndoAdvice(const UndoTally& tally);

// A journal given by its full path lies in its practice's chkort-journal
// folder: the practice is that folder's parent ("" when it lies elsewhere).
std::string PracticeOfJournal(const std::string& journal);
