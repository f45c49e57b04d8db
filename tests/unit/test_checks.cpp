// The integrity test's report and owner map, compared whole, and the size
// test's verdicts.
#include "tests/unit/reports_fixture.h"
#include "tests/unit/mini_practice.h"
#include "tests/unit/standins.h"

#include "checks/checks.h"
#include "repairs/repairs.h"
#include "resources/resource.h"
#include "shell/app.h"
#include "store/datafiles.h"

#include <cstdio>
#include <filesystem>

namespace {

namespace L = hostlayout;
constexpr WindowRef Window = 0x1234;

std::string Line(const char* format, long a, long b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return std::string(text) + "\r\n";
}
std::string Debut(long p) { return Line("Erreur debutacte -> N\xB0 patient = %8ld", p); }
std::string Fin(long p) { return Line("Erreur finacte -> N\xB0 patient = %8ld", p); }
std::string Outward(long p, long r) { return Line("N\xB0 patient = %8ld -->Enregistrement = %9ld", p, r); }
std::string Crossing(long p, long q) { return Line("Croisement N\xB0 patient = %8ld --> %9ld", p, q); }
std::string Runaway(long p) { return Line("Fiche alter\xE9" "e -> N\xB0 patient = %8ld", p); }
std::string Suivant(long p) { return Line("Erreur suivant -> N\xB0 patient = %8ld", p); }
std::string Precedent(long p) { return Line("Erreur Precedent -> N\xB0 patient = %8ld", p); }
std::string Counts(long p) { return Line("Erreur lignes diff\xE9rentes d\xE9" "but-fin -> N\xB0 patient = %8ld", p); }

class IntegrityTest : public ReportsInTmpTest {
protected:
    // Runs the test of `command` and returns the report.
    std::string Run(unsigned command) {
        ResetRecording();
        RouteCommand(Window, command);
        EXPECT_EQ(CurrentMode, ModeNone);
        const L::Bytes b = Get("tmp/erreurfiche.txt");
        return std::string(b.begin(), b.end());
    }
    std::vector<std::int32_t> OwnerMap() const {
        const L::Bytes b = Get("tmp/testfich.txt");
        std::vector<std::int32_t> slots;
        for (std::size_t i = 0; i + 4 <= b.size(); i += 4)
            slots.push_back(static_cast<std::int32_t>(L::GetSigned(b.data() + i, L::Field{0, 4})));
        EXPECT_EQ(b.size() % 4, 0u);
        return slots;
    }
    const RecordedCall* Verdict() const {
        const auto& calls = RecordedCalls();
        for (auto it = calls.rbegin(); it != calls.rend(); ++it)
            if (it->kind == RecordedText) return it->bytes.find("base de donn") != std::string::npos ? &*it : nullptr;
        return nullptr;
    }
};

TEST_F(IntegrityTest, ASoundPracticeGivesAnEmptyReportAndTheGreenVerdict) {
    MiniPractice m(4, 9, 6, 1);
    m.ClinicalChain(1, {3, 1, 8});
    m.ClinicalChain(3, {2, 9, 4, 5});
    m.QuoteChain(2, {6, 1});
    OpenPractice(m);
    for (int round = 0; round < 2; ++round) { // a second test replaces the first's files
        EXPECT_EQ(Run(CMD_TEST_CLINIQUE), "");
        EXPECT_EQ(OwnerMap(), (std::vector<std::int32_t>{1, 3, 1, 3, 3, 0, 0, 1, 3}));
        const RecordedCall* verdict = Verdict();
        ASSERT_NE(verdict, nullptr);
        EXPECT_EQ(verdict->bytes, "Vous n'avez pas d'erreurs dans la base de donn\xE9" "es.");
        EXPECT_EQ(verdict->x, 10);
        EXPECT_EQ(verdict->y, 40);
        EXPECT_EQ(verdict->colour, MakeColour(0, 128, 0));
        EXPECT_EQ(CurrentPatient, 5);
    }
    EXPECT_EQ(Run(CMD_TEST_ESTIME), "");
    EXPECT_EQ(OwnerMap(), (std::vector<std::int32_t>{2, 0, 0, 0, 0, 2}));
    // The verdict's font, and progress lines for the map and the patients.
    bool arial = false;
    for (const RecordedCall& c : RecordedCalls())
        if (c.kind == RecordedFontCreate && c.bytes == "Arial" && c.shape.height == -18 && c.shape.weight == 700)
            arial = true;
    EXPECT_TRUE(arial);
    const auto texts = RecordedTexts();
    EXPECT_EQ(texts.front().bytes, "       1/        6");
    EXPECT_EQ(texts.front().y, 10);
    EXPECT_EQ(texts[6].bytes, "       1/        4");
    EXPECT_EQ(texts[6].y, 40);
    ExpectFiles(m);
}

TEST_F(IntegrityTest, PointersOutOfRange) {
    MiniPractice m(5, 10, 1, 1);
    m.ClinicalChain(1, {1, 2, 3});
    L::PutInt(m.Firstrec(1), L::firstrec::clinicalStart, -1); // still walked backwards
    m.ClinicalChain(2, {4, 5, 6});
    L::PutInt(m.Firstrec(2), L::firstrec::clinicalStart, 0);
    m.ClinicalChain(3, {7, 8});
    L::PutInt(m.Firstrec(3), L::firstrec::clinicalEnd, 11);
    m.ClinicalChain(4, {9});
    L::PutInt(m.Firstrec(4), L::firstrec::clinicalStart, 11);
    L::PutInt(m.Firstrec(4), L::firstrec::clinicalEnd, -4);
    OpenPractice(m);
    EXPECT_EQ(Run(CMD_TEST_CLINIQUE), Debut(1) + Counts(1) + Counts(2) + Fin(3) + Debut(4) + Fin(4));
    const RecordedCall* verdict = Verdict();
    ASSERT_NE(verdict, nullptr);
    EXPECT_EQ(verdict->bytes,
              "Pr\xE9sence des erreurs dans la base de donn\xE9" "es. Consultez c:\\tmp\\erreurfiche.txt.");
    EXPECT_EQ(verdict->colour, MakeColour(128, 0, 0));
}

TEST_F(IntegrityTest, LinksOutOfRangeAndOutwardEnds) {
    MiniPractice m(3, 10, 1, 1);
    m.ClinicalChain(1, {1, 2, 3});
    L::PutInt(m.Clinical(2), L::clinique::next, 11); // forward walk ends on it
    m.ClinicalChain(2, {4, 5});
    L::PutInt(m.Clinical(5), L::clinique::prev, -2); // backward walk ends on it
    m.ClinicalChain(3, {6, 7, 8});
    L::PutInt(m.Clinical(6), L::clinique::prev, 12); // the first line points outwards
    L::PutInt(m.Clinical(8), L::clinique::next, 9);  // and so does the last
    OpenPractice(m);
    // Patient 1: F = 2, B = 3, hence the count line after "suivant".
    // Patient 2: no count comparison after "Precedent".
    // Patient 3: the forward walk runs on to 9 (a line of no one).
    EXPECT_EQ(Run(CMD_TEST_CLINIQUE), Suivant(1) + Counts(1) + Precedent(2) + Outward(3, 6) + Outward(3, 8) +
                                          Precedent(3));
}

TEST_F(IntegrityTest, SharedLinesAreReportedForTheLaterPatientOncePerWalk) {
    MiniPractice m(7, 8, 1, 1);
    m.ClinicalChain(3, {1, 2, 3, 4});
    // Patient 7 starts on a line of its own, then runs into patient 3's.
    L::PutInt(m.Firstrec(7), L::firstrec::clinicalStart, 5);
    L::PutInt(m.Firstrec(7), L::firstrec::clinicalEnd, 4);
    L::PutInt(m.Clinical(5), L::clinique::next, 2);
    OpenPractice(m);
    // One line per walk: forward 5 2 3 4, backward 4 3 2 1.
    EXPECT_EQ(Run(CMD_TEST_CLINIQUE), Crossing(7, 3) + Crossing(7, 3));
    EXPECT_EQ(OwnerMap(), (std::vector<std::int32_t>{3, 3, 3, 3, 7, 0, 0, 0}));
}

TEST_F(IntegrityTest, FindingsOfOnePatientComeInTheOrderTheyAreMade) {
    MiniPractice m(2, 8, 1, 1);
    m.ClinicalChain(1, {1, 2});
    // Patient 2: its first line points outwards and into patient 1's chain,
    // its forward walk ends on a link beyond the file, its backward walk too.
    L::PutInt(m.Firstrec(2), L::firstrec::clinicalStart, 3);
    L::PutInt(m.Firstrec(2), L::firstrec::clinicalEnd, 4);
    L::PutInt(m.Clinical(3), L::clinique::prev, 7);
    L::PutInt(m.Clinical(3), L::clinique::next, 1);
    L::PutInt(m.Clinical(2), L::clinique::next, 0);
    L::PutInt(m.Clinical(4), L::clinique::prev, 9);
    L::PutInt(m.Clinical(4), L::clinique::next, 0);
    L::PutInt(m.Clinical(1), L::clinique::next, 2);
    OpenPractice(m);
    EXPECT_EQ(Run(CMD_TEST_CLINIQUE), Outward(2, 3) + Crossing(2, 1) + Precedent(2));
    // A walk ending on a link beyond the file reports it once it has ended.
    CloseDataFileSet();
    L::PutInt(m.Clinical(2), L::clinique::next, 9);
    OpenPractice(m);
    EXPECT_EQ(Run(CMD_TEST_CLINIQUE),
              Suivant(1) + Outward(1, 2) + Outward(2, 3) + Crossing(2, 1) + Suivant(2) + Precedent(2));
}

TEST_F(IntegrityTest, RunawayChainsStopAtFiveThousandVisits) {
    MiniPractice m(3, 10002, 1, 1);
    auto chain = [&](std::int32_t p, std::int32_t first, std::int32_t n) {
        L::PutInt(m.Firstrec(p), L::firstrec::clinicalStart, first);
        L::PutInt(m.Firstrec(p), L::firstrec::clinicalEnd, first + n - 1);
        for (std::int32_t i = 0; i < n; ++i) {
            L::PutInt(m.Clinical(first + i), L::clinique::prev, i == 0 ? 0 : first + i - 1);
            L::PutInt(m.Clinical(first + i), L::clinique::next, i + 1 == n ? 0 : first + i + 1);
        }
    };
    chain(1, 1, 5000);    // passes
    chain(2, 5001, 5001); // one too many
    m.ClinicalChain(3, {10002});
    L::PutInt(m.Clinical(10002), L::clinique::next, 10002); // loops on itself
    OpenPractice(m);
    EXPECT_EQ(Run(CMD_TEST_CLINIQUE), Runaway(2) + Runaway(3));
}

TEST_F(IntegrityTest, AnUnreadableLineEndsThatPatientsTestOnly) {
    MiniPractice m(3, 10, 1, 1);
    m.ClinicalChain(1, {1, 9, 2});
    m.ClinicalChain(2, {3, 4});
    L::PutInt(m.Firstrec(2), L::firstrec::clinicalEnd, 0);
    m.clinique.resize(8 * 224); // lines 9 and 10 are missing
    OpenPractice(m);
    EXPECT_EQ(Run(CMD_TEST_CLINIQUE), Counts(2));
    ASSERT_EQ(RecordedBoxes().size(), 1u);
    EXPECT_EQ(RecordedBoxes()[0].caption, "CLINIQUE");
}

TEST_F(IntegrityTest, WithoutItsDirectoryTheTestEndsSilentlyReadingNothing) {
    MiniPractice m(2, 3, 3, 1);
    OpenPractice(m);
    std::filesystem::remove_all(dir / "tmp");
    FaultStartLog();
    RouteCommand(Window, CMD_TEST_CLINIQUE);
    EXPECT_TRUE(FaultLog().empty());
    EXPECT_TRUE(RecordedCalls().size() <= 1u); // the focus given back, nothing drawn
    EXPECT_TRUE(RecordedTexts().empty());
    EXPECT_TRUE(RecordedBoxes().empty());
}

TEST_F(IntegrityTest, NoPatientsStillBuildsTheMap) {
    MiniPractice m(0, 3, 3, 1);
    OpenPractice(m);
    EXPECT_EQ(Run(CMD_TEST_ESTIME), "");
    EXPECT_EQ(OwnerMap(), (std::vector<std::int32_t>{0, 0, 0}));
    ASSERT_NE(Verdict(), nullptr);
    EXPECT_EQ(CurrentPatient, 1);
}

// ---------------------------------------------------------------- sizes

class SizeTest : public PracticeTest {
protected:
    std::vector<std::string> Run() {
        ResetRecording();
        RouteCommand(Window, CMD_TEST_SIZES);
        std::vector<std::string> lines;
        int y = 0;
        for (const RecordedCall& c : RecordedTexts()) {
            EXPECT_EQ(c.x, 0);
            EXPECT_EQ(c.y, y);
            y += 20;
            lines.push_back(c.bytes);
        }
        return lines;
    }
};

TEST_F(SizeTest, SevenVerdictsInTheirOrder) {
    MiniPractice m(100, 10, 10, 10);
    m.firstrec.resize(3199);                 // one byte short
    m.patient.resize(4000 + 2000000);        // at the tolerance
    m.estime.resize(860 + 2000001);          // one byte beyond it
    OpenPractice(m);
    EXPECT_EQ(Run(), (std::vector<std::string>{"Lastrec -> ok", "Firstrec -> Erreur", "Patient -> ok",
                                               "Identite -> ok", "Clinique -> ok",
                                               "Estim -> Taille sup\xE9rieure", "Fschema -> ok"}));
    EXPECT_EQ(RecordedCalls().front().kind, RecordedClear);
}

TEST_F(SizeTest, LastrecAgainstItsEightyRecords) {
    const std::pair<std::size_t, const char*> cases[] = {
        {1280, "Lastrec -> ok"},
        {1279, "Lastrec -> Erreur"},
        {2001280, "Lastrec -> ok"},
        {2001281, "Lastrec -> Taille sup\xE9rieure"},
    };
    for (const auto& [size, verdict] : cases) {
        CloseDataFileSet();
        MiniPractice m(1, 1, 1, 1);
        m.lastrec.resize(size, 0x11);
        OpenPractice(m);
        EXPECT_EQ(Run().front(), verdict) << size;
    }
}

TEST_F(SizeTest, AFileTheSetCouldNotOpenIsAnError) {
    // A file held without sharing by another program stops the set at
    // firstrec: no counter is read, so every expected size but lastrec's is
    // 0. The files measured through the window's handles were never opened;
    // patient and the test's own identite were.
    MiniPractice m(3, 4, 4, 4);
    for (const auto& [name, bytes] : FilesOf(m)) Put(name, *bytes);
    std::filesystem::remove(dir / "firstrec");
    EXPECT_FALSE(OpenDataFileSet(MainWindow));
    LoadCounters();
    ASSERT_EQ(LastPatient, 0);
    EXPECT_EQ(Run(), (std::vector<std::string>{"Lastrec -> Erreur", "Firstrec -> Erreur", "Patient -> ok",
                                               "Identite -> ok", "Clinique -> Erreur", "Estim -> Erreur",
                                               "Fschema -> ok"}));
    EXPECT_TRUE(RecordedBoxes().empty());
}

TEST_F(SizeTest, AMissingPatientTriStopsTheTestButLeavesIdentiteUsable) {
    MiniPractice m(3, 1, 1, 1);
    OpenPractice(m);
    std::filesystem::remove(dir / "patient.tri");
    EXPECT_TRUE(Run().empty());
    const auto boxes = RecordedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, OpenErrorCaption("patient.tri"));
    Put("patient.tri", L::Bytes(10, 1));
    EXPECT_EQ(Run().size(), 7u);
    // The balance reset still reads and writes through the window's handle.
    ScriptDialogs({{DialogNumero, true, {"2"}}});
    ResetRecording();
    RouteCommand(Window, CMD_RESET_BALANCE);
    ASSERT_EQ(RecordedBoxes().size(), 1u);
    EXPECT_EQ(RecordedBoxes()[0].caption, "Information");
}

} // namespace
