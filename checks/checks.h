// The whole-file checks and the print job.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>

// In modes 11 and 12 the integrity test of clinique or estime; in modes 1 to
// 5 the print job of the view on screen.
void PrintOrTest(WindowRef window);

// Walks every patient's chain of the file of the mode both ways and writes
// the findings to the report; draws the verdict on the window.
void TestChainFile(WindowRef window);

// Prints the view of the mode (1 to 5) on the default printer, without a
// print dialog, behind a cancel box.
void PrintCurrentView(WindowRef window);

// Compares the size of each data file with what the counters require, and
// draws the seven rows of MeasureFileSizes.
void TestFileSizes(WindowRef window);

// One row of the size test: a file against what the counters require.
enum SizeVerdict { SizeOk, SizeTooShort, SizeLarger };
struct SizeRow {
    const char* name;      // as the window draws it: "Lastrec", "Estim", ...
    std::int64_t size;     // the low 32 bits of its size; -1 for a file not open
    std::int64_t expected; // the counter times the record size
    SizeVerdict verdict;   // judged in the host's 32-bit arithmetic, as the window draws it
};
constexpr int SizeRowCount = 7;
// The seven rows, with the patient and identite files given (a handle of 0,
// a file not open, says "Erreur" like the others): the console says them
// even when one of the files the window needs is missing.
void MeasureFileSizes(FileHandle patient, FileHandle identite, SizeRow rows[SizeRowCount]);
// "Erreur", "Taille supérieure", "ok" (Windows-1252).
const char* SizeVerdictText(SizeVerdict verdict);
// The row as the window draws it: "Clinique -> ok".
std::string SizeRowText(const SizeRow& row);

// Where the integrity test keeps its two files: "c:\tmp" on a workstation.
// Only tests and the console companion point it elsewhere.
extern const char* ReportDirectory;
