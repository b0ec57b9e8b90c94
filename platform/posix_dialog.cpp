// POSIX backend, the terminal's stand-in for the file-selection window: the
// title, the filter list with the selected pair marked, then a file-name
// line edited with libedit on the controlling terminal (never stdin or
// stdout, which may be redirected). Tab completes names, a second Tab lists
// the candidates, a folder name alone lists that folder, the up arrow
// brings back names chosen before in this run.
#include "platform.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <histedit.h>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What one dialog call works with; the completion and cancel functions,
// called by libedit, find it here.
struct dialog_state {
    int tty = -1;
    std::vector<std::string> patterns; // of the selected filter pair
    bool cancelled = false;
    std::string last_tab; // the line as the previous Tab left it
};
dialog_state state;

// Names chosen in this run, for the up arrow.
History *chosen_names() {
    static History *h = [] {
        History *made = history_init();
        HistEvent ev;
        history(made, &ev, H_SETSIZE, 100);
        return made;
    }();
    return h;
}

void tty_write(const std::string &text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(state.tty, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

// A name as it may be shown: control characters and bytes that are not
// UTF-8 as octal escapes, as `ls -b` does, so that a file named with an
// escape sequence cannot drive the terminal.
std::string escaped(const std::string &name) {
    std::string out;
    const auto *p = reinterpret_cast<const unsigned char *>(name.data());
    const std::size_t n = name.size();
    for (std::size_t i = 0; i < n;) {
        unsigned char c = p[i];
        std::size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        bool valid = len > 0 && i + len <= n && (len == 1 || c >= 0xC2);
        for (std::size_t k = 1; valid && k < len; ++k)
            valid = (p[i + k] & 0xC0) == 0x80;
        if (!valid || c < 0x20 || c == 0x7F) {
            char oct[8];
            std::snprintf(oct, sizeof oct, "\\%03o", c);
            out += c == '\\' ? "\\\\" : oct;
            ++i;
            continue;
        }
        if (c == '\\')
            out += '\\';
        out.append(name, i, len);
        i += len;
    }
    return out;
}

std::size_t shown_width(const std::string &text) {
    std::size_t w = 0;
    for (unsigned char c : text)
        w += (c & 0xC0) != 0x80;
    return w;
}

bool matches_filter(const std::string &name) {
    for (const std::string &p : state.patterns)
        if (p == "*.*" || p == "*" || fnmatch(p.c_str(), name.c_str(), FNM_CASEFOLD) == 0)
            return true;
    return false;
}

bool is_folder(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

struct entry {
    std::string name;
    bool folder;
};

// The entries of `folder` that start with `prefix`: folders always, files
// that the filter lets through, hidden ones only for a prefix that starts
// with ".". Folders first, each group in name order.
std::vector<entry> entries(const std::string &folder, const std::string &prefix) {
    std::vector<entry> found;
    const std::string where = folder.empty() ? "./" : folder;
    DIR *d = opendir(where.c_str());
    if (d == nullptr)
        return found;
    while (dirent *e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == ".." || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        if (name[0] == '.' && (prefix.empty() || prefix[0] != '.'))
            continue;
        bool folder_entry = is_folder(where + "/" + name);
        if (folder_entry || matches_filter(name))
            found.push_back({name, folder_entry});
    }
    closedir(d);
    std::sort(found.begin(), found.end(), [](const entry &a, const entry &b) {
        return a.folder != b.folder ? a.folder : a.name < b.name;
    });
    return found;
}

// The entries in columns that fit the terminal, on their own lines.
void show_listing(const std::vector<entry> &found) {
    winsize ws{};
    std::size_t width = ioctl(state.tty, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0 ? ws.ws_col : 80;
    std::vector<std::string> cells;
    std::size_t cell = 1;
    for (const entry &e : found) {
        cells.push_back(escaped(e.name) + (e.folder ? "/" : ""));
        cell = std::max(cell, shown_width(cells.back()) + 2);
    }
    std::size_t columns = std::max<std::size_t>(1, width / cell);
    std::size_t rows = (cells.size() + columns - 1) / columns;
    std::string out = "\n";
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
    tty_write(out);
}

// The typed text up to the cursor, split into its folder and the start of
// the name in it.
void split_typed(const std::string &typed, std::string *folder, std::string *prefix) {
    std::size_t slash = typed.find_last_of('/');
    *folder = slash == std::string::npos ? "" : typed.substr(0, slash + 1);
    *prefix = slash == std::string::npos ? typed : typed.substr(slash + 1);
}

extern "C" unsigned char complete_name(EditLine *el, int) {
    const LineInfo *li = el_line(el);
    std::string line(li->buffer, static_cast<std::size_t>(li->lastchar - li->buffer));
    std::string typed(li->buffer, static_cast<std::size_t>(li->cursor - li->buffer));
    std::string folder, prefix;
    split_typed(typed, &folder, &prefix);
    std::vector<entry> found = entries(folder, prefix);
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
        el_insertstr(el, more.c_str());
        state.last_tab.clear();
        return CC_REFRESH;
    }
    if (found.size() > 1 && state.last_tab == line) {
        show_listing(found);
        return CC_REDISPLAY;
    }
    state.last_tab = line;
    return CC_REFRESH_BEEP;
}

// Esc, then return: the dialog is cancelled.
extern "C" unsigned char cancel_dialog(EditLine *, int) {
    state.cancelled = true;
    return CC_NEWLINE;
}

const char *prompt(EditLine *) { return "File name: "; }

bool has_extension(const std::string &name) {
    std::size_t slash = name.find_last_of('/');
    std::size_t dot = name.find_last_of('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

// libedit decodes keys through the C library's locale, and the program
// runs in the C locale, where every byte past ASCII is invalid and dropped:
// "café" typed would choose "caf". While the dialog is up, take the user's
// locale; when that is plain ASCII, UTF-8, which terminals send today.
struct user_locale {
    user_locale() {
        const char *set = std::setlocale(LC_CTYPE, "");
        const char *codeset = set != nullptr ? nl_langinfo(CODESET) : nullptr;
        if (codeset == nullptr || std::strcmp(codeset, "ANSI_X3.4-1968") == 0)
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
    line_editor() {
        state.tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (state.tty < 0)
            return;
        int in_fd = fcntl(state.tty, F_DUPFD_CLOEXEC, 3), out_fd = fcntl(state.tty, F_DUPFD_CLOEXEC, 3);
        in = in_fd >= 0 ? fdopen(in_fd, "r") : nullptr;
        out = out_fd >= 0 ? fdopen(out_fd, "w") : nullptr;
        if (in == nullptr || out == nullptr)
            return;
        el = el_init("lfswap", in, out, out);
        if (el == nullptr)
            return;
        el_set(el, EL_EDITOR, "emacs");
        el_set(el, EL_PROMPT, prompt);
        // libedit restores the terminal on a signal that ends the process
        // (Ctrl-C) and redraws the line when the window changes size.
        el_set(el, EL_SIGNAL, 1);
        el_set(el, EL_HIST, history, chosen_names());
        el_set(el, EL_ADDFN, "lfswap-complete", "complete a file or folder name", complete_name);
        el_set(el, EL_ADDFN, "lfswap-cancel", "cancel the dialog", cancel_dialog);
        el_set(el, EL_BIND, "^I", "lfswap-complete", nullptr);
        el_set(el, EL_BIND, "^U", "em-kill-line", nullptr); // as at a shell: the whole line goes
        el_set(el, EL_BIND, "\\e\\n", "lfswap-cancel", nullptr);
        el_set(el, EL_BIND, "\\e\\r", "lfswap-cancel", nullptr);
        el_set(el, EL_BIND, "\\e\\e", "lfswap-cancel", nullptr);
    }
    ~line_editor() {
        if (el != nullptr)
            el_end(el);
        if (in != nullptr)
            std::fclose(in);
        if (out != nullptr)
            std::fclose(out);
        if (state.tty >= 0)
            close(state.tty);
        state.tty = -1;
    }
    line_editor(const line_editor &) = delete;
    line_editor &operator=(const line_editor &) = delete;
};

} // namespace

bool dialog_available() {
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    close(fd);
    return true;
}

dialog_result show_open_dialog(file_dialog_record *record) {
    state = {};
    std::uint32_t pair = 1;
    for (const char *p = record->filter; p != nullptr && *p != '\0'; ++pair) {
        const char *pattern = p + std::strlen(p) + 1;
        p = pattern + std::strlen(pattern) + 1;
        if (pair == record->filter_index) {
            std::string list = pattern;
            for (std::size_t at = 0; at <= list.size();) {
                std::size_t semi = std::min(list.find(';', at), list.size());
                state.patterns.push_back(list.substr(at, semi - at));
                at = semi + 1;
            }
        }
    }
    line_editor ed;
    if (ed.el == nullptr)
        return dialog_result::unavailable;
    // libedit writes its prompt before it sets the terminal's edit mode; a
    // key typed in between would meet the line discipline (a Ctrl-D there
    // is an end of file that then vanishes). Set the mode first.
    el_set(ed.el, EL_PREP_TERM, 1);

    std::string head = "\n";
    head += record->title != nullptr ? record->title : "Open";
    head += "\n  Files of type:";
    std::uint32_t index = 1;
    for (const char *p = record->filter; p != nullptr && *p != '\0'; ++index) {
        const char *pattern = p + std::strlen(p) + 1;
        head += index == record->filter_index ? "  [" : "   ";
        head += p;
        head += index == record->filter_index ? "]" : " ";
        p = pattern + std::strlen(pattern) + 1;
    }
    head += "\n  Return takes the name. Tab completes, Tab Tab lists; Return on a folder name\n"
            "  (or on nothing) lists it. Ctrl-D on an empty line, or Esc Return, cancels.\n";
    tty_write(head);

    std::string held = record->path;
    for (;;) {
        // The held name is typed ahead as if by the user, so it is editable.
        if (!held.empty())
            el_push(ed.el, held.c_str());
        el_set(ed.el, EL_PREP_TERM, 1);
        int count = 0;
        const char *got = el_gets(ed.el, &count);
        if (got == nullptr || count <= 0 || state.cancelled)
            return dialog_result::cancelled;
        std::string typed(got, static_cast<std::size_t>(count));
        while (!typed.empty() && (typed.back() == '\n' || typed.back() == '\r'))
            typed.pop_back();
        if (typed.empty() || is_folder(typed)) {
            show_listing(entries(typed.empty() ? "" : typed + (typed.back() == '/' ? "" : "/"), ""));
            held = typed.empty() || typed.back() == '/' ? typed : typed + "/";
            continue;
        }
        if (record->default_ext != nullptr && !has_extension(typed))
            typed = typed + "." + record->default_ext;
        std::error_code ec;
        std::filesystem::path full = std::filesystem::absolute(typed, ec).lexically_normal();
        std::string chosen = full.string();
        if (ec || chosen.size() + 1 > record->path_size) {
            tty_write("  That name is too long.\n");
            return dialog_result::cancelled;
        }
        if ((record->flags & dialog_file_must_exist) && !path_exists(chosen.c_str())) {
            tty_write("  " + escaped(chosen) + "\n  File not found. Check the file name and try again.\n");
            continue;
        }
        HistEvent ev;
        history(chosen_names(), &ev, H_ENTER, chosen.c_str());
        std::memcpy(record->path, chosen.c_str(), chosen.size() + 1);
        if (record->file_title != nullptr && record->file_title_size > 0) {
            std::string title = full.filename().string();
            std::size_t n = std::min<std::size_t>(title.size(), record->file_title_size - 1);
            std::memcpy(record->file_title, title.data(), n);
            record->file_title[n] = '\0';
        }
        return dialog_result::chosen;
    }
}
