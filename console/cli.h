// chkort-cli: the console companion. It runs the window's own checks and
// views on a practice's data files, opened for reading only, and prints what
// they find. Only `reparer` and `annuler` write data files: the one makes the
// window's sure repairs, the other puts back what a journal says was replaced.
#pragma once

#include "platform/console/console.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

enum ExitStatus {
    ExitClean = 0,     // nothing to report
    ExitFindings = 1,  // something is wrong with the data
    ExitCannotRun = 2, // the command could not run
};

struct CliOptions {
    std::string command;         // test, sizes, show, diagnose
    std::string target;          // test: clinique or devis; show: clinical, quotes or chart
    std::int32_t patient = 0;            // show
    std::vector<std::int32_t> patients;  // diagnose: those listed,
    bool allPatients = false;            // or every one with something wrong
    std::string directory = "."; // as given
    bool directoryGiven = false;
    std::string report, map;     // absolute paths, or empty
    bool json = false, fromEnd = false, raw = false;
    std::string journal;         // annuler: the journal, absolute when it was found as given
    bool dryRun = false;         // annuler, reparer --essai
};

// The whole program; returns its exit status.
int RunCli(int argc, char** argv);

// "chkort-cli: " and the message, on stderr; returns ExitCannotRun.
int Refuse(const char* format, ...);

// Checks the directory, makes it the current one, opens `files` of it for
// reading only (for reading and writing with `writable`) and loads the
// counters. On failure says why and returns false.
bool OpenPractice(const CliOptions& options, std::initializer_list<const char*> files, bool writable = false);
void ClosePractice();
// After OpenPractice, one more file of it, opened the same way; 0 when it
// cannot be, with the reason in `why` (UTF-8).
FileHandle OpenPracticeFile(const CliOptions& options, const char* name, std::string& why);
// The directory as given, for messages (UTF-8).
std::string ShownDirectory(const CliOptions& options);
// Each patient named (show's, or those listed) is 1 to LastPatient, or it
// says which is unknown.
bool KnownPatients(const CliOptions& options);

// A progress bar of the integrity test's patients, on a terminal.
void ShowTestProgress(std::int32_t patient);

int RunTest(const CliOptions& options);
int RunSizes(const CliOptions& options);
int RunShow(const CliOptions& options);
int RunDiagnose(const CliOptions& options);
int RunUndo(const CliOptions& options);
int RunRepair(const CliOptions& options);
int RunJournals(const CliOptions& options);
