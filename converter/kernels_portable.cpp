#include <bit>
#include <cstdint>
#include <cstring>

#include "converter/kernels.h"
#include "converter/line_endings.h"
#include "converter/kernels_swar.h"

std::size_t unix_to_dos_portable(const unsigned char *in, std::size_t n, unsigned char *out) {
    unsigned char *o = out;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8)
        o = unix_to_dos_word(in + i, o);
    for (; i < n; ++i) {
        if (in[i] == lf)
            *o++ = cr;
        *o++ = in[i];
    }
    return static_cast<std::size_t>(o - out);
}

std::size_t dos_to_unix_portable(const unsigned char *in, std::size_t n, unsigned char *out) {
    unsigned char *o = out;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8)
        o = dos_to_unix_word(in + i, o);
    for (; i < n; ++i) {
        *o = in[i];
        o += in[i] != cr;
    }
    return static_cast<std::size_t>(o - out);
}
