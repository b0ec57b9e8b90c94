// Shared console-tool routines: opening the input and output files, the
// file-selection dialogs, and the version stamp.
#pragma once

#include "platform/platform.h"

// Opens an existing file for reading (read sharing only). With use_dialog
// off: one try, invalid_handle on failure, nothing written. With it on, a
// failed try brings up the input dialog; the third failure ends the process.
io_handle open_in_file(const char *name, bool use_dialog);

// Opens or creates the output for reading and writing (read sharing only),
// empty in overwrite mode, positioned at its end in append mode. A name
// beginning with "-" or "/" is chosen in the output dialog instead, with a
// question when the file chosen exists. Returns only with an open handle;
// otherwise reports and ends the process (status 1, or 4 when the user
// quits at the question).
io_handle open_out_file(const char *name, bool append);

// A word beginning with "-" or "/": an option, not a file name.
bool is_option_word(const char *name);

// The file-selection dialogs. Each returns its own static path buffer (the
// next call of the same dialog overwrites it), or null when the dialog was
// cancelled; `how` says also whether it could be shown at all.
char *pick_in_file(dialog_result *how = nullptr);
char *pick_out_file(dialog_result *how = nullptr);

// What a key at the overwrite question does (-1, a failed key read, quits;
// Ctrl-C, read as a character on Windows, ends the run as an interrupt; a
// key that answers nothing asks again).
enum class overwrite_answer { overwrite, append, quit, ask_again, interrupted };
overwrite_answer answer_for_key(int key);

// Version stamp YY.MM.DD.hh.mm + suffix from a compiler date ("Feb  5 2002")
// and time ("07:47:38"). Each call returns a new 48-byte text, never freed.
char *make_version(const char *date, const char *time, const char *suffix);
