// What is wrong with one patient's chains, and which repair of the window
// mends it, with the exact inputs. Computed from the chains themselves; it
// only proposes and never writes.
#pragma once

#include "checks/held_chains.h"

#include <cstdint>
#include <map>
#include <vector>

// How a walk along a chain ended.
enum WalkStop {
    StopEnd,        // a link of 0: the normal end
    StopNoStart,    // the pointer it starts from is 0
    StopBadStart,   // the pointer is below 0 or above the counter
    StopOutOfRange, // a link below 0 or above the counter
    StopLoop,       // a link back to a line of this walk
    StopForeign,    // a line kept by a lower-numbered patient's chain
    StopUnreadable, // a line the file does not hold whole
};

struct ChainWalk {
    std::vector<std::int32_t> lines; // visited, in order, the stopping line excluded
    WalkStop stop = StopEnd;
    std::int32_t link = 0;  // the pointer or link it stopped on
    std::int32_t owner = 0; // StopForeign: whose line that is
};

enum RepairKind {
    RepairNone,
    RepairCutFromStart, // view from the start, Options > Corriger with `ordinal`
    RepairCutFromEnd,   // view from the end, Options > Corriger with `ordinal`
    RepairFirstrec,     // Correction du Firstrec with newStart, newEnd
};

struct ChainDiagnosis {
    std::int32_t start = 0, end = 0; // the firstrec pointers
    ChainWalk forward, backward;
    bool sound = false;              // both walks agree on a whole chain (or both pointers are 0)
    RepairKind repair = RepairNone;
    std::int32_t ordinal = 0;
    std::int32_t newStart = 0, newEnd = 0;
    std::vector<std::int32_t> kept;  // the chain once repaired, first line first
};

// The choice of repair, from the two walks already in `d`; `orphans` are the
// chains nobody reaches, one of which a patient left with nothing of its own
// may be given back.
void ChooseRepair(ChainDiagnosis& d, const std::vector<OrphanChain>& orphans);

// Diagnoses patients 1 to the highest of `wanted`, or to the last patient
// with `everyUnsound`, in order: each one walks its chain both ways, and a
// line that a lower-numbered patient's repaired chain keeps is not its own,
// as the integrity test reports a crossing under the higher number. Returns
// the diagnoses of the patients wanted, and with `everyUnsound` of every
// patient whose chain is not sound; a patient whose firstrec record cannot
// be read has none.
std::map<std::int32_t, ChainDiagnosis> DiagnoseChains(HeldChain& held, const std::vector<std::int32_t>& wanted,
                                                      bool everyUnsound, const std::vector<OrphanChain>& orphans);

// Whether the patient's firstrec record can be read: without it nothing of
// its chains can be said.
bool PatientReadable(const EndsTable& ends, std::int32_t patient);

// The dental chart, a forward chain only.
struct ChartDiagnosis {
    std::int32_t start = 0;
    ChainWalk walk;
    bool sound = false;
    RepairKind repair = RepairNone; // RepairCutFromStart (the chart's view) or RepairFirstrec
    std::int32_t ordinal = 0;
};
ChartDiagnosis DiagnoseChart(const EndsTable& ends, LinkTable& chart, std::int32_t patient);
