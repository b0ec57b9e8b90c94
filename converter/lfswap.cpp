// lfswap input_file output_file [ua]: rewrites a text file with the other
// line-ending convention, UNIX (LF) <-> DOS (CR LF).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "INCLUDE1/GENERICW.h"
#include "converter/banner.h"
#include "converter/convert_loop.h"
#include "converter/diagnostic.h"
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

// On a terminal the names are escaped, so that none can drive it. One write
// of the whole line: the MinGW runtime sends a terminal's text out at a
// newline written by printf or on its own, whatever the buffering.
void announce(const char *in_name, const char *out_name, int type) {
    const std::string line = printable_name(in_name, true) + " is a " + type_name(type) + " file " +
                             printable_name(out_name, true) + " will be a " +
                             type_name(type == type_dos ? type_unix : type_dos) + " file\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
}

// The program file first: a damaged copy must not touch any file.
void check_program_file() {
    switch (check_own_file()) {
    case self_check_result::passed: return;
    case self_check_result::failed:
        std::printf("lfswap: the program file failed its integrity check\n");
        std::exit(exit_failure);
    case self_check_result::unreadable:
        std::printf("lfswap: the program file cannot be read for its integrity check\n");
        std::exit(exit_failure);
    }
}

// The words, before anything is opened: too few show the usage; a name the
// system's code page cannot hold, or a word after the output that names a
// file, ends the run.
void check_command_line(int argc, char **argv) {
    if (argc < 3) {
        show_usage();
        std::exit(exit_usage);
    }
    if (int bad = first_inexact_word(argc, argv)) {
        DIAGNOSTIC("%s: this name cannot be written in the system's code page", printable_name(argv[bad], false).c_str());
        std::exit(exit_failure);
    }
    // `lfswap *.txt` in a folder of three files would overwrite the second
    // with the first and read the third as a forcing word, whatever its
    // first character (`-d.txt` sorts last in a UTF-8 locale). The forcing
    // words as people type them (-u, /d) are two characters long.
    for (int i = 3; i < argc; ++i)
        if (std::strlen(argv[i]) > 2 && path_exists(argv[i])) {
            DIAGNOSTIC("%s names a %s: give one input file and one output file",
                       printable_name(argv[i], false).c_str(), path_is_folder(argv[i]) ? "folder" : "file");
            std::exit(exit_usage);
        }
}

// The input opened and its state at the start. Only a regular file is
// read twice from its start (detection, then the conversion) and has an
// end: a folder, a pipe, a terminal or a device such as /dev/zero is
// refused. (A Windows device or pipe tells nothing of itself: not a
// regular file either.)
file_state open_input(const char *in_name) {
    run.in_handle = open_in_file(in_name, false);
    if (run.in_handle == invalid_handle) {
        DIAGNOSTIC("Can't open input file %s, BYE", printable_name(in_name, false).c_str());
        std::exit(exit_failure);
    }
    file_state in_start{};
    if (!file_get_state(run.in_handle, &in_start) || !in_start.regular)
        FAIL_RUN("input file %s is %s", printable_name(in_name, false).c_str(),
                 in_start.folder ? "a folder" : "not a regular file");
    new_files_like(run.in_handle); // a new output keeps the input's mode, as a copy does
    return in_start;
}

// The buffers and the first read: the input's encoding and its type,
// detected or forced by the third word.
int input_type(int argc, char **argv, const char *in_name) {
    get_buffers(default_base_size);
    int type = detect_type();
    if (run.read_failed)
        fail_reading(in_name);
    // Its units are four bytes: converted as bytes or as UTF-16 it would be
    // corrupted.
    if (run.encoding == text_encoding::utf32)
        FAIL_RUN("input file %s is UTF-32 text, which is not converted", printable_name(in_name, false).c_str());
    return argc == 4 ? forced_type(argv[3], type) : type;
}

// Closing is part of writing: a file system may report a lost write only
// when the output is closed.
void close_files(const char *out_name) {
    file_close(run.in_handle);
    run.in_handle = no_handle;
    const bool closed = file_close(run.out_handle);
    run.out_handle = no_handle;
    if (!closed)
        fail_writing(out_name);
}

} // namespace

// Everything that can fail on the input side comes before the output is
// opened, since opening it empties it: the open, the kind of file, the
// buffers and the first read.
int main(int argc, char **argv) {
    process_start();
    check_program_file();
    check_command_line(argc, argv);
    const char *in_name = argv[1];
    const char *out_name = argv[2];
    const bool live = stdout_is_terminal();

    const file_state in_start = open_input(in_name);
    const int type = input_type(argc, argv, in_name);

    run.out_handle = open_out_file(out_name, false);
    file_state out_start{};
    (void)file_get_state(run.out_handle, &out_start); // unknown: not a regular file, left unchecked
    announce(in_name, out_name, type);
    if (live)
        flush_live_output();

    convert_chunks(type, run.encoding, in_name, out_name, in_start, out_start, live);
    close_files(out_name);
    return exit_done;
}
