#include "converter/self_check.h"

#include <cstring>

#include "converter/crc32.h"

// A CRC guards against a damaged or truncated file, not against someone who
// means harm: whoever can change the file can change the stamp as well.

// volatile: the stamp is written into the file after linking, so the
// compiler must not fold the zeros it sees here into the code.
extern "C" const volatile integrity_slot lfswap_integrity_slot;
extern "C" const volatile integrity_slot lfswap_integrity_slot = {LFSWAP_INTEGRITY_MARKER, {}};

namespace {

std::uint32_t slot_value(std::size_t at) {
    const volatile unsigned char *p = lfswap_integrity_slot.stamp + at;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

unsigned char file_buffer[1 << 16];

} // namespace

bool crc_of_file(io_handle h, std::uint64_t zero_at, std::uint32_t *crc) {
    std::uint32_t c = 0;
    std::uint64_t pos = 0;
    signing_parts signing;
    for (;;) {
        std::uint32_t got = 0;
        if (!file_read(h, file_buffer, sizeof file_buffer, &got))
            return false;
        if (got == 0)
            break;
        if (pos == 0)
            signing = signing_parts_of(file_buffer, got);
        if (signing.certificates_at != 0 && pos + got > signing.certificates_at)
            got = signing.certificates_at > pos ? std::uint32_t(signing.certificates_at - pos) : 0;
        // Blank whatever part of the blanked bytes this block holds.
        auto blank = [&](std::uint64_t from, std::size_t count) {
            for (std::uint64_t i = from; from != 0 && i < from + count; ++i)
                if (i >= pos && i < pos + got)
                    file_buffer[i - pos] = 0;
        };
        blank(zero_at, integrity_stamp_size);
        blank(signing.checksum_at, 4);
        blank(signing.directory_at, 8);
        c = crc32_update(c, file_buffer, got);
        pos += got;
        if (signing.certificates_at != 0 && pos >= signing.certificates_at)
            break;
    }
    *crc = c;
    return true;
}

self_check_result check_own_file() {
    static_assert(sizeof LFSWAP_INTEGRITY_MARKER == integrity_marker_size);
    std::uint32_t zero_at = slot_value(0);
    std::uint32_t expected = slot_value(4);
    if (zero_at == 0)
        return self_check_result::failed; // never stamped
    io_handle h = open_own_executable();
    if (h == invalid_handle)
        return self_check_result::unreadable;
    std::uint32_t actual = 0;
    bool read = crc_of_file(h, zero_at, &actual);
    file_close(h);
    if (!read)
        return self_check_result::unreadable;
    return actual == expected ? self_check_result::passed : self_check_result::failed;
}
