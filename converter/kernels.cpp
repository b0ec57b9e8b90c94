// The one list of kernel sets built into this executable, and the one
// place that picks among them for the CPU it runs on.
#include "converter/kernels.h"

namespace {

// Fastest first, as measured on whole runs (bench/run.sh), not by the age
// of the instruction set. In 32-bit code AVX-512 is no faster than AVX2 on
// UNIX input and slower on DOS input, whose vpcompressb takes a 64-bit mask
// built from two 32-bit halves, so AVX2 comes first there.
// LFSWAP_KERNEL_SET names one set instead: the bench's executables, one per
// set, time each set's whole run on any CPU that has it (the tool reads no
// setting that could choose one). The portable set stays as the fallback.
constexpr const kernel_set *sets[] = {
#if defined(LFSWAP_KERNEL_SET)
    &LFSWAP_KERNEL_SET,
#elif LFSWAP_X86_KERNELS && defined(__x86_64__)
    &avx512_kernels,
    &avx2_kernels,
    &sse2_kernels,
#elif LFSWAP_X86_KERNELS
    &avx2_kernels,
    &avx512_kernels,
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
