// `journal` lists the window's journals of a practice; `annuler` puts back
// what one of them says the window replaced.
#include "console/cli.h"
#include "console/system.h"
#include "store/journal.h"

#include <cstdio>

namespace {

const char* FileName(const RecordFile* file) {
    if (file == &FirstrecFile) return "firstrec";
    if (file == &IdentiteFile) return "identite";
    if (file == &CliniqueFile) return "clinique";
    if (file == &EstimeFile) return "estime";
    if (file == &FschemaFile) return "Fschema";
    return "?";
}

// "AAAAMMJJHHMMSS" as "JJ/MM/AAAA HH:MM:SS".
std::string ShownTime(const std::string& t) {
    if (t.size() != 14) return t;
    return t.substr(6, 2) + "/" + t.substr(4, 2) + "/" + t.substr(0, 4) + " " + t.substr(8, 2) + ":" +
           t.substr(10, 2) + ":" + t.substr(12, 2);
}

void SayCut(const Journal& j, const std::string& shown) {
    ConsoleSay(stderr,
               "chkort-cli: %s est coupé : %lu octets après son dernier enregistrement entier (un arrêt pendant "
               "son écriture) ; il est lu jusque-là\n",
               shown.c_str(), static_cast<unsigned long>(j.size - j.wholeBytes));
}

struct Tally {
    bool dryRun;
    unsigned restored = 0, unchanged = 0, kept = 0, failed = 0;
};

void Report(const JournalEntry& e, UndoOutcome outcome, void* context) {
    Tally& t = *static_cast<Tally*>(context);
    const char* what = "";
    switch (outcome) {
    case UndoRestored: what = t.dryRun ? "à rétablir" : "rétabli"; ++t.restored; break;
    case UndoUnchanged: what = "déjà d'origine"; ++t.unchanged; break;
    case UndoKept: what = "conservé, modifié depuis par un autre programme"; ++t.kept; break;
    case UndoFailed: what = "échec, illisible ou non écrit"; ++t.failed; break;
    }
    const unsigned long size = e.file ? e.file->recordSize : 1;
    ConsoleSay(stdout, "%s enregistrement %lu (octet %lu) : %s\n", FileName(e.file),
               static_cast<unsigned long>(e.offset / size + 1), static_cast<unsigned long>(e.offset),
               Cp1252ToUtf8(what).c_str());
}

} // namespace

int RunUndo(const CliOptions& o) {
    if (!OpenPractice(o, {"lastrec", "firstrec", "identite", "clinique", "estime", "Fschema"}, !o.dryRun))
        return ExitCannotRun;
    const std::string path = IsFile(o.journal) ? o.journal : JoinPath(JournalFolder, o.journal.c_str());
    const std::string shown = NativeToUtf8(o.journal);
    Journal journal;
    if (!IsFile(path)) return Refuse("journal introuvable : %s\n", shown.c_str());
    if (!ReadJournal(path.c_str(), journal)) return Refuse("%s n'est pas un journal de chkort.exe lisible\n", shown.c_str());
    if (journal.cut) SayCut(journal, shown);
    Tally tally{o.dryRun};
    UndoJournal(journal, o.dryRun, Report, &tally);
    const char* restored = o.dryRun ? "à rétablir" : tally.restored > 1 ? "rétablis" : "rétabli";
    ConsoleSay(stdout, "%u %s, %u déjà d'origine, %u conservé%s, %u en échec\n", tally.restored,
               Cp1252ToUtf8(restored).c_str(), tally.unchanged, tally.kept, tally.kept > 1 ? "s" : "", tally.failed);
    return tally.kept || tally.failed || journal.cut ? ExitFindings : ExitClean;
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
        unsigned writes = 0;
        for (const JournalEntry& e : j.entries) writes += e.kind == 'W';
        ConsoleSay(stdout, "%s  %s  %u enregistrement%s modifié%s\n", shown.c_str(), ShownTime(j.time).c_str(), writes,
                   writes > 1 ? "s" : "", writes > 1 ? "s" : "");
        for (std::size_t i = 0; i < j.entries.size(); ++i) {
            if (j.entries[i].kind != 'C') continue;
            unsigned n = 0;
            for (std::size_t k = i + 1; k < j.entries.size() && j.entries[k].kind == 'W'; ++k) ++n;
            const std::string command = Cp1252ToUtf8(j.entries[i].command);
            ConsoleSay(stdout, "  %s  %s : %u\n", ShownTime(j.entries[i].time).c_str(), command.c_str(), n);
        }
        if (j.cut) {
            SayCut(j, shown);
            findings = true;
        }
    }
    if (listed == 0) ConsoleSay(stdout, "aucun journal dans %s\n", NativeToUtf8(folder).c_str());
    return findings ? ExitFindings : ExitClean;
}
