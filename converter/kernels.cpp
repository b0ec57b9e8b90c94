// The one list of kernel sets built into this executable, and the one
// place that picks among them for the CPU it runs on.
#include "converter/kernels.h"

namespace {

bool always() { return true; }

// The best first; the portable set last, since every CPU can run it.
constexpr kernel_set sets[] = {
#if LFSWAP_X86_KERNELS
    {"avx512vbmi2", x86::has_avx512_vbmi2, x86::unix_to_dos_avx512, x86::dos_to_unix_avx512},
    {"avx2", x86::has_avx2, x86::unix_to_dos_avx2, x86::dos_to_unix_avx2},
    {"sse2", x86::has_sse2, x86::unix_to_dos_sse2, x86::dos_to_unix_sse2},
#endif
    {"portable", always, unix_to_dos_portable, dos_to_unix_portable},
};

} // namespace

std::span<const kernel_set> all_kernel_sets() { return sets; }

const kernel_set &active_kernels() {
    static const kernel_set &chosen = []() -> const kernel_set & {
        for (const kernel_set &k : sets)
            if (k.supported())
                return k;
        return sets[std::size(sets) - 1];
    }();
    return chosen;
}
