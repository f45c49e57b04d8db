// reparer: every repair of the diagnosis that is sure (checks/repair_plan.h),
// made through the window's own commands and dialogs and journaled as the
// window journals them; the rest is left to a person, with what to do in
// the window. Then the test of each chain file written runs again.
#include "checks/repair_plan.h"
#include "checks/repair_words.h"
#include "console/cli.h"
#include "console/shell_stubs.h"
#include "platform/paths.h"
#include "resources/resource.h"
#include "resources/version.h"
#include "shell/app.h"
#include "store/datafiles.h"
#include "store/journal.h"
#include "store/state.h"

#include <cstdio>

namespace {

// How the window repairs each chain.
struct ChainCommands {
    unsigned viewFromStart, viewFromEnd, firstrec;
    // For the journal's commands.
    const char* viewName, *viewFromEndName, *firstrecName;
};
const ChainCommands Commands[PlanChainCount] = {
    {CMD_CLINICAL_FROM_START, CMD_CLINICAL_FROM_END, CMD_FIRSTREC_CLINICAL, "fiche clinique à partir du début",
     "fiche clinique à partir de la fin", "Correction du Firstrec pour clinique"},
    {CMD_QUOTES_FROM_START, CMD_QUOTES_FROM_END, CMD_FIRSTREC_QUOTES, "devis à partir du début",
     "devis à partir de la fin", "Correction du Firstrec pour devis"},
    {CMD_DENTAL_CHART, CMD_DENTAL_CHART, CMD_FIRSTREC_CHART, "schéma dentaire", "schéma dentaire",
     "Correction du Firstrec pour schéma dentaire"},
};

// The diagnosis' repair of one chain, as a technician makes it in the window:
// the patient's view, then Options > Corriger with the line to type; or the
// firstrec correction and its dialog. Each is a command of its own in the
// journal. False when a transfer failed (after its box).
bool MakeRepair(const RepairPlan& plan, int chain, std::int32_t p) {
    RepairKind kind;
    std::int32_t ordinal = 0, start = 0, end = 0;
    if (chain == PlanSchema) {
        const ChartDiagnosis& d = plan.chart.diagnoses.at(p);
        kind = d.repair, ordinal = d.ordinal;
    } else {
        const ChainDiagnosis& d = plan.lines[chain].diagnoses.at(p);
        kind = d.repair, ordinal = d.ordinal, start = d.newStart, end = d.newEnd;
    }
    const ChainCommands& c = Commands[chain];
    const std::string patient = std::to_string(p);
    ConsoleForget();
    if (kind == RepairFirstrec) {
        const std::string name = chain == PlanSchema
                                     ? Format("reparer, patient %ld : %s, %ld", static_cast<long>(p), c.firstrecName,
                                              static_cast<long>(start))
                                     : Format("reparer, patient %ld : %s, %ld et %ld", static_cast<long>(p),
                                              c.firstrecName, static_cast<long>(start), static_cast<long>(end));
        JournalCommand(name.c_str());
        TypeIntoNextDialog({patient, std::to_string(start), std::to_string(end)});
        DispatchCommand(MainWindow, c.firstrec);
    } else {
        const bool fromEnd = kind == RepairCutFromEnd;
        JournalCommand(Format("reparer, patient %ld : Corriger, %s, ligne %ld", static_cast<long>(p),
                              fromEnd ? c.viewFromEndName : c.viewName, static_cast<long>(ordinal))
                           .c_str());
        TypeIntoNextDialog({patient});
        DispatchCommand(MainWindow, fromEnd ? c.viewFromEnd : c.viewFromStart);
        TypeIntoNextDialog({std::to_string(ordinal)});
        CorrectCurrentView(MainWindow);
    }
    return ConsoleBoxes().empty();
}

// The journal's file name, without its folder.
std::string JournalName() {
    const std::string& path = JournalPath();
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// On Windows a data file held open for writing by another program (the host,
// chkort.exe) cannot be opened without write sharing; say which, and that the
// program must be closed. Elsewhere an advisory lock keeps out another
// reparer only.
bool HeldElsewhere(const CliOptions& o, std::initializer_list<const char*> files) {
    if (!IsDirectory(o.directory)) return false; // OpenPractice says why
    for (const char* name : files) {
        const std::string path = JoinPath(o.directory, name);
        const FileHandle guarded = FileOpen(path.c_str(), OpenGuardedExisting);
        if (guarded != 0) {
            FileClose(guarded);
            continue;
        }
        const FileHandle shared = FileOpen(path.c_str(), OpenSharedExisting);
        if (shared == 0) continue; // missing or not writable: OpenPractice says which
        FileClose(shared);
        Refuse("%s est ouvert en écriture par un autre programme (ORTAVO, chkort.exe ou une autre réparation) : "
               "fermez ce programme, puis relancez chkort-cli reparer ; rien n'a été écrit\n",
               NativeToUtf8(path).c_str());
        return true;
    }
    return false;
}

// Every sure repair, patient by patient. The journal is made before the
// first data write: false, with nothing written, when it cannot be.
bool MakeSureRepairs(const RepairPlan& plan, RepairRun& run) {
    std::size_t toMake = 0, made = 0;
    for (const PatientPlan& pp : plan.patients)
        for (const ChainPlan& c : pp.chains) toMake += c.sure;
    if (toMake == 0) return true;
    char directory[256];
    WorkingDirectory(directory, sizeof directory);
    JournalStart(directory);
    if (!JournalCreate()) {
        JournalStop();
        return false;
    }
    run.journal = JournalName();
    for (std::size_t i = 0; i < plan.patients.size() && !run.stopped; ++i) {
        const PatientPlan& pp = plan.patients[i];
        // The patient's repairs are one batch: their journal records reach
        // the disk in one flush, before any of their data writes, which wait
        // in the journal until then (the later repairs read what the earlier
        // ones wrote from there).
        JournalBatchBegin();
        for (int c = 0; c < PlanChainCount && !run.stopped; ++c) {
            if (!pp.chains[c].sure) continue;
            ConsoleProgress("réparations", static_cast<long long>(made++), static_cast<long long>(toMake));
            run.touched[c] = true;
            run.stopped = !MakeRepair(plan, c, pp.patient);
            if (!run.stopped) run.runs[i][static_cast<std::size_t>(c)].outcome = OutcomeRepaired;
        }
        if (!JournalBatchEnd() || !ConsoleBoxes().empty()) {
            // Nothing of the patient's is known to be whole: the test that
            // follows says what its chains hold.
            run.stopped = true;
            for (ChainRun& r : run.runs[i]) r.outcome = OutcomeNone;
        }
    }
    ConsoleProgressEnd();
    JournalStop();
    if (run.stopped)
        ConsoleSay(stderr, "chkort-cli: reparer s'est arrêté sur cette erreur ; ce qui a été écrit jusque-là est dans "
                           "le journal %s\n",
                   run.journal.c_str());
    return true;
}

} // namespace

int RunRepair(const CliOptions& o) {
    const std::initializer_list<const char*> files = {"lastrec", "firstrec", "clinique", "estime", "Fschema"};
    if (!o.dryRun && HeldElsewhere(o, files)) return ExitCannotRun;
    DataFilesGuarded = !o.dryRun;
    const bool opened = OpenPractice(o, files, !o.dryRun);
    DataFilesGuarded = false;
    if (!opened || !KnownPatients(o)) return ExitCannotRun;
    void (*const progress)(std::int32_t) = ConsoleStderrIsTerminal() ? ShowTestProgress : nullptr;

    RepairPlan plan;
    PlanRepairs(o.patients, o.allPatients, progress, plan);
    ConsoleProgressEnd();
    RepairRun run;
    run.runs.assign(plan.patients.size(), std::vector<ChainRun>(PlanChainCount));
    if (!o.dryRun) {
        if (!MakeSureRepairs(plan, run))
            return Refuse("le journal d'annulation ne peut pas être créé dans %s : %s ; rien n'a été écrit\n",
                          JoinPath(ShownDirectory(o), JournalFolder).c_str(), Cp1252ToUtf8(JournalRefusalCause()).c_str());
        RecheckPlan(plan, run.touched, progress, run.recheck);
        ConsoleProgressEnd();
    }
    JudgeRun(plan, o.dryRun, o.json, run);
    if (o.json) {
        char directory[1024];
        WorkingDirectory(directory, sizeof directory);
        const std::string patients = RepairRunJson(plan, run, o.dryRun);
        std::printf("{\n  \"tool\": \"chkort-cli\",\n  \"version\": \"%s\",\n  \"command\": \"reparer\",\n"
                    "  \"directory\": %s,\n  \"essai\": %s,\n  \"status\": \"%s\",\n  \"journal\": %s,\n"
                    "  \"repaired\": %zu,\n  \"to_repair\": %zu,\n  \"to_examine\": %s,\n  \"firstrec_ends_before\": %s,\n"
                    "  \"patients\": [%s%s%s]\n}\n",
                    CHKORT_VERSION_TEXT, JsonQuote(NativeToUtf8(directory)).c_str(), o.dryRun ? "true" : "false",
                    run.remains ? "damaged" : "ok", run.journal.empty() ? "null" : JsonQuote(run.journal).c_str(),
                    run.repaired, run.toRepair, NumbersJson(run.toExamine).c_str(),
                    plan.endedAt ? std::to_string(plan.endedAt).c_str() : "null", patients.empty() ? "" : "\n",
                    patients.c_str(), patients.empty() ? "" : "\n  ");
    } else {
        std::fputs(Cp1252ToUtf8(RepairRunText(plan, run, o.dryRun), TextKeepControls | TextWalkMarks).c_str(), stdout);
    }
    return run.remains || (o.dryRun && run.toRepair) ? ExitFindings : ExitClean;
}
