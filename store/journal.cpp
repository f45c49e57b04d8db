// The journal's writing side: the layer under the record operations.
#include "store/journal.h"

#include "store/journal_format.h"

#include <cstdio>
#include <cstring>

const char JournalFolder[] = "chkort-journal";

namespace {

using namespace journalformat;

// A group ("in groups") spans this many records of its file from its first
// write, and is closed sooner when its records reach PendingLimit bytes: a
// power cut can leave at most that many records changed without their
// journal, and `annuler` names them. At 2.5 ms a flush, a million lines
// cost about 250 flushes, well under a second.
constexpr std::uint32_t DefaultGroupRecords = 4096;
constexpr std::size_t PendingLimit = 1u << 20;
std::uint32_t groupRecords = DefaultGroupRecords;

// Why the journal could not take a record, for its box.
enum Cause { NoCause, NoDirectory, FileInTheWay, FolderDenied, FileDenied, NoRoom, FileUnnamed };

std::string directory; // of the data files; "" while not journaling
std::string path;      // of the run's journal, once created
FileHandle hJournal = 0;
std::uint32_t journalEnd = 0; // after the last record handed to the system
std::string runStamp;         // the time of the run's first record: its name, its header
Cause cause = NoCause;

// The command in progress.
struct Command {
    std::string name;
    JournalDurability durability = JournalEachWrite;
    JournalSubject (*subject)() = nullptr;
    bool headed = false; // its 'C' was handed to the system
    bool wrote = false;  // it changed bytes
    bool refused = false; // the journal refused one of its writes, and said so
};
Command command;

// Records of writes already made (or held), not yet handed to the system:
// the group's, in groups; the held writes', at commit.
std::vector<std::uint8_t> pending;

// The group in progress ("in groups").
struct Group {
    bool open = false;
    std::uint8_t file = 0;
    std::uint32_t first = 0, end = 0;
};
Group group;

// The last record read or written in each journaled file, with its bytes:
// the old bytes of the next write of that record come from here.
struct Kept {
    bool known = false;
    std::uint32_t offset = 0;
    std::uint8_t bytes[LargestRecord];
};
Kept kept[FileCount];

// A batch of commands at commit (JournalBatchBegin): where the records of
// the command in progress begin among the pending ones.
bool batch = false;
std::size_t commandAt = 0;

// The data writes held until the commit.
struct Held {
    const RecordFile* file;
    std::uint32_t offset;
    std::vector<std::uint8_t> bytes;
};
std::vector<Held> held;

std::string Digits(const LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", t.year % 10000, t.month % 100, t.day % 100,
                  t.hour % 100, t.minute % 100, t.second % 100);
    return text;
}

void Keep(std::uint8_t number, std::uint32_t offset, const void* record, std::uint32_t size, bool known) {
    if (number == 0) return;
    kept[number].known = known;
    kept[number].offset = offset;
    if (known) std::memcpy(kept[number].bytes, record, size);
}

void ForgetKept() {
    for (Kept& k : kept) k.known = false;
}

const char* CauseText() {
    switch (cause) {
    case NoDirectory: return "le dossier des données n'a pas pu être nommé";
    case FileInTheWay:
        return "un fichier nommé chkort-journal occupe, dans le dossier des données, la place du dossier des "
               "journaux ; renommez ou déplacez ce fichier";
    case FolderDenied: return "le dossier chkort-journal ne peut pas être créé dans le dossier des données (accès refusé)";
    case FileDenied:
        return "aucun fichier ne peut être créé dans le dossier chkort-journal du dossier des données (accès refusé)";
    case FileUnnamed: return "ce fichier de données n'a pas de place dans le journal";
    case NoRoom:
    case NoCause: break;
    }
    return "le disque du dossier des données est plein, ou refuse l'écriture";
}

// The "Journal d'annulation" box: `format` names the cause with its %s.
void JournalBox(const char* format) {
    char text[512];
    std::snprintf(text, sizeof text, format, CauseText());
    ShowMessageBox(MainWindow, text, "Journal d'annulation", BoxOk | BoxIconStop);
}

bool Refuse() {
    JournalBox("Le journal d'annulation ne peut pas être écrit : %s.\nLa commande s'arrête ici : rien de plus "
               "n'est écrit dans les fichiers.");
    return false;
}

JournaledWriteResult Refused() {
    command.refused = true;
    Refuse();
    return WriteRefused;
}

void RefuseEnd() {
    JournalBox("Le journal d'annulation n'a pas pu être terminé : %s.\nLes modifications de la commande sont "
               "faites ; les dernières peuvent manquer au journal, ce que chkort-cli annuler dira.");
}

// The run's journal, created at its first record.
bool Create() {
    if (hJournal != 0) return true;
    if (directory == "?") {
        cause = NoDirectory;
        return false;
    }
    const std::string folder = directory + "\\" + JournalFolder;
    if (!MakeDirectory(folder.c_str())) {
        // Not a directory, and yet something that opens: a file.
        const FileHandle file = FileOpen(folder.c_str(), OpenSharedReadOnly);
        if (file != 0) FileClose(file);
        cause = file != 0 ? FileInTheWay : FolderDenied;
        return false;
    }
    const std::string stamp = runStamp = Digits(LocalTimeNow());
    for (int n = 1; n < 100 && hJournal == 0; ++n) {
        char name[40];
        if (n == 1) std::snprintf(name, sizeof name, "\\%.8s-%.6s.jnl", stamp.c_str(), stamp.c_str() + 8);
        else std::snprintf(name, sizeof name, "\\%.8s-%.6s-%d.jnl", stamp.c_str(), stamp.c_str() + 8, n);
        path = folder + name;
        hJournal = FileOpen(path.c_str(), CreateNewSharedRead);
    }
    if (hJournal == 0) {
        path.clear();
        cause = FileDenied;
        return false;
    }
    journalEnd = 0;
    return true;
}

void AppendHeader(std::vector<std::uint8_t>& out) {
    out.insert(out.end(), MagicJ2, MagicJ2 + 8);
    out.insert(out.end(), runStamp.begin(), runStamp.end());
    out.push_back('\r');
    out.push_back('\n');
}

void AppendCommand(std::vector<std::uint8_t>& out) {
    const JournalSubject subject = command.subject ? command.subject() : JournalSubject{};
    const std::string stamp = Digits(LocalTimeNow());
    const std::size_t at = Begin(out, 'C');
    out.insert(out.end(), stamp.begin(), stamp.end());
    Put32(out, static_cast<std::uint32_t>(subject.patient));
    out.push_back(subject.mode);
    out.push_back(command.durability);
    out.insert(out.end(), command.name.begin(), command.name.end());
    Seal(out, at);
}

// Hands to the system, in one transfer, the header when the file has none
// yet, the command's 'C' when it has not been, the pending records and
// `records`; then, with `flush`, has it all put on the disk. False (the
// cause noted) when any of it fails; what was pending stays pending unless
// the transfer was made.
bool Hand(const std::vector<std::uint8_t>& records, bool flush) {
    if (!Create()) return false;
    std::vector<std::uint8_t> out;
    if (journalEnd == 0) AppendHeader(out);
    if (!command.headed) AppendCommand(out);
    out.insert(out.end(), pending.begin(), pending.end());
    out.insert(out.end(), records.begin(), records.end());
    const auto n = static_cast<std::uint32_t>(out.size());
    if (FileWrite(hJournal, journalEnd, out.data(), n) != n) {
        cause = NoRoom;
        return false;
    }
    journalEnd += n;
    pending.clear();
    command.headed = true;
    if (flush && !FileFlush(hJournal)) {
        cause = NoRoom;
        return false;
    }
    return true;
}

// The 'W' record of a change of `size` bytes from `before` to `after`;
// false (nothing added) when no byte changes.
bool AppendChange(std::vector<std::uint8_t>& out, std::uint8_t number, std::uint32_t offset,
                  const std::uint8_t* before, const std::uint8_t* after, std::uint32_t size) {
    const std::size_t at = Begin(out, 'W');
    out.push_back(number);
    Put32(out, offset);
    for (std::uint32_t i = 0; i < size;) {
        if (before[i] == after[i]) {
            ++i;
            continue;
        }
        std::uint32_t end = i + 1;
        while (end < size && before[end] != after[end]) ++end;
        Put16(out, i);
        Put16(out, end - i);
        out.insert(out.end(), before + i, before + end);
        out.insert(out.end(), after + i, after + end);
        i = end;
    }
    if (out.size() == at + 10) {
        out.resize(at);
        return false;
    }
    Seal(out, at);
    return true;
}

Held* HeldAt(const RecordFile& file, std::uint32_t offset) {
    for (auto h = held.rbegin(); h != held.rend(); ++h)
        if (h->file == &file && h->offset == offset) return &*h;
    return nullptr;
}

bool OverlapsHeld(const RecordFile& file, std::uint32_t offset) {
    for (const Held& h : held)
        if (h.file == &file && h.offset != offset && static_cast<std::uint64_t>(h.offset) + file.recordSize > offset &&
            static_cast<std::uint64_t>(offset) + file.recordSize > h.offset)
            return true;
    return false;
}

// Opens a group from the record at `offset` of file `number`: its 'G' (and
// the group before's records) on the disk before its first data write.
bool OpenGroup(std::uint8_t number, std::uint32_t offset, std::uint32_t size) {
    const std::uint64_t end = static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(groupRecords) * size;
    const Group next{true, number, offset, end > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(end)};
    std::vector<std::uint8_t> record;
    const std::size_t at = Begin(record, 'G');
    record.push_back(number);
    Put32(record, next.first);
    Put32(record, next.end);
    Seal(record, at);
    if (!Hand(record, true)) return false;
    group = next;
    return true;
}

bool InGroup(std::uint8_t number, std::uint32_t offset, std::uint32_t size) {
    return group.open && group.file == number && offset >= group.first &&
           static_cast<std::uint64_t>(offset) + size <= group.end && pending.size() < PendingLimit;
}

// In a batch, the command in progress's 'C' goes before its records among
// the pending ones, once it has changed bytes.
void HeadInBatch() {
    if (!command.wrote || command.headed) return;
    std::vector<std::uint8_t> head;
    AppendCommand(head);
    pending.insert(pending.begin() + static_cast<std::ptrdiff_t>(commandAt), head.begin(), head.end());
    command.headed = true;
}

// A command of a batch ends: its 'C' and its 'E' join its records among the
// pending ones; its writes stay held; nothing is handed to the system yet.
void EndInBatch() {
    if (command.wrote) {
        HeadInBatch();
        std::vector<std::uint8_t> end;
        Seal(end, Begin(end, 'E'));
        pending.insert(pending.end(), end.begin(), end.end());
    }
    command = Command{};
    group = Group{};
    commandAt = pending.size();
}

} // namespace

void JournalStart(const char* dataDirectory) {
    JournalStop();
    directory = dataDirectory;
    ForgetKept();
}

void JournalStop() {
    // The command's end is flushed with its last records; a batch's writes
    // are made.
    if (batch) JournalBatchEnd();
    if (!directory.empty()) JournalCommandEnd();
    if (hJournal != 0) FileClose(hJournal);
    hJournal = 0;
    directory.clear();
    path.clear();
    journalEnd = 0;
    command = Command{};
    pending.clear();
    held.clear();
    group = Group{};
}

bool JournalActive() { return !directory.empty(); }

void JournalCommand(const char* name, JournalDurability durability, JournalSubject (*subject)()) {
    if (batch) {
        EndInBatch();
        command = Command{name, JournalAtCommit, subject, false, false, false};
        return;
    }
    if (command.wrote || !held.empty()) JournalCommandEnd();
    command = Command{name, durability, subject, false, false, false};
    group = Group{};
}

bool JournalCommit() {
    if (held.empty() && pending.empty()) return true;
    if (batch) HeadInBatch();
    if (!Hand({}, true)) {
        // None of the held writes is made: the files keep their bytes.
        for (const Held& h : held) kept[NumberOf(*h.file)].known = false;
        held.clear();
        pending.clear();
        command.refused = true;
        return Refuse();
    }
    std::vector<Held> writes;
    writes.swap(held);
    for (const Held& h : writes) {
        if (FileWrite(*h.file->handle, h.offset, h.bytes.data(), h.file->recordSize) != h.file->recordSize) {
            for (const Held& w : writes) kept[NumberOf(*w.file)].known = false;
            return ReportShortTransfer(*h.file);
        }
    }
    return true;
}

void JournalCommandEnd() {
    if (!JournalActive()) return;
    if (batch) {
        EndInBatch();
        return;
    }
    if (command.durability == JournalAtCommit) JournalCommit();
    if (command.headed || !pending.empty()) {
        std::vector<std::uint8_t> end;
        Seal(end, Begin(end, 'E'));
        // After a refusal, said once already, the end is tried without a box.
        if (!Hand(end, true) && !command.refused) RefuseEnd();
    }
    command = Command{};
    pending.clear();
    group = Group{};
}

void JournalBatchBegin() {
    if (command.wrote || !held.empty()) JournalCommandEnd();
    command = Command{};
    batch = true;
    commandAt = pending.size();
}

bool JournalBatchEnd() {
    if (!batch) return true;
    EndInBatch();
    batch = false;
    command.headed = true; // each command of the batch is among the pending records, with its 'C' and 'E'
    const bool made = JournalCommit();
    command = Command{};
    return made;
}

bool JournalCreate() {
    if (!JournalActive() || !Create()) return false;
    if (journalEnd != 0) return true;
    std::vector<std::uint8_t> header;
    AppendHeader(header);
    const auto n = static_cast<std::uint32_t>(header.size());
    if (FileWrite(hJournal, 0, header.data(), n) != n) {
        cause = NoRoom;
        return false;
    }
    journalEnd = n;
    return true;
}

const char* JournalRefusalCause() { return CauseText(); }

const std::string& JournalPath() { return path; }

std::uint32_t JournaledRead(const RecordFile& file, std::uint32_t offset, void* record) {
    if (!JournalActive()) return FileRead(*file.handle, offset, record, file.recordSize);
    const std::uint8_t number = NumberOf(file);
    if (!held.empty()) {
        if (const Held* h = HeldAt(file, offset)) {
            std::memcpy(record, h->bytes.data(), file.recordSize);
            Keep(number, offset, record, file.recordSize, true);
            return file.recordSize;
        }
        if (OverlapsHeld(file, offset)) JournalCommit();
    }
    const std::uint32_t n = FileRead(*file.handle, offset, record, file.recordSize);
    Keep(number, offset, record, file.recordSize, n == file.recordSize);
    return n;
}

JournaledWriteResult JournaledWrite(const RecordFile& file, std::uint32_t offset, const void* record) {
    const std::uint32_t size = file.recordSize;
    if (!JournalActive()) return FileWrite(*file.handle, offset, record, size) == size ? WriteWhole : WriteShort;
    const std::uint8_t number = NumberOf(file);
    if (number == 0) {
        cause = FileUnnamed;
        return Refused();
    }
    // The old bytes: those held, those kept, or else read.
    const auto* after = static_cast<const std::uint8_t*>(record);
    std::uint8_t read[LargestRecord];
    const std::uint8_t* before = nullptr;
    Held* h = HeldAt(file, offset);
    if (h != nullptr) {
        before = h->bytes.data();
    } else if (kept[number].known && kept[number].offset == offset) {
        before = kept[number].bytes;
    } else {
        if (!held.empty() && OverlapsHeld(file, offset)) JournalCommit();
        if (FileRead(*file.handle, offset, read, size) != size) {
            kept[number].known = false;
            return WriteShort;
        }
        before = read;
    }

    std::vector<std::uint8_t> change;
    const bool changes = AppendChange(change, number, offset, before, after, size);
    if (changes) command.wrote = true;
    switch (command.durability) {
    case JournalEachWrite:
        if (changes && !Hand(change, true)) return Refused();
        break;
    case JournalInGroups:
        if (changes) {
            if (!InGroup(number, offset, size) && !OpenGroup(number, offset, size))
                return Refused();
            pending.insert(pending.end(), change.begin(), change.end());
        }
        break;
    case JournalAtCommit:
        // Held, in order, unchanged bytes too: the files see the writes as
        // they were asked for, only later.
        if (changes || !held.empty()) {
            pending.insert(pending.end(), change.begin(), change.end());
            if (h != nullptr && &*held.rbegin() == h) {
                std::memcpy(h->bytes.data(), after, size);
            } else {
                held.push_back(Held{&file, offset, std::vector<std::uint8_t>(after, after + size)});
            }
            Keep(number, offset, after, size, true);
            return WriteWhole;
        }
        break;
    }
    const bool whole = FileWrite(*file.handle, offset, record, size) == size;
    Keep(number, offset, record, size, whole);
    return whole ? WriteWhole : WriteShort;
}

void JournalSetGroupRecords(std::uint32_t records) { groupRecords = records > 0 ? records : DefaultGroupRecords; }

void ResetJournal() {
    JournalStop();
    ForgetKept();
    cause = NoCause;
    groupRecords = DefaultGroupRecords;
}
