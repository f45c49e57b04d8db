#include "shell/app.h"

#include "checks/checks.h"
#include "repairs/repairs.h"
#include "resources/resource.h"
#include "shell/input.h"
#include "store/datafiles.h"
#include "store/journal.h"
#include "store/state.h"
#include "viewers/views.h"
#include "window/state.h"

#include <cstdio>
#include <utility>

const char HostRefusedText[] =
    "Attention ! Ce module est destiné pour la version de ORTAVO  V13.XX, V14.XX, V15.XX et V16.XX\n"
    "Vous ne devez pas l'utiliser dans les versions antérieures.";
const char HostRefusedCaption[] = "Information";

namespace {

const FontSpec ScreenFontSpec{-13, 0, 0, 0, 400, false, false, false, 0, 3, 2, 1, 31, "OrtText"};

struct DispatchEntry {
    unsigned command;
    std::int32_t mode;
    DialogKind dialog;
};

const DispatchEntry DispatchTable[] = {
    {CMD_CLINICAL_FROM_START, ModeClinicalFromStart, DialogNumero},
    {CMD_CLINICAL_FROM_END, ModeClinicalFromEnd, DialogNumero},
    {CMD_QUOTES_FROM_START, ModeQuotesFromStart, DialogNumero},
    {CMD_QUOTES_FROM_END, ModeQuotesFromEnd, DialogNumero},
    {CMD_DENTAL_CHART, ModeDentalChart, DialogNumero},
    {CMD_RELINK_CLINICAL, ModeRelinkClinical, DialogChangeRecord},
    {CMD_RELINK_QUOTE, ModeRelinkQuote, DialogChangeRecord},
    {CMD_FIRSTREC_CLINICAL, ModeFirstrecClinical, DialogClinique},
    {CMD_FIRSTREC_QUOTES, ModeFirstrecQuotes, DialogDevis},
    {CMD_FIRSTREC_CHART, ModeFirstrecChart, DialogSchema},
    {CMD_BROWSE_CLINIQUE, ModeBrowseClinique, DialogVisual},
    {CMD_BROWSE_ESTIME, ModeBrowseEstime, DialogVisual},
    {CMD_CHANGE_USER, ModeChangeUser, DialogNumUser},
    {CMD_RESET_BALANCE, ModeResetBalance, DialogNumero},
    {CMD_CHANGE_COLOUR, ModeChangeColour, DialogColorChange},
    {CMD_CHANGE_DESIGN, ModeChangeDesign, DialogNumDesign},
};

// The commands that write, by the names their journal records carry, and how
// soon their records reach the disk: a patient's repairs each before its
// data write; the edits of whole files in groups, so that a million lines
// do not take a million flushes.
struct WritingCommand {
    unsigned command;
    const char* name;
    JournalDurability durability;
};
const WritingCommand WritingCommands[] = {
    {CMD_RELINK_CLINICAL, "Correction d'une ligne en fiche clinique", JournalEachWrite},
    {CMD_RELINK_QUOTE, "Correction d'une ligne en devis", JournalEachWrite},
    {CMD_FIRSTREC_CLINICAL, "Correction du Firstrec pour clinique", JournalEachWrite},
    {CMD_FIRSTREC_QUOTES, "Correction du Firstrec pour devis", JournalEachWrite},
    {CMD_FIRSTREC_CHART, "Correction du Firstrec pour schéma dentaire", JournalEachWrite},
    {CMD_RESET_BALANCE, "RAZ Solde patient", JournalEachWrite},
    {CMD_CORRECT, "Corriger", JournalEachWrite},
    {CMD_REMOVE_BILLING, "Supprimer facturation Ordonnance", JournalInGroups},
    {CMD_CHANGE_USER, "Changer le numero du user", JournalInGroups},
    {CMD_CHANGE_DESIGN, "Changer le numero du dessin", JournalInGroups},
    {CMD_CHANGE_COLOUR, "Changer la couleur de la ligne en clinique", JournalInGroups},
};

// What a command writes for, when it writes: the mode (the view, for
// Corriger) and, for a patient's repairs, the patient its dialog or view
// gave.
JournalSubject CurrentSubject() {
    JournalSubject subject;
    const bool ofPatient = CurrentMode <= ModeFirstrecChart || CurrentMode == ModeResetBalance;
    subject.patient = ofPatient ? CurrentPatient : 0;
    subject.mode = static_cast<std::uint8_t>(CurrentMode);
    return subject;
}

bool PatientInRange() { return CurrentPatient >= 1 && CurrentPatient <= LastPatient; }

void StartView(WindowRef window) {
    ViewReady = 1;
    InvalidateWindow(window);
}

// The views that Enter continues on a fresh page.
bool PagedMode(std::int32_t mode) {
    return (mode >= ModeClinicalFromStart && mode <= ModeDentalChart) || mode == ModeBrowseClinique ||
           mode == ModeBrowseEstime;
}

} // namespace

void HostExecutablePath(const char* currentDirectory, char* out, std::size_t capacity) {
    // Only the drive: "D:\data\cabinet" looks for "D:\ortavo\ortavo.exe".
    std::snprintf(out, capacity, "%.2s\\ortavo\\ortavo.exe", currentDirectory);
}

bool HostVersionAccepted(unsigned major, unsigned minor) { return major >= 14 || (major == 13 && minor >= 1); }

void OnMainWindowCreate(WindowRef window) {
    OpenDataFileSet(window);
    // The journal goes beside the data files, which are the current
    // directory's; without a directory to name, writes are refused.
    char directory[256];
    JournalStart(WorkingDirectory(directory, sizeof directory) ? directory : "?");
    ScreenFont = CreateFontFrom(ScreenFontSpec);
    LoadCounters();
}

void OnMainWindowDestroy() {
    CloseDataFileSet();
    JournalStop();
    if (ScreenFont != 0) DeleteFontRef(ScreenFont);
    ScreenFont = 0;
}

void PaintCurrentView(SurfaceRef surface) {
    const FontRef previous = SelectFontInto(surface, ScreenFont);
    if (ViewReady) PaintViewOfMode(surface, 0); // modes 6 to 12 draw nothing, nor does any other
    SelectFontInto(surface, previous);
}

int RouteCommand(WindowRef window, unsigned id) {
    for (const WritingCommand& w : WritingCommands)
        if (w.command == id) JournalCommand(w.name, w.durability, CurrentSubject);
    switch (id) {
    case ACC_CONTINUE:
        if (PagedMode(CurrentMode)) InvalidateWindow(window);
        break;
    case CMD_CLINICAL_FROM_START:
    case CMD_CLINICAL_FROM_END:
    case CMD_QUOTES_FROM_START:
    case CMD_QUOTES_FROM_END:
    case CMD_DENTAL_CHART:
    case CMD_RELINK_CLINICAL:
    case CMD_RELINK_QUOTE:
    case CMD_FIRSTREC_CLINICAL:
    case CMD_FIRSTREC_QUOTES:
    case CMD_FIRSTREC_CHART:
    case CMD_BROWSE_CLINIQUE:
    case CMD_BROWSE_ESTIME:
    case CMD_CHANGE_USER:
    case CMD_RESET_BALANCE:
    case CMD_CHANGE_COLOUR:
    case CMD_CHANGE_DESIGN:
        DispatchCommand(window, id);
        break;
    case CMD_TEST_CLINIQUE:
    case CMD_TEST_ESTIME:
        CurrentMode = id == CMD_TEST_CLINIQUE ? ModeTestClinique : ModeTestEstime;
        PrintOrTest(window);
        CurrentMode = ModeNone;
        break;
    case CMD_CORRECT:
        CorrectCurrentView(window);
        break;
    case CMD_PRINT:
        PrintOrTest(window);
        break;
    case CMD_TEST_SIZES:
        CurrentMode = ModeNone;
        TestFileSizes(window);
        break;
    case CMD_REMOVE_BILLING:
        CurrentMode = ModeRemoveBilling;
        RemovePrescriptionBilling(window);
        CurrentMode = ModeNone;
        break;
    case CMD_UNLINK_ACCOUNTS:
        CurrentMode = ModeNone;
        break;
    default: // "Sortir", the accounting commands, every other accelerator
        break;
    }
    JournalCommandEnd();
    return 0;
}

int DispatchCommand(WindowRef window, unsigned id) {
    const SurfaceRef surface = AcquireWindowSurface(window);
    ClearRect(surface, 0, 0, 800, 600);
    ReleaseWindowSurface(window, surface);
    ViewReady = 0;

    const DispatchEntry* entry = nullptr;
    for (const DispatchEntry& e : DispatchTable)
        if (e.command == id) entry = &e;
    if (entry == nullptr) {
        CurrentMode = ModeNone;
        return 0;
    }
    CurrentMode = entry->mode;
    if (id == CMD_CHANGE_USER || id == CMD_CHANGE_COLOUR || id == CMD_CHANGE_DESIGN) CurrentLine = 0;
    CurrentPatient = 0;
    RunInputDialog(window, entry->dialog);

    switch (CurrentMode) {
    case ModeNone:
        return 0;
    case ModeRelinkClinical:
    case ModeRelinkQuote:
        if (RelinkConfirmed) RelinkLine();
        RelinkConfirmed = false;
        CurrentMode = ModeNone;
        CurrentPatient = 0;
        return 0;
    case ModeChangeDesign:
        ChangeDesignNumbers(window);
        return 0;
    case ModeChangeUser:
        ChangeUserNumbers(window);
        return 0;
    case ModeChangeColour:
        ChangeColourCodes(window);
        return 0;
    case ModeBrowseClinique:
    case ModeBrowseEstime:
        if (CurrentLine > 0) StartView(window);
        return 0;
    default:
        break;
    }
    if (CurrentMode < ModeBrowseClinique || CurrentMode == ModeResetBalance) {
        if (!PatientInRange()) {
            ShowMessageBox(window, "Numéro du patient non valide.", "Message", BoxOk);
            CurrentMode = ModeNone;
            return 0;
        }
        CurrentLine = 0;
        LineOrdinal = 0;
        if (CurrentMode == ModeResetBalance) {
            if (ResetBalance()) StartView(window);
        } else if (CurrentMode <= ModeDentalChart) {
            StartView(window);
        }
    }
    return 0;
}

bool ViewCommandsEnabled() {
    return CurrentMode >= ModeClinicalFromStart && CurrentMode <= ModeDentalChart && PatientInRange();
}

void CorrectCurrentView(WindowRef window) {
    if (!ViewCommandsEnabled()) return;
    RunInputDialog(window, DialogLigne);
    if (!LineCorrectionConfirmed) return; // no change, no redraw: the view keeps its numbering
    CutViewedChain(window);
}
