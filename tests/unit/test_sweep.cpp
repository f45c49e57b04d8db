// Every menu command that reads or writes data files, run once whole and
// then once per transfer it made, the journal's included, with that transfer
// coming up short: one "Erreur" box naming the file of that transfer (none
// for the integrity test's own two files; the journal's box for the
// journal's), no transfer after it (but in the integrity test, which goes on
// with the next patient), and the files holding exactly what the transfers
// before it wrote.
#include "tests/unit/transcript.h"

#include "resources/resource.h"
#include "shell/app.h"
#include "store/datafiles.h"
#include "store/journal.h"

#include <cstring>

namespace {

namespace L = hostlayout;

struct SetFile {
    const char* caption;
    L::Bytes MiniPractice::*bytes;
    FileHandle* handle;
};
const SetFile SetFiles[] = {
    {"FSCHEMA", &MiniPractice::fschema, &hFschema}, {"FIRSTREC", &MiniPractice::firstrec, &hFirstrec},
    {"LASTREC", &MiniPractice::lastrec, &hLastrec}, {"ESTIM", &MiniPractice::estime, &hEstime},
    {"CLINIQUE", &MiniPractice::clinique, &hClinique}, {"IDENTITE", &MiniPractice::identite, &hIdentite},
};
const SetFile* FileOf(FileHandle handle) {
    for (const SetFile& f : SetFiles)
        if (*f.handle == handle) return &f;
    return nullptr;
}

// Something of every kind: chains that cross and leave the file, act codes,
// designs, colours and users that the edits change.
MiniPractice Practice() {
    MiniPractice m(3, 12, 12, 9);
    m.ClinicalChain(2, {5, 9, 2, 7});
    m.ClinicalChain(3, {1, 9});
    m.QuoteChain(2, {3, 1, 12});
    m.QuoteChain(1, {4, 6});
    L::PutInt(m.Quote(6), L::estime::next, 13);
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

struct SweptCommand {
    unsigned id;
    std::int32_t mode; // before the command, for those that act on a view
    std::vector<DialogAnswer> answers;
    int pages; // paints after the command
};

class Sweep : public Scenario {
protected:
    void Prepare(const SweptCommand& c) {
        FaultDisarm();
        CloseDataFileSet();
        OpenPractice(initial);
        // A fresh journal each time, as a new run would make.
        JournalStop();
        std::filesystem::remove_all(dir / JournalFolder);
        JournalStart(dir.string().c_str());
        CurrentMode = c.mode;
        CurrentPatient = 2;
        ViewReady = c.mode != 0;
        ScriptDialogs(c.answers);
    }
    void Run(const SweptCommand& c) {
        RouteCommand(Window, c.id);
        for (int page = 0; page < c.pages; ++page) PaintCurrentView(Screen);
    }
    const MiniPractice initial = Practice();
};

TEST_F(Sweep, EveryCommandMeetsEveryShortTransfer) {
    const DialogAnswer patient2{DialogNumero, true, {"2"}};
    const SweptCommand commands[] = {
        {CMD_CLINICAL_FROM_START, 0, {patient2}, 2},
        {CMD_CLINICAL_FROM_END, 0, {patient2}, 2},
        {CMD_QUOTES_FROM_START, 0, {patient2}, 2},
        {CMD_QUOTES_FROM_END, 0, {patient2}, 2},
        {CMD_DENTAL_CHART, 0, {patient2}, 2},
        {CMD_RELINK_CLINICAL, 0, {{DialogChangeRecord, true, {"2", "3", "4", "5"}}}, 0},
        {CMD_RELINK_QUOTE, 0, {{DialogChangeRecord, true, {"2", "2", "4", "5"}}}, 0},
        {CMD_FIRSTREC_CLINICAL, 0, {{DialogClinique, true, {"2", "4", "5"}}, {DialogClinique, false, {}}}, 0},
        {CMD_FIRSTREC_QUOTES, 0, {{DialogDevis, true, {"2", "4", "5"}}, {DialogDevis, false, {}}}, 0},
        {CMD_FIRSTREC_CHART, 0, {{DialogSchema, true, {"2", "4"}}, {DialogSchema, false, {}}}, 0},
        {CMD_TEST_CLINIQUE, 0, {}, 0},
        {CMD_TEST_ESTIME, 0, {}, 0},
        {CMD_CORRECT, ModeClinicalFromStart, {{DialogLigne, true, {"3"}}}, 0},
        {CMD_CORRECT, ModeQuotesFromEnd, {{DialogLigne, true, {"2"}}}, 0},
        {CMD_CORRECT, ModeDentalChart, {{DialogLigne, true, {"2"}}}, 0},
        {CMD_PRINT, ModeClinicalFromEnd, {}, 0},
        {CMD_PRINT, ModeDentalChart, {}, 0},
        {CMD_BROWSE_CLINIQUE, 0, {{DialogVisual, true, {"3"}}}, 1},
        {CMD_BROWSE_ESTIME, 0, {{DialogVisual, true, {"1"}}}, 1},
        {CMD_CHANGE_USER, 0, {{DialogNumUser, true, {"3", "4"}}}, 0},
        {CMD_RESET_BALANCE, 0, {patient2}, 0},
        {CMD_REMOVE_BILLING, 0, {}, 0},
        {CMD_CHANGE_COLOUR, 0, {{DialogColorChange, true, {"49", "50"}}}, 0},
        {CMD_CHANGE_DESIGN, 0, {{DialogNumDesign, true, {"5", "6"}}}, 0},
    };
    for (const SweptCommand& c : commands) {
        SCOPED_TRACE("command " + std::to_string(c.id) + " in mode " + std::to_string(c.mode));
        const bool goesOn = c.id == CMD_TEST_CLINIQUE || c.id == CMD_TEST_ESTIME;
        Prepare(c);
        FaultStartLog();
        Run(c);
        const std::vector<LoggedTransfer> whole = FaultLog();
        ASSERT_FALSE(whole.empty());
        std::vector<const SetFile*> files; // handles change from one opening to the next
        for (const LoggedTransfer& t : whole) files.push_back(FileOf(t.file));
        for (unsigned k = 1; k <= whole.size(); ++k) {
            SCOPED_TRACE("transfer " + std::to_string(k) + " of " + std::to_string(whole.size()));
            Prepare(c);
            FaultArmShortTransfer(k);
            Run(c);
            EXPECT_TRUE(FaultFired());
            if (!goesOn) {
                EXPECT_EQ(FaultTransfersSeen(), k) << "a transfer followed the short one";
            }
            std::vector<std::string> errors;
            for (const RecordedCall& b : RecordedBoxes())
                if (b.bytes == "Erreur" || b.caption == "Journal d'annulation") errors.push_back(b.caption);
            // Outside the data files, only the integrity test writes files
            // of its own; any other command's are the journal's.
            const char* expectedBox = files[k - 1] ? files[k - 1]->caption : goesOn ? nullptr : "Journal d'annulation";
            EXPECT_EQ(errors, expectedBox ? std::vector<std::string>{expectedBox} : std::vector<std::string>{});
            MiniPractice expected = initial;
            for (unsigned i = 0; i + 1 < k; ++i) {
                const LoggedTransfer& t = whole[i];
                if (!t.isWrite || files[i] == nullptr) continue; // the test's own files are not data
                L::Bytes& bytes = expected.*(files[i]->bytes);
                if (bytes.size() < t.offset + t.bytes.size()) bytes.resize(t.offset + t.bytes.size());
                std::memcpy(bytes.data() + t.offset, t.bytes.data(), t.bytes.size());
            }
            ExpectFiles(expected);
        }
    }
}

} // namespace
