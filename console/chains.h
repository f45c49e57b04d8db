// The console's own look at the chains, beyond the window's report: the
// record behind each finding of the report, every patient claiming a
// contested line, the lines in use that no chain reaches, and the chains
// nobody points to. It reads records without boxes (the integrity test has
// shown the one a record deserves) and never writes.
#pragma once

#include "console/findings.h"
#include "store/recordio.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One record read without a box; false when it cannot be read whole.
bool PeekFirstrec(std::int32_t patient, FirstrecRecord& record);
bool PeekLine(const LineChain& chain, std::int32_t number, ChainLine& line);
bool PeekEntry(std::int32_t number, ChartEntry& entry);

// Lines of the chain's file that exist in it, at most its counter.
std::int32_t LinesPresent(const LineChain& chain);

// The findings of the window's report, in its order, each with the record it
// is about, worked out by walking the chains again with the owner map the
// test left. Returns false when what this gives is not byte for byte the
// report (then `findings` holds the report's lines without records).
bool ExplainReport(const LineChain& chain, const std::string& ownerMap, const std::string& report,
                   std::vector<Finding>& findings);

// Which patients' walks (forward from the start, backward from the end,
// each up to a loop, a link out of the file or an unreadable record) reach
// each line.
struct ChainClaims {
    std::int32_t lines = 0;                 // lines examined: 1..lines
    std::vector<std::int32_t> first;        // first claimant of each line; 0 = none
    std::map<std::int32_t, std::vector<std::int32_t>> contested; // line -> every claimant, ascending
};
void ClaimLines(const LineChain& chain, ChainClaims& claims);
// "contested-line" for each line claimed twice, "unreachable-line" for each
// line claimed by nobody.
void ClaimFindings(const ChainClaims& claims, std::vector<Finding>& findings);

// Chains among the lines nobody reaches: a line whose previous link is 0,
// followed forward through unreached lines to a next link of 0.
struct OrphanChain {
    std::int32_t start = 0, end = 0, count = 0;
};
std::vector<OrphanChain> OrphanChains(const LineChain& chain, const ChainClaims& claims);
