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
std::int32_t SizeOf(FileHandle file) { return file == 0 ? -1 : Wrap(FileSizeLow(file)); }

void DrawVerdict(SurfaceRef surface, int y, const char* name, FileHandle file, std::int32_t expected) {
    const std::int32_t size = SizeOf(file);
    const std::int32_t excess = Wrap(static_cast<std::uint32_t>(size) - static_cast<std::uint32_t>(expected));
    const char* verdict = size < expected ? "Erreur" : excess > Tolerance ? "Taille supérieure" : "ok";
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%s -> %s", name, verdict);
    DrawTextAt(surface, 0, y, text, n);
}

} // namespace

void DrawFileSizes(SurfaceRef surface, FileHandle patient, FileHandle identite) {
    DrawVerdict(surface, 0, "Lastrec", hLastrec, 1280);
    DrawVerdict(surface, 20, "Firstrec", hFirstrec, Expected(LastPatient, 32));
    DrawVerdict(surface, 40, "Patient", patient, Expected(LastPatient, 40));
    DrawVerdict(surface, 60, "Identite", identite, Expected(LastPatient, 1420));
    DrawVerdict(surface, 80, "Clinique", hClinique, Expected(LastClinicalLine, 224));
    DrawVerdict(surface, 100, "Estim", hEstime, Expected(LastQuoteLine, 86));
    DrawVerdict(surface, 120, "Fschema", hFschema, Expected(LastChartEntry, 64));
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
