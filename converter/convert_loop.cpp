#include "converter/convert_loop.h"

#include <cstdio>

#include "converter/exit_status.h"
#include "converter/line_endings.h"
#include "converter/run_context.h"

namespace {

// Done share of the input, truncated. Sizes are 64-bit; a size that could
// not be had, or one the input has outgrown, shows as 100.
long percent_done(std::int64_t converted, bool size_known, std::int64_t size) {
    if (!size_known || size <= 0 || converted >= size)
        return 100;
    return static_cast<long>(converted * 100 / size);
}

} // namespace

void fail_reading(const char *name) {
    DIAGNOSTIC("error reading input file %s", name);
    quit_run(exit_failure);
}

void fail_writing(const char *name) {
    DIAGNOSTIC("error writing output file %s", name);
    quit_run(exit_failure);
}

void convert_chunks(int type, const char *in_name, const char *out_name, bool size_known, std::int64_t size,
                    bool live) {
    if (!file_seek(run.in_handle, 0, seek_origin::begin))
        fail_reading(in_name);

    std::int64_t converted = 0;
    for (;;) {
        std::uint32_t n = read_chunk(run.in_handle, run.in_buf, run.chunk_len);
        if (n == 0) {
            if (run.read_failed)
                fail_reading(in_name);
            break;
        }
        run.out_count = 0;
        std::uint32_t written;
        if (type == type_dos) {
            // Keep a CR LF pair out of two chunks: a full chunk ending in CR
            // leaves that CR for the next one.
            if (run.in_buf[n - 1] == cr && n == static_cast<std::uint32_t>(run.chunk_len)) {
                --n;
                if (!file_seek(run.in_handle, -1, seek_origin::current))
                    fail_reading(in_name);
            }
            written = dos_to_unix(static_cast<std::int32_t>(n));
        } else {
            written = unix_to_dos(static_cast<std::int32_t>(n));
        }
        if (written != static_cast<std::uint32_t>(run.out_count))
            fail_writing(out_name);

        converted += n;
        std::printf(" %3ld %%\b\b\b\b\b\b", percent_done(converted, size_known, size));
        if (live)
            std::fflush(stdout);
    }
    // Fewer bytes than the input had at the start: it was cut short while
    // being read, and the output matches no state of it.
    if (size_known && converted < size) {
        DIAGNOSTIC("input file %s changed while converting", in_name);
        quit_run(exit_failure);
    }
}
