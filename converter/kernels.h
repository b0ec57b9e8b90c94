// The conversion kernels behind unix_to_dos and dos_to_unix, and the one
// place that picks them for this CPU.
#pragma once

#include <cstddef>
#include <span>

// Converts `n` bytes of `in` into `out` and returns the bytes written.
// `out` must hold 2 x n + 64 bytes: vector kernels store whole vectors past
// the end of what they produce. `in` is never read past `n`.
using convert_kernel = std::size_t (*)(const unsigned char *in, std::size_t n, unsigned char *out);

struct kernel_set {
    const char *name;
    bool (*supported)(); // can this CPU run it?
    convert_kernel unix_to_dos; // a CR before every LF
    convert_kernel dos_to_unix; // every CR dropped
};

// Every kernel set built into this executable, the best first; the
// portable one is last and always supported.
std::span<const kernel_set> all_kernel_sets();

// The set the converters use, chosen once from the CPU's features.
const kernel_set &active_kernels();

// The portable kernels: eight bytes a step, no CPU features needed.
std::size_t unix_to_dos_portable(const unsigned char *in, std::size_t n, unsigned char *out);
std::size_t dos_to_unix_portable(const unsigned char *in, std::size_t n, unsigned char *out);

#if LFSWAP_X86_KERNELS
// converter/kernels_x86.cpp: each set's kernels and its CPU test.
namespace x86 {
bool has_avx512_vbmi2();
bool has_avx2();
bool has_sse2();
std::size_t unix_to_dos_avx512(const unsigned char *in, std::size_t n, unsigned char *out);
std::size_t dos_to_unix_avx512(const unsigned char *in, std::size_t n, unsigned char *out);
std::size_t unix_to_dos_avx2(const unsigned char *in, std::size_t n, unsigned char *out);
std::size_t dos_to_unix_avx2(const unsigned char *in, std::size_t n, unsigned char *out);
std::size_t unix_to_dos_sse2(const unsigned char *in, std::size_t n, unsigned char *out);
std::size_t dos_to_unix_sse2(const unsigned char *in, std::size_t n, unsigned char *out);
} // namespace x86
#endif
