#include "shell/input.h"

#include "repairs/repairs.h"
#include "store/format.h"
#include "window/state.h"

bool LineCorrectionConfirmed = false;
bool RelinkConfirmed = false;

namespace {

struct DialogShape {
    const char* name;
    int edits;
    int limits[4];
};

const DialogShape Shapes[DialogKindCount] = {
    {"Numero", 1, {9}},
    {"VISUAL", 1, {9}},
    {"Changerecord", 4, {9, 9, 9, 9}},
    {"CLINIQUE", 3, {9, 9, 9}},
    {"DEVIS", 3, {9, 9, 9}},
    {"SCHEMA", 2, {9, 9}},
    {"Ligne", 1, {5}},
    {"NUMUSER", 2, {2, 2}},
    {"NUMDESIGN", 2, {3, 3}},
    {"COLORCHANGE", 2, {3, 3}},
};

// The first character typed, or a blank when nothing was.
char FirstCharacter(const char* text) { return text[0] != '\0' ? text[0] : ' '; }

void Inform(const char* text) { ShowMessageBox(0, text, "Information", BoxOk); }

// A colour typed in one edit: false (after the message) unless 48..147.
bool ColourTyped(const char* text, const char* whenEmpty, std::uint8_t& colour) {
    if (text[0] == '\0') {
        Inform(whenEmpty);
        return false;
    }
    const std::int32_t value = TextToNumber(text);
    if (value < 48 || value > 147) {
        Inform("La valuer doit être comprise entre 48 à 147.");
        return false;
    }
    colour = static_cast<std::uint8_t>(value);
    return true;
}

bool ConfirmFirstrec(DialogKind kind, const char* const texts[]) {
    CurrentPatient = TextToNumber(texts[0]);
    FirstLinkInput = TextToNumber(texts[1]);
    if (kind != DialogSchema) SecondLinkInput = TextToNumber(texts[2]);
    const FirstrecTarget target = kind == DialogClinique ? FirstrecClinical
                                  : kind == DialogDevis  ? FirstrecQuotes
                                                         : FirstrecChart;
    return CorrectFirstrec(target);
}

} // namespace

const char* DialogTemplate(DialogKind kind) { return Shapes[kind].name; }
int DialogEditCount(DialogKind kind) { return Shapes[kind].edits; }
int DialogEditLimit(DialogKind kind, int index) { return Shapes[kind].limits[index]; }
int DialogReadBuffer(DialogKind kind, int index) { return kind == DialogChangeRecord && index == 1 ? 6 : 10; }

bool DialogConfirm(WindowRef, DialogKind kind, const char* const texts[]) {
    switch (kind) {
    case DialogNumero:
        CurrentPatient = TextToNumber(texts[0]);
        return true;
    case DialogVisual:
        CurrentLine = TextToNumber(texts[0]);
        return true;
    case DialogChangeRecord:
        CurrentPatient = TextToNumber(texts[0]);
        LineOrdinal = TextToNumber(texts[1]);
        FirstLinkInput = TextToNumber(texts[2]);
        SecondLinkInput = TextToNumber(texts[3]);
        // The relink itself comes once the dialog has closed, so that a box
        // it shows is not over the dialog.
        RelinkConfirmed = true;
        return true;
    case DialogClinique:
    case DialogDevis:
    case DialogSchema:
        return ConfirmFirstrec(kind, texts);
    case DialogLigne: {
        // A negative line counts as a cancel: LineOrdinal keeps its value.
        const std::int32_t line = TextToNumber(texts[0]);
        LineCorrectionConfirmed = line >= 0;
        if (LineCorrectionConfirmed) LineOrdinal = line;
        return true;
    }
    case DialogNumUser:
        OldUser = FirstCharacter(texts[0]);
        NewUser = FirstCharacter(texts[1]);
        CurrentPatient = 0;
        return true;
    case DialogNumDesign:
        OldDesign = TextToNumber(texts[0]);
        NewDesign = TextToNumber(texts[1]);
        CurrentPatient = 0;
        return true;
    case DialogColorChange:
        if (!ColourTyped(texts[0], "Veuillez saisir le numéro de l'ancienne couleur.", OldColour)) return false;
        if (!ColourTyped(texts[1], "Veuillez saisir le numéro de la nouvelle couleur.", NewColour)) return false;
        CurrentPatient = 0;
        return true;
    case DialogKindCount:
        break;
    }
    return true;
}

void DialogCancel(DialogKind kind) {
    switch (kind) {
    case DialogVisual:
        CurrentLine = 0;
        CurrentMode = ModeNone;
        break;
    case DialogLigne:
        LineCorrectionConfirmed = false;
        break;
    case DialogChangeRecord:
        RelinkConfirmed = false;
        CurrentPatient = 0;
        CurrentMode = ModeNone;
        break;
    case DialogNumUser:
    case DialogNumDesign:
    case DialogColorChange:
        CurrentPatient = 0;
        CurrentMode = ModeNone;
        CurrentLine = 0;
        break;
    default: // NUMERO, CHANGERECORD and the three firstrec dialogs
        CurrentPatient = 0;
        CurrentMode = ModeNone;
        break;
    }
}
