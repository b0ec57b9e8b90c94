// The portable set: the block algorithm over a plain 64-bit word.
#include "converter/kernels_blocks.h"
#include "converter/kernels_swar.h"

namespace {
bool always() { return true; }
} // namespace

const kernel_set portable_kernels = make_kernel_set<swar>("portable", always);
