// test: the window's integrity analysis over links held in memory, with the
// window's report and owner map; sizes and show: the window's own code on a
// console surface, and what it drew, printed.
#include "console/chains.h"
#include "console/cli.h"
#include "console/system.h"
#include "checks/checks.h"
#include "checks/print.h"
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

const char* Plural(long long n) { return n > 1 ? "s" : ""; }

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

    // What is not asked for goes to a fresh directory of its own.
    std::string workDirectory;
    if (o.report.empty() || o.map.empty()) {
        workDirectory = MakeWorkDirectory();
        if (workDirectory.empty()) return Refuse("impossible de créer un dossier de travail temporaire\n");
    }
    const std::string reportPath = o.report.empty() ? JoinPath(workDirectory, "erreurfiche.txt") : o.report;
    const std::string mapPath = o.map.empty() ? JoinPath(workDirectory, "testfich.txt") : o.map;
    if (!WriteWholeFile(reportPath, test.report)) return Refuse("impossible d'écrire %s\n", NativeToUtf8(reportPath).c_str());
    if (!WriteOwnerMap(held, test, mapPath)) return Refuse("impossible d'écrire %s\n", NativeToUtf8(mapPath).c_str());

    long long reportLines = 0;
    for (const char c : test.report) reportLines += c == '\n';
    if (o.json) {
        ChainClaims claims;
        ClaimLines(held, claims);
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
        // One finding a line, without the report's CR.
        std::string lines;
        for (const Finding& f : test.findings)
            if (f.fromReport) lines += Cp1252ToUtf8(f.text) + "\n";
        std::fputs(lines.c_str(), stdout);
    }

    if (test.unreadable > 0)
        ConsoleSay(stderr, "chkort-cli: %d enregistrement%s illisible%s : le test a abandonné ces patients (voir chkort-cli sizes)\n",
                   test.unreadable, Plural(test.unreadable), Plural(test.unreadable));
    if (test.endedAt > 0)
        ConsoleSay(stderr, "chkort-cli: firstrec s'arrête avant le patient %ld : les patients %ld à %ld ne sont pas testés\n",
                   static_cast<long>(test.endedAt), static_cast<long>(test.endedAt), static_cast<long>(LastPatient));
    if (reportLines == 0) ConsoleSay(stderr, "chkort-cli: %s : aucune erreur dans le rapport\n", file);
    else ConsoleSay(stderr, "chkort-cli: %s : %lld constat%s dans le rapport\n", file, reportLines, Plural(reportLines));
    if (o.report.empty()) ConsoleSay(stderr, "chkort-cli: rapport : %s\n", NativeToUtf8(reportPath).c_str());
    if (o.map.empty()) ConsoleSay(stderr, "chkort-cli: carte des propriétaires : %s\n", NativeToUtf8(mapPath).c_str());
    return test.report.empty() && test.unreadable == 0 ? ExitClean : ExitFindings;
}

int RunSizes(const CliOptions& o) {
    // patient and patient.tri are opened only to say clearly when they are
    // missing; the size test opens them itself.
    if (!OpenPractice(o, {"lastrec", "firstrec", "identite", "clinique", "estime", "Fschema", "patient", "patient.tri"}))
        return ExitCannotRun;
    ConsoleForget();
    TestFileSizes(MainWindow);
    const std::vector<ConsoleText> lines = ConsoleTexts();
    if (lines.size() != 7) return Refuse("le test de taille n'a pas pu s'exécuter\n");

    struct Row {
        const char* file;
        FileHandle handle;
        long long expected;
    };
    const FileHandle patient = FileOpen("patient", OpenSharedReadOnly);
    const Row rows[7] = {{"lastrec", hLastrec, 1280},
                         {"firstrec", hFirstrec, 32LL * LastPatient},
                         {"patient", patient, 40LL * LastPatient},
                         {"identite", hIdentite, 1420LL * LastPatient},
                         {"clinique", hClinique, 224LL * LastClinicalLine},
                         {"estime", hEstime, 86LL * LastQuoteLine},
                         {"Fschema", hFschema, 64LL * LastChartEntry}};
    bool tooShort = false;
    std::vector<Finding> findings;
    std::string files;
    for (int i = 0; i < 7; ++i) {
        const std::string& line = lines[static_cast<std::size_t>(i)].bytes;
        const std::size_t arrow = line.find(" -> ");
        const std::string verdict = arrow == std::string::npos ? line : line.substr(arrow + 4);
        const long long size = FileSizeLow(rows[i].handle);
        if (verdict != "ok") {
            Finding f;
            f.code = verdict == "Erreur" ? "file-too-short" : "file-too-large";
            f.severity = verdict == "Erreur" ? "error" : "warning";
            f.file = rows[i].file;
            f.numbers = {{"size", size}, {"expected", rows[i].expected}};
            findings.push_back(f);
        }
        tooShort = tooShort || verdict == "Erreur";
        files += std::string(i ? ",\n" : "") + "    {\"file\": " + JsonQuote(rows[i].file) +
                 ", \"line\": " + JsonQuote(Cp1252ToUtf8(line)) + ", \"verdict\": " + JsonQuote(Cp1252ToUtf8(verdict)) +
                 ", \"size\": " + std::to_string(size) + ", \"expected\": " + std::to_string(rows[i].expected) + "}";
        if (!o.json) std::printf("%s\n", Cp1252ToUtf8(line).c_str());
    }
    FileClose(patient);
    if (o.json)
        std::printf("{\n  \"tool\": \"chkort-cli\",\n  \"version\": \"%s\",\n  \"command\": \"sizes\",\n"
                    "  \"directory\": %s,\n  \"status\": \"%s\",\n  \"files\": [\n%s\n  ],\n  \"findings\": %s\n}\n",
                    CHKORT_VERSION_TEXT, JsonQuote(CurrentDirectoryUtf8()).c_str(), FindingsStatus(findings),
                    files.c_str(), FindingsJson(findings).c_str());
    return tooShort ? ExitFindings : ExitClean;
}

int RunShow(const CliOptions& o) {
    const char* file = o.target == "clinical" ? "clinique" : o.target == "quotes" ? "estime" : "Fschema";
    if (!OpenPractice(o, {"lastrec", "firstrec", file})) return ExitCannotRun;
    if (!KnownPatient(o)) return ExitCannotRun;
    if (o.target == "clinical") CurrentMode = o.fromEnd ? ModeClinicalFromEnd : ModeClinicalFromStart;
    else if (o.target == "quotes") CurrentMode = o.fromEnd ? ModeQuotesFromEnd : ModeQuotesFromStart;
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
        ConsoleSay(stderr, "chkort-cli: la vue s'est arrêtée sur un enregistrement illisible\n");
        return ExitFindings;
    }
    // A walk that ends normally leaves a link of 0 or one out of the file;
    // one still inside it was cut at a line shown already: the chain loops.
    const std::int32_t counter = o.target == "clinical" ? LastClinicalLine
                                 : o.target == "quotes" ? LastQuoteLine
                                                        : LastChartEntry;
    if (CurrentLine >= 1 && CurrentLine <= counter) {
        // Every text but the heading is a line of the chain.
        ConsoleSay(stderr, "chkort-cli: la chaîne ne s'arrête pas (boucle) : la vue est coupée après %ld lignes, "
                           "à la première déjà montrée\n",
                   static_cast<long>(ConsoleTexts().size() - 1));
        return ExitFindings;
    }
    return ExitClean;
}
