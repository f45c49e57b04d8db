// The whole-file checks and the print job.
#pragma once

#include "platform/platform.h"

// In modes 11 and 12 the integrity test of clinique or estime; in modes 1 to
// 5 the print job of the view on screen.
void PrintOrTest(WindowRef window);

// Walks every patient's chain of the file of the mode both ways and writes
// the findings to the report; draws the verdict on the window.
void TestChainFile(WindowRef window);

// Prints the view of the mode (1 to 5) on the default printer, without a
// print dialog, behind a cancel box.
void PrintCurrentView(WindowRef window);

// Compares the size of each data file with what the counters require.
void TestFileSizes(WindowRef window);
// Its seven lines, drawn with the patient and identite files given (a handle
// of 0, a file not open, says "Erreur" like the others): for the console,
// which says them even when one of the files the window needs is missing.
void DrawFileSizes(SurfaceRef surface, FileHandle patient, FileHandle identite);

// Where the integrity test keeps its two files: "c:\tmp" on a workstation.
// Only tests and the console companion point it elsewhere.
extern const char* ReportDirectory;
