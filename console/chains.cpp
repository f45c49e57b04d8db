#include "console/chains.h"

#include "checks/integrity.h"
#include "store/state.h"

#include <cstdio>

namespace {

// What the console calls each kind of the test's findings, and the names of
// the values it carries.
struct FindingWords {
    const char* code;
    const char* value;  // name of ChainFinding::value, or null
    const char* value2; // name of ChainFinding::value2, or null
};
const FindingWords Words[ChainFindingKinds] = {
    {"start-out-of-range", "value", nullptr}, {"first-prev-not-zero", "link", nullptr},
    {"last-next-not-zero", "link", nullptr},  {"crossing", "other_patient", nullptr},
    {"runaway-chain", "visits", nullptr},     {"next-out-of-range", "link", nullptr},
    {"end-out-of-range", "value", nullptr},   {"prev-out-of-range", "link", nullptr},
    {"walks-differ", "forward", "backward"},  {"unreadable-record", nullptr, nullptr},
    {"unreadable-firstrec", nullptr, nullptr},
};

struct HeldRun {
    const HeldChain& held;
    HeldTest& test;
    void (*turn)(std::int32_t patient);
};

void HeldTurn(void* context, std::int32_t p) {
    if (const auto turn = static_cast<HeldRun*>(context)->turn) turn(p);
}

bool HeldEnds(void* context, std::int32_t p, FirstrecRecord& record) {
    return PatientEnds(*static_cast<HeldRun*>(context)->held.ends, p, record);
}

bool HeldLinks(void* context, std::int32_t r, std::int32_t& prev, std::int32_t& next) {
    return RecordLinks(static_cast<HeldRun*>(context)->held.links, r, prev, next);
}

// The window's map has one slot per line at 4 x (line - 1), in 32-bit
// arithmetic: lines 2^30 apart share a slot, here too.
std::int32_t HeldClaim(void* context, std::int32_t r, std::int32_t p) {
    HeldTest& test = static_cast<HeldRun*>(context)->test;
    const std::uint32_t slot = (static_cast<std::uint32_t>(r) - 1u) & 0x3FFFFFFFu;
    std::int32_t& owner = slot < test.owners.size() ? test.owners[slot] : test.farOwners[slot];
    const std::int32_t before = owner;
    if (before == 0) owner = p;
    return before;
}

void HeldFound(void* context, const ChainFinding& found) {
    const HeldRun& run = *static_cast<HeldRun*>(context);
    HeldTest& test = run.test;
    const FindingWords& words = Words[found.kind];
    Finding f;
    f.code = words.code;
    f.patient = found.patient;
    f.record = found.record;
    if (words.value) f.numbers.push_back({words.value, found.value});
    if (words.value2) f.numbers.push_back({words.value2, found.value2});
    char text[130];
    const int n = ChainFindingText(found, text, sizeof text);
    if (n > 0) {
        f.fromReport = true;
        f.text.assign(text, static_cast<std::size_t>(n));
        test.report += f.text + "\r\n";
    } else {
        // What the window's read would have shown.
        ReportShortTransfer(found.kind == FindingUnreadableEnds ? FirstrecFile : *run.held.links.file);
        ++test.unreadable;
    }
    test.findings.push_back(std::move(f));
}

} // namespace

bool HoldChain(const LineChain& chain, const EndsTable& ends, HeldChain& held) {
    held.chain = &chain;
    held.ends = &ends;
    return LoadChainLinks(chain, held.links);
}

void TestHeldChain(const HeldChain& held, void (*turn)(std::int32_t patient), HeldTest& test) {
    test = HeldTest{};
    test.owners.assign(static_cast<std::size_t>(held.links.held), 0);
    HeldRun run{held, test, turn};
    const ChainSource source{&run, HeldTurn, HeldEnds, HeldLinks, HeldClaim, HeldFound};
    CheckChainFile(*held.chain, source);
}

std::uint32_t OwnerMapSlots(const HeldChain& held) {
    const std::int32_t counter = *held.chain->counter;
    return counter < 1 ? 0 : counter > 0x40000000 ? 0x40000000u : static_cast<std::uint32_t>(counter);
}

std::int32_t OwnerInSlot(const HeldTest& test, std::uint32_t slot) {
    if (slot < test.owners.size()) return test.owners[slot];
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
        StoreI32(block + used, OwnerInSlot(test, slot));
        used += 4;
        if (used == sizeof block || slot + 1 == slots) {
            ok = std::fwrite(block, 1, used, f) == used;
            used = 0;
        }
    }
    return std::fclose(f) == 0 && ok;
}

void ClaimLines(const HeldChain& held, ChainClaims& claims) {
    const LineChain& chain = *held.chain;
    const std::int32_t lines = held.links.held;
    claims.lines = lines;
    claims.first.assign(static_cast<std::size_t>(lines) + 1, 0);
    claims.contested.clear();
    // The lines of the walk in progress: a walk that comes back to one of
    // them has looped.
    std::vector<bool> walked(static_cast<std::size_t>(lines) + 1, false);
    std::vector<std::int32_t> trail;
    for (std::int64_t pp = 1; pp <= LastPatient; ++pp) {
        const auto p = static_cast<std::int32_t>(pp);
        FirstrecRecord ends;
        if (!PatientEnds(*held.ends, p, ends)) continue;
        for (const bool forward : {true, false}) {
            std::int32_t r = GetField(ends, forward ? chain.startField : chain.endField);
            while (r >= 1 && r <= lines) {
                const auto at = static_cast<std::size_t>(r);
                if (walked[at]) break;
                walked[at] = true;
                trail.push_back(r);
                std::int32_t& first = claims.first[at];
                if (first == 0) {
                    first = p;
                } else if (first != p) {
                    std::vector<std::int32_t>& all = claims.contested[r];
                    if (all.empty()) all.push_back(first);
                    if (all.back() != p) all.push_back(p); // patients come in ascending order
                }
                r = forward ? held.links.next[at] : held.links.prev[at];
            }
            for (const std::int32_t t : trail) walked[static_cast<std::size_t>(t)] = false;
            trail.clear();
        }
    }
}

void ClaimFindings(const ChainClaims& claims, std::vector<Finding>& findings) {
    for (const auto& [line, patients] : claims.contested) {
        Finding f;
        f.code = "contested-line";
        f.record = line;
        f.patients = patients;
        findings.push_back(f);
    }
    for (std::int32_t r = 1; r <= claims.lines; ++r)
        if (claims.first[static_cast<std::size_t>(r)] == 0) {
            Finding f;
            f.code = "unreachable-line";
            f.severity = "warning";
            f.record = r;
            findings.push_back(f);
        }
}

std::vector<OrphanChain> OrphanChains(const HeldChain& held, const ChainClaims& claims) {
    std::vector<OrphanChain> found;
    std::vector<bool> taken(static_cast<std::size_t>(claims.lines) + 1, false);
    auto free = [&](std::int32_t r) {
        return r >= 1 && r <= claims.lines && claims.first[static_cast<std::size_t>(r)] == 0 &&
               !taken[static_cast<std::size_t>(r)];
    };
    for (std::int32_t head = 1; head <= claims.lines; ++head) {
        if (!free(head) || held.links.prev[static_cast<std::size_t>(head)] != 0) continue;
        OrphanChain orphan{head, head, 0};
        std::int32_t r = head;
        for (; free(r); r = held.links.next[static_cast<std::size_t>(r)]) {
            taken[static_cast<std::size_t>(r)] = true;
            orphan.end = r;
            ++orphan.count;
        }
        if (r == 0) found.push_back(orphan);
    }
    return found;
}
