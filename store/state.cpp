#include "store/state.h"

#include "store/journal.h"

WindowRef MainWindow = 0;

FileHandle hParam = 0, hFschema = 0, hFirstrec = 0, hLastrec = 0, hEstime = 0, hClinique = 0, hIdentite = 0;

std::int32_t LastPatient = 0, LastQuoteLine = 0, LastClinicalLine = 0, LastChartEntry = 0;

void ResetStoreState() {
    MainWindow = 0;
    hParam = hFschema = hFirstrec = hLastrec = hEstime = hClinique = hIdentite = 0;
    LastPatient = LastQuoteLine = LastClinicalLine = LastChartEntry = 0;
    ResetJournal();
}
