#include "repairs/journal_words.h"

#include "platform/console/text.h"
#include "window/state.h"

#include <algorithm>
#include <map>

const JournalFileWords JournalFiles[5] = {
    {&CliniqueFile, "clinique", "ligne", "lignes", " de la fiche clinique", true, false},
    {&EstimeFile, "estime", "ligne", "lignes", " du devis", true, false},
    {&FschemaFile, "Fschema", "entrée", "entrées", " du schéma dentaire", true, false},
    {&FirstrecFile, "firstrec", "pointeurs firstrec du patient", "pointeurs firstrec des patients", "", false, true},
    {&IdentiteFile, "identite", "fiche d'identité du patient", "fiches d'identité des patients", "", true, false},
};

namespace {

const JournalFileWords Unknown{nullptr, "?", "enregistrement", "enregistrements", " d'un fichier inconnu", false, false};

const JournalFileWords& WordsOf(const RecordFile* file) {
    for (const JournalFileWords& n : JournalFiles)
        if (n.file == file) return n;
    return Unknown;
}

std::uint32_t RecordNumber(const RecordFile* file, std::uint32_t offset) {
    return file ? offset / file->recordSize + 1 : 0;
}

std::string RecordWords(const RecordFile* file, std::uint32_t offset) {
    const JournalFileWords& n = WordsOf(file);
    return Format("%s %u%s", n.one, RecordNumber(file, offset), n.of);
}

// "lignes 10 à 4105 de la fiche clinique", the last clamped to the file's
// `records` when known.
std::string RangeWords(const RecordFile* file, std::uint32_t first, std::uint32_t end, std::uint32_t records) {
    const JournalFileWords& n = WordsOf(file);
    std::uint32_t from = RecordNumber(file, first), to = file ? end / file->recordSize : 0;
    if (records > 0 && to > records) to = records;
    if (to <= from) return RecordWords(file, first);
    return Format("%s %u à %u%s", n.many, from, to, n.of);
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
    if (s.patient > 0) return "patient " + std::to_string(s.patient) + (view ? std::string(", ") + view : "");
    // The records of each file.
    std::map<const RecordFile*, std::vector<std::uint32_t>> changed;
    for (std::size_t i = c.head + 1; i < c.end; ++i)
        if (j.entries[i].kind == 'W') changed[j.entries[i].file].push_back(RecordNumber(j.entries[i].file, j.entries[i].offset));
    std::string words;
    for (const JournalFileWords& n : JournalFiles) {
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
            words += (k == 0 ? "" : k + 1 == r.size() ? " et " : ", ") + std::to_string(r[k]);
        }
        words += n.of;
    }
    return words;
}

// The commands of a journal left unfinished: for one written in groups, the
// records that may hold changes the journal does not have, bounded by the
// file's records.
std::vector<std::string> Unfinished(const Journal& j, const std::vector<JournalCommandRecord>& commands,
                                    JournalFileSize sizeOf, const void* context) {
    std::vector<std::string> lines;
    for (const JournalCommandRecord& c : commands) {
        if (c.ended) continue;
        const std::string name = c.head < j.entries.size() ? j.entries[c.head].command : "?";
        std::string line = "« " + name + " » n'est pas terminée (chkort.exe encore ouvert, ou arrêt brutal) : ";
        if (c.lackFile) {
            const std::uint32_t records = sizeOf(WordsOf(c.lackFile).name, context) / c.lackFile->recordSize;
            line += "les " + RangeWords(c.lackFile, c.lackFirst, c.lackEnd, records) +
                    " peuvent porter des modifications que le journal n'a pas ; vérifiez-les dans ORTAVO";
        } else {
            line += "le journal a chacune de ses modifications";
        }
        lines.push_back(line);
    }
    return lines;
}

// The end of a journal cut short, for a summary.
std::string CutWords(const Journal& j) {
    std::string words = "journal coupé : ses " + std::to_string(j.size - j.wholeBytes) +
                        " derniers octets, un enregistrement inachevé, ne sont pas lus";
    if (j.format == 1) words += " (ancien journal : sa dernière commande a pu modifier plus qu'il ne dit)";
    return words;
}

} // namespace

JournalLines ListJournal(const Journal& j, JournalFileSize sizeOf, const void* context) {
    const std::vector<JournalCommandRecord> commands = JournalCommands(j);
    std::set<std::pair<const RecordFile*, std::uint32_t>> distinct;
    for (const JournalEntry& e : j.entries)
        if (e.kind == 'W') distinct.insert({e.file, e.offset});
    JournalLines out;
    out.heading = Format("%s  %zu enregistrement%s modifié%s", ShownTime(j.time).c_str(), distinct.size(),
                         Plural(static_cast<long long>(distinct.size())), Plural(static_cast<long long>(distinct.size())));
    for (const JournalCommandRecord& c : commands) {
        const JournalEntry* head = c.head < j.entries.size() ? &j.entries[c.head] : nullptr;
        const std::string subject = SubjectWords(j, c);
        out.lines.push_back("  " + ShownTime(head ? head->time : "") + "  " + (head ? head->command : "(sans commande)") +
                            (subject.empty() ? "" : ", " + subject) + " : " + std::to_string(c.records) +
                            (c.records > 1 ? " enregistrements modifiés" : " enregistrement modifié"));
    }
    std::vector<std::string> wrong = Unfinished(j, commands, sizeOf, context);
    if (j.cut) wrong.push_back(CutWords(j));
    for (const std::string& line : wrong) out.lines.push_back("  " + line);
    out.findings = !wrong.empty();
    return out;
}

UndoTally StartUndoTally(const Journal& journal, const std::vector<JournalCommandRecord>& commands, bool dryRun) {
    UndoTally t;
    t.dryRun = dryRun;
    t.first = journal.entries.data();
    t.patientOf.assign(journal.entries.size(), 0);
    for (const JournalCommandRecord& c : commands)
        for (std::size_t i = c.head + 1; i < c.end; ++i) t.patientOf[i] = journal.entries[c.head].subject.patient;
    return t;
}

std::string UndoReportLine(UndoTally& t, const JournalEntry& e, UndoOutcome outcome) {
    const JournalFileWords& n = WordsOf(e.file);
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
    return RecordWords(e.file, e.offset) + " : " + what + " (" + n.name + ", octet " + std::to_string(e.offset) + ")";
}

JournalLines UndoSummary(const Journal& journal, const std::vector<JournalCommandRecord>& commands,
                         const UndoTally& t, JournalFileSize sizeOf, const void* context) {
    JournalLines out;
    out.heading = Format("%u %s, %u déjà d'origine, %u conservé%s, %u en échec", t.restored,
                         t.dryRun ? "à rétablir" : t.restored > 1 ? "rétablis" : "rétabli", t.unchanged, t.kept,
                         Plural(t.kept), t.failed);
    if (journal.cut) out.heading += " ; " + CutWords(journal);
    for (const std::string& line : Unfinished(journal, commands, sizeOf, context))
        out.lines.push_back("Attention : " + line + ".");
    out.findings = t.kept || t.failed || journal.cut || !out.lines.empty();
    return out;
}

std::vector<std::string> UndoAdvice(const UndoTally& t) {
    if (t.kept == 0) return {};
    std::vector<std::string> lines{
        "Attention : " + std::to_string(t.kept) +
        (t.kept > 1 ? " enregistrements conservés : l'annulation n'est que partielle. ORTAVO (ou un autre "
                      "programme) les a modifiés depuis la réparation, et annuler ne remplace pas ce travail."
                    : " enregistrement conservé : l'annulation n'est que partielle. ORTAVO (ou un autre "
                      "programme) l'a modifié depuis la réparation, et annuler ne remplace pas ce travail.")};
    std::string patients;
    for (std::int32_t p : t.patients) patients.append(patients.empty() ? "" : ",").append(std::to_string(p));
    if (!patients.empty())
        lines.push_back("À faire : chkort-cli diagnose " + patients + " %s dit si les chaînes de " +
                        (t.patients.size() > 1 ? "ces patients" : "ce patient") +
                        " sont saines, et sinon quelle réparation faire dans chkort.exe.");
    // The chains of lines have a test; the dental chart's entries have none.
    for (const RecordFile* f : {&CliniqueFile, &EstimeFile})
        if (t.lineFiles.count(f))
            lines.push_back(std::string("À faire : chkort-cli test ") + (f == &EstimeFile ? "devis" : "clinique") +
                            " %s dit si des chaînes sont à réparer ; vérifiez aussi ces lignes dans ORTAVO.");
    lines.push_back("Si le doute reste, remettez la copie du dossier de données faite avant les réparations.");
    return lines;
}

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
