// mkpractice's command line, run after run in one directory: what each run
// says, its exit status, and the files it leaves (a refused run writes
// nothing; a run without some file removes the one a previous run wrote).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

TEST(Mkpractice, CommandLine) {
    const fs::path dir = fs::temp_directory_path() / ("chkort-mkpractice-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    // Sizes of param, Fschema, firstrec, lastrec, estime, clinique, identite,
    // patient and patient.tri afterwards; -1: not there.
    using Sizes = std::vector<long>;
    const Sizes none(9, -1);
    const struct {
        const char* args;
        int status;
        const char* says;
        Sizes after;
    } runs[] = {
        {"", 2, "usage: mkpractice DIR", none},
        {"--help", 0, "--sound        lay the practice out for the damages", none},
        {"--list-damage", 0, "  uneven *        the last line's previous link skips a line", none},
        {"p --patients -3", 2, "mkpractice: --patients: '-3' is not a number of 0 or more", none},
        {"p --lines many", 2, "mkpractice: --lines: 'many' is not a number of 0 or more", none},
        {"p --patients", 2, "mkpractice: --patients needs a value", none},
        {"p --frobnicate", 2, "mkpractice: unknown option --frobnicate (see --help)", none},
        {"p q", 2, "mkpractice: one directory only ('p', then 'q')", none},
        {"p --damage nope:clinique:1", 2, "unknown damage kind 'nope'", none},
        {"p --damage loop:clinique", 2, "loop:clinique: a patient number (1 or more) is needed", none},
        {"p --damage truncate:param", 2, "no counter gives the size of param", none},
        {"p --damage first-prev:estime:2:0", 2, "the value must be other than 0", none},
        {"p --damage end-high:Fschema:3", 2, "the dental chart has no end pointer", none},
        {"p --damage loop:clinique:41", 2, "loop:clinique:41: the practice has 40 patients", none},
        {"p --damage start-high:clinique:3:400", 2, "the value must be above the counter, 400", none},
        {"p --damage loop:clinique:3 --damage last-next:clinique:3", 2, "another damage already changes", none},
        {"p --damage long:clinique:3:2 --damage uneven:clinique:3", 2, "of 2 lines is too short", none},
        {"p --damage truncate:estime --damage missing:estime", 2, "estime is already truncated or missing", none},
        {"p --patients 3 --lines 12 --quotes 9 --chart 6", 0,
         "variant 0: 3 patients, clinique 12 lines, estime 9 lines, Fschema 6 entries",
         {512, 384, 96, 1280, 774, 2688, 4260, 120, 48}},
        // Lines 10 a patient, quotes half of them, chart entries a quarter.
        {"p --patients 3 --damage missing:param", 0, "  missing:param: param left out",
         {-1, 448, 96, 1280, 1290, 6720, 4260, 120, 48}},
        // Empty files are written too.
        {"p --patients 0", 0, "0 patients, clinique 0 lines", {512, 0, 0, 1280, 0, 0, 0, 0, 0}},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(run.args);
        const std::string command = "cd " + dir.string() + " && " MKPRACTICE_PATH " " + run.args + " >out 2>&1";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), run.status);
        std::stringstream out;
        out << std::ifstream(dir / "out").rdbuf();
        EXPECT_NE(out.str().find(run.says), std::string::npos) << out.str();
        Sizes after;
        for (const char* name : {"param", "Fschema", "firstrec", "lastrec", "estime", "clinique", "identite",
                                 "patient", "patient.tri"})
            after.push_back(fs::exists(dir / "p" / name) ? static_cast<long>(fs::file_size(dir / "p" / name)) : -1);
        EXPECT_EQ(after, run.after);
    }
    fs::remove_all(dir);
}

} // namespace
