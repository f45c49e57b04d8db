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

std::int32_t FuzzLineAnswer = 0;

namespace {

const char* const Names[] = {"param", "Fschema", "firstrec", "lastrec", "estime", "clinique", "identite",
                             "patient", "patient.tri", nullptr};

std::string PathOf(const char* name) { return std::string("M:\\data\\") + name; }

// A link near the file most of the time, so that chains form, loop and
// cross; a raw value otherwise, so that far and negative values occur too.
void FoldLink(std::uint8_t* field, std::int32_t count, bool fold) {
    if (!fold) return;
    const auto raw = static_cast<std::uint32_t>(LoadI32(field));
    StoreI32(field, static_cast<std::int32_t>(raw % static_cast<std::uint32_t>(count + 3)) - 1);
}

std::vector<std::uint8_t> Records(FuzzInput& in, std::int32_t count, std::size_t size) {
    std::vector<std::uint8_t> b(static_cast<std::size_t>(count) * size);
    for (auto& c : b) c = in.Byte();
    return b;
}

std::int32_t Counter(FuzzInput& in, std::int32_t count, std::uint8_t mode) {
    switch (mode % 8) {
    case 6: return static_cast<std::int8_t>(in.Byte()) + count; // shorter or longer than the file
    case 7: return in.Int32();                                  // anything at all
    default: return count;
    }
}

} // namespace

void FuzzCheck(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

const char* const* DataFileNames() { return Names; }

bool CountersWithinReach() { return LastClinicalLine <= 5000 && LastQuoteLine <= 5000 && LastPatient <= 1000; }

void DecodePractice(FuzzInput& in) {
    MemoryFilesReset();
    ResetRecording();
    FaultDisarm();
    ResetSharedState();
    MainWindow = 0x1234;

    const std::int32_t patients = in.Byte() % 9;
    const std::int32_t clinical = in.Byte() % 48;
    const std::int32_t quotes = in.Byte() % 48;
    const std::int32_t entries = in.Byte() % 48;
    const std::uint8_t modes = in.Byte();
    const bool fold = (modes & 0x80) == 0;

    std::vector<std::uint8_t> firstrec = Records(in, patients, sizeof(FirstrecRecord));
    for (std::int32_t p = 0; p < patients; ++p) {
        std::uint8_t* r = firstrec.data() + p * sizeof(FirstrecRecord);
        FoldLink(r + FirstrecField::ClinicalStart, clinical, fold);
        FoldLink(r + FirstrecField::ClinicalEnd, clinical, fold);
        FoldLink(r + FirstrecField::QuoteStart, quotes, fold);
        FoldLink(r + FirstrecField::QuoteEnd, quotes, fold);
        FoldLink(r + FirstrecField::ChartStart, entries, fold);
    }
    std::vector<std::uint8_t> clinique = Records(in, clinical, sizeof(ClinicalLine));
    for (std::int32_t i = 0; i < clinical; ++i) {
        FoldLink(clinique.data() + i * sizeof(ClinicalLine) + ClinicalField::PrevLine, clinical, fold);
        FoldLink(clinique.data() + i * sizeof(ClinicalLine) + ClinicalField::NextLine, clinical, fold);
    }
    std::vector<std::uint8_t> estime = Records(in, quotes, sizeof(QuoteLine));
    for (std::int32_t i = 0; i < quotes; ++i) {
        FoldLink(estime.data() + i * sizeof(QuoteLine) + QuoteField::PrevLine, quotes, fold);
        FoldLink(estime.data() + i * sizeof(QuoteLine) + QuoteField::NextLine, quotes, fold);
    }
    std::vector<std::uint8_t> fschema = Records(in, entries, sizeof(ChartEntry));
    for (std::int32_t i = 0; i < entries; ++i)
        FoldLink(fschema.data() + i * sizeof(ChartEntry) + ChartField::NextEntry, entries, fold);

    std::vector<std::uint8_t> lastrec(80 * 16, 0x5A);
    StoreI32(lastrec.data() + 16 * LastrecPatients + 12, Counter(in, patients, modes));
    StoreI32(lastrec.data() + 16 * LastrecClinicalLines + 12, Counter(in, clinical, modes >> 1));
    StoreI32(lastrec.data() + 16 * LastrecQuoteLines + 12, Counter(in, quotes, modes >> 2));
    StoreI32(lastrec.data() + 16 * LastrecChartEntries + 12, Counter(in, entries, modes >> 3));

    std::vector<std::uint8_t> identite(static_cast<std::size_t>(patients) * sizeof(IdentiteRecord));
    for (std::size_t i = 0; i < identite.size(); ++i) identite[i] = static_cast<std::uint8_t>(i * 13 + 1);

    MemoryFilePut(PathOf("param"), std::vector<std::uint8_t>(16, 1));
    MemoryFilePut(PathOf("Fschema"), std::move(fschema));
    MemoryFilePut(PathOf("firstrec"), std::move(firstrec));
    MemoryFilePut(PathOf("lastrec"), std::move(lastrec));
    MemoryFilePut(PathOf("estime"), std::move(estime));
    MemoryFilePut(PathOf("clinique"), std::move(clinique));
    MemoryFilePut(PathOf("identite"), std::move(identite));
    MemoryFilePut(PathOf("patient"), std::vector<std::uint8_t>(static_cast<std::size_t>(patients) * 40, 2));
    MemoryFilePut(PathOf("patient.tri"), std::vector<std::uint8_t>(8, 3));

    OpenDataFileSet(MainWindow);
    LoadCounters();
    ResetRecording();
    ReportDirectory = "M:\\tmp";
}

DataSnapshot SnapshotDataFiles() {
    DataSnapshot s;
    for (const char* const* n = Names; *n; ++n) {
        std::vector<std::uint8_t> b;
        MemoryFileGet(PathOf(*n), b);
        s.files.push_back(std::move(b));
    }
    return s;
}

// The shell's Win32 pieces, answered for the fuzzers.
void RunInputDialog(WindowRef, DialogKind kind) {
    if (kind == DialogLigne) {
        LineCorrectionConfirmed = FuzzLineAnswer >= 0;
        if (LineCorrectionConfirmed) LineOrdinal = FuzzLineAnswer;
    } else {
        DialogCancel(kind);
    }
}

void PrintCurrentView(WindowRef) { PrintViewFromStart(0x5000); }
