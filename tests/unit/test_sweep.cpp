// Every menu command that reads or writes data files, run once whole and
// then once per transfer and flush it made, the journal's included, with
// that one failing, as a row of faults:
//
// - short transfers: the transfer coming up short, or the flush failing:
//   one "Erreur" box naming the file of that transfer (none for the
//   integrity test's own two files; the journal's box for the journal's),
//   once the command's dialog has closed (but the firstrec corrections',
//   whose dialog stays open for another try), no transfer of a data file
//   after it (but in the integrity test, which goes on with the next
//   patient), and the files holding exactly what the transfers before it
//   wrote;
// - power cuts: the power going just before any transfer or flush, the disk
//   keeping what was flushed and any part of what was not (platform/fault.h),
//   then `annuler`: every data record is back to its original bytes, or
//   lies in the lines `annuler` names as maybe changed without their
//   records; it names at most one group of the command's, and nothing for a
//   command whose every record went to the disk before its data write.
//
// Groups are of three records here, so that an edit of twelve lines makes
// several.
#include "tests/unit/transcript.h"

#include "resources/resource.h"
#include "shell/app.h"
#include "store/datafiles.h"
#include "store/journal.h"
#include "store/recordio.h"

#include <cstring>
#include <sstream>

namespace {

namespace L = hostlayout;

constexpr std::uint32_t GroupRecords = 3;

struct SetFile {
    const char* name;
    const char* caption;
    L::Bytes MiniPractice::*bytes;
    FileHandle* handle;
    std::size_t recordSize;
};
const SetFile SetFiles[] = {
    {"Fschema", "FSCHEMA", &MiniPractice::fschema, &hFschema, L::fschema::size},
    {"firstrec", "FIRSTREC", &MiniPractice::firstrec, &hFirstrec, L::firstrec::size},
    {"lastrec", "LASTREC", &MiniPractice::lastrec, &hLastrec, L::lastrec::size},
    {"estime", "ESTIM", &MiniPractice::estime, &hEstime, L::estime::size},
    {"clinique", "CLINIQUE", &MiniPractice::clinique, &hClinique, L::clinique::size},
    {"identite", "IDENTITE", &MiniPractice::identite, &hIdentite, L::identite::size},
};
const SetFile* FileOf(FileHandle handle) {
    for (const SetFile& f : SetFiles)
        if (*f.handle == handle) return &f;
    return nullptr;
}
const SetFile* FileNamed(const RecordFile* file) {
    for (const SetFile& f : SetFiles)
        if (file != nullptr && f.handle == file->handle) return &f;
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

// The faults a row meets.
enum Faults : unsigned { ShortTransfers = 1, PowerCuts = 2, EveryFault = 3 };

struct SweptCommand {
    unsigned id;       // a menu command; 0 for one of the test's own, `run`
    std::int32_t mode; // before the command, for those that act on a view
    std::vector<DialogAnswer> answers;
    int pages; // paints after the command
    unsigned faults;
    void (*run)() = nullptr;
};

// A repair that writes a record other than the one it read last in the
// file, which none of the window's does: the journal must read its old bytes
// itself, not take those of the record it keeps.
void WriteAfterAnotherRead() {
    JournalCommand("lecture d'une autre ligne");
    ClinicalLine line, other;
    if (!ReadCliniqueLine(5, line) || !ReadCliniqueLine(9, other)) return;
    line.bytes[L::clinique::user.at] = '8';
    line.bytes[L::clinique::design.at] = '7';
    WriteCliniqueLine(5, line);
    JournalCommandEnd();
}

JournalSubject Patient2() { return {2, static_cast<std::uint8_t>(CurrentMode)}; }

// A patient's repairs as the console makes them: one batch of two commands
// (Corriger on the clinical chain, then the quotes' firstrec), every record
// on the disk in one flush before any of their data writes; a box stops it.
void PatientBatch() {
    JournalBatchBegin();
    JournalCommand("Corriger", JournalAtCommit, Patient2);
    CorrectCurrentView(Scenario::Window);
    if (RecordedBoxes().empty()) {
        JournalCommand("Correction du Firstrec pour devis", JournalAtCommit, Patient2);
        DispatchCommand(Scenario::Window, CMD_FIRSTREC_QUOTES);
    }
    JournalBatchEnd();
}

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
        JournalSetGroupRecords(GroupRecords);
        CurrentMode = c.mode;
        CurrentPatient = 2;
        ViewReady = c.mode != 0;
        ScriptDialogs(c.answers);
    }
    void Run(const SweptCommand& c) {
        if (c.run) c.run();
        else RouteCommand(Window, c.id);
        for (int page = 0; page < c.pages; ++page) PaintCurrentView(Screen);
    }

    void ShortTransfersOf(const SweptCommand& c);
    void PowerCutsOf(const SweptCommand& c);
    // After a power cut, the disk's files put in place, then `annuler`.
    void UndoAfterCut(const std::vector<LoggedTransfer>& log, std::size_t cut, int variant,
                      const std::map<FileHandle, const SetFile*>& files, FileHandle journal,
                      const std::string& journalPath);

    const MiniPractice initial = Practice();
};

void Sweep::ShortTransfersOf(const SweptCommand& c) {
    const bool goesOn = c.id == CMD_TEST_CLINIQUE || c.id == CMD_TEST_ESTIME;
    const bool keepsItsDialog = c.id == CMD_FIRSTREC_CLINICAL || c.id == CMD_FIRSTREC_QUOTES || c.id == CMD_FIRSTREC_CHART;
    Prepare(c);
    FaultStartLog();
    Run(c);
    const std::vector<LoggedTransfer> whole = FaultLog();
    ASSERT_FALSE(whole.empty());
    std::vector<const SetFile*> files; // handles change from one opening to the next
    for (const LoggedTransfer& t : whole) files.push_back(FileOf(t.file));
    unsigned transfers = 0, flushes = 0;
    for (std::size_t k = 0; k < whole.size(); ++k) {
        const bool flush = whole[k].isFlush;
        SCOPED_TRACE((flush ? "flush " + std::to_string(flushes + 1) : "transfer " + std::to_string(transfers + 1)) +
                     ", entry " + std::to_string(k + 1) + " of " + std::to_string(whole.size()));
        Prepare(c);
        if (flush) FaultArmFailedFlush(++flushes);
        else FaultArmShortTransfer(++transfers);
        FaultStartLog();
        Run(c);
        EXPECT_TRUE(FaultFired());
        if (!goesOn) {
            const std::vector<LoggedTransfer>& faulty = FaultLog();
            for (std::size_t i = k + 1; i < faulty.size(); ++i)
                EXPECT_EQ(FileOf(faulty[i].file), nullptr) << "a transfer of a data file followed the faulty one";
        }
        std::vector<std::string> errors;
        for (const RecordedCall& b : RecordedBoxes())
            if (b.bytes == "Erreur" || b.caption == "Journal d'annulation") errors.push_back(b.caption);
        // Outside the data files, only the integrity test writes files
        // of its own; any other command's are the journal's.
        const char* expectedBox = flush || !files[k] ? goesOn ? nullptr : "Journal d'annulation" : files[k]->caption;
        EXPECT_EQ(errors, expectedBox ? std::vector<std::string>{expectedBox} : std::vector<std::string>{});
        // Over its dialog only where the dialog stays open for another try.
        if (!keepsItsDialog) {
            EXPECT_EQ(BoxesOverDialogs(), 0u) << "a box over the command's dialog";
        }
        MiniPractice expected = initial;
        for (unsigned i = 0; i < k; ++i) {
            const LoggedTransfer& t = whole[i];
            if (!t.isWrite || files[i] == nullptr) continue; // the test's own files are not data
            L::Bytes& bytes = expected.*(files[i]->bytes);
            if (bytes.size() < t.offset + t.bytes.size()) bytes.resize(t.offset + t.bytes.size());
            std::memcpy(bytes.data() + t.offset, t.bytes.data(), t.bytes.size());
        }
        ExpectFiles(expected);
    }
}

// What became of the writes not flushed at the cut, six ways: all of them
// on the disk (a crash of the program alone); the journal's lost, or zeroed,
// and the data files' there (the worst for `annuler`); none of them; every
// other one; the journal's every other one, zeros between, the data's there.
constexpr int Variants = 6;
FaultArrival Fate(int variant, std::size_t index, bool journal) {
    switch (variant) {
    case 0: return FaultArrived;
    case 1: return journal ? FaultLost : FaultArrived;
    case 2: return journal ? FaultZeroed : FaultArrived;
    case 3: return FaultLost;
    case 4: return index % 2 ? FaultLost : FaultArrived;
    default: return !journal || index % 2 ? FaultArrived : FaultZeroed;
    }
}

void Sweep::UndoAfterCut(const std::vector<LoggedTransfer>& log, std::size_t cut, int variant,
                         const std::map<FileHandle, const SetFile*>& files, FileHandle journal,
                         const std::string& journalPath) {
    FaultDisk start;
    for (const auto& [handle, file] : files) start[handle] = initial.*(file->bytes);
    std::map<const LoggedTransfer*, FaultArrival> fates; // of the writes not flushed
    const FaultDisk disk = FaultDiskAfterPowerCut(log, cut, start, [&](std::size_t index, const LoggedTransfer& t) {
        return fates[&t] = Fate(variant, index, t.file == journal);
    });
    // The journal's whole records: its writes from the start, each of whole
    // records, as far as they are on the disk one after the other; the
    // command's end is in its last.
    std::uint32_t whole = 0;
    bool contiguous = true, ended = false;
    for (std::size_t i = 0; i < log.size(); ++i) {
        const LoggedTransfer& t = log[i];
        if (!t.isWrite || t.file != journal) continue;
        const bool there = i < cut && (!fates.count(&t) || fates[&t] == FaultArrived);
        contiguous = contiguous && there && t.offset == whole;
        if (contiguous) whole += static_cast<std::uint32_t>(t.bytes.size());
        ended = contiguous;
    }
    CloseDataFileSet();
    for (const auto& [handle, file] : files) Put(file->name, disk.at(handle));
    const auto j = disk.find(journal);
    Put(journalPath, j == disk.end() ? L::Bytes{} : j->second);
    const std::size_t journalSize = j == disk.end() ? 0 : j->second.size();

    Journal read;
    const bool readable = ReadJournal(journalPath.c_str(), read);
    if (whole < 24) {
        EXPECT_FALSE(readable) << "no header on the disk";
        for (const SetFile& f : SetFiles) EXPECT_TRUE(Get(f.name) == initial.*(f.bytes)) << f.name << " written first";
        return;
    }
    ASSERT_TRUE(readable);
    EXPECT_EQ(read.wholeBytes, whole) << "the journal is read up to its last whole record, no further";
    EXPECT_EQ(read.cut, journalSize > whole);

    ASSERT_TRUE(OpenDataFileSet(MainWindow));
    std::vector<UndoOutcome> outcomes;
    UndoJournal(read, false, [](const JournalEntry&, UndoOutcome o, void* c) {
        static_cast<std::vector<UndoOutcome>*>(c)->push_back(o);
    }, &outcomes);
    CloseDataFileSet();
    for (UndoOutcome o : outcomes) EXPECT_TRUE(o == UndoRestored || o == UndoUnchanged) << "outcome " << o;

    struct Lack {
        const SetFile* file;
        std::uint32_t first, end;
    };
    std::vector<Lack> lacks;
    const std::vector<JournalCommandRecord> commands = JournalCommands(read);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back().ended, ended) << "a command cut short is said to be";
    for (const JournalCommandRecord& c : commands) {
        if (!c.lackFile) continue;
        const SetFile* f = FileNamed(c.lackFile);
        ASSERT_NE(f, nullptr);
        EXPECT_LE(c.lackEnd - c.lackFirst, GroupRecords * f->recordSize) << "more than one group named";
        lacks.push_back({f, c.lackFirst, c.lackEnd});
    }
    EXPECT_LE(lacks.size(), 1u) << "one group at most";
    for (const SetFile& f : SetFiles) {
        const L::Bytes now = Get(f.name), was = initial.*(f.bytes);
        ASSERT_EQ(now.size(), was.size()) << f.name;
        for (std::size_t at = 0; at < now.size(); at += f.recordSize) {
            if (std::equal(now.begin() + at, now.begin() + std::min(now.size(), at + f.recordSize), was.begin() + at))
                continue;
            bool named = false;
            for (const Lack& l : lacks) named |= l.file == &f && at >= l.first && at + f.recordSize <= l.end;
            EXPECT_TRUE(named) << f.name << " record " << at / f.recordSize + 1
                               << " neither given back nor named by annuler";
        }
    }
}

void Sweep::PowerCutsOf(const SweptCommand& c) {
    Prepare(c);
    FaultStartLog();
    Run(c);
    const std::vector<LoggedTransfer> log = FaultLog();
    std::string journalPath = JournalPath();
    for (char& ch : journalPath)
        if (ch == '\\') ch = '/';
    std::map<FileHandle, const SetFile*> files;
    for (const SetFile& f : SetFiles) files[*f.handle] = &f;
    FileHandle journal = 0;
    for (const LoggedTransfer& t : log)
        if (t.isWrite && !files.count(t.file)) journal = t.file;
    JournalStop(); // closed, so that its bytes can be put in place
    ASSERT_NE(journal, FileHandle{}) << "the command journals nothing";
    ASSERT_FALSE(journalPath.empty());
    // A cut before a read leaves what a cut after the entry before it left.
    for (std::size_t cut = 0; cut <= log.size(); ++cut) {
        if (cut > 0 && cut < log.size() && !log[cut - 1].isWrite && !log[cut - 1].isFlush) continue;
        bool pending = false;
        for (std::size_t i = 0; i < cut; ++i) pending |= log[i].isWrite;
        for (int variant = 0; variant < (pending ? Variants : 1); ++variant) {
            SCOPED_TRACE("power cut before entry " + std::to_string(cut + 1) + " of " + std::to_string(log.size()) +
                         ", writes not flushed: way " + std::to_string(variant));
            UndoAfterCut(log, cut, variant, files, journal, journalPath);
            if (HasFatalFailure()) return;
        }
    }
}

TEST_F(Sweep, EveryCommandMeetsEveryFault) {
    const DialogAnswer patient2{DialogNumero, true, {"2"}};
    const SweptCommand commands[] = {
        {CMD_CLINICAL_FROM_START, 0, {patient2}, 2, ShortTransfers},
        {CMD_CLINICAL_FROM_END, 0, {patient2}, 2, ShortTransfers},
        {CMD_QUOTES_FROM_START, 0, {patient2}, 2, ShortTransfers},
        {CMD_QUOTES_FROM_END, 0, {patient2}, 2, ShortTransfers},
        {CMD_DENTAL_CHART, 0, {patient2}, 2, ShortTransfers},
        {CMD_RELINK_CLINICAL, 0, {{DialogChangeRecord, true, {"2", "3", "4", "5"}}}, 0, ShortTransfers},
        {CMD_RELINK_CLINICAL, 0, {{DialogChangeRecord, true, {"2", "2", "4", "5"}}}, 0, EveryFault},
        {CMD_RELINK_QUOTE, 0, {{DialogChangeRecord, true, {"2", "2", "4", "5"}}}, 0, EveryFault},
        {CMD_FIRSTREC_CLINICAL, 0, {{DialogClinique, true, {"2", "4", "5"}}, {DialogClinique, false, {}}}, 0, EveryFault},
        {CMD_FIRSTREC_QUOTES, 0, {{DialogDevis, true, {"2", "4", "5"}}, {DialogDevis, false, {}}}, 0, EveryFault},
        {CMD_FIRSTREC_CHART, 0, {{DialogSchema, true, {"2", "4"}}, {DialogSchema, false, {}}}, 0, ShortTransfers},
        {CMD_FIRSTREC_CHART, 0, {{DialogSchema, true, {"2", "8"}}, {DialogSchema, false, {}}}, 0, EveryFault},
        {CMD_TEST_CLINIQUE, 0, {}, 0, ShortTransfers},
        {CMD_TEST_ESTIME, 0, {}, 0, ShortTransfers},
        {CMD_CORRECT, ModeClinicalFromStart, {{DialogLigne, true, {"3"}}}, 0, ShortTransfers},
        {CMD_CORRECT, ModeClinicalFromStart, {{DialogLigne, true, {"1"}}}, 0, EveryFault},
        {CMD_CORRECT, ModeQuotesFromEnd, {{DialogLigne, true, {"2"}}}, 0, EveryFault},
        {CMD_CORRECT, ModeDentalChart, {{DialogLigne, true, {"2"}}}, 0, EveryFault},
        {CMD_PRINT, ModeClinicalFromEnd, {}, 0, ShortTransfers},
        {CMD_PRINT, ModeDentalChart, {}, 0, ShortTransfers},
        {CMD_BROWSE_CLINIQUE, 0, {{DialogVisual, true, {"3"}}}, 1, ShortTransfers},
        {CMD_BROWSE_ESTIME, 0, {{DialogVisual, true, {"1"}}}, 1, ShortTransfers},
        {CMD_CHANGE_USER, 0, {{DialogNumUser, true, {"3", "4"}}}, 0, EveryFault},
        {CMD_RESET_BALANCE, 0, {patient2}, 0, EveryFault},
        {CMD_REMOVE_BILLING, 0, {}, 0, EveryFault},
        {CMD_CHANGE_COLOUR, 0, {{DialogColorChange, true, {"49", "50"}}}, 0, EveryFault},
        {CMD_CHANGE_DESIGN, 0, {{DialogNumDesign, true, {"5", "6"}}}, 0, EveryFault},
        {0, 0, {}, 0, EveryFault, WriteAfterAnotherRead},
        {0, ModeClinicalFromStart,
         {{DialogLigne, true, {"1"}}, {DialogDevis, true, {"2", "4", "5"}}, {DialogDevis, false, {}}}, 0, EveryFault,
         PatientBatch},
    };
    for (const SweptCommand& c : commands) {
        SCOPED_TRACE("command " + std::to_string(c.id) + " in mode " + std::to_string(c.mode) +
                     (c.run == WriteAfterAnotherRead ? ", a write after another read"
                      : c.run == PatientBatch        ? ", a patient's batch"
                                                     : ""));
        if (c.faults & ShortTransfers) ShortTransfersOf(c);
        if (c.faults & PowerCuts) PowerCutsOf(c);
    }
}

} // namespace
