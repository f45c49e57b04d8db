// The print job's decisions, apart from Win32.
#pragma once

#include "platform/platform.h"

// Cell height of PrintFont from the printer's horizontal dots per inch.
int PrintFontHeight(int logPixelsX);
FontSpec PrintFontSpec(int height);

// Draws the view of CurrentMode (1 to 5) from its beginning on a printer
// whose document and first page are started.
void PrintViewFromStart(SurfaceRef printer);
