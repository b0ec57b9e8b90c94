// The executable's check of its own file against damage.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The slot the build stamps into the executable: a marker, then the file
// offset of the 8 stamped bytes and the CRC-32 of the file with those 8
// bytes read as zero. Both values little-endian.
// The marker must stand nowhere else in the executable: keep it a macro
// that only the slot's definition and the stamping tool expand.
#define LFSWAP_INTEGRITY_MARKER "LFSWAP\x1e" "CRC\x1e" "SLOT"
inline constexpr std::size_t integrity_marker_size = 16; // its zero included
inline constexpr std::size_t integrity_stamp_size = 8;

struct integrity_slot {
    char marker[integrity_marker_size];
    unsigned char stamp[integrity_stamp_size];
};

// The CRC-32 of everything `h` reads, with the 8 bytes at `zero_at` taken as
// zero; false when the file cannot be read.
bool crc_of_file(io_handle h, std::uint64_t zero_at, std::uint32_t *crc);

enum class self_check_result { passed, failed, unreadable };

// Whether the running executable matches the value stamped into it;
// `unreadable` when its file cannot be opened for reading (an execute-only
// copy run by another user), which says nothing of its state.
self_check_result check_own_file();
