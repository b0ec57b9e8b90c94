// What the POSIX console and the terminal dialog share: the terminal, the
// user's character set, and names made safe to show on a terminal.
#pragma once

#include <string>

#include <locale.h>

// The controlling terminal, opened for reading and writing (close-on-exec,
// never made the controlling one); -1 when the process has none.
int open_terminal();

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
