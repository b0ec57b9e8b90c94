// The tool's exit statuses.
#pragma once

inline constexpr int exit_done = 0;
inline constexpr int exit_failure = 1; // self-check, an open, a read, a write, memory
inline constexpr int exit_user_quit = 4; // Q or N at the overwrite prompt
inline constexpr int exit_usage = 6;     // too few words; the usage screen was shown

#include <cstdio>

// A diagnostic on standard error: an empty line, the reporting source file,
// the line of the report, then the message (a printf format and its
// arguments) and a line break. One formatted write, at the report's place,
// after what standard output holds, so that on a screen it follows the
// announcement and the percentage it concerns.
#define DIAGNOSTIC(format, ...)                                                                              \
    (std::fflush(stdout),                                                                                    \
     std::fprintf(stderr, "\n%s\n%d\n" format "\n", __FILE__, __LINE__ __VA_OPT__(, ) __VA_ARGS__))
