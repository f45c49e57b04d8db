// The sample practice without damage: sound, deterministic, realistic, and
// with no zero byte where the program must pass bytes through.

#include "tests/tools/support.h"
#include "tests/tools/walk.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <string_view>

namespace {

namespace L = hostlayout;
using practice::DataFile;
using practice::FileOf;
using practice::Options;
using practice::Practice;

const DataFile chainFiles[] = {DataFile::Clinique, DataFile::Estime, DataFile::Fschema};

Options Sized(std::int32_t patients, std::int32_t lines, std::int32_t quotes, std::int32_t chart,
              std::int32_t variant = 0) {
    Options o;
    o.patients = patients;
    o.clinicalLines = lines;
    o.quoteLines = quotes;
    o.chartEntries = chart;
    o.variant = variant;
    return o;
}

std::string_view Bytes(const std::uint8_t* record, L::Field f) {
    return {reinterpret_cast<const char*>(record) + f.at, f.width};
}

// Every record of a file, in file order.
template <class Visit> void EachRecord(const L::Bytes& file, std::size_t size, Visit visit) {
    for (std::size_t n = 1; n <= file.size() / size; ++n) visit(L::Record(file, size, n));
}

bool Holds(const L::Bytes& file, std::string_view text) {
    const std::string_view bytes(reinterpret_cast<const char*>(file.data()), file.size());
    return bytes.find(text) != std::string_view::npos;
}

void ExpectSound(const Practice& pr) {
    const L::Bytes& lastrec = FileOf(pr, DataFile::Lastrec);
    ASSERT_EQ(lastrec.size(), 1280u);
    const std::int64_t patients = L::Counter(lastrec, L::lastrec::patients);
    const std::int64_t clinical = L::Counter(lastrec, L::lastrec::clinicalLines);
    const std::int64_t quotes = L::Counter(lastrec, L::lastrec::quoteLines);
    const std::int64_t chart = L::Counter(lastrec, L::lastrec::chartEntries);
    EXPECT_EQ(patients, pr.patients);
    EXPECT_EQ(clinical, pr.clinicalLines);
    EXPECT_EQ(quotes, pr.quoteLines);
    EXPECT_EQ(chart, pr.chartEntries);
    for (bool present : pr.present) EXPECT_TRUE(present);
    EXPECT_EQ(FileOf(pr, DataFile::Firstrec).size(), static_cast<std::size_t>(patients) * 32);
    EXPECT_EQ(FileOf(pr, DataFile::Identite).size(), static_cast<std::size_t>(patients) * 1420);
    EXPECT_EQ(FileOf(pr, DataFile::Patient).size(), static_cast<std::size_t>(patients) * 40);
    EXPECT_EQ(FileOf(pr, DataFile::Clinique).size(), static_cast<std::size_t>(clinical) * 224);
    EXPECT_EQ(FileOf(pr, DataFile::Estime).size(), static_cast<std::size_t>(quotes) * 86);
    EXPECT_EQ(FileOf(pr, DataFile::Fschema).size(), static_cast<std::size_t>(chart) * 64);

    for (DataFile file : chainFiles) {
        const auto walks = walk::Examine(pr, file);
        std::vector<int> chainsHolding(FileOf(pr, file).size() + 1, 0);
        for (std::size_t p = 0; p < walks.size(); ++p) {
            const walk::Patient& w = walks[p];
            SCOPED_TRACE(std::string(practice::DataFileName(file)) + ", patient " + std::to_string(p + 1));
            EXPECT_EQ(w.findings, 0u) << walk::FindingNames(w.findings);
            if (file != DataFile::Fschema) {
                EXPECT_TRUE(std::equal(w.forward.begin(), w.forward.end(), w.backward.rbegin(), w.backward.rend()));
            }
            for (std::int32_t line : w.forward) EXPECT_EQ(++chainsHolding[static_cast<std::size_t>(line)], 1);
        }
    }
}

TEST(SoundPractice, EveryChainWalksBothWaysOverItsOwnLines) {
    const Options cases[] = {
        Options{},
        Sized(40, 400, 200, 100, 1),
        Sized(40, 400, 200, 100, 2),
        Sized(300, 4000, 1500, 900, 3),
        Sized(1, 1, 1, 1),
        Sized(1, 0, 0, 0),
        Sized(0, 5, 0, 0), // lines but no patient: all stray
        Sized(0, 0, 0, 0),
        Sized(25, 30, 0, 7, 9), // fewer lines than the generator's odd forms
    };
    for (const Options& o : cases) {
        SCOPED_TRACE("patients " + std::to_string(o.patients) + ", lines " + std::to_string(o.clinicalLines) +
                     ", variant " + std::to_string(o.variant));
        ExpectSound(Built(o));
    }
}

TEST(SoundPractice, LooksLikeFilesGrownOverTheYears) {
    const Practice pr = Built(Options{});
    EXPECT_EQ(pr.clinicalLines, 400);
    EXPECT_EQ(pr.quoteLines, 200);
    EXPECT_EQ(pr.chartEntries, 100);
    for (DataFile file : chainFiles) {
        SCOPED_TRACE(practice::DataFileName(file));
        const auto walks = walk::Examine(pr, file);
        int empty = 0, unordered = 0, interleaved = 0;
        for (std::size_t a = 0; a < walks.size(); ++a) {
            const auto& fa = walks[a].forward;
            if (fa.empty()) {
                ++empty;
                continue;
            }
            if (!std::is_sorted(fa.begin(), fa.end())) ++unordered;
            const auto [aLow, aHigh] = std::minmax_element(fa.begin(), fa.end());
            for (std::size_t b = a + 1; b < walks.size(); ++b) {
                const auto& fb = walks[b].forward;
                if (fb.empty()) continue;
                const auto [bLow, bHigh] = std::minmax_element(fb.begin(), fb.end());
                if (*aLow < *bHigh && *bLow < *aHigh) ++interleaved;
            }
        }
        EXPECT_GT(empty, 0);
        EXPECT_LT(empty, static_cast<int>(walks.size()) / 2 + 5);
        EXPECT_GT(interleaved, 0);
        if (file != DataFile::Fschema) { EXPECT_GT(unordered, 0); }
        EXPECT_FALSE(walk::Unreached(pr, file, walks).empty()) << "no line in use outside the chains";
    }
}

TEST(SoundPractice, SameOptionsGiveTheSameBytesAndAnotherVariantOthers) {
    const Options o = WithDamage({"loop:estime:3", "truncate:clinique:5", "missing:param"});
    const Practice first = Built(o);
    const Practice again = Built(o);
    EXPECT_EQ(first.files, again.files);
    EXPECT_EQ(first.present, again.present);
    EXPECT_EQ(first.manifest, again.manifest);

    Options other = o;
    other.variant = 1;
    const Practice second = Built(other);
    for (DataFile f : {DataFile::Clinique, DataFile::Estime, DataFile::Fschema, DataFile::Firstrec,
                       DataFile::Identite, DataFile::Lastrec})
        EXPECT_NE(FileOf(first, f), FileOf(second, f)) << practice::DataFileName(f);
}

TEST(Content, ClinicalLinesHoldEveryFormTheRepairsMeet) {
    namespace C = L::clinique;
    for (std::int32_t variant : {0, 1, 2}) {
        SCOPED_TRACE("variant " + std::to_string(variant));
        const Practice pr = Built(Sized(40, 400, 200, 100, variant));
        const L::Bytes& clinique = FileOf(pr, DataFile::Clinique);
        std::set<std::string> codes, designs;
        std::set<char> users;
        bool oThenZeros = false, ordinaryCode = false, red = false, redSecondOnly = false, billedZero = false,
             labelEndsEarly = false;
        EachRecord(clinique, C::size, [&](const std::uint8_t* r) {
            const std::string_view code = Bytes(r, C::actCode);
            codes.insert(std::string(code.substr(0, 4)));
            oThenZeros |= code[0] == 'O' && code.find_first_not_of('\0', 1) == std::string_view::npos;
            ordinaryCode |= code.substr(0, 4) == "HBJD";
            const int colour = r[C::colour.at];
            EXPECT_GE(colour, 48);
            EXPECT_LE(colour, 147);
            red |= colour == 49;
            redSecondOnly |= colour != 49 && r[C::colour2.at] == 49;
            const std::string design(Bytes(r, C::design));
            designs.insert(design);
            const bool designForm = design == "  " || (design[0] == ' ' && design[1] >= '1' && design[1] <= '9') ||
                                    (std::isdigit(static_cast<unsigned char>(design[0])) &&
                                     std::isdigit(static_cast<unsigned char>(design[1])));
            EXPECT_TRUE(designForm) << "'" << design << "'";
            users.insert(static_cast<char>(r[C::user.at]));
            billedZero |= r[C::billed.at] == 0;
            const std::string_view label = Bytes(r, C::text50);
            labelEndsEarly |= label.find('\0') != std::string_view::npos && label[0] != '\0';
        });
        for (const char* form : {"O   ", " O  ", "  O ", "   O", "o   ", "SPR ", " SPR", " spr", "OX  ", "SPRX"})
            EXPECT_EQ(codes.count(form), 1u) << "'" << form << "'";
        EXPECT_TRUE(oThenZeros);
        EXPECT_TRUE(ordinaryCode);
        EXPECT_TRUE(red);
        EXPECT_TRUE(redSecondOnly);
        EXPECT_TRUE(designs.count("05") && designs.count("  ") && designs.count(" 5"));
        for (char u : users) EXPECT_TRUE(u == ' ' || (u >= '0' && u <= '9')) << int(u);
        EXPECT_TRUE(users.count(' ') && users.count('0'));
        EXPECT_GE(users.size(), 8u);
        EXPECT_TRUE(billedZero);
        EXPECT_TRUE(labelEndsEarly);
        // Windows-1252 bytes, whatever the charset of this source.
        for (const char* label : {"D\xE9tartrage", "Consultation", "Extraction", "Radiographie panoramique",
                                  "Ordonnance", "c\xE9ramo-m\xE9tallique"})
            EXPECT_TRUE(Holds(clinique, label)) << label;
    }
}

TEST(Content, QuoteLinesChartsAndPatientsHoldTheirOddForms) {
    namespace E = L::estime;
    namespace F = L::fschema;
    const Practice pr = Built(Options{});
    std::set<std::string> codes;
    std::set<std::int64_t> numbers;
    EachRecord(FileOf(pr, DataFile::Estime), E::size, [&](const std::uint8_t* r) {
        codes.insert(std::string(Bytes(r, E::actCode)));
        numbers.insert(L::GetSigned(r, E::number));
    });
    for (const char* form : {"SPR ", " SPR", " spr", "SPRX", "O   ", " O  "})
        EXPECT_EQ(codes.count(form), 1u) << "'" << form << "'";
    EXPECT_TRUE(numbers.count(-1) && numbers.count(-25536));
    EXPECT_TRUE(Holds(FileOf(pr, DataFile::Estime), "Couronne c\xE9ramo-m\xE9tallique"));

    bool freeSlot = false, zeroSlot = false, negative = false, allFree = false;
    EachRecord(FileOf(pr, DataFile::Fschema), F::size, [&](const std::uint8_t* r) {
        int used = 0;
        for (std::size_t i = 0; i < F::slots; ++i) {
            const auto c = static_cast<std::int8_t>(r[F::valueC + i]);
            if (c == ' ') {
                freeSlot = true;
                continue;
            }
            ++used;
            zeroSlot |= c == 0;
            negative |= c < 0 || static_cast<std::int8_t>(r[F::valueA + i]) < 0 ||
                        static_cast<std::int8_t>(r[F::valueB + i]) < 0;
        }
        allFree |= used == 0;
    });
    EXPECT_TRUE(freeSlot && zeroSlot && negative && allFree);

    int zero = 0, credit = 0, debt = 0;
    EachRecord(FileOf(pr, DataFile::Identite), L::identite::size, [&](const std::uint8_t* r) {
        const auto bits = static_cast<std::uint64_t>(L::GetSigned(r, L::identite::balance));
        double balance;
        std::memcpy(&balance, &bits, sizeof balance);
        zero += balance == 0.0;
        credit += balance > 0.0;
        debt += balance < 0.0;
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(r[L::identite::name.at])));
    });
    EXPECT_GT(zero, 0);
    EXPECT_GT(credit, 0);
    EXPECT_GT(debt, 0);
}

TEST(Content, NoByteThatThePassesThroughIsZero) {
    for (const Options& o : {Options{}, Sized(7, 90, 33, 12, 5)}) {
        const Practice pr = Built(o);
        std::set<std::uint8_t> values;
        auto expectNonZero = [&](const L::Bytes& file, std::size_t size, L::Field f, const char* name) {
            std::size_t zeros = 0;
            EachRecord(file, size, [&](const std::uint8_t* r) {
                for (std::size_t i = 0; i < f.width; ++i) {
                    zeros += r[f.at + i] == 0;
                    values.insert(r[f.at + i]);
                }
            });
            EXPECT_EQ(zeros, 0u) << name << " at " << f.at;
        };
        for (L::Field f : L::clinique::opaque)
            expectNonZero(FileOf(pr, DataFile::Clinique), L::clinique::size, f, "clinique");
        for (L::Field f : L::estime::opaque) expectNonZero(FileOf(pr, DataFile::Estime), L::estime::size, f, "estime");
        for (L::Field f : L::identite::opaque)
            expectNonZero(FileOf(pr, DataFile::Identite), L::identite::size, f, "identite");
        expectNonZero(FileOf(pr, DataFile::Firstrec), L::firstrec::size, L::firstrec::opaque, "firstrec");
        expectNonZero(FileOf(pr, DataFile::Lastrec), L::lastrec::size, L::lastrec::opaque, "lastrec");
        // The counters nobody reads are opaque too.
        const L::Bytes& lastrec = FileOf(pr, DataFile::Lastrec);
        for (std::size_t i = 0; i < L::lastrec::records; ++i)
            if (i != L::lastrec::patients && i != L::lastrec::quoteLines && i != L::lastrec::clinicalLines &&
                i != L::lastrec::chartEntries) {
                for (std::size_t b = 0; b < 4; ++b) EXPECT_NE(lastrec[i * 16 + 12 + b], 0) << "lastrec " << i;
            }
        for (DataFile f : {DataFile::Param, DataFile::Patient, DataFile::PatientTri}) {
            const L::Bytes& file = FileOf(pr, f);
            EXPECT_FALSE(file.empty() && pr.patients > 0) << practice::DataFileName(f);
            EXPECT_EQ(std::count(file.begin(), file.end(), 0), 0) << practice::DataFileName(f);
        }
        EXPECT_GT(values.size(), 200u) << "opaque bytes barely vary";
    }
}

} // namespace
