#include "tests/unit/fixture.h"

#include "store/datafiles.h"
#include "tests/unit/mini_practice.h"

#include <atomic>
#include <chrono>

namespace fs = std::filesystem;

hostlayout::Bytes Pattern(unsigned tag, std::size_t length) {
    hostlayout::Bytes b(length);
    for (std::size_t i = 0; i < length; ++i) b[i] = PatternByte(tag, i);
    return b;
}

void PracticeTest::SetUp() {
    static std::atomic<unsigned> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    dir = fs::temp_directory_path() / ("chkort-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    fs::create_directories(dir);
    previous = fs::current_path();
    fs::current_path(dir);
    ResetSharedState();
    ResetRecording();
    FaultDisarm();
    MainWindow = 0x1234;
}

void PracticeTest::TearDown() {
    FaultDisarm();
    CloseDataFileSet();
    fs::current_path(previous);
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(dir, ignored))
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir, ignored);
}

std::string PracticeTest::PathOf(const std::string& name) const { return (dir / name).string(); }

void PracticeTest::Put(const std::string& name, const hostlayout::Bytes& bytes) {
    ASSERT_TRUE(hostlayout::WriteFileBytes(PathOf(name), bytes)) << name;
}

hostlayout::Bytes PracticeTest::Get(const std::string& name) const { return hostlayout::ReadFileBytes(PathOf(name)); }

void PracticeTest::OpenSampleSet(std::int32_t records) {
    namespace L = hostlayout;
    const auto n = static_cast<std::size_t>(records);
    Put("param", Pattern(1, 100));
    Put("Fschema", Pattern(2, n * L::fschema::size));
    Put("firstrec", Pattern(3, n * L::firstrec::size));
    Put("lastrec", L::Lastrec(records, records, records, records));
    Put("estime", Pattern(5, n * L::estime::size));
    Put("clinique", Pattern(6, n * L::clinique::size));
    Put("identite", Pattern(7, n * L::identite::size));
    ASSERT_TRUE(OpenDataFileSet(MainWindow));
    LoadCounters();
    ASSERT_TRUE(RecordedBoxes().empty());
}

std::string PracticeTest::OpenErrorCaption(const std::string& name) const {
    // The program builds the path the Windows way, whatever the platform.
    return "Erreur d'ouverture du fichier - " + fs::current_path().string() + "\\" + name;
}

void PracticeTest::OpenPractice(const MiniPractice& practice) {
    for (const auto& [name, bytes] : FilesOf(practice)) Put(name, *bytes);
    ASSERT_TRUE(OpenDataFileSet(MainWindow));
    LoadCounters();
    ResetRecording();
}

void PracticeTest::ExpectFiles(const MiniPractice& expected) {
    for (const auto& [name, bytes] : FilesOf(expected)) {
        const hostlayout::Bytes now = Get(name);
        ASSERT_EQ(now.size(), bytes->size()) << name;
        for (std::size_t i = 0; i < now.size(); ++i)
            ASSERT_EQ(now[i], (*bytes)[i]) << name << " differs first at byte " << i;
    }
}
