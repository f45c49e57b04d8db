// Every menu command that reads or writes data files, with each of its
// transfers made short in turn, on one practice with something of every
// kind in it. Ends with one table: command, transfers swept, all behaved.
#include "tests/unit/reports_fixture.h"
#include "tests/unit/mini_practice.h"
#include "tests/unit/standins.h"
#include "tests/unit/sweep.h"

#include "checks/checks.h"
#include "resources/resource.h"
#include "shell/app.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

namespace L = hostlayout;
constexpr WindowRef Window = 0x1234;

MiniPractice Practice() {
    MiniPractice m(3, 12, 12, 9);
    m.ClinicalChain(2, {5, 9, 2, 7});
    m.ClinicalChain(3, {1, 9}); // crosses patient 2's chain
    m.QuoteChain(2, {3, 1, 12});
    m.QuoteChain(1, {4, 6});
    L::PutInt(m.Quote(6), L::estime::next, 13); // leaves the file
    m.ChartChain(2, {4, 8, 1});
    for (int i = 1; i <= 12; ++i) {
        std::memcpy(m.Clinical(i) + L::clinique::actCode.at, i % 3 ? "O   " : " SPR", 4);
        std::memcpy(m.Quote(i) + L::estime::actCode.at, " spr", 4);
        L::PutPadded(m.Clinical(i), L::clinique::design, " 5", ' ');
        L::PutInt(m.Clinical(i), L::clinique::colour, 49);
        m.Clinical(i)[L::clinique::user.at] = '3';
    }
    return m;
}

struct Command {
    const char* name;
    unsigned id;
    std::int32_t mode; // before the command, for those that act on a view
    std::vector<DialogAnswer> answers;
    int pages;         // paints after the command
    AfterFailure after;
};

class CommandSweep : public ReportsInTmpTest {};

TEST_F(CommandSweep, EveryCommandMeetsEveryShortTransfer) {
    const DialogAnswer patient2{DialogNumero, true, {"2"}};
    const Command commands[] = {
        {"102 fiche clinique (debut)", CMD_CLINICAL_FROM_START, 0, {patient2}, 2, StopsThere},
        {"103 fiche clinique (fin)", CMD_CLINICAL_FROM_END, 0, {patient2}, 2, StopsThere},
        {"104 devis (debut)", CMD_QUOTES_FROM_START, 0, {patient2}, 2, StopsThere},
        {"105 devis (fin)", CMD_QUOTES_FROM_END, 0, {patient2}, 2, StopsThere},
        {"106 schema dentaire", CMD_DENTAL_CHART, 0, {patient2}, 2, StopsThere},
        {"107 correction ligne clinique", CMD_RELINK_CLINICAL, 0, {{DialogChangeRecord, true, {"2", "3", "4", "5"}}}, 0, StopsThere},
        {"108 correction ligne devis", CMD_RELINK_QUOTE, 0, {{DialogChangeRecord, true, {"2", "2", "4", "5"}}}, 0, StopsThere},
        {"109 firstrec clinique", CMD_FIRSTREC_CLINICAL, 0, {{DialogClinique, true, {"2", "4", "5"}}, {DialogClinique, false, {}}}, 0, StopsThere},
        {"110 firstrec devis", CMD_FIRSTREC_QUOTES, 0, {{DialogDevis, true, {"2", "4", "5"}}, {DialogDevis, false, {}}}, 0, StopsThere},
        {"111 firstrec schema", CMD_FIRSTREC_CHART, 0, {{DialogSchema, true, {"2", "4"}}, {DialogSchema, false, {}}}, 0, StopsThere},
        {"112 test clinique", CMD_TEST_CLINIQUE, 0, {}, 0, GoesOnToNext},
        {"113 corriger (clinique)", CMD_CORRECT, ModeClinicalFromStart, {{DialogLigne, true, {"3"}}}, 0, StopsThere},
        {"113 corriger (devis, fin)", CMD_CORRECT, ModeQuotesFromEnd, {{DialogLigne, true, {"2"}}}, 0, StopsThere},
        {"113 corriger (schema)", CMD_CORRECT, ModeDentalChart, {{DialogLigne, true, {"2"}}}, 0, StopsThere},
        {"114 imprimer (clinique)", CMD_PRINT, ModeClinicalFromEnd, {}, 0, StopsThere},
        {"114 imprimer (schema)", CMD_PRINT, ModeDentalChart, {}, 0, StopsThere},
        {"115 test devis", CMD_TEST_ESTIME, 0, {}, 0, GoesOnToNext},
        {"116 fichier clinique", CMD_BROWSE_CLINIQUE, 0, {{DialogVisual, true, {"3"}}}, 1, StopsThere},
        {"117 fichier devis", CMD_BROWSE_ESTIME, 0, {{DialogVisual, true, {"1"}}}, 1, StopsThere},
        {"121 numero du user", CMD_CHANGE_USER, 0, {{DialogNumUser, true, {"3", "4"}}}, 0, StopsThere},
        {"122 RAZ solde", CMD_RESET_BALANCE, 0, {patient2}, 0, StopsThere},
        {"123 facturation ordonnance", CMD_REMOVE_BILLING, 0, {}, 0, StopsThere},
        {"126 couleur", CMD_CHANGE_COLOUR, 0, {{DialogColorChange, true, {"49", "50"}}}, 0, StopsThere},
        {"127 numero du dessin", CMD_CHANGE_DESIGN, 0, {{DialogNumDesign, true, {"5", "6"}}}, 0, StopsThere},
    };
    const MiniPractice practice = Practice();
    std::string table = "\ncommand                          transfers swept   all behaved\n";
    for (const Command& c : commands) {
        const int failuresBefore = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
        unsigned swept;
        {
            SCOPED_TRACE(c.name);
            swept = SweepShortTransfers(
                *this, practice,
                [&] {
                    CurrentMode = c.mode;
                    CurrentPatient = 2;
                    ViewReady = c.mode != 0;
                    ScriptDialogs(c.answers);
                },
                [&] {
                    RouteCommand(Window, c.id);
                    for (int page = 0; page < c.pages; ++page) PaintCurrentView(0x77);
                },
                c.after);
            EXPECT_GE(swept, 1u);
        }
        const bool behaved = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() ==
                             failuresBefore;
        char row[128];
        std::snprintf(row, sizeof row, "%-32s %15u   %s\n", c.name, swept, behaved ? "yes" : "NO");
        table += row;
    }
    std::printf("%s", table.c_str());
}

} // namespace
