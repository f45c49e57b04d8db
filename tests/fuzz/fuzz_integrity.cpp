// The integrity test of both files on any practice: it ends, writes no data
// file, and every report line is one of its eight forms.
#include "checks/checks.h"
#include "platform/memory/memory_files.h"
#include "store/state.h"
#include "tests/fuzz/fuzz_practice.h"

#include <cstring>
#include <string>

namespace {

bool KnownLine(const std::string& line) {
    // Written as the program writes them, in the same character set.
    static const char* const starts[] = {"Erreur debutacte -> N° patient = ",
                                         "N° patient = ",
                                         "Croisement N° patient = ",
                                         "Fiche alterée -> N° patient = ",
                                         "Erreur suivant -> N° patient = ",
                                         "Erreur finacte -> N° patient = ",
                                         "Erreur Precedent -> N° patient = ",
                                         "Erreur lignes différentes début-fin -> N° patient = "};
    for (const char* s : starts)
        if (line.rfind(s, 0) == 0) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size};
    DecodePractice(in);
    if (!CountersWithinReach()) return 0;
    const DataSnapshot before = SnapshotDataFiles();
    for (std::int32_t mode : {ModeTestClinique, ModeTestEstime}) {
        CurrentMode = mode;
        TestChainFile(0x1234);
        std::vector<std::uint8_t> report, map;
        FuzzCheck(MemoryFileGet("M:\\tmp\\erreurfiche.txt", report), "the report exists");
        FuzzCheck(MemoryFileGet("M:\\tmp\\testfich.txt", map), "the owner map exists");
        const std::int32_t n = mode == ModeTestClinique ? LastClinicalLine : LastQuoteLine;
        FuzzCheck(map.size() == (n > 0 ? static_cast<std::size_t>(n) * 4 : 0u), "one slot per line");
        std::string text(report.begin(), report.end());
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = text.find("\r\n", at);
            FuzzCheck(end != std::string::npos, "every line ends with CR LF");
            FuzzCheck(KnownLine(text.substr(at, end - at)), "every line is one of the eight forms");
            at = end + 2;
        }
    }
    FuzzCheck(before.files == SnapshotDataFiles().files, "the test writes no data file");
    return 0;
}
