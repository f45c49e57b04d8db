// Files on Linux, for the native tests and tools. Handles are file
// descriptors plus one, so that descriptor 0 is not mistaken for "not open".
#include "platform/fault.h"
#include "platform/platform.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/mman.h>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

namespace {

int Descriptor(FileHandle file) { return static_cast<int>(file.value) - 1; }

// Paths are built the Windows way ("dir\name"); Linux wants '/'.
std::string NativePath(const char* path) {
    std::string p(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

} // namespace

FileHandle FileOpen(const char* path, FileOpenKind kind) {
    if (path == nullptr) return 0;
    const std::string p = NativePath(path);
    int fd = -1;
    if (kind == CreateExclusive) {
        fd = ::open(p.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } else if (kind == CreateNewSharedRead) {
        fd = ::open(p.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } else if (kind == OpenSharedReadOnly) {
        fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    } else {
        // Windows refuses write access to a read-only file even to an
        // administrator; root on Linux would get it, so a file with no write
        // permission bit at all is refused here the same way.
        struct stat st;
        if (::stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return 0;
        fd = ::open(p.c_str(), O_RDWR | O_CLOEXEC);
    }
    if (fd < 0) return 0;
    const bool shared = kind == OpenSharedExisting || kind == OpenSharedReadOnly || kind == CreateNewSharedRead;
    if (!shared && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        // Not shared: another holder of the file keeps us out, as a Windows
        // share mode of 0 would (advisory only, between cooperating programs).
        ::close(fd);
        return 0;
    }
    return FileHandle{static_cast<std::uintptr_t>(fd) + 1};
}

void FileClose(FileHandle file) {
    if (file != 0) ::close(Descriptor(file));
}

std::uint32_t FileRead(FileHandle file, std::uint32_t offset, void* buffer, std::uint32_t length) {
    if (file == 0) return 0;
    const std::uint32_t allowed = FaultAllowedLength(file, offset, false, buffer, length);
    std::uint32_t done = 0;
    while (done < allowed) {
        const ssize_t n = ::pread(Descriptor(file), static_cast<char*>(buffer) + done, allowed - done,
                                  static_cast<off_t>(offset) + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::uint32_t>(n);
    }
    return done;
}

std::uint32_t FileWrite(FileHandle file, std::uint32_t offset, const void* buffer, std::uint32_t length) {
    if (file == 0) return 0;
    const std::uint32_t allowed = FaultAllowedLength(file, offset, true, buffer, length);
    std::uint32_t done = 0;
    while (done < allowed) {
        const ssize_t n = ::pwrite(Descriptor(file), static_cast<const char*>(buffer) + done, allowed - done,
                                   static_cast<off_t>(offset) + done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::uint32_t>(n);
    }
    return done;
}

bool FileFlush(FileHandle file) {
    return file != 0 && FaultAllowedFlush(file) && ::fsync(Descriptor(file)) == 0;
}

bool MakeDirectory(const char* path) {
    const std::string p = NativePath(path);
    struct stat st;
    return ::mkdir(p.c_str(), 0777) == 0 || (errno == EEXIST && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
}

LocalTime LocalTimeNow() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

std::uint32_t FileSizeLow(FileHandle file) {
    struct stat st;
    if (file == 0 || ::fstat(Descriptor(file), &st) != 0) return 0;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(st.st_size));
}

bool WorkingDirectory(char* buffer, std::size_t capacity) {
    if (capacity == 0) return false;
    if (::getcwd(buffer, capacity) == nullptr) {
        buffer[0] = '\0';
        return false;
    }
    std::size_t n = std::strlen(buffer);
    if (n > 1 && buffer[n - 1] == '/') buffer[n - 1] = '\0';
    return true;
}

// The memory of a table comes from mmap, which AddressSanitizer knows
// nothing of: a step one record past the end would land in the rest of the
// page unseen. Under it, a red zone follows the table, poisoned.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::size_t TableRedZone = 4096;
#else
constexpr std::size_t TableRedZone = 0;
#endif

void* TableAlloc(std::size_t bytes) {
    void* table = mmap(nullptr, bytes + TableRedZone, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (table == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
    madvise(table, bytes, MADV_HUGEPAGE); // a hint: without it the table still works
#endif
#if defined(__SANITIZE_ADDRESS__)
    __asan_poison_memory_region(static_cast<char*>(table) + bytes, TableRedZone);
#endif
    return table;
}

void TableFree(void* table, std::size_t bytes) {
    if (table == nullptr) return;
#if defined(__SANITIZE_ADDRESS__)
    __asan_unpoison_memory_region(static_cast<char*>(table) + bytes, TableRedZone); // the next mapping here is clean
#endif
    munmap(table, bytes + TableRedZone);
}
