// A practice whose clinique holds ten million lines: 2.24 GB, sparse but for
// the few lines that the chains below run through, some of them past 2 GiB.
// The raw browser, the integrity test and the size test work on it as on any
// other practice. What each should give is worked out here from the bytes
// placed, never read back from the program.
#include "tests/unit/reports_fixture.h"
#include "tests/unit/mini_practice.h"
#include "tests/unit/standins.h"

#include "resources/resource.h"
#include "shell/app.h"
#include "store/datafiles.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

namespace L = hostlayout;
namespace fs = std::filesystem;
constexpr WindowRef Window = 0x1234;
constexpr SurfaceRef Screen = 0x77;
const std::string S = "\xB3";

constexpr std::int32_t Lines = 10'000'000;
// Line 9,586,981 begins 128 bytes before 2^31 and ends past it; 9,586,982 is
// the first line wholly past it.
constexpr std::int32_t Across = 9'586'981, Past = 9'586'982;

// Patients and their clinical chains:
//   1: 1, 2, 9,586,981, 9,586,982, 10,000,000   sound, far out
//   2: 3, 9,999,999                             9,999,999 links on to 10,000,001
//   3: 4, and from 4 on to patient 1's line 10,000,000, ends at 4
//   4: none
struct Far {
    std::int32_t line;
    const char* name; // Text8
    const char* text; // Text50
    std::int32_t prev, next;
};
const Far FarLines[] = {
    {Across, "AU BORD", "de 2 Gio", 2, Past},
    {Past, "AU-DELA", "de 2 Gio", Across, Lines},
    {Lines - 1, "AVANT", "fin", 3, Lines + 1},
    {Lines, "DERNIERE", "fin", Past, 0},
};

// A far line: zero bytes but for its name, its text, an act code, the
// colour code 48 and its links.
L::Bytes FarRecord(const Far& f) {
    L::Bytes r(L::clinique::size, 0);
    L::PutText(r.data(), L::clinique::text8, f.name);
    L::PutText(r.data(), L::clinique::text50, f.text);
    L::PutText(r.data(), L::clinique::actCode, "SPR");
    L::PutInt(r.data(), L::clinique::colour, 48);
    L::PutInt(r.data(), L::clinique::prev, f.prev);
    L::PutInt(r.data(), L::clinique::next, f.next);
    return r;
}

std::string Eight(long n) {
    char text[32];
    std::snprintf(text, sizeof text, "%8ld", n);
    return text;
}

// The screen line of a line never written (224 zero bytes) in the browser,
// whose ordinal column shows 0 as nothing has been walked.
std::string HoleLine(std::int32_t line) {
    return "   0" + S + Eight(line) + S + S + S + S + S + S + S + S + S + Eight(0) + S + Eight(0) + S + S + "0" + S +
           "0" + S + "0" + S + Eight(0) + S + Eight(0) + S + Eight(0) + S;
}

// The far lines' screen lines, written out column by column.
const std::map<std::int32_t, std::string> FarScreenLines = {
    {Across, "   0" + S + " 9586981" + S + "AU BORD" + S + S + S + S + "de 2 Gio" + S + "SPR" + S + S + S +
                 " 9586982" + S + "       2" + S + S + "0" + S + "48" + S + "0" + S + Eight(0) + S + Eight(0) + S +
                 Eight(0) + S},
    {Past, "   0" + S + " 9586982" + S + "AU-DELA" + S + S + S + S + "de 2 Gio" + S + "SPR" + S + S + S +
               "10000000" + S + " 9586981" + S + S + "0" + S + "48" + S + "0" + S + Eight(0) + S + Eight(0) + S +
               Eight(0) + S},
    {Lines - 1, "   0" + S + " 9999999" + S + "AVANT" + S + S + S + S + "fin" + S + "SPR" + S + S + S + "10000001" +
                    S + "       3" + S + S + "0" + S + "48" + S + "0" + S + Eight(0) + S + Eight(0) + S + Eight(0) +
                    S},
    // A name of all eight characters has no zero byte to end it.
    {Lines, "   0" + S + "10000000" + S + "DERNIERE" + S + S + S + S + "fin" + S + "SPR" + S + S + S + "       0" +
                S + " 9586982" + S + S + "0" + S + "48" + S + "0" + S + Eight(0) + S + Eight(0) + S + Eight(0) + S},
};

std::string Line(const char* format, long a, long b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return std::string(text) + "\r\n";
}

class LargeFile : public ReportsInTmpTest {
protected:
    void SetUp() override {
        ReportsInTmpTest::SetUp();
        MiniPractice m(4, 4, 2, 2);
        m.lastrec = L::Lastrec(4, Lines, 2, 2);
        // Lines 1 to 4 are the practice's own; the far ones are placed below.
        L::PutInt(m.Firstrec(1), L::firstrec::clinicalStart, 1);
        L::PutInt(m.Firstrec(1), L::firstrec::clinicalEnd, Lines);
        Link(m, 1, 0, 2);
        Link(m, 2, 1, Across);
        L::PutInt(m.Firstrec(2), L::firstrec::clinicalStart, 3);
        L::PutInt(m.Firstrec(2), L::firstrec::clinicalEnd, Lines - 1);
        Link(m, 3, 0, Lines - 1);
        L::PutInt(m.Firstrec(3), L::firstrec::clinicalStart, 4);
        L::PutInt(m.Firstrec(3), L::firstrec::clinicalEnd, 4);
        Link(m, 4, 0, Lines);
        practice = m;
        for (const auto& [name, bytes] : FilesOf(m)) Put(name, *bytes);

        std::error_code error;
        fs::resize_file(dir / "clinique", Size, error);
        if (error) {
            skipped = "no sparse file of 2.2 GB here: " + error.message();
            return;
        }
        std::fstream f(PathOf("clinique"), std::ios::binary | std::ios::in | std::ios::out);
        for (const Far& far : FarLines) {
            const L::Bytes r = FarRecord(far);
            f.seekp(static_cast<std::streamoff>(224ull * (far.line - 1)));
            f.write(reinterpret_cast<const char*>(r.data()), static_cast<std::streamsize>(r.size()));
        }
        f.close();
        ASSERT_FALSE(f.fail());
        ASSERT_TRUE(OpenDataFileSet(MainWindow));
        LoadCounters();
        ResetRecording();
    }
    void TearDown() override {
        CloseDataFileSet();
        // The 2.2 GB and the 40 MB map go at once, whatever the test did.
        std::error_code ignored;
        fs::remove(dir / "clinique", ignored);
        fs::remove(dir / "tmp" / "testfich.txt", ignored);
        ReportsInTmpTest::TearDown();
    }
    static void Link(MiniPractice& m, std::int32_t line, std::int32_t prev, std::int32_t next) {
        L::PutInt(m.Clinical(line), L::clinique::prev, prev);
        L::PutInt(m.Clinical(line), L::clinique::next, next);
    }
    // What line `number` is made of: the practice's own, a far one, or a hole.
    L::Bytes Placed(std::int32_t number) const {
        if (number <= practice.clinicalLines) {
            const std::uint8_t* r = L::Record(practice.clinique, 224, number);
            return L::Bytes(r, r + 224);
        }
        for (const Far& far : FarLines)
            if (far.line == number) return FarRecord(far);
        return L::Bytes(224, 0);
    }
    L::Bytes At(std::uint64_t offset, std::size_t n) const {
        std::ifstream f(PathOf("clinique"), std::ios::binary);
        f.seekg(static_cast<std::streamoff>(offset));
        L::Bytes b(n);
        f.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(n));
        b.resize(static_cast<std::size_t>(f.gcount()));
        return b;
    }
    // Nothing of the practice changed: the small files whole, the lines of
    // the chains, the length of clinique.
    void ExpectPracticeUnchanged() {
        for (const auto& [name, bytes] : FilesOf(practice)) {
            if (name == "clinique") continue;
            EXPECT_EQ(Get(name), *bytes) << name;
        }
        EXPECT_EQ(fs::file_size(dir / "clinique"), Size);
        for (std::int32_t line : {1, 2, 3, 4, Across, Past, Lines - 1, Lines})
            EXPECT_EQ(At(224ull * (line - 1), 224), Placed(line)) << line;
    }
    std::vector<std::string> Browse(std::int32_t from) {
        ScriptDialogs({{DialogVisual, true, {std::to_string(from)}}});
        RouteCommand(Window, CMD_BROWSE_CLINIQUE);
        return Page();
    }
    std::vector<std::string> Page() {
        ResetRecording();
        PaintCurrentView(Screen);
        std::vector<std::string> drawn;
        int y = 0;
        for (const RecordedCall& c : RecordedTexts()) {
            EXPECT_EQ(c.x, 0);
            EXPECT_EQ(c.y, y);
            y += 16;
            drawn.push_back(c.bytes);
        }
        EXPECT_TRUE(RecordedBoxes().empty());
        return drawn;
    }
    std::vector<std::string> SizeVerdicts() {
        ResetRecording();
        RouteCommand(Window, CMD_TEST_SIZES);
        std::vector<std::string> lines;
        for (const RecordedCall& c : RecordedTexts()) lines.push_back(c.bytes);
        return lines;
    }

    static constexpr std::uint64_t Size = 224ull * Lines;
    MiniPractice practice{0, 0, 0, 0};
    std::string skipped;
};

#define SKIP_WITHOUT_SPARSE_FILES() \
    if (!skipped.empty()) GTEST_SKIP() << skipped

TEST_F(LargeFile, TheRawBrowserAcrossTwoGibibytesAndAtTheCounter) {
    SKIP_WITHOUT_SPARSE_FILES();
    // A page of 32 lines from the one before the line that spans 2^31.
    std::vector<std::string> expected;
    for (std::int32_t line = Across - 1; line < Across + 31; ++line)
        expected.push_back(FarScreenLines.count(line) ? FarScreenLines.at(line) : HoleLine(line));
    EXPECT_EQ(Browse(Across - 1), expected);
    EXPECT_EQ(CurrentLine, Across + 31);

    // From 9,999,999: two lines, then the counter stops the page and the next.
    EXPECT_EQ(Browse(Lines - 1), (std::vector<std::string>{FarScreenLines.at(Lines - 1), FarScreenLines.at(Lines)}));
    EXPECT_TRUE(Page().empty());
    EXPECT_TRUE(Browse(Lines + 1).empty());
    ExpectPracticeUnchanged();
}

TEST_F(LargeFile, TheIntegrityTestAndItsOwnerMapOfTenMillionSlots) {
    SKIP_WITHOUT_SPARSE_FILES();
    ResetRecording();
    SetRecordedRepeatsFolded(true);
    RouteCommand(Window, CMD_TEST_CLINIQUE);
    EXPECT_EQ(CurrentMode, ModeNone);
    EXPECT_EQ(CurrentPatient, 5);

    const L::Bytes report = Get("tmp/erreurfiche.txt");
    EXPECT_EQ(std::string(report.begin(), report.end()),
              Line("Erreur suivant -> N\xB0 patient = %8ld", 2) +
                  Line("N\xB0 patient = %8ld -->Enregistrement = %9ld", 2, Lines - 1) +
                  Line("Croisement N\xB0 patient = %8ld --> %9ld", 3, 1) +
                  Line("N\xB0 patient = %8ld -->Enregistrement = %9ld", 3, 4) +
                  Line("Erreur lignes diff\xE9rentes d\xE9" "but-fin -> N\xB0 patient = %8ld", 3));

    // The map has a slot for every line; the lines of the chains hold their
    // first walker, every other slot 0. It is read a megabyte at a time.
    const std::map<std::int64_t, std::int32_t> owners = {{1, 1}, {2, 1}, {3, 2}, {4, 3}, {Across, 1},
                                                         {Past, 1}, {Lines - 1, 2}, {Lines, 1}};
    const fs::path map = dir / "tmp" / "testfich.txt";
    ASSERT_EQ(fs::file_size(map), 4ull * Lines);
    std::ifstream in(map, std::ios::binary);
    std::vector<char> chunk(1 << 20);
    std::int64_t slot = 1, nonZero = 0;
    std::map<std::int64_t, std::int32_t> found;
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
        const auto n = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i + 4 <= n; i += 4, ++slot) {
            const auto* p = reinterpret_cast<const std::uint8_t*>(chunk.data() + i);
            const std::int32_t value = static_cast<std::int32_t>(L::GetSigned(p, L::Field{0, 4}));
            if (value != 0 && ++nonZero <= 20) found[slot] = value;
        }
    }
    EXPECT_EQ(slot - 1, Lines);
    EXPECT_EQ(nonZero, static_cast<std::int64_t>(owners.size()));
    EXPECT_EQ(found, owners);

    // One progress line for each slot of the map, one for each patient, then
    // the red verdict over the last.
    const auto texts = RecordedTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].y, 10);
    EXPECT_EQ(texts[0].repeats, static_cast<unsigned long>(Lines));
    EXPECT_EQ(texts[0].bytes, "10000000/ 10000000");
    EXPECT_EQ(texts[1].y, 40);
    EXPECT_EQ(texts[1].repeats, 4u);
    EXPECT_EQ(texts[1].bytes, "       4/        4");
    EXPECT_EQ(texts[2].bytes,
              "Pr\xE9sence des erreurs dans la base de donn\xE9" "es. Consultez c:\\tmp\\erreurfiche.txt.");
    EXPECT_EQ(texts[2].colour, MakeColour(128, 0, 0));
    EXPECT_TRUE(RecordedBoxes().empty());
    ExpectPracticeUnchanged();
}

// The size test takes the low 32 bits of the size and the expected size
// 224 x 10,000,000 in 32-bit signed arithmetic: both come out at
// -2,054,967,296, and the comparison holds as it does for small files.
TEST_F(LargeFile, TheSizeTestInThirtyTwoBits) {
    SKIP_WITHOUT_SPARSE_FILES();
    const std::vector<std::string> sound = {"Lastrec -> ok", "Firstrec -> ok", "Patient -> ok", "Identite -> ok",
                                            "Clinique -> ok", "Estim -> ok", "Fschema -> ok"};
    EXPECT_EQ(SizeVerdicts(), sound);
    const std::pair<std::uint64_t, const char*> cases[] = {
        {Size - 1, "Clinique -> Erreur"},
        {Size + 2'000'000, "Clinique -> ok"},
        {Size + 2'000'001, "Clinique -> Taille sup\xE9rieure"},
        // 92,516,353 bytes short; but in 32 bits this size is positive, so
        // not below the negative expected size, and their difference comes
        // round to -92,516,353, within the tolerance.
        {2'147'483'647ull, "Clinique -> ok"},
    };
    for (const auto& [size, verdict] : cases) {
        fs::resize_file(dir / "clinique", size);
        const auto lines = SizeVerdicts();
        ASSERT_EQ(lines.size(), 7u) << size;
        EXPECT_EQ(lines[4], verdict) << size;
    }
    EXPECT_TRUE(RecordedBoxes().empty());
}

} // namespace
