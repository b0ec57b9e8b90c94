// lfswap input_file output_file [ua]: rewrites a text file with the other
// line-ending convention, UNIX (LF) <-> DOS (CR LF).
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "INCLUDE1/GENERICW.h"
#include "converter/banner.h"
#include "converter/convert_loop.h"
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
        DIAGNOSTIC("Can't open input file %s, BYE", in_name);
        std::exit(exit_failure);
    }
    // The run reads the input twice from its start (detection, then the
    // conversion): a directory or a pipe cannot be, so it is refused before
    // the output is emptied.
    if (!file_rewindable(run.in_handle))
        fail_reading(in_name);
    run.out_handle = open_out_file(out_name, false);

    // From the open file, not its path: the output dialog may have moved
    // the current folder, and the path may name another file by now.
    std::int64_t size = 0;
    const bool size_known = file_size(run.in_handle, &size);

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

    convert_chunks(type, in_name, out_name, size_known, size, live);

    file_close(run.in_handle);
    run.in_handle = no_handle;
    // Closing is part of writing: a file system may report a lost write only here.
    const bool closed = file_close(run.out_handle);
    run.out_handle = no_handle;
    if (!closed)
        fail_writing(out_name);
    return exit_done;
}
