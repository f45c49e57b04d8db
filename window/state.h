// What the main window owns for the whole run: the command in progress and
// where it stands, the values typed in its dialogs, the fonts of its views
// and whether its print job was cancelled.
// The shell sets them, the views, repairs and checks work from them. The
// store knows nothing of them: it is handed the numbers it needs.
#pragma once

#include "platform/platform.h"

#include <cstdint>

// The operation in progress and where it stands.
extern std::int32_t CurrentMode;
extern std::int32_t CurrentPatient; // 1-based; 0 = none
extern std::int32_t CurrentLine;    // next record to draw, or the line typed for browsing
extern std::int32_t LineOrdinal;    // position in the walk on screen, from 1
extern int ViewReady;               // the paint handler may draw the current view

// Values typed in the dialogs.
extern std::int32_t FirstLinkInput, SecondLinkInput;
extern char OldUser, NewUser;
extern std::int32_t OldDesign, NewDesign;
extern std::uint8_t OldColour, NewColour;

// Fonts of the views: the screen's, and the printer's during a print job.
extern FontRef ScreenFont, PrintFont;
// Set when the print job's cancel box is pressed ("Annuler"); the printed
// walk ends at its next line.
extern int PrintCancelled;

// Operation modes held in CurrentMode.
enum : std::int32_t {
    ModeNone = 0,
    ModeClinicalFromStart = 1,
    ModeClinicalFromEnd = 2,
    ModeQuotesFromStart = 3,
    ModeQuotesFromEnd = 4,
    ModeDentalChart = 5,
    ModeRelinkClinical = 6,
    ModeRelinkQuote = 7,
    ModeFirstrecClinical = 8,
    ModeFirstrecQuotes = 9,
    ModeFirstrecChart = 10,
    ModeTestClinique = 11,
    ModeTestEstime = 12,
    ModeBrowseClinique = 13,
    ModeBrowseEstime = 14,
    ModeChangeUser = 18,
    ModeResetBalance = 19,
    ModeRemoveBilling = 20,
    ModeChangeColour = 23,
    ModeChangeDesign = 24,
};

// Back to the state of a freshly created window (tests).
void ResetWindowState();
