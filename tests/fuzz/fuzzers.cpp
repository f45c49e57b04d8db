// The fuzzers over the portable core, on practices held in memory, and their
// starting inputs: one source, built once per fuzzer as FUZZER names it.
#include "checks/checks.h"
#include "checks/print.h"
#include "checks/diagnosis.h"
#include "platform/fault.h"
#include "platform/memory/memory_files.h"
#include "platform/record/record.h"
#include "repairs/repairs.h"
#include "resources/resource.h"
#include "shell/app.h"
#include "shell/input.h"
#include "store/datafiles.h"
#include "store/format.h"
#include "store/journal.h"
#include "store/records.h"
#include "store/state.h"
#include "tools/practice/generator.h"
#include "viewers/views.h"
#include "window/state.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

using Bytes = std::vector<std::uint8_t>;
const char* const DataFileNames[9] = {"param",    "Fschema",  "firstrec", "lastrec",    "estime",
                                      "clinique", "identite", "patient",  "patient.tri"};
std::string PathOf(const char* name) { return std::string("M:\\data\\") + name; }
std::int32_t LineAnswer = 0; // what the "Ligne" dialog answers; below 0 it is cancelled
void Check(bool holds, const char* what) {
    if (!holds) std::fprintf(stderr, "fuzz check failed: %s\n", what), std::abort();
}

// Reads the fuzzer's bytes in order; past the end everything is 0.
struct Input {
    const std::uint8_t* data;
    std::size_t size, at = 0;
    std::uint8_t Byte() { return at < size ? data[at++] : 0; }
    std::int32_t Int32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 32; i += 8) v |= static_cast<std::uint32_t>(Byte()) << i;
        return static_cast<std::int32_t>(v);
    }
};

// A file's records; each link (offset, records of the file it points into)
// folded near that file, so that chains form, loop and cross.
void Records(Input& in, const char* name, std::int32_t count, std::size_t size,
             std::initializer_list<std::pair<std::size_t, std::int32_t>> links, bool fold) {
    Bytes b(static_cast<std::size_t>(count) * size);
    for (auto& c : b) c = in.Byte();
    for (std::size_t r = 0; fold && r < b.size(); r += size)
        for (const auto& [at, within] : links)
            StoreI32(&b[r + at], static_cast<std::int32_t>(static_cast<std::uint32_t>(LoadI32(&b[r + at])) %
                                                           static_cast<std::uint32_t>(within + 3)) - 1);
    MemoryFilePut(PathOf(name), std::move(b));
}

// Patients % 9, clinical lines, quote lines, chart entries each % 48, modes;
// firstrec, clinique, estime and Fschema records; the four counters: the
// file's own count, or with mode bit i a step off it (int8), with bit 4 any
// int32. Mode bit 7 keeps the links as given. Opened as the window would.
void DecodePractice(Input& in) {
    MemoryFilesReset(), FaultDisarm(), ResetStoreState(), ResetWindowState();
    MainWindow = WindowRef{0x1234};
    const std::int32_t counts[4] = {in.Byte() % 9, in.Byte() % 48, in.Byte() % 48, in.Byte() % 48};
    const auto [patients, lines, quotes, entries] = counts;
    const std::uint8_t modes = in.Byte();
    const bool fold = !(modes & 0x80);
    namespace F = FirstrecField;
    Records(in, "firstrec", patients, sizeof(FirstrecRecord),
            {{F::ClinicalStart, lines}, {F::ClinicalEnd, lines}, {F::QuoteStart, quotes}, {F::QuoteEnd, quotes},
             {F::ChartStart, entries}}, fold);
    namespace C = ClinicalField;
    namespace Q = QuoteField;
    Records(in, "clinique", lines, sizeof(ClinicalLine), {{C::PrevLine, lines}, {C::NextLine, lines}}, fold);
    Records(in, "estime", quotes, sizeof(QuoteLine), {{Q::PrevLine, quotes}, {Q::NextLine, quotes}}, fold);
    Records(in, "Fschema", entries, sizeof(ChartEntry), {{ChartField::NextEntry, entries}}, fold);
    Bytes lastrec(80 * 16, 0x5A);
    const int index[4] = {LastrecPatients, LastrecClinicalLines, LastrecQuoteLines, LastrecChartEntries};
    for (int i = 0; i < 4; ++i)
        StoreI32(&lastrec[16 * index[i] + 12], !(modes >> i & 1) ? counts[i]
                                               : modes & 0x10   ? in.Int32()
                                                                : counts[i] + static_cast<std::int8_t>(in.Byte()));
    MemoryFilePut(PathOf("lastrec"), std::move(lastrec));
    MemoryFilePut(PathOf("identite"), Bytes(static_cast<std::size_t>(patients) * sizeof(IdentiteRecord), 0x41));
    MemoryFilePut(PathOf("param"), Bytes(16, 1));
    MemoryFilePut(PathOf("patient"), Bytes(static_cast<std::size_t>(patients) * 40, 2));
    MemoryFilePut(PathOf("patient.tri"), Bytes(8, 3));
    OpenDataFileSet(MainWindow), LoadCounters(), ResetRecording();
    ReportDirectory = "M:\\tmp";
}

// The captions of the boxes shown since the recording was reset, in order.
std::string BoxCaptions() {
    std::string captions;
    for (const RecordedCall& box : RecordedBoxes()) captions += box.caption + "\n";
    return captions;
}

std::string Read(const std::string& path) { Bytes b; return MemoryFileGet(path, b), std::string(b.begin(), b.end()); }
void CheckNoDataFileWritten() {
    for (const char* name : DataFileNames) Check(MemoryFileWrites(PathOf(name)) == 0, "no data file is written");
}

// Counters small enough for a whole integrity test in milliseconds (larger take the same paths).
bool CountersWithinReach() { return LastClinicalLine <= 5000 && LastQuoteLine <= 5000 && LastPatient <= 1000; }

// Both line formatters on any record: bounded lines ending with a separator;
// the dialogs' number reading on any typed text, as the C library reads it.
void FuzzFormat(Input& in) {
    const std::int32_t ordinal = in.Int32(), number = in.Int32();
    ClinicalLine clinical;
    QuoteLine quote;
    for (auto& b : clinical.bytes) b = in.Byte();
    for (auto& b : quote.bytes) b = in.Byte();
    char out[ScreenLineCapacity + 8];
    std::memset(out, 0x7E, sizeof out);
    FormatClinicalLine(clinical, ordinal, number, out, ScreenLineCapacity);
    std::size_t n = std::strlen(out);
    Check(n >= 19 && n <= 230 && out[n - 1] == ColumnSeparator, "a clinical line's length and separator");
    Check(out[ScreenLineCapacity] == 0x7E, "a clinical line stays in its buffer");
    FormatQuoteLine(out, ScreenLineCapacity, quote, ordinal, number);
    n = std::strlen(out);
    Check(n >= 9 && n <= 110 && out[n - 1] == ColumnSeparator, "a quote line's length and separator");
    std::string typed; // what an edit control can hold, up to its first NUL
    for (char c; typed.size() < 40 && in.at < in.size && (c = static_cast<char>(in.Byte())) != 0;) typed += c;
    const long long wide = std::strtoll(typed.c_str(), nullptr, 10);
    Check(TextToNumber(typed.c_str()) == std::clamp<long long>(wide, INT_MIN, INT_MAX),
          "a typed number reads as the C library reads it, held within 32 bits");
}

// Every view of every patient, paged on the window and printed on a short
// sheet, and the raw browser: each ends, a printed walk draws at most a line
// per record, and no data file is written.
void FuzzViews(Input& in) {
    DecodePractice(in);
    SetRecordedClientBottom(100 + in.Byte() % 200);
    const int sheet = 150 + in.Byte() % 300;
    const std::int32_t browseFrom = static_cast<std::int8_t>(in.Byte());
    for (std::int32_t patient = 1; patient <= 8 && patient <= LastPatient; ++patient)
        for (std::int32_t mode = ModeClinicalFromStart; mode <= ModeDentalChart; ++mode) {
            CurrentMode = mode, CurrentPatient = patient, CurrentLine = 0, LineOrdinal = 0, ViewReady = 1;
            for (int page = 0; page < 12; ++page) PaintCurrentView(SurfaceRef{0x77});
            ResetRecording(); // which forgets the sheet
            SetRecordedVerticalResolution(sheet);
            PrintFont = FontRef{0x99}, CurrentLine = 0, ViewReady = 1;
            const bool clinical = mode <= ModeClinicalFromEnd, quotes = !clinical && mode <= ModeQuotesFromEnd;
            (clinical ? PaintClinicalChart : quotes ? PaintQuotes : PaintDentalChart)(SurfaceRef{0x5000}, 1);
            const std::int32_t counter = clinical ? LastClinicalLine : quotes ? LastQuoteLine : LastChartEntry;
            Check(RecordedTexts().size() <= 1u + static_cast<std::size_t>(std::max(counter, 0)),
                  "a printed walk draws the header and at most a line per record");
            ResetRecording();
        }
    for (std::int32_t mode : {ModeBrowseClinique, ModeBrowseEstime}) {
        CurrentMode = mode, CurrentLine = browseFrom, ViewReady = 1;
        for (int page = 0; page < 12; ++page) PaintCurrentView(SurfaceRef{0x77});
        ResetRecording();
    }
    CheckNoDataFileWritten();
}

// The integrity test of both files: it ends, writes no data file, leaves a
// map slot per line, and every report line is one of its eight forms.
void FuzzIntegrity(Input& in) {
    static const std::string_view forms[] = {
        "Erreur debutacte -> N° patient = ", "N° patient = ",  "Croisement N° patient = ",
        "Fiche alterée -> N° patient = ",     "Erreur suivant -> N° patient = ", "Erreur finacte -> N° patient = ",
        "Erreur Precedent -> N° patient = ", "Erreur lignes différentes début-fin -> N° patient = "};
    DecodePractice(in);
    if (!CountersWithinReach()) return;
    for (std::int32_t mode : {ModeTestClinique, ModeTestEstime}) {
        CurrentMode = mode;
        TestChainFile(WindowRef{0x1234});
        const std::int32_t n = mode == ModeTestClinique ? LastClinicalLine : LastQuoteLine;
        Check(Read("M:\\tmp\\testfich.txt").size() == static_cast<std::size_t>(std::max(n, 0)) * 4, "a slot per line");
        const std::string report = Read("M:\\tmp\\erreurfiche.txt");
        for (std::size_t at = 0, end; at < report.size(); at = end + 2) {
            Check((end = report.find("\r\n", at)) != std::string::npos, "every line ends with CR LF");
            Check(std::any_of(std::begin(forms), std::end(forms),
                              [&](std::string_view form) { return report.compare(at, form.size(), form) == 0; }),
                  "every line is one of the eight forms");
        }
    }
    CheckNoDataFileWritten();
}

// Each repair with any typed values, journaled: it ends, changes no file's
// size, every byte it changes lies in a field it may write, no write of it
// is refused for want of its read, and undoing its journal gives the files
// back as they were.
void FuzzRepairs(Input& in) {
    struct Field { const char* file; std::size_t size, from, to; }; // bytes [from, to) of each record of a file
    namespace C = ClinicalField;
    static const Field links[] = {{"clinique", 224, C::PrevLine, C::NextLine + 4},
                                  {"estime", 86, QuoteField::PrevLine, QuoteField::NextLine + 4},
                                  {"Fschema", 64, ChartField::NextEntry, ChartField::NextEntry + 4},
                                  {"firstrec", 32, FirstrecField::ClinicalStart, FirstrecField::ChartStart + 4}};
    static const std::vector<Field> allowed[8] = {
        {std::begin(links), std::end(links)}, // Corriger on a view, and relinking a line
        {},
        {links[3]},
        {{"identite", 1420, IdentiteField::Balance, IdentiteField::Balance + 8}},
        {{"clinique", 224, C::UserNumber, C::UserNumber + 1}},
        {{"clinique", 224, C::ColourCode, C::ColourCode + 1}, {"clinique", 224, C::ColourCode2, C::ColourCode2 + 1}},
        {{"clinique", 224, C::DesignNumber, C::DesignNumber + 2}},
        {{"clinique", 224, C::BilledMark, C::BilledMark + 1}, {"clinique", 224, C::ActCode, C::ActCode + 4},
         {"estime", 86, QuoteField::ActCode, QuoteField::ActCode + 4}}};
    DecodePractice(in);
    const std::uint8_t repair = in.Byte() % 8;
    CurrentPatient = static_cast<std::int8_t>(in.Byte());
    LineOrdinal = static_cast<std::int16_t>(in.Byte() | in.Byte() << 8);
    FirstLinkInput = static_cast<std::int8_t>(in.Byte()), SecondLinkInput = static_cast<std::int8_t>(in.Byte());
    LineAnswer = static_cast<std::int16_t>(in.Byte() | in.Byte() << 8);
    OldUser = static_cast<char>(in.Byte()), NewUser = static_cast<char>(in.Byte()), OldColour = in.Byte();
    NewColour = in.Byte(), OldDesign = static_cast<std::int8_t>(in.Byte()), NewDesign = in.Int32() % 1000;
    const std::uint8_t choice = in.Byte();
    std::vector<std::string> before;
    for (const char* name : DataFileNames) before.push_back(Read(PathOf(name)));
    JournalStart("M:\\data");
    // Every durability: the window's two, and the console's at commit.
    const auto durability = static_cast<JournalDurability>(choice / 16 % 3);
    JournalCommand("fuzz", durability);
    switch (repair) {
    case 0: CurrentMode = 1 + choice % 5, CorrectCurrentView(WindowRef{0x1234}); break;
    case 1: CurrentMode = choice % 2 ? ModeRelinkClinical : ModeRelinkQuote, RelinkLine(); break;
    case 2: CorrectFirstrec(static_cast<FirstrecTarget>(choice % 3)); break;
    case 3: if (CurrentPatient >= 1 && CurrentPatient <= LastPatient) ResetBalance(); break;
    case 4: ChangeUserNumbers(WindowRef{0x1234}); break;
    case 5: ChangeColourCodes(WindowRef{0x1234}); break;
    case 6: ChangeDesignNumbers(WindowRef{0x1234}); break;
    default: RemovePrescriptionBilling(WindowRef{0x1234});
    }
    JournalCommandEnd(); // at commit, the writes are made here
    for (std::size_t f = 0; f < before.size(); ++f) {
        const std::string after = Read(PathOf(DataFileNames[f]));
        Check(before[f].size() == after.size(), "a repair never changes a file's size");
        for (std::size_t i = 0; i < before[f].size(); ++i) {
            bool mayChange = before[f][i] == after[i];
            for (const Field& a : allowed[repair == 1 ? 0 : repair])
                mayChange |= !std::strcmp(a.file, DataFileNames[f]) && i % a.size >= a.from && i % a.size < a.to;
            Check(mayChange, "a repair changes only its own fields");
        }
    }
    const std::string journal = JournalPath();
    JournalStop();
    for (const RecordedCall& box : RecordedBoxes())
        Check(box.caption.rfind("Journal", 0) != 0, "every write is journaled");
    if (journal.empty()) return;
    Journal j;
    Check(ReadJournal(journal.c_str(), j) && !j.cut, "the journal reads back whole");
    UndoJournal(j, false, [](const JournalEntry&, UndoOutcome o, void*) {
        Check(o == UndoRestored, "every journaled write is undone");
    }, nullptr);
    for (std::size_t f = 0; f < before.size(); ++f)
        Check(Read(PathOf(DataFileNames[f])) == before[f], "undoing the journal gives the files back");
}

// The lines the links give from `r`, then the 0 ending them; at most limit + 1.
std::vector<std::int32_t> Walk(const LineChain& chain, std::int32_t r, bool forward, std::size_t limit) {
    std::vector<std::int32_t> lines;
    for (ChainLine line; r >= 1 && r <= *chain.counter && lines.size() <= limit && ReadChainLine(chain, r, line);) {
        lines.push_back(r);
        if ((r = forward ? ChainNext(chain, line) : ChainPrev(chain, line)) == 0) lines.push_back(0);
    }
    return lines;
}

// The console's analysis beside the window's test: over links held in
// memory it gives the window's report, owner map and boxes; claims,
// orphans and diagnoses end, writing nothing; the cut it proposes, made by
// Corriger, leaves the chain promised.
void FuzzConsole(Input& in) {
    DecodePractice(in);
    if (!CountersWithinReach()) return;
    EndsTable ends;
    LinkTable chart;
    LoadEnds(ends), LoadChartLinks(chart);
    HeldChain held[2]; // clinique, estime
    std::vector<OrphanChain> orphans[2];
    for (const auto& [mode, chain] : {std::pair{ModeTestClinique, &ClinicalChain}, {ModeTestEstime, &QuoteChain}}) {
        CurrentMode = mode;
        ResetRecording();
        TestChainFile(WindowRef{0x1234});
        const std::string windowBoxes = BoxCaptions();
        CurrentMode = ModeNone;
        HeldChain& h = held[chain == &QuoteChain];
        HoldChain(*chain, ends, h);
        HeldTest test;
        ResetRecording();
        TestHeldChain(h, nullptr, test);
        std::string map;
        for (std::uint32_t slot = 0; slot < OwnerMapSlots(h); ++slot)
            for (int i = 0; i < 32; i += 8) map += static_cast<char>(static_cast<std::uint32_t>(OwnerInSlot(h, test, slot)) >> i);
        Check(test.report == Read("M:\\tmp\\erreurfiche.txt") && map == Read("M:\\tmp\\testfich.txt"),
              "the console's test gives the window's report and owner map byte for byte");
        Check(BoxCaptions() == windowBoxes, "the console's test shows the window's boxes");
        ChainClaims claims;
        ClaimLines(h, claims);
        ClaimFindings(h, claims, test.findings);
        DiagnoseChains(h, {}, true, orphans[chain == &QuoteChain] = OrphanChains(h));
    }
    for (std::int32_t p = 1; p <= LastPatient && p <= 8; ++p) DiagnoseChart(ends, chart, p);
    CheckNoDataFileWritten();
    if (LastPatient < 1) return;
    const std::int32_t patient = 1 + in.Byte() % std::min(LastPatient, 8);
    const bool clinical = in.Byte() % 2;
    const LineChain& chain = clinical ? ClinicalChain : QuoteChain;
    const auto found = DiagnoseChains(held[!clinical], {patient}, false, orphans[!clinical]);
    if (found.empty()) return; // its firstrec record cannot be read
    const ChainDiagnosis& d = found.begin()->second;
    if (d.repair != RepairCutFromStart && d.repair != RepairCutFromEnd) return;
    const bool fromStart = d.repair == RepairCutFromStart;
    CurrentMode = clinical ? (fromStart ? ModeClinicalFromStart : ModeClinicalFromEnd)
                           : (fromStart ? ModeQuotesFromStart : ModeQuotesFromEnd);
    CurrentPatient = patient, LineAnswer = d.ordinal;
    RouteCommand(WindowRef{0x1234}, CMD_CORRECT);
    FirstrecRecord record;
    Check(ReadFirstrec(patient, record), "firstrec still reads");
    std::vector<std::int32_t> forward = d.kept, backward(d.kept.rbegin(), d.kept.rend());
    forward.push_back(0), backward.push_back(0);
    Check(Walk(chain, GetField(record, chain.startField), true, d.kept.size()) == forward &&
              Walk(chain, GetField(record, chain.endField), false, d.kept.size()) == backward,
          "after the proposed cut the chain is the one promised, from both ends");
}

} // namespace

// The shell's Win32 piece, answered for the fuzzers.
void RunInputDialog(WindowRef, DialogKind kind) {
    if (kind != DialogLigne) return DialogCancel(kind);
    if ((LineCorrectionConfirmed = LineAnswer >= 0)) LineOrdinal = LineAnswer;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in{data, size};
    using Fuzzer = std::pair<std::string_view, void (*)(Input&)>;
    for (const Fuzzer& f : {Fuzzer{"fuzz_format", FuzzFormat}, {"fuzz_views", FuzzViews}, {"fuzz_console", FuzzConsole},
                            {"fuzz_integrity", FuzzIntegrity}, {"fuzz_repairs", FuzzRepairs}})
        if (f.first == FUZZER) f.second(in);
    return 0;
}

#ifdef FUZZ_CORPUS
// fuzz_corpus DIR: small practices from the sample-practice generator, sound
// and with each damage it knows on patient 3, as inputs of each fuzzer in
// DIR/<fuzzer>/, so that fuzzing starts from chains as the host lays them out
// and as technicians find them broken.
int main(int argc, char** argv) {
    if (argc != 2) return std::fprintf(stderr, "usage: fuzz_corpus DIR\n"), 2;
    std::vector<std::string> practices = {"sound"};
    for (int k = 0; k < practice::damageKindCount; ++k)
        for (const char* file : {":clinique:3", ":estime:3", ":Fschema:3", ":firstrec:3"})
            practices.push_back(practice::DamageKindName(static_cast<practice::DamageKind>(k)) + std::string(file) +
                                (k == static_cast<int>(practice::DamageKind::Long) ? ":9" : ""));
    for (std::string name : practices) {
        practice::Options o;
        o.patients = 6, o.clinicalLines = 30, o.quoteLines = 24, o.chartEntries = 18;
        practice::Practice p;
        std::string error;
        if ((name != "sound" && !practice::ParseDamage(name, o.damages.emplace_back(), error)) ||
            !practice::BuildPractice(o, p, error))
            continue; // a damage that does not apply to the file
        Bytes in = {0, 0, 0, 0, 0x9F}; // the counters as int32, the links as written
        using D = practice::DataFile;
        const D files[] = {D::Firstrec, D::Clinique, D::Estime, D::Fschema};
        const unsigned sizes[] = {sizeof(FirstrecRecord), sizeof(ClinicalLine), sizeof(QuoteLine), sizeof(ChartEntry)};
        for (int f = 0; f < 4; ++f) {
            const Bytes& b = FileOf(p, files[f]);
            in[f] = static_cast<std::uint8_t>(b.size() / sizes[f]);
            in.insert(in.end(), b.begin(), b.begin() + static_cast<std::ptrdiff_t>(in[f] * sizes[f]));
        }
        for (std::int32_t counter : {p.patients, p.clinicalLines, p.quoteLines, p.chartEntries})
            for (int i = 0; i < 32; i += 8) in.push_back(static_cast<std::uint8_t>(std::uint32_t(counter) >> i));
        if (Input decoded{in.data(), in.size()}; (DecodePractice(decoded), decoded.at != in.size()))
            return std::fprintf(stderr, "fuzz_corpus: %s misread\n", name.c_str()), 1;
        for (char& c : name) c = c == ':' ? '-' : c;
        // After the practice, each repair on patient 3, line 2; patient 3's
        // chains for the console's cut; a page and a sheet for the views.
        for (const std::string fuzzer : {"fuzz_format", "fuzz_views", "fuzz_integrity", "fuzz_repairs", "fuzz_console"})
            for (std::uint8_t t = 0; t < (fuzzer == "fuzz_repairs" ? 8 : 2); ++t) {
                Bytes input = in;
                if (fuzzer == "fuzz_repairs") input.insert(input.end(), {t, 3, 2, 0, 1, 2, 2, 0, 'A', 'B', 5, 6, 1, 2});
                else input.insert(input.end(), {2, t});
                std::filesystem::create_directories(std::filesystem::path(argv[1]) / fuzzer);
                std::ofstream(std::filesystem::path(argv[1]) / fuzzer / (name + "-" + std::to_string(t)))
                    .write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
            }
    }
    return 0;
}
#endif
