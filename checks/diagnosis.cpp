#include "checks/diagnosis.h"

#include "store/state.h"

#include <algorithm>

namespace {

// The lines of the walk in progress, one bit a line, shared by every walk
// of one diagnosis; each walk clears its own before the next begins. And
// the read-ahead of the patients to come.
struct WalkMarks {
    std::vector<bool> walked;
    ReadAhead ahead;
};

// A line's mark names the lower patient whose repaired chain keeps it.
void WalkLines(const HeldChain& held, std::int32_t patient, std::int32_t from, bool forward, WalkMarks& marks,
               ChainWalk& out) {
    const auto& lines = held.links.records;
    const std::int32_t counter = *held.chain->counter;
    const std::int32_t present = held.links.held;
    out = ChainWalk{};
    if (from == 0) {
        out.stop = StopNoStart;
        return;
    }
    if (from < 0 || from > counter) {
        out.stop = StopBadStart;
        out.link = from;
        return;
    }
    std::int32_t r = from;
    for (;;) {
        if (r == 0) {
            out.stop = StopEnd;
            break;
        }
        out.link = r;
        if (r < 0 || r > counter) {
            out.stop = StopOutOfRange;
            break;
        }
        if (r > present) {
            out.stop = StopUnreadable;
            break;
        }
        const auto at = static_cast<std::size_t>(r);
        ScoutAhead(marks.ahead, held, patient);
        if (marks.walked[at]) {
            out.stop = StopLoop;
            break;
        }
        const std::int32_t keptBy = lines[at].mark;
        if (keptBy != 0 && keptBy != patient) {
            out.stop = StopForeign;
            out.owner = keptBy;
            break;
        }
        marks.walked[at] = true;
        out.lines.push_back(r);
        r = forward ? lines[at].next : lines[at].prev;
    }
    for (const std::int32_t line : out.lines) marks.walked[static_cast<std::size_t>(line)] = false;
}

bool Whole(const ChainWalk& w) { return w.stop == StopEnd && !w.lines.empty(); }

ChainDiagnosis Diagnose(const HeldChain& held, std::int32_t patient, const std::vector<OrphanChain>& orphans,
                        WalkMarks& marks) {
    ChainDiagnosis d;
    FirstrecRecord ends;
    PatientEnds(*held.ends, patient, ends);
    d.start = GetField(ends, held.chain->startField);
    d.end = GetField(ends, held.chain->endField);
    WalkLines(held, patient, d.start, true, marks, d.forward);
    WalkLines(held, patient, d.end, false, marks, d.backward);
    ChooseRepair(d, orphans);
    return d;
}

} // namespace

void ChooseRepair(ChainDiagnosis& d, const std::vector<OrphanChain>& orphans) {
    const ChainWalk& a = d.forward;
    const ChainWalk& b = d.backward;
    d.repair = RepairNone;
    d.kept.clear();
    if (d.start == 0 && d.end == 0) {
        d.sound = true;
        return;
    }
    d.sound = Whole(a) && Whole(b) && std::equal(a.lines.begin(), a.lines.end(), b.lines.rbegin(), b.lines.rend());
    if (d.sound) {
        d.kept = a.lines;
        return;
    }
    // Which walk to keep: first one that ends normally on the line the other
    // pointer names (its own links and the far pointer agree), then one that
    // ends normally, then the longer. A cut at a walk's full length rebuilds
    // the other direction's links and sets the far pointer, so it mends
    // whatever the other walk found.
    const bool strongA = Whole(a) && a.lines.back() == d.end;
    const bool strongB = Whole(b) && b.lines.back() == d.start;
    auto longerIsB = [&] { return b.lines.size() > a.lines.size(); };
    bool useB;
    if (strongA || strongB) useB = strongA && strongB ? longerIsB() : strongB;
    else if (Whole(a) || Whole(b)) useB = Whole(a) && Whole(b) ? longerIsB() : Whole(b);
    else useB = longerIsB();

    const ChainWalk& kept = useB ? b : a;
    if (kept.lines.empty()) {
        // Nothing of the chain is the patient's: empty it, or give it the one
        // chain nobody points to.
        // A chain of one line nobody reaches is often a line the host has
        // let go; one of several lines is most likely the patient's own.
        d.repair = RepairFirstrec;
        d.newStart = d.newEnd = 0;
        const OrphanChain* only = nullptr;
        int candidates = 0;
        for (const OrphanChain& o : orphans)
            if (o.count > 1) only = &o, ++candidates;
        if (candidates == 1) {
            d.newStart = only->start;
            d.newEnd = only->end;
        }
        return;
    }
    d.repair = useB ? RepairCutFromEnd : RepairCutFromStart;
    d.ordinal = static_cast<std::int32_t>(kept.lines.size());
    d.kept = kept.lines;
    if (useB) std::reverse(d.kept.begin(), d.kept.end());
    d.newStart = d.kept.front();
    d.newEnd = d.kept.back();
}

std::map<std::int32_t, ChainDiagnosis> DiagnoseChains(HeldChain& held, const std::vector<std::int32_t>& wanted,
                                                      bool everyUnsound, const std::vector<OrphanChain>& orphans) {
    std::map<std::int32_t, ChainDiagnosis> found;
    std::vector<std::int32_t> sorted(wanted);
    std::sort(sorted.begin(), sorted.end());
    const std::int32_t last = std::min(everyUnsound ? LastPatient : sorted.empty() ? 0 : sorted.back(),
                                       LastWalkedPatient(*held.ends));
    ClearMarks(held.links);
    WalkMarks marks{std::vector<bool>(held.links.records.size(), false), {}};
    for (std::int32_t p = 1; p <= last && p <= LastPatient; ++p) {
        if (!PatientReadable(*held.ends, p)) continue; // nothing can be said; the caller reports it
        ChainDiagnosis d = Diagnose(held, p, orphans, marks);
        for (const std::int32_t r : d.kept) held.links.records[static_cast<std::size_t>(r)].mark = p;
        if ((everyUnsound && !d.sound) || std::binary_search(sorted.begin(), sorted.end(), p))
            found.emplace(p, std::move(d));
    }
    return found;
}

bool PatientReadable(const EndsTable& ends, std::int32_t patient) {
    FirstrecRecord record;
    return PatientEnds(ends, patient, record);
}

ChartDiagnosis DiagnoseChart(const EndsTable& endsTable, LinkTable& chart, std::int32_t patient) {
    ChartDiagnosis d;
    FirstrecRecord ends;
    if (!PatientEnds(endsTable, patient, ends)) return d;
    d.start = GetField(ends, FirstrecField::ChartStart);
    const std::int32_t counter = LastChartEntry;
    if (d.start == 0) {
        d.walk.stop = StopNoStart;
        d.sound = true;
        return d;
    }
    if (d.start < 0 || d.start > counter) {
        d.walk.stop = StopBadStart;
        d.walk.link = d.start;
        d.repair = RepairFirstrec;
        return d;
    }
    // The entries of this walk are marked, and unmarked once it ends, so that
    // a walk costs what it visits rather than the whole chart file.
    auto& entries = chart.records;
    const std::int32_t present = chart.held;
    std::int32_t r = d.start;
    for (;;) {
        if (r == 0) {
            d.walk.stop = StopEnd;
            break;
        }
        d.walk.link = r;
        if (r < 0 || r > counter) {
            d.walk.stop = StopOutOfRange;
            break;
        }
        if (r > present) {
            d.walk.stop = StopUnreadable;
            break;
        }
        HeldLinks& entry = entries[static_cast<std::size_t>(r)];
        if (entry.mark) {
            d.walk.stop = StopLoop;
            break;
        }
        entry.mark = 1;
        d.walk.lines.push_back(r);
        r = entry.next;
    }
    for (const std::int32_t e : d.walk.lines) entries[static_cast<std::size_t>(e)].mark = 0;
    d.sound = d.walk.stop == StopEnd;
    if (!d.sound) {
        // The chart's own view from its start; Corriger cuts after the last
        // sound entry (0 empties the chart).
        d.repair = RepairCutFromStart;
        d.ordinal = static_cast<std::int32_t>(d.walk.lines.size());
    }
    return d;
}
