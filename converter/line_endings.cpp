#include "converter/line_endings.h"

#include <cstring>

#include "converter/kernels.h"
#include "converter/run_context.h"

namespace {
constexpr std::size_t detect_window = 2000;
}

int detect_type_of(const unsigned char *bytes, std::size_t n) {
    std::size_t window = n < detect_window ? n : detect_window;
    // A first line longer than the window says nothing inside it: then the
    // rest of what was read is searched too, up to the first pair.
    std::size_t limit = std::memchr(bytes, lf, window) == nullptr ? n : window;
    // The LF of a pair may lie just past the limit, if it was read.
    for (std::size_t i = 0; i < limit; ++i)
        if (bytes[i] == cr && i + 1 < n && bytes[i + 1] == lf)
            return type_dos;
    return type_unix;
}

int detect_type() {
    std::uint32_t n = read_chunk(run.in_handle, run.in_buf, run.chunk_len);
    return detect_type_of(run.in_buf, n);
}

// out_buf holds 4 x (chunk_len + 12,000) bytes: more than the kernels'
// 2 x length + 64.
std::uint32_t unix_to_dos(std::int32_t length) {
    run.out_count += static_cast<std::int32_t>(
        active_kernels().unix_to_dos(run.in_buf, static_cast<std::size_t>(length), run.out_buf));
    return write_chunk(run.out_handle, run.out_buf, run.out_count);
}

std::uint32_t dos_to_unix(std::int32_t length) {
    run.out_count += static_cast<std::int32_t>(
        active_kernels().dos_to_unix(run.in_buf, static_cast<std::size_t>(length), run.out_buf));
    return write_chunk(run.out_handle, run.out_buf, run.out_count);
}
