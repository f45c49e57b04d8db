// diagnose's answer for a practice: each patient asked for (or every one
// the test or the walks find something wrong with), each of its chains
// explained with the window's repair, and the patients nothing can be said
// of. Computed from the open chain files; a file that is not open is said
// to be so, and the others are diagnosed all the same.
#pragma once

#include "checks/explain.h"
#include "checks/repair_plan.h"
#include "platform/console/text.h"

#include <cstdint>
#include <vector>

struct PatientDiagnosis {
    std::int32_t patient = 0;
    ChainExplanation chains[PlanChainCount];
    bool repairable = false; // a repair is proposed for one of its chains
    bool damaged = false;    // something is wrong with a chain that could be read
};

struct PracticeDiagnosis {
    bool open[PlanChainCount] = {};          // the chain files diagnosed
    std::vector<PatientDiagnosis> patients;  // ascending
    std::vector<NumberRun> unreadable;       // patients whose firstrec record cannot be read, ascending
    std::vector<std::int32_t> toRepair;      // patients with a repair proposed
    std::vector<std::int32_t> reportedOnly;  // damaged, with nothing to repair
};

// `turn`, when given, is told of each patient's turn in the integrity tests;
// `json`: the chains' JSON forms are made too.
void DiagnosePractice(const std::vector<std::int32_t>& wanted, bool every, bool json, void (*turn)(std::int32_t patient),
                      PracticeDiagnosis& out);
