// The views, on the recorded window and the recorded printer: what is drawn,
// where, in which colour, page after page, and how each walk stops.
#include "tests/unit/fixture.h"
#include "tests/unit/mini_practice.h"
#include "tests/unit/standins.h"

#include "checks/print.h"
#include "shell/app.h"
#include "store/datafiles.h"
#include "viewers/views.h"

#include <cstdio>
#include <filesystem>

namespace {

namespace L = hostlayout;
constexpr SurfaceRef Screen = 0x77;
constexpr Colour Red = 0x0000FF;
constexpr Colour Black = 0;
const std::string S = "\xB3";

struct Drawn {
    std::int32_t ordinal, record; // columns 1 and 2 of a chain line
    int x, y;
    Colour colour;
};

class Views : public PracticeTest {
protected:
    // Lines of a chain view (the header excluded), as (ordinal, record).
    static std::vector<Drawn> ChainLines(SurfaceRef surface = Screen) {
        std::vector<Drawn> out;
        for (const RecordedCall& c : RecordedTexts()) {
            if (c.surface != surface || c.bytes.rfind("DEBUT", 0) == 0) continue;
            long ordinal = 0, record = 0;
            const auto sep = c.bytes.find(S[0]);
            EXPECT_NE(sep, std::string::npos);
            std::sscanf(c.bytes.c_str(), "%ld", &ordinal);
            std::sscanf(c.bytes.c_str() + sep + 1, "%ld", &record);
            out.push_back({static_cast<std::int32_t>(ordinal), static_cast<std::int32_t>(record), c.x, c.y, c.colour});
        }
        return out;
    }
    static std::vector<std::string> Headers() {
        std::vector<std::string> out;
        for (const RecordedCall& c : RecordedTexts())
            if (c.bytes.rfind("DEBUT", 0) == 0) out.push_back(c.bytes);
        return out;
    }
    static std::vector<std::int32_t> Records(const std::vector<Drawn>& lines) {
        std::vector<std::int32_t> r;
        for (const Drawn& d : lines) r.push_back(d.record);
        return r;
    }
    void View(std::int32_t mode, std::int32_t patient) {
        CurrentMode = mode;
        CurrentPatient = patient;
        CurrentLine = 0;
        LineOrdinal = 0;
        ViewReady = 1;
    }
    void Paint() {
        ResetRecording();
        PaintCurrentView(Screen);
    }
};

// A chain of `n` lines 1..n in file order for patient 1.
MiniPractice LongChain(std::int32_t n, std::int32_t fileLines) {
    MiniPractice m(2, fileLines, 4, 4);
    L::PutInt(m.Firstrec(1), L::firstrec::clinicalStart, 1);
    L::PutInt(m.Firstrec(1), L::firstrec::clinicalEnd, n);
    for (std::int32_t i = 1; i <= n; ++i) {
        L::PutInt(m.Clinical(i), L::clinique::prev, i - 1);
        L::PutInt(m.Clinical(i), L::clinique::next, i == n ? 0 : i + 1);
        L::PutInt(m.Clinical(i), L::clinique::colour, 48);
    }
    return m;
}

TEST_F(Views, ClinicalChartFromTheStartThenFromTheEnd) {
    MiniPractice m(3, 20, 4, 4);
    m.ClinicalChain(2, {5, 9, 2});
    L::PutInt(m.Clinical(5), L::clinique::colour, 48);
    L::PutInt(m.Clinical(9), L::clinique::colour, 49);
    L::PutInt(m.Clinical(2), L::clinique::colour, 50);
    OpenPractice(m);

    View(ModeClinicalFromStart, 2);
    Paint();
    const auto texts = RecordedTexts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0].bytes, "DEBUTACTE: 5    FINACTE: 2    LASTINDEX: 20    ");
    EXPECT_EQ(texts[0].x, 20);
    EXPECT_EQ(texts[0].y, 0);
    EXPECT_EQ(texts[0].colour, Red);
    const auto lines = ChainLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(Records(lines), (std::vector<std::int32_t>{5, 9, 2}));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(lines[i].ordinal, i + 1);
        EXPECT_EQ(lines[i].x, 1);
        EXPECT_EQ(lines[i].y, 16 * (i + 1));
    }
    EXPECT_EQ(lines[0].colour, Black);
    EXPECT_EQ(lines[1].colour, Red); // colour code 49
    EXPECT_EQ(lines[2].colour, Black);
    EXPECT_EQ(CurrentLine, 0);

    // After the end of the chain the next paint starts again with the header.
    Paint();
    EXPECT_EQ(Headers().size(), 1u);
    EXPECT_EQ(ChainLines().front().ordinal, 1);

    View(ModeClinicalFromEnd, 2);
    Paint();
    EXPECT_EQ(Headers(), (std::vector<std::string>{"DEBUTACTE: 5    FINACTE: 2    LASTINDEX: 20    "}));
    EXPECT_EQ(Records(ChainLines()), (std::vector<std::int32_t>{2, 9, 5}));
    EXPECT_EQ(ChainLines().front().ordinal, 1);
    EXPECT_TRUE(RecordedBoxes().empty());
}

TEST_F(Views, PagesContinueTheNumberingAndEndWithoutAnEmptyPage) {
    OpenPractice(LongChain(40, 45));
    View(ModeClinicalFromStart, 1);
    // 600 - 100 = 500: the line at y = 496 is the last of the page.
    Paint();
    auto lines = ChainLines();
    ASSERT_EQ(lines.size(), 31u);
    EXPECT_EQ(lines.back().y, 496);
    EXPECT_EQ(CurrentLine, 32);
    Paint();
    lines = ChainLines();
    EXPECT_TRUE(Headers().empty());
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines.front().ordinal, 32);
    EXPECT_EQ(lines.front().y, 0);
    EXPECT_EQ(lines.back().ordinal, 40);
    Paint();
    EXPECT_EQ(Headers().size(), 1u);

    // A chain that ends on the last line that fits: the next page is the
    // header again, not an empty page.
    ResetSharedState();
    CloseDataFileSet();
    OpenPractice(LongChain(31, 31));
    View(ModeClinicalFromStart, 1);
    Paint();
    EXPECT_EQ(ChainLines().size(), 31u);
    EXPECT_EQ(CurrentLine, 0);
    Paint();
    EXPECT_EQ(Headers().size(), 1u);
}

TEST_F(Views, ALoopingChainShowsOneMorePageAtEachPaint) {
    MiniPractice m(1, 6, 1, 1);
    m.ClinicalChain(1, {1, 2, 3});
    L::PutInt(m.Clinical(3), L::clinique::next, 2); // back to its second line
    OpenPractice(m);
    View(ModeClinicalFromStart, 1);
    std::int32_t expectedOrdinal = 1;
    for (int page = 0; page < 4; ++page) {
        Paint();
        const auto lines = ChainLines();
        ASSERT_EQ(lines.size(), page == 0 ? 31u : 32u);
        for (const Drawn& d : lines) ASSERT_EQ(d.ordinal, expectedOrdinal++);
    }
}

TEST_F(Views, WalksStopSilentlyOnValuesOutsideTheFile) {
    MiniPractice m(4, 10, 4, 4);
    m.ClinicalChain(1, {3, 4});
    L::PutInt(m.Clinical(4), L::clinique::next, 11); // one past the counter
    L::PutInt(m.Firstrec(2), L::firstrec::clinicalStart, -3);
    L::PutInt(m.Firstrec(3), L::firstrec::clinicalStart, 10000);
    OpenPractice(m);

    View(ModeClinicalFromStart, 1);
    Paint();
    EXPECT_EQ(Records(ChainLines()), (std::vector<std::int32_t>{3, 4}));
    EXPECT_EQ(CurrentLine, 11);
    Paint();
    EXPECT_TRUE(RecordedTexts().empty()); // until a new view is chosen

    for (std::int32_t patient : {2, 3}) {
        View(ModeClinicalFromStart, patient);
        Paint();
        ASSERT_EQ(RecordedTexts().size(), 1u);
        EXPECT_EQ(Headers().size(), 1u) << "the stored start is shown as it is";
        Paint();
        EXPECT_TRUE(RecordedTexts().empty());
    }
    EXPECT_EQ(Headers().size(), 0u);
    EXPECT_TRUE(RecordedBoxes().empty());
}

TEST_F(Views, AReadFailureIsShownOnceAndEndsTheView) {
    MiniPractice m(2, 12, 4, 4);
    m.ClinicalChain(1, {1, 2, 12});
    m.clinique.resize(11 * 224); // the file is shorter than its counter
    OpenPractice(m);
    View(ModeClinicalFromStart, 1);
    Paint();
    EXPECT_EQ(Records(ChainLines()), (std::vector<std::int32_t>{1, 2}));
    ASSERT_EQ(RecordedBoxes().size(), 1u);
    EXPECT_EQ(RecordedBoxes()[0].caption, "CLINIQUE");
    // The repaint that closing the box causes draws nothing and shows nothing.
    Paint();
    EXPECT_TRUE(RecordedCalls().size() <= 2u); // the font selected and put back, nothing else
    EXPECT_TRUE(RecordedTexts().empty());
    EXPECT_TRUE(RecordedBoxes().empty());

    View(ModeClinicalFromStart, 1);
    FaultArmShortTransfer(1);
    Paint();
    ASSERT_EQ(RecordedBoxes().size(), 1u);
    EXPECT_EQ(RecordedBoxes()[0].caption, "FIRSTREC");
    EXPECT_TRUE(RecordedTexts().empty());
    FaultDisarm();
    Paint();
    EXPECT_TRUE(RecordedBoxes().empty());
}

TEST_F(Views, OnPaperEveryPageStartsAtFiftyWithThePrintFont) {
    // VERTRES 300: limit 200. The first page holds the header and 9 lines
    // (66 .. 194), the next ones 10 (50 .. 194).
    OpenPractice(LongChain(30, 30));
    View(ModeClinicalFromStart, 1);
    PrintFont = 0x999;
    SetRecordedVerticalResolution(300);
    PaintClinicalChart(RecordedPrinter, 1);
    const auto& calls = RecordedCalls();
    int pages = 1;
    int expectedY = 66;
    std::int32_t ordinal = 0;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const RecordedCall& c = calls[i];
        if (c.kind == RecordedPageEnd) {
            ASSERT_LT(i + 2, calls.size());
            EXPECT_EQ(calls[i + 1].kind, RecordedFont);
            EXPECT_EQ(calls[i + 1].font, PrintFont);
            EXPECT_EQ(calls[i + 2].kind, RecordedPageStart);
            ++pages;
            expectedY = 50;
        } else if (c.kind == RecordedText && c.bytes.rfind("DEBUT", 0) != 0) {
            EXPECT_EQ(c.y, expectedY) << "line " << ordinal + 1;
            expectedY += 16;
            ++ordinal;
        }
    }
    EXPECT_EQ(ordinal, 30);
    EXPECT_EQ(pages, 4); // 9 + 10 + 10 + 1
    EXPECT_EQ(Headers().size(), 1u);
}

TEST_F(Views, APrintedChainThatFillsItsLastPageEndsThere) {
    OpenPractice(LongChain(9, 12));
    View(ModeClinicalFromStart, 1);
    SetRecordedVerticalResolution(300);
    PaintClinicalChart(RecordedPrinter, 1);
    for (const RecordedCall& c : RecordedCalls()) EXPECT_NE(c.kind, RecordedPageEnd);
    EXPECT_EQ(ChainLines(RecordedPrinter).size(), 9u);
}

// Also when lastrec, damaged, promises far more lines than the files have:
// the loop would otherwise print page after page up to that count.
TEST_F(Views, APrintedLoopStopsAtTheNumberOfLinesTheFileCanHold) {
    for (std::int32_t counter : {5, 30000}) {
        MiniPractice m(1, 5, 5, 5);
        m.ClinicalChain(1, {1, 2, 3});
        L::PutInt(m.Clinical(3), L::clinique::next, 1);
        m.QuoteChain(1, {4, 5});
        L::PutInt(m.Quote(5), L::estime::next, 4);
        m.ChartChain(1, {2, 3});
        L::PutInt(m.Entry(3), L::fschema::next, 2);
        for (std::size_t c : {L::lastrec::clinicalLines, L::lastrec::quoteLines, L::lastrec::chartEntries})
            L::PutInt(m.lastrec.data() + c * L::lastrec::size, L::lastrec::counter, counter);
        OpenPractice(m);
        ASSERT_EQ(LastClinicalLine, counter);
        for (std::int32_t mode : {ModeClinicalFromStart, ModeQuotesFromStart, ModeDentalChart}) {
            View(mode, 1);
            ResetRecording();
            PrintViewFromStart(RecordedPrinter);
            EXPECT_EQ(RecordedTexts().size(), 6u) << "header and five lines, mode " << mode << ", counter " << counter;
        }
    }
}

// Line 134,217,729 of clinique lies 7 x 4 GiB after line 1, which the
// 32-bit offset makes line 1 again (and entry 67,108,865 of Fschema entry 1):
// a chain through such numbers loops without repeating a number below the
// file's size. On paper it still ends, after at most one line more than the
// places where a record of the file can start (every 32 bytes in clinique,
// every 64 in Fschema).
TEST_F(Views, APrintedLoopThroughLinesThatWrapPastFourGibibytesEnds) {
    MiniPractice m(1, 5, 5, 5);
    m.ClinicalChain(1, {1});
    L::PutInt(m.Clinical(1), L::clinique::next, 134'217'729);
    m.ChartChain(1, {1});
    L::PutInt(m.Entry(1), L::fschema::next, 67'108'865);
    L::PutInt(m.lastrec.data() + L::lastrec::clinicalLines * L::lastrec::size, L::lastrec::counter, 200'000'000);
    L::PutInt(m.lastrec.data() + L::lastrec::chartEntries * L::lastrec::size, L::lastrec::counter, 100'000'000);
    OpenPractice(m);
    for (auto [mode, places] : {std::pair{ModeClinicalFromStart, 5 * 224 / 32}, std::pair{ModeDentalChart, 5}}) {
        View(mode, 1);
        ResetRecording();
        PrintViewFromStart(RecordedPrinter);
        const std::size_t lines = RecordedTexts().size() - 1;
        EXPECT_GE(lines, 2u) << "the wrapped line is read, mode " << mode;
        EXPECT_LE(lines, static_cast<std::size_t>(places) + 1) << "mode " << mode;
        EXPECT_TRUE(RecordedBoxes().empty());
    }
}

TEST_F(Views, QuotesBothWaysAllInBlack) {
    MiniPractice m(2, 4, 12, 4);
    m.QuoteChain(2, {5, 9, 2});
    OpenPractice(m);
    View(ModeQuotesFromStart, 2);
    Paint();
    EXPECT_EQ(Headers(), (std::vector<std::string>{"DEBUTDEVIS: 5    FINDEVIS: 2    LASTINDEX: 12    "}));
    auto lines = ChainLines();
    EXPECT_EQ(Records(lines), (std::vector<std::int32_t>{5, 9, 2}));
    for (const Drawn& d : lines) {
        EXPECT_EQ(d.colour, Black);
        EXPECT_EQ(d.x, 1);
    }
    View(ModeQuotesFromEnd, 2);
    Paint();
    lines = ChainLines();
    EXPECT_EQ(Records(lines), (std::vector<std::int32_t>{2, 9, 5}));
    EXPECT_EQ(lines[0].ordinal, 1);

    View(ModeQuotesFromStart, 1); // no quotes: the header alone, every time
    Paint();
    EXPECT_EQ(Headers(), (std::vector<std::string>{"DEBUTDEVIS: 0    FINDEVIS: 0    LASTINDEX: 12    "}));
    EXPECT_TRUE(ChainLines().empty());
    Paint();
    EXPECT_EQ(Headers().size(), 1u);
}

TEST_F(Views, DentalChartLinesListTheSlotsInUse) {
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
    std::uint8_t* empty = m.Entry(12);
    for (std::size_t i = 0; i < L::fschema::slots; ++i) empty[L::fschema::valueC + i] = 0x20;
    OpenPractice(m);
    View(ModeDentalChart, 1);
    Paint();
    const auto texts = RecordedTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].bytes, "DEBUTSCHEMA: 7    LASTINDEX: 12    ");
    EXPECT_EQ(texts[0].colour, Red);
    EXPECT_EQ(texts[1].bytes, "       7" + S + "-1--128-0/11-2-65/" + S + "      12" + S);
    EXPECT_EQ(texts[1].x, 20);
    EXPECT_EQ(texts[1].y, 16);
    EXPECT_EQ(texts[1].colour, Black);
    EXPECT_EQ(texts[2].bytes, "      12" + S + S + "       0" + S);
    EXPECT_EQ(LineOrdinal, 0); // the chart is not numbered
}

TEST_F(Views, RawBrowserPagesStopAtTheCounter) {
    MiniPractice m(1, 45, 6, 1);
    m.lastrec = L::Lastrec(1, 40, 6, 1); // the file holds five lines more than in use
    OpenPractice(m);
    CurrentMode = ModeBrowseClinique;
    CurrentLine = 1;
    ViewReady = 1;
    Paint();
    auto lines = ChainLines();
    ASSERT_EQ(lines.size(), 32u); // 0 .. 496
    EXPECT_EQ(lines.front().record, 1);
    EXPECT_EQ(lines.front().x, 0);
    EXPECT_EQ(lines.back().y, 496);
    Paint();
    lines = ChainLines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines.front().record, 33);
    EXPECT_EQ(lines.back().record, 40);
    Paint();
    EXPECT_TRUE(RecordedTexts().empty());

    CurrentMode = ModeBrowseEstime;
    CurrentLine = 6;
    Paint();
    ASSERT_EQ(ChainLines().size(), 1u);
    EXPECT_EQ(ChainLines()[0].record, 6);
    Paint();
    EXPECT_TRUE(RecordedTexts().empty());
    EXPECT_TRUE(RecordedBoxes().empty());
}

TEST_F(Views, RawBrowserReportsAFileShorterThanItsCounterOnce) {
    MiniPractice m(1, 10, 10, 1);
    m.estime.resize(7 * 86);
    OpenPractice(m);
    CurrentMode = ModeBrowseEstime;
    CurrentLine = 5;
    ViewReady = 1;
    Paint();
    EXPECT_EQ(Records(ChainLines()), (std::vector<std::int32_t>{5, 6, 7}));
    ASSERT_EQ(RecordedBoxes().size(), 1u);
    EXPECT_EQ(RecordedBoxes()[0].caption, "ESTIM");
    Paint();
    EXPECT_TRUE(RecordedBoxes().empty());
    EXPECT_TRUE(RecordedTexts().empty());
}

TEST_F(Views, ViewingChangesNoFile) {
    MiniPractice m(3, 20, 20, 20);
    m.ClinicalChain(1, {1, 5, 7});
    m.QuoteChain(1, {2, 3});
    m.ChartChain(1, {4, 9});
    L::PutInt(m.Clinical(7), L::clinique::next, 5);
    OpenPractice(m);
    for (std::int32_t mode : {1, 2, 3, 4, 5}) {
        View(mode, 1);
        for (int i = 0; i < 3; ++i) Paint();
    }
    CurrentMode = ModeBrowseClinique;
    CurrentLine = 1;
    Paint();
    ExpectFiles(m);
}

} // namespace
