// POSIX backend, the terminal's stand-in for the file-selection window: the
// title, the filter list with the selected pair marked, the folder, then a
// file-name line edited with libedit on the controlling terminal (never
// stdin or stdout, which may be redirected). Tab completes names, a second
// Tab lists the candidates, a folder name alone lists that folder, Ctrl-T
// moves to the next filter pair, the up arrow brings back names chosen
// before in this run.
#include "platform.h"
#include "posix_dialog.h"
#include "posix_terminal.h"

#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

#include <unistd.h>

namespace tty_dialog {

void tty_write(const dialog_state &st, const std::string &text) { terminal_write(st.tty, text); }

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

} // namespace tty_dialog

using namespace tty_dialog;

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
    std::string shown = "\n"; // not "\n" + ...: GCC 12 warns of an overlap there that cannot be
    shown += wrapped(head, width);
    tty_write(st, shown);

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
