#include "tests/unit/mini_practice.h"

#include "tests/unit/fixture.h"

namespace L = hostlayout;

namespace {

// Fills with a pattern that never holds a zero byte nor a blank, so that a
// blank or a zero written where it should not be is seen.
L::Bytes Filled(unsigned tag, std::size_t length) {
    L::Bytes b = Pattern(tag, length);
    for (auto& c : b)
        if (c == 0x20) c = 0x21;
    return b;
}

template <typename SetLinks>
void Chain(std::initializer_list<std::int32_t> records, SetLinks set) {
    std::vector<std::int32_t> r(records);
    for (std::size_t i = 0; i < r.size(); ++i)
        set(r[i], i == 0 ? 0 : r[i - 1], i + 1 == r.size() ? 0 : r[i + 1]);
}

} // namespace

MiniPractice::MiniPractice(std::int32_t p, std::int32_t c, std::int32_t q, std::int32_t e)
    : patients(p), clinicalLines(c), quoteLines(q), chartEntries(e) {
    param = Filled(1, 64);
    fschema = Filled(2, static_cast<std::size_t>(e) * L::fschema::size);
    firstrec = Filled(3, static_cast<std::size_t>(p) * L::firstrec::size);
    lastrec = L::Lastrec(p, c, q, e);
    estime = Filled(5, static_cast<std::size_t>(q) * L::estime::size);
    clinique = Filled(6, static_cast<std::size_t>(c) * L::clinique::size);
    identite = Filled(7, static_cast<std::size_t>(p) * L::identite::size);
    patient = Filled(8, static_cast<std::size_t>(p) * L::patient::size);
    patientTri = Filled(9, 100);
    // No chains until a test lays them: every end and link 0.
    for (std::int32_t i = 1; i <= p; ++i)
        for (L::Field f : {L::firstrec::clinicalStart, L::firstrec::clinicalEnd, L::firstrec::quoteStart,
                           L::firstrec::quoteEnd, L::firstrec::chartStart})
            L::PutInt(Firstrec(i), f, 0);
    for (std::int32_t i = 1; i <= c; ++i) {
        L::PutInt(Clinical(i), L::clinique::prev, 0);
        L::PutInt(Clinical(i), L::clinique::next, 0);
    }
    for (std::int32_t i = 1; i <= q; ++i) {
        L::PutInt(Quote(i), L::estime::prev, 0);
        L::PutInt(Quote(i), L::estime::next, 0);
    }
    for (std::int32_t i = 1; i <= e; ++i) L::PutInt(Entry(i), L::fschema::next, 0);
}

std::uint8_t* MiniPractice::Firstrec(std::int32_t n) { return L::Record(firstrec, L::firstrec::size, n); }
std::uint8_t* MiniPractice::Identite(std::int32_t n) { return L::Record(identite, L::identite::size, n); }
std::uint8_t* MiniPractice::Clinical(std::int32_t n) { return L::Record(clinique, L::clinique::size, n); }
std::uint8_t* MiniPractice::Quote(std::int32_t n) { return L::Record(estime, L::estime::size, n); }
std::uint8_t* MiniPractice::Entry(std::int32_t n) { return L::Record(fschema, L::fschema::size, n); }

void MiniPractice::ClinicalChain(std::int32_t p, std::initializer_list<std::int32_t> lines) {
    L::PutInt(Firstrec(p), L::firstrec::clinicalStart, lines.size() ? *lines.begin() : 0);
    L::PutInt(Firstrec(p), L::firstrec::clinicalEnd, lines.size() ? *(lines.end() - 1) : 0);
    Chain(lines, [&](std::int32_t r, std::int32_t prev, std::int32_t next) {
        L::PutInt(Clinical(r), L::clinique::prev, prev);
        L::PutInt(Clinical(r), L::clinique::next, next);
    });
}

void MiniPractice::QuoteChain(std::int32_t p, std::initializer_list<std::int32_t> lines) {
    L::PutInt(Firstrec(p), L::firstrec::quoteStart, lines.size() ? *lines.begin() : 0);
    L::PutInt(Firstrec(p), L::firstrec::quoteEnd, lines.size() ? *(lines.end() - 1) : 0);
    Chain(lines, [&](std::int32_t r, std::int32_t prev, std::int32_t next) {
        L::PutInt(Quote(r), L::estime::prev, prev);
        L::PutInt(Quote(r), L::estime::next, next);
    });
}

void MiniPractice::ChartChain(std::int32_t p, std::initializer_list<std::int32_t> entries) {
    L::PutInt(Firstrec(p), L::firstrec::chartStart, entries.size() ? *entries.begin() : 0);
    Chain(entries, [&](std::int32_t r, std::int32_t, std::int32_t next) { L::PutInt(Entry(r), L::fschema::next, next); });
}

std::vector<std::pair<std::string, const L::Bytes*>> FilesOf(const MiniPractice& m) {
    return {{"param", &m.param},       {"Fschema", &m.fschema},   {"firstrec", &m.firstrec},
            {"lastrec", &m.lastrec},   {"estime", &m.estime},     {"clinique", &m.clinique},
            {"identite", &m.identite}, {"patient", &m.patient},   {"patient.tri", &m.patientTri}};
}
