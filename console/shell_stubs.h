// The window's input dialogs in the console: a command that carries out a
// repair of the window types into them what a technician would.
#pragma once

#include <string>
#include <vector>

// The next dialog shown is answered OK with these texts (edit 1000 first);
// every other dialog is answered "Annuler".
void TypeIntoNextDialog(std::vector<std::string> texts);
