// lfswap input_file output_file [ua]: rewrites a text file with the other
// line-ending convention, UNIX (LF) <-> DOS (CR LF).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "INCLUDE1/GENERICW.h"
#include "converter/banner.h"
#include "converter/exit_status.h"
#include "converter/line_endings.h"
#include "converter/run_context.h"
#include "converter/self_check.h"

namespace {

const char *type_name(int type) { return type == type_dos ? "DOS" : "UNIX"; }

// The forcing word decides by its second character only: -u, /u and xu
// all force UNIX, -d DOS; anything else (-a included) forces nothing.
int forced_type(const char *word, int detected) {
    if (word[0] == '\0')
        return detected;
    switch (word[1]) {
    case 'D': case 'd': return type_dos;
    case 'U': case 'u': return type_unix;
    default: return detected;
    }
}

// Done share of the input, truncated. Sizes are 64-bit; a size that could
// not be had, or one the input has outgrown, shows as 100.
long percent_done(std::int64_t converted, bool size_known, std::int64_t size) {
    if (!size_known || size <= 0 || converted >= size)
        return 100;
    return static_cast<long>(converted * 100 / size);
}

[[noreturn]] void fail_reading(const char *name) {
    std::fprintf(stderr, "\n%s\n%d\nerror reading input file %s\n", __FILE__, __LINE__, name);
    quit_run(exit_failure);
}

[[noreturn]] void fail_writing(const char *name) {
    std::fprintf(stderr, "\n%s\n%d\nerror writing output file %s\n", __FILE__, __LINE__, name);
    quit_run(exit_failure);
}

} // namespace

int main(int argc, char **argv) {
    process_start();
    if (!self_check_passes(argc > 0 ? argv[0] : nullptr)) {
        std::printf("lfswap: the program file failed its integrity check\n");
        std::exit(exit_failure);
    }
    if (argc < 3) {
        show_usage();
        std::exit(exit_usage);
    }
    const char *in_name = argv[1];
    const char *out_name = argv[2];
    const bool live = stdout_is_terminal();

    run.in_handle = open_in_file(in_name, false);
    if (run.in_handle == invalid_handle) {
        // Reported here, before the output is touched: going on would empty
        // an existing output and report success.
        std::fprintf(stderr, "\n%s\n%d\nCan't open input file %s, BYE\n", __FILE__, __LINE__, in_name);
        std::exit(exit_failure);
    }
    run.out_handle = open_out_file(out_name, false);

    // Looked up by the path as typed, after output opening.
    std::int64_t size = 0;
    const bool size_known = file_size_by_path(in_name, &size);

    get_buffers(default_base_size);

    int type = detect_type();
    if (run.read_failed)
        fail_reading(in_name);
    if (argc == 4)
        type = forced_type(argv[3], type);

    std::printf("%s is a %s file ", in_name, type_name(type));
    std::printf("%s will be a %s file\n", out_name, type_name(type == type_dos ? type_unix : type_dos));
    if (live)
        std::fflush(stdout);

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

    file_close(run.in_handle);
    run.in_handle = no_handle;
    // Closing is part of writing: a file system may report a lost write only here.
    const bool closed = file_close(run.out_handle);
    run.out_handle = no_handle;
    if (!closed)
        fail_writing(out_name);
    return exit_done;
}
