#include "tests/support/dialog_driver.h"

#include <chrono>
#include <cstdlib>
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

bool window_exists(const std::string &w) { return x_tool("xdotool", {"getwindowname", w}).status == 0; }

// Focuses the dialog, then gives the focus time to land: Wine drops keys
// sent before it has taken the focus.
void focus(const std::string &w) {
    x_tool("xdotool", {"windowfocus", "--sync", w});
    pause_ms(300);
}

// Presses `key` until the window closes (a Return sent too early is lost).
bool close_with(const std::string &w, const std::string &key) {
    for (int tries = 0; tries < 4; ++tries) {
        x_tool("xdotool", {"key", key});
        for (int i = 0; i < 15; ++i) {
            if (!window_exists(w))
                return true;
            pause_ms(100);
        }
        focus(w);
    }
    return false;
}

} // namespace

bool window_dialogs() { return under_runner() && !dialog_invisible() && std::getenv("DISPLAY") != nullptr; }

dialog_driver::dialog_driver(pty_session &session, const std::string &exe, const std::vector<std::string> &args,
                             const std::string &folder, pty_options options)
    : s(session), cwd(folder) {
    if (window_dialogs() && !options.stdio_on_terminal)
        options.stdin_on_terminal = true;
    start_on_pty(s, exe, args, cwd, options);
}

bool dialog_driver::wait(const std::string &title) {
    if (!window_dialogs())
        return s.wait_for(title) && s.wait_for("File name: ");
    tool_result r = x_tool("xdotool", {"search", "--sync", "--onlyvisible", "--name", "^" + title + "$"});
    window = first_word(r.out);
    if (r.status != 0 || window.empty())
        return false;
    screenshot_once(cwd);
    return true;
}

void dialog_driver::choose(const std::string &name) {
    if (!window_dialogs()) {
        s.type("\x15" + name + "\n"); // Ctrl-U first: the line starts with the name held
        return;
    }
    focus(window);
    x_tool("xdotool", {"key", "--clearmodifiers", "End", "shift+Home"});
    x_tool("xdotool", {"type", "--delay", "10", path(name[0] == '/' ? name : cwd + "/" + name)});
    pause_ms(200);
    close_with(window, "Return");
}

void dialog_driver::type_refused(const std::string &name) {
    if (!window_dialogs()) {
        s.type("\x15" + name + "\n");
        return;
    }
    focus(window);
    x_tool("xdotool", {"key", "--clearmodifiers", "End", "shift+Home"});
    x_tool("xdotool", {"type", "--delay", "10", path(cwd + "/" + name)});
    pause_ms(200);
    x_tool("xdotool", {"key", "Return"});
    pause_ms(1000);
    // The warning box: the newest visible window; Return closes it.
    tool_result boxes = x_tool("xdotool", {"search", "--onlyvisible", "--name", "."});
    std::string box;
    for (std::size_t at = 0; at < boxes.out.size();) {
        std::size_t nl = boxes.out.find('\n', at);
        std::string w = boxes.out.substr(at, nl - at);
        if (!w.empty() && w != window)
            box = w;
        at = nl == std::string::npos ? boxes.out.size() : nl + 1;
    }
    if (!box.empty()) {
        focus(box);
        close_with(box, "Return");
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
        // Let the line finish drawing: the held name is typed ahead into it.
        s.wait_for(std::string(1, '\0'), 200);
        std::size_t at = s.screen.rfind("File name: ");
        if (at == std::string::npos)
            return "";
        std::string rest = s.screen.substr(at + 11);
        return rest.substr(0, rest.find_first_of("\r\n"));
    }
    focus(window);
    x_tool("xdotool", {"key", "--clearmodifiers", "End", "shift+Home", "ctrl+c"});
    pause_ms(200);
    return x_tool("xclip", {"-o", "-selection", "clipboard"}).out;
}

void dialog_driver::answer_wait() {
    if (!window_dialogs()) {
        s.feed_stdin("\n");
        return;
    }
    // Wine's console drops a return typed within a few milliseconds of the
    // text that asked for it.
    pause_ms(100);
    s.type("\r");
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

std::string screenshot_once(const std::string &folder) {
    static std::string taken;
    if (!taken.empty())
        return taken;
    const char *keep = std::getenv("LFSWAP_TEST_SCREENSHOT");
    std::string file = keep != nullptr && *keep != '\0' ? keep : folder + "/dialog.png";
    if (x_tool("import", {"-window", "root", file}).status == 0) {
        taken = file;
        std::printf("[ INFO     ] the dialog as shown: %s\n", file.c_str());
    }
    return taken;
}
