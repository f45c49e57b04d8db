// Stand-in for the piece of the shell that needs Win32: the modal input
// dialogs, answered here from a script the test writes. (The print job is
// the core's, on the recording stand-in's printer.)
#pragma once

#include "shell/input.h"

#include <string>
#include <vector>

struct DialogAnswer {
    DialogKind kind;
    bool ok; // OK with these texts, or Cancel
    std::vector<std::string> texts;
};

// The answers the next dialogs get, in order. A dialog that stays open after
// OK takes the next answer too.
void ScriptDialogs(std::vector<DialogAnswer> answers);
// Dialogs shown since the last ScriptDialogs, in order.
const std::vector<DialogKind>& DialogsShown();
// Answers not used yet.
std::size_t DialogAnswersLeft();
// Message boxes shown while a dialog was open, since the last ScriptDialogs.
std::size_t BoxesOverDialogs();
