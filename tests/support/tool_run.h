// Runs the built lfswap as a user would, and scratch folders for its files.
#pragma once

#include <string>
#include <vector>

#include "tests/support/reference.h"

struct tool_result {
    int status = -1;    // exit status, or 128 + signal
    std::string out;    // standard output
    std::string err;    // standard error
};

// The executable under test: $LFSWAP_TEST_EXE, else the one this build made.
// $LFSWAP_TEST_RUNNER (for example "wine") is put in front when set. The
// helper builds (fixed-date, unstamped, probe) are overridden likewise.
std::string tool_exe();
std::string fixed_date_exe();
std::string unstamped_exe();
std::string probe_exe();

// True when the run has no visible file-selection dialog (Wine without a
// display): cases that must choose a file in it are skipped, saying so. A
// skip whose reason begins "missing:" lacks something that ./build.sh
// installs, and fails its run where it could have installed it.
bool dialog_invisible();
#define SKIP_WITHOUT_DIALOG()                                                                                \
    do {                                                                                                       \
        if (dialog_invisible())                                                                                \
            GTEST_SKIP() << "missing: a display for the dialog (xvfb, xdotool, xclip)";                      \
    } while (0)

// The words to execute: the runner, if any, `exe`, then `args`.
std::vector<std::string> command_words(const std::string &exe, const std::vector<std::string> &args);

// A command made ready to start: the path found on PATH, the words and the
// environment are built before fork, so that the child of a process with
// other threads makes only async-signal-safe calls before exec (a lock held
// by another thread at the fork, malloc's for one, stays held in the child).
struct prepared_command {
    std::string path;
    std::vector<std::string> words, env;
    std::vector<char *> argv, envp;
    std::vector<int> ignored_signals; // SIG_IGN in the child; all others as a shell leaves them
    prepared_command(std::vector<std::string> words, const std::vector<std::string> &extra_env,
                     std::vector<int> ignored = {});
    prepared_command(const prepared_command &) = delete;
    prepared_command &operator=(const prepared_command &) = delete;
    // In the child: sets the signal dispositions, then execve; _exit(127) if that fails.
    [[noreturn]] void exec() const;
};

// The three pipes of a program's standard streams, close-on-exec from the
// start: tests spawn from several threads at once, and a pipe end inherited
// by a sibling run keeps that sibling's stdin from ever reaching end of file.
struct std_pipes {
    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
    std_pipes();                  // throws when a pipe cannot be made
    void become_child_stdio(bool keep_stdin = false) const; // in the child: async-signal-safe
    void keep_parent_ends();      // in the parent: closes the child's ends
};

// What every program under test starts with, through pipes or on a terminal.
struct launch_options {
    std::vector<std::string> env;     // extra NAME=value entries
    bool no_runner = false;           // run `exe` itself even when a runner is set
    std::vector<int> closed_fds;      // standard descriptors the program starts without
    std::vector<int> ignored_signals; // started with these ignored, as under nohup
    bool as_nobody = false;           // when root, run as user nobody (so file modes count)
};

// `exe` (behind the runner unless no_runner) with `args`, made ready before
// fork; start() in the child, once its standard streams are in place,
// closes the descriptors asked, enters `cwd`, drops to nobody and execs,
// with async-signal-safe calls only. _exit(126) when it cannot.
struct launcher {
    prepared_command command;
    std::string cwd;
    launch_options options;
    launcher(const std::string &exe, const std::vector<std::string> &args, const std::string &cwd,
             const launch_options &options, const std::vector<std::string> &more_env = {});
    [[noreturn]] void start() const;
};

struct run_options : launch_options {
    long long file_size_limit = -1; // RLIMIT_FSIZE in bytes (SIGXFSZ left at its default, as a shell does)
    bool hold_stdin = false;        // stdin a pipe that stays open, with nothing in it, until the end
    int timeout_ms = 120000;        // then the program is killed (status 128 + 9)
};

// Runs `exe` with `args` in folder `cwd`, stdin fed from `input`.
tool_result run_program(const std::string &exe, const std::vector<std::string> &args,
                        const std::string &cwd, const std::string &input = "", const run_options &options = {});
inline tool_result run_tool(const std::vector<std::string> &args, const std::string &cwd,
                            const std::string &input = "", const run_options &options = {}) {
    return run_program(tool_exe(), args, cwd, input, options);
}

// The tool run with `args` by a shell that sets up `redirect` first
// (`exec "$@" 2>&1`): the standard streams a script may give it.
tool_result run_tool_redirected(const std::string &redirect, const std::vector<std::string> &args,
                                const std::string &cwd, run_options options = {});

// True when the tool runs under a runner such as Wine.
bool under_runner();

// A fresh folder, removed again at the end of the test.
struct scratch_dir {
    std::string path;
    scratch_dir();
    ~scratch_dir();
    std::string operator/(const std::string &name) const { return path + "/" + name; }
};

void write_file(const std::string &path, const std::string &bytes);
std::string read_file(const std::string &path);
bool file_exists(const std::string &path);

// A file of `lines` lines of varied length, ending in `eol`.
std::string text_lines(int lines, const std::string &eol);

// The announcement of a run from `in` to `out`, and the percentage fields
// that follow it.
std::string announcement(const std::string &in, const std::string &out, bool dos_input = false);
std::string percent_fields(const std::vector<int> &values);
// The values of the percentage fields in `text`, in order.
std::vector<int> percent_values(const std::string &text);

// The tool's prompts: the overwrite question's last line, and the retry
// wait after a failed try.
inline const std::string asks_overwrite = "Enter a Y, Q, or A ";
inline const std::string asks_return = "hit return to choose new output file";

// The regular expression of one diagnostic: an empty line, the reporting
// source file (pinned only when given), its line number, then `message`
// word for word, and a line break.
std::string diagnostic(const std::string &message, const std::string &source = "");
// Diagnostics with `messages`, one after the other, that end the text; with
// `whole`, the text holds nothing else.
std::string diagnostic_chain(const std::vector<std::string> &messages, bool whole = true);
bool contains_match(const std::string &text, const std::string &pattern);
inline bool has_diagnostic(const std::string &err, const std::string &message, const std::string &source = "") {
    return contains_match(err, diagnostic(message, source));
}
