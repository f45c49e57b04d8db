// test: the window's integrity analysis over links held in memory, with the
// window's report and owner map; sizes: the rows of the window's size test;
// show: the window's own code on a console surface, and what it drew,
// printed.
#include "checks/checks.h"
#include "checks/held_chains.h"
#include "checks/print.h"
#include "console/cli.h"
#include "platform/paths.h"
#include "resources/version.h"
#include "store/state.h"
#include "window/state.h"

#include <cstdio>
#include <cstring>

namespace {

std::string CurrentDirectoryUtf8() {
    char directory[1024];
    WorkingDirectory(directory, sizeof directory);
    return NativeToUtf8(directory);
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

void ShowTestProgress(std::int32_t patient) { ConsoleProgress("patients", patient, LastPatient); }

int RunTest(const CliOptions& o) {
    const bool clinique = o.target == "clinique";
    const LineChain& chain = clinique ? ClinicalChain : QuoteChain;
    const char* file = clinique ? "clinique" : "estime";
    if (!OpenPractice(o, {"lastrec", "firstrec", file})) return ExitCannotRun;

    EndsTable ends;
    HeldChain held;
    LoadEnds(ends);
    HoldChain(chain, ends, held);
    HeldTest test;
    TestHeldChain(held, ConsoleStderrIsTerminal() ? ShowTestProgress : nullptr, test);
    ConsoleProgressEnd();

    // What is not asked for goes to the program's own directory, where the
    // next test replaces it.
    std::string workDirectory;
    if (o.report.empty() || o.map.empty()) {
        workDirectory = WorkDirectory();
        if (workDirectory.empty()) return Refuse("impossible de créer un dossier de travail temporaire\n");
    }
    const std::string reportPath = o.report.empty() ? JoinPath(workDirectory, "erreurfiche.txt") : o.report;
    const std::string mapPath = o.map.empty() ? JoinPath(workDirectory, "testfich.txt") : o.map;
    if (!WriteWholeFile(reportPath, test.report)) return Refuse("impossible d'écrire %s\n", NativeToUtf8(reportPath).c_str());
    if (!WriteOwnerMap(held, test, mapPath)) return Refuse("impossible d'écrire %s\n", NativeToUtf8(mapPath).c_str());

    // Beyond the report (the owner map is written: the claims reuse its
    // marks): the lines several patients reach, and those nobody does. When
    // the test found nothing, its walks went over every chain whole, and the
    // owners it left in the marks are the claims: no line claimed twice.
    ChainClaims claims;
    if (!test.findings.empty()) ClaimLines(held, claims);
    const std::vector<std::int32_t> unreachable = UnreachableLines(held);

    long long reportLines = 0;
    for (const char c : test.report) reportLines += c == '\n';
    if (o.json) {
        ClaimFindings(held, claims, test.findings);
        std::printf("{\n  \"tool\": \"chkort-cli\",\n  \"version\": \"%s\",\n  \"command\": \"test\",\n"
                    "  \"file\": \"%s\",\n  \"directory\": %s,\n  \"patients\": %ld,\n  \"lines\": %ld,\n"
                    "  \"report\": %s,\n  \"map\": %s,\n  \"report_lines\": %lld,\n  \"status\": \"%s\",\n"
                    "  \"findings\": %s\n}\n",
                    CHKORT_VERSION_TEXT, file, JsonQuote(CurrentDirectoryUtf8()).c_str(),
                    static_cast<long>(LastPatient), static_cast<long>(*chain.counter),
                    JsonQuote(NativeToUtf8(reportPath)).c_str(), JsonQuote(NativeToUtf8(mapPath)).c_str(),
                    reportLines, FindingsStatus(test.findings), FindingsJson(test.findings).c_str());
    } else {
        // One finding a line, without the report's CR, with its record.
        std::string lines;
        for (const Finding& f : test.findings)
            if (f.fromReport) lines += Cp1252ToUtf8(FindingLine(f)) + "\n";
        std::fputs(lines.c_str(), stdout);
    }

    if (o.report.empty()) ConsoleSay(stderr, "chkort-cli: rapport : %s\n", NativeToUtf8(reportPath).c_str());
    if (o.map.empty()) ConsoleSay(stderr, "chkort-cli: carte des propriétaires : %s\n", NativeToUtf8(mapPath).c_str());
    // The patients the test could not read through, each with why.
    std::vector<NumberRun> untested;
    bool chainsUnknown = false; // patients whose ends could not be read: their lines reached by no walk
    for (const Finding& f : test.findings) {
        if (!f.fromReport && f.patient != 0) {
            ConsoleSay(stderr, "chkort-cli: %s\n", Cp1252ToUtf8(f.text).c_str());
            untested.push_back({f.patient, f.patient == test.endedAt ? LastPatient : f.patient});
            chainsUnknown = chainsUnknown || f.kind != FindingUnreadableLine;
        }
    }
    if (!unreachable.empty() && !chainsUnknown)
        ConsoleSay(stderr, "chkort-cli: attention : %zu ligne%s en service qu'aucune chaîne n'atteint (%s) ; aucun "
                           "patient ne les montre, ce qui seul n'est pas une erreur (chkort-cli diagnose les propose "
                           "au patient qui aurait perdu les siennes)\n",
                   unreachable.size(), Plural(static_cast<long long>(unreachable.size())),
                   Cp1252ToUtf8(NumberList(unreachable)).c_str());

    // Last, what the exit status says.
    const bool findings = reportLines > 0 || test.unreadable > 0;
    std::string verdict = reportLines == 0 ? Cp1252ToUtf8("aucune erreur dans le rapport")
                                           : std::to_string(reportLines) + " constat" + Plural(reportLines) +
                                                 " dans le rapport (voir chkort-cli diagnose all)";
    if (!untested.empty()) {
        const long long count = NumberCount(untested);
        verdict += (reportLines ? ", et " : ", mais ") + std::to_string(count) + " patient" + Plural(count) +
                   Cp1252ToUtf8(" non testé") + Plural(count) + " ou en partie (" + Cp1252ToUtf8(NumberList(untested)) +
                   ") : un fichier est plus court que son compteur, voir chkort-cli sizes";
    }
    if (!findings && !unreachable.empty()) verdict += Cp1252ToUtf8(" ; un avertissement ci-dessus");
    ConsoleSay(stderr, "chkort-cli: test du fichier %s : %s.\n", clinique ? "clinique" : "devis", verdict.c_str());
    return findings ? ExitFindings : ExitClean;
}

int RunSizes(const CliOptions& o) {
    // Without lastrec's counters nothing can be compared. Any other file may
    // be missing: its line says "Erreur", as the window's does for a file it
    // could not open, and stderr says why.
    if (!OpenPractice(o, {"lastrec"})) return ExitCannotRun;
    FileHandle patient = 0, patientTri = 0;
    struct File {
        const char* name;
        FileHandle* handle;
        bool windowNeedsIt; // the window's test stops without it, and draws nothing
    };
    // The seven rows' files, in their order, and patient.tri, not measured.
    const File files[SizeRowCount + 1] = {
        {"lastrec", &hLastrec, false}, {"firstrec", &hFirstrec, false}, {"patient", &patient, true},
        {"identite", &hIdentite, true}, {"clinique", &hClinique, false}, {"estime", &hEstime, false},
        {"Fschema", &hFschema, false},  {"patient.tri", &patientTri, true}};
    std::vector<Finding> findings;
    std::string wrong, tri; // for the last line: the files short or missing, and patient.tri's
    for (const File& file : files) {
        if (*file.handle != 0) continue;
        std::string why;
        *file.handle = OpenPracticeFile(o, file.name, why);
        if (*file.handle != 0) continue;
        ConsoleSay(stderr, file.windowNeedsIt ? "chkort-cli: %s (la fenêtre ne fait pas ce test sans lui)\n"
                                              : "chkort-cli: %s\n",
                   why.c_str());
        Finding f;
        f.kind = IsFile(file.name) ? FindingFileNotOpened : FindingFileMissing;
        f.file = file.name;
        findings.push_back(f);
        if (file.handle == &patientTri) // not one of the seven rows
            tri = Cp1252ToUtf8(IsFile(file.name) ? "patient.tri illisible" : "patient.tri absent");
    }
    SizeRow rows[SizeRowCount];
    MeasureFileSizes(patient, hIdentite, rows);

    std::string json, larger;
    for (int i = 0; i < SizeRowCount; ++i) {
        const SizeRow& row = rows[i];
        const char* name = files[i].name;
        const bool open = row.size >= 0;
        if (row.verdict != SizeOk && open) {
            Finding f;
            f.kind = row.verdict == SizeTooShort ? FindingFileTooShort : FindingFileTooLarge;
            f.file = name;
            f.numbers = {{KindInfo(f.kind).value, row.size}, {KindInfo(f.kind).value2, row.expected}};
            findings.push_back(f);
        }
        if (row.verdict == SizeTooShort)
            wrong += (wrong.empty() ? "" : ", ") + std::string(name) +
                     (!open ? (IsFile(name) ? " illisible" : " absent") : " trop court");
        else if (row.verdict == SizeLarger) larger += (larger.empty() ? "" : ", ") + std::string(name);
        const std::string line = Cp1252ToUtf8(SizeRowText(row));
        json += std::string(i ? ",\n" : "") + "    {\"file\": " + JsonQuote(name) + ", \"line\": " + JsonQuote(line) +
                ", \"verdict\": " + JsonQuote(Cp1252ToUtf8(SizeVerdictText(row.verdict))) +
                ", \"size\": " + (open ? std::to_string(row.size) : "null") +
                ", \"expected\": " + std::to_string(row.expected) + "}";
        if (!o.json) std::printf("%s\n", line.c_str());
    }
    for (FileHandle h : {patient, patientTri})
        if (h != 0) FileClose(h);
    if (o.json)
        std::printf("{\n  \"tool\": \"chkort-cli\",\n  \"version\": \"%s\",\n  \"command\": \"sizes\",\n"
                    "  \"directory\": %s,\n  \"status\": \"%s\",\n  \"files\": [\n%s\n  ],\n  \"findings\": %s\n}\n",
                    CHKORT_VERSION_TEXT, JsonQuote(CurrentDirectoryUtf8()).c_str(), FindingsStatus(findings),
                    json.c_str(), FindingsJson(findings).c_str());

    // Last, what the exit status says.
    if (!larger.empty())
        ConsoleSay(stderr, "chkort-cli: attention : « Taille supérieure » pour %s : plus de 2 000 000 d'octets au-delà "
                           "de ce que demandent les compteurs de lastrec ; ce n'est pas une erreur\n",
                   larger.c_str());
    if (!wrong.empty())
        ConsoleSay(stderr, "chkort-cli: des enregistrements que promettent les compteurs de lastrec manquent : %s (voir "
                           "le guide, parties 7 et 10)%s%s.\n",
                   wrong.c_str(), tri.empty() ? "" : " ; ", tri.c_str());
    else if (!tri.empty())
        ConsoleSay(stderr, "chkort-cli: aucun fichier trop court, mais %s : la fenêtre ne fait pas ce test sans lui.\n",
                   tri.c_str());
    else
        ConsoleSay(stderr, "chkort-cli: aucun fichier trop court : les enregistrements que promettent les compteurs de "
                           "lastrec sont tous là%s.\n",
                   larger.empty() ? "" : Cp1252ToUtf8(" ; un avertissement ci-dessus").c_str());
    return wrong.empty() && tri.empty() ? ExitClean : ExitFindings;
}

int RunShow(const CliOptions& o) {
    const bool clinical = o.target == "clinical", quotes = o.target == "quotes";
    const char* file = clinical ? "clinique" : quotes ? "estime" : "Fschema";
    if (!OpenPractice(o, {"lastrec", "firstrec", file})) return ExitCannotRun;
    if (!KnownPatients(o)) return ExitCannotRun;
    if (clinical) CurrentMode = o.fromEnd ? ModeClinicalFromEnd : ModeClinicalFromStart;
    else if (quotes) CurrentMode = o.fromEnd ? ModeQuotesFromEnd : ModeQuotesFromStart;
    else CurrentMode = ModeDentalChart;
    CurrentPatient = o.patient;
    ConsoleForget();
    // As on paper: the whole walk at once, up to the first line shown
    // already, so a chain that loops back on itself ends.
    PrintViewFromStart(SurfaceRef{1});
    std::string out;
    for (const ConsoleText& t : ConsoleTexts())
        out += (o.raw ? t.bytes : Cp1252ToUtf8(t.bytes, TextSeparatorAsBar)) + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (!ConsoleBoxes().empty()) {
        ConsoleSay(stderr, "chkort-cli: la vue s'est arrêtée sur un enregistrement illisible (voir chkort-cli sizes)\n");
        return ExitFindings;
    }
    // A walk that ends normally leaves a link of 0. One still inside the
    // file was cut at a line shown already: the chain loops. One out of it
    // ended the view where the window's ends too, without a word.
    const std::int32_t counter = clinical ? LastClinicalLine : quotes ? LastQuoteLine : LastChartEntry;
    const long shown = static_cast<long>(ConsoleTexts().size()) - 1; // every text but the heading
    const std::string unit = Cp1252ToUtf8(clinical || quotes ? "ligne" : "entrée");
    if (CurrentLine >= 1 && CurrentLine <= counter) {
        ConsoleSay(stderr, "chkort-cli: la chaîne ne s'arrête pas (boucle) : la vue est coupée après %ld %s%s, "
                           "à la première déjà montrée (voir chkort-cli diagnose %ld)\n",
                   shown, unit.c_str(), Plural(shown), static_cast<long>(o.patient));
        return ExitFindings;
    }
    if (CurrentLine != 0) {
        const char* pointer = !clinical && !quotes ? "DEBUTSCHEMA"
                              : clinical           ? (o.fromEnd ? "FINACTE" : "DEBUTACTE")
                                                   : (o.fromEnd ? "FINDEVIS" : "DEBUTDEVIS");
        if (shown == 0)
            ConsoleSay(stderr, "chkort-cli: %s vaut %ld, hors du fichier (1 à %ld) : la vue est vide (voir chkort-cli "
                               "diagnose %ld)\n",
                       pointer, static_cast<long>(CurrentLine), static_cast<long>(counter),
                       static_cast<long>(o.patient));
        else
            ConsoleSay(stderr, "chkort-cli: la vue est coupée après %ld %s%s : un lien %s vaut %ld, hors du fichier "
                               "(1 à %ld) (voir chkort-cli diagnose %ld)\n",
                       shown, unit.c_str(), Plural(shown), Cp1252ToUtf8(o.fromEnd ? "précédent" : "suivant").c_str(),
                       static_cast<long>(CurrentLine),
                       static_cast<long>(counter), static_cast<long>(o.patient));
        return ExitFindings;
    }
    return ExitClean;
}
