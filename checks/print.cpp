// The portable half of the print job: the print font and which view prints.
#include "checks/print.h"

#include "store/state.h"
#include "viewers/views.h"

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
