// `journal` lists the window's journals of a practice; `annuler` puts back
// what one of them says the window replaced. The words are the core's
// (repairs/journal_words.h); here, the files opened and the lines printed.
#include "console/cli.h"
#include "platform/paths.h"
#include "repairs/journal_words.h"

#include <cstdio>
#include <set>

namespace {

// The size of a file of the practice whose directory is `context`.
std::uint32_t SizeOf(const char* name, const void* context) {
    const FileHandle h = FileOpen(JoinPath(*static_cast<const std::string*>(context), name).c_str(), OpenSharedReadOnly);
    if (h == 0) return 0;
    const std::uint32_t size = FileSizeLow(h);
    FileClose(h);
    return size;
}

void SayLine(const std::string& cp1252) { ConsoleSay(stdout, "%s\n", Cp1252ToUtf8(cp1252).c_str()); }

void Report(const JournalEntry& e, UndoOutcome outcome, void* tally) {
    SayLine(UndoReportLine(*static_cast<UndoTally*>(tally), e, outcome));
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
    for (const JournalFileWords& n : JournalFiles) {
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
    UndoTally tally = StartUndoTally(journal, commands, o.dryRun);
    UndoJournal(journal, o.dryRun, Report, &tally);
    const JournalLines summary = UndoSummary(journal, commands, tally, SizeOf, &o.directory);
    SayLine(summary.heading);
    for (const std::string& line : summary.lines) SayLine(line);
    for (const std::string& file : unwritable)
        ConsoleSay(stdout, "%s ne peut pas être ouvert en écriture : annuler sans --essai s'arrêtera là, sans rien "
                           "écrire (fichier en lecture seule, ou droits insuffisants).\n",
                   file.c_str());
    for (const std::string& line : UndoAdvice(tally)) ConsoleSay(stdout, (line + "\n").c_str(), shownDirectory.c_str());
    return summary.findings || !unwritable.empty() ? ExitFindings : ExitClean;
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
        const JournalLines listing = ListJournal(j, SizeOf, &o.directory);
        ConsoleSay(stdout, "%s  %s\n", shown.c_str(), Cp1252ToUtf8(listing.heading).c_str());
        for (const std::string& line : listing.lines) SayLine(line);
        findings = findings || listing.findings;
    }
    if (listed == 0) ConsoleSay(stdout, "aucun journal dans %s\n", NativeToUtf8(folder).c_str());
    return findings ? ExitFindings : ExitClean;
}
