// What the input dialogs do with what was typed. The Win32 dialog procedures
// only read the edits and call these; every judgement lives here, where the
// tests reach it.
#pragma once

#include "platform/platform.h"

#include <cstdint>

enum DialogKind {
    DialogNumero,      // a patient number
    DialogVisual,      // a line number to browse from
    DialogChangeRecord,
    DialogClinique,
    DialogDevis,
    DialogSchema,
    DialogLigne,       // the line to correct
    DialogNumUser,
    DialogNumDesign,
    DialogColorChange,
    DialogKindCount
};

// The template's name, as the program asks for it.
const char* DialogTemplate(DialogKind kind);
// Number of edits (ids 1000 on) and their character limits.
int DialogEditCount(DialogKind kind);
int DialogEditLimit(DialogKind kind, int index);
// Size of the buffer each edit is read with: 10 bytes, but 6 for
// CHANGERECORD's line number, so that only its first five characters count.
int DialogReadBuffer(DialogKind kind, int index);

// OK pressed with the edits' texts (index 0 is edit 1000). Stores what was
// typed in the shared state and carries out the dialog's own work. Returns
// true when the dialog closes, false when it stays open.
bool DialogConfirm(WindowRef dialog, DialogKind kind, const char* const texts[]);
// Cancel pressed: the cancel shows through the shared state.
void DialogCancel(DialogKind kind);

// Whether the last LIGNE dialog asked for a correction (OK with a number of 0
// or more) rather than being cancelled.
extern bool LineCorrectionConfirmed;
// Whether the last CHANGERECORD dialog was confirmed: the relink is then made
// after it has closed.
extern bool RelinkConfirmed;

// Runs the dialog modally over `owner`. Implemented by the Win32 shell, and
// by the tests with typed answers of their own.
void RunInputDialog(WindowRef owner, DialogKind kind);
