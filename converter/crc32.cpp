#include "converter/crc32.h"

#include <array>

namespace {

// Slicing by 8: eight bytes a step, so that checking the whole executable at
// every start costs next to nothing.
using crc_tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr crc_tables make_tables() {
    crc_tables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        t[0][i] = c;
    }
    for (std::size_t s = 1; s < 8; ++s)
        for (std::size_t i = 0; i < 256; ++i)
            t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    return t;
}

constexpr crc_tables tables = make_tables();

} // namespace

std::uint32_t crc32_update(std::uint32_t crc, const void *bytes, std::size_t n) {
    const auto *p = static_cast<const unsigned char *>(bytes);
    crc = ~crc;
    while (n >= 8) {
        std::uint32_t lo = crc ^ (std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 |
                                  std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24);
        crc = tables[7][lo & 0xFF] ^ tables[6][(lo >> 8) & 0xFF] ^ tables[5][(lo >> 16) & 0xFF] ^
              tables[4][lo >> 24] ^ tables[3][p[4]] ^ tables[2][p[5]] ^ tables[1][p[6]] ^
              tables[0][p[7]];
        p += 8;
        n -= 8;
    }
    while (n-- > 0)
        crc = tables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
