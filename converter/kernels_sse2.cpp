// The SSE2 set: 16-byte vectors; dense hits go through the portable set's
// 8-byte word steps.
#include <emmintrin.h>

#include "converter/kernels_blocks.h"
#include "converter/kernels_swar.h"

namespace {

struct sse2 {
    static constexpr std::size_t width = 16;
    static constexpr unsigned dense_from = 10;
    using reg = __m128i;
    static reg load(const unsigned char *p) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p)); }
    static void store(unsigned char *p, reg v) { _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v); }
    static reg splat(std::uint16_t pattern) { return _mm_set1_epi16(static_cast<short>(pattern)); }
    static unsigned equal(reg v, reg pattern) {
        return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, pattern)));
    }
    static unsigned unit_starts(unsigned m) { return m & (m >> 1) & 0x5555u; }
    static std::size_t first(unsigned m) { return static_cast<std::size_t>(__builtin_ctz(m | 1u << 16)); }
    template <bool ToDos>
    static unsigned char *dense(const unsigned char *b, reg, unsigned, unsigned char *o) {
        return ToDos ? unix_to_dos_word(b + 8, unix_to_dos_word(b, o)) : dos_to_unix_word(b + 8, dos_to_unix_word(b, o));
    }
};

} // namespace

const kernel_set sse2_kernels = make_kernel_set<sse2>("sse2", cpu_has_sse2);
