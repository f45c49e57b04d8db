// The console's own analysis on any practice, after the window's integrity
// test: its second walk gives the window's report byte for byte, and its
// claims, orphan chains and diagnoses end without writing a data file. Then
// the cut it proposes for one patient, made by the window's "Corriger",
// leaves exactly the chain it promised, whole both ways.
#include "checks/checks.h"
#include "console/chains.h"
#include "console/diagnose.h"
#include "platform/memory/memory_files.h"
#include "resources/resource.h"
#include "shell/app.h"
#include "store/state.h"
#include "tests/fuzz/fuzz_practice.h"

#include <string>

namespace {

// The lines the links now give from `from`, and the 0 that ends them, for at
// most `limit` lines and one more.
std::vector<std::int32_t> Walk(const LineChain& chain, std::int32_t from, bool forward, std::size_t limit) {
    std::vector<std::int32_t> lines;
    ChainLine line;
    for (std::int32_t r = from; r >= 1 && r <= *chain.counter && lines.size() <= limit && PeekLine(chain, r, line);) {
        lines.push_back(r);
        if ((r = forward ? ChainNext(chain, line) : ChainPrev(chain, line)) == 0) lines.push_back(0);
    }
    return lines;
}

void CheckProposedCut(FuzzInput& in) {
    if (LastPatient < 1) return;
    const std::int32_t patient = 1 + in.Byte() % (LastPatient < 8 ? LastPatient : 8);
    const bool clinical = in.Byte() % 2;
    const LineChain& chain = clinical ? ClinicalChain : QuoteChain;
    ChainClaims claims;
    ClaimLines(chain, claims);
    const auto found = DiagnoseChains(chain, {patient}, false, OrphanChains(chain, claims));
    if (found.empty()) return;
    const ChainDiagnosis& d = found.begin()->second;
    if (d.repair != RepairCutFromStart && d.repair != RepairCutFromEnd) return;
    const bool fromStart = d.repair == RepairCutFromStart;
    CurrentMode = clinical ? (fromStart ? ModeClinicalFromStart : ModeClinicalFromEnd)
                           : (fromStart ? ModeQuotesFromStart : ModeQuotesFromEnd);
    CurrentPatient = patient;
    FuzzLineAnswer = d.ordinal;
    RouteCommand(0x1234, CMD_CORRECT);

    FirstrecRecord ends;
    FuzzCheck(PeekFirstrec(patient, ends), "firstrec still reads");
    std::vector<std::int32_t> expected = d.kept;
    expected.push_back(0);
    FuzzCheck(Walk(chain, GetField(ends, chain.startField), true, d.kept.size()) == expected,
              "after the proposed cut the chain is the one promised, from its start");
    expected.assign(d.kept.rbegin(), d.kept.rend());
    expected.push_back(0);
    FuzzCheck(Walk(chain, GetField(ends, chain.endField), false, d.kept.size()) == expected,
              "after the proposed cut the chain is the one promised, from its end");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size};
    DecodePractice(in);
    if (!CountersWithinReach()) return 0;
    for (const auto& [mode, chain] : {std::pair{ModeTestClinique, &ClinicalChain}, std::pair{ModeTestEstime, &QuoteChain}}) {
        CurrentMode = mode;
        TestChainFile(0x1234);
        CurrentMode = ModeNone;
        std::vector<std::uint8_t> report, map;
        MemoryFileGet("M:\\tmp\\erreurfiche.txt", report);
        MemoryFileGet("M:\\tmp\\testfich.txt", map);
        std::vector<Finding> findings;
        FuzzCheck(ExplainReport(*chain, std::string(map.begin(), map.end()), std::string(report.begin(), report.end()),
                                findings),
                  "the console's walk gives the window's report byte for byte");
        ChainClaims claims;
        ClaimLines(*chain, claims);
        ClaimFindings(claims, findings);
        DiagnoseChains(*chain, {}, true, OrphanChains(*chain, claims));
    }
    for (std::int32_t p = 1; p <= LastPatient && p <= 8; ++p) DiagnoseChart(p);
    FuzzCheck(DataFileWrites() == 0, "the analysis writes no data file");
    CheckProposedCut(in);
    return 0;
}
