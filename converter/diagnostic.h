// The tool's one shape of error report, and the end of a run that failed.
#pragma once

#include <cstdio>

#include "converter/exit_status.h"

// A diagnostic on standard error: an empty line, the reporting source file,
// the line of the report, then the message (a printf format and its
// arguments) and a line break. One write of the whole text (a console
// that gets it byte by byte splits double-byte characters), at the
// report's place, after what standard output holds, so that on a screen it
// follows the announcement and the percentage it concerns.
#define DIAGNOSTIC(format, ...) write_diagnostic(__FILE__, __LINE__, format __VA_OPT__(, ) __VA_ARGS__)
[[gnu::format(printf, 3, 4)]] void write_diagnostic(const char *source, int line, const char *format, ...);

// A diagnostic, then the end of the run with status 1, its files closed
// (quit_run, converter/run_context.h).
#define FAIL_RUN(format, ...) \
    (DIAGNOSTIC(format __VA_OPT__(, ) __VA_ARGS__), quit_run(exit_failure))
