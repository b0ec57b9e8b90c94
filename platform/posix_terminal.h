// What the POSIX console and the terminal dialog share: the terminal, the
// user's character set, names made safe to show on a terminal, and the
// guard that keeps the terminal sane while a question or dialog has it.
#pragma once

#include <string>

#include <locale.h>
#include <termios.h>

// The controlling terminal, opened for reading and writing (close-on-exec,
// never made the controlling one); -1 when the process has none.
int open_terminal();

// Writes all of `text` to the terminal `fd`, a signal's interruption
// retried; what cannot be written (a hung-up terminal) is dropped.
void terminal_write(int fd, const std::string &text);

// The character classes of the user's locale (LC_ALL, LC_CTYPE, LANG), made
// once; the C locale's when that locale is not installed. The program
// itself keeps running in the C locale.
locale_t user_ctype();

// Its codeset as nl_langinfo names it ("UTF-8", "ANSI_X3.4-1968", "IBM437").
const char *user_codeset();

// `text` with every control character, and every byte that the calling
// thread's locale cannot read as a character, written as a \ooo octal
// escape, and a backslash as two, as `ls -b` does: a file named with an
// escape sequence cannot drive the terminal it is shown on.
std::string escaped(const std::string &text);

// The guard of the terminal `fd` for one question or dialog, as
// readpassphrase keeps it. Its modes are saved, and every signal that would
// end or stop the process is caught (one that the process was started with
// ignored stays ignored). The handlers only record; the signals reach the
// process only while terminal_read waits, and there the normal flow puts
// the modes back, restores the old dispositions and sends the signal again:
// the process ends by it with the terminal as it was, or stops and later
// goes on. A background job waits (stopped) until it is in the foreground
// before anything changes the modes. Faults (SIGSEGV and the like) cannot
// wait: their handler puts the modes back itself. One guard at a time.
// false, with nothing left guarded, when the terminal's modes cannot be
// read or the process is a background job for good (its shell has ended,
// or it ignores SIGTTOU): it must not touch the foreground's terminal.
bool terminal_guard_start(int fd, bool resizes);
void terminal_guard_end();

// Sets the modes `wanted` (TCSANOW: a key typed ahead still counts); false
// when they cannot be set (the terminal is gone, or this job was left in
// the background of a shell that has ended).
bool terminal_set(const termios &wanted);

enum class terminal_event {
    byte,    // *byte holds what was read
    end,     // the terminal's end (hung up)
    error,   // it cannot be read (EIO: a background job whose shell is gone)
    timeout, // nothing came within the time given
    resumed, // the process was stopped and goes on: set the modes, redraw
    resized, // the window changed size (only when the guard was asked to see it)
};
// One byte from the guarded terminal, waiting at most `timeout_ms` (-1: no
// limit).
terminal_event terminal_read(unsigned char *byte, int timeout_ms = -1);
