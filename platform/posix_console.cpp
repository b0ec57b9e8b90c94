// POSIX backend, the console: standard output's terminal, box drawing and
// names on a terminal, the question's copy on the terminal, key reading
// and the retry wait.
#include "platform.h"
#include "posix_terminal.h"

#include <cstdio>
#include <cstring>
#include <string>

#include <termios.h>
#include <unistd.h>

namespace {

// Code page 437, bytes 0x80..0xFF, as Unicode.
constexpr char16_t cp437_high[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8,
    0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2,
    0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1,
    0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD,
    0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562,
    0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534,
    0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560,
    0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393,
    0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6,
    0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0,
    0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

// How a terminal with the user's codeset shows the box: the glyphs in
// UTF-8, the bytes themselves where the codeset is code page 437, ASCII
// look-alikes anywhere else (LANG=C, a locale that is not installed).
enum class box_glyphs { utf8, cp437, ascii };

box_glyphs stderr_glyphs() {
    static const box_glyphs glyphs = [] {
        if (isatty(STDERR_FILENO) != 1)
            return box_glyphs::cp437; // redirected: the bytes as they are
        const char *cs = user_codeset();
        if (std::strcmp(cs, "UTF-8") == 0 || std::strcmp(cs, "utf8") == 0)
            return box_glyphs::utf8;
        if (std::strcmp(cs, "IBM437") == 0 || std::strcmp(cs, "CP437") == 0)
            return box_glyphs::cp437;
        return box_glyphs::ascii;
    }();
    return glyphs;
}

char ascii_for(unsigned char b) {
    switch (b) {
    case 0xC9: case 0xBB: case 0xC8: case 0xBC: case 0xDA: case 0xBF: case 0xC0: case 0xD9: return '+';
    case 0xCD: return '=';
    case 0xC4: return '-';
    case 0xBA: case 0xB3: return '|';
    case 0xFB: return 'v'; // the check mark
    default: return '?';
    }
}

} // namespace

std::string console_name(const char *name) {
    const locale_t before = uselocale(user_ctype());
    std::string shown = escaped(name);
    uselocale(before);
    return shown;
}

std::string printable_name(const char *name, bool to_stdout) {
    return isatty(to_stdout ? STDOUT_FILENO : STDERR_FILENO) == 1 ? console_name(name) : name;
}

// The controlling terminal is the one whose session is this process's.
bool stderr_is_console() { return isatty(STDERR_FILENO) == 1 && tcgetsid(STDERR_FILENO) == getsid(0); }

void write_to_console(const std::string &text) {
    const int fd = open_terminal();
    if (fd < 0)
        return;
    terminal_write(fd, text);
    close(fd);
}

void write_cp437_to_stderr(const char *text, std::size_t length) {
    const box_glyphs glyphs = stderr_glyphs();
    if (glyphs == box_glyphs::cp437) {
        std::fwrite(text, 1, length, stderr);
        return;
    }
    char out[3 * 80];
    std::size_t used = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (used + 3 > sizeof out) {
            std::fwrite(out, 1, used, stderr);
            used = 0;
        }
        auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out[used++] = static_cast<char>(b);
            continue;
        }
        if (glyphs == box_glyphs::ascii) {
            out[used++] = ascii_for(b);
            continue;
        }
        char16_t c = cp437_high[b - 0x80];
        if (c < 0x800) {
            out[used++] = static_cast<char>(0xC0 | (c >> 6));
        } else {
            out[used++] = static_cast<char>(0xE0 | (c >> 12));
            out[used++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        out[used++] = static_cast<char>(0x80 | (c & 0x3F));
    }
    std::fwrite(out, 1, used, stderr);
}

namespace {

// The controlling terminal, held for one prompt in the mode it needs (one
// key without echo, or a line), under the terminal guard.
struct tty_guard {
    int fd = -1;
    bool ok = false;
    termios wanted{};
    explicit tty_guard(bool raw) {
        fd = open_terminal();
        if (!terminal_guard_start(fd, false))
            return;
        ok = true;
        tcgetattr(fd, &wanted);
        if (raw) {
            wanted.c_lflag &= ~tcflag_t(ICANON | ECHO);
            wanted.c_cc[VMIN] = 1;
            wanted.c_cc[VTIME] = 0;
        } else {
            wanted.c_lflag |= ICANON | ECHO;
        }
        terminal_set(wanted);
    }
    ~tty_guard() {
        if (ok)
            terminal_guard_end();
        if (fd >= 0)
            close(fd);
    }
    tty_guard(const tty_guard &) = delete;
    tty_guard &operator=(const tty_guard &) = delete;

    // One byte; -1 at the terminal's end, when it cannot be read, or when
    // nothing came within `tenths` of a second (0: no limit). Back from a
    // stop the prompt's mode is set again, so a key still needs no return
    // after `fg`; with `tell_resume`, that is then said (resumed_mark).
    static constexpr int resumed_mark = -2;
    int byte(int tenths = 0, bool tell_resume = false) {
        for (;;) {
            unsigned char c;
            switch (terminal_read(&c, tenths > 0 ? tenths * 100 : -1)) {
            case terminal_event::byte: return c;
            case terminal_event::resumed:
                terminal_set(wanted);
                if (tell_resume)
                    return resumed_mark;
                continue;
            case terminal_event::resized: continue;
            default: return -1;
            }
        }
    }
};

constexpr int esc = 0x1B;

} // namespace

bool console_wait_for_return() {
    tty_guard tty(false);
    if (!tty.ok)
        return false;
    // A terminal that cannot be read (a background job whose shell has
    // ended) gives no return to wait for: nobody is there.
    for (;;) {
        unsigned char c;
        switch (terminal_read(&c)) {
        case terminal_event::byte:
            if (c == '\n')
                return true;
            continue;
        case terminal_event::resumed: terminal_set(tty.wanted); continue;
        case terminal_event::end: return true;
        case terminal_event::resized: continue;
        default: return false;
        }
    }
}

int console_read_key() {
    tty_guard tty(true);
    if (!tty.ok)
        return console_key_gone;
    int c = tty.byte(0, true);
    if (c == tty_guard::resumed_mark)
        return console_key_resumed;
    if (c == esc) {
        // An escape sequence (arrow, function key) comes at once after the
        // ESC; eat it whole so no part of it answers anything later.
        int next = tty.byte(1);
        if (next == '[' || next == 'O') {
            int b;
            do
                b = tty.byte(1);
            while (b >= 0 && !(b >= 0x40 && b <= 0x7E));
        }
        return console_key_other;
    }
    if (c >= 0xC0) {
        // The rest of a multi-byte character.
        int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
        while (more-- > 0 && tty.byte(1) >= 0) {
        }
        return console_key_other;
    }
    return c;
}
