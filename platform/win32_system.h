// What the Win32 backend's files share: a system function found by name at
// run time (so that it adds nothing to the executable's imports), the exact
// narrowing of a wide name, the console's input.
#pragma once

#include <windows.h>

template <class F>
F system_function(HMODULE module, const char *name) {
    return module != nullptr ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)))
                             : nullptr;
}

// The wide `text` in the ANSI code page, exactly: false when a character
// has no exact form there (best fit would hand back another name). With no
// `out`, only the test.
inline bool narrowed_exactly(const wchar_t *text, char *out, int capacity) {
    BOOL used_default = FALSE;
    const bool utf8 = GetACP() == CP_UTF8; // takes no flags, and holds every character
    return WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, text, -1, out, capacity, nullptr,
                               utf8 ? nullptr : &used_default) > 0 &&
           !used_default;
}

// The console's own input, whatever standard input is; INVALID_HANDLE_VALUE
// when the process has no console (a batch job, a service, Wine without one).
inline HANDLE open_console_input() {
    HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    DWORD mode;
    if (in != INVALID_HANDLE_VALUE && !GetConsoleMode(in, &mode)) {
        CloseHandle(in);
        in = INVALID_HANDLE_VALUE;
    }
    return in;
}
