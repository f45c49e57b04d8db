// Two pieces of the window's shell that the core refers to and that no
// console command reaches: a dialog is answered "Annuler", a print job
// prints nothing.
#include "checks/checks.h"
#include "shell/input.h"

void RunInputDialog(WindowRef, DialogKind kind) { DialogCancel(kind); }

void PrintCurrentView(WindowRef) {}
