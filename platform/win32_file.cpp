// Win32 backend, files: the services the tool was written for, called as
// they are.
#include "platform.h"

#include <cstdint>

#include <windows.h>

namespace {
HANDLE native(io_handle h) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(h)); }
io_handle wrap(HANDLE h) { return static_cast<io_handle>(reinterpret_cast<std::intptr_t>(h)); }
bool usable(io_handle h) { return h != no_handle && h != invalid_handle; }
} // namespace

io_handle file_open(const char *path, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                    std::uint32_t attributes) {
    if (path == nullptr)
        return invalid_handle;
    HANDLE h = CreateFileA(path, access, share, nullptr, disposition, attributes, nullptr);
    static_assert(sizeof(HANDLE) == sizeof(std::intptr_t));
    return h == INVALID_HANDLE_VALUE ? invalid_handle : wrap(h);
}

bool file_read(io_handle h, void *buffer, std::uint32_t length, std::uint32_t *got) {
    *got = 0;
    if (!usable(h))
        return false;
    DWORD n = 0;
    BOOL ok = ReadFile(native(h), buffer, length, &n, nullptr);
    *got = n;
    return ok != FALSE;
}

bool file_write(io_handle h, const void *buffer, std::uint32_t length, std::uint32_t *written) {
    *written = 0;
    if (!usable(h))
        return false;
    const auto *p = static_cast<const unsigned char *>(buffer);
    while (*written < length) {
        DWORD n = 0;
        if (!WriteFile(native(h), p + *written, length - *written, &n, nullptr) || n == 0)
            return false;
        *written += n;
    }
    return true;
}

bool file_seek(io_handle h, std::int64_t offset, seek_origin origin) {
    if (!usable(h))
        return false;
    // The 64-bit form: past 4 GiB the one-byte step back must stay right.
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    DWORD method = origin == seek_origin::begin ? FILE_BEGIN : origin == seek_origin::current ? FILE_CURRENT : FILE_END;
    return SetFilePointerEx(native(h), distance, nullptr, method) != FALSE;
}

bool file_close(io_handle h) { return usable(h) && CloseHandle(native(h)) != FALSE; }

bool file_size(io_handle h, std::int64_t *size) {
    LARGE_INTEGER n;
    if (!usable(h) || !GetFileSizeEx(native(h), &n))
        return false;
    *size = static_cast<std::int64_t>(n.QuadPart);
    return true;
}

bool file_rewindable(io_handle h) {
    // Only a file on disk can be read again from its start; a pipe, a
    // console or a directory cannot.
    BY_HANDLE_FILE_INFORMATION info;
    if (!usable(h) || GetFileType(native(h)) != FILE_TYPE_DISK || !GetFileInformationByHandle(native(h), &info))
        return false;
    return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool path_exists(const char *path) { return path != nullptr && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }
