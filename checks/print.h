// The print job's pieces apart from the printer: the print font, and the
// view drawn on paper (which chkort-cli draws on a surface of its own).
#pragma once

#include "platform/platform.h"

// Cell height of PrintFont from the printer's horizontal dots per inch.
int PrintFontHeight(int logPixelsX);
FontSpec PrintFontSpec(int height);

// Draws the view of CurrentMode (1 to 5) from its beginning on a printer
// whose document and first page are started.
void PrintViewFromStart(SurfaceRef printer);
