#include "store/datafiles.h"

#include "store/recordio.h"
#include "store/state.h"

#include <cstdio>

bool DataFilesReadOnly = false;
bool DataFilesGuarded = false;

namespace {

constexpr std::size_t DirectoryCapacity = 256;

struct DataFile {
    const char* name;
    FileHandle* handle;
};

// The order of opening.
const DataFile DataFileSet[] = {
    {"param", &hParam},       {"Fschema", &hFschema},   {"firstrec", &hFirstrec}, {"lastrec", &hLastrec},
    {"estime", &hEstime},     {"clinique", &hClinique}, {"identite", &hIdentite},
};

// The order of closing: Fschema before param, as the host has always done.
FileHandle* const ClosingOrder[] = {&hFschema, &hParam,    &hFirstrec, &hLastrec,
                                    &hEstime,  &hClinique, &hIdentite};

std::int32_t Counter(std::uint32_t index, bool& read) {
    LastrecRecord record{};
    if (ReadLastrec(index, record)) return CounterValue(record);
    read = false;
    return 0;
}

} // namespace

FileHandle OpenDataFile(WindowRef owner, const char* name) {
    // The program assumes the current directory can be read; if it cannot,
    // the path starts with the bare separator, the open fails and the box
    // shows exactly what was tried.
    char directory[DirectoryCapacity];
    WorkingDirectory(directory, sizeof directory);
    char path[DirectoryCapacity + 64];
    std::snprintf(path, sizeof path, "%s\\%s", directory, name);

    const FileHandle file = FileOpen(path, DataFilesReadOnly  ? OpenSharedReadOnly
                                           : DataFilesGuarded ? OpenGuardedExisting
                                                              : OpenSharedExisting);
    if (file == 0) {
        char caption[sizeof path + 40];
        std::snprintf(caption, sizeof caption, "Erreur d'ouverture du fichier - %s", path);
        ShowMessageBox(owner, "Erreur", caption, BoxOk);
    }
    return file;
}

bool OpenDataFileSet(WindowRef owner) {
    for (const DataFile& f : DataFileSet) {
        *f.handle = OpenDataFile(owner, f.name);
        if (*f.handle == 0) return false;
    }
    return true;
}

void CloseDataFileSet() {
    for (FileHandle* h : ClosingOrder) {
        if (*h != 0) FileClose(*h);
        *h = 0;
    }
}

bool LoadCounters() {
    bool read = true;
    LastPatient = Counter(LastrecPatients, read);
    LastClinicalLine = Counter(LastrecClinicalLines, read);
    LastQuoteLine = Counter(LastrecQuoteLines, read);
    LastChartEntry = Counter(LastrecChartEntries, read);
    return read;
}
