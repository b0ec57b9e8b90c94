// The boxed banner and the usage screen.
#pragma once

// Banner on standard error, then the usage text on standard output.
void show_usage();

// Writes the banner to standard error; `lines_used` is how many screen lines
// the caller has already written (the banner first fills up to 30).
void show_banner(int lines_used);

// (width - length) / 2 blanks, at most 72, then `text`; no line break.
void print_centered(const char *text, int width);
