#include "checks/practice_diagnosis.h"

#include "store/state.h"

#include <algorithm>
#include <set>

void DiagnosePractice(const std::vector<std::int32_t>& wanted, bool every, bool json, void (*turn)(std::int32_t patient),
                      PracticeDiagnosis& out) {
    out = PracticeDiagnosis{};
    // Each file is read and tested once, then every patient is explained
    // from the same findings and claims.
    EndsTable ends;
    LinkTable chart;
    LoadEnds(ends);
    out.open[PlanSchema] = LoadChartLinks(chart);
    std::set<std::int32_t> patients;
    for (const std::int32_t p : wanted) {
        if (PatientReadable(ends, p)) patients.insert(p);
        else out.unreadable.push_back({p, p});
    }
    if (every) {
        const std::int32_t walked = LastWalkedPatient(ends);
        for (std::int32_t p = 1; p <= walked; ++p) {
            if (!PatientReadable(ends, p)) out.unreadable.push_back({p, p});
            else if (out.open[PlanSchema] && !DiagnoseChart(ends, chart, p).sound) patients.insert(p);
        }
        if (walked < LastPatient) out.unreadable.push_back({walked + 1, LastPatient});
    } else {
        std::sort(out.unreadable.begin(), out.unreadable.end(),
                  [](NumberRun a, NumberRun b) { return a.first < b.first; });
    }
    const LineChain* const chains[2] = {&ClinicalChain, &QuoteChain};
    const ChainWords* const words[2] = {&ClinicalWords, &QuoteWords};
    LineChainState lines[2];
    std::int32_t endedAt = 0;
    for (int i = 0; i < 2; ++i) {
        out.open[i] = StudyLineChain(*chains[i], ends, turn, lines[i], endedAt);
        if (every)
            for (const Finding& f : lines[i].findings)
                if (f.patient && PatientReadable(ends, f.patient)) patients.insert(f.patient);
    }
    for (int i = 0; i < 2; ++i)
        if (out.open[i]) DiagnoseLines(lines[i], patients, every);
    // A patient whose quotes alone are unsound still needs its clinical
    // chain's diagnosis, and the other way round.
    for (int i = 0; i < 2; ++i)
        if (out.open[i] && lines[i].diagnoses.size() != patients.size()) DiagnoseLines(lines[i], patients, false);

    for (const std::int32_t p : patients) {
        PatientDiagnosis pd;
        pd.patient = p;
        for (int i = 0; i < 2; ++i) {
            const LineChainState& s = lines[i];
            pd.chains[i] = out.open[i] ? ExplainLineChain(*chains[i], p, s.diagnoses.at(p), FindingsOf(s.findings, p),
                                                          s.claims, s.orphans, json)
                                       : ExplainUnreadChain(words[i]->key, words[i]->ofTitle, words[i]->file);
        }
        pd.chains[PlanSchema] = out.open[PlanSchema] ? ExplainChartChain(p, DiagnoseChart(ends, chart, p))
                                                     : ExplainUnreadChain("schema", "du schéma dentaire", "Fschema");
        for (const ChainExplanation& c : pd.chains) {
            pd.repairable = pd.repairable || c.repairable;
            pd.damaged = pd.damaged || (c.damaged && !c.unread);
        }
        if (pd.repairable) out.toRepair.push_back(p);
        else if (pd.damaged) out.reportedOnly.push_back(p);
        out.patients.push_back(std::move(pd));
    }
}
