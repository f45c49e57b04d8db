// diagnose: one patient's chains, what the test says of them, what is wrong,
// and the window's repair with the values to type, in plain French.
#include "checks/diagnosis.h"
#include "checks/explain.h"
#include "console/cli.h"
#include "console/system.h"
#include "resources/version.h"
#include "store/state.h"
#include "window/state.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

int RunDiagnose(const CliOptions& o) {
    if (!OpenPractice(o, {"lastrec", "firstrec"})) return ExitCannotRun;
    for (const std::int32_t p : o.patients) {
        CliOptions one = o;
        one.patient = p;
        if (!KnownPatient(one)) return ExitCannotRun;
    }
    // A chain whose file is missing is said to be so; the others are
    // diagnosed all the same.
    struct ChainFile {
        const char* name;
        FileHandle* handle;
    };
    const ChainFile chainFiles[3] = {{"clinique", &hClinique}, {"estime", &hEstime}, {"Fschema", &hFschema}};
    for (const ChainFile& f : chainFiles) {
        std::string why;
        *f.handle = OpenPracticeFile(o, f.name, why);
        if (*f.handle == 0) ConsoleSay(stderr, "chkort-cli: %s\n", why.c_str());
    }

    // Each file is read and tested once, then every patient asked for (with
    // "all", every patient the test or the walks find something wrong with)
    // is explained from the same findings and claims.
    EndsTable ends;
    LinkTable chart;
    LoadEnds(ends);
    const bool chartOpen = LoadChartLinks(chart);
    struct PerChain {
        const ChainWords* words;
        const LineChain* chain;
        bool open;
        HeldChain held;
        std::vector<Finding> findings;
        ChainClaims claims;
        std::vector<OrphanChain> orphans;
        std::map<std::int32_t, ChainDiagnosis> diagnoses;
    };
    PerChain chains[2] = {{&ClinicalWords, &ClinicalChain, hClinique != 0, {}, {}, {}, {}, {}},
                          {&QuoteWords, &QuoteChain, hEstime != 0, {}, {}, {}, {}, {}}};
    // The patients whose firstrec record cannot be read: nothing can be said
    // of their chains.
    std::vector<NumberRun> unreadable;
    std::set<std::int32_t> patients;
    for (const std::int32_t p : o.patients) {
        if (PatientReadable(ends, p)) patients.insert(p);
        else unreadable.push_back({p, p});
    }
    if (o.allPatients) {
        const std::int32_t walked = LastWalkedPatient(ends);
        for (std::int32_t p = 1; p <= walked; ++p) {
            if (!PatientReadable(ends, p)) unreadable.push_back({p, p});
            else if (chartOpen && !DiagnoseChart(ends, chart, p).sound) patients.insert(p);
        }
        if (walked < LastPatient) unreadable.push_back({walked + 1, LastPatient});
    } else {
        std::sort(unreadable.begin(), unreadable.end(), [](NumberRun a, NumberRun b) { return a.first < b.first; });
    }
    for (PerChain& c : chains) {
        if (!c.open) continue;
        HoldChain(*c.chain, ends, c.held);
        {
            // The window's boxes say nothing here that the diagnosis does not.
            HeldTest test;
            ConsoleMuteBoxes(true);
            TestHeldChain(c.held, ConsoleStderrIsTerminal() ? ShowTestProgress : nullptr, test);
            ConsoleMuteBoxes(false);
            ConsoleProgressEnd();
            c.findings = std::move(test.findings);
        }
        ClaimLines(c.held, c.claims);
        c.orphans = OrphanChains(c.held);
        if (o.allPatients)
            for (const Finding& f : c.findings)
                if (f.patient && PatientReadable(ends, f.patient)) patients.insert(f.patient);
    }
    for (PerChain& c : chains) {
        if (!c.open) continue;
        c.diagnoses = DiagnoseChains(c.held, std::vector<std::int32_t>(patients.begin(), patients.end()),
                                     o.allPatients, c.orphans);
        for (const auto& [p, d] : c.diagnoses) patients.insert(p);
    }
    // A patient whose quotes alone are unsound still needs its clinical
    // chain's diagnosis, and the other way round.
    const std::vector<std::int32_t> every(patients.begin(), patients.end());
    for (PerChain& c : chains)
        if (c.open && c.diagnoses.size() != every.size()) c.diagnoses = DiagnoseChains(c.held, every, false, c.orphans);

    std::vector<std::int32_t> toRepair, reportedOnly;
    std::string json, text;
    for (const std::int32_t p : patients) {
        std::vector<ChainExplanation> reports;
        for (const PerChain& c : chains) {
            if (!c.open) {
                reports.push_back(ExplainUnreadChain(c.words->key, c.words->ofTitle, c.words->file));
                continue;
            }
            std::vector<Finding> mine;
            for (const Finding& f : c.findings)
                if (f.patient == p) mine.push_back(f);
            reports.push_back(ExplainLineChain(*c.chain, p, c.diagnoses.at(p), mine, c.claims, c.orphans));
        }
        reports.push_back(chartOpen ? ExplainChartChain(p, DiagnoseChart(ends, chart, p))
                                    : ExplainUnreadChain("schema", "du schéma dentaire", "Fschema"));
        const char* titles[] = {"fiche clinique", "devis", "schéma dentaire"};
        bool repairable = false, damaged = false;
        for (const ChainExplanation& r : reports) {
            repairable = repairable || r.repairable;
            damaged = damaged || (r.damaged && !r.unread);
        }
        if (repairable) toRepair.push_back(p);
        else if (damaged) reportedOnly.push_back(p);
        std::string chainsJson;
        for (std::size_t i = 0; i < reports.size(); ++i) {
            chainsJson += (i ? ",\n        " : "        ") + reports[i].json;
            text += Format("Patient %ld — %s : %s\n", static_cast<long>(p), titles[i], ChainVerdict(reports[i], i == 0));
            for (const std::string& line : reports[i].text) text += "  " + line + "\n";
        }
        text += "\n";
        json += Format("%s    {\"patient\": %ld, \"status\": \"%s\", \"chains\": [\n", json.empty() ? "" : ",\n",
                       static_cast<long>(p), repairable || damaged ? "damaged" : "ok") +
                chainsJson + "\n    ]}";
    }
    std::string unread; // the chains not diagnosed, for the last line
    for (const PerChain& c : chains)
        if (!c.open) unread += Format("%s%s", unread.empty() ? "" : ", ", c.words->title);
    if (!chartOpen) unread += Format("%s%s", unread.empty() ? "" : ", ", "schéma dentaire");
    const bool findings = !toRepair.empty() || !reportedOnly.empty() || !unreadable.empty() || !unread.empty();

    const std::string unreadableList = NumberList(unreadable);
    long long unreadableCount = 0;
    for (const NumberRun& r : unreadable) unreadableCount += static_cast<long long>(r.last) - r.first + 1;
    if (o.json) {
        char directory[1024];
        WorkingDirectory(directory, sizeof directory);
        std::string runs;
        for (const NumberRun& r : unreadable)
            runs += Format("%s{\"first\": %ld, \"last\": %ld}", runs.empty() ? "" : ", ", static_cast<long>(r.first),
                           static_cast<long>(r.last));
        std::printf("{\n  \"tool\": \"chkort-cli\",\n  \"version\": \"%s\",\n  \"command\": \"diagnose\",\n"
                    "  \"directory\": %s,\n  \"status\": \"%s\",\n  \"unreadable_patients\": [%s],\n"
                    "  \"patients\": [%s%s%s]\n}\n",
                    CHKORT_VERSION_TEXT, JsonQuote(NativeToUtf8(directory)).c_str(), findings ? "damaged" : "ok",
                    runs.c_str(), json.empty() ? "" : "\n", json.c_str(), json.empty() ? "" : "\n  ");
    } else {
        if (patients.empty() && unreadable.empty())
            text = unread.empty() ? "Aucun patient à réparer.\n\n"
                                  : "Aucun patient à réparer dans ce qui a pu être lu.\n\n";
        if (!text.empty() && unreadable.empty()) text.pop_back(); // no blank line after the last patient
        std::fputs(Cp1252ToUtf8(text, TextKeepControls | TextWalkMarks).c_str(), stdout);
        if (unreadableCount == 1)
            ConsoleSay(stdout, "Patient %s — firstrec illisible\n  Le fichier firstrec est plus court que son compteur : "
                               "l'enregistrement firstrec du patient manque, rien ne peut être dit de ses chaînes.\n",
                       unreadableList.c_str());
        else if (!unreadable.empty())
            ConsoleSay(stdout, "Patients %s — firstrec illisible\n  Le fichier firstrec est plus court que son compteur : "
                               "l'enregistrement firstrec de ces patients manque, rien ne peut être dit de leurs "
                               "chaînes.\n",
                       unreadableList.c_str());
    }

    // Last, what the exit status says.
    std::string verdict;
    auto add = [&verdict](const std::string& part) { verdict += (verdict.empty() ? "" : " ; ") + part; };
    if (!toRepair.empty()) add(Cp1252ToUtf8("à réparer : patient") + Plural(toRepair.size()) + " " + NumberList(toRepair));
    if (!reportedOnly.empty())
        add(Cp1252ToUtf8("signalé") + Plural(reportedOnly.size()) + Cp1252ToUtf8(", rien à réparer : patient") +
            Plural(reportedOnly.size()) + " " + NumberList(reportedOnly));
    if (!unreadable.empty())
        add("firstrec illisible : patient" + std::string(unreadableCount > 1 ? "s " : " ") + unreadableList +
            Cp1252ToUtf8(" (aucune réparation de chkort ne rallonge un fichier : voir chkort-cli sizes)"));
    if (verdict.empty())
        verdict = Cp1252ToUtf8(!unread.empty()              ? "rien à signaler dans ce qui a pu être lu"
                               : o.allPatients        ? "aucun patient à réparer"
                               : patients.size() == 1 ? "rien à signaler pour ce patient"
                                                      : "rien à signaler pour ces patients");
    if (!unread.empty()) add(Cp1252ToUtf8("pas de diagnostic, faute de son fichier : " + unread));
    ConsoleSay(stderr, "chkort-cli: %s.\n", verdict.c_str());
    return findings ? ExitFindings : ExitClean;
}
