#include "checks/finding_kinds.h"

namespace {

// The sentences' arguments, in order: unreadable-record the line, the file
// and the patient; unreadable-firstrec the patient; firstrec-ends-before the
// first and last patients; contested-line the line and its claimants;
// unreachable-line the line.
const FindingKindInfo Kinds[FindingKinds] = {
    {"start-out-of-range", "error", "Erreur debutacte -> N° patient = %8ld", ReportNothing, nullptr, false, "value",
     nullptr},
    {"first-prev-not-zero", "error", "N° patient = %8ld -->Enregistrement = %9ld", ReportRecord, nullptr, true, "link",
     nullptr},
    {"last-next-not-zero", "error", "N° patient = %8ld -->Enregistrement = %9ld", ReportRecord, nullptr, true, "link",
     nullptr},
    {"crossing", "error", "Croisement N° patient = %8ld --> %9ld", ReportValue, nullptr, false, "other_patient",
     nullptr},
    {"runaway-chain", "error", "Fiche alterée -> N° patient = %8ld", ReportNothing, nullptr, false, "visits",
     nullptr},
    {"next-out-of-range", "error", "Erreur suivant -> N° patient = %8ld", ReportNothing, nullptr, false, "link",
     nullptr},
    {"end-out-of-range", "error", "Erreur finacte -> N° patient = %8ld", ReportNothing, nullptr, false, "value",
     nullptr},
    {"prev-out-of-range", "error", "Erreur Precedent -> N° patient = %8ld", ReportNothing, nullptr, false, "link",
     nullptr},
    {"walks-differ", "error", "Erreur lignes différentes début-fin -> N° patient = %8ld", ReportNothing, nullptr,
     false, "forward", "backward"},
    {"unreadable-record", "error", nullptr, ReportNothing,
     "ligne %ld illisible (le fichier %s est plus court que son compteur) : le test du patient %ld s'arrête là", true,
     nullptr, nullptr},
    {"unreadable-firstrec", "error", nullptr, ReportNothing,
     "patient %ld non testé : son enregistrement firstrec est coupé (le fichier firstrec est plus court que son "
     "compteur)",
     true, nullptr, nullptr},
    {"firstrec-ends-before", "error", nullptr, ReportNothing,
     "patients %ld à %ld non testés : le fichier firstrec s'arrête avant eux (il est plus court que son compteur)",
     true, "last_patient", nullptr},
    {"contested-line", "error", nullptr, ReportNothing,
     "ligne %ld atteinte par les chaînes de plusieurs patients : %s", true, nullptr, nullptr},
    {"unreachable-line", "warning", nullptr, ReportNothing, "ligne %ld en service, qu'aucune chaîne n'atteint", true,
     nullptr, nullptr},
    {"file-missing", "error", nullptr, ReportNothing, nullptr, false, nullptr, nullptr},
    {"file-not-opened", "error", nullptr, ReportNothing, nullptr, false, nullptr, nullptr},
    {"file-too-short", "error", nullptr, ReportNothing, nullptr, false, "size", "expected"},
    {"file-too-large", "warning", nullptr, ReportNothing, nullptr, false, "size", "expected"},
};

} // namespace

const FindingKindInfo& KindInfo(FindingKind kind) { return Kinds[kind]; }
