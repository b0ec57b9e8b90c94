// Build step: writes the self-check value into a linked lfswap executable.
// Usage: lfswap_stamp FILE. Finds the slot by its marker (exactly once),
// stores the file offset of the stamp and the CRC-32 of the file with the
// stamp read as zero (and, in a Windows executable, without what signing
// changes).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "converter/crc32.h"
#include "converter/self_check.h"

namespace {
void put_le32(unsigned char *p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: lfswap_stamp EXECUTABLE\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary | std::ios::ate);
    std::vector<unsigned char> file(in ? static_cast<std::size_t>(in.tellg()) : 0);
    in.seekg(0);
    if (!in.read(reinterpret_cast<char *>(file.data()), static_cast<std::streamsize>(file.size())) ||
        file.empty()) {
        std::fprintf(stderr, "lfswap_stamp: cannot read %s\n", argv[1]);
        return 1;
    }
    // Signing appends the certificates at a multiple of 8 bytes, padding the
    // file first, and the padding would count in the check: a Windows
    // executable is padded here, before its stamp (the loader never reads
    // past its last section).
    const signing_parts before = signing_parts_of(file.data(), file.size());
    const bool padded = before.checksum_at != 0 && before.certificates_at == 0 && file.size() % 8 != 0;
    if (padded)
        file.resize((file.size() + 7) / 8 * 8, 0);
    const char marker[] = LFSWAP_INTEGRITY_MARKER;
    std::size_t found = 0, count = 0;
    for (std::size_t i = 0; i + sizeof marker <= file.size(); ++i)
        if (std::memcmp(&file[i], marker, sizeof marker) == 0) {
            found = i;
            ++count;
        }
    if (count != 1) {
        std::fprintf(stderr, "lfswap_stamp: %s holds the slot marker %zu times, not once\n", argv[1], count);
        return 1;
    }
    std::size_t at = found + sizeof marker;
    if (at + integrity_stamp_size > file.size() || at > 0xFFFFFFFFu) {
        std::fprintf(stderr, "lfswap_stamp: the slot in %s is cut short\n", argv[1]);
        return 1;
    }
    // As the check reads it: the stamp and what signing changes as zero,
    // the certificates (of a copy signed before) left out.
    std::vector<unsigned char> seen = file;
    std::memset(&seen[at], 0, integrity_stamp_size);
    const signing_parts signing = signing_parts_of(seen.data(), seen.size());
    std::size_t end = seen.size();
    if (signing.certificates_at != 0 && signing.certificates_at < end)
        end = static_cast<std::size_t>(signing.certificates_at);
    if (signing.checksum_at != 0 && signing.checksum_at + 4 <= end)
        std::memset(&seen[signing.checksum_at], 0, 4);
    if (signing.directory_at != 0 && signing.directory_at + 8 <= end)
        std::memset(&seen[signing.directory_at], 0, 8);
    std::uint32_t crc = crc32_update(0, seen.data(), end);
    put_le32(&file[at], static_cast<std::uint32_t>(at));
    put_le32(&file[at + 4], crc);
    std::fstream out(argv[1], std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(at));
    out.write(reinterpret_cast<const char *>(&file[at]), integrity_stamp_size);
    if (padded) {
        out.seekp(0, std::ios::end);
        const std::streamoff now = out.tellp();
        out.write(reinterpret_cast<const char *>(&file[static_cast<std::size_t>(now)]),
                  static_cast<std::streamsize>(file.size() - static_cast<std::size_t>(now)));
    }
    if (!out.flush()) {
        std::fprintf(stderr, "lfswap_stamp: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
