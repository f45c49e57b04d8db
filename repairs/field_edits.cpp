// Field edits: one patient's balance, and three fields across the whole
// clinique file.
#include "repairs/repairs.h"
#include "store/format.h"
#include "store/recordio.h"
#include "store/state.h"
#include "window/state.h"

#include <cstdio>

namespace {

enum FileWideEdit { EditUser, EditColour, EditDesign };

// The two characters of a design number read as typed numbers are: " 5" and
// "05" are both 5, two blanks are 0.
std::int32_t DesignValue(const std::uint8_t* field) {
    const char text[3] = {static_cast<char>(field[0]), static_cast<char>(field[1]), '\0'};
    return TextToNumber(text);
}

// Applies the edit to one line; returns whether it changed the line.
bool EditLine(FileWideEdit edit, ClinicalLine& line, const char design[2]) {
    std::uint8_t* r = line.bytes;
    switch (edit) {
    case EditUser: {
        // Lines without a valid user number are given the new one too.
        const char c = static_cast<char>(r[ClinicalField::UserNumber]);
        if (c != OldUser && c >= '1' && c <= '9') return false;
        r[ClinicalField::UserNumber] = static_cast<std::uint8_t>(NewUser);
        return true;
    }
    case EditColour:
        // Only the first colour byte is compared; both are written.
        if (r[ClinicalField::ColourCode] != OldColour) return false;
        r[ClinicalField::ColourCode] = NewColour;
        r[ClinicalField::ColourCode2] = NewColour;
        return true;
    case EditDesign:
        if (DesignValue(r + ClinicalField::DesignNumber) != OldDesign) return false;
        r[ClinicalField::DesignNumber] = static_cast<std::uint8_t>(design[0]);
        r[ClinicalField::DesignNumber + 1] = static_cast<std::uint8_t>(design[1]);
        return true;
    }
    return false;
}

void EditWholeFile(WindowRef window, FileWideEdit edit) {
    char design[3] = {' ', ' ', '\0'};
    if (edit == EditDesign) {
        if (OldDesign < 1) {
            CurrentMode = ModeNone;
            return;
        }
        // "%2d" and only its first two characters: 123 becomes "12".
        if (NewDesign > 0) {
            char text[16];
            std::snprintf(text, sizeof text, "%2ld", static_cast<long>(NewDesign));
            design[0] = text[0];
            design[1] = text[1];
        }
    }
    const SurfaceRef surface = AcquireWindowSurface(window);
    for (std::int64_t next = 1; next <= LastClinicalLine; ++next) {
        const auto i = static_cast<std::int32_t>(next);
        ClinicalLine line;
        if (!ReadCliniqueLine(i, line)) break;
        char progress[32];
        const int n = std::snprintf(progress, sizeof progress, "%ld/%ld", static_cast<long>(i),
                                    static_cast<long>(LastClinicalLine));
        DrawTextAt(surface, 10, 20, progress, n);
        if (EditLine(edit, line, design) && !WriteCliniqueLine(i, line)) break;
    }
    ReleaseWindowSurface(window, surface);
    CurrentMode = ModeNone;
}

} // namespace

void ChangeUserNumbers(WindowRef window) { EditWholeFile(window, EditUser); }
void ChangeColourCodes(WindowRef window) { EditWholeFile(window, EditColour); }
void ChangeDesignNumbers(WindowRef window) { EditWholeFile(window, EditDesign); }

bool ResetBalance() {
    IdentiteRecord record;
    if (!ReadIdentite(CurrentPatient, record)) return false;
    ClearBalance(record);
    if (!WriteIdentite(CurrentPatient, record)) return false;
    ShowMessageBox(0, "Le solde du patient est initialisé. Veuillez remettre le solde manuellement.", "Information",
                   BoxOk);
    return true;
}
