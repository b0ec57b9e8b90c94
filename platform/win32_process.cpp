// Win32 backend, the process: its start (the console's interrupt, standard
// handles, binary streams, the console thread), its end by an interrupt,
// its command line checked against the wide one, and the executable's own
// file.
#include "platform.h"
#include "win32_system.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <windows.h>
#include <fcntl.h>
#include <io.h>

namespace {


// What Windows gives a console program stopped by Ctrl-C; Wine's default
// would end it with 0, as if it had succeeded.
constexpr UINT status_control_c_exit = 0xC000013Au;

BOOL WINAPI on_console_event(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT: case CTRL_BREAK_EVENT: case CTRL_CLOSE_EVENT:
        ExitProcess(status_control_c_exit);
    default:
        return FALSE;
    }
}

// Wine starts the console (conhost) beside the process, and the first call
// that reaches it waits until it is up. This thread makes that call, so that
// the conversion need not; live text is held in stdout's buffer until then.
HANDLE console_up = nullptr;
char stdout_buffer[4096];

DWORD WINAPI wait_for_console(void *) {
    DWORD mode;
    GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
    return 0;
}

} // namespace

extern "C" int __wgetmainargs(int *argc, wchar_t ***argv, wchar_t ***env, int glob, int *start_info);

int first_inexact_word(int argc, char **argv) {
    // The C runtime's own parse of the same command line, wide: its words are
    // the narrow argv's, one for one.
    int wide_argc = 0, start_info = 0;
    wchar_t **wide_argv = nullptr, **wide_env = nullptr;
    if (__wgetmainargs(&wide_argc, &wide_argv, &wide_env, 0, &start_info) < 0)
        return 0;
    // Each narrow word must be its wide word exactly. A look-alike can also
    // move the words' bounds: a fullwidth quote becomes '"' in the ANSI
    // line, and then the two parses differ in their words or their count.
    static char narrow[32768];
    const int common = wide_argc < argc ? wide_argc : argc;
    for (int i = 1; i < common; ++i)
        if (!narrowed_exactly(wide_argv[i], narrow, sizeof narrow) || std::strcmp(narrow, argv[i]) != 0)
            return i;
    if (wide_argc != argc && argc > 1)
        return common < argc ? common : argc - 1;
    return 0;
}

void end_interrupted() { ExitProcess(status_control_c_exit); }

void process_start() {
    SetConsoleCtrlHandler(on_console_event, TRUE);
    // A standard handle the process was started without (or one that names
    // nothing) would let console text go to whatever file later gets that
    // handle value: the null device takes its place, in the runtime's
    // descriptor and in the process's table.
    const DWORD ids[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int fd = 0; fd < 3; ++fd) {
        HANDLE h = GetStdHandle(ids[fd]);
        SetLastError(NO_ERROR);
        if (h != nullptr && h != INVALID_HANDLE_VALUE &&
            (GetFileType(h) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR))
            continue;
        HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        int nul_fd = nul == INVALID_HANDLE_VALUE ? -1 : _open_osfhandle(reinterpret_cast<std::intptr_t>(nul), 0);
        if (nul_fd < 0 || _dup2(nul_fd, fd) != 0)
            std::_Exit(1); // no null device: going on could damage a file
        _close(nul_fd);
        SetStdHandle(ids[fd], reinterpret_cast<HANDLE>(_get_osfhandle(fd)));
    }
    // Text mode would turn every "\n" written into "\r\n"; the tool's
    // messages are the same bytes on every platform.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    if (GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_CHAR) {
        console_up = CreateThread(nullptr, 64 * 1024, wait_for_console, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                  nullptr);
        // Fully buffered: the runtime would otherwise write a console's text
        // at the end of every printf.
        if (console_up != nullptr)
            std::setvbuf(stdout, stdout_buffer, _IOFBF, sizeof stdout_buffer);
    }
}

bool stdout_is_terminal() { return _isatty(_fileno(stdout)) != 0; }

void flush_live_output() {
    if (console_up == nullptr || WaitForSingleObject(console_up, 0) == WAIT_OBJECT_0)
        std::fflush(stdout);
}

io_handle open_own_executable() {
    // The module that holds this function, by its wide name: a folder name
    // outside the ANSI code page would come back with "?" in it.
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&open_own_executable), &self))
        return invalid_handle;
    static wchar_t path[32768];
    DWORD n = GetModuleFileNameW(self, path, 32768);
    if (n == 0 || n >= 32768)
        return invalid_handle;
    HANDLE h = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? invalid_handle : static_cast<io_handle>(reinterpret_cast<std::intptr_t>(h));
}
