// The command line writes what the library builds, and refuses what it cannot
// honour without writing anything.

#include "tests/tools/support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status;
    std::string out;
};

Outcome Mkpractice(const std::string& arguments) {
    const fs::path out = fs::temp_directory_path() / ("chkort-mkpractice-out-" + std::to_string(::getpid()));
    const std::string command = std::string(MKPRACTICE_PATH) + " " + arguments + " >" + out.string() + " 2>&1";
    Outcome run{std::system(command.c_str()), {}};
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    run.out = text.str();
    fs::remove(out);
    return run;
}

class MkpracticeTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("chkort-mkpractice-" + std::to_string(::getpid()));
        fs::remove_all(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(MkpracticeTest, WritesWhatTheLibraryBuildsAndSaysWhatItInjected) {
    const Outcome run = Mkpractice(dir.string() + " --patients 12 --lines 90 --variant 4 --damage loop:estime:2" +
                               " --damage missing:param --damage truncate:Fschema");
    ASSERT_EQ(run.status, 0) << run.out;

    practice::Options o = WithDamage({"loop:estime:2", "missing:param", "truncate:Fschema"});
    o.patients = 12;
    o.clinicalLines = 90;
    o.quoteLines = 45;
    o.chartEntries = 22;
    o.variant = 4;
    const practice::Practice expected = Built(o);
    for (int f = 0; f < practice::dataFileCount; ++f) {
        const fs::path path = dir / practice::DataFileName(static_cast<practice::DataFile>(f));
        ASSERT_EQ(fs::exists(path), expected.present[f]) << path;
        if (expected.present[f]) { EXPECT_EQ(hostlayout::ReadFileBytes(path.string()), expected.files[f]) << path; }
    }
    for (const std::string& line : expected.manifest) EXPECT_NE(run.out.find(line), std::string::npos) << line;
}

TEST_F(MkpracticeTest, BadArgumentsAreRefusedAndNothingIsWritten) {
    const std::string cases[] = {
        "--damage nope:clinique:1",
        "--damage loop:clinique:99",
        "--patients -3",
        "--patients",
        "--lines many",
        "--frobnicate",
        "--damage loop:clinique:3 --damage loop:clinique:3",
    };
    for (const std::string& arguments : cases) {
        const Outcome run = Mkpractice(dir.string() + " " + arguments);
        EXPECT_NE(run.status, 0) << arguments;
        EXPECT_NE(run.out.find("mkpractice: "), std::string::npos) << arguments << "\n" << run.out;
        EXPECT_FALSE(fs::exists(dir)) << arguments;
    }
    const Outcome none = Mkpractice("");
    EXPECT_NE(none.status, 0);
    EXPECT_NE(none.out.find("usage:"), std::string::npos);
    const Outcome list = Mkpractice("--list-damage");
    EXPECT_EQ(list.status, 0);
    for (int k = 0; k < practice::damageKindCount; ++k) {
        const char* kind = practice::DamageKindName(static_cast<practice::DamageKind>(k));
        EXPECT_NE(list.out.find(kind), std::string::npos) << kind;
    }
}

} // namespace
