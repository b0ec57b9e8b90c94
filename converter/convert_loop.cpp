#include "converter/convert_loop.h"

#include <chrono>
#include <cstdio>

#include "converter/exit_status.h"
#include "converter/line_endings.h"
#include "converter/run_context.h"

namespace {

// Done share of the input, truncated. Sizes are 64-bit; an input that
// reports no size (a /proc file), or less than it holds, shows as 100.
long percent_done(std::int64_t converted, std::int64_t size) {
    if (size <= 0 || converted >= size)
        return 100;
    return static_cast<long>(converted * 100 / size);
}

// Any change of size or times between the first read and the last means the
// output matches no single state of the input (a log rotated in place, a
// file appended to). Fewer bytes than the size with nothing else changed is
// a pseudo-file such as a sysfs attribute, which reports 4,096 bytes.
bool input_changed(const file_state &start, io_handle h) {
    file_state now;
    return !file_get_state(h, &now) || now.size != start.size || now.changed[0] != start.changed[0] ||
           now.changed[1] != start.changed[1];
}

// Locks on POSIX are advisory: another program may still cut the output or
// remove it (its folder, even) while it is written.
bool output_changed(const file_state &start, std::int64_t written, io_handle h) {
    file_state now;
    if (!start.regular)
        return false;
    return !file_get_state(h, &now) || now.links == 0 || now.size != start.size + written;
}

} // namespace

void fail_reading(const char *name) {
    DIAGNOSTIC("error reading input file %s", printable_name(name, false).c_str());
    quit_run(exit_failure);
}

void fail_writing(const char *name) {
    DIAGNOSTIC("error writing output file %s", printable_name(name, false).c_str());
    quit_run(exit_failure);
}

namespace {

void show_field(long done, bool live) {
    std::printf(" %3ld %%\b\b\b\b\b\b", done);
    if (live)
        flush_live_output();
}

} // namespace

void convert_chunks(int type, const char *in_name, const char *out_name, const file_state &in_start,
                    const file_state &out_start, bool live) {
    if (!file_seek(run.in_handle, 0, seek_origin::begin))
        fail_reading(in_name);

    std::int64_t converted = 0, written_total = 0;
    using clock = std::chrono::steady_clock;
    long shown = -1, last = -1;
    clock::time_point next_field = clock::now();
    for (;;) {
        std::uint32_t n = read_chunk(run.in_handle, run.in_buf, run.chunk_len);
        if (n == 0) {
            if (run.read_failed)
                fail_reading(in_name);
            break;
        }
        run.out_count = 0;
        const bool full = n == static_cast<std::uint32_t>(run.chunk_len);
        const auto unit = static_cast<std::uint32_t>(unit_bytes(run.encoding));
        // A UTF-16 unit cut by the end of a full read goes to the next one
        // (the tool's chunks are of an even length; other callers' need not be).
        if (unit == 2 && n % 2 == 1 && full) {
            --n;
            if (!file_seek(run.in_handle, -1, seek_origin::current))
                fail_reading(in_name);
        }
        std::uint32_t written;
        if (type == type_dos) {
            // Keep a CR LF pair out of two chunks: a full chunk ending in CR
            // leaves that CR for the next one. In UTF-16 the CR is a unit.
            if (full && unit_at(run.in_buf + n - unit, run.encoding) == cr) {
                n -= unit;
                if (!file_seek(run.in_handle, -std::int64_t(unit), seek_origin::current))
                    fail_reading(in_name);
            }
            written = dos_to_unix(static_cast<std::int32_t>(n));
        } else {
            written = unix_to_dos(static_cast<std::int32_t>(n));
        }
        if (written != static_cast<std::uint32_t>(run.out_count))
            fail_writing(out_name);
        written_total += written;

        converted += n;
        // On a terminal each field overwrites the last, so one equal to the
        // field shown only costs time (a console draws every byte: 86,875
        // fields for 4 GiB, of 101 values), and so does more than one field
        // in 50 ms (Wine's console takes about 3 ms a field). The last value
        // is always shown. Redirected, every field is kept.
        last = percent_done(converted, in_start.size);
        if (!live) {
            show_field(last, false);
        } else if (last != shown && (last == 100 || clock::now() >= next_field)) {
            show_field(last, true);
            shown = last;
            next_field = clock::now() + std::chrono::milliseconds(50);
        }
    }
    if (live && last != shown)
        show_field(last, true);
    if (input_changed(in_start, run.in_handle)) {
        DIAGNOSTIC("input file %s changed while converting", printable_name(in_name, false).c_str());
        quit_run(exit_failure);
    }
    if (output_changed(out_start, written_total, run.out_handle)) {
        DIAGNOSTIC("output file %s changed while converting", printable_name(out_name, false).c_str());
        quit_run(exit_failure);
    }
}
