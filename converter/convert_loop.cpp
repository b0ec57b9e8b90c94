#include "converter/convert_loop.h"

#include <chrono>
#include <cstdio>

#include "converter/diagnostic.h"
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
    FAIL_RUN("error reading input file %s", printable_name(name, false).c_str());
}

void fail_writing(const char *name) {
    FAIL_RUN("error writing output file %s", printable_name(name, false).c_str());
}

namespace {

void show_field(long done, bool live) {
    std::printf(" %3ld %%\b\b\b\b\b\b", done);
    if (live)
        flush_live_output();
}

// The percentage after each chunk. On a terminal each field overwrites the
// last, so one equal to the field shown only costs time (a console draws
// every byte, and a 4 GiB input has tens of thousands of chunks for 101
// values), and so does more than one field in 50 ms (Wine's console takes
// milliseconds a field; bench/ measures it). The
// last value is always shown (show_last). Redirected, every field is kept.
struct percentage_fields {
    bool live;
    long shown = -1, last = -1;
    std::chrono::steady_clock::time_point next = std::chrono::steady_clock::now();
};

void show_percentage(percentage_fields &p, long done) {
    using clock = std::chrono::steady_clock;
    p.last = done;
    if (!p.live) {
        show_field(done, false);
    } else if (done != p.shown && (done == 100 || clock::now() >= p.next)) {
        show_field(done, true);
        p.shown = done;
        p.next = clock::now() + std::chrono::milliseconds(50);
    }
}

void show_last(const percentage_fields &p) {
    if (p.live && p.last != p.shown)
        show_field(p.last, true);
}

// Gives the input's last `bytes` of a full read back to the next read.
void give_back(std::uint32_t &n, std::uint32_t bytes, const char *in_name) {
    n -= bytes;
    if (!file_seek(run.in_handle, -std::int64_t(bytes), seek_origin::current))
        fail_reading(in_name);
}

// How much of a read of `n` bytes is converted now: a UTF-16 unit cut by
// the end of a full read, and in DOS input a CR that ends it (its LF may
// start the next read: the pair must be seen whole), go to the next read.
// The tool's chunks are of an even length; other callers' need not be.
std::uint32_t whole_part(std::uint32_t n, bool full, int type, text_encoding encoding, const char *in_name) {
    if (!full)
        return n;
    const auto unit = static_cast<std::uint32_t>(unit_bytes(encoding));
    if (unit == 2 && n % 2 == 1)
        give_back(n, 1, in_name);
    if (type == type_dos && unit_at(run.in_buf + n - unit, encoding) == cr)
        give_back(n, unit, in_name);
    return n;
}

} // namespace

void convert_chunks(int type, text_encoding encoding, const char *in_name, const char *out_name,
                    const file_state &in_start, const file_state &out_start, bool live) {
    run.encoding = encoding; // which the converters read, as they read the buffers
    if (!file_seek(run.in_handle, 0, seek_origin::begin))
        fail_reading(in_name);

    std::int64_t converted = 0, written_total = 0;
    percentage_fields fields{live};
    for (;;) {
        std::uint32_t n = read_chunk(run.in_handle, run.in_buf, run.chunk_len);
        if (n == 0) {
            if (run.read_failed)
                fail_reading(in_name);
            break;
        }
        run.out_count = 0;
        n = whole_part(n, n == static_cast<std::uint32_t>(run.chunk_len), type, encoding, in_name);
        const auto length = static_cast<std::int32_t>(n);
        const std::uint32_t written = type == type_dos ? dos_to_unix(length) : unix_to_dos(length);
        if (written != static_cast<std::uint32_t>(run.out_count))
            fail_writing(out_name);
        written_total += written;
        converted += n;
        show_percentage(fields, percent_done(converted, in_start.size));
    }
    show_last(fields);
    if (input_changed(in_start, run.in_handle)) {
        FAIL_RUN("input file %s changed while converting", printable_name(in_name, false).c_str());
    }
    if (output_changed(out_start, written_total, run.out_handle)) {
        FAIL_RUN("output file %s changed while converting", printable_name(out_name, false).c_str());
    }
}
