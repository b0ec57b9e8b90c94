// Win32 backend, the process and its console: start-up, console output and
// keys and the retry wait, the executable's own file, the common file dialog.
#include "platform.h"
#include "dialog_errors.h"
#include "win32_system.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <windows.h>
#include <commdlg.h>
#include <conio.h>
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

// The wide `text` in the ANSI code page, exactly: false when a character
// has no exact form there (best fit would hand back another name). With no
// `out`, only the test.
bool narrowed_exactly(const wchar_t *text, char *out, int capacity) {
    BOOL used_default = FALSE;
    const bool utf8 = GetACP() == CP_UTF8; // takes no flags, and holds every character
    return WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, text, -1, out, capacity, nullptr,
                               utf8 ? nullptr : &used_default) > 0 &&
           !used_default;
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

namespace {

// The console's own input, whatever standard input is; INVALID_HANDLE_VALUE
// when the process has no console (a batch job, a service, Wine without one).
HANDLE open_console_input() {
    HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    DWORD mode;
    if (in != INVALID_HANDLE_VALUE && !GetConsoleMode(in, &mode)) {
        CloseHandle(in);
        in = INVALID_HANDLE_VALUE;
    }
    return in;
}

} // namespace

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

namespace {

// user32 and comdlg32 are loaded when a dialog is first wanted, not at
// start-up: user32 joins the process to the window station (under Wine it
// starts the desktop process, about half a second a run), and most runs
// show no window. Both are KnownDLLs, so the system's own copies load.
template <class F>
F window_function(const char *dll, const char *name) {
    return system_function<F>(LoadLibraryA(dll), name);
}

using create_window_t = HWND(WINAPI *)(DWORD, LPCSTR, LPCSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, LPVOID);
using destroy_window_t = BOOL(WINAPI *)(HWND);
using open_file_name_t = BOOL(WINAPI *)(OPENFILENAMEW *);
using dialog_error_t = DWORD(WINAPI *)();

// Whether a window can be shown at all. Without a display the common dialog
// fails without an error code, just like a cancel; a hidden 1 x 1 window
// tells the two apart.
bool windows_can_be_shown() {
    static int answer = -1;
    if (answer < 0) {
        static const auto create = window_function<create_window_t>("user32.dll", "CreateWindowExA");
        static const auto destroy = window_function<destroy_window_t>("user32.dll", "DestroyWindow");
        HWND w = create != nullptr && destroy != nullptr
                     ? create(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr)
                     : nullptr;
        answer = w != nullptr;
        if (w != nullptr)
            destroy(w);
    }
    return answer == 1;
}

} // namespace

// A window that nobody can answer would hold the run for ever: the
// process needs a console too, as a batch job or a detached run has none.
const char *dialog_needs() { return "a console and a desktop"; }

bool dialog_available() {
    HANDLE in = open_console_input();
    if (in == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(in);
    return windows_can_be_shown();
}

namespace {

// `length` ANSI characters (zeros inside included) as wide text in `out`.
bool widened(const char *text, int length, wchar_t *out, int capacity) {
    return text == nullptr || MultiByteToWideChar(CP_ACP, 0, text, length, out, capacity) > 0;
}

} // namespace

dialog_result show_open_dialog(file_dialog_record *record) {
    static const auto open_file_name = window_function<open_file_name_t>("comdlg32.dll", "GetOpenFileNameW");
    static const auto dialog_error = window_function<dialog_error_t>("comdlg32.dll", "CommDlgExtendedError");
    if (open_file_name == nullptr || dialog_error == nullptr || !dialog_available())
        return dialog_result::unavailable;
    // The wide dialog, so that the name chosen comes back as it was typed;
    // the tool's names stay in the ANSI code page, and a name that has no
    // exact form there is refused and the dialog shown again. The window is
    // modal, so one record serves both dialogs; it and its buffers live as
    // long as the process, like the records they are filled from.
    static OPENFILENAMEW native_record;
    static wchar_t filter[256], title[64], ext[8], path[path_capacity], file_title[path_capacity];
    int filter_length = 1;
    for (const char *p = record->filter; p != nullptr && *p != '\0'; p += std::strlen(p) + 1)
        filter_length = static_cast<int>(p + std::strlen(p) + 2 - record->filter);
    if (!widened(record->filter, filter_length, filter, 256) || !widened(record->title, -1, title, 64) ||
        !widened(record->default_ext, -1, ext, 8) || !widened(record->path, -1, path, path_capacity))
        return dialog_result::unavailable;
    for (;;) {
        native_record = {};
        OPENFILENAMEW *ofn = &native_record;
        // The short layout, without the later extension fields: 76 bytes in
        // the 32-bit tool (the 64-bit test build's pointers make it longer).
        constexpr DWORD short_size = offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(LPCWSTR);
        static_assert(sizeof(void *) != 4 || short_size == 76);
        ofn->lStructSize = short_size;
        ofn->lpstrFilter = record->filter != nullptr ? filter : nullptr;
        ofn->nFilterIndex = record->filter_index;
        ofn->lpstrFile = path;
        ofn->nMaxFile = path_capacity;
        ofn->lpstrFileTitle = file_title;
        ofn->nMaxFileTitle = path_capacity;
        ofn->lpstrTitle = record->title != nullptr ? title : nullptr;
        // OFN_NOCHANGEDIR: browsing must not move the process's current
        // folder, or relative names used afterwards would name other files.
        ofn->Flags = record->flags | OFN_NOCHANGEDIR;
        ofn->lpstrDefExt = record->default_ext != nullptr ? ext : nullptr;
        if (!open_file_name(ofn))
            return dialog_result_for_error(dialog_error());
        if (narrowed_exactly(path, record->path, static_cast<int>(record->path_size)) &&
            narrowed_exactly(file_title, record->file_title, static_cast<int>(record->file_title_size))) {
            record->filter_index = ofn->nFilterIndex;
            return dialog_result::chosen;
        }
        std::fputs("That name cannot be used here\n", stderr);
        std::fflush(stderr);
    }
}
