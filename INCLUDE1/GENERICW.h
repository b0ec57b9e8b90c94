// Shared console-tool routines: opening the input and output files, the
// file-selection dialogs, and the version stamp.
#pragma once

#include "platform/platform.h"

// Opens an existing file for reading (read sharing only). With use_dialog
// off: one try, invalid_handle on failure, nothing written.
io_handle open_in_file(const char *name, bool use_dialog);

// Opens or creates the output for reading and writing (read sharing only),
// empty in overwrite mode, positioned at its end in append mode. Returns
// only with an open handle; otherwise reports and ends the process.
io_handle open_out_file(const char *name, bool append);

// Version stamp YY.MM.DD.hh.mm + suffix from a compiler date ("Feb  5 2002")
// and time ("07:47:38"). Each call returns a new 48-byte text, never freed.
char *make_version(const char *date, const char *time, const char *suffix);
