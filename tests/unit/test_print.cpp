// The print job's portable half: the print font, and the quotes and the
// dental chart drawn on the recorded printer, page after page.
#include "tests/unit/fixture.h"
#include "tests/unit/mini_practice.h"
#include "tests/unit/standins.h"

#include "checks/print.h"
#include "shell/app.h"
#include "store/datafiles.h"

#include <cstdio>
#include <cstring>
#include <tuple>
#include <utility>

namespace {

namespace L = hostlayout;

TEST(PrintFont, HeightFollowsTheHorizontalResolution) {
    // The cell height is truncated first, then rounded down to a multiple of
    // 16; a device below 120 dots per inch gets its default height.
    const int cases[][2] = {{600, 80}, {300, 32}, {150, 16}, {96, 0}, {1200, 160},
                            {360, 48}, {359, 32}, {120, 16}, {119, 0}, {0, 0}};
    for (const auto& [dpi, height] : cases) EXPECT_EQ(PrintFontHeight(dpi), height) << dpi << " dots per inch";
}

class Print : public PracticeTest {
protected:
    // What the recorded printer received, one page per StartPrintedPage.
    struct Page {
        std::vector<RecordedCall> texts;
    };
    static std::vector<Page> Pages() {
        std::vector<Page> pages(1);
        for (const RecordedCall& c : RecordedCalls()) {
            if (c.kind == RecordedPageStart) pages.emplace_back();
            if (c.kind == RecordedText) {
                EXPECT_EQ(c.surface, RecordedPrinter);
                pages.back().texts.push_back(c);
            }
        }
        return pages;
    }
    // Column 1 of a chain line (or of a chart line: the entry's number).
    static long FirstColumn(const RecordedCall& c) { return std::strtol(c.bytes.c_str(), nullptr, 10); }
    // Column 2 of a chain line: the record's number.
    static long SecondColumn(const RecordedCall& c) {
        return std::strtol(c.bytes.c_str() + c.bytes.find('\xB3') + 1, nullptr, 10);
    }

    void PrintView(std::int32_t mode, std::int32_t patient) {
        CurrentMode = mode;
        CurrentPatient = patient;
        ResetRecording();
        // 300 device units: a page limit of 200; at 16 per line, the first
        // page holds the heading and 9 lines (66 .. 194), the others 10.
        SetRecordedVerticalResolution(300);
        PrintViewFromStart(RecordedPrinter);
    }

    // Every page starts at 50 and goes down by the advance; every page
    // break is EndPage, PrintFont selected again, StartPage.
    static void ExpectPageRules(const std::vector<Page>& pages, int x) {
        for (std::size_t p = 0; p < pages.size(); ++p) {
            ASSERT_FALSE(pages[p].texts.empty()) << "page " << p + 1 << " is empty";
            for (std::size_t i = 0; i < pages[p].texts.size(); ++i) {
                EXPECT_EQ(pages[p].texts[i].y, 50 + 16 * static_cast<int>(i)) << "page " << p + 1 << " line " << i;
                EXPECT_EQ(pages[p].texts[i].x, p == 0 && i == 0 ? 20 : x);
            }
        }
        const auto& calls = RecordedCalls();
        int breaks = 0;
        for (std::size_t i = 0; i < calls.size(); ++i) {
            if (calls[i].kind != RecordedPageEnd) continue;
            ++breaks;
            ASSERT_LT(i + 2, calls.size());
            EXPECT_EQ(calls[i + 1].kind, RecordedFont);
            EXPECT_EQ(calls[i + 1].font, PrintFont);
            EXPECT_EQ(calls[i + 2].kind, RecordedPageStart);
        }
        EXPECT_EQ(breaks + 1, static_cast<int>(pages.size()));
    }

    // Only the first text of the first page is a heading.
    static void ExpectOneHeading(const std::vector<Page>& pages) {
        int headings = 0;
        for (const Page& page : pages)
            for (const RecordedCall& c : page.texts) headings += c.bytes.rfind("DEBUT", 0) == 0;
        EXPECT_EQ(headings, 1);
        EXPECT_EQ(pages.front().texts.front().bytes.rfind("DEBUT", 0), 0u);
    }
};

// Patient 1's quotes: records 1..n in file order.
MiniPractice QuotePractice(std::int32_t n, std::int32_t fileLines) {
    MiniPractice m(2, 4, fileLines, 4);
    L::PutInt(m.Firstrec(1), L::firstrec::quoteStart, 1);
    L::PutInt(m.Firstrec(1), L::firstrec::quoteEnd, n);
    for (std::int32_t i = 1; i <= n; ++i) {
        L::PutInt(m.Quote(i), L::estime::prev, i - 1);
        L::PutInt(m.Quote(i), L::estime::next, i == n ? 0 : i + 1);
    }
    return m;
}

// Patient 1's dental chart: entries 1..n in file order, no slot in use.
MiniPractice ChartPractice(std::int32_t n, std::int32_t fileEntries) {
    MiniPractice m(2, 4, 4, fileEntries);
    L::PutInt(m.Firstrec(1), L::firstrec::chartStart, 1);
    for (std::int32_t i = 1; i <= n; ++i) {
        for (std::size_t s = 0; s < L::fschema::slots; ++s) m.Entry(i)[L::fschema::valueC + s] = 0x20;
        L::PutInt(m.Entry(i), L::fschema::next, i == n ? 0 : i + 1);
    }
    return m;
}

TEST_F(Print, PrintFontIsTheScreenFontButForItsHeight) {
    OpenSampleSet();
    CloseDataFileSet();
    ResetRecording();
    OnMainWindowCreate(MainWindow);
    ASSERT_EQ(RecordedCalls().size(), 1u);
    const RecordedCall screen = RecordedCalls()[0];
    OnMainWindowDestroy();
    ResetRecording();
    const FontRef font = CreateFontFrom(PrintFontSpec(80));
    const RecordedCall print = RecordedCalls()[0];
    DeleteFontRef(font);
    EXPECT_EQ(print.shape.height, 80);
    EXPECT_EQ(print.bytes, screen.bytes);
    const FontSpec a = print.shape, b = screen.shape;
    EXPECT_EQ(std::tie(a.width, a.escapement, a.orientation, a.weight, a.italic, a.underline, a.strikeOut, a.charSet,
                       a.outPrecision, a.clipPrecision, a.quality, a.pitchAndFamily),
              std::tie(b.width, b.escapement, b.orientation, b.weight, b.italic, b.underline, b.strikeOut, b.charSet,
                       b.outPrecision, b.clipPrecision, b.quality, b.pitchAndFamily));
}

TEST_F(Print, QuotesPageAfterPageWithoutAnEmptyLastPage) {
    // 29 lines: 9 + 10 + 10, the last one in the last slot of page 3.
    OpenPractice(QuotePractice(29, 30));
    PrintFont = 0x777;
    // The screen view stood in the middle of the chain: printing starts over.
    CurrentLine = 12;
    LineOrdinal = 11;
    PrintView(ModeQuotesFromStart, 1);
    auto pages = Pages();
    ASSERT_EQ(pages.size(), 3u);
    ExpectPageRules(pages, 1);
    ExpectOneHeading(pages);
    EXPECT_EQ(pages[0].texts[0].bytes, "DEBUTDEVIS: 1    FINDEVIS: 29    LASTINDEX: 30    ");
    EXPECT_EQ(pages[0].texts.size(), 10u);
    EXPECT_EQ(pages[2].texts.size(), 10u);
    EXPECT_EQ(pages[2].texts.back().y, 194);
    std::int32_t n = 0;
    for (const Page& page : pages)
        for (const RecordedCall& c : page.texts) {
            if (c.bytes.rfind("DEBUT", 0) == 0) continue;
            ++n;
            EXPECT_EQ(FirstColumn(c), n);
            EXPECT_EQ(SecondColumn(c), n);
            EXPECT_EQ(c.colour, 0u);
        }
    EXPECT_EQ(n, 29);
    EXPECT_EQ(CurrentLine, 0);
    EXPECT_EQ(CurrentMode, ModeQuotesFromStart);
    EXPECT_EQ(CurrentPatient, 1);

    // From the end: the same pages, the chain backwards, numbered from 1.
    PrintView(ModeQuotesFromEnd, 1);
    pages = Pages();
    ASSERT_EQ(pages.size(), 3u);
    ExpectPageRules(pages, 1);
    EXPECT_EQ(FirstColumn(pages[0].texts[1]), 1);
    EXPECT_EQ(SecondColumn(pages[0].texts[1]), 29);
    EXPECT_EQ(SecondColumn(pages[2].texts.back()), 1);

    // One line more takes one more page, holding it alone.
    CloseDataFileSet();
    OpenPractice(QuotePractice(30, 30));
    PrintView(ModeQuotesFromStart, 1);
    pages = Pages();
    ASSERT_EQ(pages.size(), 4u);
    ExpectPageRules(pages, 1);
    EXPECT_EQ(pages[3].texts.size(), 1u);
    EXPECT_TRUE(RecordedBoxes().empty());
}

TEST_F(Print, DentalChartPageAfterPageWithoutAnEmptyLastPage) {
    // 19 entries: 9 + 10, the last one in the last slot of page 2.
    OpenPractice(ChartPractice(19, 25));
    PrintFont = 0x778;
    CurrentLine = 7;
    PrintView(ModeDentalChart, 1);
    auto pages = Pages();
    ASSERT_EQ(pages.size(), 2u);
    ExpectPageRules(pages, 20);
    ExpectOneHeading(pages);
    EXPECT_EQ(pages[0].texts[0].bytes, "DEBUTSCHEMA: 1    LASTINDEX: 25    ");
    EXPECT_EQ(pages[1].texts.back().y, 194);
    EXPECT_EQ(pages[1].texts.back().bytes, "      19\xB3\xB3       0\xB3");
    std::int32_t n = 0;
    for (const Page& page : pages)
        for (const RecordedCall& c : page.texts)
            if (c.bytes.rfind("DEBUT", 0) != 0) {
                EXPECT_EQ(FirstColumn(c), ++n);
            }
    EXPECT_EQ(n, 19);
    EXPECT_EQ(CurrentLine, 0);
    EXPECT_EQ(LineOrdinal, 0); // the chart is not numbered

    CloseDataFileSet();
    OpenPractice(ChartPractice(20, 25));
    PrintView(ModeDentalChart, 1);
    pages = Pages();
    ASSERT_EQ(pages.size(), 3u);
    ExpectPageRules(pages, 20);
    EXPECT_EQ(pages[2].texts.size(), 1u);
}

TEST_F(Print, ALinkOutOfTheFileOnAFullPageStartsNoPage) {
    // The last line of page 1 links past the counter: the walk ends there,
    // without a page break, and the link stays where the walk stopped.
    MiniPractice quotes = QuotePractice(9, 20);
    L::PutInt(quotes.Quote(9), L::estime::next, 21);
    MiniPractice chart = ChartPractice(9, 20);
    L::PutInt(chart.Entry(9), L::fschema::next, 21);
    for (auto [practice, mode] : {std::pair{&quotes, ModeQuotesFromStart}, std::pair{&chart, ModeDentalChart}}) {
        CloseDataFileSet();
        OpenPractice(*practice);
        PrintView(mode, 1);
        const auto pages = Pages();
        ASSERT_EQ(pages.size(), 1u) << "mode " << mode;
        EXPECT_EQ(pages[0].texts.size(), 10u);
        for (const RecordedCall& c : RecordedCalls()) EXPECT_NE(c.kind, RecordedPageEnd);
        EXPECT_EQ(CurrentLine, 21);
        EXPECT_TRUE(RecordedBoxes().empty());
    }
}

TEST_F(Print, AnUnreadableRecordEndsThePrintedWalk) {
    // The tenth line, first of page 2, lies past the end of the file: the
    // page was started for it, its box comes, nothing more is drawn.
    MiniPractice quotes = QuotePractice(12, 12);
    quotes.estime.resize(9 * L::estime::size);
    MiniPractice chart = ChartPractice(12, 12);
    chart.fschema.resize(9 * L::fschema::size + 10);
    for (auto [practice, mode, caption] : {std::tuple{&quotes, ModeQuotesFromStart, "ESTIM"},
                                           std::tuple{&chart, ModeDentalChart, "FSCHEMA"}}) {
        CloseDataFileSet();
        OpenPractice(*practice);
        PrintView(mode, 1);
        const auto pages = Pages();
        ASSERT_EQ(pages.size(), 2u) << caption;
        EXPECT_EQ(pages[0].texts.size(), 10u);
        EXPECT_TRUE(pages[1].texts.empty());
        const auto boxes = RecordedBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].bytes, "Erreur");
        EXPECT_EQ(boxes[0].caption, caption);
        EXPECT_EQ(boxes[0].owner, MainWindow);
        EXPECT_EQ(RecordedCalls().back().kind, RecordedBox);
    }
}

} // namespace
