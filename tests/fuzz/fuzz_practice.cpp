#include "tests/fuzz/fuzz_practice.h"

#include "checks/checks.h"
#include "checks/print.h"
#include "platform/fault.h"
#include "platform/memory/memory_files.h"
#include "platform/record/record.h"
#include "shell/input.h"
#include "store/datafiles.h"
#include "store/records.h"
#include "store/state.h"

#include <cstdio>
#include <cstdlib>
#include <string>

std::int32_t FuzzLineAnswer = 0;

namespace {

const char* const Names[] = {"param", "Fschema", "firstrec", "lastrec", "estime", "clinique", "identite",
                             "patient", "patient.tri", nullptr};

std::string PathOf(const char* name) { return std::string("M:\\data\\") + name; }

// Records of a file from the input, each link field (offset, records of the
// file it points into) folded near that file.
using Links = std::initializer_list<std::pair<std::size_t, std::int32_t>>;
std::vector<std::uint8_t> Records(FuzzInput& in, std::int32_t count, std::size_t size, Links links, bool fold) {
    std::vector<std::uint8_t> b(static_cast<std::size_t>(count) * size);
    for (auto& c : b) c = in.Byte();
    for (std::size_t r = 0; fold && r < b.size(); r += size)
        for (const auto& [at, within] : links) {
            const auto raw = static_cast<std::uint32_t>(LoadI32(&b[r + at]));
            StoreI32(&b[r + at], static_cast<std::int32_t>(raw % static_cast<std::uint32_t>(within + 3)) - 1);
        }
    return b;
}

} // namespace

void FuzzCheck(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

bool CountersWithinReach() { return LastClinicalLine <= 5000 && LastQuoteLine <= 5000 && LastPatient <= 1000; }

void DecodePractice(FuzzInput& in) {
    MemoryFilesReset();
    ResetRecording();
    FaultDisarm();
    ResetSharedState();
    MainWindow = 0x1234;

    const std::int32_t counts[4] = {in.Byte() % 9, in.Byte() % 48, in.Byte() % 48, in.Byte() % 48};
    const auto [patients, clinical, quotes, entries] = counts;
    const std::uint8_t modes = in.Byte();
    const bool fold = !(modes & 0x80);
    namespace F = FirstrecField;
    MemoryFilePut(PathOf("firstrec"), Records(in, patients, sizeof(FirstrecRecord),
                                              {{F::ClinicalStart, clinical}, {F::ClinicalEnd, clinical},
                                               {F::QuoteStart, quotes}, {F::QuoteEnd, quotes},
                                               {F::ChartStart, entries}},
                                              fold));
    MemoryFilePut(PathOf("clinique"),
                  Records(in, clinical, sizeof(ClinicalLine),
                          {{ClinicalField::PrevLine, clinical}, {ClinicalField::NextLine, clinical}}, fold));
    MemoryFilePut(PathOf("estime"), Records(in, quotes, sizeof(QuoteLine),
                                            {{QuoteField::PrevLine, quotes}, {QuoteField::NextLine, quotes}}, fold));
    MemoryFilePut(PathOf("Fschema"),
                  Records(in, entries, sizeof(ChartEntry), {{ChartField::NextEntry, entries}}, fold));

    std::vector<std::uint8_t> lastrec(80 * 16, 0x5A);
    const int index[4] = {LastrecPatients, LastrecClinicalLines, LastrecQuoteLines, LastrecChartEntries};
    for (int i = 0; i < 4; ++i) {
        std::int32_t value = counts[i];
        if (modes >> i & 1) value = modes & 0x10 ? in.Int32() : value + static_cast<std::int8_t>(in.Byte());
        StoreI32(&lastrec[16 * index[i] + 12], value);
    }
    MemoryFilePut(PathOf("lastrec"), std::move(lastrec));
    std::vector<std::uint8_t> identite(static_cast<std::size_t>(patients) * sizeof(IdentiteRecord));
    for (std::size_t i = 0; i < identite.size(); ++i) identite[i] = static_cast<std::uint8_t>(i * 13 + 1);
    MemoryFilePut(PathOf("identite"), std::move(identite));
    MemoryFilePut(PathOf("param"), std::vector<std::uint8_t>(16, 1));
    MemoryFilePut(PathOf("patient"), std::vector<std::uint8_t>(static_cast<std::size_t>(patients) * 40, 2));
    MemoryFilePut(PathOf("patient.tri"), std::vector<std::uint8_t>(8, 3));

    OpenDataFileSet(MainWindow);
    LoadCounters();
    ResetRecording();
    ReportDirectory = "M:\\tmp";
}

std::vector<std::vector<std::uint8_t>> DataFiles(const char* const** names) {
    if (names) *names = Names;
    std::vector<std::vector<std::uint8_t>> files;
    for (const char* const* n = Names; *n; ++n) MemoryFileGet(PathOf(*n), files.emplace_back());
    return files;
}

unsigned DataFileWrites() {
    unsigned writes = 0;
    for (const char* const* n = Names; *n; ++n) writes += MemoryFileWrites(PathOf(*n));
    return writes;
}

// The shell's Win32 pieces, answered for the fuzzers.
void RunInputDialog(WindowRef, DialogKind kind) {
    if (kind != DialogLigne) return DialogCancel(kind);
    LineCorrectionConfirmed = FuzzLineAnswer >= 0;
    if (LineCorrectionConfirmed) LineOrdinal = FuzzLineAnswer;
}

void PrintCurrentView(WindowRef) { PrintViewFromStart(0x5000); }
