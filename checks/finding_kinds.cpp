#include "checks/finding_kinds.h"

namespace {

// The sentences' arguments, in order: unreadable-record the line, the file
// and the patient; unreadable-firstrec the patient; firstrec-ends-before the
// first and last patients; contested-line the line and its claimants;
// unreachable-line the line.
//
// The explanations speak of a chain in general, clinical or quote, and stay
// one short line: diagnose prints each under the report's line, above its
// own account of the walks.
const FindingKindInfo Kinds[FindingKinds] = {
    {"start-out-of-range", "error", "Erreur debutacte -> N° patient = %8ld", ReportNothing, nullptr, false, "value",
     nullptr, "Le début de la chaîne, dans firstrec, est hors du fichier : la vue à partir du début est vide.",
     MendChosen},
    {"first-prev-not-zero", "error", "N° patient = %8ld -->Enregistrement = %9ld", ReportRecord, nullptr, true, "link",
     nullptr,
     "La ligne où la chaîne commence a un lien « précédent » qui n'est pas 0 : son début et ses liens se "
     "contredisent.",
     MendCut},
    {"last-next-not-zero", "error", "N° patient = %8ld -->Enregistrement = %9ld", ReportRecord, nullptr, true, "link",
     nullptr,
     "La ligne où la chaîne finit a un lien « suivant » qui n'est pas 0 : sa fin et ses liens se contredisent.",
     MendCut},
    // The test reports it under the higher-numbered patient, whichever of
    // the two chains went astray.
    {"crossing", "error", "Croisement N° patient = %8ld --> %9ld", ReportValue, nullptr, false, "other_patient",
     nullptr,
     "La chaîne passe par une ligne déjà à un patient de numéro plus petit : celle des deux qui est abîmée montre "
     "des lignes de l'autre.",
     MendEitherPatient},
    // A loop, which a cut mends, or a sound chain longer than the test
    // follows, which no repair changes.
    {"runaway-chain", "error", "Fiche alterée -> N° patient = %8ld", ReportNothing, nullptr, false, "visits",
     nullptr,
     "Plus de 5000 lignes suivies : la chaîne tourne en rond, ou elle est saine et plus longue que ce que le test "
     "suit (il la signalera toujours).",
     MendChosen},
    {"next-out-of-range", "error", "Erreur suivant -> N° patient = %8ld", ReportNothing, nullptr, false, "link",
     nullptr,
     "Un lien « suivant » désigne une ligne hors du fichier : la vue à partir du début s'arrête avant la fin de la "
     "chaîne.",
     MendCut},
    {"end-out-of-range", "error", "Erreur finacte -> N° patient = %8ld", ReportNothing, nullptr, false, "value",
     nullptr, "La fin de la chaîne, dans firstrec, est hors du fichier : la vue à partir de la fin est vide.",
     MendChosen},
    {"prev-out-of-range", "error", "Erreur Precedent -> N° patient = %8ld", ReportNothing, nullptr, false, "link",
     nullptr,
     "Un lien « précédent » désigne une ligne hors du fichier : la vue à partir de la fin s'arrête avant le début "
     "de la chaîne.",
     MendCut},
    {"walks-differ", "error", "Erreur lignes différentes début-fin -> N° patient = %8ld", ReportNothing, nullptr,
     false, "forward", "backward",
     "Les deux sens ne comptent pas le même nombre de lignes : un lien est faux, les deux vues ne montrent pas les "
     "mêmes lignes.",
     MendChosen},
    {"unreadable-record", "error", nullptr, ReportNothing,
     "ligne %ld illisible (le fichier %s est plus court que son compteur) : le test du patient %ld s'arrête là", true,
     nullptr, nullptr,
     "Le fichier est plus court que son compteur : cette ligne n'y est pas entière, et la chaîne ne se suit pas "
     "au-delà.",
     MendRestore},
    {"unreadable-firstrec", "error", nullptr, ReportNothing,
     "patient %ld non testé : son enregistrement firstrec est coupé (le fichier firstrec est plus court que son "
     "compteur)",
     true, nullptr, nullptr,
     "Le fichier firstrec est plus court que son compteur : les débuts et fins des chaînes du patient sont perdus.",
     MendRestore},
    {"firstrec-ends-before", "error", nullptr, ReportNothing,
     "patients %ld à %ld non testés : le fichier firstrec s'arrête avant eux (il est plus court que son compteur)",
     true, "last_patient", nullptr,
     "Le fichier firstrec s'arrête avant ces patients : les débuts et fins de leurs chaînes sont perdus.",
     MendRestore},
    {"contested-line", "error", nullptr, ReportNothing,
     "ligne %ld atteinte par les chaînes de plusieurs patients : %s", true, nullptr, nullptr,
     "Les chaînes de plusieurs patients passent par cette ligne : elle figure dans la fiche de chacun, mais n'est "
     "qu'à l'un d'eux.",
     MendEitherPatient},
    {"unreachable-line", "warning", nullptr, ReportNothing, "ligne %ld en service, qu'aucune chaîne n'atteint", true,
     nullptr, nullptr, "Aucune chaîne n'atteint cette ligne : aucun patient ne la montre, ce qui seul n'est pas une "
     "erreur.",
     MendNothing},
    {"file-missing", "error", nullptr, ReportNothing, nullptr, false, nullptr, nullptr,
     "Le fichier n'est pas dans le dossier : rien de ce qu'il contient ne peut être lu.", MendRestore},
    {"file-not-opened", "error", nullptr, ReportNothing, nullptr, false, nullptr, nullptr,
     "Le fichier est là mais ne s'ouvre pas (un autre programme le tient, ou le droit de le lire manque) : il n'est "
     "pas mesuré.",
     MendReopen},
    {"file-too-short", "error", nullptr, ReportNothing, nullptr, false, "size", "expected",
     "Le fichier est plus court que ce que demandent les compteurs de lastrec : des enregistrements sont perdus.",
     MendRestore},
    {"file-too-large", "warning", nullptr, ReportNothing, nullptr, false, "size", "expected",
     "Le fichier dépasse de plus de 2 000 000 d'octets ce que demandent les compteurs : un avertissement, rien n'est "
     "perdu.",
     MendNothing},
};

// In the window's words: its menus and commands, and the console command
// that gives one patient's numbers to type.
const FindingMendInfo Mends[FindingMends] = {
    {"cut", "Options > Corriger dans une vue de la chaîne : chkort-cli diagnose dit laquelle et le numéro à taper"},
    {"diagnosis", "Selon les deux parcours, Options > Corriger dans une vue, « Correction du Firstrec » ou aucune : "
                  "chkort-cli diagnose dit laquelle"},
    {"either-patient", "La réparation de celle des chaînes qui est abîmée : chkort-cli diagnose des patients nommés "
                       "dit laquelle"},
    {"restore", "Remettre le fichier depuis une sauvegarde (voir chkort-cli sizes) : aucune commande de chkort ne "
                "rend ce qui est perdu"},
    {"reopen", "Aucune dans le fichier : fermer le programme qui le tient, ou donner le droit de le lire, puis "
               "relancer"},
    {"none", "Aucune : rien à réparer"},
};

} // namespace

const FindingKindInfo& KindInfo(FindingKind kind) { return Kinds[kind]; }
const FindingMendInfo& MendInfo(FindingMend mend) { return Mends[mend]; }
