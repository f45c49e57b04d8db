// The sample-practice generator on a practice small enough to read by hand
// (3 patients; clinique 12 lines, estime 9, Fschema 6 entries): the same
// options give the same bytes, and each damage changes exactly the bytes its
// help names. A damage lays the practice out for itself, so each row's
// "before" is the value in the same practice built with leaveSound.
#include "tools/practice/generator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

namespace L = hostlayout;
using practice::DataFile;
using practice::FileOf;

practice::Practice Tiny(const std::string& damage = "", bool sound = false, std::int32_t variant = 0) {
    practice::Options o;
    o.patients = 3, o.clinicalLines = 12, o.quoteLines = 9, o.chartEntries = 6, o.variant = variant;
    o.leaveSound = sound;
    std::string error;
    if (!damage.empty()) {
        o.damages.emplace_back();
        EXPECT_TRUE(practice::ParseDamage(damage, o.damages.back(), error)) << error;
    }
    practice::Practice built;
    EXPECT_TRUE(practice::BuildPractice(o, built, error)) << error;
    return built;
}

std::int64_t Value(const practice::Practice& p, DataFile file, std::size_t size, std::size_t record, L::Field f) {
    return L::GetSigned(L::Record(FileOf(p, file), size, record), f);
}

std::size_t RecordSize(DataFile f) {
    switch (f) {
    case DataFile::Firstrec: return L::firstrec::size;
    case DataFile::Clinique: return L::clinique::size;
    case DataFile::Estime: return L::estime::size;
    default: return L::fschema::size;
    }
}

TEST(Generator, SameOptionsSameBytesAnotherVariantOthers) {
    const practice::Practice first = Tiny("loop:estime:2"), again = Tiny("loop:estime:2");
    EXPECT_EQ(first.files, again.files);
    EXPECT_EQ(first.manifest, again.manifest);
    const practice::Practice other = Tiny("loop:estime:2", false, 1);
    for (DataFile f : {DataFile::Firstrec, DataFile::Clinique, DataFile::Estime, DataFile::Fschema})
        EXPECT_NE(FileOf(first, f), FileOf(other, f)) << practice::DataFileName(f);
    // The sound tiny practice, checked once by hand: clinical chains 1 2 4 6
    // 8 9 10 11, 5 12 and 3 7; quotes 1 to 9 for patient 1; charts 4 5 6
    // and 1 2 3 for patients 1 and 2.
    const practice::Practice sound = Tiny();
    const L::Bytes& lastrec = FileOf(sound, DataFile::Lastrec);
    EXPECT_EQ(lastrec.size(), 1280u);
    EXPECT_EQ(std::vector<std::int64_t>({L::Counter(lastrec, 0), L::Counter(lastrec, 2), L::Counter(lastrec, 3),
                                         L::Counter(lastrec, 7)}),
              std::vector<std::int64_t>({3, 9, 12, 6}));
    std::vector<std::int64_t> pointers;
    for (std::size_t p = 1; p <= 3; ++p)
        for (L::Field f : {L::firstrec::clinicalStart, L::firstrec::clinicalEnd, L::firstrec::quoteStart,
                           L::firstrec::quoteEnd, L::firstrec::chartStart})
            pointers.push_back(Value(sound, DataFile::Firstrec, 32, p, f));
    EXPECT_EQ(pointers, std::vector<std::int64_t>({1, 11, 1, 9, 4, 5, 12, 0, 0, 1, 3, 7, 0, 0, 0}));
}

struct Change {
    DataFile file;
    std::size_t record;
    L::Field field;
    std::int64_t before, after;
};

namespace F = L::firstrec;
namespace C = L::clinique;
namespace E = L::estime;
const L::Field chartNext = L::fschema::next;
constexpr DataFile Fr = DataFile::Firstrec, Cl = DataFile::Clinique, Es = DataFile::Estime, Fs = DataFile::Fschema;

const struct {
    const char* damage;
    std::vector<Change> changes; // every byte the damage changes lies in these fields
} pointDamages[] = {
    {"start-negative:clinique:2", {{Fr, 2, F::clinicalStart, 1, -1}}},
    {"start-high:clinique:2", {{Fr, 2, F::clinicalStart, 1, 13}}}, // the counter is 12
    {"end-negative:clinique:2", {{Fr, 2, F::clinicalEnd, 12, -1}}},
    {"end-high:clinique:2", {{Fr, 2, F::clinicalEnd, 12, 13}}},
    {"first-prev:clinique:2", {{Cl, 1, C::prev, 0, 7}}}, // 7: in use, in no chain
    {"last-next:clinique:2", {{Cl, 12, C::next, 0, 7}}},
    {"next-high:clinique:2", {{Cl, 6, C::next, 10, 13}}},
    {"prev-high:clinique:2", {{Cl, 6, C::prev, 5, 13}}},
    {"uneven:clinique:2", {{Cl, 12, C::prev, 9, 10}}}, // ... 10, 9, 12: line 9 skipped backwards
    {"loop:clinique:2", {{Cl, 12, C::next, 0, 1}}},
    {"shared:clinique:2", {{Fr, 2, F::clinicalStart, 5, 1}, {Fr, 2, F::clinicalEnd, 12, 11}}}, // patient 1's
    {"start-negative:estime:2:-9", {{Fr, 2, F::quoteStart, 1, -9}}},
    {"end-high:estime:3", {{Fr, 3, F::quoteEnd, 9, 10}}},
    {"first-prev:estime:3", {{Es, 1, E::prev, 0, 9}}},
    {"last-next:estime:3", {{Es, 8, E::next, 0, 9}}},
    {"prev-high:estime:3", {{Es, 4, E::prev, 3, 10}}},
    {"uneven:estime:3", {{Es, 9, E::prev, 8, 7}}},
    {"start-negative:Fschema:1", {{Fr, 1, F::chartStart, 1, -1}}},
    {"start-high:Fschema:1", {{Fr, 1, F::chartStart, 1, 8}}}, // laid out with 7 entries
    {"next-high:Fschema:1", {{Fs, 3, chartNext, 4, 8}}},
    {"next-high:Fschema:3:100000", {{Fs, 5, chartNext, 7, 100000}}},
    {"loop:Fschema:1", {{Fs, 7, chartNext, 0, 1}}},
    {"shared:Fschema:1", {{Fr, 1, F::chartStart, 4, 1}}},
};

TEST(Damage, EachChangesTheFieldsItNamesAndNothingElse) {
    for (const auto& c : pointDamages) {
        SCOPED_TRACE(c.damage);
        const practice::Practice sound = Tiny(c.damage, true), damaged = Tiny(c.damage);
        std::vector<std::string> unexpected;
        for (int f = 0; f < practice::dataFileCount; ++f) {
            const auto file = static_cast<DataFile>(f);
            ASSERT_EQ(FileOf(sound, file).size(), FileOf(damaged, file).size());
            for (std::size_t i = 0; i < FileOf(sound, file).size(); ++i) {
                if (FileOf(sound, file)[i] == FileOf(damaged, file)[i]) continue;
                bool named = false;
                for (const Change& k : c.changes) {
                    const std::size_t size = RecordSize(k.file), at = (k.record - 1) * size + k.field.at;
                    named |= k.file == file && i >= at && i < at + k.field.width;
                }
                if (!named) unexpected.push_back(std::string(practice::DataFileName(file)) + "@" + std::to_string(i));
            }
        }
        EXPECT_EQ(unexpected, std::vector<std::string>{});
        for (const Change& k : c.changes) {
            EXPECT_EQ(Value(sound, k.file, RecordSize(k.file), k.record, k.field), k.before);
            EXPECT_EQ(Value(damaged, k.file, RecordSize(k.file), k.record, k.field), k.after);
        }
    }
}

TEST(Damage, TruncateCutsARecordInHalfAndMissingLeavesTheFileOut) {
    const struct {
        const char* damage;
        DataFile file;
        std::size_t size; // 0: left out
    } cases[] = {
        {"truncate:clinique:2", Cl, 11 * 224 + 112}, // record 12, patient 2's last line
        {"truncate:estime", Es, 8 * 86 + 43},        // the last record
        {"truncate:Fschema:1", Fs, 5 * 64 + 32},
        {"truncate:firstrec:2", Fr, 32 + 16},
        {"truncate:lastrec", DataFile::Lastrec, 79 * 16 + 8},
        {"missing:param", DataFile::Param, 0},
        {"missing:patient.tri", DataFile::PatientTri, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damage);
        const practice::Practice sound = Tiny(c.damage, true), damaged = Tiny(c.damage);
        for (int f = 0; f < practice::dataFileCount; ++f) {
            const auto file = static_cast<DataFile>(f);
            EXPECT_EQ(damaged.present[f], file != c.file || c.size > 0);
            if (file != c.file) { EXPECT_EQ(FileOf(damaged, file), FileOf(sound, file)); }
        }
        const L::Bytes& whole = FileOf(sound, c.file);
        if (c.size) { EXPECT_EQ(FileOf(damaged, c.file), L::Bytes(whole.begin(), whole.begin() + c.size)); }
    }
}

TEST(Damage, LongLaysOutASoundChainOfTheLengthAsked) {
    const struct {
        const char* damage;
        DataFile file;
        L::Field start, next;
        std::size_t patient;
        std::int64_t first, last, length;
    } cases[] = {
        {"long:clinique:2:4", Cl, F::clinicalStart, C::next, 2, 5, 12, 4},
        {"long:Fschema:1:4", Fs, F::chartStart, chartNext, 1, 3, 6, 4},
        {"long:clinique:2", Cl, F::clinicalStart, C::next, 2, 1, 5003, 5001},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.damage);
        const practice::Practice p = Tiny(c.damage);
        EXPECT_EQ(p.files, Tiny(c.damage, true).files);
        std::int64_t line = Value(p, Fr, 32, c.patient, c.start), last = 0, length = 0;
        EXPECT_EQ(line, c.first);
        for (; line > 0 && length <= c.length; ++length)
            line = Value(p, c.file, RecordSize(c.file), static_cast<std::size_t>(last = line), c.next);
        EXPECT_EQ(std::make_pair(last, length), std::make_pair(c.last, c.length));
    }
}

} // namespace
