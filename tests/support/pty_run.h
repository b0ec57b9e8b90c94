// Runs a program with a pseudo-terminal as its controlling terminal, so that
// its key reads and terminal dialogs can be answered like a user would.
#pragma once

#include <string>
#include <vector>

#include "tests/support/tool_run.h"

struct pty_session {
    int pid = -1;
    int master = -1;
    int in_fd = -1;          // writes the child's standard input (-1: the terminal is its stdin)
    int out_fd = -1, err_fd = -1;
    std::string screen;      // everything the child wrote to the terminal
    std::string out, err;    // its standard output and error, when those are pipes
    std::string wine_log;    // under Wine: Wine's own lines, taken out of err
    std::size_t seen = 0, err_seen = 0; // how far wait_for has looked
    std::size_t shown_seen = 0;         // how far wait_for_shown has looked
    int status = -1;

    pty_session() = default;
    pty_session(const pty_session &) = delete;
    pty_session &operator=(const pty_session &) = delete;
    ~pty_session();

    // Reads until `text` shows up on the terminal or on stderr after what an
    // earlier wait found; false after `timeout_ms`.
    bool wait_for(const std::string &text, int timeout_ms = 10000);
    // The same in what the terminal shows (shown_text below), which under
    // Wine's console has cursor sequences around every character.
    bool wait_for_shown(const std::string &text, int timeout_ms = 10000);
    // The same in wine_log, from `mark` on; moves `mark` past what it found.
    bool wait_for_log(const std::string &text, std::size_t &mark, int timeout_ms = 10000);
    void read_for(int ms);                       // reads whatever comes for `ms`
    void type(const std::string &keys);          // keys at the terminal
    void feed_stdin(const std::string &bytes);   // through the stdin pipe
    void close_stdin();
    int finish(int timeout_ms = 20000);          // reads to the end; exit status
};

// What a terminal shows, without the cursor and erase sequences that a
// console emulation (Wine's) writes around every cell, and without CRs.
std::string shown_text(const std::string &screen);

struct pty_options : launch_options {
    bool stdio_on_terminal = false; // all three standard streams on the terminal
    bool stdin_on_terminal = false; // stdin the terminal, stdout and stderr pipes
    unsigned short rows = 40, columns = 100; // the window's size at the start
};

// Starts `exe` `args` in `cwd` on a new terminal (the runner prefix as in
// tool_run.h applies).
void start_on_pty(pty_session &s, const std::string &exe, const std::vector<std::string> &args,
                  const std::string &cwd, const pty_options &options = {});

// An interactive bash with job control (prompt "$ ", no history file) on a
// new terminal in `cwd`, as a user has, once it reads lines: it has shown a
// prompt and answered one line (`set -b`: a job's stop is said at once).
// A line typed before that may be lost while bash sets up the terminal.
void start_shell(pty_session &s, const std::string &cwd);

// The child of `parent` whose command is `name` (as /proc shows it), once
// it is there; -1 after `timeout_ms`.
int child_named(int parent, const std::string &name, int timeout_ms = 5000);
