#include "checks/repair_words.h"

#include "checks/finding_kinds.h"
#include "platform/console/text.h"

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

} // namespace

const char* OutcomeKey(RepairOutcome outcome) {
    const char* const keys[] = {"none", "to-repair", "repaired", "left", "reported"};
    return keys[outcome];
}

std::string LeftReasonsText(const ChainPlan& c, const char* unit, const std::vector<OrphanChain>* orphans) {
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

std::string LeftReasonsJson(const ChainPlan& c) {
    std::string s;
    for (const ReasonWords& r : Reasons)
        if (c.left & r.reason) s += (s.empty() ? "\"" : ", \"") + std::string(r.key) + "\"";
    return "[" + s + "]";
}

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
