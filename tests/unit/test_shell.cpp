// The shell's decisions: the host-version guard, command routing, the
// dispatcher and what the dialogs make of what was typed.
#include "tests/unit/fixture.h"
#include "tests/unit/mini_practice.h"
#include "tests/unit/standins.h"

#include "resources/resource.h"
#include "shell/app.h"
#include "store/datafiles.h"
#include "store/format.h"

namespace {

namespace L = hostlayout;
constexpr WindowRef Window = 0x1234;

TEST(HostGuard, LooksAtTheRootOfTheCurrentDrive) {
    char path[64];
    HostExecutablePath("D:\\data\\cabinet", path, sizeof path);
    EXPECT_STREQ(path, "D:\\ortavo\\ortavo.exe");
    HostExecutablePath("C:\\", path, sizeof path);
    EXPECT_STREQ(path, "C:\\ortavo\\ortavo.exe");
}

TEST(HostGuard, ThirteenOneAndLaterAreAccepted) {
    EXPECT_FALSE(HostVersionAccepted(12, 9));
    EXPECT_FALSE(HostVersionAccepted(13, 0));
    EXPECT_FALSE(HostVersionAccepted(0, 0));
    EXPECT_TRUE(HostVersionAccepted(13, 1));
    EXPECT_TRUE(HostVersionAccepted(14, 0));
    EXPECT_TRUE(HostVersionAccepted(16, 5));
    EXPECT_EQ(std::string(HostRefusedText),
              "Attention ! Ce module est destin\xE9 pour la version de ORTAVO  V13.XX, V14.XX, V15.XX et V16.XX\n"
              "Vous ne devez pas l'utiliser dans les versions ant\xE9rieures.");
}

TEST(TypedNumbers, ConvertTheWayTypedNumbersAlwaysHaveBeen) {
    EXPECT_EQ(TextToNumber(""), 0);
    EXPECT_EQ(TextToNumber("abc"), 0);
    EXPECT_EQ(TextToNumber("12abc"), 12);
    EXPECT_EQ(TextToNumber("  -7"), -7);
    EXPECT_EQ(TextToNumber("+42"), 42);
    EXPECT_EQ(TextToNumber("- 4"), 0);
    EXPECT_EQ(TextToNumber("999999999"), 999999999);
    EXPECT_EQ(TextToNumber("9999999999"), 2147483647);
    EXPECT_EQ(TextToNumber("-99999999999"), -2147483647 - 1);
}

class Shell : public PracticeTest {
protected:
    void SetUp() override {
        PracticeTest::SetUp();
        MiniPractice m(12, 10, 10, 10);
        m.ClinicalChain(12, {1, 2});
        practice = m;
        OpenPractice(practice);
    }
    bool Invalidated() const {
        for (const RecordedCall& c : RecordedCalls())
            if (c.kind == RecordedInvalidate) return true;
        return false;
    }
    MiniPractice practice{1, 1, 1, 1};
};

TEST_F(Shell, AViewCommandAsksForThePatientAndStartsTheView) {
    CurrentLine = 77;
    LineOrdinal = 5;
    ScriptDialogs({{DialogNumero, true, {"12"}}});
    RouteCommand(Window, CMD_CLINICAL_FROM_END);
    EXPECT_EQ(DialogsShown(), std::vector<DialogKind>{DialogNumero});
    EXPECT_EQ(CurrentMode, ModeClinicalFromEnd);
    EXPECT_EQ(CurrentPatient, 12);
    EXPECT_EQ(CurrentLine, 0);
    EXPECT_EQ(LineOrdinal, 0);
    EXPECT_EQ(ViewReady, 1);
    const auto& calls = RecordedCalls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.front().kind, RecordedClear); // the window is blanked first
    EXPECT_EQ(calls.front().width, 800);
    EXPECT_EQ(calls.front().height, 600);
    EXPECT_TRUE(Invalidated());
    EXPECT_TRUE(ViewCommandsEnabled());
}

TEST_F(Shell, PatientNumbersOutsideThePracticeAreRefused) {
    for (const char* typed : {"0", "13", "-1", "abc", "", "999999999"}) {
        ResetRecording();
        ScriptDialogs({{DialogNumero, true, {typed}}});
        RouteCommand(Window, CMD_DENTAL_CHART);
        const auto boxes = RecordedBoxes();
        ASSERT_EQ(boxes.size(), 1u) << typed;
        EXPECT_EQ(boxes[0].bytes, "Num\xE9ro du patient non valide.");
        EXPECT_EQ(boxes[0].caption, "Message");
        EXPECT_EQ(boxes[0].owner, Window);
        EXPECT_EQ(boxes[0].style, BoxOk);
        EXPECT_EQ(CurrentMode, ModeNone) << typed;
        EXPECT_EQ(ViewReady, 0);
        EXPECT_FALSE(Invalidated());
        EXPECT_FALSE(ViewCommandsEnabled());
    }
}

TEST_F(Shell, CancelLeavesABlankWindowInModeZero) {
    const struct {
        unsigned command;
        DialogKind dialog;
    } commands[] = {{CMD_CLINICAL_FROM_START, DialogNumero}, {CMD_RELINK_CLINICAL, DialogChangeRecord},
                    {CMD_FIRSTREC_QUOTES, DialogDevis},      {CMD_FIRSTREC_CHART, DialogSchema},
                    {CMD_BROWSE_ESTIME, DialogVisual},       {CMD_CHANGE_USER, DialogNumUser},
                    {CMD_RESET_BALANCE, DialogNumero},       {CMD_CHANGE_COLOUR, DialogColorChange},
                    {CMD_CHANGE_DESIGN, DialogNumDesign}};
    for (const auto& c : commands) {
        ResetRecording();
        ScriptDialogs({{c.dialog, false, {}}});
        RouteCommand(Window, c.command);
        EXPECT_EQ(DialogsShown().size(), 1u) << c.command;
        EXPECT_EQ(CurrentMode, ModeNone) << c.command;
        EXPECT_EQ(ViewReady, 0) << c.command;
        EXPECT_FALSE(Invalidated()) << c.command;
        EXPECT_TRUE(RecordedBoxes().empty()) << c.command;
        EXPECT_TRUE(RecordedTexts().empty()) << c.command;
    }
    ExpectFiles(practice);
}

TEST_F(Shell, EnterContinuesOnlyThePagedViews) {
    for (std::int32_t mode = 0; mode <= 26; ++mode) {
        ResetRecording();
        CurrentMode = mode;
        RouteCommand(Window, ACC_CONTINUE);
        const bool paged = (mode >= 1 && mode <= 5) || mode == 13 || mode == 14;
        EXPECT_EQ(Invalidated(), paged) << "mode " << mode;
    }
}

TEST_F(Shell, CommandsWithoutWorkDoNothing) {
    CurrentMode = ModeClinicalFromStart;
    CurrentPatient = 12;
    for (unsigned id : {CMD_EXIT, CMD_RELINK_ACCOUNTS, CMD_BROWSE_ACCOUNTS, 101, 128, 1001, 1029, 1049, 1305}) {
        ResetRecording();
        RouteCommand(Window, id);
        EXPECT_TRUE(RecordedCalls().empty()) << id;
        EXPECT_EQ(CurrentMode, ModeClinicalFromStart) << id;
    }
    RouteCommand(Window, CMD_UNLINK_ACCOUNTS); // ends the mode and nothing else
    EXPECT_EQ(CurrentMode, ModeNone);
    EXPECT_TRUE(RecordedCalls().empty());
}

TEST_F(Shell, CorrectAndPrintApplyOnlyToAPatientsView) {
    CurrentPatient = 12;
    for (std::int32_t mode = 0; mode <= 24; ++mode) {
        CurrentMode = mode;
        EXPECT_EQ(ViewCommandsEnabled(), mode >= 1 && mode <= 5) << mode;
    }
    CurrentMode = ModeQuotesFromStart;
    for (std::int32_t patient : {0, -1, 13}) {
        CurrentPatient = patient;
        EXPECT_FALSE(ViewCommandsEnabled()) << patient;
    }
}

TEST_F(Shell, BrowsingFromZeroDrawsNothingAndKeepsTheMode) {
    ScriptDialogs({{DialogVisual, true, {"0"}}});
    RouteCommand(Window, CMD_BROWSE_CLINIQUE);
    EXPECT_EQ(CurrentMode, ModeBrowseClinique);
    EXPECT_EQ(ViewReady, 0);
    EXPECT_FALSE(Invalidated());
    ScriptDialogs({{DialogVisual, true, {"7"}}});
    RouteCommand(Window, CMD_BROWSE_ESTIME);
    EXPECT_EQ(CurrentMode, ModeBrowseEstime);
    EXPECT_EQ(CurrentLine, 7);
    EXPECT_EQ(ViewReady, 1);
    EXPECT_TRUE(Invalidated());
}

TEST_F(Shell, PaintDrawsOnlyAReadyViewOfAViewMode) {
    CurrentPatient = 12;
    for (std::int32_t mode = 0; mode <= 24; ++mode) {
        for (int ready : {0, 1}) {
            ResetRecording();
            CurrentMode = mode;
            CurrentLine = mode == 13 || mode == 14 ? 1 : 0;
            ViewReady = ready;
            PaintCurrentView(0x77);
            const bool view = ready && ((mode >= 1 && mode <= 5) || mode == 13 || mode == 14);
            EXPECT_EQ(!RecordedTexts().empty(), view) << "mode " << mode << " ready " << ready;
            // The screen font is selected for the paint and the previous one put back.
            const auto& calls = RecordedCalls();
            ASSERT_GE(calls.size(), 2u);
            EXPECT_EQ(calls.front().kind, RecordedFont);
            EXPECT_EQ(calls.back().kind, RecordedFont);
        }
    }
}

TEST_F(Shell, CreationOpensTheSetMakesTheFontAndReadsTheCounters) {
    CloseDataFileSet();
    ResetSharedState();
    ResetRecording();
    OnMainWindowCreate(Window);
    EXPECT_EQ(LastPatient, 12);
    EXPECT_EQ(LastClinicalLine, 10);
    ASSERT_NE(ScreenFont, 0u);
    const auto& calls = RecordedCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].kind, RecordedFontCreate);
    EXPECT_EQ(calls[0].bytes, "OrtText");
    EXPECT_EQ(calls[0].shape.height, -13);
    EXPECT_EQ(calls[0].shape.weight, 400);
    EXPECT_EQ(calls[0].shape.outPrecision, 3u);
    EXPECT_EQ(calls[0].shape.clipPrecision, 2u);
    EXPECT_EQ(calls[0].shape.quality, 1u);
    EXPECT_EQ(calls[0].shape.pitchAndFamily, 31u);
    const FontRef font = ScreenFont;
    OnMainWindowDestroy();
    EXPECT_EQ(hClinique, 0u);
    EXPECT_EQ(RecordedCalls().back().kind, RecordedFontDelete);
    EXPECT_EQ(RecordedCalls().back().font, font);
}

// ---------------------------------------------------------------- dialogs

class Dialogs : public PracticeTest {
protected:
    bool Confirm(DialogKind kind, std::vector<const char*> texts) {
        texts.resize(4, "");
        return DialogConfirm(0x4444, kind, texts.data());
    }
};

TEST_F(Dialogs, TemplatesLimitsAndBuffers) {
    EXPECT_STREQ(DialogTemplate(DialogNumero), "Numero");
    EXPECT_STREQ(DialogTemplate(DialogChangeRecord), "Changerecord");
    EXPECT_STREQ(DialogTemplate(DialogLigne), "Ligne");
    EXPECT_EQ(DialogEditCount(DialogChangeRecord), 4);
    EXPECT_EQ(DialogEditLimit(DialogLigne, 0), 5);
    EXPECT_EQ(DialogEditLimit(DialogNumUser, 1), 2);
    EXPECT_EQ(DialogEditLimit(DialogNumDesign, 0), 3);
    // Only the first five characters of CHANGERECORD's line number count.
    EXPECT_EQ(DialogReadBuffer(DialogChangeRecord, 1), 6);
    EXPECT_EQ(DialogReadBuffer(DialogChangeRecord, 0), 10);
    EXPECT_EQ(DialogReadBuffer(DialogNumero, 0), 10);
}

TEST_F(Dialogs, UserNumbersAreTheFirstCharacterOrABlank) {
    CurrentPatient = 5;
    EXPECT_TRUE(Confirm(DialogNumUser, {"12", ""}));
    EXPECT_EQ(OldUser, '1');
    EXPECT_EQ(NewUser, ' ');
    EXPECT_EQ(CurrentPatient, 0);
}

TEST_F(Dialogs, ColoursMustBeTypedAndWithinRange) {
    struct {
        const char* old;
        const char* fresh;
        const char* message; // null when accepted
    } cases[] = {
        {"", "50", "Veuillez saisir le num\xE9ro de l'ancienne couleur."},
        {"47", "50", "La valuer doit \xEAtre comprise entre 48 \xE0 147."},
        {"148", "50", "La valuer doit \xEAtre comprise entre 48 \xE0 147."},
        {"48", "", "Veuillez saisir le num\xE9ro de la nouvelle couleur."},
        {"48", "200", "La valuer doit \xEAtre comprise entre 48 \xE0 147."},
        {"abc", "50", "La valuer doit \xEAtre comprise entre 48 \xE0 147."},
        {"48", "147", nullptr},
    };
    for (const auto& c : cases) {
        ResetRecording();
        EXPECT_EQ(Confirm(DialogColorChange, {c.old, c.fresh}), c.message == nullptr) << c.old << "/" << c.fresh;
        const auto boxes = RecordedBoxes();
        if (c.message == nullptr) {
            EXPECT_TRUE(boxes.empty());
            EXPECT_EQ(OldColour, 48);
            EXPECT_EQ(NewColour, 147);
            continue;
        }
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].bytes, c.message);
        EXPECT_EQ(boxes[0].caption, "Information");
        EXPECT_EQ(boxes[0].owner, 0u);
        EXPECT_EQ(boxes[0].style, BoxOk);
    }
}

TEST_F(Dialogs, ANegativeLineToCorrectIsACancel) {
    LineOrdinal = 40;
    EXPECT_TRUE(Confirm(DialogLigne, {"-3"}));
    EXPECT_FALSE(LineCorrectionConfirmed);
    EXPECT_EQ(LineOrdinal, 40);
    EXPECT_TRUE(Confirm(DialogLigne, {""}));
    EXPECT_TRUE(LineCorrectionConfirmed);
    EXPECT_EQ(LineOrdinal, 0);
    DialogCancel(DialogLigne);
    EXPECT_FALSE(LineCorrectionConfirmed);
    EXPECT_EQ(LineOrdinal, 0);
}

TEST_F(Dialogs, CancelsClearWhatEachDialogSays) {
    CurrentMode = ModeBrowseClinique;
    CurrentLine = 9;
    CurrentPatient = 4;
    DialogCancel(DialogVisual);
    EXPECT_EQ(CurrentMode, ModeNone);
    EXPECT_EQ(CurrentLine, 0);
    EXPECT_EQ(CurrentPatient, 4);

    CurrentMode = ModeChangeDesign;
    CurrentLine = 9;
    DialogCancel(DialogNumDesign);
    EXPECT_EQ(CurrentMode, ModeNone);
    EXPECT_EQ(CurrentLine, 0);
    EXPECT_EQ(CurrentPatient, 0);

    CurrentMode = ModeFirstrecChart;
    CurrentPatient = 3;
    CurrentLine = 9;
    DialogCancel(DialogSchema);
    EXPECT_EQ(CurrentMode, ModeNone);
    EXPECT_EQ(CurrentPatient, 0);
    EXPECT_EQ(CurrentLine, 9);
}

} // namespace
