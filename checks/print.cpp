// The print job: the print font, which view prints, and what is said when
// the printer fails. The printer itself is behind the platform seam.
#include "checks/print.h"

#include "checks/checks.h"
#include "viewers/views.h"
#include "window/state.h"

namespace {

const char PrintFailed[] = "Erreur de l'impression";

void Release(SurfaceRef printer) {
    ClosePrinter(printer);
    DeleteFontRef(PrintFont);
    PrintFont = 0;
}

} // namespace

int PrintFontHeight(int logPixelsX) {
    // In this order and in double precision, then truncated: 600 dpi gives
    // 80, 300 gives 32, 150 gives 16 and 96 gives 0 (the device's default).
    double h = logPixelsX;
    h = h / 360;
    h = h * 16;
    h = h * 3;
    const int cell = static_cast<int>(h);
    return cell > 0 ? cell - cell % 16 : 0;
}

FontSpec PrintFontSpec(int height) {
    return FontSpec{height, 0, 0, 0, 400, false, false, false, 0, 3, 2, 1, 31, "OrtText"};
}

void PrintViewFromStart(SurfaceRef printer) {
    CurrentLine = 0;
    PaintViewOfMode(printer, 1);
}

void PrintCurrentView(WindowRef window) {
    const SurfaceRef printer = OpenDefaultPrinter();
    if (printer == 0) {
        ShowMessageBox(window, "Impression est annulé", nullptr, BoxIconStop);
        return;
    }
    PrintFont = CreateFontFrom(PrintFontSpec(PrintFontHeight(DeviceDotsPerInch(printer))));
    if (!WatchPrintCancel(printer)) {
        ShowMessageBox(window, PrintFailed, "Erreur", BoxIconStop);
        Release(printer);
        return;
    }
    PrintCancelled = 0;
    if (!OpenPrintCancelBox(window, &PrintCancelled)) {
        ShowMessageBox(window, PrintFailed, nullptr, BoxIconStop);
        Release(printer);
        return;
    }
    if (StartPrintedDocument(printer, "Utilitaire ORT", PrintFont)) {
        PrintViewFromStart(printer);
        // A cancelled job was ended by the printer when the box was pressed.
        if (!PrintCancelled) EndPrintedDocument(printer);
    } else {
        ShowMessageBox(window, PrintFailed, "Erreur", BoxIconStop);
    }
    ClosePrintCancelBox(window);
    Release(printer);
}
