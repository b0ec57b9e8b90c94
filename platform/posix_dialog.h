// What the terminal dialog's three files share: the state of one dialog
// call, the names it deals in (posix_dialog_names.cpp), the line editor
// that reads them (posix_line_editor.cpp), and the listing and completion
// that the editor's Tab and the dialog's Return share (posix_dialog.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <histedit.h>
#include <sys/ioctl.h>

namespace tty_dialog {

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

// ---- posix_dialog_names.cpp: names, folders, filters, text layout.

// Columns a UTF-8 text takes (one a character).
std::size_t shown_width(const std::string &text);
// Selects pair `pair` (1 on) of st.filter and answers the "Files of type"
// line for it.
std::string select_pair(dialog_state &st, std::uint32_t pair);
// `~` or `~/...`; whether HOME names a folder to put for it; the name with
// it put in (as typed where it cannot be).
bool names_home(const std::string &typed);
bool has_home();
std::string with_home(const std::string &typed);
// The window's size; 80 x 24 where it cannot be had.
winsize window_size(const dialog_state &st);
// `text` wrapped at word boundaries to `width` columns.
std::string wrapped(const std::string &text, std::size_t width);
bool is_folder(const std::string &path);

struct entry {
    std::string name;
    bool folder;
};
// The entries of `folder` that start with `prefix` and that the filter
// lets through (folders always); folders first, each group in name order.
std::vector<entry> entries(const dialog_state &st, const std::string &folder, const std::string &prefix,
                           bool *unreadable = nullptr);
// The typed text up to the cursor as its folder and the start of a name.
void split_typed(const std::string &typed, std::string *folder, std::string *prefix);
bool has_extension(const std::string &name);
// The full path the kernel will reach for a typed name.
std::string full_path(const std::string &typed, bool *gone);

// ---- posix_line_editor.cpp: libedit on the guarded terminal.

dialog_state &state_of(EditLine *el);
// The line up to the cursor, or all of it.
std::string line_of(EditLine *el, bool to_cursor);
// Names chosen in this run, for the up arrow; may be null.
History *chosen_names();

// libedit decodes keys through the C library's locale, and the program
// runs in the C locale, where every byte past ASCII is invalid and dropped:
// "café" typed would choose "caf". While the dialog is up, take the user's
// locale; when that is plain ASCII, UTF-8, which terminals send today.
struct user_locale {
    user_locale();
    ~user_locale();
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
    explicit line_editor(dialog_state &state);
    ~line_editor();
    line_editor(const line_editor &) = delete;
    line_editor &operator=(const line_editor &) = delete;
};

// ---- posix_dialog.cpp

void tty_write(const dialog_state &st, const std::string &text);
void show_listing(EditLine *el, const std::string &folder, const std::vector<entry> &found, bool unreadable);
// Tab.
extern "C" unsigned char complete_name(EditLine *el, int);

} // namespace tty_dialog
