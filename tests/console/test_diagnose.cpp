// The console's diagnosis, on a small practice laid out by hand: the repair
// it proposes for each kind of damage, whether reparer may make it alone
// (and why not), and that, carried out with the window's own code, it leaves
// the chain it announced. (The records it gives the report's
// findings, and its claims, are shown from outside, by test_cli.py.)
#include "checks/diagnosis.h"
#include "checks/held_chains.h"
#include "checks/repair_plan.h"
#include "platform/record/record.h"
#include "shell/app.h"
#include "store/datafiles.h"
#include "tests/unit/fixture.h"
#include "tests/unit/standins.h"

namespace {

namespace L = hostlayout;
using Lines = std::vector<std::int32_t>;

// A link of a line, a pointer of a patient, the clinique file cut after `at`
// lines and `value` bytes, the links of lines `at` to `value` set to 0, a
// chart entry's link or a patient's chart start, the clinical counter.
enum What { Prev, Next, Start, End, Cut, Unlink, ChartNext, ChartStart, Counter };
struct Edit { What what; std::int32_t at, value; };

class DiagnoseTest : public PracticeTest {
protected:
    MiniPractice p{4, 24, 24, 8};

    // Chains of patients 1 to 3, none for patient 4; lines 17 to 24 belong to
    // nobody and link nowhere. Then the edits, and the set opened.
    void Lay(bool clinical, const std::vector<Edit>& edits) {
        p = MiniPractice{4, 24, 24, 8};
        p.ClinicalChain(1, {1, 2, 3, 4, 5}), p.ClinicalChain(2, {6, 7, 8, 9, 10});
        p.ClinicalChain(3, {11, 12, 13, 14, 15, 16});
        p.QuoteChain(1, {3, 1, 2}), p.QuoteChain(2, {4, 5, 6, 7}), p.QuoteChain(3, {8, 9, 10});
        p.ChartChain(1, {1, 2}), p.ChartChain(2, {3, 4, 5});
        namespace F = L::firstrec;
        for (const Edit& e : edits) {
            std::uint8_t* line = clinical ? p.Clinical(e.at) : p.Quote(e.at);
            if (e.what == Prev) L::PutInt(line, clinical ? L::clinique::prev : L::estime::prev, e.value);
            if (e.what == Next) L::PutInt(line, clinical ? L::clinique::next : L::estime::next, e.value);
            if (e.what == Start) L::PutInt(p.Firstrec(e.at), clinical ? F::clinicalStart : F::quoteStart, e.value);
            if (e.what == End) L::PutInt(p.Firstrec(e.at), clinical ? F::clinicalEnd : F::quoteEnd, e.value);
            if (e.what == Cut) p.clinique.resize(static_cast<std::size_t>(e.at) * L::clinique::size + e.value);
            for (std::int32_t r = e.at; e.what == Unlink && r <= e.value; ++r)
                L::PutInt(p.Clinical(r), L::clinique::prev, 0), L::PutInt(p.Clinical(r), L::clinique::next, 0);
            if (e.what == ChartNext) L::PutInt(p.Entry(e.at), L::fschema::next, e.value);
            if (e.what == ChartStart) L::PutInt(p.Firstrec(e.at), F::chartStart, e.value);
            if (e.what == Counter)
                L::PutInt(p.lastrec.data() + L::lastrec::clinicalLines * L::lastrec::size, L::lastrec::counter, e.value);
        }
        CloseDataFileSet();
        OpenPractice(p);
    }

    // Each from the files as they are now.
    ChainDiagnosis Diagnose(bool clinical, std::int32_t patient) {
        EndsTable ends;
        HeldChain held;
        LoadEnds(ends);
        HoldChain(clinical ? ClinicalChain : QuoteChain, ends, held);
        ChainClaims claims;
        ClaimLines(held, claims);
        return DiagnoseChains(held, {patient}, false, OrphanChains(held)).at(patient);
    }
    // The repair plan's judgement of one chain of one patient.
    ChainPlan Judged(int chain, std::int32_t patient) {
        RepairPlan plan;
        PlanRepairs({patient}, false, nullptr, plan);
        ResetRecording(); // the test's boxes for what it cannot read
        return plan.patients.at(0).chains[chain];
    }
    ChartDiagnosis DiagnoseChart(std::int32_t patient) {
        EndsTable ends;
        LinkTable chart;
        LoadEnds(ends);
        LoadChartLinks(chart);
        return ::DiagnoseChart(ends, chart, patient);
    }
};

TEST_F(DiagnoseTest, EachDamageGetsTheRepairThatLeavesTheChainAnnounced) {
    const Lines three = {11, 12, 13, 14, 15, 16};
    const unsigned drops = LeftDropsLines, shared = LeftSharedLines, orphan = LeftGivesOrphan, open = LeftOpenEnd;
    const struct {
        const char* damage;
        bool clinical;
        std::vector<Edit> edits;
        std::int32_t patient;
        RepairKind repair;
        std::int32_t ordinal; // the line to type for a cut
        Lines kept;           // the chain once repaired
        unsigned left;        // why reparer leaves the repair to a person; 0: it makes it
    } cases[] = {
        {"the second line claims to be first", true, {{Prev, 7, 0}}, 2, RepairCutFromStart, 5, {6, 7, 8, 9, 10}, 0},
        {"the first line points back to a free line", true, {{Prev, 11, 20}}, 3, RepairCutFromStart, 6, three, 0},
        {"the last line's back link skips line 15", true, {{Prev, 16, 14}}, 3, RepairCutFromStart, 6, three, 0},
        {"a next link beyond the file", true, {{Next, 8, 25}}, 2, RepairCutFromEnd, 5, {6, 7, 8, 9, 10}, 0},
        {"the last line loops to the first", true, {{Next, 16, 11}}, 3, RepairCutFromEnd, 6, three, 0},
        {"the last line goes on to a free line", true, {{Next, 5, 21}}, 1, RepairCutFromEnd, 5, {1, 2, 3, 4, 5}, 0},
        {"a start below 0", true, {{Start, 2, -1}}, 2, RepairCutFromEnd, 5, {6, 7, 8, 9, 10}, 0},
        {"an end beyond the file", true, {{End, 3, 99}}, 3, RepairCutFromStart, 6, three, 0},
        // The free line 20 answers to no link, but the end names it.
        {"an end naming a free line", true, {{End, 3, 20}}, 3, RepairCutFromStart, 6, three, drops},
        // Forward 11 12 13 then -7; backward 16 .. 12 then 30: the longer part.
        {"both walks broken", true, {{Next, 13, -7}, {Prev, 12, 30}}, 3, RepairCutFromEnd, 5, {12, 13, 14, 15, 16},
         drops | open},
        {"running into a lower patient's lines", true, {{Next, 13, 8}, {End, 3, 10}}, 3, RepairCutFromStart, 3,
         {11, 12, 13}, open},
        {"a line the file does not hold whole", true, {{Cut, 13, 100}}, 3, RepairCutFromStart, 3, {11, 12, 13},
         LeftShortFile | open},
        {"a loop that patient 4's start runs into too", true, {{Next, 16, 11}, {Start, 4, 13}}, 3, RepairCutFromEnd, 6,
         three, shared},
        // Its own lines are then the one chain of several lines nobody reaches.
        {"pointers naming another patient's chain", true, {{Start, 3, 6}, {End, 3, 10}}, 3, RepairFirstrec, 0, three,
         shared | orphan},
        {"the same, its own lines all single", true, {{Start, 3, 6}, {End, 3, 10}, {Unlink, 11, 16}}, 3, RepairFirstrec,
         0, {}, shared},
        // Patient 1 takes patient 2's lines; 2 is offered 1's, from line 1 on.
        {"patient 1's pointers naming patient 2's chain", true, {{Start, 1, 6}, {End, 1, 10}}, 2, RepairFirstrec, 0,
         {1, 2, 3, 4, 5}, shared | orphan},
        {"pointers out of the file, nothing nobody reaches", true, {{Start, 4, 99}, {End, 4, -3}}, 4, RepairFirstrec, 0,
         {}, 0},
        // Line 20 is in the file, above the counter: the counter may be wrong.
        {"pointers above a lowered counter", true, {{Counter, 0, 16}, {Start, 4, 20}, {End, 4, 20}}, 4, RepairFirstrec,
         0, {}, LeftCounter},
        {"a next link beyond the file (quotes)", false, {{Next, 5, 40}}, 2, RepairCutFromEnd, 4, {4, 5, 6, 7}, 0},
        {"no start (quotes)", false, {{Start, 3, 0}}, 3, RepairCutFromEnd, 3, {8, 9, 10}, 0},
        // Patient 1's quote lines, laid 3 1 2, are the chain nobody reaches:
        // from 3, whose previous link is 0, not from 1.
        {"patient 1's quote pointers naming patient 2's chain", false, {{Start, 1, 4}, {End, 1, 7}}, 2,
         RepairFirstrec, 0, {3, 1, 2}, shared | orphan},
        {"a sound chain", true, {}, 3, RepairNone, 0, three, 0},
        {"no chain at all", false, {}, 4, RepairNone, 0, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damage);
        Lay(c.clinical, c.edits);
        const ChainDiagnosis d = Diagnose(c.clinical, c.patient);
        EXPECT_EQ(std::make_tuple(d.sound, d.repair, d.ordinal), std::make_tuple(!c.repair, c.repair, c.ordinal));
        const ChainPlan judged = Judged(c.clinical ? PlanClinique : PlanDevis, c.patient);
        EXPECT_EQ(std::make_tuple(judged.sure, judged.left), std::make_tuple(c.repair && !c.left, c.left));
        if (c.repair == RepairFirstrec) {
            EXPECT_EQ(std::make_pair(d.newStart, d.newEnd),
                      c.kept.empty() ? std::make_pair(0, 0) : std::make_pair(c.kept.front(), c.kept.back()));
            const std::string texts[] = {std::to_string(c.patient), std::to_string(d.newStart),
                                         std::to_string(d.newEnd)};
            const char* typed[] = {texts[0].c_str(), texts[1].c_str(), texts[2].c_str()};
            EXPECT_TRUE(DialogConfirm(MainWindow, c.clinical ? DialogClinique : DialogDevis, typed));
        } else if (c.repair) { // a cut, with Corriger on the view it names
            EXPECT_EQ(d.kept, c.kept);
            const bool fromStart = c.repair == RepairCutFromStart;
            CurrentMode = c.clinical ? (fromStart ? ModeClinicalFromStart : ModeClinicalFromEnd)
                                     : (fromStart ? ModeQuotesFromStart : ModeQuotesFromEnd);
            CurrentPatient = c.patient;
            ScriptDialogs({{DialogLigne, true, {std::to_string(d.ordinal)}}});
            CorrectCurrentView(MainWindow);
        }
        const ChainDiagnosis after = Diagnose(c.clinical, c.patient);
        EXPECT_EQ(std::make_pair(after.sound, after.forward.lines), std::make_pair(true, c.kept));
        EXPECT_TRUE(RecordedBoxes().empty());
    }
}

TEST_F(DiagnoseTest, TheDentalChart) {
    // Patient 2: entries 3, 4, 5, back to 3; patient 1: a start beyond the
    // file; patient 3: none. Corriger takes the place of the entry from the
    // top of the view (3), not its number in the file (5), which the view shows.
    Lay(true, {{ChartNext, 5, 3}, {ChartStart, 1, 9}});
    const ChartDiagnosis loop = DiagnoseChart(2), high = DiagnoseChart(1);
    EXPECT_EQ(std::make_tuple(loop.walk.stop, loop.repair, loop.ordinal, loop.walk.lines),
              std::make_tuple(StopLoop, RepairCutFromStart, 3, Lines{3, 4, 5}));
    EXPECT_EQ(std::make_tuple(high.walk.stop, high.repair, DiagnoseChart(3).sound),
              std::make_tuple(StopBadStart, RepairFirstrec, true));
    CurrentPatient = 2, CurrentMode = ModeDentalChart;
    ScriptDialogs({{DialogLigne, true, {"3"}}});
    CorrectCurrentView(MainWindow);
    const ChartDiagnosis after = DiagnoseChart(2);
    EXPECT_EQ(std::make_pair(after.sound, after.walk.lines), std::make_pair(true, Lines{3, 4, 5}));
}

TEST_F(DiagnoseTest, TheDentalChartsRepairPlan) {
    Lay(true, {{ChartNext, 2, 1}, {ChartStart, 2, 9}}); // patient 1: 1, 2, back to 1; patient 2: a start beyond the file
    // Patient 2's entries 3 4 5 are then a chain nobody reaches: what
    // emptying its start leaves out, or what the loop lost. Alone, the loop's
    // cut is sure.
    EXPECT_EQ(std::make_tuple(Judged(PlanSchema, 1).left, Judged(PlanSchema, 2).left),
              std::make_tuple(unsigned{LeftCandidates}, unsigned{LeftCandidates}));
    // Patient 3's start in patient 2's chart: both walks are sound, the
    // chart is the higher-numbered patient's to look at.
    Lay(true, {{ChartStart, 3, 4}});
    EXPECT_EQ(std::make_tuple(Judged(PlanSchema, 2).damaged, Judged(PlanSchema, 3).left),
              std::make_tuple(false, unsigned{LeftSharedLines}));
    Lay(true, {{ChartNext, 2, 1}});
    EXPECT_TRUE(Judged(PlanSchema, 1).sure);
}

} // namespace
