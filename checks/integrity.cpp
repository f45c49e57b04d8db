// The file integrity test: every patient's chain of clinical or quote lines
// walked both ways, each finding a line of the report.
//
// Which patient a line belongs to is known only from the walks, so the test
// keeps a map of owners, one 32-bit slot per line, in a file rather than in
// memory: its memory use does not grow with the practice.
#include "checks/checks.h"
#include "store/recordio.h"
#include "store/state.h"

#include <cstdio>
#include <cstring>

const char* ReportDirectory = "c:\\tmp";

namespace {

constexpr std::int32_t WalkLimit = 5000;
const FontSpec ResultFontSpec{-18, 0, 0, 0, 700, false, false, false, 0, 3, 2, 1, 31, "Arial"};

struct TestRun {
    const LineChain& chain;
    std::int32_t count; // N, the file's counter
    FileHandle ownerMap;
    FileHandle report;
    std::uint32_t reportEnd;
};

void ReportLine(TestRun& run, const char* format, long a, long b = 0) {
    char line[128];
    int n = std::snprintf(line, sizeof line - 2, format, a, b);
    line[n++] = '\r';
    line[n++] = '\n';
    run.reportEnd += FileWrite(run.report, run.reportEnd, line, static_cast<std::uint32_t>(n));
}

// Opens one of the test's files emptied and unshared: created, closed, opened
// again, as the test has always done it.
FileHandle OpenEmptied(const char* name) {
    char path[300];
    std::snprintf(path, sizeof path, "%s\\%s", ReportDirectory, name);
    const FileHandle created = FileOpen(path, CreateExclusive);
    if (created == 0) return 0;
    FileClose(created);
    return FileOpen(path, OpenExclusiveExisting);
}

void DrawProgress(SurfaceRef surface, int y, std::int32_t k, std::int32_t n) {
    char text[40];
    const int length = std::snprintf(text, sizeof text, "%8ld/%9ld", static_cast<long>(k), static_cast<long>(n));
    DrawTextAt(surface, 10, y, text, length);
}

// The owner check of line r in patient p's walk. `lastOwner` is the owner
// named by this walk's last crossing line, so that a run of lines of one
// other patient gives one line, not one per record.
void CheckOwner(TestRun& run, std::int32_t p, std::int32_t r, std::int32_t& lastOwner) {
    const std::uint32_t offset = static_cast<std::uint32_t>(r) * 4u - 4u;
    std::uint8_t slot[4] = {};
    FileRead(run.ownerMap, offset, slot, 4);
    const std::int32_t owner = LoadI32(slot);
    if (owner == 0) {
        StoreI32(slot, p);
        FileWrite(run.ownerMap, offset, slot, 4);
    } else if (owner != p && owner != lastOwner) {
        ReportLine(run, "Croisement N° patient = %8ld --> %9ld", p, owner);
        lastOwner = owner;
    }
}

enum WalkEnd { WalkEnded, WalkRanAway, WalkUnreadable };

// One walk from `from`, forward or backward. Counts the lines visited in
// `visits` and leaves in `last` the link it stopped on.
WalkEnd Walk(TestRun& run, std::int32_t p, std::int32_t from, bool forward, std::int32_t& visits,
             std::int32_t& last) {
    const LineChain& chain = run.chain;
    std::int32_t lastOwner = 0;
    std::int32_t r = from;
    visits = 0;
    while (r >= 1 && r <= run.count) {
        ++visits;
        ChainLine line;
        // A line that cannot be read ends the patient's test: going on
        // would follow links of a record we do not have.
        if (!ReadChainLine(chain, r, line)) return WalkUnreadable;
        const std::int32_t outward = forward ? ChainPrev(chain, line) : ChainNext(chain, line);
        if (r == from && outward != 0) ReportLine(run, "N° patient = %8ld -->Enregistrement = %9ld", p, r);
        CheckOwner(run, p, r, lastOwner);
        r = forward ? ChainNext(chain, line) : ChainPrev(chain, line);
        if (visits > WalkLimit) {
            ReportLine(run, "Fiche alterée -> N° patient = %8ld", p);
            return WalkRanAway;
        }
    }
    last = r;
    return WalkEnded;
}

void TestPatient(TestRun& run, std::int32_t p) {
    FirstrecRecord ends;
    if (!ReadFirstrec(ends)) return;
    const std::int32_t n = run.count;
    std::int32_t forwardCount = 0, backwardCount = 0, stop = 0;

    const std::int32_t start = GetField(ends, run.chain.startField);
    if (start < 0 || start > n) {
        ReportLine(run, "Erreur debutacte -> N° patient = %8ld", p);
    } else {
        if (Walk(run, p, start, true, forwardCount, stop) != WalkEnded) return;
        if (stop < 0 || stop > n) ReportLine(run, "Erreur suivant -> N° patient = %8ld", p);
    }

    const std::int32_t end = GetField(ends, run.chain.endField);
    if (end < 0 || end > n) {
        ReportLine(run, "Erreur finacte -> N° patient = %8ld", p);
        return;
    }
    if (Walk(run, p, end, false, backwardCount, stop) != WalkEnded) return;
    if (stop < 0 || stop > n) {
        ReportLine(run, "Erreur Precedent -> N° patient = %8ld", p);
        return;
    }
    if (forwardCount != backwardCount) ReportLine(run, "Erreur lignes différentes début-fin -> N° patient = %8ld", p);
}

void DrawVerdict(SurfaceRef surface, std::uint32_t reportSize) {
    const FontRef font = CreateFontFrom(ResultFontSpec);
    const FontRef previous = SelectFontInto(surface, font);
    const char* text;
    if (reportSize == 0) {
        SetTextColour(surface, MakeColour(0, 128, 0));
        text = "Vous n'avez pas d'erreurs dans la base de données.";
    } else {
        SetTextColour(surface, MakeColour(128, 0, 0));
        text = "Présence des erreurs dans la base de données. Consultez c:\\tmp\\erreurfiche.txt.";
    }
    DrawTextAt(surface, 10, 40, text, static_cast<int>(std::strlen(text)));
    SelectFontInto(surface, previous);
    DeleteFontRef(font);
}

} // namespace

void TestChainFile(WindowRef window) {
    TestRun run{CurrentMode == ModeTestEstime ? QuoteChain : ClinicalChain, 0, 0, 0, 0};
    run.count = *run.chain.counter;

    run.ownerMap = OpenEmptied("testfich.txt");
    if (run.ownerMap == 0) return;
    run.report = OpenEmptied("erreurfiche.txt");
    if (run.report == 0) {
        FileClose(run.ownerMap);
        return;
    }

    const SurfaceRef surface = AcquireWindowSurface(window);
    const std::uint8_t zero[4] = {};
    for (std::int64_t k = 1; k <= run.count; ++k) {
        FileWrite(run.ownerMap, static_cast<std::uint32_t>(k - 1) * 4u, zero, 4);
        DrawProgress(surface, 10, static_cast<std::int32_t>(k), run.count);
    }

    std::int64_t p = 1;
    for (; p <= LastPatient; ++p) {
        CurrentPatient = static_cast<std::int32_t>(p);
        DrawProgress(surface, 40, CurrentPatient, LastPatient);
        TestPatient(run, CurrentPatient);
    }
    // Left one past the last patient tested, as the loop over it ends.
    CurrentPatient = static_cast<std::int32_t>(static_cast<std::uint32_t>(p));

    FileClose(run.ownerMap);
    FileClose(run.report);

    char path[300];
    std::snprintf(path, sizeof path, "%s\\erreurfiche.txt", ReportDirectory);
    const FileHandle report = FileOpen(path, OpenExclusiveExisting);
    if (report != 0) {
        const std::uint32_t size = FileSizeLow(report);
        FileClose(report);
        DrawVerdict(surface, size);
    }
    ReleaseWindowSurface(window, surface);
}

void PrintOrTest(WindowRef window) {
    if (CurrentMode == ModeTestClinique || CurrentMode == ModeTestEstime) {
        TestChainFile(window);
        FocusWindow(window);
    } else {
        PrintCurrentView(window);
    }
}
