// The SSE2 set: 16-byte vectors; dense hits go through the portable set's
// 8-byte word steps.
#include "converter/kernels_blocks.h"
#include "converter/kernels_swar.h"
#include "converter/kernels_x86.h"

namespace {

struct sse2 {
    LFSWAP_X86_VECTOR(_mm, 128, std::uint32_t)
    static constexpr unsigned dense_from = 10;
    static std::size_t first(mask m) { return static_cast<unsigned>(__builtin_ctz(m | 1u << 16)); }
    template <bool ToDos>
    static unsigned char *dense(const unsigned char *b, reg, mask, unsigned char *o) {
        return convert_word<ToDos>(b + 8, convert_word<ToDos>(b, o));
    }
};

} // namespace

const kernel_set sse2_kernels = make_kernel_set<sse2>("sse2", cpu_has_sse2);
