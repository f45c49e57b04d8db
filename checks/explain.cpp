// The diagnosis' explanation of one chain of one patient: what the walks
// found, what the test says, and the window's repair with the values to
// type, in plain French (Windows-1252; the console converts on output).
#include "checks/explain.h"

#include "checks/walk_picture.h"
#include "platform/console/text.h"
#include "resources/resource.h"

#include <algorithm>
#include <set>

const ChainWords ClinicalWords{"clinique",
                               "fiche clinique",
                               "de la fiche clinique",
                               true,
                               "clinique",
                               "DEBUTACTE",
                               "FINACTE",
                               "Visualisation de la fiche clinique à partir du début",
                               "Visualisation de la fiche clinique à partir de la fin",
                               CMD_CLINICAL_FROM_START,
                               CMD_CLINICAL_FROM_END,
                               "Correction du Firstrec pour clinique",
                               CMD_FIRSTREC_CLINICAL,
                               "Début acte",
                               "Fin acte",
                               "Visualisation du Fichier Clinique"};
const ChainWords QuoteWords{"devis",
                            "devis",
                            "du devis",
                            false,
                            "estime",
                            "DEBUTDEVIS",
                            "FINDEVIS",
                            "Visualisation du devis à partir du début",
                            "Visualisation du devis à partir de la fin",
                            CMD_QUOTES_FROM_START,
                            CMD_QUOTES_FROM_END,
                            "Correction du Firstrec pour devis",
                            CMD_FIRSTREC_QUOTES,
                            "Début du devis",
                            "Fin du devis",
                            "Visualisation du Fichier Devis"};

namespace {



// "1re", "2e", "7e": the place of a line counted from the top of a view.
std::string Place(std::int32_t n) { return std::to_string(n) + (n == 1 ? "re" : "e"); }

const char* StopKey(WalkStop stop) {
    switch (stop) {
    case StopEnd: return "end";
    case StopNoStart: return "no-start";
    case StopBadStart: return "bad-start";
    case StopOutOfRange: return "out-of-range";
    case StopLoop: return "loop";
    case StopForeign: return "foreign";
    case StopUnreadable: return "unreadable";
    }
    return "end";
}

// "Depuis le début (DEBUTACTE 12) : 3 lignes, de 12 à 40, puis fin normale."
std::string DescribeWalk(const ChainWalk& w, bool forward, const char* label, std::int32_t pointer,
                         std::int32_t counter, const char* unit, const char* the) {
    std::string s = Format("Depuis %s (%s %ld) : ", forward ? "le début" : "la fin", label, static_cast<long>(pointer));
    if (w.stop == StopNoStart) return s + "le pointeur vaut 0, rien à parcourir.";
    if (w.stop == StopBadStart)
        return s + Format("ce pointeur est hors du fichier (1 à %ld) : rien n'est parcouru.", static_cast<long>(counter));
    const std::size_t k = w.lines.size();
    if (k) s += Format("%zu %s%s, de %ld à %ld", k, unit, Plural(k), static_cast<long>(w.lines.front()),
                       static_cast<long>(w.lines.back()));
    if (k == 0) {
        // Nothing walked: the pointer itself names a line that is not the patient's.
        if (w.stop == StopForeign)
            return s + Format("%s%s %ld est à la chaîne du patient %ld.", the, unit, static_cast<long>(w.link),
                              static_cast<long>(w.owner));
        return s + Format("%s%s %ld est illisible (le fichier est plus court que son compteur).", the, unit,
                          static_cast<long>(w.link));
    }
    s += ", puis ";
    switch (w.stop) {
    case StopEnd: s += "fin normale."; break;
    case StopOutOfRange:
        s += Format("un lien %s %ld, hors du fichier (1 à %ld).", forward ? "suivant" : "précédent",
                    static_cast<long>(w.link), static_cast<long>(counter));
        break;
    case StopLoop: s += Format("retour sur %s%s %ld (boucle).", the, unit, static_cast<long>(w.link)); break;
    case StopForeign:
        s += Format("%s%s %ld, qui est à la chaîne du patient %ld.", the, unit, static_cast<long>(w.link),
                    static_cast<long>(w.owner));
        break;
    case StopUnreadable:
        s += Format("%s%s %ld, illisible (le fichier est plus court que son compteur).", the, unit,
                    static_cast<long>(w.link));
        break;
    default: break;
    }
    return s;
}

std::string WalkJson(const ChainWalk& w) {
    auto orNull = [](bool has, long v) { return has ? std::to_string(v) : std::string("null"); };
    const bool any = !w.lines.empty();
    const bool hasLink = w.stop != StopEnd && w.stop != StopNoStart;
    return Format("{\"lines\": %zu, \"first\": %s, \"last\": %s, \"stop\": \"%s\", \"link\": %s, \"owner\": %s}",
                  w.lines.size(), orNull(any, any ? w.lines.front() : 0).c_str(),
                  orNull(any, any ? w.lines.back() : 0).c_str(), StopKey(w.stop), orNull(hasLink, w.link).c_str(),
                  orNull(w.stop == StopForeign, w.owner).c_str());
}

ChainExplanation ExplainChain(const ChainWords& words, const LineChain& chain, std::int32_t p, const ChainDiagnosis& d,
                         const std::vector<Finding>& testFindings, const ChainClaims& claims,
                         const std::vector<OrphanChain>& orphans, bool json) {
    ChainExplanation out;
    const std::int32_t counter = *chain.counter;

    std::vector<std::int32_t> reportedBy; // patients named by crossings of this patient
    bool runaway = false;
    for (const Finding& f : testFindings) {
        if (f.kind == FindingCrossing)
            for (const auto& [name, value] : f.numbers)
                if (std::string_view(name) == "other_patient") reportedBy.push_back(static_cast<std::int32_t>(value));
        runaway = runaway || f.kind == FindingRunaway;
    }
    // Higher-numbered patients whose walks also reach this patient's lines.
    std::set<std::int32_t> others;
    for (const std::vector<std::int32_t>* walk : {&d.forward.lines, &d.backward.lines})
        for (const std::int32_t r : *walk) {
            const auto it = claims.contested.find(r);
            if (it == claims.contested.end()) continue;
            for (const std::int32_t q : it->second)
                if (q != p) others.insert(q);
        }

    out.damaged = !testFindings.empty() || !d.sound;
    out.repairable = d.repair != RepairNone;
    std::vector<std::string>& t = out.text;
    if (!testFindings.empty()) {
        t.push_back(Format("Le test du fichier %s signale :", words.key));
        // Under each line of the report, what it means; the console's own
        // sentences say it already.
        for (const Finding& f : testFindings) {
            t.push_back("  " + FindingLine(f));
            if (f.fromReport) t.push_back(std::string("    ") + KindInfo(f.kind).explanation);
        }
    }
    t.push_back(DescribeWalk(d.forward, true, words.startLabel, d.start, counter, "ligne", "la "));
    AddWalkPicture(t, d.forward, true, words.startLabel, d.start);
    t.push_back(DescribeWalk(d.backward, false, words.endLabel, d.end, counter, "ligne", "la "));
    AddWalkPicture(t, d.backward, false, words.endLabel, d.end);

    std::string repairJson = "null";
    const char* view = d.repair == RepairCutFromEnd ? words.viewFromEnd : words.viewFromStart;
    const int viewCommand = d.repair == RepairCutFromEnd ? words.commandFromEnd : words.commandFromStart;
    if (d.sound) {
        if (d.start == 0 && d.end == 0) t.push_back("Le patient n'a pas de lignes : rien à réparer.");
        else t.push_back(Format("La chaîne est saine : %zu ligne%s dans les deux sens.", d.kept.size(), Plural(d.kept.size())));
        if (runaway)
            t.push_back("Elle dépasse les 5000 lignes que le test suit : il la dit « Fiche alterée », et le dira "
                        "toujours. Rien n'est à réparer, et aucune réparation ne change ce verdict.");
        for (const std::int32_t q : reportedBy)
            t.push_back(Format("Le test signale un croisement avec le patient %ld, dont la chaîne abîmée passe par "
                               "ces lignes : c'est elle qu'il faut réparer (chkort-cli diagnose %ld).",
                               static_cast<long>(q), static_cast<long>(q)));
    } else if (d.repair == RepairCutFromStart || d.repair == RepairCutFromEnd) {
        // The line typed is the last one of the walk kept, by its place in
        // the view, which the view shows in its first column.
        const std::int32_t line = d.repair == RepairCutFromStart ? d.kept.back() : d.kept.front();
        t.push_back(Format("Réparation : menu Fichier > « %s », patient %ld, puis Options > Corriger et tapez %ld, "
                           "le numéro de la première colonne de la %s ligne de la vue (la ligne %ld du fichier, en "
                           "deuxième colonne).",
                           view, static_cast<long>(p), static_cast<long>(d.ordinal), Place(d.ordinal).c_str(),
                           static_cast<long>(line)));
        t.push_back(Format("Résultat : la chaîne garde %zu ligne%s, de %ld à %ld ; %s, et firstrec reçoit "
                           "%s %ld et %s %ld.",
                           d.kept.size(), Plural(d.kept.size()), static_cast<long>(d.kept.front()),
                           static_cast<long>(d.kept.back()),
                           d.repair == RepairCutFromStart ? "ses liens « précédent » sont refaits"
                                                          : "ses liens « suivant » sont refaits",
                           words.startLabel, static_cast<long>(d.newStart), words.endLabel,
                           static_cast<long>(d.newEnd)));
        std::vector<std::int32_t> dropped;
        for (const std::vector<std::int32_t>* walk : {&d.forward.lines, &d.backward.lines})
            for (const std::int32_t r : *walk)
                if (std::find(d.kept.begin(), d.kept.end(), r) == d.kept.end() &&
                    std::find(dropped.begin(), dropped.end(), r) == dropped.end())
                    dropped.push_back(r);
        if (dropped.size() == 1)
            t.push_back(Format("La ligne %ld ne fera plus partie de la chaîne (elle reste dans le fichier).",
                               static_cast<long>(dropped[0])));
        else if (!dropped.empty())
            t.push_back(Format("Les lignes %s ne feront plus partie de la chaîne (elles restent dans le fichier).",
                               ListOf(dropped).c_str()));
        repairJson = Format("{\"action\": \"cut\", \"command_id\": %d, \"menu\": %s, \"patient\": %ld, "
                            "\"ordinal\": %ld, \"line\": %ld, \"keeps\": {\"count\": %zu, \"first\": %ld, "
                            "\"last\": %ld}}",
                            viewCommand, JsonQuote(Cp1252ToUtf8(view)).c_str(), static_cast<long>(p),
                            static_cast<long>(d.ordinal), static_cast<long>(line), d.kept.size(),
                            static_cast<long>(d.kept.front()),
                            static_cast<long>(d.kept.back()));
    } else if (d.repair == RepairFirstrec) {
        t.push_back(Format("Réparation : menu Fichier > « %s », patient %ld, « %s » %ld, « %s » %ld.",
                           words.firstrecMenu, static_cast<long>(p), words.startField, static_cast<long>(d.newStart),
                           words.endField, static_cast<long>(d.newEnd)));
        if (d.newStart != 0) {
            t.push_back(Format("Résultat : le patient reçoit la seule chaîne de plusieurs lignes qu'aucun patient "
                               "n'atteint, de %ld à %ld ; vérifiez qu'elle est bien la sienne avec « %s » à partir "
                               "de la ligne %ld.",
                               static_cast<long>(d.newStart), static_cast<long>(d.newEnd), words.fileMenu,
                               static_cast<long>(d.newStart)));
        } else {
            t.push_back("Résultat : le patient n'a plus de lignes ; les lignes d'autres patients ne sont pas "
                        "touchées.");
        }
        repairJson = Format("{\"action\": \"firstrec\", \"command_id\": %d, \"menu\": %s, \"patient\": %ld, "
                            "\"start\": %ld, \"end\": %ld}",
                            words.firstrecCommand, JsonQuote(Cp1252ToUtf8(words.firstrecMenu)).c_str(),
                            static_cast<long>(p), static_cast<long>(d.newStart), static_cast<long>(d.newEnd));
    }
    if (!others.empty()) {
        std::vector<std::int32_t> list(others.begin(), others.end());
        t.push_back(Format("Des lignes de ce patient sont aussi atteintes par le%s patient%s %s (chkort-cli "
                           "diagnose %ld).",
                           Plural(list.size()), Plural(list.size()), ListOf(list).c_str(), static_cast<long>(list[0])));
    }
    if (!d.sound && d.repair == RepairFirstrec && orphans.size() > (d.newStart ? 1u : 0u)) {
        std::string list;
        for (std::size_t i = 0; i < orphans.size() && i < 5; ++i)
            list += orphans[i].count == 1
                        ? Format("%s%ld (1 ligne)", i ? ", " : "", static_cast<long>(orphans[i].start))
                        : Format("%s%ld à %ld (%ld lignes)", i ? ", " : "", static_cast<long>(orphans[i].start),
                                 static_cast<long>(orphans[i].end), static_cast<long>(orphans[i].count));
        t.push_back(Format("Chaînes qu'aucun patient n'atteint : %s%s ; si l'une est celle de ce patient, donnez "
                           "ses deux bouts à « %s ».",
                           list.c_str(), orphans.size() > 5 ? "…" : "", words.firstrecMenu));
    }

    if (!json) return out;
    std::string explanation;
    for (const std::string& line : t) explanation += (explanation.empty() ? "" : "\n") + line;
    std::string orphanJson;
    if (d.repair == RepairFirstrec)
        for (const OrphanChain& o : orphans)
            orphanJson += Format("%s{\"start\": %ld, \"end\": %ld, \"count\": %ld}", orphanJson.empty() ? "" : ", ",
                                 static_cast<long>(o.start), static_cast<long>(o.end), static_cast<long>(o.count));
    std::string also;
    for (const std::int32_t q : others) also += (also.empty() ? "" : ", ") + std::to_string(q);
    std::string findingsJson;
    for (const Finding& f : testFindings) findingsJson += (findingsJson.empty() ? "" : ", ") + FindingJson(f);
    out.json = Format("{\"chain\": \"%s\", \"status\": \"%s\", \"start\": %ld, \"end\": %ld, ", words.key,
                      out.damaged ? "damaged" : "ok", static_cast<long>(d.start), static_cast<long>(d.end)) +
               "\"findings\": [" + findingsJson + "], \"forward\": " + WalkJson(d.forward) +
               ", \"backward\": " + WalkJson(d.backward) + ", \"sound\": " + (d.sound ? "true" : "false") +
               ", \"repair\": " + repairJson + ", \"also_claimed_by\": [" + also + "], \"orphans\": [" + orphanJson +
               "], \"explanation\": " + JsonQuote(Cp1252ToUtf8(explanation, TextKeepControls | TextWalkMarks)) + "}";
    return out;
}

ChainExplanation ExplainChart(std::int32_t p, const ChartDiagnosis& d) {
    ChainExplanation out;
    out.damaged = !d.sound;
    out.repairable = d.repair != RepairNone;
    std::vector<std::string>& t = out.text;
    t.push_back(DescribeWalk(d.walk, true, "DEBUTSCHEMA", d.start, LastChartEntry, "entrée", "l'"));
    if (d.walk.stop == StopNoStart) t.back() = "DEBUTSCHEMA vaut 0 : le patient n'a pas de schéma dentaire.";
    AddWalkPicture(t, d.walk, true, "DEBUTSCHEMA", d.start);
    std::string repairJson = "null";
    if (d.repair == RepairFirstrec) {
        t.push_back(Format("Réparation : menu Fichier > « Correction du Firstrec pour schéma dentaire », patient "
                           "%ld, « Début du schéma dentaire » 0.",
                           static_cast<long>(p)));
        repairJson = Format("{\"action\": \"firstrec\", \"command_id\": %d, \"menu\": %s, \"patient\": %ld, "
                            "\"start\": 0}",
                            CMD_FIRSTREC_CHART,
                            JsonQuote(Cp1252ToUtf8("Correction du Firstrec pour schéma dentaire")).c_str(),
                            static_cast<long>(p));
    } else if (d.repair == RepairCutFromStart) {
        // The chart's view numbers nothing: its first column is the entry's
        // number in the file, while Corriger counts entries from the top.
        if (d.ordinal == 0) {
            t.push_back(Format("Réparation : menu Fichier > « Visualisation du schéma dentaire », patient %ld, puis "
                               "Options > Corriger et tapez 0 : le schéma dentaire est vidé (DEBUTSCHEMA devient 0).",
                               static_cast<long>(p)));
        } else {
            const std::int32_t entry = d.walk.lines.back();
            t.push_back(Format("Réparation : menu Fichier > « Visualisation du schéma dentaire », patient %ld, puis "
                               "Options > Corriger et tapez %ld : la %s entrée en comptant depuis le haut de la vue, "
                               "l'entrée %ld du fichier.",
                               static_cast<long>(p), static_cast<long>(d.ordinal), Place(d.ordinal).c_str(),
                               static_cast<long>(entry)));
            if (entry != d.ordinal)
                t.push_back(Format("Attention : la première colonne du schéma dentaire montre le numéro de l'entrée "
                                   "dans le fichier, pas sa place ; taper %ld au lieu de %ld couperait ailleurs.",
                                   static_cast<long>(entry), static_cast<long>(d.ordinal)));
            t.push_back(Format("Résultat : le schéma dentaire garde ses %ld première%s entrée%s, jusqu'à l'entrée %ld, "
                               "dont le lien suivant devient 0.",
                               static_cast<long>(d.ordinal), Plural(static_cast<std::size_t>(d.ordinal)),
                               Plural(static_cast<std::size_t>(d.ordinal)), static_cast<long>(entry)));
        }
        repairJson = Format("{\"action\": \"cut\", \"command_id\": %d, \"menu\": %s, \"patient\": %ld, "
                            "\"ordinal\": %ld, \"entry\": %s}",
                            CMD_DENTAL_CHART, JsonQuote(Cp1252ToUtf8("Visualisation du schéma dentaire")).c_str(),
                            static_cast<long>(p), static_cast<long>(d.ordinal),
                            d.ordinal ? std::to_string(d.walk.lines.back()).c_str() : "null");
    }
    std::string explanation;
    for (const std::string& line : t) explanation += (explanation.empty() ? "" : "\n") + line;
    out.json = Format("{\"chain\": \"schema\", \"status\": \"%s\", \"start\": %ld, \"findings\": [], ",
                      out.damaged ? "damaged" : "ok", static_cast<long>(d.start)) +
               "\"forward\": " + WalkJson(d.walk) + ", \"sound\": " + (d.sound ? "true" : "false") +
               ", \"repair\": " + repairJson +
               ", \"explanation\": " + JsonQuote(Cp1252ToUtf8(explanation, TextKeepControls | TextWalkMarks)) + "}";
    return out;
}

} // namespace

// What a chain's heading says of it.
const char* ChainVerdict(const ChainExplanation& r, bool feminine) {
    if (r.repairable) return "à réparer";
    if (r.unread) return feminine ? "non diagnostiquée" : "non diagnostiqué";
    if (r.damaged) return feminine ? "signalée, rien à réparer" : "signalé, rien à réparer";
    return "rien à signaler";
}

// A chain whose file could not be opened: the others are diagnosed all the same.
ChainExplanation ExplainUnreadChain(const char* key, const char* ofTitle, const char* file) {
    ChainExplanation out;
    out.damaged = out.unread = true;
    out.text.push_back(Format("Le fichier %s manque ou ne peut pas être lu : sans lui, rien ne peut être dit %s.", file,
                              ofTitle));
    out.json = Format("{\"chain\": \"%s\", \"status\": \"unread\", \"file\": \"%s\", \"explanation\": ", key,
                      file) + JsonQuote(Cp1252ToUtf8(out.text[0])) + "}";
    return out;
}

ChainExplanation ExplainLineChain(const LineChain& chain, std::int32_t p, const ChainDiagnosis& d,
                                  const std::vector<Finding>& findings, const ChainClaims& claims,
                                  const std::vector<OrphanChain>& orphans, bool json) {
    return ExplainChain(&chain == &QuoteChain ? QuoteWords : ClinicalWords, chain, p, d, findings, claims, orphans,
                        json);
}

ChainExplanation ExplainChartChain(std::int32_t p, const ChartDiagnosis& d) { return ExplainChart(p, d); }
