// Files through the Win32 API, for chkort.exe and for the store tests run
// under Wine. A HANDLE is stored as its integer value; INVALID_HANDLE_VALUE
// never escapes: it becomes 0, "not open".
#include "platform/fault.h"
#include "platform/win32/handles.h"

namespace {

// Positions the file at an absolute offset. The high half is passed
// explicitly as 0: with a null high pointer SetFilePointer would take the
// offset as a signed LONG and refuse everything from 2 GiB on.
void SeekTo(FileHandle file, std::uint32_t offset) {
    LONG high = 0;
    SetFilePointer(NativeFile(file), static_cast<LONG>(offset), &high, FILE_BEGIN);
}

} // namespace

FileHandle FileOpen(const char* path, FileOpenKind kind) {
    if (path == nullptr) return 0;
    const bool shared = kind == OpenSharedExisting || kind == OpenSharedReadOnly;
    const DWORD access = kind == OpenSharedReadOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    const DWORD share = shared ? (FILE_SHARE_READ | FILE_SHARE_WRITE)
                        : kind == CreateNewSharedRead || kind == OpenGuardedExisting ? FILE_SHARE_READ
                                                                                     : 0;
    const DWORD disposition = kind == CreateExclusive       ? CREATE_ALWAYS
                              : kind == CreateNewSharedRead ? CREATE_NEW
                                                            : OPEN_EXISTING;
    HANDLE h = CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (h == INVALID_HANDLE_VALUE || h == nullptr) return 0;
    return FileHandleOf(h);
}

void FileClose(FileHandle file) {
    if (file != 0) CloseHandle(NativeFile(file));
}

std::uint32_t FileRead(FileHandle file, std::uint32_t offset, void* buffer, std::uint32_t length) {
    if (file == 0) return 0;
    const std::uint32_t allowed = FaultAllowedLength(file, offset, false, buffer, length);
    SeekTo(file, offset);
    DWORD done = 0;
    if (!ReadFile(NativeFile(file), buffer, allowed, &done, nullptr)) return 0;
    return done;
}

std::uint32_t FileWrite(FileHandle file, std::uint32_t offset, const void* buffer, std::uint32_t length) {
    if (file == 0) return 0;
    const std::uint32_t allowed = FaultAllowedLength(file, offset, true, buffer, length);
    SeekTo(file, offset);
    DWORD done = 0;
    if (allowed > 0 && !WriteFile(NativeFile(file), buffer, allowed, &done, nullptr)) return 0;
    return done;
}

bool FileFlush(FileHandle file) {
    return file != 0 && FaultAllowedFlush(file) && FlushFileBuffers(NativeFile(file));
}

bool MakeDirectory(const char* path) {
    if (CreateDirectoryA(path, nullptr)) return true;
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

LocalTime LocalTimeNow() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

std::uint32_t FileSizeLow(FileHandle file) {
    if (file == 0) return 0;
    // All ones is also the low half of a file of 4 GiB - 1 (or 8 GiB - 1...);
    // only the error code tells a failure from such a size.
    SetLastError(NO_ERROR);
    const DWORD size = GetFileSize(NativeFile(file), nullptr);
    return size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR ? 0 : size;
}

bool WorkingDirectory(char* buffer, std::size_t capacity) {
    if (capacity == 0) return false;
    const DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(capacity), buffer);
    if (n == 0 || n >= capacity) {
        buffer[0] = '\0';
        return false;
    }
    // Only a drive root ("C:\") keeps its separator; drop it so that
    // "directory + '\' + name" never doubles it.
    if (n > 0 && buffer[n - 1] == '\\') buffer[n - 1] = '\0';
    return true;
}


// Large pages need a privilege that a technician's account does not have:
// committed pages are what there is.
void* TableAlloc(std::size_t bytes) { return VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE); }

void TableFree(void* table, std::size_t) {
    if (table != nullptr) VirtualFree(table, 0, MEM_RELEASE);
}
