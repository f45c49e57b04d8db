// Every kind of finding the checks make, in one table: its stable code (the
// JSON name), its severity, the report's line or the sentence that says it,
// the names of the values it carries, what it means for the patient's chart
// and the repair that mends it. The passes only name the kind.
#pragma once

enum FindingKind {
    // The integrity test's (checks/integrity.h), each a line of the report
    // up to the unreadable ones, whose read has shown its box.
    FindingBadStart,       // the start pointer is out of the file
    FindingFirstHasPrev,   // the first line's previous link is not 0
    FindingLastHasNext,    // the last line's next link is not 0
    FindingCrossing,       // the walk runs onto another patient's line
    FindingRunaway,        // the walk goes on past 5000 lines
    FindingBadNext,        // the forward walk ends on a link out of the file
    FindingBadEnd,         // the end pointer is out of the file
    FindingBadPrev,        // the backward walk ends on a link out of the file
    FindingCountsDiffer,   // the two walks count different numbers of lines
    FindingUnreadableLine, // a line the file does not hold whole: the patient's test stops
    FindingUnreadableEnds, // the patient's firstrec record cannot be read
    FindingEndsBeyondFile, // it lies wholly beyond the end of the file: the test ends there
    // The claims over links held in memory (checks/held_chains.h).
    FindingContestedLine,  // a line the walks of several patients reach
    FindingUnreachableLine, // a line in use that no walk reaches
    // The size test's (checks/checks.h), as the console reports them.
    FindingFileMissing,    // a data file that is not there
    FindingFileNotOpened,  // one that is there but could not be opened
    FindingFileTooShort,   // shorter than its counter requires
    FindingFileTooLarge,   // more than 2,000,000 bytes beyond it
    FindingKinds
};

// The repair that mends a kind of finding, in general: for one patient's
// chain, diagnose names the view, the number to type or the values.
enum FindingMend {
    MendCut,           // Options > Corriger in one of the chain's views
    MendChosen,        // a cut or the firstrec correction, as the two walks call for (or none)
    MendEitherPatient, // the repair of whichever of the patients' chains is damaged
    MendRestore,       // the file from a backup: no command of chkort gives back what is lost
    MendReopen,        // nothing in the file: let it be opened, then again
    MendNothing,
    FindingMends
};

struct FindingMendInfo {
    const char* key;   // the JSON name, e.g. "cut"
    const char* words; // the technician's words (Windows-1252)
};
const FindingMendInfo& MendInfo(FindingMend mend);

// What the second number of a report line is.
enum ReportSecond { ReportNothing, ReportRecord, ReportValue };

struct FindingKindInfo {
    const char* code;       // stable, e.g. "next-out-of-range"
    const char* severity;   // "error" or "warning"
    const char* report;     // the report's line: the patient, then ReportSecond; null when not in the report
    ReportSecond second;
    const char* said;       // the sentence of a kind the report does not show (Windows-1252), or null
    bool recordInText;      // the line or the sentence names the record already
    const char* value;      // the JSON name of the finding's first value, or null
    const char* value2;     // of its second
    const char* explanation; // one sentence for a technician: what it means for the chart (Windows-1252)
    FindingMend mend;
};

const FindingKindInfo& KindInfo(FindingKind kind);
