// What the store owns for the whole run: the data file set, its counters,
// and the owner of the boxes its failed transfers show. The window opens the
// set at its creation and closes it at its end; there are no other
// long-lived objects. What the window owns beside it (the command in
// progress, the dialogs' inputs, the fonts) is in window/state.h.
#pragma once

#include "platform/platform.h"

#include <cstdint>

// Owner of every error box; its client area bounds a screen page.
extern WindowRef MainWindow;

// The data file set, opened at window creation. 0 = not open.
extern FileHandle hParam, hFschema, hFirstrec, hLastrec, hEstime, hClinique, hIdentite;

// Counters read from lastrec once, at window creation.
extern std::int32_t LastPatient, LastQuoteLine, LastClinicalLine, LastChartEntry;

// Back to no file open, no counter and no owner (tests).
void ResetStoreState();
