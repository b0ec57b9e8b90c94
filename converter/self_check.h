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

// What signing a Windows executable changes, which the check leaves out as
// the Authenticode hash does: the PE checksum (4 bytes), the certificate
// table's directory entry (8 bytes), and the certificates, from their start
// to the end of the file. Found in the file's first bytes (`head`); every
// offset 0 when the file is no PE image (an ELF executable) or unsigned.
struct signing_parts {
    std::uint64_t checksum_at = 0, directory_at = 0, certificates_at = 0;
};
inline signing_parts signing_parts_of(const unsigned char *head, std::size_t length) {
    auto u16 = [&](std::size_t at) { return at + 2 <= length ? unsigned(head[at] | head[at + 1] << 8) : 0u; };
    auto u32 = [&](std::size_t at) {
        return at + 4 <= length ? std::uint32_t(u16(at)) | std::uint32_t(u16(at + 2)) << 16 : 0u;
    };
    signing_parts parts;
    if (u16(0) != 0x5A4D) // "MZ"
        return parts;
    const std::size_t pe = u32(0x3C), optional = pe + 24;
    const unsigned magic = u16(optional);
    if (u32(pe) != 0x4550 || (magic != 0x10B && magic != 0x20B)) // "PE\0\0"; PE32, PE32+
        return parts;
    const std::size_t directories = optional + (magic == 0x10B ? 96 : 112);
    parts.checksum_at = optional + 64;
    if (u32(directories - 4) > 4 && directories + 40 <= length) { // the certificate table is entry 4
        parts.directory_at = directories + 32;
        parts.certificates_at = u32(parts.directory_at);
    }
    return parts;
}

// The CRC-32 of everything `h` reads, with the 8 bytes at `zero_at` and
// what signing changes taken as zero and the certificates left out; false
// when the file cannot be read.
bool crc_of_file(io_handle h, std::uint64_t zero_at, std::uint32_t *crc);

enum class self_check_result { passed, failed, unreadable };

// Whether the running executable matches the value stamped into it;
// `unreadable` when its file cannot be opened for reading (an execute-only
// copy run by another user), which says nothing of its state.
self_check_result check_own_file();
