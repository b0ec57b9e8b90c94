// The conversion pass of the run: the whole input, from its start, chunk by
// chunk, with the percentage done after every chunk.
#pragma once

#include <cstdint>

// Rewinds run.in_handle and converts it into run.out_handle as `type`
// (type_dos: dos_to_unix, else unix_to_dos). `size` is the input's size as
// looked up, when known. A failed read, seek or write is reported naming
// in_name or out_name, and ends the run with status 1. Needs chunk_len >= 2:
// a full chunk ending in CR gives that CR back to the next one.
void convert_chunks(int type, const char *in_name, const char *out_name, bool size_known, std::int64_t size,
                    bool live);

[[noreturn]] void fail_reading(const char *in_name);
[[noreturn]] void fail_writing(const char *out_name);
