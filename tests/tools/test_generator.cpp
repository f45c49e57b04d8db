// The sample-practice generator on a practice small enough to read by hand
// (3 patients; clinique 12 lines, estime 9, Fschema 6 entries): the same
// options give the same bytes, and each damage changes exactly the bytes its
// help names. Then mkpractice's command line.
#include "tools/practice/generator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace L = hostlayout;
using practice::DataFile;
using practice::FileOf;

practice::Practice Tiny(const std::string& damage = "", bool sound = false, std::int32_t variant = 0) {
    practice::Options o;
    o.patients = 3, o.clinicalLines = 12, o.quoteLines = 9, o.chartEntries = 6, o.variant = variant;
    o.leaveSound = sound;
    std::string error;
    if (!damage.empty()) { EXPECT_TRUE(practice::ParseDamage(damage, o.damages.emplace_back(), error)) << error; }
    practice::Practice built;
    EXPECT_TRUE(practice::BuildPractice(o, built, error)) << error;
    return built;
}

std::size_t RecordSize(DataFile f) {
    return f == DataFile::Firstrec ? 32 : f == DataFile::Clinique ? 224 : f == DataFile::Estime ? 86 : 64;
}

std::int64_t Value(const practice::Practice& p, DataFile file, std::size_t record, L::Field f) {
    return L::GetSigned(L::Record(FileOf(p, file), RecordSize(file), record), f);
}

TEST(Generator, SameOptionsSameBytesAnotherVariantOthers) {
    const practice::Practice first = Tiny("loop:estime:2"), other = Tiny("loop:estime:2", false, 1);
    EXPECT_EQ(first.files, Tiny("loop:estime:2").files);
    for (DataFile f : {DataFile::Firstrec, DataFile::Clinique, DataFile::Estime, DataFile::Fschema})
        EXPECT_NE(FileOf(first, f), FileOf(other, f)) << practice::DataFileName(f);
}

struct Change { DataFile file; std::size_t record; L::Field field; std::int64_t before, after; };

TEST(Generator, EachDamageChangesTheBytesItNamesAndNothingElse) {
    namespace F = L::firstrec;
    namespace C = L::clinique;
    namespace E = L::estime;
    const L::Field chart = L::fschema::next;
    constexpr DataFile Fr = DataFile::Firstrec, Cl = DataFile::Clinique, Es = DataFile::Estime, Fs = DataFile::Fschema;
    const struct {
        const char* damage;
        std::vector<Change> changes; // every byte changed lies in these fields
        DataFile cut = DataFile::Param;
        std::size_t size = SIZE_MAX; // the size of `cut` now; 0: left out
    } cases[] = { // "before": in the practice laid out for the damage but left sound
        {"start-negative:clinique:2", {{Fr, 2, F::clinicalStart, 1, -1}}},
        {"start-high:clinique:2", {{Fr, 2, F::clinicalStart, 1, 13}}}, // the counter is 12
        {"end-negative:clinique:2", {{Fr, 2, F::clinicalEnd, 12, -1}}},
        {"end-high:clinique:2", {{Fr, 2, F::clinicalEnd, 12, 13}}},
        {"first-prev:clinique:2", {{Cl, 1, C::prev, 0, 7}}}, // 7: in use, in no chain
        {"last-next:clinique:2", {{Cl, 12, C::next, 0, 7}}},
        {"next-high:clinique:2", {{Cl, 6, C::next, 10, 13}}},
        {"prev-high:clinique:2", {{Cl, 6, C::prev, 5, 13}}},
        {"uneven:clinique:2", {{Cl, 12, C::prev, 9, 10}}}, // ... 10, 9, 12: line 9 skipped backwards
        {"loop:clinique:2", {{Cl, 12, C::next, 0, 1}}},
        {"shared:clinique:2", {{Fr, 2, F::clinicalStart, 5, 1}, {Fr, 2, F::clinicalEnd, 12, 11}}}, // patient 1's
        {"end-high:estime:3:50", {{Fr, 3, F::quoteEnd, 9, 50}}}, // a value given
        {"first-prev:estime:3", {{Es, 1, E::prev, 0, 9}}},
        {"last-next:estime:3", {{Es, 8, E::next, 0, 9}}},
        {"start-high:Fschema:1", {{Fr, 1, F::chartStart, 1, 8}}}, // laid out with 7 entries
        {"next-high:Fschema:3:100000", {{Fs, 5, chart, 7, 100000}}},
        {"shared:Fschema:1", {{Fr, 1, F::chartStart, 4, 1}}},
        // Nothing changed: the chain laid out is the damage, 5 9 10 12.
        {"long:clinique:2:4",
         {{Fr, 2, F::clinicalStart, 5, 5}, {Cl, 5, C::next, 9, 9}, {Cl, 9, C::next, 10, 10},
          {Cl, 10, C::next, 12, 12}, {Cl, 12, C::next, 0, 0}, {Fr, 2, F::clinicalEnd, 12, 12}}},
        // A record cut in half: patient 2's last line, the last record, patient 2's.
        {"truncate:clinique:2", {}, Cl, 11 * 224 + 112},
        {"truncate:firstrec:2", {}, Fr, 32 + 16},
        {"truncate:lastrec", {}, DataFile::Lastrec, 79 * 16 + 8},
        {"missing:patient.tri", {}, DataFile::PatientTri, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damage);
        const practice::Practice sound = Tiny(c.damage, true), damaged = Tiny(c.damage);
        std::vector<std::string> unnamed;
        for (int f = 0; f < practice::dataFileCount; ++f) {
            const auto file = static_cast<DataFile>(f);
            const L::Bytes &was = FileOf(sound, file), &is = FileOf(damaged, file);
            if (file == c.cut && c.size != SIZE_MAX) {
                EXPECT_EQ(damaged.present[f], c.size > 0);
                if (c.size) { EXPECT_EQ(is, L::Bytes(was.begin(), was.begin() + static_cast<std::ptrdiff_t>(c.size))); }
                continue;
            }
            ASSERT_EQ(was.size(), is.size());
            for (std::size_t i = 0; i < was.size(); ++i) {
                bool named = was[i] == is[i];
                for (const Change& k : c.changes) {
                    const std::size_t at = (k.record - 1) * RecordSize(k.file) + k.field.at;
                    named |= k.file == file && i >= at && i < at + k.field.width;
                }
                if (!named) unnamed.push_back(std::string(practice::DataFileName(file)) + "@" + std::to_string(i));
            }
        }
        EXPECT_EQ(unnamed, std::vector<std::string>{});
        for (const Change& k : c.changes) {
            EXPECT_EQ(Value(sound, k.file, k.record, k.field), k.before);
            EXPECT_EQ(Value(damaged, k.file, k.record, k.field), k.after);
        }
    }
}

// Run after run in one directory: what each says, its exit status, and the
// sizes of param, Fschema, firstrec, lastrec, estime, clinique, identite,
// patient and patient.tri in p afterwards (-1: not there). A refused run
// writes nothing; a run without some file removes the one written before.
TEST(Mkpractice, CommandLine) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("chkort-mkpractice-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    using Sizes = std::vector<long>;
    const Sizes none(9, -1);
    const struct {
        const char* args;
        int status;
        const char* says;
        Sizes after;
    } runs[] = {
        {"", 2, "usage: mkpractice DIR", none},
        {"--list-damage", 0, "  uneven *        the last line's previous link skips a line", none},
        {"p --patients -3", 2, "mkpractice: --patients: '-3' is not a number of 0 or more", none},
        {"p --frobnicate", 2, "mkpractice: unknown option --frobnicate (see --help)", none},
        {"p --damage nope:clinique:1", 2, "unknown damage kind 'nope'", none},
        {"p --damage end-high:Fschema:3", 2, "the dental chart has no end pointer", none},
        {"p --damage loop:clinique:41", 2, "loop:clinique:41: the practice has 40 patients", none},
        {"p --damage loop:clinique:3 --damage last-next:clinique:3", 2, "another damage already changes", none},
        {"p --damage long:clinique:3:2 --damage uneven:clinique:3", 2, "of 2 lines is too short", none},
        {"p --patients 3 --lines 12 --quotes 9 --chart 6", 0,
         "variant 0: 3 patients, clinique 12 lines, estime 9 lines, Fschema 6 entries",
         {512, 384, 96, 1280, 774, 2688, 4260, 120, 48}},
        // Lines 10 a patient, quotes half of them, chart entries a quarter.
        {"p --patients 3 --damage missing:param", 0, "  missing:param: param left out",
         {-1, 448, 96, 1280, 1290, 6720, 4260, 120, 48}},
        {"p --patients 0", 0, "0 patients, clinique 0 lines", {512, 0, 0, 1280, 0, 0, 0, 0, 0}}, // empty files
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.args);
        const std::string command = "cd " + dir.string() + " && " MKPRACTICE_PATH " " + run.args + " >out 2>&1";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == run.status) << status;
        std::stringstream out;
        out << std::ifstream(dir / "out").rdbuf();
        EXPECT_NE(out.str().find(run.says), std::string::npos) << out.str();
        Sizes after;
        for (int f = 0; f < practice::dataFileCount; ++f) {
            const fs::path file = dir / "p" / practice::DataFileName(static_cast<DataFile>(f));
            after.push_back(fs::exists(file) ? static_cast<long>(fs::file_size(file)) : -1);
        }
        EXPECT_EQ(after, run.after);
    }
    fs::remove_all(dir);
}

} // namespace
