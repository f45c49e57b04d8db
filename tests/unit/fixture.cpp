#include "tests/unit/fixture.h"

#include "store/datafiles.h"

#include <atomic>
#include <chrono>

namespace fs = std::filesystem;
namespace L = hostlayout;

L::Bytes Pattern(unsigned tag, std::size_t length) {
    L::Bytes b(length);
    for (std::size_t i = 0; i < length; ++i) {
        b[i] = static_cast<std::uint8_t>((i * 7 + tag * 31 + i / 251) | 1);
        if (b[i] == 0x20) b[i] = 0x21;
    }
    return b;
}

MiniPractice::MiniPractice(std::int32_t p, std::int32_t c, std::int32_t q, std::int32_t e)
    : param(Pattern(1, 64)), fschema(Pattern(2, static_cast<std::size_t>(e) * L::fschema::size)),
      firstrec(Pattern(3, static_cast<std::size_t>(p) * L::firstrec::size)), lastrec(L::Lastrec(p, c, q, e)),
      estime(Pattern(5, static_cast<std::size_t>(q) * L::estime::size)),
      clinique(Pattern(6, static_cast<std::size_t>(c) * L::clinique::size)),
      identite(Pattern(7, static_cast<std::size_t>(p) * L::identite::size)),
      patient(Pattern(8, static_cast<std::size_t>(p) * L::patient::size)), patientTri(Pattern(9, 100)) {
    // No chains until a test lays them: every end and link 0.
    for (std::int32_t i = 1; i <= p; ++i) std::fill_n(Firstrec(i), 20, 0);
    for (std::int32_t i = 1; i <= c; ++i) ClinicalChain(0, {i});
    for (std::int32_t i = 1; i <= q; ++i) QuoteChain(0, {i});
    for (std::int32_t i = 1; i <= e; ++i) L::PutInt(Entry(i), L::fschema::next, 0);
}

std::uint8_t* MiniPractice::Firstrec(std::int32_t n) { return L::Record(firstrec, L::firstrec::size, n); }
std::uint8_t* MiniPractice::Identite(std::int32_t n) { return L::Record(identite, L::identite::size, n); }
std::uint8_t* MiniPractice::Clinical(std::int32_t n) { return L::Record(clinique, L::clinique::size, n); }
std::uint8_t* MiniPractice::Quote(std::int32_t n) { return L::Record(estime, L::estime::size, n); }
std::uint8_t* MiniPractice::Entry(std::int32_t n) { return L::Record(fschema, L::fschema::size, n); }

namespace {

// Links each record to its neighbours in the list and, for a patient (0:
// none), the list's ends into firstrec.
template <typename Record>
void Lay(MiniPractice& m, std::int32_t patient, const std::vector<std::int32_t>& r, Record record, L::Field prev,
         L::Field next, L::Field start, L::Field end) {
    if (patient > 0) {
        L::PutInt(m.Firstrec(patient), start, r.empty() ? 0 : r.front());
        if (end.width) L::PutInt(m.Firstrec(patient), end, r.empty() ? 0 : r.back());
    }
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (prev.width) L::PutInt(record(r[i]), prev, i == 0 ? 0 : r[i - 1]);
        L::PutInt(record(r[i]), next, i + 1 == r.size() ? 0 : r[i + 1]);
    }
}

} // namespace

void MiniPractice::ClinicalChain(std::int32_t p, const std::vector<std::int32_t>& lines) {
    Lay(*this, p, lines, [&](std::int32_t n) { return Clinical(n); }, L::clinique::prev, L::clinique::next,
        L::firstrec::clinicalStart, L::firstrec::clinicalEnd);
}

void MiniPractice::QuoteChain(std::int32_t p, const std::vector<std::int32_t>& lines) {
    Lay(*this, p, lines, [&](std::int32_t n) { return Quote(n); }, L::estime::prev, L::estime::next,
        L::firstrec::quoteStart, L::firstrec::quoteEnd);
}

void MiniPractice::ChartChain(std::int32_t p, const std::vector<std::int32_t>& entries) {
    Lay(*this, p, entries, [&](std::int32_t n) { return Entry(n); }, L::Field{0, 0}, L::fschema::next,
        L::firstrec::chartStart, L::Field{0, 0});
}

std::vector<std::pair<std::string, const L::Bytes*>> FilesOf(const MiniPractice& m) {
    return {{"param", &m.param},       {"Fschema", &m.fschema},   {"firstrec", &m.firstrec},
            {"lastrec", &m.lastrec},   {"estime", &m.estime},     {"clinique", &m.clinique},
            {"identite", &m.identite}, {"patient", &m.patient},   {"patient.tri", &m.patientTri}};
}

void PracticeTest::SetUp() {
    static std::atomic<unsigned> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    dir = fs::temp_directory_path() / ("chkort-test-" + std::to_string(stamp) + "-" + std::to_string(serial++));
    fs::create_directories(dir);
    previous = fs::current_path();
    fs::current_path(dir);
    ResetStoreState();
    ResetWindowState();
    ResetRecording();
    FaultDisarm();
    MainWindow = WindowRef{0x1234};
}

void PracticeTest::TearDown() {
    FaultDisarm();
    CloseDataFileSet();
    fs::current_path(previous);
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(dir, ignored))
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(dir, ignored);
}

void PracticeTest::Put(const std::string& name, const L::Bytes& bytes) {
    ASSERT_TRUE(L::WriteFileBytes(PathOf(name), bytes)) << name;
}

L::Bytes PracticeTest::Get(const std::string& name) const { return L::ReadFileBytes(PathOf(name)); }

void PracticeTest::OpenPractice(const MiniPractice& practice) {
    for (const auto& [name, bytes] : FilesOf(practice)) Put(name, *bytes);
    ASSERT_TRUE(OpenDataFileSet(MainWindow));
    LoadCounters();
    ResetRecording();
}

void PracticeTest::ExpectFiles(const MiniPractice& expected) {
    for (const auto& [name, bytes] : FilesOf(expected)) EXPECT_TRUE(Get(name) == *bytes) << name << " differs";
}
