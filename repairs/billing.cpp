// Removing the billed mark of prescription lines ("O" codes) and normalising
// the "SPR" codes, over the whole clinique file and then the estime file.
#include "repairs/repairs.h"
#include "store/recordio.h"
#include "store/state.h"

#include <cstdio>
#include <cstring>

namespace {

enum CodeForm { OtherCode, PrescriptionCode, SprCode };

// Upper case as far as it matters here: the forms compared are made of O, S,
// P, R and blanks, so the accented letters that the system's conversion also
// raises can never turn a code into one of them.
unsigned char Upper(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c; }

// The first four characters of a code, copied up to a zero byte and upper-
// cased, compared with the forms that matter.
CodeForm ClassifyCode(const std::uint8_t* code) {
    char text[5] = {};
    for (int i = 0; i < 4 && code[i] != 0; ++i) text[i] = static_cast<char>(Upper(code[i]));
    if (std::strlen(text) < 4) return OtherCode;
    if (!std::strcmp(text, "O   ") || !std::strcmp(text, " O  ") || !std::strcmp(text, "  O ") ||
        !std::strcmp(text, "   O"))
        return PrescriptionCode;
    if (!std::strcmp(text, "SPR ") || !std::strcmp(text, " SPR")) return SprCode;
    return OtherCode;
}

void DrawProgress(SurfaceRef surface, std::int32_t n, std::int32_t total) {
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%ld/%ld", static_cast<long>(n), static_cast<long>(total));
    DrawTextAt(surface, 10, 20, text, length);
}

bool ClinicalPass(SurfaceRef surface) {
    for (std::int64_t next = 1; next <= LastClinicalLine; ++next) {
        const auto n = static_cast<std::int32_t>(next);
        ClinicalLine line;
        if (!ReadCliniqueLine(n, line)) return false;
        const CodeForm form = ClassifyCode(line.bytes + ClinicalField::ActCode);
        DrawProgress(surface, n, LastClinicalLine);
        if (form == PrescriptionCode) {
            line.bytes[ClinicalField::BilledMark] = ' ';
        } else if (form == SprCode) {
            std::memcpy(line.bytes + ClinicalField::ActCode, "SPR ", 4);
        } else {
            continue;
        }
        if (!WriteCliniqueLine(n, line)) return false;
    }
    return true;
}

bool QuotePass(SurfaceRef surface) {
    for (std::int64_t next = 1; next <= LastQuoteLine; ++next) {
        const auto n = static_cast<std::int32_t>(next);
        QuoteLine line;
        if (!ReadEstimeLine(n, line)) return false;
        const CodeForm form = ClassifyCode(line.bytes + QuoteField::ActCode);
        DrawProgress(surface, n, LastQuoteLine);
        if (form != SprCode) continue;
        std::memcpy(line.bytes + QuoteField::ActCode, "SPR ", 4);
        if (!WriteEstimeLine(n, line)) return false;
    }
    return true;
}

} // namespace

bool RemovePrescriptionBilling(WindowRef window) {
    const SurfaceRef surface = AcquireWindowSurface(window);
    const bool done = ClinicalPass(surface) && QuotePass(surface);
    ReleaseWindowSurface(window, surface);
    return done;
}
