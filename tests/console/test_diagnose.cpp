// The console's look at the chains, on small practices laid out by hand:
// each repair the diagnosis proposes is carried out with the window's own
// repair code, then the integrity test must find nothing left for the
// patient and the chain must be the one the diagnosis announced. Also: the
// records behind the report's findings, and the claims on contested and
// unreachable lines.
#include "checks/checks.h"
#include "console/chains.h"
#include "console/diagnose.h"
#include "platform/record/record.h"
#include "repairs/repairs.h"
#include "shell/input.h"
#include "store/datafiles.h"
#include "store/state.h"
#include "tests/unit/fixture.h"
#include "tests/unit/mini_practice.h"
#include "tests/unit/standins.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace L = hostlayout;

namespace {

struct Links {
    L::Field prev, next, start, end;
    std::size_t size;
};
const Links ClinicalLinks{L::clinique::prev, L::clinique::next, L::firstrec::clinicalStart, L::firstrec::clinicalEnd,
                          L::clinique::size};
const Links QuoteLinks{L::estime::prev, L::estime::next, L::firstrec::quoteStart, L::firstrec::quoteEnd,
                       L::estime::size};

class DiagnoseTest : public PracticeTest {
protected:
    // Three patients with sound chains; lines 17 to 24 of each file belong
    // to nobody and link nowhere.
    MiniPractice p{4, 24, 24, 8};

    void SetUp() override {
        PracticeTest::SetUp();
        p.ClinicalChain(1, {1, 2, 3, 4, 5});
        p.ClinicalChain(2, {6, 7, 8, 9, 10});
        p.ClinicalChain(3, {11, 12, 13, 14, 15, 16});
        p.QuoteChain(1, {3, 1, 2});
        p.QuoteChain(2, {4, 5, 6, 7});
        p.QuoteChain(3, {8, 9, 10});
        p.ChartChain(1, {1, 2});
        p.ChartChain(2, {3, 4, 5});
    }

    std::uint8_t* Line(bool clinical, std::int32_t r) { return clinical ? p.Clinical(r) : p.Quote(r); }
    void SetLink(bool clinical, std::int32_t r, bool next, std::int32_t value) {
        const Links& k = clinical ? ClinicalLinks : QuoteLinks;
        L::PutInt(Line(clinical, r), next ? k.next : k.prev, value);
    }
    void SetEnd(bool clinical, std::int32_t patient, bool start, std::int32_t value) {
        const Links& k = clinical ? ClinicalLinks : QuoteLinks;
        L::PutInt(p.Firstrec(patient), start ? k.start : k.end, value);
    }

    ChainDiagnosis Diagnose(bool clinical, std::int32_t patient) {
        CloseDataFileSet(); // each diagnosis starts again from the damaged practice
        OpenPractice(p);
        const LineChain& chain = clinical ? ClinicalChain : QuoteChain;
        ChainClaims claims;
        ClaimLines(chain, claims);
        const auto found = DiagnoseChains(chain, {patient}, false, OrphanChains(chain, claims));
        EXPECT_EQ(found.size(), 1u);
        EXPECT_TRUE(RecordedBoxes().empty()) << "the diagnosis showed a box";
        return found.at(patient);
    }

    // What the technician does in the window, with the window's own code.
    void Apply(bool clinical, std::int32_t patient, const ChainDiagnosis& d) {
        CurrentPatient = patient;
        if (d.repair == RepairCutFromStart || d.repair == RepairCutFromEnd) {
            const bool fromStart = d.repair == RepairCutFromStart;
            CurrentMode = clinical ? (fromStart ? ModeClinicalFromStart : ModeClinicalFromEnd)
                                   : (fromStart ? ModeQuotesFromStart : ModeQuotesFromEnd);
            ScriptDialogs({{DialogLigne, true, {std::to_string(d.ordinal)}}});
            CorrectCurrentView(MainWindow);
            EXPECT_EQ(DialogAnswersLeft(), 0u);
        } else if (d.repair == RepairFirstrec) {
            const std::string a = std::to_string(patient), b = std::to_string(d.newStart),
                              c = std::to_string(d.newEnd);
            const char* texts[] = {a.c_str(), b.c_str(), c.c_str()};
            EXPECT_TRUE(DialogConfirm(MainWindow, clinical ? DialogClinique : DialogDevis, texts));
        }
        EXPECT_TRUE(RecordedBoxes().empty()) << "the repair showed a box";
    }

    // The integrity test's report, by the program's own code.
    std::string Report(bool clinical) {
        const std::filesystem::path reports = dir / "reports";
        std::filesystem::create_directories(reports);
        const std::string where = reports.string();
        ReportDirectory = where.c_str();
        CurrentMode = clinical ? ModeTestClinique : ModeTestEstime;
        TestChainFile(MainWindow);
        ReportDirectory = "c:\\tmp";
        const L::Bytes bytes = L::ReadFileBytes((reports / "erreurfiche.txt").string());
        return std::string(bytes.begin(), bytes.end());
    }

    static bool Names(const std::string& report, std::int32_t patient) {
        char number[16];
        std::snprintf(number, sizeof number, "= %8ld", static_cast<long>(patient));
        std::istringstream lines(report);
        for (std::string line; std::getline(lines, line);)
            if (line.find(number) != std::string::npos) return true;
        return false;
    }

    // The patient's chain as the files now hold it, read through the layout,
    // forward from the start; and whether walking back gives the same.
    std::vector<std::int32_t> ChainNow(bool clinical, std::int32_t patient, bool& consistent) {
        const Links& k = clinical ? ClinicalLinks : QuoteLinks;
        const L::Bytes firstrec = Get("firstrec");
        const L::Bytes lines = Get(clinical ? "clinique" : "estime");
        const std::uint8_t* ends = L::Record(firstrec, L::firstrec::size, static_cast<std::size_t>(patient));
        std::vector<std::int32_t> forward, backward;
        for (auto r = L::GetSigned(ends, k.start); r >= 1 && forward.size() < 100;
             r = L::GetSigned(L::Record(lines, k.size, static_cast<std::size_t>(r)), k.next))
            forward.push_back(static_cast<std::int32_t>(r));
        for (auto r = L::GetSigned(ends, k.end); r >= 1 && backward.size() < 100;
             r = L::GetSigned(L::Record(lines, k.size, static_cast<std::size_t>(r)), k.prev))
            backward.push_back(static_cast<std::int32_t>(r));
        std::reverse(backward.begin(), backward.end());
        consistent = forward == backward;
        return forward;
    }

    // Diagnoses, checks the proposal, applies it and checks the outcome.
    void Mend(bool clinical, std::int32_t patient, RepairKind kind, std::int32_t ordinal,
              const std::vector<std::int32_t>& expected) {
        const ChainDiagnosis d = Diagnose(clinical, patient);
        ASSERT_FALSE(d.sound);
        EXPECT_EQ(d.repair, kind);
        if (kind != RepairFirstrec) {
            EXPECT_EQ(d.ordinal, ordinal);
            EXPECT_EQ(d.kept, expected);
        }
        const std::string before = Report(clinical);
        EXPECT_TRUE(Names(before, patient)) << "the damage is not one the test sees:\n" << before;
        Apply(clinical, patient, d);
        EXPECT_FALSE(Names(Report(clinical), patient)) << Report(clinical);
        bool consistent = false;
        EXPECT_EQ(ChainNow(clinical, patient, consistent), expected);
        EXPECT_TRUE(consistent);
        if (kind != RepairFirstrec) {
            EXPECT_EQ(std::make_pair(d.newStart, d.newEnd), std::make_pair(expected.front(), expected.back()));
        }
    }
};

// ---------------------------------------------------------------- one repair per kind of damage

TEST_F(DiagnoseTest, BackLinksWrongAreMendedFromTheStart) {
    SetLink(true, 7, false, 0);   // patient 2's second line claims to be first
    SetLink(true, 11, false, 20); // first line points back to a free line
    Mend(true, 2, RepairCutFromStart, 5, {6, 7, 8, 9, 10});
    Mend(true, 3, RepairCutFromStart, 6, {11, 12, 13, 14, 15, 16});
}

TEST_F(DiagnoseTest, AnUnevenChainKeepsEveryLineOfItsForwardWalk) {
    SetLink(true, 16, false, 14); // the last line's back link skips line 15
    Mend(true, 3, RepairCutFromStart, 6, {11, 12, 13, 14, 15, 16});
}

TEST_F(DiagnoseTest, ForwardLinksWrongAreMendedFromTheEnd) {
    SetLink(true, 8, true, 25);  // a next link beyond the file
    SetLink(true, 16, true, 11); // the last line loops back to the first
    SetLink(true, 5, true, 21);  // the last line goes on to a free line
    Mend(true, 2, RepairCutFromEnd, 5, {6, 7, 8, 9, 10});
    Mend(true, 3, RepairCutFromEnd, 6, {11, 12, 13, 14, 15, 16});
    Mend(true, 1, RepairCutFromEnd, 5, {1, 2, 3, 4, 5});
}

TEST_F(DiagnoseTest, APointerOutOfTheFileIsSetByTheCut) {
    SetEnd(true, 2, true, -1);
    SetEnd(true, 3, false, 99);
    Mend(true, 2, RepairCutFromEnd, 5, {6, 7, 8, 9, 10});
    Mend(true, 3, RepairCutFromStart, 6, {11, 12, 13, 14, 15, 16});
}

TEST_F(DiagnoseTest, BothWalksBrokenKeepTheLongerPart) {
    SetLink(true, 13, true, -7);  // forward: 11, 12, 13 then a negative link
    SetLink(true, 12, false, 30); // backward: 16 .. 12 then a link beyond the file
    // The backward walk kept 16, 15, 14, 13, 12: five lines from the end.
    Mend(true, 3, RepairCutFromEnd, 5, {12, 13, 14, 15, 16});
}

TEST_F(DiagnoseTest, AChainRunningIntoALowerPatientsLinesIsCutBeforeThem) {
    SetLink(true, 13, true, 8);   // 11, 12, 13, then patient 2's 8, 9, 10
    SetEnd(true, 3, false, 10);
    Mend(true, 3, RepairCutFromStart, 3, {11, 12, 13});
}

TEST_F(DiagnoseTest, APatientPointingAtAnotherOnesChainGetsTheOrphanedChainBack) {
    // Patient 3 now names patient 2's chain; its own lines 11..16 are
    // reached by nobody, the only chain of several lines in that state.
    SetEnd(true, 3, true, 6);
    SetEnd(true, 3, false, 10);
    Mend(true, 3, RepairFirstrec, 0, {11, 12, 13, 14, 15, 16});
}

TEST_F(DiagnoseTest, WithoutAnOrphanedChainThePointersAreEmptied) {
    SetEnd(true, 3, true, 6);
    SetEnd(true, 3, false, 10);
    for (std::int32_t r = 11; r <= 16; ++r) { // the lost chain falls apart into single lines
        SetLink(true, r, false, 0);
        SetLink(true, r, true, 0);
    }
    const ChainDiagnosis d = Diagnose(true, 3);
    EXPECT_EQ(d.repair, RepairFirstrec);
    EXPECT_EQ(std::make_pair(d.newStart, d.newEnd), std::make_pair(0, 0));
    Mend(true, 3, RepairFirstrec, 0, {});
}

TEST_F(DiagnoseTest, ALineTheFileDoesNotHoldIsLeftOutOfTheChain) {
    p.clinique.resize(13 * L::clinique::size + 100); // lines 14..16 of patient 3 are cut off
    const ChainDiagnosis d = Diagnose(true, 3);
    EXPECT_EQ(d.forward.stop, StopUnreadable);
    EXPECT_EQ(d.forward.link, 14);
    EXPECT_EQ(d.repair, RepairCutFromStart);
    EXPECT_EQ(d.ordinal, 3);
}

TEST_F(DiagnoseTest, QuoteChainsTheSameWay) {
    SetLink(false, 5, true, 40); // patient 2: 4, 5 then a link beyond the file
    SetEnd(false, 3, true, 0);   // patient 3: no start, end 10
    Mend(false, 2, RepairCutFromEnd, 4, {4, 5, 6, 7});
    Mend(false, 3, RepairCutFromEnd, 3, {8, 9, 10});
}

TEST_F(DiagnoseTest, SoundChainsNeedNothing) {
    for (const bool clinical : {true, false})
        for (std::int32_t patient = 1; patient <= 4; ++patient) {
            const ChainDiagnosis d = Diagnose(clinical, patient);
            EXPECT_TRUE(d.sound) << patient;
            EXPECT_EQ(d.repair, RepairNone);
            CloseDataFileSet();
        }
}

TEST_F(DiagnoseTest, EveryUnsoundPatientAndTheOnesAskedFor) {
    SetLink(true, 9, true, 0);   // patient 2's chain stops short
    SetEnd(true, 3, true, -4);   // patient 3's start is out of the file
    OpenPractice(p);
    std::vector<std::int32_t> found;
    for (const auto& [patient, d] : DiagnoseChains(ClinicalChain, {1}, true, {})) found.push_back(patient);
    EXPECT_EQ(found, (std::vector<std::int32_t>{1, 2, 3}));
    found.clear();
    for (const auto& [patient, d] : DiagnoseChains(ClinicalChain, {4, 2}, false, {})) found.push_back(patient);
    EXPECT_EQ(found, (std::vector<std::int32_t>{2, 4}));
}

TEST_F(DiagnoseTest, TheDentalChart) {
    L::PutInt(p.Entry(2), L::fschema::next, 1); // patient 1: 1, 2, back to 1
    L::PutInt(p.Firstrec(2), L::firstrec::chartStart, 9);
    OpenPractice(p);
    const ChartDiagnosis loop = DiagnoseChart(1);
    EXPECT_EQ(loop.walk.stop, StopLoop);
    EXPECT_EQ(std::make_pair(loop.repair, loop.ordinal), std::make_pair(RepairCutFromStart, 2));
    CurrentPatient = 1;
    CurrentMode = ModeDentalChart;
    ScriptDialogs({{DialogLigne, true, {"2"}}});
    CorrectCurrentView(MainWindow);
    EXPECT_TRUE(DiagnoseChart(1).sound);
    const ChartDiagnosis high = DiagnoseChart(2);
    EXPECT_EQ(std::make_pair(high.walk.stop, high.repair), std::make_pair(StopBadStart, RepairFirstrec));
    EXPECT_TRUE(DiagnoseChart(3).sound); // no chart at all
}

// ---------------------------------------------------------------- the records behind the report

TEST_F(DiagnoseTest, EveryFindingOfTheReportNamesItsRecord) {
    SetLink(true, 2, true, 30);   // patient 1: next link beyond the file at line 2,
    SetLink(true, 4, false, 30);  // and back link beyond it at line 4
    SetLink(true, 6, false, 18);  // patient 2: first line's back link
    SetLink(true, 13, true, 8);   // patient 3 runs into patient 2's lines
    OpenPractice(p);
    const std::string report = Report(true);
    const L::Bytes map = Get("reports/testfich.txt");
    std::vector<Finding> findings;
    ASSERT_TRUE(ExplainReport(ClinicalChain, std::string(map.begin(), map.end()), report, findings));
    std::vector<std::tuple<std::string, std::int32_t, std::int32_t>> seen;
    for (const Finding& f : findings) seen.emplace_back(f.code, f.patient, f.record);
    const std::vector<std::tuple<std::string, std::int32_t, std::int32_t>> expected = {
        {"next-out-of-range", 1, 2}, {"prev-out-of-range", 1, 4}, {"first-prev-not-zero", 2, 6},
        {"walks-differ", 2, 0},      {"crossing", 3, 8}};
    EXPECT_EQ(seen, expected) << report;
    // A report that walking again cannot give back: its lines, without records.
    findings.clear();
    EXPECT_FALSE(ExplainReport(ClinicalChain, std::string(map.begin(), map.end()),
                               report + "Erreur finacte -> N\xb0 patient =        4\r\n", findings));
    ASSERT_EQ(findings.size(), 6u);
    EXPECT_EQ(std::make_tuple(findings[5].code, findings[5].patient, findings[5].record),
              std::make_tuple(std::string("end-out-of-range"), 4, 0));
    EXPECT_EQ(std::make_tuple(findings[2].code, findings[2].record), std::make_tuple(std::string("outward-link"), 6));
}

TEST_F(DiagnoseTest, ClaimsNameEveryPatientOfAContestedLineAndTheLinesNobodyReaches) {
    // Patients 2 and 3 both end their chains in patient 1's line 5, and
    // patient 4 starts there.
    SetLink(true, 10, true, 5);
    SetLink(true, 16, true, 5);
    SetEnd(true, 4, true, 5);
    SetLink(true, 20, true, 21); // an orphaned chain 19 -> 20 -> 21
    SetLink(true, 21, false, 20);
    SetLink(true, 20, false, 19);
    SetLink(true, 19, true, 20);
    OpenPractice(p);
    ChainClaims claims;
    ClaimLines(ClinicalChain, claims);
    ASSERT_EQ(claims.contested.size(), 1u);
    EXPECT_EQ(claims.contested.begin()->first, 5);
    EXPECT_EQ(claims.contested.begin()->second, (std::vector<std::int32_t>{1, 2, 3, 4}));
    std::vector<Finding> findings;
    ClaimFindings(claims, findings);
    std::vector<std::int32_t> unreachable;
    for (const Finding& f : findings)
        if (f.code == "unreachable-line") unreachable.push_back(f.record);
    EXPECT_EQ(unreachable, (std::vector<std::int32_t>{17, 18, 19, 20, 21, 22, 23, 24}));
    std::vector<std::tuple<std::int32_t, std::int32_t, std::int32_t>> orphans;
    for (const OrphanChain& o : OrphanChains(ClinicalChain, claims)) orphans.emplace_back(o.start, o.end, o.count);
    EXPECT_EQ(orphans, (std::vector<std::tuple<std::int32_t, std::int32_t, std::int32_t>>{
                           {17, 17, 1}, {18, 18, 1}, {19, 21, 3}, {22, 22, 1}, {23, 23, 1}, {24, 24, 1}}));
}

} // namespace
