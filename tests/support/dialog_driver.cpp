#include "tests/support/dialog_driver.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/support/tool_run.h"

namespace {

void pause_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// One xdotool (or other X tool) call; its standard output.
tool_result x_tool(const std::string &tool, const std::vector<std::string> &args, int timeout_ms = 20000) {
    run_options o;
    o.no_runner = true;
    o.timeout_ms = timeout_ms;
    return run_program(tool, args, "/", "", o);
}

std::string first_word(const std::string &text) { return text.substr(0, text.find_first_of(" \n")); }

// The windows shown, found by class: the warning box has no title.
std::vector<std::string> windows_shown() {
    std::vector<std::string> found;
    std::istringstream lines(x_tool("xdotool", {"search", "--onlyvisible", "--class", "."}).out);
    for (std::string w; std::getline(lines, w);)
        found.push_back(w);
    return found;
}

// Whether `w` is still shown. A closed dialog's X window outlives it by a
// second or two, unmapped, so being there is not enough.
bool window_shown(const std::string &w) { return std::ranges::count(windows_shown(), w) > 0; }

// Focuses the dialog, then gives the focus time to land: Wine drops keys
// sent before it has taken the focus.
void focus(const std::string &w) {
    x_tool("xdotool", {"windowfocus", "--sync", w});
    pause_ms(300);
}

// Puts the keyboard in the file name field, all of its text selected. The
// dialog does not always start there: when it opens holding a name, keys
// typed early go to the file list, whose type-ahead then picks a file.
void select_name_field() { x_tool("xdotool", {"key", "--clearmodifiers", "alt+n", "End", "shift+Home"}); }

// The name field's text, copied through the clipboard; "" also when the
// copy did not happen (the clipboard is first set to a byte no name holds).
std::string field_text() {
    x_tool("sh", {"-c", "printf '\\001' | xclip -selection clipboard >/dev/null 2>&1"});
    select_name_field();
    x_tool("xdotool", {"key", "--clearmodifiers", "ctrl+c"});
    for (int i = 0; i < 10; ++i) {
        pause_ms(100);
        std::string text = x_tool("xclip", {"-o", "-selection", "clipboard"}).out;
        if (text != "\001")
            return text;
    }
    return "";
}

// Types `name` into the name field until the field holds it: keys sent
// while the dialog is still busy opening can be lost.
bool enter_name(const std::string &w, const std::string &name) {
    for (int tries = 0; tries < 4; ++tries) {
        focus(w);
        select_name_field();
        x_tool("xdotool", {"type", "--delay", "10", name});
        if (field_text() == name)
            return true;
    }
    return false;
}

// Presses `key` until the window closes. Wine can take a second or more
// to act on a key; one sent before the dialog is ready is lost.
bool close_with(const std::string &w, const std::string &key) {
    for (int tries = 0; tries < 3; ++tries) {
        x_tool("xdotool", {"key", key});
        for (int i = 0; i < 25; ++i) {
            if (!window_shown(w))
                return true;
            pause_ms(200);
        }
        focus(w);
    }
    return false;
}

// A string as Wine's traces quote it: L"..." with \\ and \" escaped.
std::string unquoted(const std::string &line, const std::string &after) {
    std::size_t at = line.find(after + "L\"");
    if (at == std::string::npos)
        return "";
    std::string text;
    for (std::size_t i = at + after.size() + 2; i < line.size() && line[i] != '"'; ++i) {
        if (line[i] == '\\' && i + 1 < line.size())
            ++i;
        text += line[i];
    }
    return text;
}

// The lines of one dialog's trace (from `from` in `log` to the next dialog's)
// that hold `part`.
std::vector<std::string> lines_with(const std::string &log, std::size_t from, const std::string &part) {
    std::vector<std::string> found;
    const std::size_t end = log.find("GetOpenFileName", from);
    for (std::size_t at = log.find(part, from); at < end; at = log.find(part, at + 1)) {
        std::size_t start = log.rfind('\n', at);
        start = start == std::string::npos ? 0 : start + 1;
        found.push_back(log.substr(start, log.find('\n', at) - start));
    }
    return found;
}

} // namespace

bool window_dialogs() { return under_runner() && !dialog_invisible() && std::getenv("DISPLAY") != nullptr; }

dialog_driver::dialog_driver(pty_session &session, const std::string &exe, const std::vector<std::string> &args,
                             const std::string &folder, pty_options options)
    : s(session), cwd(folder) {
    if (window_dialogs() && !options.stdio_on_terminal) {
        options.stdin_on_terminal = true;
        // What the dialog was handed and shows, from Wine's traces on stderr
        // (the session takes them out of what the program wrote there).
        options.env.push_back("WINEDEBUG=-all,+commdlg,+listbox");
    }
    start_on_pty(s, exe, args, cwd, options);
}

bool dialog_driver::wait(const std::string &title, int timeout_ms) {
    if (!window_dialogs())
        return s.wait_for(title, timeout_ms) && s.wait_for("File name: ", timeout_ms);
    if (s.err_fd >= 0) {
        // The program asks for the dialog first; then its window takes its time.
        if (!s.wait_for_log("GetOpenFileName", log_mark, timeout_ms))
            return false;
        dialog_log = log_mark;
        timeout_ms = std::max(timeout_ms, 30000);
    }
    // Looked for in turns, reading the run's output in between: the dialog
    // stops when its trace fills the pipe.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        window = first_word(x_tool("xdotool", {"search", "--onlyvisible", "--name", "^" + title + "$"}).out);
        if (!window.empty())
            break;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        s.read_for(200);
    }
    // The window shows before the dialog has filled it and put the keyboard
    // in its name field; keys sent meanwhile are lost.
    settle();
    screenshot_once(cwd);
    return true;
}

void dialog_driver::settle() {
    if (s.err_fd < 0) { // no trace to watch
        pause_ms(1000);
        return;
    }
    // Busy, the dialog traces; it is ready once its trace has been quiet a while.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (std::size_t before = 0; before != s.wine_log.size() && std::chrono::steady_clock::now() < deadline;) {
        before = s.wine_log.size();
        s.read_for(400);
    }
}

void dialog_driver::choose(const std::string &name) {
    if (!window_dialogs()) {
        s.type("\x15" + name + "\n"); // Ctrl-U first: the line starts with the name held
        return;
    }
    const std::string full = name[0] == '/' ? name : cwd + "/" + name;
    const std::string folder = full.substr(0, full.rfind('/'));
    if (folder != cwd && std::filesystem::is_directory(folder)) {
        // As a user picks a file elsewhere: into its folder first (the
        // dialog moves the process's current folder there), then the name.
        enter_name(window, path(folder));
        x_tool("xdotool", {"key", "Return"});
        settle();
        enter_name(window, full.substr(full.rfind('/') + 1));
    } else {
        enter_name(window, path(full));
    }
    close_with(window, "Return");
}

void dialog_driver::type_refused(const std::string &name) {
    if (!window_dialogs()) {
        s.type("\x15" + name + "\n");
        return;
    }
    enter_name(window, path(cwd + "/" + name));
    const std::vector<std::string> before = windows_shown();
    x_tool("xdotool", {"key", "Return"});
    // The dialog's warning: a window that was not shown before; Return closes it.
    for (int i = 0; i < 50; ++i) {
        pause_ms(200);
        for (const std::string &w : windows_shown())
            if (std::ranges::count(before, w) == 0) {
                focus(w);
                close_with(w, "Return");
                return;
            }
    }
}

void dialog_driver::cancel() {
    if (!window_dialogs()) {
        s.type("\x15\x04"); // Ctrl-D on the emptied line
        return;
    }
    focus(window);
    close_with(window, "Escape");
}

std::string dialog_driver::shown_name() {
    if (!window_dialogs()) {
        // The held name is typed into the line after its prompt is drawn. A
        // key comes after it, so its echo marks the name's end; it is taken
        // back at once (DEL).
        const std::size_t prompt = s.screen.rfind("File name: ");
        if (prompt == std::string::npos)
            return "";
        s.type("=\x7f");
        if (!s.wait_for("="))
            return "(no echo)";
        const std::string rest = s.screen.substr(prompt + 11);
        return rest.substr(0, rest.find_first_of("=\r\n"));
    }
    std::vector<std::string> lines = lines_with(s.wine_log, dialog_log, "Before manipulation");
    return lines.empty() ? "" : unquoted(lines[0], "file = ");
}

std::string dialog_driver::shown_folder() {
    if (!window_dialogs()) {
        std::string name = shown_name();
        std::size_t slash = name.rfind('/');
        return slash == std::string::npos ? cwd : name.substr(0, slash == 0 ? 1 : slash);
    }
    std::vector<std::string> lines = lines_with(s.wine_log, dialog_log, "After manipulation");
    std::string folder = lines.empty() ? "" : unquoted(lines[0], "dir = ");
    if (folder.size() > 3 && folder.back() == '\\') // Z:\ keeps its backslash
        folder.pop_back();
    return folder;
}

std::vector<std::string> dialog_driver::filters() {
    std::vector<std::string> found;
    if (!window_dialogs()) {
        std::size_t at = s.screen.rfind("Files of type:");
        if (at == std::string::npos)
            return found;
        const std::string line = s.screen.substr(at + 14, s.screen.find_first_of("\r\n", at) - at - 14);
        // Descriptions are set apart by two spaces or more.
        const std::regex gap(" {2,}");
        for (std::sregex_token_iterator f(line.begin(), line.end(), gap, -1), end; f != end; ++f)
            if (std::string d = *f; !d.empty())
                found.push_back(d.back() == ' ' ? d.substr(0, d.size() - 1) : d);
        return found;
    }
    // The first list box this dialog fills is its filter list.
    std::vector<std::string> added = lines_with(s.wine_log, dialog_log, "]: added item ");
    if (added.empty())
        return found;
    std::string box = added[0].substr(added[0].find('['), added[0].find(']') + 1 - added[0].find('['));
    for (const std::string &line : added)
        if (line.find(box) != std::string::npos)
            found.push_back(unquoted(line, "item " + std::to_string(found.size()) + " "));
    std::vector<std::string> selected = lines_with(s.wine_log, dialog_log, box + ": msg LB_SETCURSEL wp ");
    if (!selected.empty()) {
        std::size_t index = std::stoul(selected[0].substr(selected[0].find("wp ") + 3, 8), nullptr, 16);
        if (index < found.size())
            found[index] = "[" + found[index] + "]";
    }
    return found;
}

void dialog_driver::answer_wait() {
    if (!window_dialogs()) {
        s.type("\n"); // the wait reads the terminal, never standard input
        return;
    }
    // Wine's console drops a return typed within a few milliseconds of the
    // text that asked for it, and a loaded machine stretches those. Once
    // the return is taken the program asks for the dialog straight away,
    // so no such call in the trace means the return was lost.
    for (int tries = 0; tries < 3; ++tries) {
        pause_ms(100);
        s.type("\r");
        std::size_t mark = log_mark;
        if (s.err_fd < 0 || s.wait_for_log("GetOpenFileName", mark, 5000))
            return;
    }
}

void dialog_driver::keys(const std::string &k) {
    if (window_dialogs())
        pause_ms(100);
    s.type(k);
}

std::string dialog_driver::path(const std::string &unix_path) const {
    if (!window_dialogs())
        return unix_path;
    std::string w = "Z:" + unix_path;
    for (char &c : w)
        if (c == '/')
            c = '\\';
    return w;
}

void screenshot_once(const std::string &folder) {
    static bool taken = false;
    if (taken)
        return;
    const char *keep = std::getenv("LFSWAP_TEST_SCREENSHOT");
    std::string file = keep != nullptr && *keep != '\0' ? keep : folder + "/dialog.png";
    if (x_tool("import", {"-window", "root", file}).status == 0) {
        taken = true;
        std::printf("[ INFO     ] the dialog as shown: %s\n", file.c_str());
    }
}
