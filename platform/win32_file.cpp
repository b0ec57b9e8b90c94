// Win32 backend, files: the services the tool was written for, called as
// they are.
#include "platform.h"

#include <cstdint>

#include <windows.h>
#include <winternl.h>

#include "win32_system.h"

namespace {
HANDLE native(io_handle h) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(h)); }
io_handle wrap(HANDLE h) { return static_cast<io_handle>(reinterpret_cast<std::intptr_t>(h)); }
bool usable(io_handle h) { return h != no_handle && h != invalid_handle; }

// A disk file's file index, its volume serial (0 when the volume does not
// say) and its size. Asked of the kernel directly: GetFileInformationByHandle
// wants read-attribute access, which a write-only handle (a `> file`
// redirection) lacks; these classes want none. ntdll is in every process, so
// nothing is added to the imports.
struct identity {
    LONGLONG index, size;
    ULONG serial;
};

bool file_identity(HANDLE h, identity *id) {
    using query_t = LONG(WINAPI *)(HANDLE, IO_STATUS_BLOCK *, void *, ULONG, ULONG);
    static const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    static const auto query_file = system_function<query_t>(ntdll, "NtQueryInformationFile");
    static const auto query_volume = system_function<query_t>(ntdll, "NtQueryVolumeInformationFile");
    constexpr ULONG file_internal_information = 6, file_fs_volume_information = 1;
    constexpr LONG buffer_overflow = static_cast<LONG>(0x80000005); // the label did not fit: no matter
    struct {
        LARGE_INTEGER created;
        ULONG serial, label_length;
        BOOLEAN supports_objects;
        WCHAR label[64];
    } volume{};
    IO_STATUS_BLOCK io;
    LARGE_INTEGER index, size;
    if (query_file == nullptr || query_volume == nullptr || GetFileType(h) != FILE_TYPE_DISK ||
        query_file(h, &io, &index, sizeof index, file_internal_information) < 0 || !GetFileSizeEx(h, &size))
        return false;
    LONG status = query_volume(h, &io, &volume, sizeof volume, file_fs_volume_information);
    *id = {index.QuadPart, size.QuadPart, status >= 0 || status == buffer_overflow ? volume.serial : 0};
    return true;
}

// Wine answers no volume query on a handle it made from a POSIX descriptor
// (a redirection): then the index and the size must do.
bool same_file(HANDLE a, HANDLE b) {
    identity x, y;
    return file_identity(a, &x) && file_identity(b, &y) && x.index == y.index && x.size == y.size &&
           (x.serial == y.serial || x.serial == 0 || y.serial == 0);
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

// Names go to the ANSI (-A) functions and the file functions keep the ANSI
// code page: it is the one in which the command line and the common dialog
// hand over names, so the file opened is the one the user named (read as
// OEM, "café.txt" would open "cafΘ.txt").
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
    // Device names (nul.txt, aux.log, COM1) open devices, not files; the
    // bytes would go out of a serial port, or nowhere, with status 0.
    const bool device = GetFileType(h) != FILE_TYPE_DISK && lstrcmpiA(path, "NUL") != 0;
    // Read or written, the file standard output or error goes to would take
    // the tool's messages: the input too (`lfswap in.txt out.txt >> in.txt`).
    if ((writes && device) || is_own_stream(h)) { // own stream: made so between the two opens
        CloseHandle(h);
        return invalid_handle;
    }
    return wrap(h);
}

void new_files_like(io_handle) {}

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
    // A disk file is written at its end, wherever the file pointer is (an
    // offset of all ones), as O_APPEND does on POSIX: if another program
    // cuts the file meanwhile, its size shows it, instead of a hole of zeros
    // that the next write at the old position would leave.
    const bool at_end = GetFileType(native(h)) == FILE_TYPE_DISK;
    while (*written < length) {
        DWORD n = 0;
        OVERLAPPED end{};
        end.Offset = end.OffsetHigh = 0xFFFFFFFFu;
        if (!WriteFile(native(h), p + *written, length - *written, &n, at_end ? &end : nullptr) || n == 0)
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

bool file_get_state(io_handle h, file_state *state) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!usable(h) || !GetFileInformationByHandle(native(h), &info))
        return false;
    auto wide = [](DWORD high, DWORD low) { return std::int64_t((std::uint64_t(high) << 32) | low); };
    *state = {wide(info.nFileSizeHigh, info.nFileSizeLow), std::int64_t(info.nNumberOfLinks),
              {wide(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime), 0},
              GetFileType(native(h)) == FILE_TYPE_DISK && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0,
              (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0};
    return true;
}

bool path_exists(const char *path) { return path != nullptr && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool path_is_folder(const char *path) {
    const DWORD attributes = path != nullptr ? GetFileAttributesA(path) : INVALID_FILE_ATTRIBUTES;
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
