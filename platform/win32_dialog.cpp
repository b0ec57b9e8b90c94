// Win32 backend, the file-selection dialog: the common dialog, wide, its
// libraries loaded only when a dialog is first wanted.
#include "platform.h"
#include "dialog_errors.h"
#include "win32_system.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include <windows.h>
#include <commdlg.h>

namespace {

// user32 and comdlg32 are loaded when a dialog is first wanted, not at
// start-up: user32 joins the process to the window station (under Wine it
// starts the desktop process, a wait every run would pay), and most runs
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
