// The printer half of the seam for the programs that have none (chkort-cli,
// the benchmark): there is no default printer, so a print job shows its box
// and ends there.
#include "platform/platform.h"

SurfaceRef OpenDefaultPrinter() { return 0; }
void ClosePrinter(SurfaceRef) {}
int DeviceDotsPerInch(SurfaceRef) { return 0; }
bool WatchPrintCancel(SurfaceRef) { return false; }
bool OpenPrintCancelBox(WindowRef, int*) { return false; }
void ClosePrintCancelBox(WindowRef) {}
bool StartPrintedDocument(SurfaceRef, const char*, FontRef) { return false; }
void EndPrintedDocument(SurfaceRef) {}
