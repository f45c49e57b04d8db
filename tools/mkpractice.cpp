// mkpractice: writes a sample host data directory, sound or with the damages
// asked for, and prints what it did.

#include "tools/practice/generator.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char usage[] =
    "usage: mkpractice DIR [--patients N] [--lines N] [--quotes N] [--chart N]\n"
    "                  [--variant K] [--sound] [--damage KIND:FILE[:PATIENT[:VALUE]]]...\n"
    "       mkpractice --list-damage | --help\n"
    "\n"
    "Writes param, Fschema, firstrec, lastrec, estime, clinique, identite, patient\n"
    "and patient.tri into DIR (created if needed).\n"
    "  --patients N   patients (default 40)\n"
    "  --lines N      clinical lines (default 10 per patient)\n"
    "  --quotes N     quote lines (default half the clinical lines)\n"
    "  --chart N      dental chart entries (default a quarter of the clinical lines)\n"
    "  --variant K    another K, another practice; the same options give the same bytes\n"
    "  --damage D     inject damage D; repeat for several (see --list-damage)\n"
    "  --sound        lay the practice out for the damages but do not inject them\n";

bool Count(const char* text, std::int32_t& value) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!*text || *end || v < 0 || v > 100000000) return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "mkpractice: %s\n", message.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    practice::Options options;
    std::string dir;
    bool linesGiven = false, quotesGiven = false, chartGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
        if (arg == "--list-damage") {
            for (const auto& line : practice::DamageKindHelp()) std::printf("%s\n", line.c_str());
            return 0;
        }
        if (arg == "--sound") {
            options.leaveSound = true;
            continue;
        }
        std::int32_t* number = nullptr;
        if (arg == "--patients") number = &options.patients;
        else if (arg == "--lines") number = &options.clinicalLines, linesGiven = true;
        else if (arg == "--quotes") number = &options.quoteLines, quotesGiven = true;
        else if (arg == "--chart") number = &options.chartEntries, chartGiven = true;
        else if (arg == "--variant") number = &options.variant;
        if (number || arg == "--damage") {
            if (i + 1 >= argc) return Fail(arg + " needs a value");
            const char* value = argv[++i];
            if (number) {
                if (!Count(value, *number)) return Fail(arg + ": '" + value + "' is not a number of 0 or more");
                continue;
            }
            practice::Damage damage;
            std::string error;
            if (!practice::ParseDamage(value, damage, error)) return Fail(error);
            options.damages.push_back(damage);
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') return Fail("unknown option " + arg + " (see --help)");
        if (!dir.empty()) return Fail("one directory only ('" + dir + "', then '" + arg + "')");
        dir = arg;
    }
    if (dir.empty()) {
        std::fputs(usage, stderr);
        return 2;
    }
    if (!linesGiven) options.clinicalLines = 10 * options.patients; // both bounded by Count: no overflow
    if (!quotesGiven) options.quoteLines = options.clinicalLines / 2;
    if (!chartGiven) options.chartEntries = options.clinicalLines / 4;

    practice::Practice built;
    std::string error;
    if (!practice::BuildPractice(options, built, error)) return Fail(error);
    if (!practice::WritePractice(dir, built, error)) return Fail(error);
    std::printf("%s\n", dir.c_str());
    for (const auto& line : built.manifest) std::printf("  %s\n", line.c_str());
    return 0;
}
