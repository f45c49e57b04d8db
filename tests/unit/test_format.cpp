// The screen lines of clinical and quote lines: column by column, on the
// rules that really go wrong (padding, zero bytes, widths, signedness).
#include "tests/unit/fixture.h"

#include "store/format.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <random>

namespace {

namespace L = hostlayout;
const std::string S = "\xB3"; // the column separator

class Format : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSharedState();
        std::memset(clinical.bytes, 0, sizeof clinical.bytes);
        std::memset(quote.bytes, 0, sizeof quote.bytes);
    }
    std::string Clinical() {
        char out[ScreenLineCapacity];
        std::memset(out, 'X', sizeof out);
        EXPECT_TRUE(FormatClinicalLine(clinical, out, sizeof out));
        return out;
    }
    std::string Quote() {
        char out[ScreenLineCapacity];
        std::memset(out, 'X', sizeof out);
        EXPECT_TRUE(FormatQuoteLine(out, sizeof out, quote));
        return out;
    }
    // Splits a line on the separator; the line must end with one.
    static std::vector<std::string> Columns(const std::string& line) {
        std::vector<std::string> cols;
        std::string col;
        for (char c : line) {
            if (c == S[0]) {
                cols.push_back(col);
                col.clear();
            } else {
                col += c;
            }
        }
        EXPECT_TRUE(col.empty()) << "the line does not end with a separator";
        return cols;
    }
    ClinicalLine clinical;
    QuoteLine quote;
};

TEST_F(Format, ClinicalLineHasItsNineteenColumnsInTheirOrder) {
    std::uint8_t* r = clinical.bytes;
    // Everything the line does not show is junk that must stay out of it.
    std::memset(r, 0xEE, sizeof clinical.bytes);
    L::PutPadded(r, L::clinique::text8, "DUPONT", 0);
    L::PutPadded(r, L::clinique::text12, "12/03/2024", 0);
    L::PutPadded(r, L::clinique::design, " 5", 0);
    L::PutPadded(r, L::clinique::text2, "AB", 0);
    L::PutPadded(r, L::clinique::text50, "Détartrage complet", 0);
    L::PutPadded(r, L::clinique::actCode, "SC12", 0);
    L::PutPadded(r, L::clinique::text9, "36", 0);
    L::PutText(r, L::clinique::billed, "F");
    L::PutInt(r, L::clinique::next, 121);
    L::PutInt(r, L::clinique::prev, -5);
    L::PutPadded(r, L::clinique::text26, "Dr Martin", 0);
    L::PutInt(r, L::clinique::number4, 65535);
    L::PutInt(r, L::clinique::colour, 49);
    L::PutInt(r, L::clinique::colour2, 200);
    L::PutInt(r, L::clinique::number1, 4200);
    L::PutInt(r, L::clinique::number2, -1);
    L::PutInt(r, L::clinique::number3, INT_MIN);
    LineOrdinal = 3;
    CurrentLine = 120;
    EXPECT_EQ(Clinical(), "   3" + S + "     120" + S + "DUPONT" + S + "12/03/2024" + S + " 5" + S + "AB" + S +
                              "D\xE9tartrage complet" + S + "SC12" + S + "36" + S + "F" + S + "     121" + S +
                              "      -5" + S + "Dr Martin" + S + "65535" + S + "49" + S + "200" + S + "    4200" +
                              S + "      -1" + S + "-2147483648" + S);
}

TEST_F(Format, TextColumnsStopAtTheirWidthOrAtAZeroByteAndAreNotPadded) {
    std::uint8_t* r = clinical.bytes;
    L::PutPadded(r, L::clinique::text8, "ABCDEFGH", 0);          // full, no zero byte
    L::PutPadded(r, L::clinique::text12, "   x  ", ' ');         // blanks are text
    L::PutPadded(r, L::clinique::text50, "", 0);                 // empty
    L::PutPadded(r, L::clinique::actCode, "O", 0);
    r[L::clinique::actCode.at + 2] = 'Z';                        // after the zero: left out
    L::PutPadded(r, L::clinique::text26, std::string(26, 'q'), 0);
    r[L::clinique::text26.at + 26] = 'W';                        // the byte after the field
    const auto cols = Columns(Clinical());
    ASSERT_EQ(cols.size(), 19u);
    EXPECT_EQ(cols[2], "ABCDEFGH");
    EXPECT_EQ(cols[3], "   x        ");
    EXPECT_EQ(cols[6], "");
    EXPECT_EQ(cols[7], "O");
    EXPECT_EQ(cols[12], std::string(26, 'q'));
    EXPECT_EQ(cols[9], ""); // a zero BilledMark shows nothing
}

TEST_F(Format, EmptyRecordStillHasAllItsSeparators) {
    const std::string line = Clinical();
    EXPECT_EQ(line, "   0" + S + "       0" + S + S + S + S + S + S + S + S + S + "       0" + S + "       0" + S + S +
                        "0" + S + "0" + S + "0" + S + "       0" + S + "       0" + S + "       0" + S);
    EXPECT_EQ(std::count(line.begin(), line.end(), S[0]), 19);
    EXPECT_EQ(Quote(), "   0" + S + "       0" + S + "    0" + S + S + S + S + S + "       0" + S + "       0" + S);
}

TEST_F(Format, NumbersAreMinimumWidthsNeverCuts) {
    LineOrdinal = 12345;
    CurrentLine = 2147483647;
    auto cols = Columns(Clinical());
    EXPECT_EQ(cols[0], "12345");
    EXPECT_EQ(cols[1], "2147483647");
    LineOrdinal = -7;
    CurrentLine = -123456789;
    cols = Columns(Quote());
    EXPECT_EQ(cols[0], "  -7");
    EXPECT_EQ(cols[1], "-123456789");
}

TEST_F(Format, ColoursAndNumber4AreUnsignedTheOthersSigned) {
    std::uint8_t* r = clinical.bytes;
    L::PutInt(r, L::clinique::colour, 0xFF);
    L::PutInt(r, L::clinique::colour2, 0x80);
    L::PutInt(r, L::clinique::number4, 0x8000);
    L::PutInt(r, L::clinique::number1, -1);
    L::PutInt(r, L::clinique::next, -5);
    const auto cols = Columns(Clinical());
    EXPECT_EQ(cols[13], "32768");
    EXPECT_EQ(cols[14], "255");
    EXPECT_EQ(cols[15], "128");
    EXPECT_EQ(cols[16], "      -1");
    EXPECT_EQ(cols[10], "      -5");
}

TEST_F(Format, QuoteLineHasItsNineColumnsNextBeforePrevious) {
    std::uint8_t* r = quote.bytes;
    std::memset(r, 0xEE, sizeof quote.bytes);
    L::PutInt(r, L::estime::number, 3);
    L::PutPadded(r, L::estime::text8, "15/01/24", 0);
    L::PutPadded(r, L::estime::text5, "12345", 0);
    L::PutPadded(r, L::estime::label, "Couronne céramo-métallique", 0);
    L::PutPadded(r, L::estime::text9, "450,00", 0);
    L::PutInt(r, L::estime::prev, 9);
    L::PutInt(r, L::estime::next, 2);
    LineOrdinal = 2;
    CurrentLine = 5;
    EXPECT_EQ(Quote(), "   2" + S + "       5" + S + "    3" + S + "15/01/24" + S + "12345" + S +
                           "Couronne c\xE9ramo-m\xE9tallique" + S + "450,00" + S + "       2" + S + "       9" + S);
}

TEST_F(Format, QuoteNumberIsSignedSixteenBits) {
    quote.bytes[0] = 0xFF;
    quote.bytes[1] = 0xFF;
    EXPECT_EQ(Columns(Quote())[2], "   -1");
    quote.bytes[0] = 0x40;
    quote.bytes[1] = 0x9C;
    EXPECT_EQ(Columns(Quote())[2], "-25536");
}

TEST_F(Format, QuoteLabelFullOrEmpty) {
    L::PutPadded(quote.bytes, L::estime::label, std::string(29, 'L'), 0);
    L::PutPadded(quote.bytes, L::estime::text9, "", 0);
    EXPECT_EQ(Columns(Quote())[5], std::string(29, 'L'));
    L::PutPadded(quote.bytes, L::estime::label, "", 0);
    L::PutPadded(quote.bytes, L::estime::text5, "ab", 0);
    const std::string line = Quote();
    EXPECT_NE(line.find("ab" + S + S), std::string::npos);
}

// Any bytes at all: the line stays within its bound, ends with a separator
// and has at least as many separators as columns (texts may hold 0xB3 too).
TEST_F(Format, RandomRecordsStayWithinBounds) {
    std::mt19937 random(20261205);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<std::int32_t> any(INT_MIN, INT_MAX);
    for (int i = 0; i < 20000; ++i) {
        for (auto& b : clinical.bytes) b = static_cast<std::uint8_t>(byte(random) < 40 ? 0 : byte(random));
        for (auto& b : quote.bytes) b = static_cast<std::uint8_t>(byte(random) < 40 ? 0 : byte(random));
        LineOrdinal = any(random);
        CurrentLine = any(random);
        char out[ScreenLineCapacity + 1];
        out[ScreenLineCapacity] = 'G'; // guard
        ASSERT_TRUE(FormatClinicalLine(clinical, out, ScreenLineCapacity));
        std::size_t n = std::strlen(out);
        ASSERT_LE(n, 230u);
        ASSERT_EQ(out[n - 1], S[0]);
        ASSERT_GE(std::count(out, out + n, S[0]), 19);
        ASSERT_TRUE(FormatQuoteLine(out, ScreenLineCapacity, quote));
        n = std::strlen(out);
        ASSERT_LE(n, 110u);
        ASSERT_EQ(out[n - 1], S[0]);
        ASSERT_GE(std::count(out, out + n, S[0]), 9);
        ASSERT_EQ(out[ScreenLineCapacity], 'G');
    }
}

TEST_F(Format, SmallBufferIsCutNotOverrun) {
    char out[24];
    std::memset(out, 'X', sizeof out);
    LineOrdinal = 1;
    ASSERT_TRUE(FormatClinicalLine(clinical, out, 16));
    EXPECT_EQ(std::strlen(out), 15u);
    EXPECT_EQ(out[16], 'X');
}

} // namespace
