// The piece of the window's shell that the core refers to and that no
// console command reaches: a dialog is answered "Annuler".
#include "shell/input.h"

void RunInputDialog(WindowRef, DialogKind kind) { DialogCancel(kind); }
