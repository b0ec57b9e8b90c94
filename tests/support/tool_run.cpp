#include "tests/support/tool_run.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <fstream>
#include <sstream>

namespace {
std::string from_env(const char *name, const char *built) {
    const char *e = std::getenv(name);
    return e != nullptr && *e != '\0' ? e : built;
}
} // namespace

std::string tool_exe() { return from_env("LFSWAP_TEST_EXE", LFSWAP_EXE); }
std::string fixed_date_exe() { return from_env("LFSWAP_TEST_FIXED_DATE_EXE", LFSWAP_FIXED_DATE_EXE); }
std::string unstamped_exe() { return from_env("LFSWAP_TEST_UNSTAMPED_EXE", LFSWAP_UNSTAMPED_EXE); }
std::string probe_exe() { return from_env("LFSWAP_TEST_PROBE_EXE", LFSWAP_PROBE_EXE); }
bool dialog_invisible() { return from_env("LFSWAP_TEST_NO_DIALOG", "") == "1"; }

std::vector<std::string> command_words(const std::string &exe, const std::vector<std::string> &args) {
    std::vector<std::string> words;
    const char *runner = std::getenv("LFSWAP_TEST_RUNNER");
    if (runner != nullptr && *runner != '\0')
        words.push_back(runner);
    words.push_back(exe);
    words.insert(words.end(), args.begin(), args.end());
    return words;
}

bool under_runner() { return !from_env("LFSWAP_TEST_RUNNER", "").empty(); }

namespace {
std::string on_path(const std::string &name) {
    if (name.find('/') != std::string::npos)
        return name;
    std::string dirs = from_env("PATH", "/usr/bin:/bin");
    for (std::size_t at = 0; at <= dirs.size();) {
        std::size_t colon = std::min(dirs.find(':', at), dirs.size());
        std::string candidate = dirs.substr(at, colon - at) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
        at = colon + 1;
    }
    return name;
}
} // namespace

prepared_command::prepared_command(std::vector<std::string> command, const std::vector<std::string> &extra_env,
                                   std::vector<int> ignored)
    : path(on_path(command.at(0))), words(std::move(command)), ignored_signals(std::move(ignored)) {
    for (char **e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const auto &x : extra_env)
            replaced = replaced || x.compare(0, name.size(), name) == 0;
        if (!replaced)
            env.push_back(entry);
    }
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    for (auto &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    for (auto &e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
}

void prepared_command::exec() const {
    // The test process ignores SIGPIPE; a program started from a shell does not.
    struct sigaction dfl {}, ign {};
    dfl.sa_handler = SIG_DFL;
    ign.sa_handler = SIG_IGN;
    for (int sig : {SIGPIPE, SIGXFSZ, SIGHUP, SIGINT, SIGTSTP})
        sigaction(sig, &dfl, nullptr);
    for (int sig : ignored_signals)
        sigaction(sig, &ign, nullptr);
    execve(path.c_str(), argv.data(), envp.data());
    _exit(127);
}

std_pipes::std_pipes() {
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
}

void std_pipes::become_child_stdio(bool keep_stdin) const {
    if (!keep_stdin)
        dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
        close(fd);
}

void std_pipes::keep_parent_ends() {
    close(in[0]);
    close(out[1]);
    close(err[1]);
    in[0] = out[1] = err[1] = -1;
    signal(SIGPIPE, SIG_IGN); // a run that ends early must not kill the test
}

namespace {
std::vector<std::string> launch_words(const std::string &exe, const std::vector<std::string> &args, bool no_runner) {
    std::vector<std::string> words = no_runner ? std::vector<std::string>{exe} : command_words(exe, {});
    words.insert(words.end(), args.begin(), args.end());
    return words;
}

std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string> &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
} // namespace

launcher::launcher(const std::string &exe, const std::vector<std::string> &args, const std::string &dir,
                   const launch_options &o, const std::vector<std::string> &more_env)
    : command(launch_words(exe, args, o.no_runner), joined(o.env, more_env), o.ignored_signals), cwd(dir),
      options(o) {
    options.as_nobody = o.as_nobody && geteuid() == 0;
}

void launcher::start() const {
    for (int fd : options.closed_fds)
        close(fd);
    if (chdir(cwd.c_str()) != 0 || (options.as_nobody && (setgid(65534) != 0 || setuid(65534) != 0)))
        _exit(126);
    command.exec();
}

tool_result run_program(const std::string &exe, const std::vector<std::string> &args,
                        const std::string &cwd, const std::string &input, const run_options &options) {
    // A run through pipes has no terminal; under Wine it gets no display
    // either, or a dialog window would wait there for nobody.
    std::vector<std::string> no_display;
    if (under_runner() && !options.no_runner && std::getenv("DISPLAY") != nullptr)
        no_display.push_back("DISPLAY=");
    const launcher child(exe, args, cwd, options, no_display);
    const rlimit limit{static_cast<rlim_t>(options.file_size_limit), static_cast<rlim_t>(options.file_size_limit)};

    std_pipes pipes;
    pid_t pid = fork();
    if (pid == 0) {
        // Async-signal-safe calls only, from here to exec.
        pipes.become_child_stdio();
        // No controlling terminal: prompts and dialogs must not reach the
        // developer's screen.
        setsid();
        if (options.file_size_limit >= 0)
            setrlimit(RLIMIT_FSIZE, &limit);
        child.start();
    }
    pipes.keep_parent_ends();

    tool_result r;
    std::size_t fed = 0;
    int in_fd = pipes.in[1];
    if (input.empty() && !options.hold_stdin) {
        close(in_fd);
        in_fd = -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.timeout_ms);
    bool out_open = true, err_open = true;
    while (out_open || err_open) {
        pollfd fds[3];
        int n = 0;
        if (out_open) fds[n++] = {pipes.out[0], POLLIN, 0};
        if (err_open) fds[n++] = {pipes.err[0], POLLIN, 0};
        if (in_fd >= 0 && fed < input.size()) fds[n++] = {in_fd, POLLOUT, 0};
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || poll(fds, n, static_cast<int>(left.count())) <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        for (int i = 0; i < n; ++i) {
            if (fds[i].revents == 0)
                continue;
            if (fds[i].fd == in_fd) {
                ssize_t w = write(in_fd, input.data() + fed, input.size() - fed);
                if (w > 0)
                    fed += static_cast<std::size_t>(w);
                if (w < 0 || (fed == input.size() && !options.hold_stdin)) {
                    close(in_fd);
                    in_fd = -1;
                }
                continue;
            }
            char buf[65536];
            ssize_t got = read(fds[i].fd, buf, sizeof buf);
            bool is_out = fds[i].fd == pipes.out[0];
            if (got <= 0) {
                (is_out ? out_open : err_open) = false;
                continue;
            }
            (is_out ? r.out : r.err).append(buf, static_cast<std::size_t>(got));
        }
    }
    if (in_fd >= 0)
        close(in_fd);
    close(pipes.out[0]);
    close(pipes.err[0]);
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return r;
}

scratch_dir::scratch_dir() {
    char tmpl[] = "/tmp/lfswap-test-XXXXXX";
    if (mkdtemp(tmpl) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path = tmpl;
}

scratch_dir::~scratch_dir() {
    std::error_code ec;
    // Tests may leave read-only files behind; give write access back first.
    for (auto &e : std::filesystem::recursive_directory_iterator(path, ec))
        std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path, ec);
}

void write_file(const std::string &path, const std::string &bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool file_exists(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string text_lines(int lines, const std::string &eol) {
    std::string s;
    for (int i = 0; i < lines; ++i) {
        s.append(static_cast<std::size_t>(i % 97), static_cast<char>('a' + i % 26));
        s += eol;
    }
    return s;
}

std::string percent_fields(const std::vector<int> &values) {
    std::string s;
    char field[16];
    for (int v : values) {
        std::snprintf(field, sizeof field, " %3d %%", v);
        s += field;
        s += "\b\b\b\b\b\b";
    }
    return s;
}

std::string announcement(const std::string &in, const std::string &out, bool dos_input) {
    return in + (dos_input ? " is a DOS file " : " is a UNIX file ") + out +
           (dos_input ? " will be a UNIX file\n" : " will be a DOS file\n");
}

namespace {
std::string literal(const std::string &text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}
} // namespace

std::string diagnostic(const std::string &message, const std::string &source) {
    return "\n" + (source.empty() ? std::string("[^\n]+") : literal(source)) + "\n[0-9]+\n" + literal(message) + "\n";
}

std::string diagnostic_chain(const std::vector<std::string> &messages, bool whole) {
    std::string pattern = whole ? "^" : "";
    for (const std::string &m : messages)
        pattern += diagnostic(m);
    return pattern + "$";
}

std::vector<int> percent_values(const std::string &text) {
    static const std::regex field(" ([ 0-9]{3}) %\b\b\b\b\b\b");
    std::vector<int> v;
    for (std::sregex_iterator it(text.begin(), text.end(), field), end; it != end; ++it)
        v.push_back(std::stoi((*it)[1].str()));
    return v;
}

tool_result run_tool_redirected(const std::string &redirect, const std::vector<std::string> &args,
                                const std::string &cwd, run_options options) {
    std::vector<std::string> words = {"-c", "exec \"$@\" " + redirect, "sh"};
    for (const auto &word : command_words(tool_exe(), args))
        words.push_back(word);
    options.no_runner = true;
    return run_program("/bin/sh", words, cwd, "", options);
}

bool contains_match(const std::string &text, const std::string &pattern) {
    return std::regex_search(text, std::regex(pattern));
}
