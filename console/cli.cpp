// The command line: its grammar, its help, and what every command shares
// (the practice opened for reading only, the patient checked).
#include "console/cli.h"

#include "platform/paths.h"
#include "resources/version.h"
#include "store/datafiles.h"
#include "store/recordio.h"
#include "store/state.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

const char* const Usage =
    "Utilisation : chkort-cli COMMANDE [ARGUMENTS] [DOSSIER]\n"
    "\n"
    "Examine les fichiers de données ORTAVO du DOSSIER (par défaut le dossier\n"
    "courant) avec le code même de chkort.exe. Les fichiers sont ouverts en\n"
    "lecture seule : seules les commandes reparer et annuler y écrivent.\n"
    "\n"
    "Commandes :\n"
    "  test clinique|devis [DOSSIER] [--report FICHIER] [--map FICHIER] [--json]\n"
    "      Le « Test du Fichier clinique / devis » de la fenêtre : les mêmes\n"
    "      constats, le même rapport octet pour octet. Le rapport et la carte\n"
    "      des propriétaires vont dans les fichiers donnés, sinon dans le\n"
    "      dossier temporaire indiqué sur la sortie d'erreur, le même à chaque\n"
    "      test. Les constats s'affichent aussi sur la sortie standard, avec la\n"
    "      ligne du fichier qu'ils concernent. Une barre de progression\n"
    "      s'affiche sur la sortie d'erreur quand c'est un terminal. Le schéma\n"
    "      dentaire n'a pas de test : voir diagnose et show schema.\n"
    "  sizes [DOSSIER] [--json]\n"
    "      Le « Test de taille des fichiers » : les sept verdicts, un par ligne,\n"
    "      « Erreur » pour un fichier absent.\n"
    "  show clinique|devis|schema PATIENT [--from-end] [--raw] [DOSSIER]\n"
    "      Les lignes de la fiche clinique, du devis ou du schéma dentaire du\n"
    "      patient, comme la fenêtre les dessine, en UTF-8, le séparateur de\n"
    "      colonnes en barre verticale ; --raw garde les octets Windows-1252.\n"
    "      --from-end parcourt la chaîne depuis sa fin.\n"
    "  diagnose PATIENT[,PATIENT...]|all [DOSSIER] [--json]\n"
    "      Ce qui ne va pas dans les chaînes du patient, et la réparation de la\n"
    "      fenêtre qui le corrige, avec les valeurs à saisir. Ne modifie rien.\n"
    "      all : tous les patients que le test ou les chaînes signalent.\n"
    "  reparer PATIENT[,PATIENT...]|all [DOSSIER] [--essai] [--json]\n"
    "      Fait les réparations sûres du diagnostic, avec les commandes mêmes de\n"
    "      la fenêtre, chacune inscrite au journal d'annulation ; laisse les\n"
    "      autres, avec ce qu'il faut faire dans la fenêtre, puis refait le test\n"
    "      des fichiers modifiés. Les fichiers sont ouverts de sorte qu'aucun\n"
    "      autre programme n'y écrive pendant ce temps. --essai dit ce qui\n"
    "      serait fait, sans écrire.\n"
    "  journal [DOSSIER]\n"
    "      Les journaux d'annulation de chkort.exe (dossier chkort-journal du\n"
    "      DOSSIER) : leur date, leurs commandes, combien d'enregistrements\n"
    "      chacune a modifiés.\n"
    "  annuler JOURNAL [DOSSIER] [--essai]\n"
    "      Remet les octets que chkort.exe a remplacés, du plus récent au plus\n"
    "      ancien. Un enregistrement modifié depuis par un autre programme est\n"
    "      laissé tel quel et signalé. JOURNAL : un fichier, ou un nom du\n"
    "      dossier chkort-journal ; sans DOSSIER, un fichier d'un dossier\n"
    "      chkort-journal s'applique au dossier de données qui le contient.\n"
    "      --essai dit ce qui serait fait, et ce qui empêcherait de le faire.\n"
    "\n"
    "Options :\n"
    "  --json      le résultat en JSON (test, sizes, diagnose, reparer)\n"
    "  --essai     annuler ou reparer sans rien écrire\n"
    "  --help      cette aide\n"
    "  --version   la version\n"
    "\n"
    "Les mots anglais clinical, quotes et chart valent clinique, devis et schema.\n"
    "\n"
    "Code de sortie : 0 rien à signaler (un avertissement peut être dit) ; 1 des\n"
    "constats (rapport non vide, enregistrement illisible, fichier absent ou trop\n"
    "court, vue coupée, chaîne endommagée, enregistrement laissé tel quel ou\n"
    "journal coupé par annuler) ; 2 la commande n'a pas pu s'exécuter (usage,\n"
    "dossier ou fichier introuvable, patient inconnu, journal illisible). La\n"
    "dernière ligne de test, sizes et diagnose dit ce que vaut ce code.\n";

// Which handle each data file goes into.
struct NamedFile {
    const char* name;
    FileHandle* handle;
};
const NamedFile DataFiles[] = {{"param", &hParam},       {"Fschema", &hFschema},   {"firstrec", &hFirstrec},
                               {"lastrec", &hLastrec},   {"estime", &hEstime},     {"clinique", &hClinique},
                               {"identite", &hIdentite}};

// Every file the commands may look at, and that no output may replace.
const char* const ProtectedFiles[] = {"param",   "Fschema",  "firstrec", "lastrec",    "estime",
                                      "clinique", "identite", "patient",  "patient.tri"};

bool ParsePatient(const char* text, std::int32_t& patient) {
    std::int64_t value = 0;
    const char* p = text;
    if (*p == '+') ++p;
    if (!*p) return false;
    for (; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        value = value * 10 + (*p - '0');
        if (value > INT32_MAX) return false;
    }
    patient = static_cast<std::int32_t>(value);
    return true;
}

// The French names, as the window calls the files and views, and their
// English counterparts; upper case too, and "schéma" as the system spells it.
std::string Word(const char* argument) {
    std::string w = NativeToUtf8(argument);
    for (char& c : w)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (w == "sch\xc3\xa9ma" || w == "sch\xc3\x89ma") w = "schema";
    return w;
}
const char* FileTarget(const std::string& word) {
    if (word == "clinique" || word == "clinical") return "clinique";
    if (word == "devis" || word == "quotes" || word == "estime") return "devis";
    return nullptr;
}
const char* ViewTarget(const std::string& word) {
    if (word == "clinique" || word == "clinical") return "clinical";
    if (word == "devis" || word == "quotes") return "quotes";
    if (word == "schema" || word == "chart") return "chart";
    return nullptr;
}

int UsageError(const char* format, const char* argument) {
    std::string message = std::string(format) + " (voir chkort-cli --help)\n";
    return Refuse(message.c_str(), NativeToUtf8(argument).c_str());
}

// Parses argv into `o`; returns -1 when the command may run, an exit status
// otherwise (help shown, or a usage error explained).
int Parse(int argc, char** argv, CliOptions& o) {
    std::vector<const char*> words;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            words.push_back(argv[i]);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
        } else if (a == "--help" || a == "-h") {
            std::fputs(Cp1252ToUtf8(Usage, TextKeepControls).c_str(), stdout);
            return ExitClean;
        } else if (a == "--version") {
            std::printf("chkort-cli %s\n", CHKORT_VERSION_TEXT);
            return ExitClean;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--from-end") {
            o.fromEnd = true;
        } else if (a == "--raw") {
            o.raw = true;
        } else if (a == "--essai") {
            o.dryRun = true;
        } else if (a == "--report" || a == "--map" || a.rfind("--report=", 0) == 0 || a.rfind("--map=", 0) == 0) {
            const bool isReport = a.rfind("--report", 0) == 0;
            const std::size_t eq = a.find('=');
            std::string value;
            if (eq != std::string_view::npos) {
                value = std::string(a.substr(eq + 1));
            } else if (i + 1 < argc) {
                value = argv[++i];
            }
            if (value.empty()) return UsageError("%s attend un nom de fichier", argv[i]);
            // Made absolute now: the command runs from the practice's directory.
            const std::string absolute = AbsolutePath(value);
            if (absolute.empty()) return UsageError("chemin inutilisable : %s", value.c_str());
            (isReport ? o.report : o.map) = absolute;
        } else {
            return UsageError("option inconnue : %s", argv[i]);
        }
    }
    if (words.empty()) {
        std::fputs(Cp1252ToUtf8(Usage, TextKeepControls).c_str(), stderr);
        return ExitCannotRun;
    }
    o.command = words[0];
    if (o.command == "help") {
        std::fputs(Cp1252ToUtf8(Usage, TextKeepControls).c_str(), stdout);
        return ExitClean;
    }
    std::size_t next = 1;
    auto take = [&]() -> const char* { return next < words.size() ? words[next++] : nullptr; };
    if (o.command == "test") {
        const char* t = take();
        if (!t) return UsageError("%s : quel fichier ? clinique ou devis", "test");
        if (Word(t) == "schema" || Word(t) == "chart")
            return Refuse("test : le schéma dentaire n'a pas de test ; voir chkort-cli diagnose et chkort-cli show "
                          "schema\n");
        if (!(t = FileTarget(Word(t)))) return UsageError("test : fichier inconnu : %s (clinique ou devis)", words[1]);
        o.target = t;
    } else if (o.command == "show") {
        const char* t = take();
        if (!t) return UsageError("%s : quelle vue ? clinique, devis ou schema", "show");
        if (!(t = ViewTarget(Word(t))))
            return UsageError("show : vue inconnue : %s (clinique, devis ou schema)", words[1]);
        o.target = t;
    } else if (o.command == "annuler") {
        const char* j = take();
        if (!j) return UsageError("%s : quel journal ?", "annuler");
        // A file as given is made absolute now, before the command moves to
        // the practice's directory; anything else is a name in its journals.
        o.journal = IsFile(j) ? AbsolutePath(j) : j;
    } else if (o.command != "sizes" && o.command != "diagnose" && o.command != "journal" &&
               o.command != "reparer") {
        return UsageError("commande inconnue : %s", words[0]);
    }
    if (o.command == "show") {
        const char* p = take();
        if (!p) return UsageError("%s : numéro de patient attendu", "show");
        if (!ParsePatient(p, o.patient)) return UsageError("numéro de patient non valide : %s", p);
    } else if (o.command == "diagnose" || o.command == "reparer") {
        const char* p = take();
        if (!p) return UsageError("%s : numéro de patient attendu (ou all)", o.command.c_str());
        if (std::string_view(p) == "all" || std::string_view(p) == "tous") {
            o.allPatients = true;
        } else {
            // One patient, or several separated by commas.
            std::string list = p;
            for (std::size_t at = 0; at <= list.size();) {
                std::size_t comma = list.find(',', at);
                if (comma == std::string::npos) comma = list.size();
                const std::string one = list.substr(at, comma - at);
                std::int32_t patient = 0;
                if (!ParsePatient(one.c_str(), patient)) return UsageError("numéro de patient non valide : %s", one.c_str());
                o.patients.push_back(patient);
                at = comma + 1;
            }
        }
    }
    if (const char* d = take()) o.directory = d, o.directoryGiven = true;
    if (next < words.size()) return UsageError("argument de trop : %s", words[next]);

    const bool jsonAllowed =
        o.command == "test" || o.command == "sizes" || o.command == "diagnose" || o.command == "reparer";
    const bool rawAllowed = o.command == "show";
    const bool filesAllowed = o.command == "test";
    if (o.dryRun && o.command != "annuler" && o.command != "reparer")
        return UsageError("%s ne s'applique qu'à annuler et reparer", "--essai");
    if (o.json && !jsonAllowed) return UsageError("--json ne s'applique pas à %s", o.command.c_str());
    if ((o.raw || o.fromEnd) && !rawAllowed)
        return UsageError("%s ne s'applique qu'à show", o.raw ? "--raw" : "--from-end");
    if (o.fromEnd && o.target == "chart")
        return UsageError("%s : le schéma dentaire ne se parcourt que depuis son début", "--from-end");
    if ((!o.report.empty() || !o.map.empty()) && !filesAllowed)
        return UsageError("%s ne s'applique qu'à test", o.report.empty() ? "--map" : "--report");
    if (!o.report.empty() && o.report == o.map)
        return UsageError("le rapport et la carte ne peuvent pas être le même fichier : %s", o.report.c_str());
    return -1;
}

// An output file must not be one of the practice's data files, and must be
// writable before a long test runs rather than after.
bool OutputIsSafe(const std::string& path) {
    if (path.empty()) return true;
    for (const char* name : ProtectedFiles) {
        if (SameFile(path, name)) {
            Refuse("%s est un fichier de données du cabinet : il ne sera pas remplacé\n",
                   NativeToUtf8(path).c_str());
            return false;
        }
    }
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) {
        Refuse("impossible d'écrire %s\n", NativeToUtf8(path).c_str());
        return false;
    }
    std::fclose(f);
    return true;
}

} // namespace

int Refuse(const char* format, ...) {
    ConsoleProgressEnd();
    std::fputs("chkort-cli: ", stderr);
    va_list args;
    va_start(args, format);
    ConsoleSayList(stderr, format, args);
    va_end(args);
    return ExitCannotRun;
}

std::string ShownDirectory(const CliOptions& options) { return NativeToUtf8(options.directory); }

bool OpenPractice(const CliOptions& options, std::initializer_list<const char*> files, bool writable) {
    const std::string shown = ShownDirectory(options);
    if (!IsDirectory(options.directory)) {
        if (IsFile(options.directory)) Refuse("%s n'est pas un dossier\n", shown.c_str());
        else Refuse("dossier introuvable : %s\n", shown.c_str());
        return false;
    }
    if (!ChangeDirectory(options.directory)) {
        Refuse("impossible d'entrer dans le dossier %s\n", shown.c_str());
        return false;
    }
    // The data files are opened by their full path, built in 256 characters
    // as the window builds it.
    char here[256];
    if (!WorkingDirectory(here, sizeof here)) {
        Refuse("le chemin complet du dossier %s dépasse 255 caractères : copiez les fichiers plus près de la "
               "racine\n",
               shown.c_str());
        return false;
    }

    DataFilesReadOnly = !writable;
    for (const char* name : files) {
        std::string why;
        const FileHandle h = OpenPracticeFile(options, name, why);
        if (h == 0) {
            Refuse("%s\n", why.c_str());
            ClosePractice();
            return false;
        }
        FileHandle* handle = nullptr;
        for (const NamedFile& f : DataFiles)
            if (std::strcmp(f.name, name) == 0) handle = f.handle;
        if (handle) *handle = h;
        else FileClose(h);
    }
    if (!LoadCounters()) {
        // The box has said which record; the counters cannot be trusted.
        Refuse("les compteurs de lastrec ne peuvent pas être lus (fichier de %lu octets, 128 au moins)\n",
               static_cast<unsigned long>(FileSizeLow(hLastrec)));
        ClosePractice();
        return false;
    }
    if (!OutputIsSafe(options.report) || !OutputIsSafe(options.map)) {
        ClosePractice();
        return false;
    }
    return true;
}

FileHandle OpenPracticeFile(const CliOptions& options, const char* name, std::string& why) {
    // The core's box would say "Erreur"; the reason is clearer here.
    ConsoleMuteBoxes(true);
    const FileHandle h = OpenDataFile(MainWindow, name);
    ConsoleMuteBoxes(false);
    if (h == 0) {
        const char* reason = !IsFile(name)          ? "fichier introuvable : "
                             : DataFilesReadOnly ? "impossible d'ouvrir en lecture le fichier "
                                                 : "impossible d'ouvrir en écriture le fichier ";
        why = Cp1252ToUtf8(reason) + JoinPath(ShownDirectory(options), name);
    }
    return h;
}

void ClosePractice() { CloseDataFileSet(); }

bool KnownPatients(const CliOptions& options) {
    const std::vector<std::int32_t> named = options.command == "show" ? std::vector{options.patient} : options.patients;
    for (const std::int32_t p : named) {
        if (p >= 1 && p <= LastPatient) continue;
        Refuse("patient inconnu : %ld (le cabinet compte %ld patient%s)\n", static_cast<long>(p),
               static_cast<long>(LastPatient), LastPatient > 1 ? "s" : "");
        return false;
    }
    return true;
}

int RunCli(int argc, char** argv) {
    ConsoleSetBoxPrefix("chkort-cli: ");
    MainWindow = WindowRef{1}; // owner of the boxes; any value but 0 ("none") will do
    CliOptions options;
    const int status = Parse(argc, argv, options);
    if (status >= 0) return status;
    int result;
    if (options.command == "test") result = RunTest(options);
    else if (options.command == "sizes") result = RunSizes(options);
    else if (options.command == "show") result = RunShow(options);
    else if (options.command == "annuler") result = RunUndo(options);
    else if (options.command == "journal") result = RunJournals(options);
    else if (options.command == "reparer") result = RunRepair(options);
    else result = RunDiagnose(options);
    ClosePractice();
    std::fflush(stdout);
    if (std::ferror(stdout)) return Refuse("la sortie standard n'a pas pu être écrite\n");
    return result;
}
