#include "converter/line_endings.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "converter/kernels.h"
#include "converter/run_context.h"

namespace {
constexpr std::size_t detect_window = 2000;
}

text_encoding encoding_of(const unsigned char *bytes, std::size_t n) {
    auto starts = [&](std::initializer_list<unsigned char> mark) {
        return n >= mark.size() && std::equal(mark.begin(), mark.end(), bytes);
    };
    if (starts({0xFF, 0xFE, 0x00, 0x00}) || starts({0x00, 0x00, 0xFE, 0xFF}))
        return text_encoding::utf32;
    if (starts({0xFF, 0xFE}))
        return text_encoding::utf16le;
    if (starts({0xFE, 0xFF}))
        return text_encoding::utf16be;
    return text_encoding::bytes;
}

int detect_type_of(const unsigned char *bytes, std::size_t n, text_encoding encoding) {
    const std::size_t step = unit_bytes(encoding);
    const std::size_t window = n < detect_window ? n : detect_window;
    // A first line longer than the window says nothing inside it: then the
    // rest of what was read is searched too, up to the first pair.
    std::size_t limit = n;
    for (std::size_t i = 0; i + step <= window; i += step)
        if (unit_at(bytes + i, encoding) == lf) {
            limit = window;
            break;
        }
    // The LF of a pair may lie just past the limit, if it was read.
    for (std::size_t i = 0; i < limit && i + 2 * step <= n; i += step)
        if (unit_at(bytes + i, encoding) == cr && unit_at(bytes + i + step, encoding) == lf)
            return type_dos;
    return type_unix;
}

int detect_type() {
    std::uint32_t n = read_chunk(run.in_handle, run.in_buf, run.chunk_len);
    run.encoding = encoding_of(run.in_buf, n);
    return detect_type_of(run.in_buf, n, run.encoding);
}

namespace {

// The kernel for run.encoding converts `length` bytes of run.in_buf into
// run.out_buf, which holds 4 x (chunk_len + 12,000) bytes: more than the
// kernels' 2 x length + 64.
std::uint32_t convert_with(const convert_kernel (&by_text)[kernel_texts], std::int32_t length) {
    const auto n = static_cast<std::size_t>(length);
    LFSWAP_EXPECT(length >= 0 && length <= run.chunk_len && 2 * n + 64 <= run.out_size);
    run.out_count += static_cast<std::int32_t>(by_text[static_cast<int>(run.encoding)](run.in_buf, n, run.out_buf));
    return write_chunk(run.out_handle, run.out_buf, run.out_count);
}

} // namespace

std::uint32_t unix_to_dos(std::int32_t length) { return convert_with(active_kernels().unix_to_dos, length); }

std::uint32_t dos_to_unix(std::int32_t length) { return convert_with(active_kernels().dos_to_unix, length); }
