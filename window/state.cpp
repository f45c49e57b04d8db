#include "window/state.h"

std::int32_t CurrentMode = 0;
std::int32_t CurrentPatient = 0;
std::int32_t CurrentLine = 0;
std::int32_t LineOrdinal = 0;
int ViewReady = 0;

std::int32_t FirstLinkInput = 0, SecondLinkInput = 0;
char OldUser = ' ', NewUser = ' ';
std::int32_t OldDesign = 0, NewDesign = 0;
std::uint8_t OldColour = 0, NewColour = 0;

FontRef ScreenFont = 0, PrintFont = 0;
int PrintCancelled = 0;

void ResetWindowState() {
    CurrentMode = CurrentPatient = CurrentLine = LineOrdinal = 0;
    ViewReady = 0;
    FirstLinkInput = SecondLinkInput = 0;
    OldUser = NewUser = ' ';
    OldDesign = NewDesign = 0;
    OldColour = NewColour = 0;
    ScreenFont = PrintFont = 0;
    PrintCancelled = 0;
}
