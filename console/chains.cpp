#include "console/chains.h"

#include "store/state.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::int32_t WalkLimit = 5000; // the integrity test's

// The report's formats, as the integrity test writes them.
constexpr const char* StartFormat = "Erreur debutacte -> N° patient = %8ld";
constexpr const char* OutwardFormat = "N° patient = %8ld -->Enregistrement = %9ld";
constexpr const char* CrossingFormat = "Croisement N° patient = %8ld --> %9ld";
constexpr const char* RunawayFormat = "Fiche alterée -> N° patient = %8ld";
constexpr const char* NextFormat = "Erreur suivant -> N° patient = %8ld";
constexpr const char* EndFormat = "Erreur finacte -> N° patient = %8ld";
constexpr const char* PrevFormat = "Erreur Precedent -> N° patient = %8ld";
constexpr const char* CountFormat = "Erreur lignes différentes début-fin -> N° patient = %8ld";

Finding FromReport(const char* code, std::int32_t patient, std::int32_t record, const char* format, long a,
                   long b = 0) {
    Finding f;
    f.code = code;
    f.patient = patient;
    f.record = record;
    f.fromReport = true;
    char text[128];
    std::snprintf(text, sizeof text, format, a, b);
    f.text = text;
    return f;
}

Finding OwnFinding(const char* code, const char* severity, std::int32_t patient, std::int32_t record) {
    Finding f;
    f.code = code;
    f.severity = severity;
    f.patient = patient;
    f.record = record;
    return f;
}

std::int32_t OwnerOf(const std::string& map, std::int32_t r) {
    const std::size_t at = static_cast<std::size_t>(r - 1) * 4;
    if (r < 1 || at + 4 > map.size()) return 0;
    return LoadI32(reinterpret_cast<const std::uint8_t*>(map.data()) + at);
}

struct Replay {
    const LineChain& chain;
    std::int32_t count;
    const std::string& map;
    std::vector<Finding>& out;
};

enum WalkEnd { WalkEnded, WalkRanAway, WalkUnreadable };

// One walk of the test, again: the same visits, the same findings, now with
// the record each is about. The owner map holds, for every line, the first
// patient whose walk reached it, which is what the test's own map held for
// the lines of lower patients when this one's turn came.
WalkEnd ReplayWalk(Replay& rp, std::int32_t p, std::int32_t from, bool forward, std::int32_t& visits,
                   std::int32_t& stop, std::int32_t& lastVisited) {
    std::int32_t lastOwner = 0;
    std::int32_t r = from;
    visits = 0;
    lastVisited = 0;
    while (r >= 1 && r <= rp.count) {
        ++visits;
        ChainLine line;
        if (!PeekLine(rp.chain, r, line)) {
            rp.out.push_back(OwnFinding("unreadable-record", "error", p, r));
            return WalkUnreadable;
        }
        const std::int32_t outward = forward ? ChainPrev(rp.chain, line) : ChainNext(rp.chain, line);
        if (r == from && outward != 0) {
            Finding f = FromReport(forward ? "first-prev-not-zero" : "last-next-not-zero", p, r, OutwardFormat, p, r);
            f.numbers.push_back({"link", outward});
            rp.out.push_back(f);
        }
        const std::int32_t q = OwnerOf(rp.map, r);
        if (q != 0 && q < p && q != lastOwner) {
            Finding f = FromReport("crossing", p, r, CrossingFormat, p, q);
            f.numbers.push_back({"other_patient", q});
            rp.out.push_back(f);
            lastOwner = q;
        }
        lastVisited = r;
        r = forward ? ChainNext(rp.chain, line) : ChainPrev(rp.chain, line);
        if (visits > WalkLimit) {
            Finding f = FromReport("runaway-chain", p, 0, RunawayFormat, p);
            f.numbers.push_back({"visits", visits});
            rp.out.push_back(f);
            return WalkRanAway;
        }
    }
    stop = r;
    return WalkEnded;
}

void ReplayPatient(Replay& rp, std::int32_t p) {
    FirstrecRecord ends;
    if (!PeekFirstrec(p, ends)) {
        rp.out.push_back(OwnFinding("unreadable-firstrec", "error", p, 0));
        return;
    }
    const std::int32_t n = rp.count;
    std::int32_t forward = 0, backward = 0, stop = 0, last = 0;
    const std::int32_t start = GetField(ends, rp.chain.startField);
    if (start < 0 || start > n) {
        Finding f = FromReport("start-out-of-range", p, 0, StartFormat, p);
        f.numbers.push_back({"value", start});
        rp.out.push_back(f);
    } else {
        if (ReplayWalk(rp, p, start, true, forward, stop, last) != WalkEnded) return;
        if (stop < 0 || stop > n) {
            Finding f = FromReport("next-out-of-range", p, last, NextFormat, p);
            f.numbers.push_back({"link", stop});
            rp.out.push_back(f);
        }
    }
    const std::int32_t end = GetField(ends, rp.chain.endField);
    if (end < 0 || end > n) {
        Finding f = FromReport("end-out-of-range", p, 0, EndFormat, p);
        f.numbers.push_back({"value", end});
        rp.out.push_back(f);
        return;
    }
    if (ReplayWalk(rp, p, end, false, backward, stop, last) != WalkEnded) return;
    if (stop < 0 || stop > n) {
        Finding f = FromReport("prev-out-of-range", p, last, PrevFormat, p);
        f.numbers.push_back({"link", stop});
        rp.out.push_back(f);
        return;
    }
    if (forward != backward) {
        Finding f = FromReport("walks-differ", p, 0, CountFormat, p);
        f.numbers.push_back({"forward", forward});
        f.numbers.push_back({"backward", backward});
        rp.out.push_back(f);
    }
}

// The report's lines alone, when walking again does not give them back.
void FindingsFromReport(const std::string& report, std::vector<Finding>& findings) {
    struct Kind {
        const char* prefix;
        const char* code;
    };
    const Kind kinds[] = {{"Erreur debutacte", "start-out-of-range"},   {"N° patient", "outward-link"},
                          {"Croisement", "crossing"},                    {"Fiche alt", "runaway-chain"},
                          {"Erreur suivant", "next-out-of-range"},       {"Erreur finacte", "end-out-of-range"},
                          {"Erreur Precedent", "prev-out-of-range"},     {"Erreur lignes", "walks-differ"}};
    std::size_t at = 0;
    while (at < report.size()) {
        std::size_t end = report.find("\r\n", at);
        if (end == std::string::npos) end = report.size();
        Finding f;
        f.fromReport = true;
        f.text = report.substr(at, end - at);
        f.code = "unknown";
        for (const Kind& k : kinds)
            if (f.text.compare(0, std::strlen(k.prefix), k.prefix) == 0) f.code = k.code;
        const std::size_t number = f.text.find("patient = ");
        if (number != std::string::npos) f.patient = static_cast<std::int32_t>(std::atol(f.text.c_str() + number + 10));
        if (f.code == "outward-link") {
            const std::size_t r = f.text.find("Enregistrement = ");
            if (r != std::string::npos) f.record = static_cast<std::int32_t>(std::atol(f.text.c_str() + r + 17));
        }
        findings.push_back(f);
        at = end + 2;
    }
}

} // namespace

bool PeekFirstrec(std::int32_t patient, FirstrecRecord& record) {
    return FileRead(hFirstrec, RecordOffset(FirstrecFile, patient), record.bytes, sizeof record.bytes) ==
           sizeof record.bytes;
}

bool PeekLine(const LineChain& chain, std::int32_t number, ChainLine& line) {
    const std::uint32_t size = chain.file->recordSize;
    return FileRead(*chain.file->handle, RecordOffset(*chain.file, number), line.bytes, size) == size;
}

bool PeekEntry(std::int32_t number, ChartEntry& entry) {
    return FileRead(hFschema, RecordOffset(FschemaFile, number), entry.bytes, sizeof entry.bytes) ==
           sizeof entry.bytes;
}

std::int32_t LinesPresent(const LineChain& chain) {
    const std::int64_t inFile = FileSizeLow(*chain.file->handle) / chain.file->recordSize;
    const std::int32_t counter = *chain.counter;
    if (counter < 1) return 0;
    return static_cast<std::int32_t>(inFile < counter ? inFile : counter);
}

bool ExplainReport(const LineChain& chain, const std::string& ownerMap, const std::string& report,
                   std::vector<Finding>& findings) {
    std::vector<Finding> replayed;
    Replay rp{chain, *chain.counter, ownerMap, replayed};
    for (std::int64_t p = 1; p <= LastPatient; ++p) ReplayPatient(rp, static_cast<std::int32_t>(p));
    std::string again;
    for (const Finding& f : replayed)
        if (f.fromReport) again += f.text + "\r\n";
    if (again == report) {
        findings.insert(findings.end(), replayed.begin(), replayed.end());
        return true;
    }
    FindingsFromReport(report, findings);
    return false;
}

void ClaimLines(const LineChain& chain, ChainClaims& claims) {
    const std::int32_t counter = *chain.counter;
    const std::int32_t lines = LinesPresent(chain);
    claims.lines = lines;
    claims.first.assign(static_cast<std::size_t>(lines) + 1, 0);
    claims.contested.clear();
    // The walk that last stepped on each line: a walk that comes back to a
    // line of its own has looped.
    std::vector<std::uint32_t> walkOf(static_cast<std::size_t>(lines) + 1, 0);
    std::uint32_t walk = 0;
    for (std::int64_t pp = 1; pp <= LastPatient; ++pp) {
        const auto p = static_cast<std::int32_t>(pp);
        FirstrecRecord ends;
        if (!PeekFirstrec(p, ends)) continue;
        for (const bool forward : {true, false}) {
            ++walk;
            std::int32_t r = GetField(ends, forward ? chain.startField : chain.endField);
            while (r >= 1 && r <= counter && r <= lines) {
                const auto at = static_cast<std::size_t>(r);
                if (walkOf[at] == walk) break;
                walkOf[at] = walk;
                ChainLine line;
                if (!PeekLine(chain, r, line)) break;
                std::int32_t& first = claims.first[at];
                if (first == 0) {
                    first = p;
                } else if (first != p) {
                    std::vector<std::int32_t>& all = claims.contested[r];
                    if (all.empty()) all.push_back(first);
                    if (all.back() != p) all.push_back(p); // patients come in ascending order
                }
                r = forward ? ChainNext(chain, line) : ChainPrev(chain, line);
            }
        }
    }
}

void ClaimFindings(const ChainClaims& claims, std::vector<Finding>& findings) {
    for (const auto& [line, patients] : claims.contested) {
        Finding f = OwnFinding("contested-line", "error", 0, line);
        f.patients = patients;
        findings.push_back(f);
    }
    for (std::int32_t r = 1; r <= claims.lines; ++r)
        if (claims.first[static_cast<std::size_t>(r)] == 0)
            findings.push_back(OwnFinding("unreachable-line", "warning", 0, r));
}

std::vector<OrphanChain> OrphanChains(const LineChain& chain, const ChainClaims& claims) {
    std::vector<OrphanChain> found;
    std::vector<char> taken(static_cast<std::size_t>(claims.lines) + 1, 0);
    for (std::int32_t head = 1; head <= claims.lines; ++head) {
        if (claims.first[static_cast<std::size_t>(head)] != 0 || taken[static_cast<std::size_t>(head)]) continue;
        ChainLine line;
        if (!PeekLine(chain, head, line) || ChainPrev(chain, line) != 0) continue;
        OrphanChain orphan{head, head, 0};
        std::int32_t r = head;
        while (r >= 1 && r <= claims.lines && claims.first[static_cast<std::size_t>(r)] == 0 &&
               !taken[static_cast<std::size_t>(r)]) {
            if (!PeekLine(chain, r, line)) break;
            taken[static_cast<std::size_t>(r)] = 1;
            orphan.end = r;
            ++orphan.count;
            r = ChainNext(chain, line);
        }
        if (r == 0) found.push_back(orphan);
    }
    return found;
}
