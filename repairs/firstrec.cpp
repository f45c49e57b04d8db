// Overwriting a patient's chain ends in firstrec with typed values.
#include "repairs/repairs.h"
#include "store/recordio.h"
#include "store/state.h"
#include "window/state.h"

namespace {

// A typed end replaces the stored one only when it names a line of the file
// or 0 ("no such chain"); anything else leaves the stored value, silently.
void Apply(FirstrecRecord& record, std::size_t field, std::int32_t typed, std::int32_t counter) {
    if (typed >= 0 && typed <= counter) SetField(record, field, typed);
}

} // namespace

bool CorrectFirstrec(FirstrecTarget target) {
    if (CurrentPatient >= 1 && CurrentPatient <= LastPatient) {
        FirstrecRecord record;
        if (!ReadFirstrec(CurrentPatient, record)) return false;
        switch (target) {
        case FirstrecClinical:
            Apply(record, FirstrecField::ClinicalStart, FirstLinkInput, LastClinicalLine);
            Apply(record, FirstrecField::ClinicalEnd, SecondLinkInput, LastClinicalLine);
            break;
        case FirstrecQuotes:
            Apply(record, FirstrecField::QuoteStart, FirstLinkInput, LastQuoteLine);
            Apply(record, FirstrecField::QuoteEnd, SecondLinkInput, LastQuoteLine);
            break;
        case FirstrecChart:
            Apply(record, FirstrecField::ChartStart, FirstLinkInput, LastChartEntry);
            break;
        }
        // Written even when nothing changed.
        if (!WriteFirstrec(CurrentPatient, record)) return false;
    }
    CurrentMode = ModeNone;
    CurrentPatient = 0;
    return true;
}
