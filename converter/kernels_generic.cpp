// Kernel list for CPUs without a vector kernel of ours (the 32-bit Windows
// build among them): the portable kernels alone.
#include "converter/kernels.h"

namespace {
bool always() { return true; }
constexpr kernel_set sets[] = {{"portable", always, unix_to_dos_portable, dos_to_unix_portable}};
} // namespace

std::span<const kernel_set> all_kernel_sets() { return sets; }
