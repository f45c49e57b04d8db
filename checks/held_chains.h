// The chains held in memory: the window's integrity test run over a whole
// file's links read at once, and beyond its report, every patient claiming a
// contested line, the lines in use that no chain reaches, and the chains
// nobody points to. It never writes a data file.
#pragma once

#include "checks/findings.h"
#include "store/links.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A chain file's links and the patients' ends, read once for every walk.
// The test, the claims and the diagnosis each keep their word per line in
// the links' marks, starting afresh: what one leaves there is good until the
// next of them runs.
struct HeldChain {
    const LineChain* chain = nullptr;
    const EndsTable* ends = nullptr;
    LinkTable links;
};
// False when the chain's file is not open.
bool HoldChain(const LineChain& chain, const EndsTable& ends, HeldChain& held);

// The last patient the walks go to: the one before the first whose firstrec
// record lies wholly beyond the end of the file, where the test ends too (a
// damaged patient counter in the millions would otherwise cost a read per
// patient, for nothing).
std::int32_t LastWalkedPatient(const EndsTable& ends);

// Read-ahead for walks in memory. Each step of a walk waits for its line to
// come from memory; a few scouts walk the forward chains of the patients to
// come, one step each whenever the walk takes one, so that their lines are
// in the cache when the walk reaches them. The scouts' loads do not wait on
// one another: several are under way at once instead of one.
struct ReadAhead {
    static constexpr int Scouts = 8;
    static constexpr std::int32_t Lead = 128;      // patients ahead, at most
    static constexpr std::int32_t MostSteps = 512; // a looping chain ends here
    std::int32_t line[Scouts] = {};
    std::int32_t steps[Scouts] = {};
    std::int64_t patient = 0; // the next patient to scout
    bool refilling = false;
    int walking = 0; // scouts on a chain after the last step
};
// One step of each scout while `patient` is walked.
void ScoutAhead(ReadAhead& ahead, const HeldChain& held, std::int32_t patient);

// The integrity test over the held links: the report, byte for byte the
// window's, its findings with the record each is about, and the owner map
// (in the marks, and for lines not held, in `farOwners`). `turn`, when
// given, is told of each patient's turn.
struct HeldTest {
    std::string report;             // lines ending in CR LF, Windows-1252
    std::vector<Finding> findings;  // the report's, and the records it could not read
    int unreadable = 0;             // records that could not be read (the window's boxes)
    std::int32_t endedAt = 0;       // the patient whose firstrec record lies beyond the file, where the test ended
    std::map<std::uint32_t, std::int32_t> farOwners; // slots of lines read one by one
};
void TestHeldChain(HeldChain& held, void (*turn)(std::int32_t patient), HeldTest& test);

// The owner map as the window's test leaves it in its file: a 32-bit slot
// per line of the counter (lines 2^30 apart share one), each the patient
// named for the line or 0. WriteOwnerMap is false when `path` cannot be
// written.
std::uint32_t OwnerMapSlots(const HeldChain& held);
std::int32_t OwnerInSlot(const HeldChain& held, const HeldTest& test, std::uint32_t slot);
bool WriteOwnerMap(const HeldChain& held, const HeldTest& test, const std::string& path);

// Which patients' walks (forward from the start, backward from the end,
// each up to a loop, a link out of the file or an unreadable record) reach
// each line held: the first claimant in its mark (0 = none), and every
// claimant of the lines claimed twice.
struct ChainClaims {
    std::map<std::int32_t, std::vector<std::int32_t>> contested; // line -> every claimant, ascending
};
void ClaimLines(HeldChain& held, ChainClaims& claims);
// Patient `p` reaches line `r`, whose first claimant is `first` (0: none
// yet): `first` takes p, or the line joins `contested` with every claimant.
// Patients come in ascending order.
void ClaimLine(std::int32_t& first, std::int32_t p, std::int32_t r,
               std::map<std::int32_t, std::vector<std::int32_t>>& contested);
// After ClaimLines: "contested-line" for each line claimed twice,
// "unreachable-line" for each line claimed by nobody.
void ClaimFindings(const HeldChain& held, const ChainClaims& claims, std::vector<Finding>& findings);
// After ClaimLines, the lines held that nobody claims, in order.
std::vector<std::int32_t> UnreachableLines(const HeldChain& held);

// After ClaimLines, the chains among the lines nobody reaches: a line whose
// previous link is 0, followed forward through unreached lines to a next
// link of 0.
struct OrphanChain {
    std::int32_t start = 0, end = 0, count = 0;
};
std::vector<OrphanChain> OrphanChains(const HeldChain& held);

// The chains among the records of `links` that `unclaimed(r)` says nobody
// reaches: from each unclaimed record `head(r)` accepts, followed forward
// through unclaimed records not taken by a chain already, kept when they end
// on a next link of 0.
template <typename Unclaimed, typename Head>
std::vector<OrphanChain> FollowOrphanChains(const LinkTable& links, Unclaimed unclaimed, Head head) {
    const std::int32_t count = links.held;
    std::vector<OrphanChain> found;
    std::vector<bool> taken(static_cast<std::size_t>(count) + 1, false);
    auto free = [&](std::int32_t r) {
        return r >= 1 && r <= count && unclaimed(r) && !taken[static_cast<std::size_t>(r)];
    };
    for (std::int32_t first = 1; first <= count; ++first) {
        if (!free(first) || !head(first)) continue;
        OrphanChain orphan{first, first, 0};
        std::int32_t r = first;
        for (; free(r); r = links.records[static_cast<std::size_t>(r)].next) {
            taken[static_cast<std::size_t>(r)] = true;
            orphan.end = r;
            ++orphan.count;
        }
        if (r == 0) found.push_back(orphan);
    }
    return found;
}
