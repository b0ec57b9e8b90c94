// POSIX backend, the terminal dialog's line editor: libedit on the guarded
// terminal, in the user's locale, with the dialog's keys bound (Tab, Esc
// Return, Ctrl-T, the escape sequences read whole) and every key read
// through the terminal guard.
#include "posix_dialog.h"
#include "posix_terminal.h"

#include <climits>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include <fcntl.h>
#include <unistd.h>

namespace tty_dialog {

dialog_state &state_of(EditLine *el) {
    void *p = nullptr;
    el_get(el, EL_CLIENTDATA, &p);
    return *static_cast<dialog_state *>(p);
}

// Names chosen in this run, for the up arrow; null when libedit could not
// make a history (out of memory), which every use must allow for: libedit
// itself would crash on it. The dialog then works without one.
History *chosen_names() {
    static History *h = [] {
        History *made = history_init();
        HistEvent ev;
        if (made != nullptr)
            history(made, &ev, H_SETSIZE, 100);
        return made;
    }();
    return h;
}

std::string line_of(EditLine *el, bool to_cursor) {
    const LineInfo *li = el_line(el);
    return std::string(li->buffer, static_cast<std::size_t>((to_cursor ? li->cursor : li->lastchar) - li->buffer));
}

namespace {

// Esc, then return: the dialog is cancelled.
extern "C" unsigned char cancel_dialog(EditLine *el, int) {
    state_of(el).cancelled = true;
    return CC_NEWLINE;
}

// Ctrl-T: the next filter pair, shown on a new "Files of type" line.
extern "C" unsigned char next_filter(EditLine *el, int) {
    dialog_state &st = state_of(el);
    std::string line = "\n";
    line += wrapped(select_pair(st, st.pair + 1), window_size(st).ws_col);
    tty_write(st, line);
    st.last_tab.clear();
    return CC_REDISPLAY;
}

// ESC [ and ESC O start a key's escape sequence. It is read here whole, so
// that a key without a binding (PgUp, F5, Insert, any sequence not known)
// puts nothing on the line; libedit's own reading would stop at the first
// byte it does not know and type the rest ("~" for PgDn). The keys that
// edit are passed on as the control keys that do the same.
extern "C" unsigned char key_sequence(EditLine *el, int) {
    std::string params;
    wchar_t c = 0;
    for (;;) {
        if (el_wgetc(el, &c) != 1)
            return CC_EOF;
        if (c < 0x20 || c > 0x3F)
            break;
        params += static_cast<char>(c);
    }
    const std::string key = params + static_cast<char>(c < 0x80 ? c : '?');
    auto move = [el](int by) {
        el_cursor(el, by);
        return static_cast<unsigned char>(CC_CURSOR);
    };
    if (key == "A")
        return el_push(el, "\x10"), CC_NORM; // up: the name chosen before (Ctrl-P)
    if (key == "B")
        return el_push(el, "\x0e"), CC_NORM; // down (Ctrl-N)
    if (key == "C")
        return move(1);
    if (key == "D")
        return move(-1);
    if (key == "H" || key == "1~" || key == "7~")
        return move(-static_cast<int>(line_of(el, true).size()));
    if (key == "F" || key == "4~" || key == "8~")
        return move(static_cast<int>(line_of(el, false).size()));
    if (key == "3~") { // Delete: the character under the cursor
        if (line_of(el, true).size() == line_of(el, false).size())
            return CC_REFRESH_BEEP;
        el_cursor(el, 1);
        el_deletestr(el, 1);
        return CC_REFRESH;
    }
    return CC_REFRESH; // no binding: nothing happens
}

// Every key the line editor reads comes through here, from the guarded
// terminal, as a character of the locale that the dialog runs in. Back
// from a stop the edit mode is set again and the line redrawn; after a
// change of the window's size, the line is laid out anew at once.
extern "C" int read_key(EditLine *el, wchar_t *wc) {
    char bytes[MB_LEN_MAX];
    std::size_t used = 0;
    for (;;) {
        unsigned char b = 0;
        switch (terminal_read(&b)) {
        case terminal_event::byte: break;
        case terminal_event::resumed:
            el_set(el, EL_PREP_TERM, 0);
            el_set(el, EL_PREP_TERM, 1);
            el_set(el, EL_REFRESH);
            continue;
        case terminal_event::resized: // shrunk, the line would show only its tail
            el_resize(el);
            el_set(el, EL_REFRESH);
            continue;
        case terminal_event::end:
        default:
            state_of(el).unreadable = true;
            *wc = 0;
            return -1;
        }
        bytes[used++] = static_cast<char>(b);
        constexpr std::size_t invalid = static_cast<std::size_t>(-1), incomplete = static_cast<std::size_t>(-2);
        std::mbstate_t ms{};
        std::size_t r = std::mbrtowc(wc, bytes, used, &ms);
        if (r == incomplete && used < sizeof bytes)
            continue;
        if (r != invalid && r != incomplete)
            return 1;
        // Not a character: dropped, but its last byte may start the next one.
        const bool several = used > 1;
        used = 0;
        if (r == invalid && several) {
            bytes[used++] = static_cast<char>(b);
            ms = {};
            r = std::mbrtowc(wc, bytes, used, &ms);
            if (r != invalid && r != incomplete)
                return 1;
            if (r == invalid)
                used = 0;
        }
    }
}

const char *prompt(EditLine *) { return "File name: "; }

} // namespace

user_locale::user_locale() {
    if (std::strcmp(user_codeset(), "ANSI_X3.4-1968") == 0 || std::setlocale(LC_CTYPE, "") == nullptr)
        std::setlocale(LC_CTYPE, "C.UTF-8");
}

user_locale::~user_locale() { std::setlocale(LC_CTYPE, "C"); }

line_editor::line_editor(dialog_state &state) : st(state) {
    // Guarded before libedit first sets the terminal's modes (in
    // el_init), so that the modes put back are the ones found.
    st.tty = open_terminal();
    guarded = terminal_guard_start(st.tty, true);
    if (!guarded)
        return;
    int in_fd = fcntl(st.tty, F_DUPFD_CLOEXEC, 3), out_fd = fcntl(st.tty, F_DUPFD_CLOEXEC, 3);
    in = in_fd >= 0 ? fdopen(in_fd, "r") : nullptr;
    out = out_fd >= 0 ? fdopen(out_fd, "w") : nullptr;
    if (in == nullptr || out == nullptr)
        return;
    el = el_init("lfswap", in, out, out);
    if (el == nullptr)
        return;
    el_set(el, EL_CLIENTDATA, &st);
    el_set(el, EL_EDITOR, "emacs");
    el_set(el, EL_PROMPT, prompt);
    // Not libedit's own signal handling: it sends the signal on to the
    // whole process group, and so kills the script that started the
    // tool. The terminal guard takes signals instead (read_key).
    el_set(el, EL_SIGNAL, 0);
    el_set(el, EL_GETCFN, read_key);
    if (chosen_names() != nullptr)
        el_set(el, EL_HIST, history, chosen_names());
    el_set(el, EL_ADDFN, "lfswap-complete", "complete a file or folder name", complete_name);
    el_set(el, EL_ADDFN, "lfswap-cancel", "cancel the dialog", cancel_dialog);
    el_set(el, EL_ADDFN, "lfswap-filter", "the next filter pair", next_filter);
    el_set(el, EL_ADDFN, "lfswap-key", "a key's escape sequence", key_sequence);
    el_set(el, EL_BIND, "^I", "lfswap-complete", nullptr);
    el_set(el, EL_BIND, "^T", "lfswap-filter", nullptr);
    el_set(el, EL_BIND, "^U", "em-kill-line", nullptr); // as at a shell: the whole line goes
    el_set(el, EL_BIND, "\\e\\n", "lfswap-cancel", nullptr);
    el_set(el, EL_BIND, "\\e\\r", "lfswap-cancel", nullptr);
    el_set(el, EL_BIND, "\\e\\e", "lfswap-cancel", nullptr);
    // Last: binding the two leads drops libedit's own longer ones.
    el_set(el, EL_BIND, "\\e[", "lfswap-key", nullptr);
    el_set(el, EL_BIND, "\\eO", "lfswap-key", nullptr);
}

line_editor::~line_editor() {
    if (el != nullptr)
        el_end(el);
    if (guarded)
        terminal_guard_end();
    if (in != nullptr)
        std::fclose(in);
    if (out != nullptr)
        std::fclose(out);
    if (st.tty >= 0)
        close(st.tty);
    st.tty = -1;
}

} // namespace tty_dialog
