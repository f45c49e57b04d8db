// Each damage option: exactly its damage, on the chosen patient and file,
// and nothing else. The damaged practice is compared with the same practice
// left sound, and walked with the tests' own reader.

#include "tests/tools/support.h"
#include "tests/tools/walk.h"

#include <algorithm>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

namespace L = hostlayout;
namespace W = walk;
using practice::DataFile;
using practice::FileOf;
using practice::Options;
using practice::Practice;

struct ChainFields {
    std::size_t size;
    L::Field prev, next, start, end;
};

ChainFields FieldsOf(DataFile f) {
    switch (f) {
    case DataFile::Clinique:
        return {L::clinique::size, L::clinique::prev, L::clinique::next, L::firstrec::clinicalStart,
                L::firstrec::clinicalEnd};
    case DataFile::Estime:
        return {L::estime::size, L::estime::prev, L::estime::next, L::firstrec::quoteStart, L::firstrec::quoteEnd};
    default: return {L::fschema::size, {}, L::fschema::next, L::firstrec::chartStart, {}};
    }
}

std::int64_t CounterOf(const Practice& pr, DataFile f) {
    return f == DataFile::Clinique ? pr.clinicalLines : f == DataFile::Estime ? pr.quoteLines : pr.chartEntries;
}

// Offsets at which two versions of a file differ.
std::vector<std::size_t> Changed(const L::Bytes& a, const L::Bytes& b) {
    std::vector<std::size_t> at;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i]) at.push_back(i);
    return at;
}

void ExpectOtherFilesAlike(const Practice& sound, const Practice& damaged, DataFile except) {
    for (int f = 0; f < practice::dataFileCount; ++f)
        if (f != static_cast<int>(except)) {
            EXPECT_EQ(sound.files[f], damaged.files[f]) << practice::DataFileName(static_cast<DataFile>(f));
        }
}

void ExpectFindings(const Practice& pr, DataFile file, const std::vector<std::pair<std::int32_t, unsigned>>& expected) {
    const auto walks = W::Examine(pr, file);
    for (std::size_t p = 0; p < walks.size(); ++p) {
        unsigned want = 0;
        for (const auto& [patient, findings] : expected)
            if (patient == static_cast<std::int32_t>(p + 1)) want = findings;
        EXPECT_EQ(W::FindingNames(walks[p].findings), W::FindingNames(want))
            << practice::DataFileName(file) << ", patient " << p + 1;
    }
}

enum Where { AtStart, AtEnd, AtPrev, AtNext };
enum ValueIs { Negative, AboveCounter, Stray, FirstOfChain, LaterInChain };

struct PointCase {
    const char* kind;
    Where where;
    ValueIs value;
    unsigned findings;
    bool chart; // applies to the dental chart too
};

const PointCase pointCases[] = {
    {"start-negative", AtStart, Negative, W::StartOut | W::Uneven, true},
    {"start-high", AtStart, AboveCounter, W::StartOut | W::Uneven, true},
    {"end-negative", AtEnd, Negative, W::EndOut, false},
    {"end-high", AtEnd, AboveCounter, W::EndOut, false},
    {"first-prev", AtPrev, Stray, W::FirstPrev | W::Uneven, false},
    {"last-next", AtNext, Stray, W::LastNext | W::Uneven, false},
    {"next-high", AtNext, AboveCounter, W::NextOut | W::Uneven, true},
    {"prev-high", AtPrev, AboveCounter, W::PrevOut, false},
    {"uneven", AtPrev, LaterInChain, W::Uneven, false},
    {"loop", AtNext, FirstOfChain, W::Runaway, true},
};

TEST(Damage, EachPointDamageChangesOneFieldOfTheChosenChain) {
    const std::int32_t patient = 7;
    for (DataFile file : {DataFile::Clinique, DataFile::Estime, DataFile::Fschema})
        for (const PointCase& c : pointCases) {
            if (file == DataFile::Fschema && !c.chart) continue;
            const std::string damage = std::string(c.kind) + ":" + practice::DataFileName(file) + ":7";
            SCOPED_TRACE(damage);
            const Options o = WithDamage({damage.c_str()});
            const Practice sound = Built(Sound(o));
            const Practice damaged = Built(o);
            const ChainFields cf = FieldsOf(file);
            const auto soundWalks = W::Examine(sound, file);
            const std::vector<std::int32_t>& chain = soundWalks[patient - 1].forward;
            ASSERT_GE(chain.size(), 3u);

            const bool inIndex = c.where == AtStart || c.where == AtEnd;
            const DataFile changedFile = inIndex ? DataFile::Firstrec : file;
            const std::size_t size = inIndex ? L::firstrec::size : cf.size;
            const L::Field field = c.where == AtStart ? cf.start : c.where == AtEnd ? cf.end
                                   : c.where == AtPrev ? cf.prev : cf.next;
            ExpectOtherFilesAlike(sound, damaged, changedFile);
            const auto changed = Changed(FileOf(sound, changedFile), FileOf(damaged, changedFile));
            ASSERT_FALSE(changed.empty());
            const std::size_t record = changed.front() / size + 1;
            for (std::size_t at : changed) {
                EXPECT_EQ(at / size + 1, record);
                EXPECT_GE(at % size, field.at);
                EXPECT_LT(at % size, field.at + field.width);
            }
            if (inIndex) { EXPECT_EQ(record, static_cast<std::size_t>(patient)); }
            else { EXPECT_NE(std::find(chain.begin(), chain.end(), static_cast<std::int32_t>(record)), chain.end()); }

            const std::int64_t value = L::GetSigned(L::Record(FileOf(damaged, changedFile), size, record), field);
            const auto unreached = W::Unreached(sound, file, soundWalks);
            switch (c.value) {
            case Negative: EXPECT_LT(value, 0); break;
            case AboveCounter: EXPECT_GT(value, CounterOf(damaged, file)); break;
            case Stray: EXPECT_NE(std::find(unreached.begin(), unreached.end(), value), unreached.end()); break;
            case FirstOfChain: EXPECT_EQ(value, chain.front()); break;
            case LaterInChain: EXPECT_NE(std::find(chain.begin(), chain.end(), value), chain.end()); break;
            }
            // The chart is walked forward only: no count to compare.
            const unsigned findings = file == DataFile::Fschema ? c.findings & ~W::Uneven : c.findings;
            ExpectFindings(damaged, file, {{patient, findings}});
        }
}

TEST(Damage, ValuesGivenAreWrittenAsGiven) {
    const Options o = WithDamage({"first-prev:clinique:7:12", "start-negative:estime:7:-9", "end-high:clinique:3:401",
                                  "next-high:Fschema:7:100000"});
    const Practice sound = Built(Sound(o));
    const Practice damaged = Built(o);
    const auto walks = W::Examine(sound, DataFile::Clinique);
    const std::uint8_t* first = L::Record(FileOf(damaged, DataFile::Clinique), L::clinique::size,
                                          static_cast<std::size_t>(walks[6].forward.front()));
    EXPECT_EQ(L::GetSigned(first, L::clinique::prev), 12);
    const L::Bytes& firstrec = FileOf(damaged, DataFile::Firstrec);
    EXPECT_EQ(L::GetSigned(L::Record(firstrec, 32, 7), L::firstrec::quoteStart), -9);
    EXPECT_EQ(L::GetSigned(L::Record(firstrec, 32, 3), L::firstrec::clinicalEnd), 401);
    const auto chart = W::Examine(damaged, DataFile::Fschema)[6].forward;
    ASSERT_FALSE(chart.empty());
    EXPECT_EQ(L::GetSigned(L::Record(FileOf(damaged, DataFile::Fschema), 64, static_cast<std::size_t>(chart.back())),
                           L::fschema::next),
              100000);
}

TEST(Damage, SharedPointersMakeTheLaterPatientCrossTheEarlier) {
    struct Case {
        const char* damage;
        std::int32_t patient, partner;
        DataFile file;
    };
    const Case cases[] = {{"shared:clinique:7", 7, 6, DataFile::Clinique},
                          {"shared:estime:3:9", 3, 9, DataFile::Estime},
                          {"shared:Fschema:1", 1, 2, DataFile::Fschema}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.damage);
        const Options o = WithDamage({c.damage});
        const Practice sound = Built(Sound(o));
        const Practice damaged = Built(o);
        ExpectOtherFilesAlike(sound, damaged, DataFile::Firstrec);
        for (std::size_t at : Changed(FileOf(sound, DataFile::Firstrec), FileOf(damaged, DataFile::Firstrec)))
            EXPECT_EQ(at / 32 + 1, static_cast<std::size_t>(c.patient));

        const auto walks = W::Examine(damaged, c.file);
        EXPECT_EQ(walks[c.patient - 1].forward, W::Examine(sound, c.file)[c.partner - 1].forward);
        const std::int32_t later = std::max(c.patient, c.partner), earlier = std::min(c.patient, c.partner);
        ExpectFindings(damaged, c.file, {{later, W::Crossing}});
        EXPECT_EQ(walks[later - 1].crossedWith,
                  std::vector<std::int32_t>(c.file == DataFile::Fschema ? 1 : 2, earlier));
    }
}

TEST(Damage, LongChainsHoldExactlyTheLengthAskedFor) {
    struct Case {
        const char* damage;
        DataFile file;
        std::size_t length;
        unsigned findings;
    };
    const Case cases[] = {{"long:clinique:4", DataFile::Clinique, 5001, W::Runaway},
                          {"long:estime:4:5000", DataFile::Estime, 5000, 0},
                          {"long:Fschema:4:5000", DataFile::Fschema, 5000, 0},
                          {"long:Fschema:4:5001", DataFile::Fschema, 5001, W::Runaway}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.damage);
        const Practice pr = Built(WithDamage({c.damage}));
        EXPECT_GT(CounterOf(pr, c.file), static_cast<std::int64_t>(c.length));
        ExpectFindings(pr, c.file, {{4, c.findings}});
        // Followed without the file test's limit, the chain ends on a 0 link.
        const ChainFields cf = FieldsOf(c.file);
        const L::Bytes& records = FileOf(pr, c.file);
        std::int64_t line = L::GetSigned(L::Record(FileOf(pr, DataFile::Firstrec), 32, 4), cf.start);
        std::size_t length = 0;
        while (line > 0 && length <= records.size() / cf.size) {
            ++length;
            line = L::GetSigned(L::Record(records, cf.size, static_cast<std::size_t>(line)), cf.next);
        }
        EXPECT_EQ(line, 0);
        EXPECT_EQ(length, c.length);
    }
}

TEST(Damage, TruncateCutsTheFileInTheMiddleOfTheRecordNamed) {
    struct Case {
        const char* damage;
        DataFile file;
        std::size_t size;
        std::size_t record;   // the record cut; 0: the file's last
        std::int32_t patient; // whose last line must be the one cut (chain files)
    };
    for (const Case& c : {Case{"truncate:clinique:5", DataFile::Clinique, 224, 0, 5},
                          Case{"truncate:estime", DataFile::Estime, 86, 0, 0},
                          Case{"truncate:Fschema:2", DataFile::Fschema, 64, 0, 2},
                          Case{"truncate:firstrec:3", DataFile::Firstrec, 32, 3, 0},
                          Case{"truncate:identite", DataFile::Identite, 1420, 0, 0},
                          Case{"truncate:patient:40", DataFile::Patient, 40, 40, 0},
                          Case{"truncate:lastrec", DataFile::Lastrec, 16, 0, 0}}) {
        SCOPED_TRACE(c.damage);
        const Options o = WithDamage({c.damage});
        const Practice sound = Built(Sound(o));
        const Practice damaged = Built(o);
        ExpectOtherFilesAlike(sound, damaged, c.file);
        const L::Bytes& whole = FileOf(sound, c.file);
        const L::Bytes& cut = FileOf(damaged, c.file);
        const std::size_t record = c.record ? c.record : whole.size() / c.size;
        EXPECT_EQ(cut.size(), (record - 1) * c.size + c.size / 2);
        EXPECT_TRUE(std::equal(cut.begin(), cut.end(), whole.begin()));
        if (c.patient) {
            const auto walks = W::Examine(sound, c.file);
            EXPECT_EQ(walks[c.patient - 1].forward.back(), CounterOf(sound, c.file));
        }
    }
}

TEST(Damage, MissingLeavesOneFileOutOfTheDirectory) {
    const auto dir = std::filesystem::temp_directory_path() / ("chkort-missing-" + std::to_string(::getpid()));
    std::string error;
    for (int f = 0; f < practice::dataFileCount; ++f) {
        const char* name = practice::DataFileName(static_cast<DataFile>(f));
        const std::string damage = std::string("missing:") + name;
        SCOPED_TRACE(damage);
        const Options o = WithDamage({damage.c_str()});
        const Practice sound = Built(Sound(o));
        const Practice damaged = Built(o);
        for (int g = 0; g < practice::dataFileCount; ++g) {
            EXPECT_EQ(damaged.present[g], g != f);
            if (g != f) { EXPECT_EQ(damaged.files[g], sound.files[g]); }
        }
        ASSERT_TRUE(practice::WritePractice(dir.string(), sound, error)) << error;
        ASSERT_TRUE(practice::WritePractice(dir.string(), damaged, error)) << error;
        for (int g = 0; g < practice::dataFileCount; ++g) {
            const auto path = dir / practice::DataFileName(static_cast<DataFile>(g));
            EXPECT_EQ(std::filesystem::exists(path), g != f) << path;
            if (g != f) { EXPECT_EQ(L::ReadFileBytes(path.string()), damaged.files[g]) << path; }
        }
    }
    std::filesystem::remove_all(dir);
}

TEST(Damage, SeveralDamagesCombineOnOnePatientAndAcrossFiles) {
    const Options o = WithDamage({"start-high:clinique:3", "prev-high:clinique:3", "next-high:clinique:5",
                                  "end-negative:clinique:9", "first-prev:estime:2", "loop:estime:2",
                                  "shared:Fschema:4", "truncate:lastrec"});
    const Practice pr = Built(o);
    ExpectFindings(pr, DataFile::Clinique,
                   {{3, W::StartOut | W::PrevOut}, {5, W::NextOut | W::Uneven}, {9, W::EndOut}});
    ExpectFindings(pr, DataFile::Estime, {{2, W::FirstPrev | W::Runaway}});
    ExpectFindings(pr, DataFile::Fschema, {{4, W::Crossing}});
    EXPECT_EQ(FileOf(pr, DataFile::Lastrec).size(), 1272u);
    EXPECT_EQ(pr.manifest.size(), 2 + o.damages.size());
}

TEST(Damage, ImpossibleRequestsAreRefusedWithTheirReason) {
    struct Case {
        std::vector<const char*> damages;
        const char* reason; // a piece of the message
    };
    const Case cases[] = {
        {{"loop:clinique:41"}, "40 patients"},
        {{"loop:clinique:3", "last-next:clinique:3"}, "already changes"},
        {{"shared:clinique:3", "next-high:clinique:3"}, "already changes"},
        {{"long:clinique:3:2", "uneven:clinique:3"}, "too short"},
        {{"start-high:clinique:3:400"}, "above the counter"},
        {{"truncate:estime", "missing:estime"}, "already truncated or missing"},
        {{"shared:estime:3:41"}, "no patient 41"},
        {{"truncate:firstrec:41"}, "40 patients"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.damages.front());
        Options o;
        for (const char* damage : c.damages) o.damages.push_back(WithDamage({damage}).damages.front());
        Practice pr;
        std::string error;
        EXPECT_FALSE(practice::BuildPractice(o, pr, error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    Options o;
    o.patients = -1;
    Practice pr;
    std::string error;
    EXPECT_FALSE(practice::BuildPractice(o, pr, error));
    o = Options{};
    o.clinicalLines = 2000000;
    EXPECT_FALSE(practice::BuildPractice(o, pr, error));
    o = WithDamage({"shared:estime:1"});
    o.patients = 1;
    EXPECT_FALSE(practice::BuildPractice(o, pr, error));
}

TEST(Damage, SpellingIsCheckedBeforeAnythingIsBuilt) {
    for (const char* bad : {"bogus:clinique:1", "loop:nowhere:1", "loop:clinique", "loop:clinique:0",
                            "loop:clinique:x", "end-high:Fschema:3", "prev-high:Fschema:3", "missing:param:3",
                            "truncate:lastrec:2", "truncate:param", "uneven:estime:2:5", "start-negative:clinique:2:4",
                            "first-prev:estime:2:0", "loop:clinique:1:2:3", "loop", "long:estime:2:0"}) {
        practice::Damage d;
        std::string error;
        EXPECT_FALSE(practice::ParseDamage(bad, d, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    practice::Damage d;
    std::string error;
    ASSERT_TRUE(practice::ParseDamage("LOOP:CLINIQUE:7", d, error)) << error;
    EXPECT_EQ(d.kind, practice::DamageKind::Loop);
    EXPECT_EQ(d.file, DataFile::Clinique);
    EXPECT_EQ(d.patient, 7);
    EXPECT_FALSE(d.hasValue);
    ASSERT_TRUE(practice::ParseDamage("missing:patient.tri", d, error)) << error;
    EXPECT_EQ(d.file, DataFile::PatientTri);
    EXPECT_EQ(d.patient, 0);
    ASSERT_TRUE(practice::ParseDamage("shared:estime:9:4", d, error)) << error;
    EXPECT_EQ(d.patient, 9);
    EXPECT_TRUE(d.hasValue);
    EXPECT_EQ(d.value, 4);
}

} // namespace
