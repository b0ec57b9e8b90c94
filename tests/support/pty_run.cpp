#include "tests/support/pty_run.h"
#include "tests/support/tool_run.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <functional>
#include <optional>
#include <regex>
#include <sstream>

void start_on_pty(pty_session &s, const std::string &exe, const std::vector<std::string> &args,
                  const std::string &cwd, const pty_options &options) {
    const launcher child(exe, args, cwd, options);

    std::optional<std_pipes> pipes;
    if (!options.stdio_on_terminal) {
        pipes.emplace();
        // Wine's dialog traces run to tens of kilobytes while a driver's X
        // calls are not reading them; with a full pipe Wine would stop, the
        // dialog with it. Best effort: the default 64 KiB is usually enough.
        (void)fcntl(pipes->err[0], F_SETPIPE_SZ, 1 << 20);
    }
    winsize ws{};
    ws.ws_row = options.rows;
    ws.ws_col = options.columns;
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, &ws);
    if (pid < 0)
        throw std::runtime_error("forkpty failed");
    if (pid == 0) {
        // Async-signal-safe calls only, from here to exec.
        if (pipes) {
            // Keep one descriptor on the terminal: with none open, the master
            // reads as hung up before the program opens /dev/tty.
            if (dup(0) < 0)
                _exit(125);
            pipes->become_child_stdio(options.stdin_on_terminal);
        }
        child.start();
    }
    signal(SIGPIPE, SIG_IGN);
    s.pid = pid;
    s.master = master;
    if (pipes) {
        pipes->keep_parent_ends();
        s.in_fd = pipes->in[1];
        if (options.stdin_on_terminal) {
            close(s.in_fd);
            s.in_fd = -1;
        }
        s.out_fd = pipes->out[0];
        s.err_fd = pipes->err[0];
    }
}

void start_shell(pty_session &s, const std::string &cwd) {
    pty_options shell;
    shell.stdio_on_terminal = true;
    shell.no_runner = true;
    shell.env = {"PS1=$ ", "HISTFILE=/dev/null"};
    start_on_pty(s, "/bin/bash", {"--norc", "--noprofile", "-i"}, cwd, shell);
    if (!s.wait_for("$ ") || (s.type("set -b\n"), !s.wait_for("$ ")))
        throw std::runtime_error("bash showed no prompt: " + s.screen);
}

namespace {
// Where a line of Wine's own starts in `err` at or after `from`: a note
// ("wine: ..." about its drives) or a debug-channel line
// ("0024:trace:commdlg:..."). Either can cut into a line of the program's,
// one that waits for return without a newline.
std::size_t wine_line_at(const std::string &err, std::size_t from) {
    std::size_t best = err.find("wine: ", from);
    for (std::size_t at = from; (at = err.find(":trace:", at)) != std::string::npos && at < best; at += 7)
        if (at >= 4 && std::all_of(err.begin() + static_cast<long>(at) - 4, err.begin() + static_cast<long>(at),
                                   [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }))
            return at - 4;
    return best;
}

// Wine's own lines are not the program's output: each is moved, once whole,
// from `err` to `wine_log`.
void take_wine_lines(pty_session &s) {
    if (!under_runner())
        return;
    for (std::size_t at = 0; (at = wine_line_at(s.err, at)) != std::string::npos;) {
        std::size_t end = s.err.find('\n', at);
        if (end == std::string::npos)
            return; // the rest of it is still on its way
        std::size_t length = end + 1 - at;
        s.wine_log.append(s.err, at, length);
        s.err.erase(at, length);
        if (s.err_seen > at)
            s.err_seen = s.err_seen >= at + length ? s.err_seen - length : at;
    }
}

// One round of reading whatever is ready; false when nothing is left open.
bool pump(pty_session &s, int timeout_ms) {
    pollfd fds[3];
    int *owners[3];
    std::string *sinks[3];
    int n = 0;
    for (auto [fd, sink] : {std::pair{&s.master, &s.screen}, std::pair{&s.out_fd, &s.out},
                            std::pair{&s.err_fd, &s.err}})
        if (*fd >= 0) {
            fds[n] = {*fd, POLLIN, 0};
            owners[n] = fd;
            sinks[n++] = sink;
        }
    if (n == 0)
        return false;
    int r = poll(fds, n, timeout_ms);
    if (r <= 0)
        return r == 0 || errno == EINTR;
    for (int i = 0; i < n; ++i) {
        if (fds[i].revents == 0)
            continue;
        char buf[4096];
        ssize_t got = read(fds[i].fd, buf, sizeof buf);
        if (got <= 0) { // EIO on the master once the terminal's last user is gone
            close(*owners[i]);
            *owners[i] = -1;
            continue;
        }
        sinks[i]->append(buf, static_cast<std::size_t>(got));
        if (sinks[i] == &s.err)
            take_wine_lines(s);
    }
    return true;
}
} // namespace

namespace {
// Reads until `found()` holds; false after `timeout_ms`. Reads at most
// `step_ms` at a time when `found` looks at more than what was just read.
bool wait_until(pty_session &s, const std::function<bool()> &found, int timeout_ms, int step_ms = -1) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!found()) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        int wait = static_cast<int>(step_ms < 0 ? left.count() : std::min<long>(left.count(), step_ms));
        if (left.count() <= 0 || !pump(s, wait))
            return false;
    }
    return true;
}

// Whether `text` is in `place` after `mark`; if so, moves `mark` past it.
bool find_after(const std::string &place, std::size_t &mark, const std::string &text) {
    std::size_t hit = place.find(text, mark);
    if (hit == std::string::npos)
        return false;
    mark = hit + text.size();
    return true;
}
} // namespace

bool pty_session::wait_for(const std::string &text, int timeout_ms) {
    return wait_until(
        *this, [&] { return find_after(screen, seen, text) || find_after(err, err_seen, text); }, timeout_ms);
}

std::string shown_text(const std::string &screen) {
    std::string s = std::regex_replace(screen, std::regex("\x1b\\[\\?25[lh]"), "");
    s = std::regex_replace(s, std::regex("\x1b\\[K\x1b\\[1C"), " ");
    s = std::regex_replace(s, std::regex("\x1b\\[[0-9;?]*[A-Za-z]"), "");
    return std::regex_replace(s, std::regex("\r"), "");
}

bool pty_session::wait_for_shown(const std::string &text, int timeout_ms) {
    return wait_until(*this, [&] { return find_after(shown_text(screen), shown_seen, text); }, timeout_ms, 100);
}

void pty_session::read_for(int ms) {
    wait_until(*this, [] { return false; }, ms);
}

bool pty_session::wait_for_log(const std::string &text, std::size_t &mark, int timeout_ms) {
    return wait_until(*this, [&] { return find_after(wine_log, mark, text); }, timeout_ms);
}

void pty_session::type(const std::string &keys) {
    if (master >= 0 && write(master, keys.data(), keys.size()) < 0)
        throw std::runtime_error("write to terminal failed");
}

void pty_session::feed_stdin(const std::string &bytes) {
    if (in_fd >= 0 && write(in_fd, bytes.data(), bytes.size()) < 0)
        throw std::runtime_error("write to stdin failed");
}

void pty_session::close_stdin() {
    if (in_fd >= 0)
        close(in_fd);
    in_fd = -1;
}

int pty_session::finish(int timeout_ms) {
    close_stdin();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    int st = 0;
    for (;;) {
        pid_t done = waitpid(pid, &st, WNOHANG);
        if (done == pid) {
            // Drain what is still buffered, for at most two seconds: a
            // descendant may hold the pipes open long after (pump answers
            // true on a quiet poll).
            const auto drained_by = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            auto draining = [&] { return std::chrono::steady_clock::now() < drained_by; };
            while ((out_fd >= 0 || err_fd >= 0) && draining() && pump(*this, 200)) {
            }
            while (master >= 0 && draining() && pump(*this, 50) && master >= 0) {
                pollfd p{master, POLLIN, 0};
                if (poll(&p, 1, 50) <= 0)
                    break;
            }
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &st, 0);
            break;
        }
        pump(*this, 50);
    }
    pid = -1;
    status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    take_wine_lines(*this);
    return status;
}

pty_session::~pty_session() {
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    for (int fd : {master, in_fd, out_fd, err_fd})
        if (fd >= 0)
            close(fd);
}

int child_named(int parent, const std::string &name, int timeout_ms) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    do {
        std::istringstream children(read_file("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) +
                                              "/children"));
        for (int pid; children >> pid;)
            if (read_file("/proc/" + std::to_string(pid) + "/comm") == name + "\n")
                return pid;
        usleep(20000);
    } while (std::chrono::steady_clock::now() < give_up);
    return -1;
}
