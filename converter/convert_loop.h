// The conversion pass of the run: the whole input, from its start, chunk by
// chunk, with the percentage done after every chunk.
#pragma once

#include <cstdint>

#include "converter/run_context.h"
#include "platform/platform.h"

// Rewinds run.in_handle and converts it into run.out_handle as `type`
// (type_dos: dos_to_unix, else unix_to_dos) text in `encoding` (bytes or
// UTF-16, in units of its own; never UTF-32); the percentage is of
// in_start.size. A failed read, seek or write is reported naming in_name or
// out_name, and ends the run with status 1; so does an input whose state at
// the end is not `in_start`, and a regular output that did not end up as
// out_start plus what was written (removed, or cut by someone else). Needs
// chunk_len >= 2 (4 for UTF-16): a full chunk ending in CR gives that CR back
// to the next one.
void convert_chunks(int type, text_encoding encoding, const char *in_name, const char *out_name,
                    const file_state &in_start, const file_state &out_start, bool live);

[[noreturn]] void fail_reading(const char *in_name);
[[noreturn]] void fail_writing(const char *out_name);
