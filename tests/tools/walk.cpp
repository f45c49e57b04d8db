#include "tests/tools/walk.h"

#include <string>

namespace walk {

namespace L = hostlayout;
using practice::DataFile;

namespace {

constexpr std::size_t limit = 5000;

struct Layout {
    std::size_t size;
    bool backward;
    L::Field prev, next, start, end;
    std::size_t counterIndex;
};

Layout LayoutOf(DataFile file) {
    switch (file) {
    case DataFile::Clinique:
        return {L::clinique::size, true, L::clinique::prev, L::clinique::next, L::firstrec::clinicalStart,
                L::firstrec::clinicalEnd, L::lastrec::clinicalLines};
    case DataFile::Estime:
        return {L::estime::size, true, L::estime::prev, L::estime::next, L::firstrec::quoteStart,
                L::firstrec::quoteEnd, L::lastrec::quoteLines};
    default:
        return {L::fschema::size, false, {}, L::fschema::next, L::firstrec::chartStart, {}, L::lastrec::chartEntries};
    }
}

} // namespace

std::vector<Patient> Examine(const practice::Practice& pr, DataFile file) {
    const Layout lay = LayoutOf(file);
    const L::Bytes& lastrec = FileOf(pr, DataFile::Lastrec);
    const L::Bytes& firstrec = FileOf(pr, DataFile::Firstrec);
    const L::Bytes& records = FileOf(pr, file);
    const std::int64_t patients = L::Counter(lastrec, L::lastrec::patients);
    const std::int64_t n = L::Counter(lastrec, lay.counterIndex);
    std::vector<std::int32_t> owner(static_cast<std::size_t>(n > 0 ? n + 1 : 1), 0);
    std::vector<Patient> result(static_cast<std::size_t>(patients > 0 ? patients : 0));

    for (std::int64_t p = 1; p <= patients; ++p) {
        Patient& w = result[static_cast<std::size_t>(p - 1)];
        const std::uint8_t* index = L::RecordIfWhole(firstrec, L::firstrec::size, p);
        if (!index) {
            w.findings |= Unreadable;
            continue;
        }
        std::int32_t lastOwner = 0;
        // One visit: read, owner check, then the link to follow; false when
        // the walk cannot go on.
        auto visit = [&](std::int64_t r, std::vector<std::int32_t>& seen, const std::uint8_t*& record) {
            record = L::RecordIfWhole(records, lay.size, r);
            if (!record) {
                w.findings |= Unreadable;
                return false;
            }
            seen.push_back(static_cast<std::int32_t>(r));
            std::int32_t& slot = owner[static_cast<std::size_t>(r)];
            if (slot == 0) {
                slot = static_cast<std::int32_t>(p);
            } else if (slot != p && slot != lastOwner) {
                w.findings |= Crossing;
                w.crossedWith.push_back(slot);
                lastOwner = slot;
            }
            return true;
        };

        const std::int64_t s = L::GetSigned(index, lay.start);
        if (s < 0 || s > n) {
            w.findings |= StartOut;
        } else {
            std::int64_t r = s;
            while (r >= 1 && r <= n) {
                const std::uint8_t* record = nullptr;
                if (!visit(r, w.forward, record)) break;
                if (lay.backward && r == s && L::GetSigned(record, lay.prev) != 0) w.findings |= FirstPrev;
                r = L::GetSigned(record, lay.next);
                if (w.forward.size() > limit) break;
            }
            if (w.forward.size() > limit) {
                w.findings |= Runaway;
                continue;
            }
            if (r < 0 || r > n) w.findings |= NextOut;
        }
        if (!lay.backward) continue;

        const std::int64_t e = L::GetSigned(index, lay.end);
        if (e < 0 || e > n) {
            w.findings |= EndOut;
            continue;
        }
        lastOwner = 0;
        std::int64_t r = e;
        while (r >= 1 && r <= n) {
            const std::uint8_t* record = nullptr;
            if (!visit(r, w.backward, record)) break;
            if (r == e && L::GetSigned(record, lay.next) != 0) w.findings |= LastNext;
            r = L::GetSigned(record, lay.prev);
            if (w.backward.size() > limit) break;
        }
        if (w.backward.size() > limit) {
            w.findings |= Runaway;
            continue;
        }
        if (r < 0 || r > n) {
            w.findings |= PrevOut;
            continue;
        }
        if (w.forward.size() != w.backward.size()) w.findings |= Uneven;
    }
    return result;
}

std::vector<std::int32_t> Unreached(const practice::Practice& pr, DataFile file, const std::vector<Patient>& walks) {
    const std::int64_t n = L::Counter(FileOf(pr, DataFile::Lastrec), LayoutOf(file).counterIndex);
    std::vector<bool> reached(static_cast<std::size_t>(n > 0 ? n + 1 : 1), false);
    for (const Patient& w : walks) {
        for (std::int32_t r : w.forward) reached[static_cast<std::size_t>(r)] = true;
        for (std::int32_t r : w.backward) reached[static_cast<std::size_t>(r)] = true;
    }
    std::vector<std::int32_t> lines;
    for (std::int64_t r = 1; r <= n; ++r)
        if (!reached[static_cast<std::size_t>(r)]) lines.push_back(static_cast<std::int32_t>(r));
    return lines;
}

std::string FindingNames(unsigned findings) {
    static const char* const names[] = {"StartOut", "EndOut", "FirstPrev", "LastNext", "Crossing",
                                        "Runaway",  "NextOut", "PrevOut",  "Uneven",   "Unreadable"};
    std::string text;
    for (unsigned i = 0; i < sizeof names / sizeof names[0]; ++i)
        if (findings & (1u << i)) text += (text.empty() ? "" : "|") + std::string(names[i]);
    return text.empty() ? "none" : text;
}

} // namespace walk
