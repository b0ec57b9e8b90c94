// Throughput of every conversion kernel on in-memory chunks of chunk_len
// bytes: typical text and the worst cases.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "converter/kernels.h"
#include "converter/line_endings.h"
#include "converter/self_check.h"

namespace {

constexpr std::size_t chunk = 49440;
// Typical text spans this many different chunks (16 MiB), taken in turn, so
// that the branch predictor cannot learn where the line ends fall: it
// learns a single repeated chunk, and even 32 of them, and the figures then
// say nothing of a real file.
constexpr std::size_t typical_chunks = 340;

std::string typical(const std::string &eol) {
    std::mt19937 rng(7);
    std::string s;
    while (s.size() < typical_chunks * chunk) {
        s.append(rng() % 91, 'x');
        s += eol;
    }
    s.resize(typical_chunks * chunk);
    return s;
}

// The same as UTF-16LE units.
std::string typical16(const std::string &eol) {
    std::string s;
    for (char c : typical(eol))
        s += std::string{c, '\0'};
    s.resize(typical_chunks * chunk);
    return s;
}

std::string repeated(const std::string &unit) {
    std::string s;
    while (s.size() < chunk)
        s += unit;
    s.resize(chunk);
    return s;
}

// One chunk of `in` per call, the chunks in turn, each first copied into
// one buffer as the run's read does (that copy is not timed).
void run_kernel(benchmark::State &state, convert_kernel k, const std::string &in) {
    std::vector<unsigned char> buf(chunk), out(2 * chunk + 64);
    std::size_t at = 0;
    for (auto _ : state) {
        std::memcpy(buf.data(), in.data() + at, chunk);
        at = at + chunk < in.size() ? at + chunk : 0;
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(k(buf.data(), chunk, out.data()));
        benchmark::ClobberMemory();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * chunk));
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
    // The floor: the same chunks copied as they are.
    benchmark::RegisterBenchmark("memcpy/unix_text", run_kernel,
                                 [](const unsigned char *i, std::size_t n, unsigned char *o) -> std::size_t {
                                     std::memcpy(o, i, n);
                                     return n;
                                 },
                                 inputs[0].bytes)->UseManualTime();
    for (const kernel_set *k : all_kernel_sets()) {
        if (!k->supported())
            continue;
        for (const input &in : inputs) {
            benchmark::RegisterBenchmark((std::string(k->name) + "/unix_to_dos/" + in.name).c_str(), run_kernel,
                                         k->unix_to_dos[0], in.bytes)->UseManualTime();
            benchmark::RegisterBenchmark((std::string(k->name) + "/dos_to_unix/" + in.name).c_str(), run_kernel,
                                         k->dos_to_unix[0], in.bytes)->UseManualTime();
        }
        // UTF-16LE: the same typical text in units, and a line end in every unit.
        for (const input &in : {input{"unix_text", typical16("\n")}, input{"dos_text", typical16("\r\n")},
                                input{"all_lf", repeated(std::string("\n\0", 2))},
                                input{"crlf_every_2", repeated(std::string("\r\0\n\0", 4))}}) {
            benchmark::RegisterBenchmark((std::string(k->name) + "/unix_to_dos_utf16/" + in.name).c_str(), run_kernel,
                                         k->unix_to_dos[1], in.bytes)->UseManualTime();
            benchmark::RegisterBenchmark((std::string(k->name) + "/dos_to_unix_utf16/" + in.name).c_str(), run_kernel,
                                         k->dos_to_unix[1], in.bytes)->UseManualTime();
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
