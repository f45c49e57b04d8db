// The console's own analysis on any practice, after the window's integrity
// test: its second walk explains the window's report line for line, and its
// claims, orphan chains and diagnoses of every patient end without writing
// any data file. Two walks written apart that must agree: a difference is a
// fault in one of them.
#include "checks/checks.h"
#include "console/chains.h"
#include "console/diagnose.h"
#include "platform/memory/memory_files.h"
#include "store/state.h"
#include "tests/fuzz/fuzz_practice.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size};
    DecodePractice(in);
    // As for the integrity test alone: huge counters are merely long.
    if (LastClinicalLine > 100000 || LastQuoteLine > 100000 || LastPatient > 10000) return 0;
    const DataSnapshot before = SnapshotDataFiles();
    for (const auto& [mode, chain] : {std::pair{ModeTestClinique, &ClinicalChain}, std::pair{ModeTestEstime, &QuoteChain}}) {
        CurrentMode = mode;
        TestChainFile(0x1234);
        CurrentMode = ModeNone;
        std::vector<std::uint8_t> report, map;
        FuzzCheck(MemoryFileGet("M:\\tmp\\erreurfiche.txt", report) && MemoryFileGet("M:\\tmp\\testfich.txt", map),
                  "the test wrote its two files");
        std::vector<Finding> findings;
        FuzzCheck(ExplainReport(*chain, std::string(map.begin(), map.end()), std::string(report.begin(), report.end()),
                                findings),
                  "the console's walk gives the window's report byte for byte");
        ChainClaims claims;
        ClaimLines(*chain, claims);
        ClaimFindings(claims, findings);
        const std::vector<OrphanChain> orphans = OrphanChains(*chain, claims);
        DiagnoseChains(*chain, {}, true, orphans);
    }
    for (std::int32_t p = 1; p <= LastPatient && p <= 8; ++p) DiagnoseChart(p);
    FuzzCheck(before.files == SnapshotDataFiles().files, "the analysis writes no data file");
    return 0;
}
