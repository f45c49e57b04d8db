#include "platform/memory/memory_files.h"

#include "platform/fault.h"
#include "platform/platform.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace {

struct MemoryFile {
    std::vector<std::uint8_t> bytes;
    unsigned writes = 0;
    bool exclusive = false; // held open without sharing
    unsigned holders = 0;
};

std::map<std::string, MemoryFile> files;
std::set<std::string> directories;
std::vector<std::string> handles; // handle h names handles[h - 1]; "" once closed

std::string DirectoryOf(const std::string& path) {
    const auto slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

MemoryFile* Open(FileHandle file) {
    if (file == 0 || file.value > handles.size() || handles[file.value - 1].empty()) return nullptr;
    return &files[handles[file.value - 1]];
}

} // namespace

void MemoryFilesReset() {
    files.clear();
    handles.clear();
    directories = {"M:\\data", "M:\\tmp"};
}

void MemoryFilePut(const std::string& path, std::vector<std::uint8_t> bytes) { files[path].bytes = std::move(bytes); }

bool MemoryFileGet(const std::string& path, std::vector<std::uint8_t>& bytes) {
    const auto it = files.find(path);
    if (it == files.end()) return false;
    bytes = it->second.bytes;
    return true;
}

unsigned MemoryFileWrites(const std::string& path) {
    const auto it = files.find(path);
    return it == files.end() ? 0 : it->second.writes;
}

void MemoryDirectoryRemove(const std::string& path) { directories.erase(path); }

FileHandle FileOpen(const char* path, FileOpenKind kind) {
    if (path == nullptr) return 0;
    const std::string p(path);
    auto it = files.find(p);
    if (kind == CreateNewSharedRead && it != files.end()) return 0;
    if (kind == CreateExclusive || kind == CreateNewSharedRead) {
        if (!directories.count(DirectoryOf(p))) return 0;
        if (it != files.end() && it->second.holders > 0) return 0;
        MemoryFile& f = files[p];
        f.bytes.clear();
        it = files.find(p);
    }
    if (it == files.end()) return 0;
    MemoryFile& f = it->second;
    const bool shared = kind == OpenSharedExisting || kind == OpenSharedReadOnly || kind == CreateNewSharedRead;
    if (f.exclusive || (!shared && f.holders > 0)) return 0;
    f.exclusive = !shared;
    ++f.holders;
    handles.push_back(p);
    return FileHandle{handles.size()};
}

void FileClose(FileHandle file) {
    MemoryFile* f = Open(file);
    if (f == nullptr) return;
    if (--f->holders == 0) f->exclusive = false;
    handles[file.value - 1].clear();
}

std::uint32_t FileRead(FileHandle file, std::uint32_t offset, void* buffer, std::uint32_t length) {
    MemoryFile* f = Open(file);
    if (f == nullptr) return 0;
    std::uint32_t allowed = FaultAllowedLength(file, offset, false, buffer, length);
    if (offset >= f->bytes.size()) return 0;
    if (allowed > f->bytes.size() - offset) allowed = static_cast<std::uint32_t>(f->bytes.size() - offset);
    std::memcpy(buffer, f->bytes.data() + offset, allowed);
    return allowed;
}

std::uint32_t FileWrite(FileHandle file, std::uint32_t offset, const void* buffer, std::uint32_t length) {
    MemoryFile* f = Open(file);
    if (f == nullptr) return 0;
    const std::uint32_t allowed = FaultAllowedLength(file, offset, true, buffer, length);
    if (allowed == 0) return 0;
    // Far writes would make a sparse file; in memory they would only waste it.
    if (static_cast<std::uint64_t>(offset) + allowed > (64u << 20)) return 0;
    if (f->bytes.size() < offset + allowed) f->bytes.resize(offset + allowed);
    std::memcpy(f->bytes.data() + offset, buffer, allowed);
    ++f->writes;
    return allowed;
}

bool FileFlush(FileHandle file) { return Open(file) != nullptr && FaultAllowedFlush(file); }

bool MakeDirectory(const char* path) {
    // Only in a directory that exists, as on a disk.
    if (!directories.count(DirectoryOf(path))) return false;
    directories.insert(path);
    return true;
}

LocalTime LocalTimeNow() { return {2024, 1, 15, 9, 30, 0}; }

std::uint32_t FileSizeLow(FileHandle file) {
    MemoryFile* f = Open(file);
    return f == nullptr ? 0 : static_cast<std::uint32_t>(f->bytes.size());
}

bool WorkingDirectory(char* buffer, std::size_t capacity) {
    const char here[] = "M:\\data";
    if (capacity < sizeof here) return false;
    std::memcpy(buffer, here, sizeof here);
    return true;
}

void* TableAlloc(std::size_t bytes) { return std::calloc(1, bytes); }

void TableFree(void* table, std::size_t) { std::free(table); }

