// Each repair on any practice with any typed values: it ends, changes no
// file's size, and every byte it changes lies in a field it may write.
#include "repairs/repairs.h"
#include "resources/resource.h"
#include "shell/app.h"
#include "store/records.h"
#include "store/state.h"
#include "tests/fuzz/fuzz_practice.h"

#include <cstring>

namespace {

struct Field { // bytes [from, to) of each record of a file
    const char* file;
    std::size_t recordSize, from, to;
};
namespace C = ClinicalField;
const Field Links[] = {{"clinique", 224, C::PrevLine, C::NextLine + 4},
                       {"estime", 86, QuoteField::PrevLine, QuoteField::NextLine + 4},
                       {"Fschema", 64, ChartField::NextEntry, ChartField::NextEntry + 4},
                       {"firstrec", 32, FirstrecField::ClinicalStart, FirstrecField::ChartStart + 4}};
const std::vector<Field> Allowed[8] = {
    {std::begin(Links), std::end(Links)}, // Corriger on a view
    {std::begin(Links), std::end(Links)}, // relinking a line
    {Links[3]},
    {{"identite", 1420, IdentiteField::Balance, IdentiteField::Balance + 8}},
    {{"clinique", 224, C::UserNumber, C::UserNumber + 1}},
    {{"clinique", 224, C::ColourCode, C::ColourCode + 1}, {"clinique", 224, C::ColourCode2, C::ColourCode2 + 1}},
    {{"clinique", 224, C::DesignNumber, C::DesignNumber + 2}},
    {{"clinique", 224, C::BilledMark, C::BilledMark + 1}, {"clinique", 224, C::ActCode, C::ActCode + 4},
     {"estime", 86, QuoteField::ActCode, QuoteField::ActCode + 4}}};

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
    OldUser = static_cast<char>(in.Byte()), NewUser = static_cast<char>(in.Byte());
    OldDesign = static_cast<std::int8_t>(in.Byte()), NewDesign = in.Int32() % 1000;
    OldColour = in.Byte(), NewColour = in.Byte();
    const std::uint8_t choice = in.Byte();
    const char* const* names;
    const auto before = DataFiles(&names);
    switch (repair) {
    case 0: CurrentMode = 1 + choice % 5, RouteCommand(0x1234, CMD_CORRECT); break;
    case 1: CurrentMode = choice % 2 ? ModeRelinkClinical : ModeRelinkQuote, RelinkLine(); break;
    case 2: CorrectFirstrec(static_cast<FirstrecTarget>(choice % 3)); break;
    case 3: if (CurrentPatient >= 1 && CurrentPatient <= LastPatient) ResetBalance(); break;
    case 4: ChangeUserNumbers(0x1234); break;
    case 5: ChangeColourCodes(0x1234); break;
    case 6: ChangeDesignNumbers(0x1234); break;
    default: RemovePrescriptionBilling(0x1234);
    }
    const auto after = DataFiles();
    for (std::size_t f = 0; names[f]; ++f) {
        FuzzCheck(before[f].size() == after[f].size(), "a repair never changes a file's size");
        for (std::size_t i = 0; i < before[f].size(); ++i) {
            bool mayChange = before[f][i] == after[f][i];
            for (const Field& a : Allowed[repair])
                mayChange |= !std::strcmp(a.file, names[f]) && i % a.recordSize >= a.from && i % a.recordSize < a.to;
            FuzzCheck(mayChange, "a repair changes only its own fields");
        }
    }
    return 0;
}
