// The diagnosis' words for one chain of one patient, as `diagnose` prints
// them, for the commands that report on diagnoses (reparer).
#pragma once

#include "checks/diagnosis.h"
#include "checks/findings.h"

#include <cstdint>
#include <string>
#include <vector>

struct ChainExplanation {
    std::vector<std::string> text; // lines, Windows-1252 with the marks of walk pictures
    std::string json;              // the chain's object in diagnose --json
};

// `findings`: the integrity test's about this patient and chain.
ChainExplanation ExplainLineChain(const LineChain& chain, std::int32_t patient, const ChainDiagnosis& diagnosis,
                                  const std::vector<Finding>& findings, const ChainClaims& claims,
                                  const std::vector<OrphanChain>& orphans);
ChainExplanation ExplainChartChain(std::int32_t patient, const ChartDiagnosis& diagnosis);
