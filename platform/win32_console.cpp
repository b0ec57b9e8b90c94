// Win32 backend, the console: names in the console's code page, the
// question's copy on the console, box drawing, key reading and the retry
// wait.
#include "platform.h"
#include "win32_system.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include <windows.h>
#include <conio.h>

// Windows file names cannot hold control characters (1 to 31 are refused),
// but the tool holds them in the ANSI code page and a console shows its
// own, the OEM one by default: "café" would show as "cafΘ". The characters
// that the console's code page lacks show as "?".
std::string console_name(const char *name) {
    const UINT shown_in = GetConsoleOutputCP();
    if (shown_in == 0 || shown_in == GetACP())
        return name;
    const int wide_length = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (wide_length <= 0)
        return name;
    std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name, -1, wide.data(), wide_length);
    const int length = WideCharToMultiByte(shown_in, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return name;
    std::string shown(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(shown_in, 0, wide.c_str(), -1, shown.data(), length, nullptr, nullptr);
    shown.resize(static_cast<std::size_t>(length - 1));
    return shown;
}

namespace {

bool is_console(DWORD which) {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

} // namespace

// Redirected, the bytes as they are, which is what scripts read.
std::string printable_name(const char *name, bool to_stdout) {
    return is_console(to_stdout ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE) ? console_name(name) : name;
}

bool stderr_is_console() { return is_console(STD_ERROR_HANDLE); }

void write_to_console(const std::string &text) {
    HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(out);
}

void write_cp437_to_stderr(const char *text, std::size_t length) {
    // A console shows code page 437 as it is.
    std::fwrite(text, 1, length, stderr);
}


bool console_wait_for_return() {
    HANDLE in = open_console_input();
    if (in == INVALID_HANDLE_VALUE)
        return false;
    DWORD saved = 0;
    GetConsoleMode(in, &saved);
    SetConsoleMode(in, ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_PROCESSED_INPUT);
    char line[256];
    for (DWORD n = 0; ReadConsoleA(in, line, sizeof line, &n, nullptr) && n > 0;)
        if (std::memchr(line, '\n', n) != nullptr)
            break;
    SetConsoleMode(in, saved);
    CloseHandle(in);
    return true;
}

int console_read_key() {
    // _getch reads the console itself; without one there is nothing to read.
    HANDLE in = open_console_input();
    if (in == INVALID_HANDLE_VALUE)
        return console_key_gone;
    CloseHandle(in);
    int c = _getch();
    if (c == 0 || c == 0xE0) {
        (void)_getch(); // the second code of an arrow or function key
        return console_key_other;
    }
    if (c == 0x03) // with processed input off, as _getch reads, Ctrl-C is this key
        return console_key_interrupt;
    return c == EOF ? console_key_gone : c;
}
