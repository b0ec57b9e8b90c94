// POSIX backend, the terminal's stand-in for the file-selection window: the
// title, the filter list with the selected pair marked, then a file-name
// line edited with libedit on the controlling terminal (never stdin or
// stdout, which may be redirected). Tab completes names, a second Tab lists
// the candidates, a folder name alone lists that folder, Ctrl-T moves to the
// next filter pair, the up arrow brings back names chosen before in this run.
#include "platform.h"
#include "posix_terminal.h"

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <algorithm>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <histedit.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What one dialog call works with. libedit hands it to the functions it
// calls back (EL_CLIENTDATA).
struct dialog_state {
    int tty = -1;
    const char *filter = nullptr; // the record's pairs
    std::uint32_t pair = 1;       // the one shown selected, 1 = first
    std::vector<std::string> patterns; // of that pair
    bool cancelled = false;
    bool unreadable = false; // the terminal could not be read, or is gone
    std::string last_tab; // the line as the previous Tab left it
};

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

void tty_write(const dialog_state &st, const std::string &text) { terminal_write(st.tty, text); }

std::size_t shown_width(const std::string &text) {
    std::size_t w = 0;
    for (unsigned char c : text)
        w += (c & 0xC0) != 0x80;
    return w;
}

// The filter pairs of a record: each display text, then its patterns.
struct filter_pair {
    std::string text;
    std::vector<std::string> patterns;
};
std::vector<filter_pair> filter_pairs(const char *filter) {
    std::vector<filter_pair> pairs;
    for (const char *p = filter; p != nullptr && *p != '\0';) {
        const char *pattern = p + std::strlen(p) + 1;
        filter_pair f{p, {}};
        const std::string list = pattern;
        for (std::size_t at = 0; at <= list.size();) {
            std::size_t semi = std::min(list.find(';', at), list.size());
            f.patterns.push_back(list.substr(at, semi - at));
            at = semi + 1;
        }
        pairs.push_back(f);
        p = pattern + std::strlen(pattern) + 1;
    }
    return pairs;
}

// Selects pair `pair` (1 on) and answers the "Files of type" line for it.
std::string select_pair(dialog_state &st, std::uint32_t pair) {
    const std::vector<filter_pair> pairs = filter_pairs(st.filter);
    st.pair = pair >= 1 && pair <= pairs.size() ? pair : 1;
    st.patterns = pairs.empty() ? std::vector<std::string>{} : pairs[st.pair - 1].patterns;
    std::string line = "  Files of type:";
    for (std::size_t i = 0; i < pairs.size(); ++i)
        line += i + 1 == st.pair ? "  [" + pairs[i].text + "]" : "   " + pairs[i].text + " ";
    return line + "\n";
}

bool matches_filter(const dialog_state &st, const std::string &name) {
    for (const std::string &p : st.patterns)
        if (p == "*.*" || p == "*" || fnmatch(p.c_str(), name.c_str(), FNM_CASEFOLD) == 0)
            return true;
    return false;
}

bool names_home(const std::string &typed) { return typed == "~" || typed.starts_with("~/"); }

bool has_home() {
    const char *home = std::getenv("HOME");
    return home != nullptr && *home != '\0';
}

// `~` and `~/...` name the home folder, as in a shell.
std::string with_home(const std::string &typed) {
    if (!has_home() || !names_home(typed))
        return typed;
    return std::getenv("HOME") + typed.substr(1);
}

// The window's size; 80 x 24 where it cannot be had.
winsize window_size(const dialog_state &st) {
    winsize ws{};
    if (ioctl(st.tty, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0)
        ws.ws_col = 80;
    if (ws.ws_row == 0)
        ws.ws_row = 24;
    return ws;
}

// `text` (lines each starting with their indent) wrapped at word
// boundaries to `width` columns: a narrow window would otherwise break its
// words ("Selectio" / "n"). A continued line keeps the indent.
std::string wrapped(const std::string &text, std::size_t width) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (shown_width(line) <= width) { // as it is, its spacing kept
            out += line + "\n";
            continue;
        }
        const std::size_t indent = std::min(line.find_first_not_of(' '), line.size());
        std::string current = line.substr(0, indent);
        std::size_t used = indent;
        bool first = true;
        for (std::size_t w = indent; w < line.size();) {
            const std::size_t next = std::min(line.find(' ', w), line.size());
            const std::string word = line.substr(w, next - w);
            w = next + 1;
            if (word.empty())
                continue;
            const std::size_t wide = shown_width(word);
            if (!first && used + 1 + wide > width) {
                out += current + "\n";
                current = line.substr(0, indent);
                used = indent;
                first = true;
            }
            if (!first)
                current += ' ';
            current += word;
            used += (first ? 0 : 1) + wide;
            first = false;
        }
        out += current + "\n";
    }
    return out;
}

bool is_folder(const std::string &path) {
    struct stat st;
    return stat(with_home(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct entry {
    std::string name;
    bool folder;
};

// The entries of `folder` that start with `prefix`: folders always, files
// that the filter lets through, hidden ones only for a prefix that starts
// with ".". Folders first, each group in name order.
std::vector<entry> entries(const dialog_state &st, const std::string &folder, const std::string &prefix,
                           bool *unreadable = nullptr) {
    std::vector<entry> found;
    const std::string where = folder.empty() ? "./" : with_home(folder);
    DIR *d = opendir(where.c_str());
    if (unreadable != nullptr)
        *unreadable = d == nullptr;
    if (d == nullptr)
        return found;
    while (dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == ".." || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        if (name[0] == '.' && (prefix.empty() || prefix[0] != '.'))
            continue;
        bool folder_entry = is_folder(where + "/" + name);
        if (folder_entry || matches_filter(st, name))
            found.push_back({name, folder_entry});
    }
    closedir(d);
    std::sort(found.begin(), found.end(), [](const entry &a, const entry &b) {
        return a.folder != b.folder ? a.folder : a.name < b.name;
    });
    return found;
}

// The entries of `folder` (as typed; "" is the current folder) in columns
// that fit the terminal, on their own lines under the folder's full name.
// A listing longer than the window is asked about first, as shells do, so
// that the header and the line do not scroll away unasked.
void show_listing(EditLine *el, const std::string &folder, const std::vector<entry> &found, bool unreadable) {
    const dialog_state &st = state_of(el);
    const winsize ws = window_size(st);
    const std::size_t width = ws.ws_col;
    std::string where = folder.empty() ? "." : with_home(folder);
    if (char *real = realpath(where.c_str(), nullptr)) {
        where = real;
        std::free(real);
    }
    if (unreadable) {
        tty_write(st, "\n  " + escaped(where) + " cannot be read.\n");
        return;
    }
    std::vector<std::string> cells;
    std::size_t cell = 1;
    for (const entry &e : found) {
        cells.push_back(escaped(e.name) + (e.folder ? "/" : ""));
        cell = std::max(cell, shown_width(cells.back()) + 2);
    }
    std::size_t columns = std::max<std::size_t>(1, width / cell);
    std::size_t rows = (cells.size() + columns - 1) / columns;
    if (rows + 2 > ws.ws_row) {
        tty_write(st, "\nDisplay all " + std::to_string(cells.size()) + " possibilities? (y or n)");
        char key = 0; // through read_key, as every key of the line: a stop or a resize is taken there
        const bool yes = el_getc(el, &key) == 1 && (key == 'y' || key == 'Y' || key == ' ');
        tty_write(st, yes ? " y" : " n\n");
        if (!yes)
            return;
    }
    std::string out = "\n  In " + escaped(where) + ":\n";
    for (std::size_t r = 0; r < rows; ++r) {
        for (std::size_t c = 0; c < columns; ++c) {
            std::size_t i = c * rows + r;
            if (i >= cells.size())
                continue;
            out += cells[i];
            if (c + 1 < columns && (c + 1) * rows + r < cells.size())
                out.append(cell - shown_width(cells[i]), ' ');
        }
        out += "\n";
    }
    if (cells.empty())
        out += "  (nothing here)\n";
    tty_write(st, out);
}

// The typed text up to the cursor, split into its folder and the start of
// the name in it. A lone `~` is the home folder itself.
void split_typed(const std::string &typed, std::string *folder, std::string *prefix) {
    std::size_t slash = typed.find_last_of('/');
    *folder = slash == std::string::npos ? "" : typed.substr(0, slash + 1);
    *prefix = slash == std::string::npos ? typed : typed.substr(slash + 1);
}

std::string line_of(EditLine *el, bool to_cursor) {
    const LineInfo *li = el_line(el);
    return std::string(li->buffer, static_cast<std::size_t>((to_cursor ? li->cursor : li->lastchar) - li->buffer));
}

extern "C" unsigned char complete_name(EditLine *el, int) {
    dialog_state &st = state_of(el);
    const std::string line = line_of(el, false), typed = line_of(el, true);
    if (typed == "~") { // as a shell does: the home folder, then its names
        if (el_insertstr(el, "/") != 0)
            return CC_ERROR;
        st.last_tab.clear();
        return CC_REFRESH;
    }
    std::string folder, prefix;
    split_typed(typed, &folder, &prefix);
    std::vector<entry> found = entries(st, folder, prefix);
    if (found.empty())
        return CC_REFRESH_BEEP;
    std::string common = found[0].name;
    for (const entry &e : found) {
        std::size_t k = 0;
        while (k < common.size() && k < e.name.size() && common[k] == e.name[k])
            ++k;
        common.resize(k);
    }
    std::string more = common.substr(prefix.size());
    if (found.size() == 1 && found[0].folder)
        more += "/";
    if (!more.empty()) {
        if (el_insertstr(el, more.c_str()) != 0)
            return CC_ERROR;
        // Still more than one candidate: the next Tab lists them.
        st.last_tab = found.size() > 1 ? line_of(el, false) : "";
        return CC_REFRESH;
    }
    if (found.size() > 1 && st.last_tab == line) {
        show_listing(el, folder, found, false);
        return CC_REDISPLAY;
    }
    st.last_tab = line;
    return CC_REFRESH_BEEP;
}

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

bool has_extension(const std::string &name) {
    std::size_t slash = name.find_last_of('/');
    std::size_t dot = name.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

// The full path of a typed name, as the kernel will reach it: `~` for the
// home folder, a relative name joined to the current folder, and the
// folder part made real with realpath. `..` is never taken off by text:
// after a symlink it leads where the link leads. Empty with `gone` set
// when the current folder no longer exists.
std::string full_path(const std::string &typed, bool *gone) {
    std::string name = with_home(typed);
    *gone = false;
    const std::size_t slash = name.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : name.substr(0, slash);
    const std::string leaf = slash == std::string::npos ? name : name.substr(slash + 1);
    if (char *real = realpath(folder.c_str(), nullptr)) {
        folder = real;
        std::free(real);
    } else if (name[0] != '/') {
        char here[4096];
        if (getcwd(here, sizeof here) == nullptr) {
            *gone = errno == ENOENT;
            return "";
        }
        folder = std::string(here) + "/" + folder;
    }
    return folder == "/" ? "/" + leaf : folder + "/" + leaf;
}

// libedit decodes keys through the C library's locale, and the program
// runs in the C locale, where every byte past ASCII is invalid and dropped:
// "café" typed would choose "caf". While the dialog is up, take the user's
// locale; when that is plain ASCII, UTF-8, which terminals send today.
struct user_locale {
    user_locale() {
        if (std::strcmp(user_codeset(), "ANSI_X3.4-1968") == 0 || std::setlocale(LC_CTYPE, "") == nullptr)
            std::setlocale(LC_CTYPE, "C.UTF-8");
    }
    ~user_locale() { std::setlocale(LC_CTYPE, "C"); }
    user_locale(const user_locale &) = delete;
    user_locale &operator=(const user_locale &) = delete;
};

// The terminal and the line editor of one dialog call, given back at its end.
struct line_editor {
    user_locale locale; // first: libedit reads it when it starts
    FILE *in = nullptr, *out = nullptr;
    EditLine *el = nullptr;
    bool guarded = false;
    dialog_state &st;
    explicit line_editor(dialog_state &state) : st(state) {
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
    ~line_editor() {
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
    line_editor(const line_editor &) = delete;
    line_editor &operator=(const line_editor &) = delete;
};

} // namespace

const char *dialog_needs() { return "a terminal"; }

bool dialog_available() {
    int fd = open_terminal();
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

dialog_result show_open_dialog(file_dialog_record *record) {
    dialog_state st;
    st.filter = record->filter;
    const std::string files_of_type = select_pair(st, record->filter_index);
    line_editor ed(st);
    if (ed.el == nullptr)
        return dialog_result::unavailable;
    // libedit writes its prompt before it sets the terminal's edit mode; a
    // key typed in between would meet the line discipline (a Ctrl-D there
    // is an end of file that then vanishes). Set the mode first.
    el_set(ed.el, EL_PREP_TERM, 1);

    // The title, the filters, the folder it is in, then the keys: in full
    // from 40 columns on, wrapped at words; below that, the few that count.
    const std::string cancel =
        record->cancel_note != nullptr ? std::string(" cancels: ") + record->cancel_note + ".\n" : " cancels.\n";
    std::string head = record->title != nullptr ? record->title : "Open";
    head += "\n" + files_of_type;
    char here[4096];
    head += getcwd(here, sizeof here) != nullptr ? "  Folder: " + escaped(here) + "\n"
                                                 : std::string("  The current folder no longer exists.\n");
    const std::size_t width = window_size(st).ws_col;
    if (width >= 40)
        head += "  Return takes the name. Tab completes, Tab Tab lists; Return on a folder name\n"
                "  (or on nothing) lists it. Ctrl-T: the next file type. ~ is your home folder.\n"
                "  Ctrl-D on an empty line, or Esc Return," + cancel + "  Ctrl-C ends the run.\n";
    else
        head += "  Tab completes. Return on nothing lists. Ctrl-D" + cancel + "  Ctrl-C ends the run.\n";
    tty_write(st, "\n" + wrapped(head, width));

    std::string held = record->path;
    for (;;) {
        // The held name is typed ahead as if by the user, so it is editable.
        if (!held.empty())
            el_push(ed.el, held.c_str());
        el_set(ed.el, EL_PREP_TERM, 1);
        int count = 0;
        const char *got = el_gets(ed.el, &count);
        // el_gets hands the terminal back in its line mode; what follows may
        // write a message and ask again, and a key typed meanwhile would meet
        // the line discipline (Ctrl-U there kills the kernel's line).
        el_set(ed.el, EL_PREP_TERM, 1);
        // A terminal that cannot be read, or is gone, shows no dialog: asking
        // again would spin (a background job whose shell has ended gets EIO
        // on every read).
        if (st.unreadable || count < 0)
            return dialog_result::unavailable;
        if (st.cancelled || got == nullptr || count == 0)
            return dialog_result::cancelled;
        std::string typed(got, static_cast<std::size_t>(count));
        while (!typed.empty() && (typed.back() == '\n' || typed.back() == '\r'))
            typed.pop_back();
        if (typed.find_first_not_of(" \t") == std::string::npos)
            typed.clear(); // blanks alone are no name
        if (names_home(typed) && !has_home()) {
            tty_write(st, "  ~ names no folder here: HOME is not set.\n");
            held = typed;
            continue;
        }
        if (typed.empty() || is_folder(typed)) {
            const std::string folder = typed.empty() || typed.back() == '/' ? typed : typed + "/";
            bool unreadable = false;
            const std::vector<entry> found = entries(st, folder, "", &unreadable);
            show_listing(ed.el, folder, found, unreadable);
            held = folder;
            continue;
        }
        if (record->default_ext != nullptr && !has_extension(typed))
            typed = typed + "." + record->default_ext;
        bool gone = false;
        const std::string chosen = full_path(typed, &gone);
        held = typed;
        if (gone) {
            tty_write(st, "  The current folder no longer exists.\n");
            continue;
        }
        if (chosen.empty() || chosen.size() + 1 > record->path_size) {
            tty_write(st, "  That name is too long.\n");
            continue;
        }
        if ((record->flags & dialog_file_must_exist) && !path_exists(chosen.c_str())) {
            tty_write(st, "  " + escaped(chosen) + "\n  File not found. Check the file name and try again.\n");
            continue;
        }
        HistEvent ev;
        if (chosen_names() != nullptr)
            history(chosen_names(), &ev, H_ENTER, chosen.c_str());
        std::memcpy(record->path, chosen.c_str(), chosen.size() + 1);
        record->filter_index = st.pair;
        if (record->file_title != nullptr && record->file_title_size > 0) {
            const std::string title = chosen.substr(chosen.find_last_of('/') + 1);
            std::size_t n = std::min<std::size_t>(title.size(), record->file_title_size - 1);
            std::memcpy(record->file_title, title.data(), n);
            record->file_title[n] = '\0';
        }
        return dialog_result::chosen;
    }
}
