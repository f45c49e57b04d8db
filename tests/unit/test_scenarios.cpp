// Every command of the window on small practices laid by hand, compared
// with golden transcripts (see transcript.h): what each view draws page
// after page, on screen and on paper, the integrity and size tests, every
// repair through its dialog, and what the shell refuses; the journals and
// their undoing in the technician's words.
#include "tests/unit/transcript.h"

#include "checks/print.h"
#include "repairs/journal_words.h"
#include "resources/resource.h"
#include "shell/app.h"
#include "store/journal.h"
#include "store/recordio.h"

#include <cstring>
#include <filesystem>
#include <numeric>

namespace {

namespace L = hostlayout;

DialogAnswer Ok(DialogKind kind, std::vector<std::string> texts) { return {kind, true, std::move(texts)}; }
DialogAnswer Patient(const char* number) { return Ok(DialogNumero, {number}); }
DialogAnswer Line(const char* number) { return Ok(DialogLigne, {number}); }

// Patient 1's chains through records 1..n in file order: clinical lines in
// colour 48, quote lines, chart entries with no slot in use.
std::vector<std::int32_t> Range(std::int32_t from, std::int32_t to) {
    std::vector<std::int32_t> r(static_cast<std::size_t>(to - from + 1));
    std::iota(r.begin(), r.end(), from);
    return r;
}

MiniPractice InOrder(std::int32_t clinical, std::int32_t quotes, std::int32_t entries, std::int32_t fileRecords) {
    MiniPractice m(2, fileRecords, fileRecords, fileRecords);
    m.ClinicalChain(1, Range(1, clinical));
    m.QuoteChain(1, Range(1, quotes));
    m.ChartChain(1, Range(1, entries));
    for (std::int32_t i = 1; i <= fileRecords; ++i) {
        L::PutInt(m.Clinical(i), L::clinique::colour, 48);
        std::fill_n(m.Entry(i) + L::fschema::valueC, L::fschema::slots, 0x20);
    }
    return m;
}

// A clinical chain's ends as firstrec holds them, and one line's links.
void Ends(MiniPractice& m, std::int32_t patient, std::int32_t start, std::int32_t end) {
    L::PutInt(m.Firstrec(patient), L::firstrec::clinicalStart, start);
    L::PutInt(m.Firstrec(patient), L::firstrec::clinicalEnd, end);
}
void Links(MiniPractice& m, std::int32_t line, std::int32_t prev, std::int32_t next) {
    L::PutInt(m.Clinical(line), L::clinique::prev, prev);
    L::PutInt(m.Clinical(line), L::clinique::next, next);
}

void Counter(MiniPractice& m, std::size_t which, std::int32_t value) {
    L::PutInt(m.lastrec.data() + which * L::lastrec::size, L::lastrec::counter, value);
}

} // namespace

// ---------------------------------------------------------------- views

SCENARIO(clinical_chart) {
    MiniPractice m(3, 20, 4, 4);
    m.ClinicalChain(2, {5, 9, 2});
    L::PutInt(m.Clinical(5), L::clinique::colour, 48);
    L::PutInt(m.Clinical(9), L::clinique::colour, 49);
    L::PutInt(m.Clinical(2), L::clinique::colour, 50);
    Open(m);
    Command(CMD_CLINICAL_FROM_START, {Patient("2")});
    Paint(2); // after the end: the header again
    Command(CMD_CLINICAL_FROM_END, {Patient("2")});
    Paint();
    Command(ACC_CONTINUE);
}

SCENARIO(pages) {
    clientBottom = 200; // a page of the window ends at 100
    Open(InOrder(14, 0, 0, 20));
    Command(CMD_CLINICAL_FROM_START, {Patient("1")});
    Paint(4);
    // A chain that ends on the last place of its page: no empty page after.
    Open(InOrder(6, 0, 0, 20));
    Command(CMD_CLINICAL_FROM_START, {Patient("1")});
    Paint(2);
}

SCENARIO(looping_chain) {
    clientBottom = 200;
    MiniPractice m(1, 6, 1, 1);
    m.ClinicalChain(1, {1, 2, 3});
    L::PutInt(m.Clinical(3), L::clinique::next, 2); // back to its second line
    Open(m);
    Command(CMD_CLINICAL_FROM_START, {Patient("1")});
    Paint(3); // numbered on and on
}

SCENARIO(walks_leaving_the_file) {
    MiniPractice m(4, 10, 4, 4);
    m.ClinicalChain(1, {3, 4});
    L::PutInt(m.Clinical(4), L::clinique::next, 11); // one past the counter
    L::PutInt(m.Firstrec(2), L::firstrec::clinicalStart, -3);
    L::PutInt(m.Firstrec(3), L::firstrec::clinicalStart, 10000);
    Open(m);
    for (const char* patient : {"1", "2", "3"}) {
        Command(CMD_CLINICAL_FROM_START, {Patient(patient)});
        Paint(2); // nothing until a command is chosen again
    }
}

SCENARIO(unreadable_records) {
    MiniPractice m(2, 12, 10, 4);
    m.ClinicalChain(1, {1, 2, 12});
    m.clinique.resize(11 * 224); // shorter than its counter
    m.estime.resize(7 * 86);
    Open(m);
    Command(CMD_CLINICAL_FROM_START, {Patient("1")});
    Paint(2); // the box is not shown again
    Command(CMD_CLINICAL_FROM_START, {Patient("1")});
    ShortTransfer(1); // the firstrec read
    Paint();
    Command(CMD_BROWSE_ESTIME, {Ok(DialogVisual, {"5"})});
    Paint(2);
}

SCENARIO(quotes) {
    MiniPractice m(2, 4, 12, 4);
    m.QuoteChain(2, {5, 9, 2});
    Open(m);
    Command(CMD_QUOTES_FROM_START, {Patient("2")});
    Paint();
    Command(CMD_QUOTES_FROM_END, {Patient("2")});
    Paint();
    Command(CMD_QUOTES_FROM_START, {Patient("1")}); // no quotes: the header, every time
    Paint(2);
}

SCENARIO(dental_chart) {
    MiniPractice m(1, 4, 4, 12);
    m.ChartChain(1, {7, 12});
    std::uint8_t* e = m.Entry(7);
    for (std::size_t i = 0; i < L::fschema::slots; ++i) e[L::fschema::valueC + i] = 0x20;
    e[L::fschema::valueA + 3] = 11;
    e[L::fschema::valueB + 3] = 2;
    e[L::fschema::valueC + 3] = 65;
    e[L::fschema::valueA + 0] = 0xFF; // -1
    e[L::fschema::valueB + 0] = 0x80; // -128
    e[L::fschema::valueC + 0] = 0;    // zero is a value: the slot is in use
    for (std::size_t i = 0; i < L::fschema::slots; ++i) m.Entry(12)[L::fschema::valueC + i] = 0x20;
    Open(m);
    Command(CMD_DENTAL_CHART, {Patient("1")});
    Paint();
}

SCENARIO(raw_browser) {
    clientBottom = 200;
    MiniPractice m(1, 20, 6, 1);
    m.lastrec = L::Lastrec(1, 16, 6, 1); // four lines more in the file than in use
    L::PutInt(m.Clinical(3), L::clinique::colour, 49);
    Open(m);
    Command(CMD_BROWSE_CLINIQUE, {Ok(DialogVisual, {"2"})});
    Paint(4);
    Command(CMD_BROWSE_CLINIQUE, {Ok(DialogVisual, {"0"})}); // nothing drawn
    Paint();
    Command(CMD_BROWSE_ESTIME, {Ok(DialogVisual, {"6"})});
    Paint();
}

// ---------------------------------------------------------------- paper

// At 3508 device units the page ends at 3408; at 300 (printerResolution)
// at 200: the first page holds the header and 9 lines, the others 10.
SCENARIO(print_clinical_chart) {
    printerResolution = 300;
    clientBottom = 200;
    Open(InOrder(20, 0, 0, 20));
    Command(CMD_CLINICAL_FROM_END, {Patient("1")});
    Paint(); // the screen stands in the chain: the job starts over
    Command(CMD_PRINT);
}

SCENARIO(print_pages_filled_to_the_last_line) {
    printerResolution = 300;
    Open(InOrder(0, 29, 19, 30)); // 9 + 10 + 10 quotes, 9 + 10 entries
    Print(CMD_QUOTES_FROM_START, "1");
    Print(CMD_DENTAL_CHART, "1");
    Open(InOrder(0, 30, 0, 30)); // one line more: a page of its own
    Print(CMD_QUOTES_FROM_END, "1");
}

SCENARIO(print_walks_that_stop) {
    printerResolution = 300;
    MiniPractice m = InOrder(0, 9, 12, 20);
    L::PutInt(m.Quote(9), L::estime::next, 21); // leaves the file on a full page
    m.fschema.resize(9 * L::fschema::size);     // the tenth entry cannot be read
    Open(m);
    Print(CMD_QUOTES_FROM_START, "1");
    Print(CMD_DENTAL_CHART, "1");
    // "Annuler" pressed as the first page ends: nothing more is read.
    Open(InOrder(25, 0, 0, 25));
    Command(CMD_CLINICAL_FROM_START, {Patient("1")});
    CancelAtPageEnd(1);
    Command(CMD_PRINT);
}

// A chain that links back on itself prints each of its lines once, even
// when lastrec promises far more.
SCENARIO(print_loops) {
    for (std::int32_t counter : {5, 30000}) {
        MiniPractice m(1, 5, 5, 5);
        m.ClinicalChain(1, {1, 2, 3});
        L::PutInt(m.Clinical(3), L::clinique::next, 1);
        m.QuoteChain(1, {3, 4, 5});
        L::PutInt(m.Quote(5), L::estime::next, 4); // back to its second line
        m.ChartChain(1, {2, 3});
        L::PutInt(m.Entry(3), L::fschema::next, 2);
        for (std::size_t c : {L::lastrec::clinicalLines, L::lastrec::quoteLines, L::lastrec::chartEntries})
            Counter(m, c, counter);
        Open(m);
        for (unsigned view : {CMD_CLINICAL_FROM_START, CMD_QUOTES_FROM_START, CMD_DENTAL_CHART}) Print(view, "1");
    }
}

// Line 134,217,729 of clinique lies 7 x 4 GiB after line 1, which the
// 32-bit offset makes line 1 again (entry 67,108,865 of Fschema, entry 1):
// a line printed already. Line 115,043,768 starts 32 bytes into clinique,
// between two records; looping on itself there, it ends after one line more
// than the places where a record of the file can start (every 32 bytes).
SCENARIO(print_loop_through_wrapped_offsets) {
    MiniPractice m(2, 5, 5, 5);
    m.ClinicalChain(1, {1});
    L::PutInt(m.Clinical(1), L::clinique::next, 134'217'729);
    m.ChartChain(1, {1});
    L::PutInt(m.Entry(1), L::fschema::next, 67'108'865);
    Ends(m, 2, 115'043'768, 0);
    L::PutInt(m.clinique.data() + 32, L::clinique::next, 115'043'768);
    Counter(m, L::lastrec::clinicalLines, 200'000'000);
    Counter(m, L::lastrec::chartEntries, 100'000'000);
    Open(m);
    Print(CMD_CLINICAL_FROM_START, "1");
    Print(CMD_DENTAL_CHART, "1");
    Print(CMD_CLINICAL_FROM_START, "2");
}

// ---------------------------------------------------------------- checks

SCENARIO(integrity_sound) {
    MiniPractice m(4, 9, 6, 1);
    m.ClinicalChain(1, {3, 1, 8});
    m.ClinicalChain(3, {2, 9, 4, 5});
    m.QuoteChain(2, {6, 1});
    Open(m);
    Command(CMD_TEST_CLINIQUE);
    std::filesystem::remove(dir / "tmp" / "erreurfiche.txt");
    Command(CMD_TEST_CLINIQUE); // writes its two files again
    Command(CMD_TEST_ESTIME);
}

SCENARIO(integrity_pointers_and_links) {
    MiniPractice m(8, 12, 1, 1);
    m.ClinicalChain(1, {1, 2, 3});
    Ends(m, 1, -1, 3); // still walked backwards
    m.ClinicalChain(2, {4, 5, 6});
    Ends(m, 2, 0, 6);
    m.ClinicalChain(3, {7, 8});
    Ends(m, 3, 7, 13);
    Ends(m, 4, 13, -4);
    m.ClinicalChain(5, {12}); // the counter's own line is in range
    m.ClinicalChain(6, {10, 11});
    Links(m, 10, 0, 13); // the forward walk ends on it
    Links(m, 11, -2, 0); // the backward walk too
    Open(m);
    Command(CMD_TEST_CLINIQUE);
}

SCENARIO(integrity_outward_and_shared_lines) {
    MiniPractice m(7, 12, 1, 1);
    m.ClinicalChain(3, {1, 2, 3, 4});
    Ends(m, 7, 5, 4); // a line of its own, then into patient 3's chain
    Links(m, 5, 0, 2);
    m.ClinicalChain(5, {6, 7, 8}); // its ends point outwards, its forward walk runs on to 11
    Links(m, 6, 12, 7);
    Links(m, 8, 7, 11);
    Ends(m, 6, 9, 10); // its first line points outwards and into patient 3's chain
    Links(m, 9, 7, 1);
    Links(m, 10, 13, 0);
    Open(m);
    Command(CMD_TEST_CLINIQUE);
}

SCENARIO(integrity_runaway_chains) {
    MiniPractice m(3, 10002, 1, 1);
    m.ClinicalChain(1, Range(1, 5000)); // passes
    m.ClinicalChain(2, Range(5001, 10001)); // one too many
    m.ClinicalChain(3, {10002});
    Links(m, 10002, 0, 10002); // loops on itself
    Open(m);
    Command(CMD_TEST_CLINIQUE);
}

SCENARIO(integrity_failures) {
    MiniPractice m(3, 10, 3, 1);
    m.ClinicalChain(1, {1, 9, 2});
    m.ClinicalChain(2, {3, 4});
    L::PutInt(m.Firstrec(2), L::firstrec::clinicalEnd, 0);
    m.clinique.resize(8 * 224); // lines 9 and 10 are missing
    Open(m);
    Command(CMD_TEST_CLINIQUE); // that patient's test ends, the next one is tested
    // Without its report file the test ends before reading anything.
    std::filesystem::remove(dir / "tmp" / "erreurfiche.txt");
    std::filesystem::create_directory(dir / "tmp" / "erreurfiche.txt");
    Command(CMD_TEST_ESTIME);
    std::filesystem::remove_all(dir / "tmp");
    Command(CMD_TEST_ESTIME);
    std::filesystem::create_directory(dir / "tmp");
    Open(MiniPractice(0, 3, 3, 1)); // no patient: the map all the same
    Command(CMD_TEST_ESTIME);
    // Three million patients in lastrec: patient 3's record, cut short by the
    // end of firstrec, has its box and the test goes on; patient 4's lies
    // wholly beyond, as would every later one's: one box, then the verdict.
    MiniPractice many(3, 4, 1, 1);
    many.ClinicalChain(1, {1, 2});
    many.ClinicalChain(2, {4, 3});
    Counter(many, L::lastrec::patients, 3'000'000);
    many.firstrec.resize(2 * L::firstrec::size + 10);
    Open(many);
    Command(CMD_TEST_CLINIQUE);
}

SCENARIO(sizes) {
    MiniPractice m(100, 10, 10, 10);
    m.firstrec.resize(3199);          // one byte short
    m.patient.resize(4000 + 2000000); // at the tolerance
    m.estime.resize(860 + 2000001);   // one byte beyond it
    Open(m);
    Command(CMD_TEST_SIZES);
    for (std::size_t size : {1279, 2001280, 2001281}) { // lastrec against its eighty records
        MiniPractice n(1, 1, 1, 1);
        n.lastrec.resize(size, 0x11);
        Open(n);
        Command(CMD_TEST_SIZES);
    }
    // A file the set could not open is an error, whatever its counter.
    Open(MiniPractice(3, 4, 4, 4), "firstrec");
    Command(CMD_TEST_SIZES);
}

// ---------------------------------------------------------------- repairs

SCENARIO(cut_quotes) {
    MiniPractice m(3, 4, 12, 4);
    m.QuoteChain(2, {5, 9, 2, 7});
    m.QuoteChain(1, {1, 3});
    L::PutInt(m.Firstrec(3), L::firstrec::quoteStart, 13); // beyond the counter
    Open(m);
    Command(CMD_QUOTES_FROM_START, {Patient("2")});
    Command(CMD_CORRECT, {Line("10")}); // longer than the chain
    Command(CMD_CORRECT, {Line("3")});
    Command(CMD_QUOTES_FROM_END, {Patient("2")}); // 9, 2, 5 from the end
    Paint();
    Command(CMD_CORRECT, {Line("-1")}); // as Annuler: nothing read, the numbering goes on
    Command(CMD_CORRECT, {{DialogLigne, false, {}}});
    Command(CMD_CORRECT, {Line("2")});
    Command(CMD_QUOTES_FROM_END, {Patient("2")});
    Command(CMD_CORRECT, {Line("0")});
    Command(CMD_QUOTES_FROM_START, {Patient("3")});
    Command(CMD_CORRECT, {Line("1")});
    Command(CMD_BROWSE_CLINIQUE, {Ok(DialogVisual, {"1"})});
    Command(CMD_CORRECT); // not a patient's view: not even asked
}

SCENARIO(cut_clinical_chains) {
    MiniPractice m(3, 12, 4, 4);
    m.ClinicalChain(1, {4, 8, 11, 6});
    L::PutInt(m.Clinical(8), L::clinique::prev, 3);            // wrong
    L::PutInt(m.Clinical(6), L::clinique::prev, 0);            // wrong
    L::PutInt(m.Firstrec(1), L::firstrec::clinicalEnd, 12);    // wrong far end
    m.ClinicalChain(2, {1, 2, 3, 5});
    L::PutInt(m.Clinical(5), L::clinique::next, 2); // loops back to 2
    Open(m);
    Command(CMD_CLINICAL_FROM_START, {Patient("1")});
    Command(CMD_CORRECT, {Line("4")}); // the back links mended
    Command(CMD_CLINICAL_FROM_START, {Patient("2")});
    Command(CMD_CORRECT, {Line("3")}); // ahead of the loop
    Command(CMD_CORRECT, {Line("3")}); // no change: the same bytes
    // A view that ended on a line it could not read is drawn again after
    // the cut, from its header.
    MiniPractice cut(1, 6, 1, 1);
    cut.ClinicalChain(1, {1, 2, 3, 6});
    cut.clinique.resize(5 * L::clinique::size);
    Open(cut);
    Command(CMD_CLINICAL_FROM_START, {Patient("1")});
    Paint();
    Command(CMD_CORRECT, {Line("3")});
    Paint();
}

SCENARIO(cut_dental_chart) {
    MiniPractice m(2, 1, 1, 9);
    m.ChartChain(1, {1, 8, 3, 6});
    m.ChartChain(2, {9, 2});
    Open(m);
    Command(CMD_DENTAL_CHART, {Patient("1")});
    Command(CMD_CORRECT, {Line("2")});
    Command(CMD_CORRECT, {Line("5")}); // beyond the chain
    Command(CMD_CORRECT, {Line("0")});
    Command(CMD_DENTAL_CHART, {Patient("2")});
    Command(CMD_CORRECT, {Line("1")});
}

SCENARIO(relink) {
    MiniPractice m(2, 10, 10, 1);
    m.ClinicalChain(1, {4, 2, 9});
    m.QuoteChain(1, {4, 2});
    m.ClinicalChain(2, {5, 6});
    L::PutInt(m.Clinical(6), L::clinique::next, 5); // loops
    Open(m);
    const std::vector<std::vector<std::string>> clinical = {
        {"1", "2", "7", "3"},  // line 2 of the chain, record 2
        {"1", "1", "", ""},    // both 0 on line 1: the start pointer stays
        {"1", "1", "10", "10"}, // the counter is in range
        {"2", "0", "1", "1"},  // line 0 of a looping chain: nothing, and no endless walk
    };
    for (const auto& typed : clinical) Command(CMD_RELINK_CLINICAL, {Ok(DialogChangeRecord, typed)});
    const std::vector<std::vector<std::string>> quotes = {
        {"1", "1", "-1", "0"}, // "Suivant" below 0
        {"1", "1", "0", "11"}, // "Précédant" beyond the counter
        {"1", "1", "11", "0"},
        {"1", "3", "1", "1"},  // the chain has 2 lines
        {"0", "1", "1", "1"},  // no patient
        {"-1", "1", "1", "1"},
        {"2", "1", "1", "1"},  // patient 2 has no quotes
        {"3", "1", "1", "1"},  // beyond the file: its firstrec read fails
    };
    for (const auto& typed : quotes) Command(CMD_RELINK_QUOTE, {Ok(DialogChangeRecord, typed)});
}

SCENARIO(firstrec) {
    MiniPractice m(12, 60, 60, 30);
    m.QuoteChain(12, {1, 2});
    Open(m);
    Command(CMD_FIRSTREC_QUOTES, {Ok(DialogDevis, {"12", "40", ""})});
    Command(CMD_FIRSTREC_QUOTES, {Ok(DialogDevis, {"12", "-1", "7"})});
    Command(CMD_FIRSTREC_QUOTES, {Ok(DialogDevis, {"12", "61", "60"})});
    Command(CMD_FIRSTREC_CLINICAL, {Ok(DialogClinique, {"3", "60", "61"})});
    Command(CMD_FIRSTREC_CHART, {Ok(DialogSchema, {"5abc", "30"})});
    Command(CMD_FIRSTREC_CHART, {Ok(DialogSchema, {"5", "31"})});
    for (const char* patient : {"0", "abc", "13"}) Command(CMD_FIRSTREC_CHART, {Ok(DialogSchema, {patient, "1"})});
    // A write that fails keeps the dialog open; OK again succeeds.
    ShortTransfer(1, FaultWritesOnly);
    Command(CMD_FIRSTREC_CLINICAL, {Ok(DialogClinique, {"2", "3", "4"}), Ok(DialogClinique, {"2", "3", "4"})});
}

SCENARIO(field_edits) {
    MiniPractice m(3, 5, 1, 1);
    const char users[] = {'3', '7', ' ', '0', 'A'};
    const char* designs[] = {" 5", "05", "  ", "5 ", "15"};
    const int colours[][2] = {{49, 60}, {48, 49}, {49, 49}, {147, 1}, {50, 50}};
    for (int i = 0; i < 5; ++i) {
        m.Clinical(i + 1)[L::clinique::user.at] = static_cast<std::uint8_t>(users[i]);
        L::PutPadded(m.Clinical(i + 1), L::clinique::design, designs[i], ' ');
        L::PutInt(m.Clinical(i + 1), L::clinique::colour, colours[i][0]);
        L::PutInt(m.Clinical(i + 1), L::clinique::colour2, colours[i][1]);
    }
    Open(m);
    Command(CMD_CHANGE_USER, {Ok(DialogNumUser, {"3", "5"})});
    Command(CMD_CHANGE_USER, {Ok(DialogNumUser, {"75", ""})}); // the first character, or a blank
    for (auto [old, fresh] : {std::pair{"5", "12"}, {"12", "0"}, {"15", "123"}, {"0", "7"}})
        Command(CMD_CHANGE_DESIGN, {Ok(DialogNumDesign, {old, fresh})});
    // Colours are typed, within 48..147; the dialog stays open until they are.
    Command(CMD_CHANGE_COLOUR, {Ok(DialogColorChange, {"", "50"}), Ok(DialogColorChange, {"47", "50"}),
                                Ok(DialogColorChange, {"148", "50"}), Ok(DialogColorChange, {"48", ""}),
                                Ok(DialogColorChange, {"abc", "50"}), Ok(DialogColorChange, {"49", "147"})});
    Command(CMD_CHANGE_COLOUR, {Ok(DialogColorChange, {"147", "48"})});
    Command(CMD_RESET_BALANCE, {Patient("2")});
    Paint(); // the window stays blank
    ShortTransfer(1); // the identite read
    Command(CMD_RESET_BALANCE, {Patient("3")});
}

SCENARIO(billing) {
    MiniPractice m(1, 8, 5, 1);
    const char* clinical[] = {"o   ", " O  ", "  O ", "OX  ", "O\0\0\0", " SPR", "spr ", "   O"};
    for (int i = 0; i < 8; ++i) {
        std::memcpy(m.Clinical(i + 1) + L::clinique::actCode.at, clinical[i], 4);
        m.Clinical(i + 1)[L::clinique::billed.at] = 'F';
    }
    const char* quotes[] = {" spr", "SPRX", "O   ", "SP  ", "SPR "};
    for (int i = 0; i < 5; ++i) std::memcpy(m.Quote(i + 1) + L::estime::actCode.at, quotes[i], 4);
    Open(m);
    Command(CMD_REMOVE_BILLING);
    Open(MiniPractice(1, 0, 3, 1));
    Command(CMD_REMOVE_BILLING);
}

// Repairs of every kind journaled, then undone from the journal, newest
// first, back to the original bytes but for a record changed in between;
// a journal cut short; writes the journal cannot take refused.
SCENARIO(journal_undo) {
    MiniPractice m(2, 6, 4, 4);
    m.ClinicalChain(1, {1, 2, 3, 4});
    m.QuoteChain(1, {1, 2, 3});
    m.ChartChain(1, {1, 2, 3});
    for (int i = 1; i <= 6; ++i) std::memcpy(m.Clinical(i) + L::clinique::actCode.at, " SPR", 4);
    Open(m);
    Command(CMD_CLINICAL_FROM_START, {Patient("1")});
    Command(CMD_CORRECT, {Line("2")});
    Command(CMD_DENTAL_CHART, {Patient("1")});
    Command(CMD_CORRECT, {Line("1")});
    Command(CMD_RELINK_QUOTE, {Ok(DialogChangeRecord, {"1", "2", "4", "3"})});
    Command(CMD_FIRSTREC_QUOTES, {Ok(DialogDevis, {"2", "1", "3"})});
    Command(CMD_CHANGE_USER, {Ok(DialogNumUser, {"5", "7"})});
    Command(CMD_RESET_BALANCE, {Patient("1")});
    Command(CMD_REMOVE_BILLING);
    std::string journal = JournalPath(); // "\\" between its parts, as the window names files
    for (char& c : journal)
        if (c == '\\') c = '/';
    // ORTAVO changes a line that the user edit wrote.
    L::Bytes clinique = Get("clinique");
    clinique[5 * L::clinique::size + L::clinique::user.at] = '9';
    Put("clinique", clinique);
    JournalStop(); // the window's run ends; annuler comes after it
    Step("annuler", [&] {
        Journal j;
        ASSERT_TRUE(ReadJournal(journal.c_str(), j));
        EXPECT_FALSE(j.cut);
        std::vector<UndoOutcome> outcomes;
        UndoJournal(j, false, [](const JournalEntry&, UndoOutcome o, void* c) {
            static_cast<std::vector<UndoOutcome>*>(c)->push_back(o);
        }, &outcomes);
        // Newest first: the billing's 6 writes, the balance's, then the user
        // edit's 6 from its line 6, which is kept; 18 in all.
        std::vector<UndoOutcome> expected(18, UndoRestored);
        expected[7] = UndoKept;
        EXPECT_EQ(outcomes, expected);
    });
    MiniPractice back = m;
    back.clinique[5 * L::clinique::size + L::clinique::user.at] = '9';
    ExpectFiles(back);
    // A power cut in the middle of the billing's last group: its end lost,
    // and its last write cut short. Read up to the one before.
    L::Bytes cut = Get(journal);
    cut.resize(cut.size() - 9 - 3);
    Put(journal, cut);
    Step("journal cut short", [&] {
        Journal j;
        ASSERT_TRUE(ReadJournal(journal.c_str(), j));
        EXPECT_TRUE(j.cut);
        // The billing's last write: 9 bytes of framing, 5 of file and
        // offset, a run of 4 + 2 x 4. Before it 7 commands (6 ended), the
        // groups of the user edit and of the billing, and 17 writes.
        EXPECT_EQ(j.size - j.wholeBytes, 26u - 3u);
        EXPECT_EQ(j.entries.size(), 7u + 6u + 2u + 17u);
        const std::vector<JournalCommandRecord> commands = JournalCommands(j);
        ASSERT_EQ(commands.size(), 7u);
        for (std::size_t i = 0; i < 6; ++i) EXPECT_TRUE(commands[i].ended && !commands[i].lackFile) << i;
        // The billing, begun and not ended: its group's lines may hold
        // changes the journal lacks.
        EXPECT_FALSE(commands[6].ended);
        EXPECT_EQ(commands[6].writes, 5u);
        EXPECT_EQ(commands[6].lackFile, &CliniqueFile);
        EXPECT_EQ(commands[6].lackFirst, 0u);
        EXPECT_EQ(commands[6].lackEnd, 4096u * 224u);
        // The user edit changed 6 records of clinique in 6 writes.
        EXPECT_EQ(commands[4].records, 6u);
    });
    // The journal's first transfer, its header, falls short: nothing is
    // written; the next command writes the header first.
    Open(m);
    ShortTransfer(1, FaultWritesOnly);
    Command(CMD_RESET_BALANCE, {Patient("1")});
    Command(CMD_RESET_BALANCE, {Patient("2")});
    // No journal can be made where a file holds its folder's name: nothing written.
    Open(m);
    std::filesystem::remove_all(dir / JournalFolder);
    Put(JournalFolder, {});
    Command(CMD_RESET_BALANCE, {Patient("1")});
    ExpectFiles(m);
    // A write of a record other than the one last read in its file: the
    // journal reads its old bytes itself, and undoing gives them back.
    std::filesystem::remove(dir / JournalFolder);
    Open(m);
    Step("a write without its read", [&] {
        JournalCommand("sans lecture");
        ClinicalLine line{}, other{};
        ASSERT_TRUE(ReadCliniqueLine(3, line));
        ASSERT_TRUE(ReadCliniqueLine(2, other)); // the journal keeps line 2 now
        line.bytes[0] ^= 0xFF;
        EXPECT_TRUE(WriteCliniqueLine(3, line));
        std::string path = JournalPath();
        for (char& c : path)
            if (c == '\\') c = '/';
        JournalStop();
        Journal j;
        ASSERT_TRUE(ReadJournal(path.c_str(), j));
        UndoJournal(j, false, [](const JournalEntry&, UndoOutcome o, void*) { EXPECT_EQ(o, UndoRestored); }, nullptr);
    });
    ExpectFiles(m);
}

// A journal laid by hand in the technician's words: what each command
// worked on, each record undone, the summary and the next steps; then the
// practice of a journal given by its path.
TEST(JournalWords, RecordsRangesPluralsAndNextSteps) {
    auto command = [](std::int32_t patient, std::uint8_t mode) {
        JournalEntry e;
        e.kind = 'C', e.time = "20240115093100", e.command = "Corriger", e.subject = {patient, mode};
        return e;
    };
    auto write = [](const RecordFile& file, std::uint32_t record) {
        JournalEntry e;
        e.kind = 'W', e.file = &file, e.offset = (record - 1) * file.recordSize;
        return e;
    };
    Journal j;
    j.format = 1; // each command ends where the next begins
    j.time = "20240115093000";
    j.entries = {command(1, ModeClinicalFromEnd), write(CliniqueFile, 4),
                 command(0, ModeNone), write(CliniqueFile, 1), write(CliniqueFile, 11), write(CliniqueFile, 6),
                 write(EstimeFile, 9), write(EstimeFile, 1), write(EstimeFile, 3), write(EstimeFile, 5),
                 write(EstimeFile, 7), write(FirstrecFile, 5), write(FschemaFile, 2), write(FschemaFile, 3)};
    auto noSize = [](const char*, const void*) -> std::uint32_t { return 0; };
    const JournalLines listing = ListJournal(j, noSize, nullptr);
    EXPECT_EQ(listing.heading, "15/01/2024 09:30:00  12 enregistrements modifiés");
    EXPECT_EQ(listing.lines, (std::vector<std::string>{
        "  15/01/2024 09:31:00  Corriger, patient 1, vue de la fiche clinique à partir de la fin : 1 enregistrement "
        "modifié",
        "  15/01/2024 09:31:00  Corriger, lignes 1, 6 et 11 de la fiche clinique, entre les lignes 1 et 9 du devis, "
        "entrées 2 à 3 du schéma dentaire, pointeurs firstrec du patient 5 : 11 enregistrements modifiés"}));
    EXPECT_FALSE(listing.findings);

    const std::pair<std::size_t, UndoOutcome> undone[] = {
        {1, UndoKept}, {3, UndoRestored}, {4, UndoRestored}, {7, UndoUnchanged},
        {6, UndoKept}, {11, UndoKept}, {12, UndoFailed}};
    const char* const said[] = {
        "ligne 4 de la fiche clinique : conservée, modifiée depuis par un autre programme (clinique, octet 672)",
        "ligne 1 de la fiche clinique : rétablie (clinique, octet 0)",
        "ligne 11 de la fiche clinique : rétablie (clinique, octet 2240)",
        "ligne 1 du devis : déjà d'origine (estime, octet 0)",
        "ligne 9 du devis : conservée, modifiée depuis par un autre programme (estime, octet 688)",
        "pointeurs firstrec du patient 5 : conservés, modifiés depuis par un autre programme (firstrec, octet 128)",
        "entrée 2 du schéma dentaire : échec, illisible ou non écrit (Fschema, octet 64)"};
    UndoTally tally = StartUndoTally(j, JournalCommands(j), false);
    for (std::size_t i = 0; i < std::size(undone); ++i)
        EXPECT_EQ(UndoReportLine(tally, j.entries[undone[i].first], undone[i].second), said[i]);
    const JournalLines summary = UndoSummary(j, JournalCommands(j), tally, noSize, nullptr);
    EXPECT_EQ(summary.heading, "2 rétablis, 1 déjà d'origine, 3 conservés, 1 en échec");
    EXPECT_TRUE(summary.findings);
    // The patients of the records kept, the command's and firstrec's own;
    // the quote line of no patient, by its file.
    const std::vector<std::string> advice = UndoAdvice(tally);
    ASSERT_EQ(advice.size(), 4u);
    EXPECT_EQ(advice[1], "À faire : chkort-cli diagnose 1,5 %s dit si les chaînes de ces patients sont saines, et "
                         "sinon quelle réparation faire dans chkort.exe.");
    EXPECT_EQ(advice[2], "À faire : chkort-cli test devis %s dit si des chaînes sont à réparer ; vérifiez aussi "
                         "ces lignes dans ORTAVO.");

    const std::pair<const char*, const char*> practices[] = {
        {"/cab/chkort-journal/x.jnl", "/cab"}, {"C:\\cab\\CHKORT-Journal\\x.jnl", "C:\\cab"},
        {"/chkort-journal/x.jnl", "/"}, {"/cab/autres/x.jnl", ""}, {"x.jnl", ""}};
    for (const auto& [journal, practice] : practices) EXPECT_EQ(PracticeOfJournal(journal), practice) << journal;
}

// ---------------------------------------------------------------- shell

SCENARIO(shell_refusals) {
    MiniPractice m(12, 10, 10, 10);
    m.ClinicalChain(12, {1, 2});
    Open(m);
    for (const char* typed : {"0", "13", "-1", "abc", "", "999999999"})
        Command(CMD_DENTAL_CHART, {Patient(typed)});
    const std::pair<unsigned, DialogKind> cancelled[] = {
        {CMD_CLINICAL_FROM_START, DialogNumero}, {CMD_RELINK_CLINICAL, DialogChangeRecord},
        {CMD_FIRSTREC_QUOTES, DialogDevis},      {CMD_FIRSTREC_CHART, DialogSchema},
        {CMD_BROWSE_ESTIME, DialogVisual},       {CMD_CHANGE_USER, DialogNumUser},
        {CMD_RESET_BALANCE, DialogNumero},       {CMD_CHANGE_COLOUR, DialogColorChange},
        {CMD_CHANGE_DESIGN, DialogNumDesign}};
    for (auto [id, dialog] : cancelled) Command(id, {{dialog, false, {}}});
    Command(CMD_CLINICAL_FROM_START, {Patient("12")});
    Command(CMD_PRINT, {});
    for (unsigned id : {CMD_EXIT, CMD_RELINK_ACCOUNTS, CMD_BROWSE_ACCOUNTS, 101, 128, 1001})
        Command(id); // nothing at all, the view stays
    Command(ACC_CONTINUE);
    Command(CMD_UNLINK_ACCOUNTS); // ends the mode and nothing else
    Command(ACC_CONTINUE);
    Command(CMD_PRINT); // outside a patient's view
    Step("destroy", [] { OnMainWindowDestroy(); });
}

// ---------------------------------------------------------------- tables

TEST(HostGuard, RootOfTheCurrentDriveAndThirteenOneOn) {
    char path[64];
    HostExecutablePath("D:\\data\\cabinet", path, sizeof path);
    EXPECT_STREQ(path, "D:\\ortavo\\ortavo.exe");
    HostExecutablePath("C:\\", path, sizeof path);
    EXPECT_STREQ(path, "C:\\ortavo\\ortavo.exe");
    const std::tuple<unsigned, unsigned, bool> versions[] = {{12, 9, false}, {13, 0, false}, {0, 0, false},
                                                             {13, 1, true},  {14, 0, true},  {16, 5, true}};
    for (auto [major, minor, accepted] : versions) EXPECT_EQ(HostVersionAccepted(major, minor), accepted) << major;
}

TEST(PrintFont, HeightFollowsTheHorizontalResolution) {
    // Truncated, then rounded down to a multiple of 16; below 120 dots per
    // inch the device's default height.
    const int cases[][2] = {{600, 80}, {300, 32}, {150, 16}, {96, 0}, {1200, 160},
                            {360, 48}, {359, 32}, {120, 16}, {119, 0}, {0, 0}};
    for (const auto& [dpi, height] : cases) EXPECT_EQ(PrintFontHeight(dpi), height) << dpi << " dots per inch";
}
