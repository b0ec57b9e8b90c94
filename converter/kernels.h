// The conversion kernels behind unix_to_dos and dos_to_unix, and the one
// place that picks them for this CPU.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <span>

// What a kernel's caller must ensure, checked in debug and sanitizer builds
// (LFSWAP_CHECKS): a kernel cannot tell, and would write past its room.
#if !defined(NDEBUG) || defined(LFSWAP_CHECKS)
#define LFSWAP_EXPECT(cond) \
    ((cond) ? (void)0 : (std::fprintf(stderr, "%s:%d: %s does not hold\n", __FILE__, __LINE__, #cond), std::abort()))
#else
#define LFSWAP_EXPECT(cond) ((void)0)
#endif

// Converts `n` bytes of `in` into `out` and returns the bytes written.
// `out` must hold 2 x n + 64 bytes: vector kernels store whole vectors past
// the end of what they produce. `in` is never read past `n`, and starts a
// unit: in UTF-16 text, an odd `n` ends in a lone byte, passed as it is.
using convert_kernel = std::size_t (*)(const unsigned char *in, std::size_t n, unsigned char *out);

// One kernel per text, in text_encoding's order: bytes, UTF-16LE units,
// UTF-16BE units.
inline constexpr int kernel_texts = 3;

struct kernel_set {
    const char *name;
    bool (*supported)(); // can this CPU run it?
    convert_kernel unix_to_dos[kernel_texts]; // a CR before every LF
    convert_kernel dos_to_unix[kernel_texts]; // every CR dropped
};

// Every kernel set built into this executable, the fastest first; the
// portable one is last and always supported.
std::span<const kernel_set *const> all_kernel_sets();

// The set the converters use, chosen once from the CPU's features.
const kernel_set &active_kernels();

// Each set lives in its own file, compiled for its own instruction set; it
// holds no code that runs before its CPU test has passed.
extern const kernel_set portable_kernels;
#if LFSWAP_X86_KERNELS
extern const kernel_set sse2_kernels;
// The CPU tests, in converter/kernels.cpp: built for any x86 CPU.
bool cpu_has_sse2();
bool cpu_has_avx2();
bool cpu_has_avx512_vbmi2();
extern const kernel_set avx2_kernels;
extern const kernel_set avx512_kernels;
#endif
