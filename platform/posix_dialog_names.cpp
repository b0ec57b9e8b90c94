// POSIX backend, the terminal dialog's names: the filter pairs, `~`, the
// folders and their entries, the full path of a typed name, and the header
// wrapped to the window.
#include "posix_dialog.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <algorithm>

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tty_dialog {

namespace {

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

bool matches_filter(const dialog_state &st, const std::string &name) {
    for (const std::string &p : st.patterns)
        if (p == "*.*" || p == "*" || fnmatch(p.c_str(), name.c_str(), FNM_CASEFOLD) == 0)
            return true;
    return false;
}

} // namespace

std::size_t shown_width(const std::string &text) {
    std::size_t w = 0;
    for (unsigned char c : text)
        w += (c & 0xC0) != 0x80;
    return w;
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

// The entries of `folder` that start with `prefix`: folders always, files
// that the filter lets through, hidden ones only for a prefix that starts
// with ".". Folders first, each group in name order.
std::vector<entry> entries(const dialog_state &st, const std::string &folder, const std::string &prefix,
                           bool *unreadable) {
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

// The typed text up to the cursor, split into its folder and the start of
// the name in it. (A lone `~` never comes here: Tab makes it `~/` first.)
void split_typed(const std::string &typed, std::string *folder, std::string *prefix) {
    std::size_t slash = typed.find_last_of('/');
    *folder = slash == std::string::npos ? "" : typed.substr(0, slash + 1);
    *prefix = slash == std::string::npos ? typed : typed.substr(slash + 1);
}

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

} // namespace tty_dialog
