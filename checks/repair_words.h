// The repair plan's words: what each chain is called, why a chain is left
// to a person, and what became of a chain after reparer (Windows-1252; the
// console converts on output).
#pragma once

#include "checks/explain.h"
#include "checks/repair_plan.h"

#include <cstdint>
#include <string>
#include <vector>

struct PlanChainWords {
    const char* key;   // JSON
    const char* title; // as diagnose titles it
    const char* unit;  // what the chain links, plural
};
extern const PlanChainWords PlanChainNames[PlanChainCount];

// What became of a chain.
enum RepairOutcome {
    OutcomeNone,     // nothing to say
    OutcomeToRepair, // --essai: sure, to be made
    OutcomeRepaired,
    OutcomeLeft,     // not sure: for a person
    OutcomeReported, // the test reports it, no repair of its own mends it
};

struct ChainRun {
    RepairOutcome outcome = OutcomeNone;
    ChainExplanation words;
    std::vector<Finding> after; // the test's findings about it after the repairs
    bool retested = false;
    bool mended = true;         // nothing of it is left after the repairs
};

// "[3, 7]"
std::string NumbersJson(const std::vector<std::int32_t>& values);

// What a reparer run did, chain by chain (runs[patient index][chain]), and
// what is left.
struct RepairRun {
    std::vector<std::vector<ChainRun>> runs;
    bool touched[PlanChainCount] = {};
    bool stopped = false; // a transfer failed
    std::string journal;  // its name, once made
    Recheck recheck;
    std::size_t repaired = 0, toRepair = 0;
    std::vector<std::int32_t> toExamine;
    bool remains = false;
};

// Each chain's outcome, with the diagnosis' words as they were before the
// repairs (with their JSON forms when `json`), and whether anything of it is
// left after the test ran again.
void JudgeRun(const RepairPlan& plan, bool dryRun, bool json, RepairRun& run);
// The run's report: each patient's chains, the tests run again, and the
// summary line.
std::string RepairRunText(const RepairPlan& plan, const RepairRun& run, bool dryRun);
// The items of the report's JSON list of patients (UTF-8).
std::string RepairRunJson(const RepairPlan& plan, const RepairRun& run, bool dryRun);
