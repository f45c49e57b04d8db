// The journal's reading side: a journal read back, its commands, and its
// writes undone. It works on the data files directly, through their
// handles: nothing here goes through the record operations or the layer.
#include "store/journal.h"

#include "store/journal_format.h"

#include <cstring>
#include <map>
#include <set>
#include <utility>

using namespace journalformat;

namespace {

// One record of the file, from its kind on; false when it is not one whole
// record of the format: the reading ends there.
bool Parse(int format, char kind, const std::uint8_t* body, std::uint32_t length, JournalEntry& e) {
    e.kind = kind;
    switch (kind) {
    case 'C':
        if (format == 1) {
            if (length < 14) return false;
            e.time.assign(body, body + 14);
            e.command.assign(body + 14, body + length);
            return true;
        }
        if (length < CommandFixed || body[19] > JournalAtCommit) return false;
        e.time.assign(body, body + 14);
        e.subject.patient = static_cast<std::int32_t>(Get32(body + 14));
        e.subject.mode = body[18];
        e.durability = static_cast<JournalDurability>(body[19]);
        e.command.assign(body + CommandFixed, body + length);
        return true;
    case 'W': {
        if (length <= 5) return false;
        e.file = body[0] < FileCount ? Files[body[0]] : nullptr;
        e.offset = Get32(body + 1);
        for (std::uint32_t r = 5; r < length;) {
            if (length - r < 4) return false;
            const std::uint16_t first = Get16(body + r);
            const std::uint32_t n = Get16(body + r + 2);
            // A run changes one byte at least, within the record.
            if (n == 0 || length - r - 4 < 2 * n) return false;
            if (e.file != nullptr && first + n > e.file->recordSize) return false;
            e.runs.push_back(JournalRun{first, {body + r + 4, body + r + 4 + n}, {body + r + 4 + n, body + r + 4 + 2 * n}});
            r += 4 + 2 * n;
        }
        return true;
    }
    case 'G':
        if (format == 1 || length != 9) return false;
        e.file = body[0] < FileCount ? Files[body[0]] : nullptr;
        e.offset = Get32(body + 1);
        e.end = Get32(body + 5);
        return e.end > e.offset;
    case 'E':
        return format == 2 && length == 0;
    default:
        return false;
    }
}

} // namespace

bool ReadJournal(const char* name, Journal& journal) {
    journal = Journal{};
    const FileHandle file = FileOpen(name, OpenSharedReadOnly);
    if (file == 0) return false;
    const std::uint32_t size = FileSizeLow(file);
    std::vector<std::uint8_t> bytes(size);
    const bool read = size == 0 || FileRead(file, 0, bytes.data(), size) == size;
    FileClose(file);
    if (!read || size < HeaderSize) return false;
    if (std::memcmp(bytes.data(), MagicJ1, 8) == 0) journal.format = 1;
    else if (std::memcmp(bytes.data(), MagicJ2, 8) == 0) journal.format = 2;
    else return false;
    journal.time.assign(bytes.begin() + 8, bytes.begin() + 22);
    journal.size = size;
    std::uint32_t at = HeaderSize;
    while (size - at >= Framing) {
        const std::uint8_t* p = bytes.data() + at;
        const std::uint32_t length = Get32(p + 1);
        if (length > size - at - Framing) break;
        if (Get32(p + 5 + length) != Fnv1a(p, 5 + length)) break;
        JournalEntry e;
        if (!Parse(journal.format, static_cast<char>(p[0]), p + 5, length, e)) break;
        journal.entries.push_back(std::move(e));
        at += Framing + length;
    }
    journal.wholeBytes = at;
    journal.cut = at != size;
    return true;
}

std::vector<JournalCommandRecord> JournalCommands(const Journal& journal) {
    std::vector<JournalCommandRecord> commands;
    std::set<std::pair<const RecordFile*, std::uint32_t>> records;
    const JournalEntry* group = nullptr;
    auto close = [&](std::size_t end) {
        if (commands.empty()) return;
        JournalCommandRecord& c = commands.back();
        c.end = end;
        c.records = static_cast<unsigned>(records.size());
        const bool grouped = c.head < journal.entries.size() && journal.entries[c.head].durability == JournalInGroups;
        if (!c.ended && grouped && group != nullptr) {
            c.lackFile = group->file;
            c.lackFirst = group->offset;
            c.lackEnd = group->end;
        }
    };
    for (std::size_t i = 0; i < journal.entries.size(); ++i) {
        const JournalEntry& e = journal.entries[i];
        if (e.kind == 'C' || commands.empty()) {
            close(i);
            // Writes before any command (none are written so) make one of no name.
            JournalCommandRecord c;
            c.head = e.kind == 'C' ? i : journal.entries.size();
            c.ended = journal.format == 1;
            commands.push_back(c);
            records.clear();
            group = nullptr;
            if (e.kind == 'C') continue;
        }
        JournalCommandRecord& c = commands.back();
        if (e.kind == 'W') {
            ++c.writes;
            records.insert({e.file, e.offset});
        } else if (e.kind == 'G') {
            group = &e;
        } else if (e.kind == 'E') {
            c.ended = true;
        }
    }
    close(journal.entries.size());
    return commands;
}

namespace {

using RecordKey = std::pair<const RecordFile*, std::uint32_t>;

// Whether the bytes of `record` under the runs of `e` are `after` (or
// `before`) of each run.
bool Holds(const std::uint8_t* record, const JournalEntry& e, bool after) {
    for (const JournalRun& r : e.runs)
        if (std::memcmp(record + r.at, (after ? r.after : r.before).data(), r.before.size()) != 0) return false;
    return true;
}

// Whether each byte under the runs of `e` is a value this journal gave it
// before `e`: the old byte of `e`, or an old or new byte of an earlier write
// of the same record (a power cut can keep the data file a few writes back).
bool HoldsEarlier(const std::uint8_t* record, const JournalEntry& e, const std::vector<const JournalEntry*>& earlier) {
    for (const JournalRun& r : e.runs) {
        for (std::uint32_t k = 0; k < r.before.size(); ++k) {
            const std::uint32_t p = r.at + k;
            bool known = record[p] == r.before[k];
            for (const JournalEntry* o : earlier) {
                for (const JournalRun& q : o->runs)
                    if (!known && p >= q.at && p < q.at + q.before.size())
                        known = record[p] == q.before[p - q.at] || record[p] == q.after[p - q.at];
            }
            if (!known) return false;
        }
    }
    return true;
}

} // namespace

void UndoJournal(const Journal& journal, bool dryRun,
                 void (*report)(const JournalEntry& entry, UndoOutcome outcome, void* context), void* context) {
    // The writes of each record, oldest first.
    std::map<RecordKey, std::vector<const JournalEntry*>> writes;
    for (const JournalEntry& e : journal.entries)
        if (e.kind == 'W' && e.file != nullptr) writes[{e.file, e.offset}].push_back(&e);
    // What a record written more than once holds after this undoing's
    // changes so far, so that a trial sees them too.
    std::map<RecordKey, std::vector<std::uint8_t>> now;

    for (auto e = journal.entries.rbegin(); e != journal.entries.rend(); ++e) {
        if (e->kind != 'W') continue;
        if (e->file == nullptr) {
            report(*e, UndoFailed, context);
            continue;
        }
        const RecordFile& file = *e->file;
        const RecordKey key{&file, e->offset};
        std::vector<const JournalEntry*>& history = writes[key];
        std::uint8_t record[LargestRecord];
        const auto seen = now.find(key);
        if (seen != now.end()) {
            std::memcpy(record, seen->second.data(), file.recordSize);
        } else if (FileRead(*file.handle, e->offset, record, file.recordSize) != file.recordSize) {
            report(*e, UndoFailed, context);
            continue;
        }
        // The writes of this record before this one.
        std::vector<const JournalEntry*> earlier;
        for (const JournalEntry* o : history) {
            if (o == &*e) break;
            earlier.push_back(o);
        }
        if (!Holds(record, *e, true)) {
            report(*e, HoldsEarlier(record, *e, earlier) ? UndoUnchanged : UndoKept, context);
            continue;
        }
        for (const JournalRun& r : e->runs) std::memcpy(record + r.at, r.before.data(), r.before.size());
        if (!dryRun && FileWrite(*file.handle, e->offset, record, file.recordSize) != file.recordSize) {
            report(*e, UndoFailed, context);
            continue;
        }
        if (history.size() > 1) now[key].assign(record, record + file.recordSize);
        report(*e, UndoRestored, context);
    }
}
