#include "checks/repair_words.h"

#include "platform/console/text.h"
#include "store/state.h"

const PlanChainWords PlanChainNames[PlanChainCount] = {
    {"clinique", "fiche clinique", "lignes"},
    {"devis", "devis", "lignes"},
    {"schema", "schéma dentaire", "entrées"},
};

namespace {

// Why a chain is left to a person, in the console's words.
struct ReasonWords {
    LeftReason reason;
    const char* key;
    const char* text; // %s: the unit ("lignes", "entrées"); null: the diagnosis' words say it
};
const ReasonWords Reasons[] = {
    {LeftUnreadableEnds, "unreadable-firstrec",
     "l'enregistrement firstrec du patient ne peut pas être lu : le fichier firstrec est trop court (voir "
     "chkort-cli sizes)"},
    {LeftDropsLines, "drops-lines", "la réparation laisserait hors de la chaîne des %s que ses liens confirment"},
    {LeftSharedLines, "shared-lines", "des %s sont aussi atteintes par un autre patient"},
    {LeftGivesOrphan, "gives-orphan",
     "la réparation lui donnerait une chaîne qu'aucun patient n'atteint : vérifiez d'abord qu'elle est la sienne"},
    {LeftCandidates, "candidates",
     "des chaînes qu'aucun patient n'atteint pourraient être ce que la réparation laisse de côté"},
    {LeftOpenEnd, "open-end",
     "la chaîne gardée s'interrompt là où l'autre pointeur ne la finit pas : on ne sait pas où elle continue"},
    {LeftShortFile, "short-file",
     "le fichier est plus court que son compteur : restaurez-le plutôt que de couper la chaîne (voir chkort-cli "
     "sizes)"},
    {LeftCounter, "counter",
     "un pointeur ou un lien dépasse le compteur de lastrec mais désigne un enregistrement du fichier : le "
     "compteur est peut-être faux"},
    {LeftNoRepair, "no-repair", nullptr},
};

// The JSON name of an outcome ("to-repair").
const char* OutcomeKey(RepairOutcome outcome) {
    const char* const keys[] = {"none", "to-repair", "repaired", "left", "reported"};
    return keys[outcome];
}

// The reasons a chain is left to a person, one after the other; `unit`
// fills their "%s". `orphans`: the chains nobody reaches, when the
// diagnosis' words do not list them already.
std::string LeftReasonsText(const ChainPlan& c, const char* unit, const std::vector<OrphanChain>* orphans = nullptr) {
    std::string s;
    for (const ReasonWords& r : Reasons) {
        if (!(c.left & r.reason) || !r.text) continue;
        std::string one = Format(r.text, unit);
        if (r.reason == LeftSharedLines && !c.others.empty())
            one = Format("des %s sont aussi atteintes par le%s patient%s %s", unit, Plural(c.others.size()),
                         Plural(c.others.size()), ListOf(c.others).c_str());
        if (r.reason == LeftDropsLines) one += " (" + ListOf(c.dropped) + ")";
        if (r.reason == LeftCandidates && orphans) {
            std::string list;
            for (std::size_t i = 0, shown = 0; i < orphans->size() && shown < 5; ++i) {
                const OrphanChain& o = (*orphans)[i];
                if (o.count < 2) continue;
                list += Format("%s%ld à %ld (%ld %s)", shown++ ? ", " : "", static_cast<long>(o.start),
                               static_cast<long>(o.end), static_cast<long>(o.count), unit);
            }
            one += " : " + list;
        }
        s += (s.empty() ? "" : " ; ") + one;
    }
    return s;
}

// ["drops-lines", ...]
std::string LeftReasonsJson(const ChainPlan& c) {
    std::string s;
    for (const ReasonWords& r : Reasons)
        if (c.left & r.reason) s += (s.empty() ? "\"" : ", \"") + std::string(r.key) + "\"";
    return "[" + s + "]";
}

// What became of chain `c` of patient `p`, under the diagnosis' words.
std::string ChainOutcomeText(bool dryRun, const RepairPlan& plan, std::int32_t p, int c, const ChainPlan& cp,
                      const ChainRun& r) {
    const char* const verdicts[] = {"", "à réparer", "réparée", "à examiner", "signalée, rien à réparer"};
    std::string s = Format("Patient %ld — %s : %s\n", static_cast<long>(p), PlanChainNames[c].title, verdicts[r.outcome]);
    for (const std::string& line : r.words.text) s += "  " + line + "\n";
    if (r.outcome == OutcomeLeft) {
        if (cp.sure) return s + "  Non réparée : reparer s'est arrêté avant elle.\n";
        return s + "  Non réparée, à faire dans la fenêtre si vous êtes sûr : " +
               LeftReasonsText(cp, PlanChainNames[c].unit, c == PlanSchema ? &plan.chart.orphans : nullptr) + ".\n";
    }
    if (dryRun || (!r.retested && c != PlanSchema)) return s;
    if (c == PlanSchema)
        return s + (r.mended ? "  Après la réparation, la chaîne est saine.\n"
                             : "  Après la réparation, la chaîne n'est toujours pas saine.\n");
    if (r.mended) return s + "  Après les réparations, le test ne signale plus rien pour ce patient.\n";
    s += "  Après les réparations, le test signale encore :\n";
    // As diagnose lists them: the report's line with its record, or the
    // sentence of what the report does not show.
    for (const Finding& f : r.after) s += "    " + FindingLine(f) + "\n";
    return s;
}

} // namespace

std::string NumbersJson(const std::vector<std::int32_t>& values) {
    std::string s;
    for (const std::int32_t v : values) s += (s.empty() ? "" : ", ") + std::to_string(v);
    return "[" + s + "]";
}

void JudgeRun(const RepairPlan& plan, bool dryRun, bool json, RepairRun& run) {
    for (std::size_t i = 0; i < plan.patients.size(); ++i) {
        const PatientPlan& pp = plan.patients[i];
        const std::int32_t p = pp.patient;
        bool anyRepaired = false, anySure = false, examine = false;
        for (int c = 0; c < PlanChainCount; ++c) {
            const ChainPlan& cp = pp.chains[c];
            ChainRun& r = run.runs[i][static_cast<std::size_t>(c)];
            if (pp.endsReadable) {
                const LineChainState* lines = c == PlanSchema ? nullptr : &plan.lines[c];
                r.words = lines ? ExplainLineChain(*lines->chain, p, lines->diagnoses.at(p),
                                                   FindingsOf(lines->findings, p), lines->claims, lines->orphans, json)
                                : ExplainChartChain(p, plan.chart.diagnoses.at(p));
            }
            if (r.outcome != OutcomeRepaired) {
                r.outcome = !cp.damaged               ? OutcomeNone
                            : cp.sure && dryRun     ? OutcomeToRepair
                            : cp.sure                 ? OutcomeLeft // the run stopped before it
                            : cp.left == LeftNoRepair ? OutcomeReported
                                                      : OutcomeLeft;
            }
            if (c != PlanSchema && run.recheck.tested[c]) {
                r.retested = true;
                r.after = FindingsOf(run.recheck.findings[c], p);
            }
            switch (r.outcome) {
            case OutcomeNone: break;
            case OutcomeToRepair: anySure = true; break;
            case OutcomeRepaired:
                anyRepaired = true;
                r.mended = c == PlanSchema ? run.recheck.chartSound.at(p) : r.after.empty();
                break;
            case OutcomeLeft: r.mended = false; break;
            case OutcomeReported: r.mended = r.retested && r.after.empty(); break;
            }
            examine = examine || !r.mended;
        }
        run.repaired += anyRepaired;
        run.toRepair += anySure;
        if (examine) run.toExamine.push_back(p);
    }
    run.remains = run.stopped || !run.toExamine.empty() || plan.endedAt != 0;
}

std::string RepairRunJson(const RepairPlan& plan, const RepairRun& run, bool dryRun) {
    std::string patients;
    for (std::size_t i = 0; i < plan.patients.size(); ++i) {
        const PatientPlan& pp = plan.patients[i];
        std::string chains;
        for (int c = 0; c < PlanChainCount; ++c) {
            const ChainPlan& cp = pp.chains[c];
            const ChainRun& r = run.runs[i][static_cast<std::size_t>(c)];
            std::string after;
            for (const Finding& f : r.after) after += (after.empty() ? "" : ", ") + FindingJson(f);
            chains += Format("%s        {\"chain\": \"%s\", \"action\": \"%s\", \"sure\": %s, \"mended\": %s, ",
                             c ? ",\n" : "", PlanChainNames[c].key, OutcomeKey(r.outcome), cp.sure ? "true" : "false",
                             dryRun ? "null" : r.mended ? "true" : "false") +
                      "\"left_because\": " + LeftReasonsJson(cp) + ", \"others\": " + NumbersJson(cp.others) +
                      ", \"dropped\": " + NumbersJson(cp.dropped) +
                      ", \"findings_after\": " + (r.retested ? "[" + after + "]" : "null") +
                      ", \"diagnosis\": " + (r.words.json.empty() ? "null" : r.words.json) + "}";
        }
        patients += Format("%s    {\"patient\": %ld, \"chains\": [\n", i ? ",\n" : "", static_cast<long>(pp.patient)) +
                    chains + "\n    ]}";
    }
    return patients;
}

std::string RepairRunText(const RepairPlan& plan, const RepairRun& run, bool dryRun) {
    std::string text;
    for (std::size_t i = 0; i < plan.patients.size(); ++i) {
        const PatientPlan& pp = plan.patients[i];
        const long p = pp.patient;
        std::string block;
        if (!pp.endsReadable) block = Format("Patient %ld : à examiner\n  ", p) + LeftReasonsText(pp.chains[0], "") + ".\n";
        for (int c = 0; c < PlanChainCount && pp.endsReadable; ++c) {
            const ChainRun& r = run.runs[i][static_cast<std::size_t>(c)];
            if (r.outcome != OutcomeNone) block += ChainOutcomeText(dryRun, plan, pp.patient, c, pp.chains[c], r);
        }
        text += (block.empty() ? Format("Patient %ld : rien à réparer\n", p) : block) + "\n";
    }
    if (plan.endedAt)
        text += Format("firstrec s'arrête avant le patient %ld : les patients %ld à %ld ne sont pas examinés (voir "
                       "chkort-cli sizes).\n",
                       static_cast<long>(plan.endedAt), static_cast<long>(plan.endedAt),
                       static_cast<long>(LastPatient));
    for (int c = 0; c < 2; ++c) {
        if (!run.recheck.tested[c]) continue;
        std::size_t lines = 0;
        for (const Finding& f : run.recheck.findings[c]) lines += f.fromReport;
        text += Format("Test du fichier %s après les réparations : %s.\n", PlanChainNames[c].key,
                       lines ? Format("%zu constat%s dans le rapport", lines, Plural(lines)).c_str() : "aucune erreur");
    }
    const std::string examine = run.toExamine.empty()
                                    ? "aucun"
                                    : Format("%zu (%s)", run.toExamine.size(), ListOf(run.toExamine).c_str());
    if (dryRun)
        text += Format("Essai, rien n'a été écrit : %zu patient%s à réparer, à examiner : %s.\n", run.toRepair,
                       Plural(run.toRepair), examine.c_str());
    else
        text += Format("Patients réparés : %zu ; à examiner : %s ; journal : %s.\n", run.repaired, examine.c_str(),
                       run.journal.empty() ? "aucun, rien n'a été écrit" : run.journal.c_str());
    return text;
}
