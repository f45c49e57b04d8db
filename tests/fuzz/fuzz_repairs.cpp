// Each repair on any practice with any typed values: it ends, and every byte
// it changes lies in a field that repair is allowed to write.
#include "checks/checks.h"
#include "repairs/repairs.h"
#include "resources/resource.h"
#include "shell/app.h"
#include "store/records.h"
#include "store/state.h"
#include "tests/fuzz/fuzz_practice.h"

#include <cstring>

namespace {

// Bytes [from, to) of each record of a file that a repair may change.
struct Allowed {
    const char* file;
    std::size_t recordSize;
    std::size_t from, to;
};

bool ChangeAllowed(const char* file, std::size_t at, const std::vector<Allowed>& allowed) {
    for (const Allowed& a : allowed) {
        if (std::strcmp(a.file, file) != 0) continue;
        const std::size_t within = at % a.recordSize;
        if (within >= a.from && within < a.to) return true;
    }
    return false;
}

const std::vector<Allowed> LinkFields = {
    {"clinique", 224, ClinicalField::PrevLine, ClinicalField::NextLine + 4},
    {"estime", 86, QuoteField::PrevLine, QuoteField::NextLine + 4},
    {"Fschema", 64, ChartField::NextEntry, ChartField::NextEntry + 4},
    {"firstrec", 32, FirstrecField::ClinicalStart, FirstrecField::ChartStart + 4},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in{data, size};
    DecodePractice(in);
    const std::uint8_t repair = in.Byte() % 8;
    CurrentPatient = static_cast<std::int8_t>(in.Byte());
    LineOrdinal = static_cast<std::int16_t>(in.Byte() | in.Byte() << 8);
    FirstLinkInput = static_cast<std::int8_t>(in.Byte());
    SecondLinkInput = static_cast<std::int8_t>(in.Byte());
    FuzzLineAnswer = static_cast<std::int16_t>(in.Byte() | in.Byte() << 8);
    OldUser = static_cast<char>(in.Byte());
    NewUser = static_cast<char>(in.Byte());
    OldDesign = static_cast<std::int8_t>(in.Byte());
    NewDesign = in.Int32() % 1000;
    OldColour = in.Byte();
    NewColour = in.Byte();
    const DataSnapshot before = SnapshotDataFiles();

    std::vector<Allowed> allowed;
    switch (repair) {
    case 0: // Options > "Corriger" on a view
        CurrentMode = 1 + in.Byte() % 5;
        RouteCommand(0x1234, CMD_CORRECT);
        allowed = LinkFields;
        break;
    case 1:
        CurrentMode = in.Byte() % 2 ? ModeRelinkClinical : ModeRelinkQuote;
        RelinkLine();
        allowed = LinkFields;
        break;
    case 2:
        CorrectFirstrec(static_cast<FirstrecTarget>(in.Byte() % 3));
        allowed = {{"firstrec", 32, FirstrecField::ClinicalStart, FirstrecField::ChartStart + 4}};
        break;
    case 3:
        if (CurrentPatient >= 1 && CurrentPatient <= LastPatient) ResetBalance();
        allowed = {{"identite", 1420, IdentiteField::Balance, IdentiteField::Balance + 8}};
        break;
    case 4:
        ChangeUserNumbers(0x1234);
        allowed = {{"clinique", 224, ClinicalField::UserNumber, ClinicalField::UserNumber + 1}};
        break;
    case 5:
        ChangeColourCodes(0x1234);
        allowed = {{"clinique", 224, ClinicalField::ColourCode, ClinicalField::ColourCode + 1},
                   {"clinique", 224, ClinicalField::ColourCode2, ClinicalField::ColourCode2 + 1}};
        break;
    case 6:
        ChangeDesignNumbers(0x1234);
        allowed = {{"clinique", 224, ClinicalField::DesignNumber, ClinicalField::DesignNumber + 2}};
        break;
    default:
        RemovePrescriptionBilling(0x1234);
        allowed = {{"clinique", 224, ClinicalField::BilledMark, ClinicalField::BilledMark + 1},
                   {"clinique", 224, ClinicalField::ActCode, ClinicalField::ActCode + 4},
                   {"estime", 86, QuoteField::ActCode, QuoteField::ActCode + 4}};
        break;
    }

    const DataSnapshot after = SnapshotDataFiles();
    const char* const* names = DataFileNames();
    for (std::size_t f = 0; names[f]; ++f) {
        FuzzCheck(before.files[f].size() == after.files[f].size(), "a repair never changes a file's size");
        for (std::size_t i = 0; i < before.files[f].size(); ++i)
            if (before.files[f][i] != after.files[f][i])
                FuzzCheck(ChangeAllowed(names[f], i, allowed), "a repair changes only its own fields");
    }
    return 0;
}
