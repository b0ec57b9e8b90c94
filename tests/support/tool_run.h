// Runs the built lfswap as a user would, and scratch folders for its files.
#pragma once

#include <string>
#include <vector>

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
// display): cases that must choose a file in it are skipped, saying so.
bool dialog_invisible();
#define SKIP_WITHOUT_DIALOG()                                                                                \
    do {                                                                                                       \
        if (dialog_invisible())                                                                                \
            GTEST_SKIP() << "needs a visible file-selection dialog";                                          \
    } while (0)

// The words to execute: the runner, if any, `exe`, then `args`.
std::vector<std::string> command_words(const std::string &exe, const std::vector<std::string> &args);

struct run_options {
    std::vector<std::string> env; // extra NAME=value entries
    long long file_size_limit = -1; // RLIMIT_FSIZE in bytes, with SIGXFSZ ignored
    bool no_runner = false;         // run `exe` itself even when a runner is set
};

// Runs `exe` with `args` in folder `cwd`, stdin fed from `input`.
tool_result run_program(const std::string &exe, const std::vector<std::string> &args,
                        const std::string &cwd, const std::string &input = "", const run_options &options = {});
inline tool_result run_tool(const std::vector<std::string> &args, const std::string &cwd,
                            const std::string &input = "", const run_options &options = {}) {
    return run_program(tool_exe(), args, cwd, input, options);
}

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

// What the converters make of `s`: a CR before every LF.
inline std::string to_dos(const std::string &s) {
    std::string r;
    for (char c : s) {
        if (c == '\n')
            r += '\r';
        r += c;
    }
    return r;
}

// The announcement and the percentage fields the tool prints for a run.
std::string percent_fields(const std::vector<int> &values);
