// CRC-32 (the zlib / IEEE 802.3 one), for the executable's self-check.
#pragma once

#include <cstddef>
#include <cstdint>

// Continues `crc` (0 to start) over `n` bytes.
std::uint32_t crc32_update(std::uint32_t crc, const void *bytes, std::size_t n);
