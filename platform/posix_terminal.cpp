// POSIX backend, the terminal: opening it, the user's character set,
// escaped names, and the guard around every question and dialog.
#include "posix_terminal.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cwchar>
#include <cwctype>

#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <unistd.h>

int open_terminal() { return open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC); }

void terminal_write(int fd, const std::string &text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

locale_t user_ctype() {
    static const locale_t made = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
        return l != static_cast<locale_t>(nullptr) ? l : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    }();
    return made;
}

const char *user_codeset() {
    const char *cs = user_ctype() != static_cast<locale_t>(nullptr) ? nl_langinfo_l(CODESET, user_ctype()) : nullptr;
    return cs != nullptr ? cs : "ANSI_X3.4-1968";
}

std::string escaped(const std::string &text) {
    std::string out;
    std::mbstate_t st{};
    for (std::size_t i = 0; i < text.size();) {
        wchar_t wc = 0;
        const std::size_t len = std::mbrtowc(&wc, text.data() + i, text.size() - i, &st);
        const auto c = static_cast<unsigned char>(text[i]);
        if (len == 0 || len > text.size() - i || std::iswcntrl(static_cast<wint_t>(wc))) {
            char oct[8];
            std::snprintf(oct, sizeof oct, "\\%03o", c);
            out += oct;
            st = {};
            ++i;
            continue;
        }
        if (c == '\\')
            out += '\\';
        out.append(text, i, len);
        i += len;
    }
    return out;
}

namespace {

// Signals whose default action ends the process and that can wait for the
// normal flow (kill, the terminal's keys, timers, limits), those that stop
// it, and SIGCONT, which says that it goes on.
constexpr int waiting_signals[] = {
    SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGXFSZ,
    SIGPIPE, SIGIO, SIGPWR,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
    SIGTSTP, SIGTTIN, SIGTTOU, SIGCONT};
// Raised by the instruction that runs: the handler cannot return to wait.
constexpr int fault_signals[] = {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGSYS, SIGTRAP};

int guard_fd = -1;
termios saved_modes;
bool watch_resize = false;
sigset_t outer_mask;                 // the mask before the guard: what terminal_read waits with
sigset_t caught;                     // the signals the guard handles
struct sigaction outer_actions[NSIG];
volatile std::sig_atomic_t pending[NSIG];
volatile std::sig_atomic_t any_pending = 0;
bool lost = false; // a background job for good: the terminal is not to be touched

extern "C" void on_waiting_signal(int sig) {
    pending[sig] = 1;
    any_pending = 1;
}

// Only async-signal-safe calls in here.
extern "C" void on_fault(int sig) {
    const int saved_errno = errno;
    if (guard_fd >= 0)
        tcsetattr(guard_fd, TCSANOW, &saved_modes);
    signal(sig, SIG_DFL);
    raise(sig); // delivered, with its default action, when this returns
    errno = saved_errno;
}

bool is_fault(int sig) {
    for (int f : fault_signals)
        if (f == sig)
            return true;
    return false;
}

// Every signal the guard may take: the fixed lists, SIGWINCH when asked,
// and the real-time signals (their default action ends the process too).
template <class F>
void for_each_guarded(F f) {
    for (int sig : waiting_signals)
        f(sig);
    for (int sig : fault_signals)
        f(sig);
    if (watch_resize)
        f(SIGWINCH);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig)
        f(sig);
}

void install_handlers() {
    for_each_guarded([](int sig) {
        if (!sigismember(&caught, sig))
            return;
        struct sigaction sa {};
        sa.sa_handler = is_fault(sig) ? on_fault : on_waiting_signal;
        sigemptyset(&sa.sa_mask);
        sigaction(sig, &sa, nullptr); // no SA_RESTART: a wait ends at once
    });
}

void restore_handlers() {
    for_each_guarded([](int sig) {
        if (sigismember(&caught, sig))
            sigaction(sig, &outer_actions[sig], nullptr);
    });
}

// The guarded signals blocked (faults excepted): they are taken only where
// terminal_read waits, never in the middle of a write or a libedit call.
void block_caught() {
    sigset_t blocked = caught;
    for (int sig : fault_signals)
        sigdelset(&blocked, sig);
    sigprocmask(SIG_BLOCK, &blocked, nullptr);
}

// Puts the saved modes back. SIGTTOU blocked: a background job may then set
// them without being stopped, and the foreground's terminal is the one it
// found.
void put_modes_back() {
    sigset_t ttou, before;
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &before);
    while (tcsetattr(guard_fd, TCSANOW, &saved_modes) != 0 && errno == EINTR) {
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
}

// With the old dispositions and mask, as if the guard were not there:
// `sig` sent to this process alone (never to its group, which holds the
// calling script). A stop returns here once the process goes on. SIGCONT
// keeps its handler, so that a stop that happened can be told from one the
// kernel dropped.
void send_with_old_disposition(int sig) {
    sigset_t guarded;
    sigprocmask(SIG_SETMASK, &outer_mask, &guarded);
    const bool cont = sigismember(&caught, SIGCONT);
    sigdelset(&caught, SIGCONT);
    restore_handlers();
    kill(getpid(), sig); // delivered before kill returns, being unblocked
    install_handlers();
    if (cont)
        sigaddset(&caught, SIGCONT);
    sigprocmask(SIG_SETMASK, &guarded, nullptr);
}

// A background job stops until the shell brings it to the foreground, as
// on any other use of the terminal: it must not change the foreground's
// modes. False when it stays in the background for good: its shell has
// ended (the kernel then drops the stop) or it ignores SIGTTOU.
bool wait_for_foreground() {
    for (;;) {
        const pid_t fg = tcgetpgrp(guard_fd);
        if (fg < 0 || fg == getpgrp())
            return true; // a terminal that answers nothing fails its reads instead
        pending[SIGCONT] = 0;
        send_with_old_disposition(SIGTTOU);
        if (!pending[SIGCONT])
            return false;
        pending[SIGCONT] = 0;
    }
}

// What the recorded signals ask for, in the normal flow.
terminal_event take_signals() {
    any_pending = 0;
    bool resumed = false, resized = false;
    for (int sig = 1; sig < NSIG; ++sig) {
        if (!pending[sig])
            continue;
        pending[sig] = 0;
        if (sig == SIGCONT) {
            resumed = true;
        } else if (sig == SIGWINCH) {
            resized = true;
        } else {
            put_modes_back();
            send_with_old_disposition(sig); // the end of the process, or a stop
            resumed = true;
        }
    }
    if (resumed && !wait_for_foreground())
        lost = true;
    return lost ? terminal_event::error
           : resumed ? terminal_event::resumed
           : resized ? terminal_event::resized
                     : terminal_event::byte;
}

} // namespace

bool terminal_guard_start(int fd, bool resizes) {
    if (fd < 0 || tcgetattr(fd, &saved_modes) != 0)
        return false;
    guard_fd = fd;
    watch_resize = resizes;
    sigemptyset(&caught);
    for_each_guarded([](int sig) {
        sigaction(sig, nullptr, &outer_actions[sig]);
        if (outer_actions[sig].sa_handler != SIG_IGN)
            sigaddset(&caught, sig);
        pending[sig] = 0;
    });
    any_pending = 0;
    sigprocmask(SIG_SETMASK, nullptr, &outer_mask);
    install_handlers();
    block_caught();
    lost = false;
    if (!wait_for_foreground()) {
        terminal_guard_end();
        return false;
    }
    return true;
}

void terminal_guard_end() {
    if (guard_fd < 0)
        return;
    if (!lost) // lost: they were put back before the stop, and are not ours to set now
        put_modes_back();
    restore_handlers();
    // A signal recorded but not yet taken is sent again now that the modes
    // are back: it must not be lost.
    for (int sig = 1; sig < NSIG; ++sig)
        if (pending[sig] && sig != SIGCONT && sig != SIGWINCH) {
            pending[sig] = 0;
            kill(getpid(), sig);
        }
    any_pending = 0;
    guard_fd = -1;
    sigprocmask(SIG_SETMASK, &outer_mask, nullptr);
}

bool terminal_set(const termios &wanted) {
    for (;;) {
        if (lost)
            return false;
        // SIGTTOU open: in the background this stops the process (taken
        // below) rather than change the foreground's modes.
        sigset_t ttou, guarded;
        sigemptyset(&ttou);
        sigaddset(&ttou, SIGTTOU);
        sigprocmask(SIG_UNBLOCK, &ttou, &guarded);
        const int r = tcsetattr(guard_fd, TCSANOW, &wanted);
        const int e = errno;
        sigprocmask(SIG_SETMASK, &guarded, nullptr);
        if (r == 0)
            return true;
        if (e != EINTR)
            return false;
        take_signals();
    }
}

terminal_event terminal_read(unsigned char *byte, int timeout_ms) {
    for (;;) {
        if (lost)
            return terminal_event::error;
        if (any_pending) {
            const terminal_event e = take_signals();
            if (e != terminal_event::byte)
                return e;
        }
        // In the foreground: wait with the signals open, then read what
        // came. In the background a read never waits: the kernel stops the
        // job by SIGTTIN or, where nobody could bring it back, fails it
        // with EIO, which a wait for input would never see.
        if (tcgetpgrp(guard_fd) == getpgrp()) {
            pollfd p{guard_fd, POLLIN, 0};
            timespec limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000000L};
            const int r = ppoll(&p, 1, timeout_ms < 0 ? nullptr : &limit, &outer_mask);
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0)
                return terminal_event::error;
            if (r == 0)
                return terminal_event::timeout;
        }
        // Unblocked, so that a background job's read stops it by SIGTTIN.
        sigset_t guarded;
        sigprocmask(SIG_SETMASK, &outer_mask, &guarded);
        const ssize_t n = read(guard_fd, byte, 1);
        const int e = errno;
        sigprocmask(SIG_SETMASK, &guarded, nullptr);
        if (n == 1)
            return terminal_event::byte;
        if (n == 0)
            return terminal_event::end;
        if (e != EINTR && e != EAGAIN)
            return terminal_event::error;
    }
}
