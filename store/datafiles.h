// The set of data files the program works on, in the current directory.
#pragma once

#include "platform/platform.h"

// When set, data files are opened for reading only (the console companion
// looks at copies of practices and must never change them); every write
// then fails like a short one. The window always opens them read-write.
extern bool DataFilesReadOnly;
// When set (and not read-only), data files are opened so that no other
// program can write them while they are open (chkort-cli reparer).
extern bool DataFilesGuarded;

// Opens "<current directory>\<name>" for reading and writing, shared with
// other processes, only if it exists. On failure shows "Erreur" captioned
// "Erreur d'ouverture du fichier - <full path>" (owned by `owner`) and
// returns 0.
FileHandle OpenDataFile(WindowRef owner, const char* name);

// Opens param, Fschema, firstrec, lastrec, estime, clinique, identite in this
// order, stopping at the first that fails: the handles after it stay 0, the
// ones obtained stay open. Returns true when all seven are open.
bool OpenDataFileSet(WindowRef owner);

// Closes every open handle of the set, in the order Fschema, param, firstrec,
// lastrec, estime, clinique, identite, and sets it back to 0.
void CloseDataFileSet();

// Reads the counters from lastrec records 0, 3, 2 and 7, in this order. A
// counter whose record cannot be read (after its "LASTREC" box) is 0, and
// then it returns false.
bool LoadCounters();
