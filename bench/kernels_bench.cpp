// Throughput of every conversion kernel on in-memory chunks of chunk_len
// bytes: typical text and the worst cases.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "converter/kernels.h"
#include "converter/line_endings.h"
#include "converter/self_check.h"

namespace {

constexpr std::size_t chunk = 49440;

std::string typical(const std::string &eol) {
    std::mt19937 rng(7);
    std::string s;
    while (s.size() < chunk) {
        s.append(rng() % 91, 'x');
        s += eol;
    }
    s.resize(chunk);
    return s;
}

std::string repeated(const std::string &unit) {
    std::string s;
    while (s.size() < chunk)
        s += unit;
    s.resize(chunk);
    return s;
}

void run_kernel(benchmark::State &state, convert_kernel k, const std::string &in) {
    std::vector<unsigned char> out(2 * in.size() + 64);
    const auto *p = reinterpret_cast<const unsigned char *>(in.data());
    for (auto _ : state) {
        benchmark::DoNotOptimize(k(p, in.size(), out.data()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}

void register_all() {
    struct input {
        const char *name;
        std::string bytes;
    };
    const input inputs[] = {
        {"unix_text", typical("\n")},   {"dos_text", typical("\r\n")}, {"all_lf", repeated("\n")},
        {"all_cr", repeated("\r")},     {"no_eol", repeated("x")},     {"crlf_every_2", repeated("\r\n")},
    };
    for (const kernel_set &k : all_kernel_sets()) {
        if (!k.supported())
            continue;
        for (const input &in : inputs) {
            benchmark::RegisterBenchmark((std::string(k.name) + "/unix_to_dos/" + in.name).c_str(), run_kernel,
                                         k.unix_to_dos, in.bytes);
            benchmark::RegisterBenchmark((std::string(k.name) + "/dos_to_unix/" + in.name).c_str(), run_kernel,
                                         k.dos_to_unix, in.bytes);
        }
    }
    // What the self-check costs at every start: the whole lfswap executable
    // opened, read and summed.
    benchmark::RegisterBenchmark("self_check/lfswap_executable", [](benchmark::State &state) {
        for (auto _ : state) {
            io_handle h = file_open(LFSWAP_EXE, access_read, share_read | share_write, open_existing, attr_normal);
            std::uint32_t crc = 0;
            benchmark::DoNotOptimize(crc_of_file(h, 0, &crc));
            file_close(h);
        }
    });
}

} // namespace

int main(int argc, char **argv) {
    register_all();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
