// The repairs: the whole files compared byte for byte with what each repair
// must leave, and every transfer made to fail in turn.
#include "tests/unit/fixture.h"
#include "tests/unit/mini_practice.h"
#include "tests/unit/standins.h"
#include "tests/unit/sweep.h"

#include "repairs/repairs.h"
#include "resources/resource.h"
#include "shell/app.h"

#include <cstring>

namespace {

namespace L = hostlayout;
constexpr WindowRef Window = 0x1234;

class Repairs : public PracticeTest {
protected:
    bool Invalidated() const {
        for (const RecordedCall& c : RecordedCalls())
            if (c.kind == RecordedInvalidate) return true;
        return false;
    }
    std::vector<std::string> Progress() const {
        std::vector<std::string> out;
        for (const RecordedCall& c : RecordedTexts()) {
            EXPECT_EQ(c.x, 10);
            EXPECT_EQ(c.y, 20);
            out.push_back(c.bytes);
        }
        return out;
    }
    // Options > "Corriger" on the view of `mode` with the line typed.
    void Correct(std::int32_t mode, std::int32_t patient, const char* typed) {
        CurrentMode = mode;
        CurrentPatient = patient;
        ViewReady = 1;
        ScriptDialogs({{DialogLigne, true, {typed}}});
        ResetRecording();
        RouteCommand(Window, CMD_CORRECT);
    }
};

// Quotes 5 -> 9 -> 2 -> 7 of patient 2, among lines of other patients.
MiniPractice QuotePractice() {
    MiniPractice m(3, 4, 12, 4);
    m.QuoteChain(2, {5, 9, 2, 7});
    m.QuoteChain(1, {1, 3});
    return m;
}

TEST_F(Repairs, CutAfterTheSecondLineOfAViewFromTheStart) {
    const MiniPractice initial = QuotePractice();
    OpenPractice(initial);
    Correct(ModeQuotesFromStart, 2, "2");
    MiniPractice expected = initial;
    L::PutInt(expected.Quote(9), L::estime::next, 0);
    L::PutInt(expected.Firstrec(2), L::firstrec::quoteEnd, 9);
    ExpectFiles(expected); // 2 and 7 untouched, 5 and 9's back links written as they were
    EXPECT_TRUE(Invalidated());
    EXPECT_EQ(CurrentLine, 0); // the view is drawn again from its header
    EXPECT_EQ(CurrentMode, ModeQuotesFromStart);
    EXPECT_TRUE(RecordedBoxes().empty());
}

TEST_F(Repairs, CutAfterTheSecondLineOfAViewFromTheEnd) {
    const MiniPractice initial = QuotePractice();
    OpenPractice(initial);
    Correct(ModeQuotesFromEnd, 2, "2"); // the view shows 7, 2, 9, 5
    MiniPractice expected = initial;
    L::PutInt(expected.Quote(2), L::estime::prev, 0);
    L::PutInt(expected.Firstrec(2), L::firstrec::quoteStart, 2);
    ExpectFiles(expected); // QuoteEnd stays 7; 7's next and 2's next rewritten as 0 and 7
}

TEST_F(Repairs, CuttingAtTheLengthMendsWrongBackLinks) {
    MiniPractice initial(2, 12, 4, 4);
    initial.ClinicalChain(1, {4, 8, 11, 6});
    L::PutInt(initial.Clinical(8), L::clinique::prev, 3);  // wrong
    L::PutInt(initial.Clinical(6), L::clinique::prev, 0);  // wrong
    L::PutInt(initial.Firstrec(1), L::firstrec::clinicalEnd, 12); // wrong far end
    OpenPractice(initial);
    Correct(ModeClinicalFromStart, 1, "4");
    MiniPractice expected = initial;
    expected.ClinicalChain(1, {4, 8, 11, 6});
    ExpectFiles(expected);
}

TEST_F(Repairs, ACutAheadOfALoopEndsTheChainThere) {
    MiniPractice initial(1, 8, 1, 1);
    initial.ClinicalChain(1, {1, 2, 3, 4});
    L::PutInt(initial.Clinical(4), L::clinique::next, 2); // 4 goes back to 2
    OpenPractice(initial);
    Correct(ModeClinicalFromStart, 1, "3");
    MiniPractice expected = initial;
    expected.ClinicalChain(1, {1, 2, 3});
    L::PutInt(expected.Clinical(4), L::clinique::prev, 3); // the dropped line is not touched
    L::PutInt(expected.Clinical(4), L::clinique::next, 2);
    ExpectFiles(expected);
}

TEST_F(Repairs, CuttingAtZeroEmptiesTheChainsEnds) {
    const MiniPractice initial = QuotePractice();
    OpenPractice(initial);
    Correct(ModeQuotesFromEnd, 2, "0");
    MiniPractice expected = initial;
    L::PutInt(expected.Firstrec(2), L::firstrec::quoteStart, 0);
    L::PutInt(expected.Firstrec(2), L::firstrec::quoteEnd, 0);
    ExpectFiles(expected);
}

TEST_F(Repairs, CutsThatDoNotApplyWriteNothing) {
    MiniPractice initial = QuotePractice();
    L::PutInt(initial.Firstrec(3), L::firstrec::quoteStart, 13); // beyond the counter
    OpenPractice(initial);
    Correct(ModeQuotesFromStart, 2, "10"); // longer than the chain
    EXPECT_TRUE(Invalidated());
    Correct(ModeQuotesFromStart, 3, "1");
    EXPECT_TRUE(Invalidated()); // redrawn all the same
    Correct(ModeClinicalFromStart, 2, "1"); // no clinical chain
    ExpectFiles(initial);

    // Annuler, or a negative line: nothing read, nothing redrawn, the
    // numbering on screen goes on.
    for (const char* typed : {static_cast<const char*>("-1"), static_cast<const char*>(nullptr)}) {
        CurrentMode = ModeQuotesFromStart;
        CurrentPatient = 2;
        LineOrdinal = 31;
        if (typed)
            ScriptDialogs({{DialogLigne, true, {typed}}});
        else
            ScriptDialogs({{DialogLigne, false, {}}});
        ResetRecording();
        FaultStartLog();
        RouteCommand(Window, CMD_CORRECT);
        EXPECT_TRUE(FaultLog().empty());
        EXPECT_FALSE(Invalidated());
        EXPECT_EQ(LineOrdinal, 31);
        FaultDisarm();
    }
    // Outside a patient's view the command does not even ask.
    CurrentMode = ModeBrowseClinique;
    ScriptDialogs({});
    RouteCommand(Window, CMD_CORRECT);
    EXPECT_TRUE(DialogsShown().empty());
    ExpectFiles(initial);
}

// A view that ended on a record it could not read is drawn again after the
// cut, from its header, as after any cut: the record is out of the chain now.
TEST_F(Repairs, ACutRedrawsAViewThatEndedOnAnUnreadableRecord) {
    MiniPractice initial(1, 6, 1, 1);
    initial.ClinicalChain(1, {1, 2, 3, 6});
    initial.clinique.resize(5 * L::clinique::size); // line 6 lies past the end of the file
    OpenPractice(initial);
    CurrentMode = ModeClinicalFromStart;
    CurrentPatient = 1;
    CurrentLine = LineOrdinal = 0;
    ViewReady = 1;
    PaintCurrentView(0x77);
    ASSERT_EQ(RecordedBoxes().size(), 1u);
    ASSERT_EQ(ViewReady, 0);

    ScriptDialogs({{DialogLigne, true, {"3"}}});
    RouteCommand(Window, CMD_CORRECT);
    ResetRecording();
    PaintCurrentView(0x77);
    EXPECT_TRUE(RecordedBoxes().empty());
    ASSERT_EQ(RecordedTexts().size(), 4u) << "the header and lines 1 to 3";
    EXPECT_EQ(RecordedTexts()[0].bytes.rfind("DEBUTACTE: 1    FINACTE: 3", 0), 0u);
}

TEST_F(Repairs, DentalChartCuts) {
    MiniPractice initial(1, 1, 1, 9);
    initial.ChartChain(1, {3, 8, 1, 6});
    OpenPractice(initial);
    Correct(ModeDentalChart, 1, "2");
    MiniPractice expected = initial;
    L::PutInt(expected.Entry(8), L::fschema::next, 0);
    ExpectFiles(expected);
    Correct(ModeDentalChart, 1, "0");
    L::PutInt(expected.Firstrec(1), L::firstrec::chartStart, 0);
    ExpectFiles(expected);
}

TEST_F(Repairs, RelinkOverwritesTheTwoLinksOfOneLine) {
    MiniPractice initial(2, 10, 10, 1);
    initial.ClinicalChain(1, {4, 2, 9});
    OpenPractice(initial);
    ScriptDialogs({{DialogChangeRecord, true, {"1", "2", "7", "3"}}});
    RouteCommand(Window, CMD_RELINK_CLINICAL);
    MiniPractice expected = initial;
    L::PutInt(expected.Clinical(2), L::clinique::next, 7);
    L::PutInt(expected.Clinical(2), L::clinique::prev, 3);
    ExpectFiles(expected);
    EXPECT_EQ(CurrentMode, ModeNone);
    EXPECT_EQ(CurrentPatient, 0);
    EXPECT_EQ(ViewReady, 0);

    // Both 0 on line 1: the start pointer is left as it is.
    ScriptDialogs({{DialogChangeRecord, true, {"1", "1", "", ""}}});
    RouteCommand(Window, CMD_RELINK_CLINICAL);
    L::PutInt(expected.Clinical(4), L::clinique::next, 0);
    L::PutInt(expected.Clinical(4), L::clinique::prev, 0);
    ExpectFiles(expected);
}

TEST_F(Repairs, RelinkThatDoesNotApplyWritesNothing) {
    MiniPractice initial(2, 10, 10, 1);
    initial.QuoteChain(1, {4, 2});
    initial.ClinicalChain(2, {5, 6});
    L::PutInt(initial.Clinical(6), L::clinique::next, 5); // loops
    OpenPractice(initial);
    const std::vector<std::vector<std::string>> typed = {
        {"1", "1", "-1", "0"},  // "Suivant" below 0
        {"1", "1", "0", "11"},  // "Précédant" beyond the counter
        {"1", "3", "1", "1"},   // the chain has 2 lines
        {"0", "1", "1", "1"},   // no patient
        {"2", "1", "1", "1"},   // patient 2 has no quotes
        {"1", "0", "1", "1"},   // line 0
    };
    for (const auto& t : typed) {
        ScriptDialogs({{DialogChangeRecord, true, t}});
        RouteCommand(Window, CMD_RELINK_QUOTE);
        EXPECT_TRUE(RecordedBoxes().empty());
    }
    // A patient beyond the file: its firstrec read fails first.
    ScriptDialogs({{DialogChangeRecord, true, {"3", "1", "1", "1"}}});
    RouteCommand(Window, CMD_RELINK_QUOTE);
    ASSERT_EQ(RecordedBoxes().size(), 1u);
    EXPECT_EQ(RecordedBoxes()[0].caption, "FIRSTREC");
    // Line 0 of a chain that loops back: nothing, and no endless walk.
    ScriptDialogs({{DialogChangeRecord, true, {"2", "0", "1", "1"}}});
    RouteCommand(Window, CMD_RELINK_CLINICAL);
    // The typed line number counts by its first five characters only: the
    // Win32 dialog reads it with a 6-byte buffer (tested under Wine).
    ExpectFiles(initial);
}

TEST_F(Repairs, FirstrecCorrections) {
    MiniPractice initial(12, 60, 60, 30);
    initial.QuoteChain(12, {1, 2});
    OpenPractice(initial);
    MiniPractice expected = initial;

    ScriptDialogs({{DialogDevis, true, {"12", "40", ""}}});
    RouteCommand(Window, CMD_FIRSTREC_QUOTES);
    L::PutInt(expected.Firstrec(12), L::firstrec::quoteStart, 40);
    L::PutInt(expected.Firstrec(12), L::firstrec::quoteEnd, 0);
    ExpectFiles(expected);
    EXPECT_EQ(CurrentMode, ModeNone);
    EXPECT_EQ(CurrentPatient, 0);

    ScriptDialogs({{DialogDevis, true, {"12", "-1", "7"}}});
    RouteCommand(Window, CMD_FIRSTREC_QUOTES);
    L::PutInt(expected.Firstrec(12), L::firstrec::quoteEnd, 7);
    ExpectFiles(expected);

    ScriptDialogs({{DialogClinique, true, {"3", "60", "61"}}});
    RouteCommand(Window, CMD_FIRSTREC_CLINICAL);
    L::PutInt(expected.Firstrec(3), L::firstrec::clinicalStart, 60);
    ExpectFiles(expected);

    ScriptDialogs({{DialogSchema, true, {"5abc", "30"}}});
    RouteCommand(Window, CMD_FIRSTREC_CHART);
    L::PutInt(expected.Firstrec(5), L::firstrec::chartStart, 30);
    ExpectFiles(expected);

    for (const char* patient : {"0", "abc", "13"}) {
        ScriptDialogs({{DialogSchema, true, {patient, "1"}}});
        FaultStartLog();
        RouteCommand(Window, CMD_FIRSTREC_CHART);
        EXPECT_TRUE(FaultLog().empty()) << patient;
        EXPECT_EQ(DialogAnswersLeft(), 0u);
        FaultDisarm();
    }
    ExpectFiles(expected);
    EXPECT_TRUE(RecordedBoxes().empty());
}

TEST_F(Repairs, FirstrecFailureKeepsTheDialogOpen) {
    MiniPractice initial(4, 4, 4, 4);
    OpenPractice(initial);
    // The write fails: box, the dialog stays; "Corriger" again succeeds.
    ScriptDialogs({{DialogClinique, true, {"2", "3", "4"}}, {DialogClinique, true, {"2", "3", "4"}}});
    FaultArmShortTransfer(1, FaultWritesOnly);
    RouteCommand(Window, CMD_FIRSTREC_CLINICAL);
    ASSERT_EQ(RecordedBoxes().size(), 1u);
    EXPECT_EQ(RecordedBoxes()[0].caption, "FIRSTREC");
    EXPECT_EQ(DialogsShown().size(), 1u);
    EXPECT_EQ(DialogAnswersLeft(), 0u);
    MiniPractice expected = initial;
    L::PutInt(expected.Firstrec(2), L::firstrec::clinicalStart, 3);
    L::PutInt(expected.Firstrec(2), L::firstrec::clinicalEnd, 4);
    ExpectFiles(expected);
}

TEST_F(Repairs, BalanceResetChangesEightBytes) {
    MiniPractice initial(3, 1, 1, 1);
    OpenPractice(initial);
    ScriptDialogs({{DialogNumero, true, {"2"}}});
    RouteCommand(Window, CMD_RESET_BALANCE);
    MiniPractice expected = initial;
    for (std::size_t i = 2206; i <= 2213; ++i) expected.identite[i] = 0;
    ExpectFiles(expected);
    const auto boxes = RecordedBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].bytes,
              "Le solde du patient est initialis\xE9. Veuillez remettre le solde manuellement.");
    EXPECT_EQ(boxes[0].caption, "Information");
    EXPECT_EQ(boxes[0].owner, 0u);
    EXPECT_EQ(CurrentMode, ModeResetBalance);
    EXPECT_EQ(ViewReady, 1);
    EXPECT_TRUE(Invalidated());
    ResetRecording();
    PaintCurrentView(0x77);
    EXPECT_TRUE(RecordedTexts().empty()); // the window stays blank
}

TEST_F(Repairs, UserNumbersAcrossTheFile) {
    MiniPractice initial(1, 5, 1, 1);
    const char users[] = {'3', '7', ' ', '0', 'A'};
    for (int i = 0; i < 5; ++i) initial.Clinical(i + 1)[L::clinique::user.at] = static_cast<std::uint8_t>(users[i]);
    OpenPractice(initial);
    ScriptDialogs({{DialogNumUser, true, {"3", "5"}}});
    RouteCommand(Window, CMD_CHANGE_USER);
    MiniPractice expected = initial;
    const char changed[] = {'5', '7', '5', '5', '5'};
    for (int i = 0; i < 5; ++i) expected.Clinical(i + 1)[L::clinique::user.at] = static_cast<std::uint8_t>(changed[i]);
    ExpectFiles(expected);
    EXPECT_EQ(Progress(), (std::vector<std::string>{"1/5", "2/5", "3/5", "4/5", "5/5"}));
    EXPECT_EQ(CurrentMode, ModeNone);
}

TEST_F(Repairs, ColoursComparedOnTheFirstByteWrittenToBoth) {
    MiniPractice initial(1, 3, 1, 1);
    auto colours = [](MiniPractice& m, int line, int first, int second) {
        L::PutInt(m.Clinical(line), L::clinique::colour, first);
        L::PutInt(m.Clinical(line), L::clinique::colour2, second);
    };
    colours(initial, 1, 49, 60);
    colours(initial, 2, 48, 49);
    colours(initial, 3, 49, 49);
    OpenPractice(initial);
    ScriptDialogs({{DialogColorChange, true, {"49", "50"}}});
    RouteCommand(Window, CMD_CHANGE_COLOUR);
    MiniPractice expected = initial;
    colours(expected, 1, 50, 50);
    colours(expected, 3, 50, 50);
    ExpectFiles(expected);
}

TEST_F(Repairs, DesignNumbers) {
    MiniPractice initial(1, 5, 1, 1);
    const char* designs[] = {" 5", "05", "  ", "5 ", "15"};
    for (int i = 0; i < 5; ++i) L::PutPadded(initial.Clinical(i + 1), L::clinique::design, designs[i], ' ');
    OpenPractice(initial);
    struct {
        const char* old;
        const char* fresh;
        const char* after[5];
    } cases[] = {
        {"5", "12", {"12", "12", "  ", "12", "15"}},
        {"12", "0", {"  ", "  ", "  ", "  ", "15"}},
        {"15", "123", {"  ", "  ", "  ", "  ", "12"}},
        {"0", "7", {"  ", "  ", "  ", "  ", "12"}}, // old 0: nothing at all
    };
    MiniPractice expected = initial;
    for (const auto& c : cases) {
        ResetRecording();
        ScriptDialogs({{DialogNumDesign, true, {c.old, c.fresh}}});
        RouteCommand(Window, CMD_CHANGE_DESIGN);
        for (int i = 0; i < 5; ++i) L::PutPadded(expected.Clinical(i + 1), L::clinique::design, c.after[i], ' ');
        ExpectFiles(expected);
        EXPECT_EQ(CurrentMode, ModeNone);
    }
    EXPECT_TRUE(Progress().empty()); // the last run, with old number 0, read nothing
}

TEST_F(Repairs, PrescriptionBillingForms) {
    MiniPractice initial(1, 8, 5, 1);
    const char* clinical[] = {"o   ", " O  ", "  O ", "   O", "O\0\0\0", "OX  ", " SPR", "spr "};
    for (int i = 0; i < 8; ++i) {
        std::memcpy(initial.Clinical(i + 1) + L::clinique::actCode.at, clinical[i], 4);
        initial.Clinical(i + 1)[L::clinique::billed.at] = 'F';
    }
    const char* quotes[] = {" spr", "SPRX", "O   ", "SPR ", "SP  "};
    for (int i = 0; i < 5; ++i) std::memcpy(initial.Quote(i + 1) + L::estime::actCode.at, quotes[i], 4);
    OpenPractice(initial);
    RouteCommand(Window, CMD_REMOVE_BILLING);
    MiniPractice expected = initial;
    for (int i = 1; i <= 4; ++i) expected.Clinical(i)[L::clinique::billed.at] = ' ';
    std::memcpy(expected.Clinical(7) + L::clinique::actCode.at, "SPR ", 4);
    std::memcpy(expected.Clinical(8) + L::clinique::actCode.at, "SPR ", 4);
    std::memcpy(expected.Quote(1) + L::estime::actCode.at, "SPR ", 4);
    ExpectFiles(expected);
    const auto progress = Progress();
    ASSERT_EQ(progress.size(), 13u);
    EXPECT_EQ(progress[7], "8/8");
    EXPECT_EQ(progress.back(), "5/5");
    EXPECT_EQ(CurrentMode, ModeNone);
}

// Every repair, with each of its transfers failing in turn.
TEST_F(Repairs, EveryTransferOfEveryRepairCanFail) {
    MiniPractice m(3, 12, 12, 9);
    m.ClinicalChain(2, {5, 9, 2, 7});
    m.QuoteChain(2, {3, 1, 12});
    m.ChartChain(2, {4, 8, 1});
    for (int i = 1; i <= 12; ++i) {
        std::memcpy(m.Clinical(i) + L::clinique::actCode.at, i % 3 ? "O   " : " SPR", 4);
        std::memcpy(m.Quote(i) + L::estime::actCode.at, " spr", 4);
        L::PutPadded(m.Clinical(i), L::clinique::design, " 5", ' ');
        L::PutInt(m.Clinical(i), L::clinique::colour, 49);
        m.Clinical(i)[L::clinique::user.at] = '3';
    }
    struct Case {
        const char* name;
        std::int32_t mode;
        unsigned command;
        std::vector<DialogAnswer> answers;
    };
    const Case cases[] = {
        {"cut forward", ModeClinicalFromStart, CMD_CORRECT, {{DialogLigne, true, {"3"}}}},
        {"cut backward", ModeQuotesFromEnd, CMD_CORRECT, {{DialogLigne, true, {"2"}}}},
        {"cut chart", ModeDentalChart, CMD_CORRECT, {{DialogLigne, true, {"2"}}}},
        {"cut to nothing", ModeClinicalFromEnd, CMD_CORRECT, {{DialogLigne, true, {"0"}}}},
        {"relink", 0, CMD_RELINK_QUOTE, {{DialogChangeRecord, true, {"2", "3", "4", "5"}}}},
        {"firstrec", 0, CMD_FIRSTREC_QUOTES, {{DialogDevis, true, {"2", "4", "5"}}, {DialogDevis, false, {}}}},
        {"balance", 0, CMD_RESET_BALANCE, {{DialogNumero, true, {"3"}}}},
        {"users", 0, CMD_CHANGE_USER, {{DialogNumUser, true, {"3", "4"}}}},
        {"colours", 0, CMD_CHANGE_COLOUR, {{DialogColorChange, true, {"49", "50"}}}},
        {"designs", 0, CMD_CHANGE_DESIGN, {{DialogNumDesign, true, {"5", "6"}}}},
        {"billing", 0, CMD_REMOVE_BILLING, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const unsigned swept = SweepShortTransfers(
            *this, m,
            [&] {
                CurrentMode = c.mode;
                CurrentPatient = 2;
                ScriptDialogs(c.answers);
            },
            [&] { RouteCommand(Window, c.command); });
        EXPECT_GE(swept, 2u);
    }
}

} // namespace
