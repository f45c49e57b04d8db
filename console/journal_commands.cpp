// `journal` lists the window's journals of a practice; `annuler` puts back
// what one of them says the window replaced. Both speak of records as the
// technician sees them ("ligne 33 du devis"), the file and byte offset as a
// detail.
#include "console/cli.h"
#include "platform/paths.h"
#include "store/journal.h"
#include "window/state.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace {

// The data files a journal names, in the technician's words (Windows-1252,
// as every literal): a record is "ligne 33 du devis", "pointeurs firstrec
// du patient 4".
struct Named {
    const RecordFile* file;
    const char* name;      // in the data directory
    const char* one;       // before a record's number
    const char* many;      // before several
    const char* of;        // after the numbers: the file; "" for a patient's
    bool feminine, plural; // of `one`
};
const Named NamedFiles[] = {
    {&CliniqueFile, "clinique", "ligne", "lignes", " de la fiche clinique", true, false},
    {&EstimeFile, "estime", "ligne", "lignes", " du devis", true, false},
    {&FschemaFile, "Fschema", "entrée", "entrées", " du schéma dentaire", true, false},
    {&FirstrecFile, "firstrec", "pointeurs firstrec du patient", "pointeurs firstrec des patients", "", false, true},
    {&IdentiteFile, "identite", "fiche d'identité du patient", "fiches d'identité des patients", "", true, false},
};
const Named Unknown{nullptr, "?", "enregistrement", "enregistrements", " d'un fichier inconnu", false, false};

const Named& NamedOf(const RecordFile* file) {
    for (const Named& n : NamedFiles)
        if (n.file == file) return n;
    return Unknown;
}

std::uint32_t RecordNumber(const RecordFile* file, std::uint32_t offset) {
    return file ? offset / file->recordSize + 1 : 0;
}

std::string Number(unsigned long n) { return std::to_string(n); }

std::string RecordWords(const RecordFile* file, std::uint32_t offset) {
    const Named& n = NamedOf(file);
    return std::string(n.one).append(" ").append(Number(RecordNumber(file, offset))).append(n.of);
}

// "lignes 10 à 4105 de la fiche clinique", the last clamped to the file's
// `records` when known.
std::string RangeWords(const RecordFile* file, std::uint32_t first, std::uint32_t end, std::uint32_t records) {
    const Named& n = NamedOf(file);
    std::uint32_t from = RecordNumber(file, first), to = file ? end / file->recordSize : 0;
    if (records > 0 && to > records) to = records;
    if (to <= from) return RecordWords(file, first);
    return std::string(n.many).append(" ").append(Number(from)).append(" à ").append(Number(to)).append(n.of);
}

// "AAAAMMJJHHMMSS" as "JJ/MM/AAAA HH:MM:SS".
std::string ShownTime(const std::string& t) {
    if (t.size() != 14) return t;
    return t.substr(6, 2) + "/" + t.substr(4, 2) + "/" + t.substr(0, 4) + " " + t.substr(8, 2) + ":" +
           t.substr(10, 2) + ":" + t.substr(12, 2);
}

// What a command worked on, from its record: the patient and the view of
// a patient's repair, or else the records it changed.
std::string SubjectWords(const Journal& j, const JournalCommandRecord& c) {
    const JournalSubject s = c.head < j.entries.size() ? j.entries[c.head].subject : JournalSubject{};
    const char* view = nullptr;
    switch (s.mode) {
    case ModeClinicalFromStart: view = "vue de la fiche clinique à partir du début"; break;
    case ModeClinicalFromEnd: view = "vue de la fiche clinique à partir de la fin"; break;
    case ModeQuotesFromStart: view = "vue du devis à partir du début"; break;
    case ModeQuotesFromEnd: view = "vue du devis à partir de la fin"; break;
    case ModeDentalChart: view = "vue du schéma dentaire"; break;
    case ModeRelinkClinical: case ModeFirstrecClinical: view = "fiche clinique"; break;
    case ModeRelinkQuote: case ModeFirstrecQuotes: view = "devis"; break;
    case ModeFirstrecChart: view = "schéma dentaire"; break;
    }
    if (s.patient > 0) return "patient " + Number(static_cast<unsigned long>(s.patient)) + (view ? std::string(", ") + view : "");
    // The records of each file.
    std::map<const RecordFile*, std::vector<std::uint32_t>> changed;
    for (std::size_t i = c.head + 1; i < c.end; ++i)
        if (j.entries[i].kind == 'W') changed[j.entries[i].file].push_back(RecordNumber(j.entries[i].file, j.entries[i].offset));
    std::string words;
    for (const Named& n : NamedFiles) {
        auto found = changed.find(n.file);
        if (found == changed.end()) continue;
        std::vector<std::uint32_t>& r = found->second;
        std::sort(r.begin(), r.end());
        r.erase(std::unique(r.begin(), r.end()), r.end());
        if (!words.empty()) words += ", ";
        if (r.back() - r.front() + 1 == r.size()) {
            words += RangeWords(n.file, (r.front() - 1) * n.file->recordSize, r.back() * n.file->recordSize, 0);
            continue;
        }
        // "lignes 1, 6 et 11 de la fiche clinique", or "entre les lignes 1 et 12 ..."
        const bool few = r.size() <= 4;
        words += std::string(few ? "" : "entre les ") + n.many + " ";
        for (std::size_t k = 0; k < r.size(); ++k) {
            if (!few && k > 0 && k + 1 < r.size()) continue;
            words += (k == 0 ? "" : k + 1 == r.size() ? " et " : ", ") + Number(r[k]);
        }
        words += n.of;
    }
    return words;
}

// Records in the practice's file, to bound a range named; 0 when unknown.
std::uint32_t RecordsOf(const std::string& directory, const RecordFile* file) {
    if (file == nullptr) return 0;
    const FileHandle h = FileOpen(JoinPath(directory, NamedOf(file).name).c_str(), OpenSharedReadOnly);
    if (h == 0) return 0;
    const std::uint32_t records = FileSizeLow(h) / file->recordSize;
    FileClose(h);
    return records;
}

// The commands of a journal left unfinished, as lines of text (Windows-1252):
// for one written in groups, the lines that may hold changes the journal
// does not have.
std::vector<std::string> Unfinished(const Journal& j, const std::vector<JournalCommandRecord>& commands,
                                    const std::string& directory) {
    std::vector<std::string> lines;
    for (const JournalCommandRecord& c : commands) {
        if (c.ended) continue;
        const std::string name = c.head < j.entries.size() ? j.entries[c.head].command : "?";
        std::string line = "« " + name + " » n'est pas terminée (chkort.exe encore ouvert, ou arrêt brutal) : ";
        if (c.lackFile)
            line += "les " + RangeWords(c.lackFile, c.lackFirst, c.lackEnd, RecordsOf(directory, c.lackFile)) +
                    " peuvent porter des modifications que le journal n'a pas ; vérifiez-les dans ORTAVO";
        else
            line += "le journal a chacune de ses modifications";
        lines.push_back(line);
    }
    return lines;
}

// The end of a journal cut short, for a summary.
std::string CutWords(const Journal& j) {
    std::string words = "journal coupé : ses " + Number(j.size - j.wholeBytes) +
                        " derniers octets, un enregistrement inachevé, ne sont pas lus";
    if (j.format == 1) words += " (ancien journal : sa dernière commande a pu modifier plus qu'il ne dit)";
    return words;
}

void SayLine(const std::string& cp1252) { ConsoleSay(stdout, "%s\n", Cp1252ToUtf8(cp1252).c_str()); }

// ---------------------------------------------------------------- annuler

struct Tally {
    bool dryRun = false;
    unsigned restored = 0, unchanged = 0, kept = 0, failed = 0;
    std::set<std::int32_t> patients;       // of the records kept
    std::set<const RecordFile*> lineFiles; // kept lines of no known patient
    const JournalEntry* first = nullptr;   // of the journal's entries
    std::vector<std::int32_t> patientOf;   // by entry: its command's patient
};

void Report(const JournalEntry& e, UndoOutcome outcome, void* context) {
    Tally& t = *static_cast<Tally*>(context);
    const Named& n = NamedOf(e.file);
    const char* ending = n.plural ? "s" : n.feminine ? "e" : "";
    std::string what;
    switch (outcome) {
    case UndoRestored:
        what = t.dryRun ? "à rétablir" : std::string("rétabli") + ending;
        ++t.restored;
        break;
    case UndoUnchanged: what = "déjà d'origine"; ++t.unchanged; break;
    case UndoKept: {
        what = std::string("conservé") + ending + ", modifié" + ending + " depuis par un autre programme";
        ++t.kept;
        std::int32_t patient = t.patientOf[static_cast<std::size_t>(&e - t.first)];
        if (n.file == &FirstrecFile || n.file == &IdentiteFile) patient = static_cast<std::int32_t>(RecordNumber(e.file, e.offset));
        if (patient > 0) t.patients.insert(patient);
        else t.lineFiles.insert(e.file);
        break;
    }
    case UndoFailed: what = "échec, illisible ou non écrit"; ++t.failed; break;
    }
    SayLine(RecordWords(e.file, e.offset) + " : " + what + " (" + n.name + ", octet " + Number(e.offset) + ")");
}

// The next step after records kept: which diagnosis to run.
void AdviseAfterKept(const Tally& t, const std::string& shownDirectory) {
    SayLine("Attention : " + Number(t.kept) +
            (t.kept > 1 ? " enregistrements conservés : l'annulation n'est que partielle. ORTAVO (ou un autre "
                          "programme) les a modifiés depuis la réparation, et annuler ne remplace pas ce travail."
                        : " enregistrement conservé : l'annulation n'est que partielle. ORTAVO (ou un autre "
                          "programme) l'a modifié depuis la réparation, et annuler ne remplace pas ce travail."));
    std::string patients;
    for (std::int32_t p : t.patients) patients.append(patients.empty() ? "" : ",").append(Number(static_cast<unsigned long>(p)));
    if (!patients.empty())
        ConsoleSay(stdout, "À faire : chkort-cli diagnose %s %s dit si les chaînes de %s sont saines, et sinon quelle "
                           "réparation faire dans chkort.exe.\n",
                   patients.c_str(), shownDirectory.c_str(), t.patients.size() > 1 ? "ces patients" : "ce patient");
    for (const RecordFile* f : t.lineFiles)
        ConsoleSay(stdout, "À faire : chkort-cli test %s %s dit si des chaînes sont à réparer ; vérifiez aussi ces "
                           "lignes dans ORTAVO.\n",
                   f == &EstimeFile ? "devis" : "clinique", shownDirectory.c_str());
    SayLine("Si le doute reste, remettez la copie du dossier de données faite avant les réparations.");
}

// A journal given by its full path lies in its practice's chkort-journal
// folder: the practice is that folder's parent.
std::string PracticeOfJournal(const std::string& journal) {
    const std::size_t slash = journal.find_last_of("/\\");
    if (slash == std::string::npos || slash == 0) return std::string();
    const std::string folder = journal.substr(0, slash);
    const std::size_t up = folder.find_last_of("/\\");
    if (up == std::string::npos) return std::string();
    std::string name = folder.substr(up + 1);
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return name == JournalFolder ? folder.substr(0, up == 0 ? 1 : up) : std::string();
}

} // namespace

int RunUndo(const CliOptions& given) {
    CliOptions o = given;
    if (!o.directoryGiven && IsFile(o.journal)) {
        const std::string practice = PracticeOfJournal(o.journal);
        if (!practice.empty()) o.directory = practice;
    }
    const std::string shownDirectory = ShownDirectory(o);
    if (!IsDirectory(o.directory)) {
        return Refuse(IsFile(o.directory) ? "%s n'est pas un dossier\n" : "dossier introuvable : %s\n",
                      shownDirectory.c_str());
    }
    const std::string path =
        IsFile(o.journal) ? o.journal : JoinPath(JoinPath(o.directory, JournalFolder), o.journal.c_str());
    const std::string shown = NativeToUtf8(o.journal);
    Journal journal;
    if (!IsFile(path)) return Refuse("journal introuvable : %s\n", shown.c_str());
    if (!ReadJournal(path.c_str(), journal)) return Refuse("%s n'est pas un journal de chkort.exe lisible\n", shown.c_str());

    // Only the files the journal writes are opened: for writing, unless on
    // trial, which says which of them the real run could not write.
    std::set<const RecordFile*> files;
    for (const JournalEntry& e : journal.entries)
        if (e.kind == 'W' && e.file) files.insert(e.file);
    std::vector<std::string> unwritable;
    for (const Named& n : NamedFiles) {
        if (!files.count(n.file)) continue;
        const std::string file = JoinPath(o.directory, n.name);
        const std::string shownFile = JoinPath(shownDirectory, n.name);
        if (!IsFile(file)) return Refuse("fichier introuvable : %s\n", shownFile.c_str());
        FileHandle h = FileOpen(file.c_str(), OpenSharedExisting);
        if (h == 0 && !o.dryRun)
            return Refuse("impossible d'ouvrir en écriture le fichier %s : rien n'est annulé\n", shownFile.c_str());
        if (h == 0) unwritable.push_back(shownFile);
        if (o.dryRun) {
            FileClose(h);
            h = FileOpen(file.c_str(), OpenSharedReadOnly);
        }
        *n.file->handle = h;
        if (*n.file->handle == 0) return Refuse("impossible d'ouvrir en lecture le fichier %s\n", shownFile.c_str());
    }

    const std::vector<JournalCommandRecord> commands = JournalCommands(journal);
    Tally tally;
    tally.dryRun = o.dryRun;
    tally.first = journal.entries.data();
    tally.patientOf.assign(journal.entries.size(), 0);
    for (const JournalCommandRecord& c : commands)
        for (std::size_t i = c.head + 1; i < c.end; ++i) tally.patientOf[i] = journal.entries[c.head].subject.patient;
    UndoJournal(journal, o.dryRun, Report, &tally);

    std::string summary = Number(tally.restored) + (o.dryRun ? " à rétablir" : tally.restored > 1 ? " rétablis" : " rétabli") +
                          ", " + Number(tally.unchanged) + " déjà d'origine, " + Number(tally.kept) +
                          (tally.kept > 1 ? " conservés" : " conservé") + ", " + Number(tally.failed) + " en échec";
    if (journal.cut) summary += " ; " + CutWords(journal);
    SayLine(summary);
    const std::vector<std::string> unfinished = Unfinished(journal, commands, o.directory);
    for (const std::string& line : unfinished) SayLine("Attention : " + line + ".");
    for (const std::string& file : unwritable)
        ConsoleSay(stdout, "%s ne peut pas être ouvert en écriture : annuler sans --essai s'arrêtera là, sans rien "
                           "écrire (fichier en lecture seule, ou droits insuffisants).\n",
                   file.c_str());
    if (tally.kept) AdviseAfterKept(tally, shownDirectory);
    return tally.kept || tally.failed || journal.cut || !unfinished.empty() || !unwritable.empty() ? ExitFindings
                                                                                                 : ExitClean;
}

int RunJournals(const CliOptions& o) {
    const std::string shownDirectory = ShownDirectory(o);
    if (!IsDirectory(o.directory)) return Refuse("dossier introuvable : %s\n", shownDirectory.c_str());
    const std::string folder = JoinPath(o.directory, JournalFolder);
    bool findings = false;
    unsigned listed = 0;
    for (const std::string& name : FilesIn(folder)) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".jnl") != 0) continue;
        ++listed;
        const std::string shown = NativeToUtf8(name);
        Journal j;
        if (!ReadJournal(JoinPath(folder, name.c_str()).c_str(), j)) {
            ConsoleSay(stdout, "%s : illisible\n", shown.c_str());
            findings = true;
            continue;
        }
        const std::vector<JournalCommandRecord> commands = JournalCommands(j);
        std::set<std::pair<const RecordFile*, std::uint32_t>> distinct;
        for (const JournalEntry& e : j.entries)
            if (e.kind == 'W') distinct.insert({e.file, e.offset});
        const auto records = static_cast<unsigned>(distinct.size());
        ConsoleSay(stdout, "%s  %s  %u enregistrement%s modifié%s\n", shown.c_str(), ShownTime(j.time).c_str(), records,
                   records > 1 ? "s" : "", records > 1 ? "s" : "");
        for (const JournalCommandRecord& c : commands) {
            const JournalEntry* head = c.head < j.entries.size() ? &j.entries[c.head] : nullptr;
            const std::string subject = SubjectWords(j, c);
            SayLine("  " + ShownTime(head ? head->time : "") + "  " + (head ? head->command : "(sans commande)") +
                    (subject.empty() ? "" : ", " + subject) + " : " + Number(c.records) +
                    (c.records > 1 ? " enregistrements modifiés" : " enregistrement modifié"));
        }
        for (const std::string& line : Unfinished(j, commands, o.directory)) {
            SayLine("  " + line);
            findings = true;
        }
        if (j.cut) {
            SayLine("  " + CutWords(j));
            findings = true;
        }
    }
    if (listed == 0) ConsoleSay(stdout, "aucun journal dans %s\n", NativeToUtf8(folder).c_str());
    return findings ? ExitFindings : ExitClean;
}
