// Files held in memory, for the fuzzers: a whole practice per input without
// touching a disk, and every write counted. The current directory is
// "M:\data"; the directories "M:\data" and "M:\tmp" exist.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

void MemoryFilesReset();
void MemoryFilePut(const std::string& path, std::vector<std::uint8_t> bytes);
// The file's bytes; false when there is no such file.
bool MemoryFileGet(const std::string& path, std::vector<std::uint8_t>& bytes);
// Writes that moved at least one byte, per file since the last reset.
unsigned MemoryFileWrites(const std::string& path);
// Removes a directory, so that files cannot be created in it.
void MemoryDirectoryRemove(const std::string& path);
