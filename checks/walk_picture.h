// A walk along a chain drawn as one line of its line numbers, for a person
// to look at rather than read: "21 → 34 → … → 120 ✗ (suivant 121 hors du
// fichier)". Long walks are elided in the middle; where and why the walk
// broke is marked at its end.
#pragma once

#include "checks/diagnosis.h"

#include <cstdint>
#include <string>
#include <vector>

// Windows-1252 like every text of the program, but for the arrow and the
// cross, which the code page lacks: they are the bytes WalkArrow and
// WalkBreak, which Cp1252ToUtf8 turns into "→" and "✗" with TextWalkMarks.
inline constexpr char WalkArrow = '\x81';
inline constexpr char WalkBreak = '\x8F';

// `label` and `pointer` name where the walk started ("DEBUTACTE", 21).
std::string WalkPicture(const ChainWalk& walk, bool forward, const char* label, std::int32_t pointer);

// Adds the picture to `text`, indented under the walk's description; a walk
// from a pointer of 0 has nothing to draw.
void AddWalkPicture(std::vector<std::string>& text, const ChainWalk& walk, bool forward, const char* label,
                    std::int32_t pointer);
