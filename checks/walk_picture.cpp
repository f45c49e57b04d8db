#include "checks/walk_picture.h"

namespace {

// Lines shown at each end of a long walk, around the ellipsis.
constexpr std::size_t Head = 3, Tail = 3;

const char Arrow[] = {' ', WalkArrow, ' ', '\0'};
const char Break[] = {' ', WalkBreak, ' ', '(', '\0'};

// Why the walk stopped on `link`, without the link itself.
std::string Reason(const ChainWalk& w) {
    switch (w.stop) {
    case StopBadStart:
    case StopOutOfRange: return "hors du fichier";
    case StopLoop: return "déjà parcourue : boucle";
    case StopForeign: return "au patient " + std::to_string(w.owner);
    case StopUnreadable: return "illisible : fichier trop court";
    case StopEnd:
    case StopNoStart: break;
    }
    return "";
}

} // namespace

std::string WalkPicture(const ChainWalk& w, bool forward, const char* label, std::int32_t pointer) {
    std::string s;
    if (w.lines.empty()) {
        s = std::string(label) + " " + std::to_string(pointer);
        if (w.stop == StopNoStart || w.stop == StopEnd) return s + " : rien à parcourir";
        return s + Break + Reason(w) + ")";
    }
    const std::size_t n = w.lines.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (n > Head + Tail + 1 && i == Head) {
            s += Arrow;
            s += '\x85'; // the ellipsis of the code page
            i = n - Tail - 1;
            continue;
        }
        if (i) s += Arrow;
        s += std::to_string(w.lines[i]);
    }
    if (w.stop == StopEnd) return s + " (fin)";
    return s + Break + (forward ? "suivant " : "précédent ") + std::to_string(w.link) + " " + Reason(w) + ")";
}

void AddWalkPicture(std::vector<std::string>& text, const ChainWalk& walk, bool forward, const char* label,
                    std::int32_t pointer) {
    if (walk.stop != StopNoStart) text.push_back("  " + WalkPicture(walk, forward, label, pointer));
}
