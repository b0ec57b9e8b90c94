// The tool's exit statuses.
#pragma once

inline constexpr int exit_done = 0;
inline constexpr int exit_failure = 1; // self-check, an open, a read, a write, memory
inline constexpr int exit_user_quit = 4; // Q or N at the overwrite prompt
inline constexpr int exit_usage = 6;     // too few words; the usage screen was shown

#include <cstdio>

// A diagnostic on standard error: an empty line, the reporting source file,
// the line of the report, then the message (a printf format and its
// arguments) and a line break. One write of the whole text (a console
// that gets it byte by byte splits double-byte characters), at the
// report's place, after what standard output holds, so that on a screen it
// follows the announcement and the percentage it concerns.
#define DIAGNOSTIC(format, ...) write_diagnostic(__FILE__, __LINE__, format __VA_OPT__(, ) __VA_ARGS__)
[[gnu::format(printf, 3, 4)]] void write_diagnostic(const char *source, int line, const char *format, ...);
