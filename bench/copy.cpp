// The floor a converter is measured against: a plain copy in lfswap's chunk
// size through the same platform layer (on Windows, 49,440-byte ReadFile and
// WriteFile calls). Usage: lfswap_copy FROM TO
#include <cstdio>

#include "platform/platform.h"

int main(int argc, char **argv) {
    process_start();
    if (argc != 3) {
        std::fputs("usage: lfswap_copy FROM TO\n", stderr);
        return 2;
    }
    io_handle in = file_open(argv[1], access_read, share_read, open_existing, attr_normal);
    io_handle out = file_open(argv[2], access_write, share_read, create_always, attr_normal);
    if (in == invalid_handle || out == invalid_handle)
        return 1;
    static unsigned char chunk[49440];
    std::uint32_t got = 0, written = 0;
    while (file_read(in, chunk, sizeof chunk, &got) && got > 0)
        if (!file_write(out, chunk, got, &written))
            return 1;
    return file_close(out) ? 0 : 1;
}
