// One-record operations: where they read and write, that nothing else of the
// file moves, and how a short transfer is reported.
#include "tests/unit/fixture.h"

#include "store/datafiles.h"
#include "store/recordio.h"

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

namespace {

namespace L = hostlayout;

class RecordIo : public PracticeTest {
protected:
    void SetUp() override {
        PracticeTest::SetUp();
        OpenSampleSet(12);
        ResetRecording();
    }
    // Bytes [from, from + n) of a data file.
    L::Bytes Slice(const std::string& name, std::size_t from, std::size_t n) const {
        const L::Bytes all = Get(name);
        return L::Bytes(all.begin() + from, all.begin() + from + n);
    }
    template <typename Record>
    static L::Bytes BytesOf(const Record& r) {
        return L::Bytes(r.bytes, r.bytes + sizeof r.bytes);
    }
    void ExpectOneErrorBox(const char* caption) {
        const auto boxes = RecordedBoxes();
        ASSERT_EQ(boxes.size(), 1u) << caption;
        EXPECT_EQ(boxes[0].bytes, "Erreur");
        EXPECT_EQ(boxes[0].caption, caption);
        EXPECT_EQ(boxes[0].owner, MainWindow);
        EXPECT_EQ(boxes[0].style, BoxOk);
    }
};

TEST_F(RecordIo, PerPatientRecordsAreAddressedByCurrentPatient) {
    FirstrecRecord f{};
    CurrentPatient = 1;
    ASSERT_TRUE(ReadFirstrec(f));
    EXPECT_EQ(BytesOf(f), Slice("firstrec", 0, 32));
    CurrentPatient = 3;
    ASSERT_TRUE(ReadFirstrec(f));
    EXPECT_EQ(BytesOf(f), Slice("firstrec", 64, 32));

    IdentiteRecord id{};
    CurrentPatient = 2;
    ASSERT_TRUE(ReadIdentite(id));
    EXPECT_EQ(BytesOf(id), Slice("identite", 1420, 1420));
    EXPECT_TRUE(RecordedBoxes().empty());
}

TEST_F(RecordIo, LinesAndEntriesAreAddressedByTheirNumber) {
    QuoteLine q{};
    ASSERT_TRUE(ReadEstimeLine(1, q));
    EXPECT_EQ(BytesOf(q), Slice("estime", 0, 86));
    ASSERT_TRUE(ReadEstimeLine(2, q));
    EXPECT_EQ(BytesOf(q), Slice("estime", 86, 86));

    ClinicalLine c{};
    ASSERT_TRUE(ReadCliniqueLine(10, c));
    EXPECT_EQ(BytesOf(c), Slice("clinique", 2016, 224));

    ChartEntry e{};
    ASSERT_TRUE(ReadChartEntry(12, e));
    EXPECT_EQ(BytesOf(e), Slice("Fschema", 11 * 64, 64));

    LastrecRecord r{};
    ASSERT_TRUE(ReadLastrec(7, r));
    EXPECT_EQ(BytesOf(r), Slice("lastrec", 112, 16));
    EXPECT_EQ(CounterValue(r), 12);
}

// A write puts exactly the record at its place: the file is compared whole.
TEST_F(RecordIo, WritesChangeTheirRecordAndNothingElse) {
    struct Case {
        const char* file;
        std::size_t offset, size;
        std::function<bool(const L::Bytes&)> write;
    };
    const Case cases[] = {
        {"identite", 1420, 1420, [](const L::Bytes& b) {
             IdentiteRecord r;
             std::memcpy(r.bytes, b.data(), sizeof r.bytes);
             CurrentPatient = 2;
             return WriteIdentite(r);
         }},
        {"firstrec", 32 * 11, 32, [](const L::Bytes& b) {
             FirstrecRecord r;
             std::memcpy(r.bytes, b.data(), sizeof r.bytes);
             CurrentPatient = 12;
             return WriteFirstrec(r);
         }},
        {"clinique", 0, 224, [](const L::Bytes& b) {
             ClinicalLine r;
             std::memcpy(r.bytes, b.data(), sizeof r.bytes);
             return WriteCliniqueLine(1, r);
         }},
        {"clinique", 2016, 224, [](const L::Bytes& b) {
             ClinicalLine r;
             std::memcpy(r.bytes, b.data(), sizeof r.bytes);
             return WriteCliniqueLine(10, r);
         }},
        {"estime", 86 * 4, 86, [](const L::Bytes& b) {
             QuoteLine r;
             std::memcpy(r.bytes, b.data(), sizeof r.bytes);
             return WriteEstimeLine(5, r);
         }},
        {"Fschema", 64 * 2, 64, [](const L::Bytes& b) {
             ChartEntry r;
             std::memcpy(r.bytes, b.data(), sizeof r.bytes);
             return WriteChartEntry(3, r);
         }},
    };
    for (const Case& c : cases) {
        L::Bytes expected = Get(c.file);
        const L::Bytes record = Pattern(40, c.size);
        std::copy(record.begin(), record.end(), expected.begin() + c.offset);
        EXPECT_TRUE(c.write(record)) << c.file << " at " << c.offset;
        EXPECT_EQ(Get(c.file), expected) << c.file << " at " << c.offset;
    }
    EXPECT_TRUE(RecordedBoxes().empty());
}

// Every operation, made to come up short at its one transfer: one box with
// the file's tag, false, and for a write the file unchanged.
TEST_F(RecordIo, EveryShortTransferIsReportedWithItsFileTag) {
    struct Case {
        const char* caption;
        const char* file; // for writes: must be left as it was
        std::function<bool()> operation;
    };
    CurrentPatient = 4;
    static LastrecRecord lr;
    static FirstrecRecord fr;
    static IdentiteRecord ir;
    static ClinicalLine cl;
    static QuoteLine ql;
    static ChartEntry ce;
    const Case cases[] = {
        {"LASTREC", nullptr, [] { return ReadLastrec(3, lr); }},
        {"FIRSTREC", nullptr, [] { return ReadFirstrec(fr); }},
        {"FIRSTREC", "firstrec", [] { return WriteFirstrec(fr); }},
        {"IDENTITE", nullptr, [] { return ReadIdentite(ir); }},
        {"IDENTITE", "identite", [] { return WriteIdentite(ir); }},
        {"CLINIQUE", nullptr, [] { return ReadCliniqueLine(7, cl); }},
        {"CLINIQUE", "clinique", [] { return WriteCliniqueLine(7, cl); }},
        {"ESTIM", nullptr, [] { return ReadEstimeLine(7, ql); }},
        {"ESTIM", "estime", [] { return WriteEstimeLine(7, ql); }},
        {"FSCHEMA", nullptr, [] { return ReadChartEntry(7, ce); }},
        {"FSCHEMA", "Fschema", [] { return WriteChartEntry(7, ce); }},
    };
    for (std::uint32_t moved : {0u, 1u, 15u}) {
        for (const Case& c : cases) {
            ResetRecording();
            const L::Bytes before = c.file ? Get(c.file) : L::Bytes{};
            FaultArmShortTransfer(1, FaultAnyTransfer, c.file ? 0 : moved);
            EXPECT_FALSE(c.operation()) << c.caption << (c.file ? " write" : " read");
            EXPECT_TRUE(FaultFired());
            EXPECT_EQ(FaultTransfersSeen(), 1u) << "one transfer per operation";
            ExpectOneErrorBox(c.caption);
            if (c.file) {
                EXPECT_EQ(Get(c.file), before) << c.file;
            }
            FaultDisarm();
        }
    }
}

TEST_F(RecordIo, ShortReadKeepsWhatArrived) {
    // The program does not rely on it, but the buffer must hold exactly the
    // bytes that came and the rest as it was: nothing is invented.
    ClinicalLine c;
    std::memset(c.bytes, 0xEE, sizeof c.bytes);
    FaultArmShortTransfer(1, FaultReadsOnly, 10);
    EXPECT_FALSE(ReadCliniqueLine(2, c));
    const L::Bytes head = Slice("clinique", 224, 10);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), c.bytes));
    for (std::size_t i = 10; i < sizeof c.bytes; ++i) ASSERT_EQ(c.bytes[i], 0xEE) << i;
}

TEST_F(RecordIo, RecordBeyondTheEndOfTheFileIsAShortRead) {
    QuoteLine q{};
    EXPECT_FALSE(ReadEstimeLine(13, q)); // the file holds 12
    ExpectOneErrorBox("ESTIM");
    ResetRecording();
    // Half a record at the end of the file.
    L::Bytes estime = Get("estime");
    estime.resize(estime.size() - 40);
    ASSERT_TRUE(L::WriteFileBytes(PathOf("estime"), estime));
    EXPECT_FALSE(ReadEstimeLine(12, q));
    ExpectOneErrorBox("ESTIM");
}

TEST_F(RecordIo, UnopenedFileFailsAtItsTransfer) {
    // The real handle is put back for the fixture to close: on Windows an
    // open file could not be removed with the test's directory.
    const FileHandle real = hClinique;
    hClinique = 0;
    ClinicalLine c{};
    EXPECT_FALSE(ReadCliniqueLine(1, c));
    ExpectOneErrorBox("CLINIQUE");
    ResetRecording();
    EXPECT_FALSE(WriteCliniqueLine(1, c));
    ExpectOneErrorBox("CLINIQUE");
    hClinique = real;
}

// Damaged numbers wrap in 32-bit unsigned arithmetic (no undefined
// behaviour under the sanitizers) and land far beyond the files.
TEST_F(RecordIo, AnyRecordNumberIsSafe) {
    ClinicalLine c{};
    QuoteLine q{};
    for (std::int32_t n : {0, -1, -5000, INT_MIN, INT_MAX, 19173962}) {
        ResetRecording();
        EXPECT_FALSE(ReadCliniqueLine(n, c)) << n;
        EXPECT_FALSE(ReadEstimeLine(n, q)) << n;
        EXPECT_EQ(RecordedBoxes().size(), 2u) << n;
    }
    EXPECT_EQ(RecordOffset(CliniqueFile, 0), 0xFFFFFF20u); // -224 modulo 2^32
    EXPECT_EQ(RecordOffset(EstimeFile, INT_MIN), 0x80000000u * 86u - 86u);
    CurrentPatient = INT_MIN;
    FirstrecRecord f{};
    EXPECT_FALSE(ReadFirstrec(f));
}

// ---------------------------------------------------------------- beyond 2 GiB

// Offsets are (number - 1) x size in 32-bit unsigned arithmetic: from 2 GiB
// up they are positions, not negative seeks, and past 4 GiB they come round
// to the start of the file. The values are worked out by hand.
TEST_F(RecordIo, OffsetsAreTakenModuloFourGibibytes) {
    struct Case {
        const RecordFile* file;
        std::int32_t number;
        std::uint32_t offset;
    };
    const Case cases[] = {
        {&CliniqueFile, 9'586'981, 2'147'483'520u},  // 2^31 - 128: the line that spans 2 GiB
        {&CliniqueFile, 9'586'982, 2'147'483'744u},  // the first line wholly past 2^31
        {&CliniqueFile, 10'000'000, 2'239'999'776u},
        {&CliniqueFile, 19'173'961, 4'294'967'040u}, // 2^32 - 256
        {&CliniqueFile, 19'173'962, 4'294'967'264u}, // 2^32 - 32, though 224 x N has wrapped
        {&CliniqueFile, 19'173'963, 192u},           // 2^32 + 192
        {&CliniqueFile, INT_MAX, 4'294'966'848u},    // 224 x (2^31 - 2) = 112 x 2^32 - 448
        {&EstimeFile, 24'970'741, 2'147'483'640u},   // spans 2 GiB
        {&EstimeFile, 49'941'481, 4'294'967'280u},   // spans 4 GiB
        {&EstimeFile, 49'941'482, 70u},
        {&FschemaFile, 33'554'433, 2'147'483'648u},  // exactly 2^31
        {&FschemaFile, 67'108'865, 0u},              // exactly 2^32: entry 1's place
        {&FirstrecFile, 67'108'865, 2'147'483'648u},
        {&FirstrecFile, 134'217'729, 0u},
        {&IdentiteFile, 1'512'313, 2'147'483'040u},  // spans 2 GiB
        {&IdentiteFile, 3'024'627, 1'624u},          // 1420 x 3,024,626 - 2^32
    };
    for (const Case& c : cases) EXPECT_EQ(RecordOffset(*c.file, c.number), c.offset) << c.file->caption << " " << c.number;
}

// Numbers whose offsets come round past 4 GiB read and write the records at
// the offsets they come round to, in a file of twelve records: the operations
// seek where the arithmetic says, on every file layer.
TEST_F(RecordIo, WrappedOffsetsReachTheStartOfTheFile) {
    ClinicalLine c{};
    ASSERT_TRUE(ReadCliniqueLine(19'173'963, c));
    EXPECT_EQ(BytesOf(c), Slice("clinique", 192, 224));
    QuoteLine q{};
    ASSERT_TRUE(ReadEstimeLine(49'941'482, q));
    EXPECT_EQ(BytesOf(q), Slice("estime", 70, 86));
    ChartEntry e{};
    ASSERT_TRUE(ReadChartEntry(67'108'865, e));
    EXPECT_EQ(BytesOf(e), Slice("Fschema", 0, 64));
    FirstrecRecord f{};
    CurrentPatient = 134'217'729;
    ASSERT_TRUE(ReadFirstrec(f));
    EXPECT_EQ(BytesOf(f), Slice("firstrec", 0, 32));
    IdentiteRecord id{};
    CurrentPatient = 3'024'627;
    ASSERT_TRUE(ReadIdentite(id));
    EXPECT_EQ(BytesOf(id), Slice("identite", 1624, 1420));

    L::Bytes expected = Get("clinique");
    const L::Bytes record = Pattern(44, 224);
    std::copy(record.begin(), record.end(), expected.begin() + 192);
    std::memcpy(c.bytes, record.data(), 224);
    ASSERT_TRUE(WriteCliniqueLine(19'173'963, c));
    EXPECT_EQ(Get("clinique"), expected);
    EXPECT_TRUE(RecordedBoxes().empty());
}

class LargeRecordFile : public RecordIo {
protected:
    // Makes a data file `size` bytes long without writing the bytes: sparse
    // where the filesystem allows it. The set is closed meanwhile. False (and
    // the reason) when the filesystem cannot hold such a file.
    bool Stretch(const std::string& name, std::uint64_t size, std::string& why) {
        CloseDataFileSet();
        std::error_code error;
        std::filesystem::resize_file(dir / name, size, error);
        why = error.message();
        if (error) return false;
        return OpenDataFileSet(MainWindow);
    }
    // Bytes at a 64-bit position, read and written by the test's own streams.
    L::Bytes At(const std::string& name, std::uint64_t offset, std::size_t n) const {
        std::ifstream f(PathOf(name), std::ios::binary);
        f.seekg(static_cast<std::streamoff>(offset));
        L::Bytes b(n);
        f.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(n));
        b.resize(static_cast<std::size_t>(f.gcount()));
        return b;
    }
    void PutAt(const std::string& name, std::uint64_t offset, const L::Bytes& bytes) {
        std::fstream f(PathOf(name), std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(static_cast<std::streamoff>(offset));
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(f.good()) << name << " at " << offset;
    }
    void TearDown() override {
        CloseDataFileSet();
        std::error_code ignored;
        std::filesystem::resize_file(dir / "clinique", 0, ignored);
        RecordIo::TearDown();
    }
};

// Line 10,000,000 of a clinique file of that many lines lies at 2,239,999,776.
TEST_F(LargeRecordFile, LinesBeyondTwoGibibytesAreReachable) {
    constexpr std::int32_t far = 10'000'000;
    constexpr std::uint64_t offset = 224ull * (far - 1);
    std::string why;
    if (!Stretch("clinique", offset + 224, why)) GTEST_SKIP() << "no sparse file of 2.2 GB here: " << why;

    const L::Bytes placed = Pattern(50, 224);
    PutAt("clinique", offset - 224, placed); // line 9,999,999
    ClinicalLine line;
    ASSERT_TRUE(ReadCliniqueLine(far - 1, line));
    EXPECT_EQ(BytesOf(line), placed);

    const L::Bytes pattern = Pattern(51, 224);
    std::memcpy(line.bytes, pattern.data(), 224);
    ASSERT_TRUE(WriteCliniqueLine(far, line));
    EXPECT_EQ(At("clinique", offset, 224), pattern);
    EXPECT_EQ(At("clinique", offset - 224, 224), placed);
    EXPECT_EQ(FileSizeLow(hClinique), static_cast<std::uint32_t>(offset + 224));
    EXPECT_TRUE(RecordedBoxes().empty());
}

// A file of 19,173,962 lines: its last line spans the 4 GiB mark, and the
// next number comes round to offset 192.
TEST_F(LargeRecordFile, TheLineAcrossFourGibibytes) {
    constexpr std::int32_t last = 19'173'962;
    constexpr std::uint64_t offset = 4'294'967'264ull; // 2^32 - 32
    std::string why;
    if (!Stretch("clinique", offset + 224, why)) GTEST_SKIP() << "no sparse file of 4.3 GB here: " << why;
    EXPECT_EQ(FileSizeLow(hClinique), 192u); // the low 32 bits of 2^32 + 192

    const L::Bytes head = At("clinique", 0, 12 * 224);
    const L::Bytes pattern = Pattern(52, 224);
    ClinicalLine line;
    std::memcpy(line.bytes, pattern.data(), 224);
    ASSERT_TRUE(WriteCliniqueLine(last, line));
    EXPECT_EQ(At("clinique", offset, 224), pattern);
    EXPECT_EQ(At("clinique", 0, 12 * 224), head) << "nothing written at the start of the file";
    ClinicalLine back{};
    ASSERT_TRUE(ReadCliniqueLine(last, back));
    EXPECT_EQ(BytesOf(back), pattern);
    ASSERT_TRUE(ReadCliniqueLine(last + 1, back));
    EXPECT_EQ(BytesOf(back), L::Bytes(head.begin() + 192, head.begin() + 192 + 224));
    EXPECT_TRUE(RecordedBoxes().empty());
}

// The size is the low 32 bits of the file's length, whatever they are: the
// size test compares them with the counters in 32-bit arithmetic.
TEST_F(LargeRecordFile, SizeIsTheLowThirtyTwoBitsOfTheLength) {
    const std::pair<std::uint64_t, std::uint32_t> cases[] = {
        {2'240'000'000ull, 2'240'000'000u},
        {4'294'967'295ull, 4'294'967'295u}, // all ones is a size like any other
        {4'294'967'296ull, 0u},
        {4'294'967'296ull + 224, 224u},
    };
    for (const auto& [length, low] : cases) {
        std::string why;
        if (!Stretch("clinique", length, why)) GTEST_SKIP() << "no sparse file of " << length << " bytes here: " << why;
        EXPECT_EQ(FileSizeLow(hClinique), low) << length;
    }
}

// Links and ends are taken at the offsets of the layouts, and a link change
// leaves every other byte of the record as it was.
TEST_F(RecordIo, LinkFieldsSitAtTheirOffsetsAndNothingElseMoves) {
    ClinicalLine c;
    L::Bytes raw = Pattern(60, 224);
    L::PutInt(raw.data(), L::clinique::prev, -7);
    L::PutInt(raw.data(), L::clinique::next, 123456);
    std::memcpy(c.bytes, raw.data(), 224);
    EXPECT_EQ(GetPrevLine(c), -7);
    EXPECT_EQ(GetNextLine(c), 123456);
    SetNextLine(c, 0);
    SetPrevLine(c, 99);
    L::PutInt(raw.data(), L::clinique::next, 0);
    L::PutInt(raw.data(), L::clinique::prev, 99);
    EXPECT_EQ(BytesOf(c), raw);

    QuoteLine q;
    L::Bytes qraw = Pattern(61, 86);
    L::PutInt(qraw.data(), L::estime::prev, 5);
    L::PutInt(qraw.data(), L::estime::next, -2);
    std::memcpy(q.bytes, qraw.data(), 86);
    EXPECT_EQ(GetPrevLine(q), 5);
    EXPECT_EQ(GetNextLine(q), -2);

    // The generic chain view of the same bytes agrees.
    ChainLine line;
    std::memcpy(line.bytes, qraw.data(), 86);
    EXPECT_EQ(ChainPrev(QuoteChain, line), 5);
    EXPECT_EQ(ChainNext(QuoteChain, line), -2);
    SetChainNext(QuoteChain, line, 8);
    L::PutInt(qraw.data(), L::estime::next, 8);
    EXPECT_TRUE(std::equal(qraw.begin(), qraw.end(), line.bytes));

    ChartEntry e;
    L::Bytes eraw = Pattern(62, 64);
    L::PutInt(eraw.data(), L::fschema::next, 31);
    eraw[L::fschema::valueC + 3] = 0x20;
    eraw[L::fschema::valueC + 4] = 0x00;
    eraw[L::fschema::valueA + 4] = 0xF6;
    std::memcpy(e.bytes, eraw.data(), 64);
    EXPECT_EQ(GetNextEntry(e), 31);
    EXPECT_FALSE(ChartSlotInUse(e, 3));
    EXPECT_TRUE(ChartSlotInUse(e, 4)); // zero is a value, only the blank frees a slot
    EXPECT_EQ(ChartSlotValue(e, ChartField::ValueA, 4), -10);

    FirstrecRecord f;
    L::Bytes fraw = Pattern(63, 32);
    L::PutInt(fraw.data(), L::firstrec::quoteEnd, 77);
    L::PutInt(fraw.data(), L::firstrec::chartStart, -3);
    std::memcpy(f.bytes, fraw.data(), 32);
    EXPECT_EQ(GetField(f, QuoteChain.endField), 77);
    EXPECT_EQ(GetField(f, FirstrecField::ChartStart), -3);

    IdentiteRecord id;
    L::Bytes iraw = Pattern(64, 1420);
    std::memcpy(id.bytes, iraw.data(), 1420);
    ClearBalance(id);
    for (std::size_t i = 0; i < 8; ++i) iraw[L::identite::balance.at + i] = 0;
    EXPECT_EQ(BytesOf(id), iraw);
}

} // namespace
