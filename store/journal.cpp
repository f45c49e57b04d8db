#include "store/journal.h"

#include "store/state.h"

#include <cstdio>
#include <cstring>

const char JournalFolder[] = "chkort-journal";

namespace {

constexpr char Magic[] = "CHKORTJ1";
constexpr std::uint32_t HeaderSize = 24;
constexpr std::uint32_t Framing = 1 + 4 + 4; // kind, length, check

// The journal's file numbers, fixed by the format.
const RecordFile* const JournalFiles[] = {nullptr, &FirstrecFile, &IdentiteFile, &CliniqueFile, &EstimeFile,
                                          &FschemaFile};

std::string directory;     // of the data files; "" while not journaling
std::string path;          // of the run's journal, once created
FileHandle hJournal = 0;
std::uint32_t journalEnd = 0; // after the last whole record written
std::string runStamp;      // the run's time, for the header
std::string command;       // heads the next record, until written
bool commandWritten = false;

std::uint32_t Fnv1a(const std::uint8_t* bytes, std::size_t n, std::uint32_t h = 2166136261u) {
    for (std::size_t i = 0; i < n; ++i) h = (h ^ bytes[i]) * 16777619u;
    return h;
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
std::uint32_t Get32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

std::string Digits(const LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", t.year % 10000, t.month % 100, t.day % 100,
                  t.hour % 100, t.minute % 100, t.second % 100);
    return text;
}

// A record is built in place, its length left blank until its payload is
// complete; one buffer serves every write of the run.
std::vector<std::uint8_t> change;

void Begin(std::vector<std::uint8_t>& record, char kind) {
    record.assign({static_cast<std::uint8_t>(kind), 0, 0, 0, 0});
}
const std::vector<std::uint8_t>& Sealed(std::vector<std::uint8_t>& record) {
    const auto length = static_cast<std::uint32_t>(record.size() - 5);
    for (int i = 0; i < 4; ++i) record[1 + i] = static_cast<std::uint8_t>(length >> (8 * i));
    Put32(record, Fnv1a(record.data(), record.size()));
    return record;
}

bool Append(const std::vector<std::uint8_t>& bytes) {
    const auto n = static_cast<std::uint32_t>(bytes.size());
    if (FileWrite(hJournal, journalEnd, bytes.data(), n) != n) return false;
    journalEnd += n;
    return true;
}

// The run's journal, created at its first record.
bool Create() {
    const std::string folder = directory + "\\" + JournalFolder;
    if (!MakeDirectory(folder.c_str())) return false;
    const LocalTime now = LocalTimeNow();
    const std::string stamp = Digits(now);
    for (int n = 1; n < 100 && hJournal == 0; ++n) {
        char name[40];
        if (n == 1) std::snprintf(name, sizeof name, "\\%.8s-%.6s.jnl", stamp.c_str(), stamp.c_str() + 8);
        else std::snprintf(name, sizeof name, "\\%.8s-%.6s-%d.jnl", stamp.c_str(), stamp.c_str() + 8, n);
        path = folder + name;
        hJournal = FileOpen(path.c_str(), CreateNewExclusive);
    }
    if (hJournal == 0) {
        path.clear();
        return false;
    }
    runStamp = stamp;
    journalEnd = 0;
    return true;
}

// The header, first in the file; written again at the next record when its
// first transfer fell short.
bool WriteHeader() {
    std::vector<std::uint8_t> header(Magic, Magic + 8);
    header.insert(header.end(), runStamp.begin(), runStamp.end());
    header.push_back('\r');
    header.push_back('\n');
    return Append(header);
}

bool Refuse() {
    ShowMessageBox(MainWindow,
                   "Le journal d'annulation ne peut pas être écrit (dossier chkort-journal du dossier des "
                   "données : disque plein ou accès refusé).\nLa commande s'arrête ici : rien de plus n'est "
                   "écrit dans les fichiers.",
                   "Journal d'annulation", BoxOk | BoxIconStop);
    return false;
}

} // namespace

void JournalStart(const char* dataDirectory) {
    JournalStop();
    directory = dataDirectory;
    ForgetKnownRecords();
}

void JournalStop() {
    if (hJournal != 0) {
        FileFlush(hJournal);
        FileClose(hJournal);
    }
    hJournal = 0;
    directory.clear();
    path.clear();
    command.clear();
    commandWritten = false;
    journalEnd = 0;
}

bool JournalActive() { return !directory.empty(); }

void JournalCommand(const char* name) {
    command = name;
    commandWritten = false;
}

void JournalCommandEnd() {
    if (hJournal != 0 && commandWritten) FileFlush(hJournal);
}

const std::string& JournalPath() { return path; }

bool JournalCreate() {
    if (!JournalActive()) return false;
    if (hJournal == 0 && !Create()) return false;
    return journalEnd != 0 || WriteHeader();
}

bool JournalWrite(const RecordFile& file, std::uint32_t offset, const std::uint8_t* before,
                  const std::uint8_t* after) {
    std::uint8_t number = 0;
    for (std::uint8_t i = 1; i < sizeof JournalFiles / sizeof *JournalFiles; ++i)
        if (JournalFiles[i] == &file) number = i;
    Begin(change, 'W');
    change.push_back(number);
    Put32(change, offset);
    for (std::uint32_t i = 0; i < file.recordSize;) {
        if (before[i] == after[i]) {
            ++i;
            continue;
        }
        std::uint32_t end = i + 1;
        while (end < file.recordSize && before[end] != after[end]) ++end;
        Put16(change, i);
        Put16(change, end - i);
        change.insert(change.end(), before + i, before + end);
        change.insert(change.end(), after + i, after + end);
        i = end;
    }
    if (change.size() == 10) return true; // nothing changes: nothing to undo
    if (number == 0) return Refuse();     // a file the journal cannot name
    if (hJournal == 0 && !Create()) return Refuse();
    if (journalEnd == 0 && !WriteHeader()) return Refuse();
    if (!commandWritten) {
        std::vector<std::uint8_t> head;
        const std::string stamp = Digits(LocalTimeNow());
        Begin(head, 'C');
        head.insert(head.end(), stamp.begin(), stamp.end());
        head.insert(head.end(), command.begin(), command.end());
        if (!Append(Sealed(head))) return Refuse();
        commandWritten = true;
    }
    if (!Append(Sealed(change))) return Refuse();
    return true;
}

bool ReadJournal(const char* name, Journal& journal) {
    journal = Journal{};
    const FileHandle file = FileOpen(name, OpenSharedReadOnly);
    if (file == 0) return false;
    const std::uint32_t size = FileSizeLow(file);
    std::vector<std::uint8_t> bytes(size);
    const bool read = size == 0 || FileRead(file, 0, bytes.data(), size) == size;
    FileClose(file);
    if (!read || size < HeaderSize || std::memcmp(bytes.data(), Magic, 8) != 0) return false;
    journal.time.assign(bytes.begin() + 8, bytes.begin() + 22);
    journal.size = size;
    std::uint32_t at = HeaderSize;
    while (size - at >= Framing) {
        const std::uint8_t* p = bytes.data() + at;
        const std::uint32_t length = Get32(p + 1);
        if (length > size - at - Framing) break;
        if (Get32(p + 5 + length) != Fnv1a(p, 5 + length)) break;
        const std::uint8_t* body = p + 5;
        JournalEntry e{static_cast<char>(p[0]), {}, {}, nullptr, 0, {}};
        bool whole = true;
        if (e.kind == 'C' && length >= 14) {
            e.time.assign(body, body + 14);
            e.command.assign(body + 14, body + length);
        } else if (e.kind == 'W' && length >= 5) {
            e.file = body[0] < sizeof JournalFiles / sizeof *JournalFiles ? JournalFiles[body[0]] : nullptr;
            e.offset = Get32(body + 1);
            for (std::uint32_t r = 5; whole && r < length;) {
                const std::uint32_t n = length - r >= 4 ? Get16(body + r + 2) : 0;
                const std::uint16_t first = length - r >= 4 ? Get16(body + r) : 0;
                whole = n > 0 && length - r - 4 >= 2 * n && (e.file == nullptr || first + n <= e.file->recordSize);
                if (!whole) break;
                JournalRun run{first, {body + r + 4, body + r + 4 + n}, {body + r + 4 + n, body + r + 4 + 2 * n}};
                e.runs.push_back(std::move(run));
                r += 4 + 2 * n;
            }
        } else {
            whole = false;
        }
        if (!whole) break;
        journal.entries.push_back(std::move(e));
        at += Framing + length;
    }
    journal.wholeBytes = at;
    journal.cut = at != size;
    return true;
}

void UndoJournal(const Journal& journal, bool dryRun,
                 void (*report)(const JournalEntry& entry, UndoOutcome outcome, void* context), void* context) {
    for (auto e = journal.entries.rbegin(); e != journal.entries.rend(); ++e) {
        if (e->kind != 'W') continue;
        if (e->file == nullptr) {
            report(*e, UndoFailed, context);
            continue;
        }
        std::uint8_t record[sizeof(IdentiteRecord)];
        if (!ReadRecordAt(*e->file, e->offset, record)) {
            report(*e, UndoFailed, context);
            continue;
        }
        bool written = true, old = true;
        for (const JournalRun& r : e->runs) {
            written = written && std::memcmp(record + r.at, r.after.data(), r.after.size()) == 0;
            old = old && std::memcmp(record + r.at, r.before.data(), r.before.size()) == 0;
        }
        if (!written) {
            report(*e, old ? UndoUnchanged : UndoKept, context);
            continue;
        }
        for (const JournalRun& r : e->runs) std::memcpy(record + r.at, r.before.data(), r.before.size());
        if (!dryRun && !WriteRecordAt(*e->file, e->offset, record)) {
            report(*e, UndoFailed, context);
            continue;
        }
        report(*e, UndoRestored, context);
    }
}

void ResetJournal() {
    JournalStop();
    ForgetKnownRecords();
}
