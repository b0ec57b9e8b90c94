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
// $LFSWAP_TEST_RUNNER (for example "wine") is put in front when set.
std::string tool_exe();

// The words to execute: the runner, if any, `exe`, then `args`.
std::vector<std::string> command_words(const std::string &exe, const std::vector<std::string> &args);

// Runs `exe` with `args` in folder `cwd`, stdin fed from `input`.
tool_result run_program(const std::string &exe, const std::vector<std::string> &args,
                        const std::string &cwd, const std::string &input = "");
inline tool_result run_tool(const std::vector<std::string> &args, const std::string &cwd,
                            const std::string &input = "") {
    return run_program(tool_exe(), args, cwd, input);
}

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

// The announcement and the percentage fields the tool prints for a run.
std::string percent_fields(const std::vector<int> &values);
