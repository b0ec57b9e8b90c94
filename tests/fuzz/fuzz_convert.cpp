// libFuzzer target: detection, every kernel and the run's chunk loop against
// a naive reference. The first input byte picks the forcing word and the
// chunk length (down to 2 bytes, so CR LF pairs straddle chunk edges); the
// rest is the file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "converter/convert_loop.h"
#include "converter/kernels.h"
#include "converter/line_endings.h"
#include "converter/run_context.h"
#include "tests/support/reference.h"

namespace {

[[noreturn]] void mismatch(const char *what) {
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

std::string naive(const std::string &in, int type, text_encoding e = text_encoding::bytes) {
    return converted(in, type != type_dos, e == text_encoding::bytes ? 1 : 2, e == text_encoding::utf16be);
}

std::string in_path, out_path;

void check_kernels(const std::string &in) {
    const auto *p = reinterpret_cast<const unsigned char *>(in.data());
    std::vector<unsigned char> out(2 * in.size() + 64);
    for (const kernel_set *k : all_kernel_sets()) {
        if (!k->supported())
            continue;
        for (text_encoding e : {text_encoding::bytes, text_encoding::utf16le, text_encoding::utf16be}) {
            const int text = static_cast<int>(e);
            std::size_t n = k->dos_to_unix[text](p, in.size(), out.data());
            if (std::string(out.begin(), out.begin() + static_cast<long>(n)) != naive(in, type_dos, e))
                mismatch(k->name);
            n = k->unix_to_dos[text](p, in.size(), out.data());
            if (std::string(out.begin(), out.begin() + static_cast<long>(n)) != naive(in, type_unix, e))
                mismatch(k->name);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    get_buffers(default_base_size);
    std::string base = "/dev/shm/lfswap-fuzz-" + std::to_string(getpid());
    in_path = base + ".in";
    out_path = base + ".out";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size == 0)
        return 0;
    const unsigned control = data[0];
    const std::string in(reinterpret_cast<const char *>(data + 1), size - 1);
    check_kernels(in);

    // The whole run, through real files: detection, forcing, the chunk loop.
    if (std::FILE *f = std::fopen(in_path.c_str(), "wb")) {
        std::fwrite(in.data(), 1, in.size(), f);
        std::fclose(f);
    }
    run.in_handle = file_open(in_path.c_str(), access_read, share_read, open_existing, attr_normal);
    run.out_handle = file_open(out_path.c_str(), access_read | access_write, share_read, create_always, attr_normal);
    if (run.in_handle == invalid_handle || run.out_handle == invalid_handle)
        mismatch("cannot open the scratch files");
    static const std::int32_t lengths[] = {2, 3, 4, 7, 8, 15, 16, 31, 33, 63, 64, 65, 1440, 49440};
    const std::int32_t saved_len = run.chunk_len;
    run.chunk_len = lengths[control % std::size(lengths)];
    int type = detect_type();
    const std::string first = in.substr(0, static_cast<std::size_t>(run.chunk_len));
    if (run.encoding == text_encoding::utf32) { // refused by the driver
        file_close(run.in_handle);
        file_close(run.out_handle);
        run.in_handle = run.out_handle = no_handle;
        run.chunk_len = saved_len;
        return 0;
    }
    const bool utf16 = run.encoding == text_encoding::utf16le || run.encoding == text_encoding::utf16be;
    if (type != detected_type(first, utf16 ? 2 : 1, run.encoding == text_encoding::utf16be))
        mismatch("detection");
    if (utf16 && run.chunk_len < 4)
        run.chunk_len = 4; // a unit carried and a CR unit left would leave nothing
    if (control / 16 % 3 == 1)
        type = type_unix;
    else if (control / 16 % 3 == 2)
        type = type_dos;
    file_state in_start, out_start;
    if (!file_get_state(run.in_handle, &in_start) || !file_get_state(run.out_handle, &out_start))
        mismatch("cannot take the scratch files' state");
    convert_chunks(type, run.encoding, "in", "out", in_start, out_start, false);
    file_close(run.in_handle);
    file_close(run.out_handle);
    run.in_handle = run.out_handle = no_handle;
    run.chunk_len = saved_len;

    std::string got;
    if (std::FILE *f = std::fopen(out_path.c_str(), "rb")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
            got.append(buf, n);
        std::fclose(f);
    }
    if (got != naive(in, type, run.encoding))
        mismatch("the chunk loop differs from converting the whole input at once");
    return 0;
}
