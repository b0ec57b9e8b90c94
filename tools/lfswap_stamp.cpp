// Build step: writes the self-check value into a linked lfswap executable.
// Usage: lfswap_stamp FILE. Finds the slot by its marker (exactly once),
// stores the file offset of the stamp and the CRC-32 of the file with the
// stamp read as zero.
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
    std::memset(&file[at], 0, integrity_stamp_size);
    std::uint32_t crc = crc32_update(0, file.data(), file.size());
    put_le32(&file[at], static_cast<std::uint32_t>(at));
    put_le32(&file[at + 4], crc);
    std::fstream out(argv[1], std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(at));
    out.write(reinterpret_cast<const char *>(&file[at]), integrity_stamp_size);
    if (!out.flush()) {
        std::fprintf(stderr, "lfswap_stamp: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
