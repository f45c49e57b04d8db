// The record store on a real file layer (POSIX natively, Win32 under Wine):
// the data file set and its counters, where each one-record operation reads
// and writes, short transfers, offsets in 32-bit arithmetic around 2 GiB and
// 4 GiB on sparse files, and the screen lines of clinical and quote lines.
#include "tests/unit/fixture.h"

#include "store/datafiles.h"
#include "store/format.h"
#include "store/journal.h"
#include "store/links.h"
#include "store/recordio.h"

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <type_traits>

namespace {

namespace L = hostlayout;
namespace fs = std::filesystem;

// Files, windows, surfaces and fonts are references of four types: none can
// be passed for another, nor can a number other than 0.
template <typename A, typename... Others>
constexpr bool Apart = (!std::is_convertible_v<A, Others> && ...);
static_assert(Apart<FileHandle, WindowRef, SurfaceRef, FontRef, std::uintptr_t> &&
              Apart<WindowRef, FileHandle, SurfaceRef, FontRef> && Apart<SurfaceRef, FileHandle, WindowRef, FontRef> &&
              Apart<FontRef, FileHandle, WindowRef, SurfaceRef> &&
              Apart<std::uintptr_t, FileHandle, WindowRef, SurfaceRef, FontRef>);

class Store : public PracticeTest {
protected:
    void SetUp() override {
        PracticeTest::SetUp();
        OpenPractice(MiniPractice(12, 12, 12, 12));
    }
    void TearDown() override {
        CloseDataFileSet();
        std::error_code ignored;
        fs::resize_file(dir / "clinique", 0, ignored); // a sparse file of gibibytes goes at once
        PracticeTest::TearDown();
    }
    static std::vector<bool> Opened() {
        std::vector<bool> open;
        for (FileHandle h : {hParam, hFschema, hFirstrec, hLastrec, hEstime, hClinique, hIdentite}) open.push_back(h != 0);
        return open;
    }
    static std::vector<std::int32_t> Counters() { return {LastPatient, LastClinicalLine, LastQuoteLine, LastChartEntry}; }
    // The boxes shown since the last look, as "caption: text".
    static std::vector<std::string> Boxes() {
        std::vector<std::string> out;
        for (const RecordedCall& b : RecordedBoxes()) {
            EXPECT_EQ(b.style, BoxOk);
            EXPECT_EQ(b.owner, MainWindow);
            out.push_back(b.caption + ": " + b.bytes);
        }
        ResetRecording();
        return out;
    }
    std::string OpenError(const std::string& name) const {
        return "Erreur d'ouverture du fichier - " + fs::current_path().string() + "\\" + name + ": Erreur";
    }
    L::Bytes At(const std::string& name, std::uint64_t offset, std::size_t n) const {
        std::ifstream f(PathOf(name), std::ios::binary);
        f.seekg(static_cast<std::streamoff>(offset));
        L::Bytes b(n);
        f.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(n));
        b.resize(static_cast<std::size_t>(f.gcount()));
        return b;
    }
    // Makes clinique `size` bytes long without writing them (sparse where the
    // filesystem allows it) and opens the set again. False when it cannot.
    bool Stretch(std::uint64_t size) {
        CloseDataFileSet();
        std::error_code error;
        fs::resize_file(dir / "clinique", size, error);
        return !error && OpenDataFileSet(MainWindow);
    }
};

TEST_F(Store, TheSetOpensInItsOrderAndStopsAtTheFirstFailure) {
    EXPECT_EQ(Opened(), std::vector<bool>(7, true));
    CloseDataFileSet();
    EXPECT_EQ(Opened(), std::vector<bool>(7, false));
    const std::pair<const char*, int> missing[] = {{"param", 0}, {"clinique", 5}, {"Fschema", 1}};
    Put("fschema.dat", Pattern(9, 64)); // names are used exactly as written
    for (const auto& [name, before] : missing) {
        const L::Bytes kept = Get(name);
        fs::remove(dir / name);
        EXPECT_FALSE(OpenDataFileSet(MainWindow));
        std::vector<bool> expected(7, false);
        std::fill_n(expected.begin(), before, true); // identite is not tried after clinique
        EXPECT_EQ(Opened(), expected) << name;
        EXPECT_EQ(Boxes(), std::vector<std::string>{OpenError(name)});
        CloseDataFileSet();
        Put(name, kept);
    }
}

TEST_F(Store, WritingIsAlwaysAskedAndReadOnlyOpeningsNeverWrite) {
    CloseDataFileSet();
    const L::Bytes before = Get("clinique");
    DataFilesReadOnly = true;
    ASSERT_TRUE(OpenDataFileSet(MainWindow));
    DataFilesReadOnly = false;
    std::uint8_t record[16];
    EXPECT_EQ(FileRead(hClinique, 0, record, sizeof record), sizeof record);
    EXPECT_EQ(FileWrite(hClinique, 0, record + 1, 4), 0u);
    EXPECT_EQ(Get("clinique"), before);
    CloseDataFileSet();

    fs::permissions(dir / "firstrec", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
#ifdef _WIN32
    if (std::FILE* probe = std::fopen(PathOf("firstrec").c_str(), "r+b")) { // Wine run as root writes anyway
        std::fclose(probe);
        GTEST_SKIP() << "read-only files are writable here";
    }
#endif
    EXPECT_FALSE(OpenDataFileSet(MainWindow));
    EXPECT_EQ(Opened(), (std::vector<bool>{true, true, false, false, false, false, false}));
}

TEST_F(Store, CountersComeFromRecordsZeroThreeTwoSeven) {
    CloseDataFileSet();
    Put("lastrec", L::Lastrec(41, 1234, 567, 89));
    ASSERT_TRUE(OpenDataFileSet(MainWindow));
    LoadCounters();
    EXPECT_EQ(Counters(), std::vector<std::int32_t>({41, 1234, 567, 89}));
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
    FaultArmShortTransfer(2, FaultReadsOnly, 5); // record 3: the clinical counter alone is lost
    LoadCounters();
    EXPECT_EQ(Counters(), std::vector<std::int32_t>({41, 0, 567, 89}));
    EXPECT_EQ(FaultTransfersSeen(), 4u);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"LASTREC: Erreur"});
    FaultDisarm();

    L::Bytes shortLastrec = L::Lastrec(3, 4, 5, 6);
    shortLastrec.resize(120); // record 7 cut short
    CloseDataFileSet();
    Put("lastrec", shortLastrec);
    ASSERT_TRUE(OpenDataFileSet(MainWindow));
    LoadCounters();
    EXPECT_EQ(Counters(), std::vector<std::int32_t>({3, 4, 5, 0}));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"LASTREC: Erreur"});

    CloseDataFileSet(); // not open at all: four boxes, four zeros
    LastPatient = LastClinicalLine = 99;
    LoadCounters();
    EXPECT_EQ(Counters(), std::vector<std::int32_t>(4, 0));
    EXPECT_EQ(Boxes(), std::vector<std::string>(4, "LASTREC: Erreur"));
}

// Where each operation reads and writes (offsets worked out by hand), one
// transfer each; a short one gives one box with the file's tag and leaves
// the file as it was.
TEST_F(Store, EachRecordAtItsPlace) {
    struct Case {
        const char* file;
        const char* caption;
        std::int32_t number; // the patient for firstrec and identite
        std::size_t offset, size;
        bool (*read)(std::int32_t, std::uint8_t*);
        bool (*write)(std::int32_t, const std::uint8_t*);
    };
#define OPS(Type, Read, Write)                                                                                         \
    [](std::int32_t n, std::uint8_t* b) { Type r; bool ok = Read; std::memcpy(b, r.bytes, sizeof r.bytes); return ok; }, \
        [](std::int32_t n, const std::uint8_t* b) { Type r; std::memcpy(r.bytes, b, sizeof r.bytes); return Write; }
    const Case cases[] = {
        {"firstrec", "FIRSTREC", 3, 64, 32, OPS(FirstrecRecord, ReadFirstrec(n, r), WriteFirstrec(n, r))},
        {"identite", "IDENTITE", 2, 1420, 1420, OPS(IdentiteRecord, ReadIdentite(n, r), WriteIdentite(n, r))},
        {"clinique", "CLINIQUE", 10, 2016, 224, OPS(ClinicalLine, ReadCliniqueLine(n, r), WriteCliniqueLine(n, r))},
        {"estime", "ESTIM", 2, 86, 86, OPS(QuoteLine, ReadEstimeLine(n, r), WriteEstimeLine(n, r))},
        {"Fschema", "FSCHEMA", 12, 704, 64, OPS(ChartEntry, ReadChartEntry(n, r), WriteChartEntry(n, r))},
        {"lastrec", "LASTREC", 7, 112, 16, OPS(LastrecRecord, ReadLastrec(n, r), (static_cast<void>(n), false))},
        // Numbers whose offsets come round past 4 GiB reach the start of the file.
        {"clinique", "CLINIQUE", 19'173'963, 192, 224, OPS(ClinicalLine, ReadCliniqueLine(n, r), WriteCliniqueLine(n, r))},
        {"estime", "ESTIM", 49'941'482, 70, 86, OPS(QuoteLine, ReadEstimeLine(n, r), WriteEstimeLine(n, r))},
        {"Fschema", "FSCHEMA", 67'108'865, 0, 64, OPS(ChartEntry, ReadChartEntry(n, r), WriteChartEntry(n, r))},
        {"firstrec", "FIRSTREC", 134'217'729, 0, 32, OPS(FirstrecRecord, ReadFirstrec(n, r), WriteFirstrec(n, r))},
        {"identite", "IDENTITE", 3'024'627, 1624, 1420, OPS(IdentiteRecord, ReadIdentite(n, r), WriteIdentite(n, r))},
    };
#undef OPS
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " " + std::to_string(c.number));
        L::Bytes record(c.size);
        FaultArmShortTransfer(1);
        EXPECT_FALSE(c.read(c.number, record.data()));
        EXPECT_EQ(FaultTransfersSeen(), 1u);
        EXPECT_EQ(Boxes(), std::vector<std::string>{std::string(c.caption) + ": Erreur"});
        FaultDisarm();
        ASSERT_TRUE(c.read(c.number, record.data()));
        EXPECT_EQ(record, At(c.file, c.offset, c.size));
        if (std::string(c.file) == "lastrec") continue;
        L::Bytes expected = Get(c.file);
        FaultArmShortTransfer(1, FaultWritesOnly);
        EXPECT_FALSE(c.write(c.number, Pattern(40, c.size).data()));
        EXPECT_EQ(Get(c.file), expected);
        EXPECT_EQ(Boxes(), std::vector<std::string>{std::string(c.caption) + ": Erreur"});
        FaultDisarm();
        std::memcpy(expected.data() + c.offset, Pattern(41, c.size).data(), c.size);
        ASSERT_TRUE(c.write(c.number, Pattern(41, c.size).data()));
        EXPECT_EQ(Get(c.file), expected);
    }
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
}

// The journal's order of transfers for three lines rewritten, by durability,
// then a commit and the command's end (r/w a data read/write, J/F a journal
// write/flush): what reaches the disk before which data write; and the
// journal read back by another program while the run still holds it.
TEST_F(Store, TheJournalsWritesFlushesAndReaders) {
    const std::pair<JournalDurability, const char*> cases[] = {
        {JournalEachWrite, "rJFwrJFwrJFwJF"}, {JournalInGroups, "rJFwrwrwJFJF"}, {JournalAtCommit, "rrrJFwwwJF"}};
    for (const auto& [durability, expected] : cases) {
        SCOPED_TRACE(expected);
        fs::remove_all(dir / JournalFolder);
        JournalStart(dir.string().c_str());
        JournalCommand("trois lignes", durability);
        FaultStartLog();
        for (std::int32_t n = 1; n <= 3; ++n) {
            ClinicalLine line;
            ASSERT_TRUE(ReadCliniqueLine(n, line));
            line.bytes[0] ^= 0xFF;
            ASSERT_TRUE(WriteCliniqueLine(n, line));
        }
        if (durability == JournalAtCommit) {
            EXPECT_EQ(Get("clinique"), MiniPractice(12, 12, 12, 12).clinique) << "held until the commit";
        }
        EXPECT_TRUE(JournalCommit());
        std::string path = JournalPath(), order;
        for (char& c : path)
            if (c == '\\') c = '/';
        Journal j;
        ASSERT_TRUE(ReadJournal(path.c_str(), j)) << "held by the run, and yet readable";
        EXPECT_EQ(fs::path(path).filename().string(), j.time.substr(0, 8) + "-" + j.time.substr(8) + ".jnl");
        EXPECT_FALSE(JournalCommands(j).at(0).ended);
        JournalCommandEnd();
        for (const LoggedTransfer& t : FaultLog())
            if (t.file == hClinique || t.isWrite || t.isFlush)
                order += t.file == hClinique ? (t.isWrite ? 'w' : 'r') : t.isFlush ? 'F' : 'J';
        EXPECT_EQ(order, expected);
        ASSERT_TRUE(ReadJournal(path.c_str(), j));
        EXPECT_TRUE(JournalCommands(j).at(0).ended);
        EXPECT_EQ(JournalCommands(j).at(0).records, 3u);
        FaultDisarm();
        JournalStop();
    }
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
}

TEST_F(Store, RecordsBeyondTheFileAndDamagedNumbers) {
    QuoteLine q;
    ClinicalLine c;
    EXPECT_FALSE(ReadEstimeLine(13, q)); // the file holds 12
    Put("estime", Pattern(5, 12 * 86 - 40));
    EXPECT_FALSE(ReadEstimeLine(12, q)); // half a record at the end
    EXPECT_EQ(Boxes(), std::vector<std::string>(2, "ESTIM: Erreur"));
    // A short read keeps what arrived and nothing else.
    std::memset(c.bytes, 0xEE, sizeof c.bytes);
    FaultArmShortTransfer(1, FaultReadsOnly, 10);
    EXPECT_FALSE(ReadCliniqueLine(2, c));
    L::Bytes arrived = At("clinique", 224, 10);
    arrived.insert(arrived.end(), {0xEE, 0xEE});
    EXPECT_EQ(L::Bytes(c.bytes, c.bytes + 12), arrived);
    FaultDisarm();
    // Numbers wrap in 32-bit unsigned arithmetic, far beyond the file.
    for (std::int32_t n : {0, -1, -5000, INT_MIN, INT_MAX, 19173962}) {
        EXPECT_FALSE(ReadCliniqueLine(n, c)) << n;
        EXPECT_FALSE(ReadEstimeLine(n, q)) << n;
    }
    EXPECT_EQ(Boxes().size(), 13u);
    const FileHandle real = hClinique; // put back for the fixture to close
    hClinique = 0;
    EXPECT_FALSE(ReadCliniqueLine(1, c));
    EXPECT_FALSE(WriteCliniqueLine(1, c));
    hClinique = real;
    EXPECT_EQ(Boxes(), std::vector<std::string>(2, "CLINIQUE: Erreur"));
}

TEST_F(Store, OffsetsAreTakenModuloFourGibibytes) {
    const std::tuple<const RecordFile*, std::int32_t, std::uint32_t> cases[] = {
        {&CliniqueFile, 0, 0xFFFFFF20u},                // -224
        {&CliniqueFile, 9'586'981, 2'147'483'520u},     // the line that spans 2 GiB
        {&CliniqueFile, 10'000'000, 2'239'999'776u},
        {&CliniqueFile, 19'173'962, 4'294'967'264u},    // 2^32 - 32
        {&CliniqueFile, INT_MAX, 4'294'966'848u},       // 224 x (2^31 - 2) mod 2^32
        {&EstimeFile, INT_MIN, 0x80000000u * 86u - 86u},
        {&EstimeFile, 49'941'481, 4'294'967'280u},      // spans 4 GiB
        {&FschemaFile, 33'554'433, 2'147'483'648u},     // exactly 2^31
        {&IdentiteFile, 1'512'313, 2'147'483'040u},     // spans 2 GiB
    };
    for (auto [file, number, offset] : cases) EXPECT_EQ(RecordOffset(*file, number), offset) << number;
}

// Sparse files: the line 10,000,000 at 2,239,999,776, the line across 4 GiB,
// and the size as the low 32 bits of the length, all ones included.
TEST_F(Store, LinesBeyondTwoAndFourGibibytes) {
    const L::Bytes head = At("clinique", 0, 12 * 224);
    const std::pair<std::int32_t, std::uint64_t> lines[] = {{10'000'000, 2'239'999'776ull}, {19'173'962, 4'294'967'264ull}};
    for (auto [number, offset] : lines) {
        if (!Stretch(offset + 224)) GTEST_SKIP() << "no sparse file of " << offset + 224 << " bytes here";
        EXPECT_EQ(FileSizeLow(hClinique), static_cast<std::uint32_t>(offset + 224));
        ClinicalLine line;
        std::memcpy(line.bytes, Pattern(51, 224).data(), 224);
        ASSERT_TRUE(WriteCliniqueLine(number, line));
        EXPECT_EQ(At("clinique", offset, 224), Pattern(51, 224));
        EXPECT_EQ(At("clinique", 0, 12 * 224), head) << "nothing written at the start of the file";
        ClinicalLine back{};
        ASSERT_TRUE(ReadCliniqueLine(number, back));
        EXPECT_EQ(L::Bytes(back.bytes, back.bytes + 224), Pattern(51, 224));
    }
    for (auto [length, low] : {std::pair{4'294'967'295ull, 4'294'967'295u}, {4'294'967'296ull, 0u}}) {
        ASSERT_TRUE(Stretch(length));
        EXPECT_EQ(FileSizeLow(hClinique), low) << length;
    }
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
}

// A whole file's links, taken out of blocks of 1 MiB (4,681 lines): the
// lines on each side of a block's end, the last line the counter names, and
// a last record cut short, which is left to the one-record read that fails.
TEST_F(Store, AWholeFilesLinksAcrossBlocks) {
    const std::int32_t lines = 10'000; // three blocks
    if (!Stretch(std::uint64_t{lines} * 224)) GTEST_SKIP() << "no sparse file of 2.24 MB here";
    LastClinicalLine = lines;
    const std::int32_t marked[] = {1, 4'681, 4'682, 9'362, 9'363, lines};
    for (const std::int32_t r : marked) {
        ClinicalLine line{};
        SetPrevLine(line, r + 7), SetNextLine(line, -r);
        ASSERT_TRUE(WriteCliniqueLine(r, line));
    }
    LinkTable table;
    ASSERT_TRUE(LoadChainLinks(ClinicalChain, table));
    EXPECT_EQ(table.held, lines);
    std::int32_t prev = 1, next = 1;
    for (const std::int32_t r : marked) {
        EXPECT_TRUE(RecordLinks(table, r, prev, next));
        EXPECT_EQ(std::make_pair(prev, next), std::make_pair(r + 7, -r)) << r;
    }
    EXPECT_TRUE(RecordLinks(table, 5'000, prev, next));
    EXPECT_EQ(std::make_pair(prev, next), std::make_pair(0, 0));

    ASSERT_TRUE(Stretch(std::uint64_t{lines} * 224 - 100));
    ASSERT_TRUE(LoadChainLinks(ClinicalChain, table));
    EXPECT_EQ(table.held, lines - 1);
    EXPECT_FALSE(RecordLinks(table, lines, prev, next));
    EXPECT_TRUE(RecordLinks(table, 9'363, prev, next));
    EXPECT_EQ(std::make_pair(prev, next), std::make_pair(9'370, -9'363));
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
}

// ---------------------------------------------------------------- screen lines

std::string Clinical(const ClinicalLine& line, std::int32_t ordinal, std::int32_t number,
                     std::size_t capacity = ScreenLineCapacity) {
    char out[ScreenLineCapacity + 1];
    std::memset(out, 'X', sizeof out);
    EXPECT_TRUE(FormatClinicalLine(line, ordinal, number, out, capacity));
    EXPECT_EQ(out[capacity], 'X');
    return out;
}
std::string Quote(const QuoteLine& line, std::int32_t ordinal, std::int32_t number) {
    char out[ScreenLineCapacity];
    EXPECT_TRUE(FormatQuoteLine(out, sizeof out, line, ordinal, number));
    return out;
}

TEST(ScreenLines, EveryColumnInItsOrderWidthAndSign) {
    ClinicalLine c;
    std::uint8_t* r = c.bytes;
    std::memset(r, 0xEE, sizeof c.bytes); // what the line does not show must stay out of it
    L::PutPadded(r, L::clinique::text8, "ABCDEFGH", 0); // full, no zero byte
    L::PutPadded(r, L::clinique::text12, "   x  ", ' ');
    L::PutPadded(r, L::clinique::design, " 5", 0);
    L::PutPadded(r, L::clinique::text2, "AB", 0);
    L::PutPadded(r, L::clinique::text50, "Détartrage", 0);
    L::PutPadded(r, L::clinique::actCode, "O", 0);
    r[L::clinique::actCode.at + 2] = 'Z'; // after the zero: left out
    L::PutPadded(r, L::clinique::text9, "", 0);
    L::PutText(r, L::clinique::billed, "F");
    L::PutInt(r, L::clinique::next, 121);
    L::PutInt(r, L::clinique::prev, -5);
    L::PutPadded(r, L::clinique::text26, std::string(26, 'q'), 0);
    L::PutInt(r, L::clinique::number4, 0x8000);
    L::PutInt(r, L::clinique::colour, 0xFF);
    L::PutInt(r, L::clinique::colour2, 0x80);
    L::PutInt(r, L::clinique::number1, 4200);
    L::PutInt(r, L::clinique::number2, -1);
    L::PutInt(r, L::clinique::number3, INT_MIN);
    EXPECT_EQ(Clinical(c, 3, 120), "   3\xB3     120\xB3" "ABCDEFGH\xB3   x        \xB3 5\xB3" "AB\xB3" "D\xE9tartrage\xB3O\xB3\xB3"
                                   "F\xB3     121\xB3      -5\xB3qqqqqqqqqqqqqqqqqqqqqqqqqq\xB3" "32768\xB3" "255\xB3" "128\xB3"
                                   "    4200\xB3      -1\xB3-2147483648\xB3");
    std::memset(r, 0, sizeof c.bytes); // an empty record keeps every separator
    // Numbers are minimum widths, never cut.
    EXPECT_EQ(Clinical(c, 12345, INT_MAX), "12345\xB3" "2147483647\xB3\xB3\xB3\xB3\xB3\xB3\xB3\xB3\xB3       0\xB3       0\xB3\xB3"
                                           "0\xB3" "0\xB3" "0\xB3       0\xB3       0\xB3       0\xB3");
    EXPECT_EQ(Clinical(c, 12345, INT_MAX, 16), "12345\xB3" "214748364"); // cut, not overrun

    QuoteLine q;
    r = q.bytes;
    std::memset(r, 0xEE, sizeof q.bytes);
    L::PutInt(r, L::estime::number, -25536); // signed 16 bits
    L::PutPadded(r, L::estime::text8, "15/01/24", 0);
    L::PutPadded(r, L::estime::text5, "12345", 0);
    L::PutPadded(r, L::estime::label, std::string(29, 'L'), 0);
    L::PutPadded(r, L::estime::text9, "450,00", 0);
    L::PutInt(r, L::estime::prev, 9);
    L::PutInt(r, L::estime::next, 2);
    EXPECT_EQ(Quote(q, -7, 5), "  -7\xB3       5\xB3-25536\xB3" "15/01/24\xB3" "12345\xB3" + std::string(29, 'L') +
                               "\xB3" "450,00\xB3       2\xB3       9\xB3");
}

TEST(ScreenLines, TypedNumbersAreReadAsTheyAlwaysWere) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"", 0},           {"abc", 0},          {"12abc", 12},          {"  -7", -7},
        {"+42", 42},       {"- 4", 0},          {"999999999", 999999999}, {"9999999999", INT_MAX},
        {"-99999999999", INT_MIN},
    };
    for (auto [text, value] : cases) EXPECT_EQ(TextToNumber(text), value) << '"' << text << '"';
}

} // namespace
