// The file size test: each file's size against what the counters require.
#include "checks/checks.h"
#include "store/datafiles.h"
#include "store/state.h"

#include <cstdio>
#include <initializer_list>

// Held only while the test runs.
FileHandle hPatient = 0, hPatientTri = 0;

namespace {

constexpr std::int32_t Tolerance = 2000000;

// Sizes and expected sizes are 32-bit signed, as the host's own arithmetic:
// products and differences wrap rather than overflow.
std::int32_t Wrap(std::uint32_t v) { return static_cast<std::int32_t>(v); }
std::int32_t Expected(std::int32_t count, std::uint32_t recordSize) {
    return Wrap(static_cast<std::uint32_t>(count) * recordSize);
}

// A file the window could not open (another program holding it without
// sharing stops the set there) has no size to give: asked of a handle that is
// not open, GetFileSize fails with INVALID_FILE_SIZE, which read as a signed
// size is -1. Below every expected size, even the 0 of a counter that could
// not be read, it says "Erreur" rather than "ok" for a file nobody measured.
SizeRow Measure(const char* name, FileHandle file, std::int32_t count, std::uint32_t recordSize) {
    const std::int64_t bytes = file == 0 ? -1 : static_cast<std::int64_t>(FileSizeLow(file));
    const std::int32_t size = Wrap(static_cast<std::uint32_t>(bytes));
    const std::int32_t expected = Expected(count, recordSize);
    const std::int32_t excess = Wrap(static_cast<std::uint32_t>(size) - static_cast<std::uint32_t>(expected));
    return {name, bytes, static_cast<std::int64_t>(count) * recordSize,
            size < expected ? SizeTooShort : excess > Tolerance ? SizeLarger : SizeOk};
}

void DrawFileSizes(SurfaceRef surface, FileHandle patient, FileHandle identite) {
    SizeRow rows[SizeRowCount];
    MeasureFileSizes(patient, identite, rows);
    for (int i = 0; i < SizeRowCount; ++i) {
        const std::string text = SizeRowText(rows[i]);
        DrawTextAt(surface, 0, 20 * i, text.data(), static_cast<int>(text.size()));
    }
}

} // namespace

void MeasureFileSizes(FileHandle patient, FileHandle identite, SizeRow rows[SizeRowCount]) {
    rows[0] = Measure("Lastrec", hLastrec, 1, 1280);
    rows[1] = Measure("Firstrec", hFirstrec, LastPatient, 32);
    rows[2] = Measure("Patient", patient, LastPatient, 40);
    rows[3] = Measure("Identite", identite, LastPatient, 1420);
    rows[4] = Measure("Clinique", hClinique, LastClinicalLine, 224);
    rows[5] = Measure("Estim", hEstime, LastQuoteLine, 86);
    rows[6] = Measure("Fschema", hFschema, LastChartEntry, 64);
}

const char* SizeVerdictText(SizeVerdict verdict) {
    return verdict == SizeTooShort ? "Erreur" : verdict == SizeLarger ? "Taille supérieure" : "ok";
}

std::string SizeRowText(const SizeRow& row) {
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%s -> %s", row.name, SizeVerdictText(row.verdict));
    return std::string(text, static_cast<std::size_t>(n));
}

void TestFileSizes(WindowRef window) {
    FileHandle ownIdentite = 0;
    hPatient = OpenDataFile(window, "patient");
    if (hPatient != 0) hPatientTri = OpenDataFile(window, "patient.tri");
    if (hPatientTri != 0) ownIdentite = OpenDataFile(window, "identite");

    if (ownIdentite != 0) {
        const SurfaceRef surface = AcquireWindowSurface(window);
        ClearRect(surface, 0, 0, 800, 600);
        DrawFileSizes(surface, hPatient, ownIdentite);
        ReleaseWindowSurface(window, surface);
    }
    for (FileHandle* h : {&hPatient, &hPatientTri, &ownIdentite}) {
        if (*h != 0) FileClose(*h);
        *h = 0;
    }
}
