// The repair plan: which of the diagnosis' repairs can be made without a
// person, patient by patient and chain by chain, and why each other one is
// left to a person.
//
// A repair is sure when all three hold:
//  1. it keeps every line that a sound walk of the patient reaches: from
//     either pointer, the lines reached along links that the line reached
//     confirms (its link the other way names the line it was reached from);
//  2. it gives the patient no line that another patient's walk reaches;
//  3. it has exactly one answer: the chain it keeps ends on a link of 0, or
//     on the line the other pointer names (both ends agree where it stops);
//     a chain emptied, or a dental chart cut, leaves no chain of several
//     lines that nobody reaches (it could be what is left out); and nothing
//     rests on a file shorter than its counter, nor on a pointer or link
//     above the counter that names a record the file holds (the counter
//     itself may be wrong).
#pragma once

#include "checks/diagnosis.h"
#include "checks/held_chains.h"

#include <cstdint>
#include <map>
#include <set>
#include <vector>

enum PlanChain { PlanClinique, PlanDevis, PlanSchema, PlanChainCount };

// Why a chain is left to a person; a chain may have several reasons.
enum LeftReason : unsigned {
    LeftDropsLines = 1u << 0,     // the repair would leave out lines a sound walk reaches
    LeftSharedLines = 1u << 1,    // lines are reached by another patient's walk too
    LeftGivesOrphan = 1u << 2,    // it would give the patient a chain nobody reaches: a guess
    LeftCandidates = 1u << 3,     // chains nobody reaches could be what the repair leaves out
    LeftOpenEnd = 1u << 4,        // the kept walk breaks where the other pointer does not end it
    LeftShortFile = 1u << 5,      // a walk runs past the end of a file shorter than its counter
    LeftCounter = 1u << 6,        // a pointer or link above the counter names a record of the file
    LeftNoRepair = 1u << 7,       // the test reports it, and no repair of this chain mends it
    LeftUnreadableEnds = 1u << 8, // the patient's firstrec record cannot be read
};

struct ChainPlan {
    bool damaged = false; // the test or the walks find something wrong
    bool sure = false;    // the diagnosis' repair is to be made
    unsigned left = 0;    // LeftReason bits of a damaged chain that is not sure
    std::vector<std::int32_t> others;  // LeftSharedLines: the other patients, ascending
    std::vector<std::int32_t> dropped; // LeftDropsLines: the lines it would leave out
};

struct PatientPlan {
    std::int32_t patient = 0;
    bool endsReadable = true; // else every chain is left (LeftUnreadableEnds)
    ChainPlan chains[PlanChainCount];
};

// A line chain file as the diagnosis saw it.
struct LineChainState {
    const LineChain* chain = nullptr;
    HeldChain held;
    std::vector<Finding> findings; // the integrity test's
    ChainClaims claims;
    std::vector<OrphanChain> orphans;
    std::map<std::int32_t, ChainDiagnosis> diagnoses; // of the planned patients
};

// The dental chart: which patients' walks reach each entry, and the chains
// of entries nobody reaches (a walk of the chart has no other direction to
// check it by).
struct ChartState {
    LinkTable links;
    std::vector<std::int32_t> claimant; // by entry: the first patient reaching it, 0 for none
    std::map<std::int32_t, std::vector<std::int32_t>> contested; // entry -> every patient reaching it
    std::vector<OrphanChain> orphans;
    std::map<std::int32_t, ChartDiagnosis> diagnoses;
};

struct RepairPlan {
    EndsTable ends;
    LineChainState lines[2]; // clinique, devis (PlanClinique, PlanDevis)
    ChartState chart;
    std::int32_t endedAt = 0; // the first patient whose firstrec record lies beyond the file, or 0
    std::vector<PatientPlan> patients; // ascending
};

// One line chain file: held, tested, its lines claimed and the chains
// nobody reaches found. False, with nothing done, when its file is not open.
// `turn` as below; `endedAt` takes the patient where the test ended, if it
// did before the last.
bool StudyLineChain(const LineChain& chain, const EndsTable& ends, void (*turn)(std::int32_t patient),
                    LineChainState& s, std::int32_t& endedAt);
// The diagnoses of `patients`, and with `every` of each patient whose chain
// is not sound, who joins them.
void DiagnoseLines(LineChainState& s, std::set<std::int32_t>& patients, bool every);
// The findings about patient `p`.
std::vector<Finding> FindingsOf(const std::vector<Finding>& findings, std::int32_t p);

// Tests and diagnoses every chain file of the open practice and judges each
// repair. The patients are those of `wanted`, or with `every` each one with
// something wrong. `turn`, when given, is told of each patient's turn in the
// integrity tests.
void PlanRepairs(const std::vector<std::int32_t>& wanted, bool every, void (*turn)(std::int32_t patient),
                 RepairPlan& plan);

// After repairs, from the files as they are now: the integrity test of each
// line chain file `touched` again, and the dental chart of each planned
// patient whose chart was touched.
struct Recheck {
    bool tested[2] = {};
    std::vector<Finding> findings[2];        // of the files tested again
    std::map<std::int32_t, bool> chartSound; // by patient
};
void RecheckPlan(RepairPlan& plan, const bool touched[PlanChainCount], void (*turn)(std::int32_t patient),
                 Recheck& out);
