// The one list of kernel sets built into this executable, and the one
// place that picks among them for the CPU it runs on.
#include "converter/kernels.h"

namespace {

constexpr const kernel_set *sets[] = {
#if LFSWAP_X86_KERNELS
    &avx512_kernels,
    &avx2_kernels,
    &sse2_kernels,
#endif
    &portable_kernels,
};

} // namespace

#if LFSWAP_X86_KERNELS
// Every feature a set's files are compiled for is tested.
bool cpu_has_sse2() { return __builtin_cpu_supports("sse2"); }
bool cpu_has_avx2() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("popcnt");
}
bool cpu_has_avx512_vbmi2() {
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi2") &&
           __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
}
#endif

std::span<const kernel_set *const> all_kernel_sets() { return sets; }

const kernel_set &active_kernels() {
    static const kernel_set &chosen = []() -> const kernel_set & {
        for (const kernel_set *k : sets)
            if (k->supported())
                return *k;
        return portable_kernels;
    }();
    return chosen;
}
