// The integrity test of both files on any practice: it ends, writes no data
// file, leaves an owner map of one slot per line, and every report line is
// one of its eight forms.
#include "checks/checks.h"
#include "platform/memory/memory_files.h"
#include "store/state.h"
#include "tests/fuzz/fuzz_practice.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Written as the program writes them, in the same character set.
    static const char* const forms[] = {"Erreur debutacte -> N° patient = ",
                                        "N° patient = ",
                                        "Croisement N° patient = ",
                                        "Fiche alterée -> N° patient = ",
                                        "Erreur suivant -> N° patient = ",
                                        "Erreur finacte -> N° patient = ",
                                        "Erreur Precedent -> N° patient = ",
                                        "Erreur lignes différentes début-fin -> N° patient = "};
    FuzzInput in{data, size};
    DecodePractice(in);
    if (!CountersWithinReach()) return 0;
    for (std::int32_t mode : {ModeTestClinique, ModeTestEstime}) {
        CurrentMode = mode;
        TestChainFile(0x1234);
        std::vector<std::uint8_t> report, map;
        FuzzCheck(MemoryFileGet("M:\\tmp\\erreurfiche.txt", report) && MemoryFileGet("M:\\tmp\\testfich.txt", map),
                  "the report and the owner map exist");
        const std::int32_t n = mode == ModeTestClinique ? LastClinicalLine : LastQuoteLine;
        FuzzCheck(map.size() == (n > 0 ? static_cast<std::size_t>(n) * 4 : 0u), "one slot per line");
        const std::string text(report.begin(), report.end());
        for (std::size_t at = 0, end; at < text.size(); at = end + 2) {
            FuzzCheck((end = text.find("\r\n", at)) != std::string::npos, "every line ends with CR LF");
            bool known = false;
            for (const char* form : forms) known |= text.compare(at, std::string(form).size(), form) == 0;
            FuzzCheck(known, "every line is one of the eight forms");
        }
    }
    FuzzCheck(DataFileWrites() == 0, "the test writes no data file");
    return 0;
}
