// diagnose: the core's diagnosis of the patients asked for, as text or JSON.
#include "checks/practice_diagnosis.h"
#include "checks/repair_words.h"
#include "console/cli.h"
#include "platform/paths.h"
#include "resources/version.h"
#include "store/state.h"

#include <cstdio>

int RunDiagnose(const CliOptions& o) {
    if (!OpenPractice(o, {"lastrec", "firstrec"}) || !KnownPatients(o)) return ExitCannotRun;
    // A chain whose file is missing is said to be so; the others are
    // diagnosed all the same.
    const std::pair<FileHandle*, const char*> chainFiles[] = {
        {&hClinique, "clinique"}, {&hEstime, "estime"}, {&hFschema, "Fschema"}};
    for (const auto& [handle, name] : chainFiles) {
        std::string why;
        *handle = OpenPracticeFile(o, name, why);
        if (*handle == 0) ConsoleSay(stderr, "chkort-cli: %s\n", why.c_str());
    }
    PracticeDiagnosis d;
    // The window's boxes say nothing here that the diagnosis does not.
    ConsoleMuteBoxes(true);
    DiagnosePractice(o.patients, o.allPatients, o.json, ConsoleStderrIsTerminal() ? ShowTestProgress : nullptr, d);
    ConsoleMuteBoxes(false);
    ConsoleProgressEnd();

    std::string json, text, unread; // unread: the chains not diagnosed, for the last line
    for (const PatientDiagnosis& pd : d.patients) {
        const long p = pd.patient;
        std::string chainsJson;
        for (int i = 0; i < PlanChainCount; ++i) {
            const ChainExplanation& c = pd.chains[i];
            chainsJson += (i ? ",\n        " : "        ") + c.json;
            text += Format("Patient %ld — %s : %s\n", p, PlanChainNames[i].title, ChainVerdict(c, i == 0));
            for (const std::string& line : c.text) text += "  " + line + "\n";
        }
        text += "\n";
        json += Format("%s    {\"patient\": %ld, \"status\": \"%s\", \"chains\": [\n", json.empty() ? "" : ",\n", p,
                       pd.repairable || pd.damaged ? "damaged" : "ok") +
                chainsJson + "\n    ]}";
    }
    for (int i = 0; i < PlanChainCount; ++i)
        if (!d.open[i]) unread += Format("%s%s", unread.empty() ? "" : ", ", PlanChainNames[i].title);
    const bool findings = !d.toRepair.empty() || !d.reportedOnly.empty() || !d.unreadable.empty() || !unread.empty();
    const std::string unreadableList = NumberList(d.unreadable);
    const long long unreadableCount = NumberCount(d.unreadable);
    if (o.json) {
        char directory[1024];
        WorkingDirectory(directory, sizeof directory);
        std::string runs;
        for (const NumberRun& r : d.unreadable)
            runs += Format("%s{\"first\": %ld, \"last\": %ld}", runs.empty() ? "" : ", ", static_cast<long>(r.first),
                           static_cast<long>(r.last));
        std::printf("{\n  \"tool\": \"chkort-cli\",\n  \"version\": \"%s\",\n  \"command\": \"diagnose\",\n"
                    "  \"directory\": %s,\n  \"status\": \"%s\",\n  \"unreadable_patients\": [%s],\n"
                    "  \"patients\": [%s%s%s]\n}\n",
                    CHKORT_VERSION_TEXT, JsonQuote(NativeToUtf8(directory)).c_str(), findings ? "damaged" : "ok",
                    runs.c_str(), json.empty() ? "" : "\n", json.c_str(), json.empty() ? "" : "\n  ");
    } else {
        if (d.patients.empty() && d.unreadable.empty())
            text = unread.empty() ? "Aucun patient à réparer.\n\n" : "Aucun patient à réparer dans ce qui a pu être lu.\n\n";
        if (!text.empty() && d.unreadable.empty()) text.pop_back(); // no blank line after the last patient
        if (unreadableCount == 1)
            text += Format("Patient %s — firstrec illisible\n  Le fichier firstrec est plus court que son compteur : "
                           "l'enregistrement firstrec du patient manque, rien ne peut être dit de ses chaînes.\n",
                           unreadableList.c_str());
        else if (unreadableCount > 1)
            text += Format("Patients %s — firstrec illisible\n  Le fichier firstrec est plus court que son compteur : "
                           "l'enregistrement firstrec de ces patients manque, rien ne peut être dit de leurs "
                           "chaînes.\n",
                           unreadableList.c_str());
        std::fputs(Cp1252ToUtf8(text, TextKeepControls | TextWalkMarks).c_str(), stdout);
    }

    // Last, what the exit status says.
    std::string verdict;
    auto add = [&verdict](const std::string& part) { verdict += (verdict.empty() ? "" : " ; ") + part; };
    if (!d.toRepair.empty())
        add(Format("à réparer : patient%s %s", Plural(d.toRepair.size()), NumberList(d.toRepair).c_str()));
    if (!d.reportedOnly.empty())
        add(Format("signalé%s, rien à réparer : patient%s %s", Plural(d.reportedOnly.size()),
                   Plural(d.reportedOnly.size()), NumberList(d.reportedOnly).c_str()));
    if (unreadableCount)
        add(Format("firstrec illisible : patient%s %s (aucune réparation de chkort ne rallonge un fichier : voir "
                   "chkort-cli sizes)",
                   Plural(unreadableCount), unreadableList.c_str()));
    if (verdict.empty())
        verdict = !unread.empty()              ? "rien à signaler dans ce qui a pu être lu"
                  : o.allPatients              ? "aucun patient à réparer"
                  : d.patients.size() == 1     ? "rien à signaler pour ce patient"
                                               : "rien à signaler pour ces patients";
    if (!unread.empty()) add("pas de diagnostic, faute de son fichier : " + unread);
    ConsoleSay(stderr, "chkort-cli: %s.\n", Cp1252ToUtf8(verdict).c_str());
    return findings ? ExitFindings : ExitClean;
}
