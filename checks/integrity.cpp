// The file integrity test: every patient's chain of clinical or quote lines
// walked both ways, each finding a line of the report.
//
// First the analysis, over any source of records (integrity.h); then the
// window's source. Which patient a line belongs to is known only from the
// walks, so the test keeps a map of owners, one 32-bit slot per line; the
// window keeps it in a file rather than in memory, so that its memory use
// does not grow with the practice.
#include "checks/checks.h"
#include "checks/integrity.h"
#include "store/state.h"
#include "window/state.h"

#include <cstdio>
#include <cstring>

const char* ReportDirectory = "c:\\tmp";

// ---------------------------------------------------------------- the analysis

namespace {

constexpr std::int32_t WalkLimit = 5000;

struct Check {
    const LineChain& chain;
    const ChainSource& source;
    std::int32_t count; // N, the file's counter
};

void Found(const Check& check, FindingKind kind, std::int32_t p, std::int32_t record = 0,
           std::int32_t value = 0, std::int32_t value2 = 0) {
    check.source.found(check.source.context, ChainFinding{kind, p, record, value, value2});
}

enum WalkEnd { WalkEnded, WalkRanAway, WalkUnreadable };

// One walk from `from`, forward or backward. Counts the lines visited in
// `visits` and leaves in `stop` the link it stopped on, in `last` the line
// that link belongs to.
WalkEnd Walk(const Check& check, std::int32_t p, std::int32_t from, bool forward, std::int32_t& visits,
             std::int32_t& stop, std::int32_t& last) {
    const ChainSource& source = check.source;
    // The owner named by this walk's last crossing line, so that a run of
    // lines of one other patient gives one finding, not one per line.
    std::int32_t lastOwner = 0;
    std::int32_t r = from;
    visits = 0;
    while (r >= 1 && r <= check.count) {
        ++visits;
        std::int32_t prev = 0, next = 0;
        // A line that cannot be read ends the patient's test: going on
        // would follow links of a record we do not have.
        if (!source.links(source.context, r, prev, next)) {
            Found(check, FindingUnreadableLine, p, r);
            return WalkUnreadable;
        }
        const std::int32_t outward = forward ? prev : next;
        if (r == from && outward != 0) Found(check, forward ? FindingFirstHasPrev : FindingLastHasNext, p, r, outward);
        const std::int32_t owner = source.claim(source.context, r, p);
        if (owner != 0 && owner != p && owner != lastOwner) {
            Found(check, FindingCrossing, p, r, owner);
            lastOwner = owner;
        }
        last = r;
        r = forward ? next : prev;
        if (visits > WalkLimit) {
            Found(check, FindingRunaway, p, 0, visits);
            return WalkRanAway;
        }
    }
    stop = r;
    return WalkEnded;
}

void CheckPatient(const Check& check, std::int32_t p, const FirstrecRecord& ends) {
    const std::int32_t n = check.count;
    std::int32_t forwardCount = 0, backwardCount = 0, stop = 0, last = 0;

    const std::int32_t start = GetField(ends, check.chain.startField);
    if (start < 0 || start > n) {
        Found(check, FindingBadStart, p, 0, start);
    } else {
        if (Walk(check, p, start, true, forwardCount, stop, last) != WalkEnded) return;
        if (stop < 0 || stop > n) Found(check, FindingBadNext, p, last, stop);
    }

    const std::int32_t end = GetField(ends, check.chain.endField);
    if (end < 0 || end > n) {
        Found(check, FindingBadEnd, p, 0, end);
        return;
    }
    if (Walk(check, p, end, false, backwardCount, stop, last) != WalkEnded) return;
    if (stop < 0 || stop > n) {
        Found(check, FindingBadPrev, p, last, stop);
        return;
    }
    if (forwardCount != backwardCount) Found(check, FindingCountsDiffer, p, 0, forwardCount, backwardCount);
}

} // namespace

int ChainFindingText(const ChainFinding& finding, char* text, std::size_t capacity) {
    const FindingKindInfo& kind = KindInfo(finding.kind);
    if (kind.report == nullptr || capacity == 0) return 0;
    const long second = kind.second == ReportRecord ? finding.record : kind.second == ReportValue ? finding.value : 0;
    const int n = std::snprintf(text, capacity, kind.report, static_cast<long>(finding.patient), second);
    return n < 0 ? 0 : n < static_cast<int>(capacity) ? n : static_cast<int>(capacity) - 1;
}

void CheckChainFile(const LineChain& chain, const ChainSource& source) {
    const Check check{chain, source, *chain.counter};
    for (std::int64_t pp = 1; pp <= LastPatient; ++pp) {
        const auto p = static_cast<std::int32_t>(pp);
        source.turn(source.context, p);
        FirstrecRecord ends;
        const EndsRead read = source.ends(source.context, p, ends);
        if (read == EndsBeyondFile) {
            Found(check, FindingEndsBeyondFile, p, 0, LastPatient);
            break;
        }
        if (read == EndsNotWhole) Found(check, FindingUnreadableEnds, p);
        else CheckPatient(check, p, ends);
    }
}

// ---------------------------------------------------------------- the window's test

namespace {

const FontSpec ResultFontSpec{-18, 0, 0, 0, 700, false, false, false, 0, 3, 2, 1, 31, "Arial"};

// One-record reads through the store, the owner map and the report in
// files, progress on the window.
struct WindowTest {
    const LineChain& chain;
    FileHandle ownerMap;
    FileHandle report;
    std::uint32_t reportEnd;
    SurfaceRef surface;
};

void DrawProgress(SurfaceRef surface, int y, std::int32_t k, std::int32_t n) {
    char text[40];
    const int length = std::snprintf(text, sizeof text, "%8ld/%9ld", static_cast<long>(k), static_cast<long>(n));
    DrawTextAt(surface, 10, y, text, length);
}

void WindowTurn(void* context, std::int32_t p) {
    CurrentPatient = p;
    DrawProgress(static_cast<WindowTest*>(context)->surface, 40, p, LastPatient);
}

EndsRead WindowEnds(void*, std::int32_t p, FirstrecRecord& record) {
    if (ReadFirstrec(p, record)) return EndsWhole;
    return RecordBeyondFile(FirstrecFile, p) ? EndsBeyondFile : EndsNotWhole;
}

bool WindowLinks(void* context, std::int32_t r, std::int32_t& prev, std::int32_t& next) {
    const LineChain& chain = static_cast<WindowTest*>(context)->chain;
    ChainLine line;
    if (!ReadChainLine(chain, r, line)) return false;
    prev = ChainPrev(chain, line);
    next = ChainNext(chain, line);
    return true;
}

std::int32_t WindowClaim(void* context, std::int32_t r, std::int32_t p) {
    const FileHandle map = static_cast<WindowTest*>(context)->ownerMap;
    const std::uint32_t offset = static_cast<std::uint32_t>(r) * 4u - 4u;
    std::uint8_t slot[4] = {};
    FileRead(map, offset, slot, 4);
    const std::int32_t owner = LoadI32(slot);
    if (owner == 0) {
        StoreI32(slot, p);
        FileWrite(map, offset, slot, 4);
    }
    return owner;
}

void WindowFound(void* context, const ChainFinding& finding) {
    WindowTest& test = *static_cast<WindowTest*>(context);
    char line[130];
    int n = ChainFindingText(finding, line, sizeof line - 2);
    if (n == 0) return;
    line[n++] = '\r';
    line[n++] = '\n';
    test.reportEnd += FileWrite(test.report, test.reportEnd, line, static_cast<std::uint32_t>(n));
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
    WindowTest test{CurrentMode == ModeTestEstime ? QuoteChain : ClinicalChain, 0, 0, 0, 0};
    const std::int32_t count = *test.chain.counter;

    test.ownerMap = OpenEmptied("testfich.txt");
    if (test.ownerMap == 0) return;
    test.report = OpenEmptied("erreurfiche.txt");
    if (test.report == 0) {
        FileClose(test.ownerMap);
        return;
    }

    test.surface = AcquireWindowSurface(window);
    const std::uint8_t zero[4] = {};
    for (std::int64_t k = 1; k <= count; ++k) {
        FileWrite(test.ownerMap, static_cast<std::uint32_t>(k - 1) * 4u, zero, 4);
        DrawProgress(test.surface, 10, static_cast<std::int32_t>(k), count);
    }

    const ChainSource source{&test, WindowTurn, WindowEnds, WindowLinks, WindowClaim, WindowFound};
    CheckChainFile(test.chain, source);
    // Left one past the last patient tested, as the loop over them ends.
    const std::int64_t after = LastPatient < 1 ? 1 : std::int64_t{LastPatient} + 1;
    CurrentPatient = static_cast<std::int32_t>(static_cast<std::uint32_t>(after));

    FileClose(test.ownerMap);
    FileClose(test.report);

    char path[300];
    std::snprintf(path, sizeof path, "%s\\erreurfiche.txt", ReportDirectory);
    const FileHandle report = FileOpen(path, OpenExclusiveExisting);
    if (report != 0) {
        const std::uint32_t size = FileSizeLow(report);
        FileClose(report);
        DrawVerdict(test.surface, size);
    }
    ReleaseWindowSurface(window, test.surface);
}

void PrintOrTest(WindowRef window) {
    if (CurrentMode == ModeTestClinique || CurrentMode == ModeTestEstime) {
        TestChainFile(window);
        FocusWindow(window);
    } else {
        PrintCurrentView(window);
    }
}
