// Win32 backend, files: the services the tool was written for, called as
// they are.
#include "platform.h"

#include <cstdint>

#include <windows.h>

namespace {
HANDLE native(io_handle h) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(h)); }
io_handle wrap(HANDLE h) { return static_cast<io_handle>(reinterpret_cast<std::intptr_t>(h)); }
bool usable(io_handle h) { return h != no_handle && h != invalid_handle; }

bool same_file(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x, y;
    return GetFileType(a) == FILE_TYPE_DISK && GetFileType(b) == FILE_TYPE_DISK &&
           GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

// True when `h` is the file that standard output or standard error writes to.
bool is_own_stream(HANDLE h) {
    return same_file(h, GetStdHandle(STD_OUTPUT_HANDLE)) || same_file(h, GetStdHandle(STD_ERROR_HANDLE));
}

// The same test by path, before an open that would empty the file: an open
// for no access at all conflicts with nobody's sharing.
bool names_own_stream(const char *path) {
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool same = is_own_stream(h);
    CloseHandle(h);
    return same;
}
} // namespace

io_handle file_open(const char *path, std::uint32_t access, std::uint32_t share, std::uint32_t disposition,
                    std::uint32_t attributes) {
    if (path == nullptr)
        return invalid_handle;
    const bool writes = (access & GENERIC_WRITE) != 0;
    if (writes && names_own_stream(path))
        return invalid_handle;
    HANDLE h = CreateFileA(path, access, share, nullptr, disposition, attributes, nullptr);
    static_assert(sizeof(HANDLE) == sizeof(std::intptr_t));
    if (h == INVALID_HANDLE_VALUE)
        return invalid_handle;
    if (writes && is_own_stream(h)) { // made so between the two opens
        CloseHandle(h);
        return invalid_handle;
    }
    return wrap(h);
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

bool file_is_regular(io_handle h) {
    file_state state;
    return file_get_state(h, &state) && state.regular;
}

bool file_get_state(io_handle h, file_state *state) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!usable(h) || !GetFileInformationByHandle(native(h), &info))
        return false;
    auto wide = [](DWORD high, DWORD low) { return std::int64_t((std::uint64_t(high) << 32) | low); };
    *state = {wide(info.nFileSizeHigh, info.nFileSizeLow), std::int64_t(info.nNumberOfLinks),
              {wide(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime), 0},
              GetFileType(native(h)) == FILE_TYPE_DISK && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0};
    return true;
}

bool path_exists(const char *path) { return path != nullptr && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }
