#include "checks/repair_plan.h"

#include "store/state.h"

#include <algorithm>
#include <set>

namespace {

void Add(std::vector<std::int32_t>& list, std::int32_t value) {
    if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

bool Kept(const std::vector<std::int32_t>& kept, std::int32_t line) {
    return std::find(kept.begin(), kept.end(), line) != kept.end();
}

// A pointer or link above the counter that names a record the file holds
// whole: rather than the chain, the counter may be what is wrong.
bool AboveCounterInFile(const RecordFile& file, std::int32_t counter, std::int32_t link) {
    return link > counter && link <= RecordsInFile(file);
}

// How many lines at the start of a walk were reached along links their
// lines confirm: each line's link the other way names the one before it.
std::size_t SoundPart(const LinkTable& links, const ChainWalk& w, bool forward) {
    if (w.lines.empty()) return 0;
    std::size_t k = 1;
    for (; k < w.lines.size(); ++k) {
        const HeldLinks& line = links.records[static_cast<std::size_t>(w.lines[k])];
        if ((forward ? line.prev : line.next) != w.lines[k - 1]) break;
    }
    return k;
}

bool HasOrphanOfSeveral(const std::vector<OrphanChain>& orphans) {
    for (const OrphanChain& o : orphans)
        if (o.count > 1) return true;
    return false;
}

void JudgeLineChain(const LineChainState& s, std::int32_t p, const ChainDiagnosis& d, ChainPlan& plan) {
    bool reported = false;
    for (const Finding& f : s.findings) reported = reported || f.patient == p;
    plan.damaged = reported || !d.sound;
    if (!plan.damaged) return;
    if (d.sound || d.repair == RepairNone) {
        plan.left = LeftNoRepair;
        return;
    }
    const RecordFile& file = *s.chain->file;
    const std::int32_t counter = *s.chain->counter;
    const ChainWalk* walks[2] = {&d.forward, &d.backward};
    unsigned left = 0;

    // 1. What a sound walk reaches stays.
    for (int i = 0; i < 2; ++i) {
        const ChainWalk& w = *walks[i];
        const std::size_t sound = SoundPart(s.held.links, w, i == 0);
        for (std::size_t k = 0; k < sound; ++k)
            if (!Kept(d.kept, w.lines[k])) Add(plan.dropped, w.lines[k]);
    }
    if (!plan.dropped.empty()) left |= LeftDropsLines;

    // 2. Nothing another patient reaches is given.
    for (const std::int32_t r : d.kept) {
        const auto it = s.claims.contested.find(r);
        if (it == s.claims.contested.end()) continue;
        for (const std::int32_t q : it->second)
            if (q != p) Add(plan.others, q), left |= LeftSharedLines;
    }

    // 3. One answer.
    for (const ChainWalk* w : walks) {
        if (w->stop == StopUnreadable) left |= LeftShortFile;
        if ((w->stop == StopOutOfRange || w->stop == StopBadStart) && AboveCounterInFile(file, counter, w->link))
            left |= LeftCounter;
    }
    if (d.kept.empty()) {
        // Nothing of the chain is the patient's: the pointers lead out of the
        // file, or to lines that are someone else's.
        for (const ChainWalk* w : walks)
            if (w->stop == StopForeign) Add(plan.others, w->owner), left |= LeftSharedLines;
        if (d.newStart != 0) left |= LeftGivesOrphan;
        else if (HasOrphanOfSeveral(s.orphans)) left |= LeftCandidates;
    } else {
        const bool fromEnd = d.repair == RepairCutFromEnd;
        const ChainWalk& kept = fromEnd ? d.backward : d.forward;
        const std::int32_t far = fromEnd ? d.start : d.end;
        if (kept.stop != StopEnd && kept.lines.back() != far) left |= LeftOpenEnd;
    }
    std::sort(plan.others.begin(), plan.others.end());
    plan.left = left;
    plan.sure = left == 0;
}

// Which patients' walks reach each entry of the chart, and the chains of
// entries nobody reaches, each from an entry that no entry names.
void ClaimChart(ChartState& s, const EndsTable& ends) {
    const auto& entries = s.links.records;
    const std::int32_t count = s.links.held;
    const auto size = static_cast<std::size_t>(count) + 1;
    s.claimant.assign(size, 0);
    s.contested.clear();
    // The patient whose walk passed last: a walk coming back to one of its
    // own entries has looped. Afterwards, whether any entry names it.
    std::vector<std::int32_t> seen(size, 0);
    for (std::size_t i = 0; i < ends.records.size(); ++i) {
        const auto p = static_cast<std::int32_t>(i + 1);
        std::int32_t r = GetField(ends.records[i], FirstrecField::ChartStart);
        for (; r >= 1 && r <= count && seen[static_cast<std::size_t>(r)] != p;
             r = entries[static_cast<std::size_t>(r)].next) {
            const auto at = static_cast<std::size_t>(r);
            seen[at] = p;
            ClaimLine(s.claimant[at], p, r, s.contested);
        }
    }
    std::fill(seen.begin(), seen.end(), 0);
    for (std::int32_t r = 1; r <= count; ++r) {
        const std::int32_t next = entries[static_cast<std::size_t>(r)].next;
        if (next >= 1 && next <= count) seen[static_cast<std::size_t>(next)] = 1;
    }
    s.orphans = FollowOrphanChains(
        s.links, [&](std::int32_t r) { return s.claimant[static_cast<std::size_t>(r)] == 0; },
        [&](std::int32_t r) { return seen[static_cast<std::size_t>(r)] == 0; });
}

// Entries of the patient's walk that another patient's walk reaches: with
// `lowerOnly`, only when one of those came first (a shared chart is the
// higher-numbered patient's to look at, as a crossing is).
void ChartOthers(const ChartState& s, std::int32_t p, const ChartDiagnosis& d, bool lowerOnly,
                 std::vector<std::int32_t>& others) {
    for (const std::int32_t e : d.walk.lines) {
        const auto it = s.contested.find(e);
        if (it == s.contested.end()) continue;
        if (lowerOnly && it->second.front() >= p) continue;
        for (const std::int32_t q : it->second)
            if (q != p) Add(others, q);
    }
    std::sort(others.begin(), others.end());
}

void JudgeChart(const ChartState& s, std::int32_t p, const ChartDiagnosis& d, ChainPlan& plan) {
    if (d.sound) {
        // The chart's diagnosis walks alone: it does not see a chart shared.
        ChartOthers(s, p, d, true, plan.others);
        plan.damaged = !plan.others.empty();
        if (plan.damaged) plan.left = LeftSharedLines;
        return;
    }
    plan.damaged = true;
    unsigned left = 0;
    ChartOthers(s, p, d, false, plan.others);
    if (!plan.others.empty()) left |= LeftSharedLines;
    if (d.walk.stop == StopUnreadable) left |= LeftShortFile;
    const std::int32_t link = d.repair == RepairFirstrec ? d.start : d.walk.link;
    if ((d.walk.stop == StopOutOfRange || d.walk.stop == StopBadStart) &&
        AboveCounterInFile(FschemaFile, LastChartEntry, link))
        left |= LeftCounter;
    if (HasOrphanOfSeveral(s.orphans)) left |= LeftCandidates;
    plan.left = left;
    plan.sure = left == 0;
}

} // namespace

void DiagnoseLines(LineChainState& s, std::set<std::int32_t>& patients, bool every) {
    const std::vector<std::int32_t> asked(patients.begin(), patients.end());
    s.diagnoses = DiagnoseChains(s.held, asked, every, s.orphans);
    for (const auto& [p, d] : s.diagnoses) patients.insert(p);
}

std::vector<Finding> FindingsOf(const std::vector<Finding>& findings, std::int32_t p) {
    std::vector<Finding> mine;
    for (const Finding& f : findings)
        if (f.patient == p) mine.push_back(f);
    return mine;
}

bool StudyLineChain(const LineChain& chain, const EndsTable& ends, void (*turn)(std::int32_t patient),
                    LineChainState& s, std::int32_t& endedAt) {
    s.chain = &chain;
    if (!HoldChain(chain, ends, s.held)) return false;
    HeldTest test;
    TestHeldChain(s.held, turn, test);
    s.findings = std::move(test.findings);
    if (test.endedAt) endedAt = test.endedAt;
    ClaimLines(s.held, s.claims);
    s.orphans = OrphanChains(s.held);
    return true;
}

void PlanRepairs(const std::vector<std::int32_t>& wanted, bool every, void (*turn)(std::int32_t patient),
                 RepairPlan& plan) {
    LoadEnds(plan.ends);
    LoadChartLinks(plan.chart.links);
    plan.endedAt = 0;
    plan.patients.clear();
    std::set<std::int32_t> patients(wanted.begin(), wanted.end());
    const LineChain* chains[2] = {&ClinicalChain, &QuoteChain};
    for (int i = 0; i < 2; ++i) {
        LineChainState& s = plan.lines[i];
        StudyLineChain(*chains[i], plan.ends, turn, s, plan.endedAt);
        if (every)
            for (const Finding& f : s.findings)
                if (f.patient) patients.insert(f.patient);
    }
    ClaimChart(plan.chart, plan.ends);
    const auto heldPatients = static_cast<std::int32_t>(plan.ends.records.size());
    if (every) {
        for (std::int32_t p = 1; p <= heldPatients; ++p)
            if (!DiagnoseChart(plan.ends, plan.chart.links, p).sound) patients.insert(p);
        for (const auto& [entry, claimants] : plan.chart.contested)
            patients.insert(claimants.begin() + 1, claimants.end());
    }
    for (LineChainState& s : plan.lines) DiagnoseLines(s, patients, every);
    // A patient whose quotes alone are unsound still needs its clinical
    // chain's diagnosis, and the other way round.
    for (LineChainState& s : plan.lines)
        if (s.diagnoses.size() != patients.size()) DiagnoseLines(s, patients, false);

    for (const std::int32_t p : patients) {
        PatientPlan pp;
        pp.patient = p;
        FirstrecRecord record;
        pp.endsReadable = PatientEnds(plan.ends, p, record);
        bool damaged = !pp.endsReadable;
        if (!pp.endsReadable) {
            for (ChainPlan& c : pp.chains) c.damaged = true, c.left = LeftUnreadableEnds;
        } else {
            for (int i = 0; i < 2; ++i)
                JudgeLineChain(plan.lines[i], p, plan.lines[i].diagnoses.at(p), pp.chains[i]);
            const ChartDiagnosis& chart =
                plan.chart.diagnoses.emplace(p, DiagnoseChart(plan.ends, plan.chart.links, p)).first->second;
            JudgeChart(plan.chart, p, chart, pp.chains[PlanSchema]);
            for (const ChainPlan& c : pp.chains) damaged = damaged || c.damaged;
        }
        if (damaged || !every) plan.patients.push_back(std::move(pp));
    }
}

void RecheckPlan(RepairPlan& plan, const bool touched[PlanChainCount], void (*turn)(std::int32_t patient),
                 Recheck& out) {
    out = Recheck{};
    LoadEnds(plan.ends);
    for (int i = 0; i < 2; ++i) {
        if (!touched[i]) continue;
        LineChainState& s = plan.lines[i];
        HoldChain(*s.chain, plan.ends, s.held);
        HeldTest test;
        TestHeldChain(s.held, turn, test);
        out.tested[i] = true;
        out.findings[i] = std::move(test.findings);
    }
    if (!touched[PlanSchema]) return;
    LoadChartLinks(plan.chart.links);
    for (const PatientPlan& p : plan.patients)
        if (p.chains[PlanSchema].sure)
            out.chartSound[p.patient] = DiagnoseChart(plan.ends, plan.chart.links, p.patient).sound;
}
