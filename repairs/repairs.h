// The commands that rewrite records. Each works on the shared state that its
// dialog filled, reports a failed transfer where it happens and stops there;
// nothing is retried and nothing already written is rolled back.
#pragma once

#include "platform/platform.h"

// Which firstrec ends a first-record correction overwrites.
enum FirstrecTarget { FirstrecClinical, FirstrecQuotes, FirstrecChart };

// Writes the typed ends (FirstLinkInput, SecondLinkInput) of CurrentPatient's
// chain into firstrec, each only when within 0..its counter. Returns whether
// the dialog may close: false after a firstrec read or write failure.
bool CorrectFirstrec(FirstrecTarget target);

// Overwrites the two links of the LineOrdinal-th line of CurrentPatient's
// clinical (mode 6) or quote (mode 7) chain with FirstLinkInput (next) and
// SecondLinkInput (previous).
void RelinkLine();

// Options > "Corriger" on a patient's view (modes 1 to 5), once its dialog
// gave a line (LineOrdinal): cuts the chain on screen after that line,
// rebuilds its reverse links and far end, and has the view drawn again.
void CutViewedChain(WindowRef window);

// File-wide field edits after their dialogs (modes 18, 23, 24) and the
// balance reset (mode 19). The balance reset returns true when it succeeded.
void ChangeUserNumbers(WindowRef window);
void ChangeColourCodes(WindowRef window);
void ChangeDesignNumbers(WindowRef window);
bool ResetBalance();

// Blanks the billed mark of prescription lines and normalises "SPR" codes in
// both line files.
bool RemovePrescriptionBilling(WindowRef window);
