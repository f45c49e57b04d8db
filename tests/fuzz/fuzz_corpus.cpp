// Starting inputs for the fuzzers: small practices from the sample-practice
// generator, sound and with each kind of damage it knows on patient 3, in the
// byte form DecodePractice reads, so that fuzzing begins from chains as the
// host lays them out and as technicians find them broken.
//
//   fuzz_corpus DIR      writes DIR/<fuzzer>/<practice>[-<n>]
#include "store/records.h"
#include "store/state.h"
#include "tests/fuzz/fuzz_practice.h"
#include "tools/practice/generator.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

using Bytes = std::vector<std::uint8_t>;

int main(int argc, char** argv) {
    if (argc != 2) return std::fprintf(stderr, "usage: fuzz_corpus DIR\n"), 2;
    std::vector<std::string> damages = {"sound", "variant-1", "variant-2"};
    for (int k = 0; k < practice::damageKindCount; ++k)
        for (const char* file : {"clinique", "estime", "Fschema", "firstrec"})
            damages.push_back(std::string(practice::DamageKindName(static_cast<practice::DamageKind>(k))) + ":" +
                              file + ":3" + (k == static_cast<int>(practice::DamageKind::Long) ? ":9" : ""));
    // After the practice: a page and a sheet for the views; patient 3 for the
    // console's cut; each repair on patient 3, line 2.
    std::vector<std::pair<std::string, std::vector<Bytes>>> tails = {
        {"fuzz_integrity", {{}}}, {"fuzz_views", {{60, 100, 1}}}, {"fuzz_console", {{2, 0}, {2, 1}}}, {"fuzz_repairs", {}}};
    for (std::uint8_t r = 0; r < 8; ++r) tails[3].second.push_back({r, 3, 2, 0, 1, 2, 2, 0, 'A', 'B', 1, 2, 0, 0, 0, 5, 6, 0});
    int written = 0;
    auto write = [&](const std::string& fuzzer, const std::string& name, const Bytes& bytes) {
        std::filesystem::create_directories(std::filesystem::path(argv[1]) / fuzzer);
        std::ofstream(std::filesystem::path(argv[1]) / fuzzer / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        ++written;
    };
    for (std::string name : damages) {
        practice::Options o;
        o.patients = 6, o.clinicalLines = 30, o.quoteLines = 24, o.chartEntries = 18;
        practice::Practice p;
        std::string error;
        if (name.rfind("variant-", 0) == 0) o.variant = name.back() - '0';
        else if (name != "sound" && !practice::ParseDamage(name, o.damages.emplace_back(), error)) continue;
        if (!practice::BuildPractice(o, p, error)) continue; // a damage that does not apply to the file
        // The counters read whole as int32, the links as written.
        Bytes in = {0, 0, 0, 0, 0x9F};
        const std::pair<practice::DataFile, std::size_t> files[] = {
            {practice::DataFile::Firstrec, sizeof(FirstrecRecord)}, {practice::DataFile::Clinique, sizeof(ClinicalLine)},
            {practice::DataFile::Estime, sizeof(QuoteLine)}, {practice::DataFile::Fschema, sizeof(ChartEntry)}};
        for (int f = 0; f < 4; ++f) {
            const Bytes& b = FileOf(p, files[f].first);
            in[f] = static_cast<std::uint8_t>(b.size() / files[f].second);
            in.insert(in.end(), b.begin(), b.begin() + static_cast<std::ptrdiff_t>(in[f] * files[f].second));
        }
        for (std::int32_t counter : {p.patients, p.clinicalLines, p.quoteLines, p.chartEntries})
            for (int i = 0; i < 4; ++i) in.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(counter) >> 8 * i));
        FuzzInput decoded{in.data(), in.size()};
        DecodePractice(decoded);
        if (decoded.at != in.size() || in[0] > 8 || in[1] > 47 || in[2] > 47 || in[3] > 47 || LastPatient != p.patients ||
            LastClinicalLine != p.clinicalLines)
            return std::fprintf(stderr, "fuzz_corpus: %s does not decode back\n", name.c_str()), 1;
        for (char& c : name) c = c == ':' ? '-' : c;
        for (const auto& [fuzzer, ends] : tails)
            for (std::size_t t = 0; t < ends.size(); ++t) {
                Bytes input = in;
                input.insert(input.end(), ends[t].begin(), ends[t].end());
                write(fuzzer, name + "-" + std::to_string(t), input);
            }
        // The formatters: ordinals 1, the practice's first clinical and quote lines, a typed number.
        Bytes format = {1, 0, 0, 0, 1, 0, 0, 0};
        const auto clinical = in.begin() + 5 + static_cast<std::ptrdiff_t>(sizeof(FirstrecRecord) * in[0]);
        const auto quote = clinical + static_cast<std::ptrdiff_t>(sizeof(ClinicalLine) * in[1]);
        format.insert(format.end(), clinical, clinical + sizeof(ClinicalLine));
        format.insert(format.end(), quote, quote + sizeof(QuoteLine));
        format.insert(format.end(), {' ', '1', '2'});
        write("fuzz_format", name, format);
    }
    std::printf("fuzz_corpus: %d inputs\n", written);
    return 0;
}
