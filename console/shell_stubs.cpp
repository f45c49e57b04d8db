// The piece of the window's shell that the core refers to: a dialog gets
// what the command typed for it (reparer, through the window's own
// dialogs), and is otherwise answered "Annuler".
#include "console/shell_stubs.h"

#include "shell/input.h"

namespace {
std::vector<std::string> typed;
bool typing = false;
} // namespace

void TypeIntoNextDialog(std::vector<std::string> texts) {
    typed = std::move(texts);
    typing = true;
}

void RunInputDialog(WindowRef owner, DialogKind kind) {
    if (!typing) {
        DialogCancel(kind);
        return;
    }
    typing = false;
    const char* texts[4] = {"", "", "", ""};
    for (std::size_t i = 0; i < typed.size() && i < 4; ++i) texts[i] = typed[i].c_str();
    // A dialog that stays open after OK (its write failed) is then cancelled.
    if (!DialogConfirm(owner, kind, texts)) DialogCancel(kind);
}
