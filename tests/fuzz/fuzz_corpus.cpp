// Starting inputs for the fuzzers, made by the sample-practice generator:
// small practices, sound and with each kind of damage the generator knows,
// written in the byte form the fuzzers decode, so that fuzzing begins from
// chains as the host lays them out and as technicians find them broken.
//
//   fuzz_corpus DIR
//
// Writes DIR/<fuzzer>/<practice> for each fuzzer. Every practice is decoded
// back before it is written and compared with the generator's files, so a
// drift between this encoder and DecodePractice stops the build of the
// corpus instead of silently fuzzing something else.
#include "store/records.h"
#include "store/state.h"
#include "platform/memory/memory_files.h"
#include "tests/fuzz/fuzz_practice.h"
#include "tools/practice/generator.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using practice::DataFile;
using Bytes = std::vector<std::uint8_t>;

// The most records of one file a fuzz input can carry (DecodePractice takes
// each count modulo 48, and patients modulo 9).
constexpr std::size_t MaxRecords = 47, MaxPatients = 8;

// Counter modes 7 for all four counters: each is then read as a whole int32,
// so a counter that disagrees with its file is carried exactly. Bit 7 keeps
// links as the generator wrote them.
constexpr std::uint8_t ExactCountersRawLinks = 0xBF;

void PutI32(Bytes& out, std::int32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i)));
}

// Whole records of a file, as many as fit.
std::size_t WholeRecords(const practice::Practice& p, DataFile f, std::size_t size) {
    return practice::FileOf(p, f).size() / size;
}

void PutRecords(Bytes& out, const practice::Practice& p, DataFile f, std::size_t records, std::size_t size) {
    const auto& b = practice::FileOf(p, f);
    out.insert(out.end(), b.begin(), b.begin() + static_cast<std::ptrdiff_t>(records * size));
}

// The practice part of a fuzz input; false when the practice is too big to
// be carried.
bool EncodePractice(const practice::Practice& p, Bytes& out) {
    const std::size_t patients = WholeRecords(p, DataFile::Firstrec, sizeof(FirstrecRecord));
    const std::size_t clinical = WholeRecords(p, DataFile::Clinique, sizeof(ClinicalLine));
    const std::size_t quotes = WholeRecords(p, DataFile::Estime, sizeof(QuoteLine));
    const std::size_t entries = WholeRecords(p, DataFile::Fschema, sizeof(ChartEntry));
    if (patients > MaxPatients || clinical > MaxRecords || quotes > MaxRecords || entries > MaxRecords) return false;
    out = {static_cast<std::uint8_t>(patients), static_cast<std::uint8_t>(clinical), static_cast<std::uint8_t>(quotes),
           static_cast<std::uint8_t>(entries), ExactCountersRawLinks};
    PutRecords(out, p, DataFile::Firstrec, patients, sizeof(FirstrecRecord));
    PutRecords(out, p, DataFile::Clinique, clinical, sizeof(ClinicalLine));
    PutRecords(out, p, DataFile::Estime, quotes, sizeof(QuoteLine));
    PutRecords(out, p, DataFile::Fschema, entries, sizeof(ChartEntry));
    PutI32(out, p.patients);
    PutI32(out, p.clinicalLines);
    PutI32(out, p.quoteLines);
    PutI32(out, p.chartEntries);
    return true;
}

// Decodes the input as the fuzzers will and compares with the generator.
bool DecodesBack(const practice::Practice& p, const Bytes& input, std::string& why) {
    FuzzInput in{input.data(), input.size()};
    DecodePractice(in);
    if (in.at != input.size()) {
        why = "the decoder read " + std::to_string(in.at) + " of " + std::to_string(input.size()) + " bytes";
        return false;
    }
    if (LastPatient != p.patients || LastClinicalLine != p.clinicalLines || LastQuoteLine != p.quoteLines ||
        LastChartEntry != p.chartEntries) {
        why = "the counters differ";
        return false;
    }
    const struct {
        DataFile file;
        const char* path;
        std::size_t size;
    } files[] = {{DataFile::Firstrec, "M:\\data\\firstrec", sizeof(FirstrecRecord)},
                 {DataFile::Clinique, "M:\\data\\clinique", sizeof(ClinicalLine)},
                 {DataFile::Estime, "M:\\data\\estime", sizeof(QuoteLine)},
                 {DataFile::Fschema, "M:\\data\\Fschema", sizeof(ChartEntry)}};
    for (const auto& f : files) {
        Bytes decoded;
        MemoryFileGet(f.path, decoded);
        const auto& made = practice::FileOf(p, f.file);
        const Bytes whole(made.begin(), made.begin() + static_cast<std::ptrdiff_t>(decoded.size()));
        if (decoded.size() != WholeRecords(p, f.file, f.size) * f.size || decoded != whole) {
            why = std::string(f.path) + " differs";
            return false;
        }
    }
    return true;
}

// What each fuzzer reads after the practice: for the views a small window
// and page, a browse from line 1; for the repairs one input per repair, on
// patient 3 (the damaged one) and line 2.
std::vector<Bytes> Tails(const std::string& fuzzer) {
    if (fuzzer == "fuzz_views") return {{60, 100, 1}};
    if (fuzzer == "fuzz_repairs") {
        std::vector<Bytes> tails;
        for (std::uint8_t repair = 0; repair < 8; ++repair)
            tails.push_back({repair, 3, 2, 0, 1, 2, 2, 0, 'A', 'B', 1, 2, 0, 0, 0, 5, 6, 0});
        return tails;
    }
    return {{}};
}

int written = 0;

// Writes one input; a corpus left half written would fuzz less than it says.
void WriteInput(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "fuzz_corpus: cannot write %s\n", path.string().c_str());
        std::exit(1);
    }
    ++written;
}

// The formatters' input: two ordinals, one clinical and one quote record,
// then a number as typed in a dialog.
void WriteFormatInputs(const fs::path& dir, const std::string& name, const practice::Practice& p) {
    const auto& clinique = practice::FileOf(p, DataFile::Clinique);
    const auto& estime = practice::FileOf(p, DataFile::Estime);
    const std::size_t n = std::min(clinique.size() / sizeof(ClinicalLine), estime.size() / sizeof(QuoteLine));
    for (std::size_t i = 0; i < n && i < 4; ++i) {
        Bytes in;
        PutI32(in, static_cast<std::int32_t>(i + 1));
        PutI32(in, static_cast<std::int32_t>(i + 1));
        in.insert(in.end(), clinique.begin() + static_cast<std::ptrdiff_t>(i * sizeof(ClinicalLine)),
                  clinique.begin() + static_cast<std::ptrdiff_t>((i + 1) * sizeof(ClinicalLine)));
        in.insert(in.end(), estime.begin() + static_cast<std::ptrdiff_t>(i * sizeof(QuoteLine)),
                  estime.begin() + static_cast<std::ptrdiff_t>((i + 1) * sizeof(QuoteLine)));
        const std::string typed = " " + std::to_string(i + 1);
        in.insert(in.end(), typed.begin(), typed.end());
        WriteInput(dir / (name + "-" + std::to_string(i + 1)), in);
    }
}

// Small practices: sound ones, then each damage kind on patient 3 of each
// file it applies to. A missing file cannot be carried (the decoder always
// lays out every file), nor a short lastrec (its counters are carried whole).
std::vector<std::pair<std::string, practice::Options>> Practices() {
    std::vector<std::pair<std::string, practice::Options>> list;
    practice::Options small;
    small.patients = 6;
    small.clinicalLines = 30;
    small.quoteLines = 24;
    small.chartEntries = 18;
    for (int variant = 0; variant < 4; ++variant) {
        practice::Options o = small;
        o.variant = variant;
        list.push_back({"sound-" + std::to_string(variant), o});
    }
    const char* files[] = {"clinique", "estime", "Fschema", "firstrec"};
    for (int k = 0; k < practice::damageKindCount; ++k) {
        const auto kind = static_cast<practice::DamageKind>(k);
        if (kind == practice::DamageKind::Missing) continue;
        for (const char* file : files) {
            std::string text = std::string(practice::DamageKindName(kind)) + ":" + file;
            if (kind == practice::DamageKind::Long) text += ":3:9";
            else if (kind != practice::DamageKind::Truncate) text += ":3";
            practice::Damage d;
            std::string error;
            if (!practice::ParseDamage(text, d, error)) continue; // a kind that does not apply to the file
            practice::Options o = small;
            o.damages = {d};
            std::string name = text;
            for (char& c : name)
                if (c == ':') c = '-';
            list.push_back({name, o});
        }
    }
    return list;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_corpus DIR\n");
        return 2;
    }
    const fs::path root = argv[1];
    const char* const fuzzers[] = {"fuzz_format", "fuzz_views", "fuzz_integrity", "fuzz_repairs", "fuzz_console"};
    std::error_code error;
    for (const char* f : fuzzers) fs::create_directories(root / f, error);

    int practices = 0, unbuilt = 0;
    for (const auto& [name, options] : Practices()) {
        practice::Practice p;
        std::string why;
        if (!practice::BuildPractice(options, p, why)) {
            ++unbuilt; // a damage this small practice cannot take
            continue;
        }
        Bytes encoded;
        if (!EncodePractice(p, encoded)) {
            std::fprintf(stderr, "fuzz_corpus: %s is too big for a fuzz input\n", name.c_str());
            return 1;
        }
        if (!DecodesBack(p, encoded, why)) {
            std::fprintf(stderr, "fuzz_corpus: %s does not decode back: %s\n", name.c_str(), why.c_str());
            return 1;
        }
        ++practices;
        WriteFormatInputs(root / "fuzz_format", name, p);
        for (const char* f : {"fuzz_views", "fuzz_integrity", "fuzz_repairs", "fuzz_console"}) {
            int t = 0;
            for (const Bytes& tail : Tails(f)) {
                Bytes in = encoded;
                in.insert(in.end(), tail.begin(), tail.end());
                WriteInput(root / f / (name + "-" + std::to_string(t++)), in);
            }
        }
    }
    std::printf("fuzz_corpus: %d practices (%d damages this size cannot take), %d inputs\n", practices, unbuilt,
                written);
    return practices > 0 ? 0 : 1;
}
