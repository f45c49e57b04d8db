#include "checks/held_chains.h"

#include "checks/integrity.h"
#include "platform/console/text.h"
#include "store/state.h"

#include <cstdio>

namespace {

struct HeldRun {
    HeldChain& held;
    HeldTest& test;
    void (*turn)(std::int32_t patient);
    ReadAhead ahead;
    std::int32_t patient; // whose turn it is
};

void HeldTurn(void* context, std::int32_t p) {
    HeldRun& run = *static_cast<HeldRun*>(context);
    run.patient = p;
    if (run.turn) run.turn(p);
}

EndsRead HeldEnds(void* context, std::int32_t p, FirstrecRecord& record) {
    if (PatientEnds(*static_cast<HeldRun*>(context)->held.ends, p, record)) return EndsWhole;
    return RecordBeyondFile(FirstrecFile, p) ? EndsBeyondFile : EndsNotWhole;
}

bool HeldLinksOf(void* context, std::int32_t r, std::int32_t& prev, std::int32_t& next) {
    HeldRun& run = *static_cast<HeldRun*>(context);
    ScoutAhead(run.ahead, run.held, run.patient);
    return RecordLinks(run.held.links, r, prev, next);
}

// The window's map has one slot per line at 4 x (line - 1), in 32-bit
// arithmetic: lines 2^30 apart share a slot, here too.
std::int32_t HeldClaim(void* context, std::int32_t r, std::int32_t p) {
    HeldRun& run = *static_cast<HeldRun*>(context);
    LinkTable& links = run.held.links;
    const std::uint32_t slot = (static_cast<std::uint32_t>(r) - 1u) & 0x3FFFFFFFu;
    std::int32_t& owner = slot < static_cast<std::uint32_t>(links.held) ? links.records[slot + 1].mark
                                                                         : run.test.farOwners[slot];
    const std::int32_t before = owner;
    if (before == 0) owner = p;
    return before;
}

void HeldFound(void* context, const ChainFinding& found) {
    const HeldRun& run = *static_cast<HeldRun*>(context);
    HeldTest& test = run.test;
    const FindingKindInfo& kind = KindInfo(found.kind);
    Finding f;
    f.kind = found.kind;
    f.patient = found.patient;
    f.record = found.record;
    if (kind.value) f.numbers.push_back({kind.value, found.value});
    if (kind.value2) f.numbers.push_back({kind.value2, found.value2});
    char text[130];
    const int n = ChainFindingText(found, text, sizeof text);
    if (n > 0) {
        f.fromReport = true;
        f.text.assign(text, static_cast<std::size_t>(n));
        test.report += f.text + "\r\n";
    } else {
        const long p = found.patient;
        if (found.kind == FindingUnreadableLine)
            f.text = Format(kind.said, static_cast<long>(found.record),
                          run.held.chain == &ClinicalChain ? "clinique" : "estime", p);
        else f.text = Format(kind.said, p, static_cast<long>(LastPatient));
        // What the window's read would have shown.
        ReportShortTransfer(found.kind == FindingUnreadableLine ? *run.held.links.file : FirstrecFile);
        ++test.unreadable;
        if (found.kind == FindingEndsBeyondFile) test.endedAt = found.patient;
    }
    test.findings.push_back(std::move(f));
}

} // namespace

std::int32_t LastWalkedPatient(const EndsTable& ends) {
    auto last = static_cast<std::int32_t>(ends.records.size()); // held whole; at most one more is cut short
    while (last < LastPatient && !RecordBeyondFile(FirstrecFile, last + 1)) ++last;
    return last;
}

void ScoutAhead(ReadAhead& ahead, const HeldChain& held, std::int32_t patient) {
    const auto& lines = held.links.records;
    const std::int32_t count = held.links.held;
    const std::int64_t current = patient; // a patient near the top of int32 still has a next
    if (ahead.patient <= current) ahead.patient = current + 1;
    // Scouts set out in bursts, when half the lead is used up: then they all
    // walk at once, and their misses overlap.
    if (ahead.patient <= current + ReadAhead::Lead / 2) ahead.refilling = true;
    if (ahead.patient > current + ReadAhead::Lead) ahead.refilling = false;
    if (!ahead.refilling && ahead.walking == 0) return;
    ahead.walking = 0;
    for (int i = 0; i < ReadAhead::Scouts; ++i) {
        std::int32_t& r = ahead.line[i];
        if (r >= 1 && r <= count && ahead.steps[i] < ReadAhead::MostSteps) {
            r = lines[static_cast<std::size_t>(r)].next;
            ++ahead.steps[i];
            ++ahead.walking;
            continue;
        }
        r = 0;
        // Only the ends held are worth scouting from.
        if (!ahead.refilling || ahead.patient > static_cast<std::int64_t>(held.ends->records.size())) continue;
        FirstrecRecord ends;
        const auto next = static_cast<std::int32_t>(ahead.patient++);
        r = PatientEnds(*held.ends, next, ends) ? GetField(ends, held.chain->startField) : 0;
        ahead.steps[i] = 0;
        ++ahead.walking;
    }
}

bool HoldChain(const LineChain& chain, const EndsTable& ends, HeldChain& held) {
    held.chain = &chain;
    held.ends = &ends;
    return LoadChainLinks(chain, held.links);
}

void TestHeldChain(HeldChain& held, void (*turn)(std::int32_t patient), HeldTest& test) {
    test = HeldTest{};
    ClearMarks(held.links);
    HeldRun run{held, test, turn, {}, 0};
    const ChainSource source{&run, HeldTurn, HeldEnds, HeldLinksOf, HeldClaim, HeldFound};
    CheckChainFile(*held.chain, source);
}

std::uint32_t OwnerMapSlots(const HeldChain& held) {
    const std::int32_t counter = *held.chain->counter;
    return counter < 1 ? 0 : counter > 0x40000000 ? 0x40000000u : static_cast<std::uint32_t>(counter);
}

std::int32_t OwnerInSlot(const HeldChain& held, const HeldTest& test, std::uint32_t slot) {
    if (slot < static_cast<std::uint32_t>(held.links.held)) return held.links.records[slot + 1].mark;
    const auto far = test.farOwners.find(slot);
    return far == test.farOwners.end() ? 0 : far->second;
}

bool WriteOwnerMap(const HeldChain& held, const HeldTest& test, const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::uint8_t block[1u << 16];
    std::size_t used = 0;
    bool ok = true;
    const std::uint32_t slots = OwnerMapSlots(held);
    for (std::uint32_t slot = 0; slot < slots && ok; ++slot) {
        StoreI32(block + used, OwnerInSlot(held, test, slot));
        used += 4;
        if (used == sizeof block || slot + 1 == slots) {
            ok = std::fwrite(block, 1, used, f) == used;
            used = 0;
        }
    }
    return std::fclose(f) == 0 && ok;
}

void ClaimLine(std::int32_t& first, std::int32_t p, std::int32_t r,
               std::map<std::int32_t, std::vector<std::int32_t>>& contested) {
    if (first == 0) {
        first = p;
    } else if (first != p) {
        std::vector<std::int32_t>& all = contested[r];
        if (all.empty()) all.push_back(first);
        if (all.back() != p) all.push_back(p);
    }
}

void ClaimLines(HeldChain& held, ChainClaims& claims) {
    const LineChain& chain = *held.chain;
    auto& lines = held.links.records;
    const std::int32_t count = held.links.held;
    ClearMarks(held.links);
    claims.contested.clear();
    // The lines of the walk in progress: a walk that comes back to one of
    // them has looped.
    std::vector<bool> walked(static_cast<std::size_t>(count) + 1, false);
    std::vector<std::int32_t> trail;
    ReadAhead ahead;
    const std::int32_t last = LastWalkedPatient(*held.ends);
    for (std::int64_t pp = 1; pp <= last; ++pp) {
        const auto p = static_cast<std::int32_t>(pp);
        FirstrecRecord ends;
        if (!PatientEnds(*held.ends, p, ends)) continue;
        for (const bool forward : {true, false}) {
            std::int32_t r = GetField(ends, forward ? chain.startField : chain.endField);
            while (r >= 1 && r <= count) {
                const auto at = static_cast<std::size_t>(r);
                ScoutAhead(ahead, held, p);
                if (walked[at]) break;
                walked[at] = true;
                trail.push_back(r);
                ClaimLine(lines[at].mark, p, r, claims.contested);
                r = forward ? lines[at].next : lines[at].prev;
            }
            for (const std::int32_t t : trail) walked[static_cast<std::size_t>(t)] = false;
            trail.clear();
        }
    }
}

void ClaimFindings(const HeldChain& held, const ChainClaims& claims, std::vector<Finding>& findings) {
    for (const auto& [line, patients] : claims.contested) {
        Finding f;
        f.kind = FindingContestedLine;
        f.record = line;
        f.patients = patients;
        std::string names;
        for (std::size_t i = 0; i < patients.size(); ++i)
            names += (i == 0 ? "" : i + 1 < patients.size() ? ", " : " et ") + std::to_string(patients[i]);
        f.text = Format(KindInfo(f.kind).said, static_cast<long>(line), names.c_str());
        findings.push_back(std::move(f));
    }
    for (const std::int32_t r : UnreachableLines(held)) {
        Finding f;
        f.kind = FindingUnreachableLine;
        f.record = r;
        f.text = Format(KindInfo(f.kind).said, static_cast<long>(r));
        findings.push_back(std::move(f));
    }
}

std::vector<std::int32_t> UnreachableLines(const HeldChain& held) {
    std::vector<std::int32_t> lines;
    for (std::int32_t r = 1; r <= held.links.held; ++r)
        if (held.links.records[static_cast<std::size_t>(r)].mark == 0) lines.push_back(r);
    return lines;
}

std::vector<OrphanChain> OrphanChains(const HeldChain& held) {
    const auto& lines = held.links.records;
    return FollowOrphanChains(
        held.links, [&](std::int32_t r) { return lines[static_cast<std::size_t>(r)].mark == 0; },
        [&](std::int32_t r) { return lines[static_cast<std::size_t>(r)].prev == 0; });
}
