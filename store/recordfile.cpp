#include "store/recordfile.h"

#include "store/records.h"

const RecordFile LastrecFile{"LASTREC", &hLastrec, sizeof(LastrecRecord)};
const RecordFile FirstrecFile{"FIRSTREC", &hFirstrec, sizeof(FirstrecRecord)};
const RecordFile IdentiteFile{"IDENTITE", &hIdentite, sizeof(IdentiteRecord)};
const RecordFile EstimeFile{"ESTIM", &hEstime, sizeof(QuoteLine)};
const RecordFile CliniqueFile{"CLINIQUE", &hClinique, sizeof(ClinicalLine)};
const RecordFile FschemaFile{"FSCHEMA", &hFschema, sizeof(ChartEntry)};

static_assert(sizeof(IdentiteRecord) == LargestRecord && sizeof(ClinicalLine) <= LargestRecord &&
              sizeof(QuoteLine) <= LargestRecord && sizeof(FirstrecRecord) <= LargestRecord &&
              sizeof(ChartEntry) <= LargestRecord);

bool ReportShortTransfer(const RecordFile& file) {
    ShowMessageBox(MainWindow, "Erreur", file.caption, BoxOk);
    return false;
}
