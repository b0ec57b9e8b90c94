// Writes a text file for the benchmark: lines of 0..120 bytes (mean about
// 45, like source code and prose), ending in LF or in CR LF.
// Usage: gen_text FILE MIB unix|dos
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: gen_text FILE MIB unix|dos\n");
        return 2;
    }
    const std::size_t size = std::strtoull(argv[2], nullptr, 10) << 20;
    const std::string eol = std::strcmp(argv[3], "dos") == 0 ? "\r\n" : "\n";
    std::FILE *f = std::fopen(argv[1], "wb");
    if (f == nullptr)
        return 1;
    std::mt19937 rng(42);
    // Mostly short and middling lines, a few long ones: mean about 45.
    std::discrete_distribution<int> band({10, 50, 30, 10});
    const int lo[] = {0, 20, 50, 90}, hi[] = {20, 50, 90, 121};
    std::string text;
    text.reserve(size + 200);
    while (text.size() < size) {
        int b = band(rng);
        int len = lo[b] + static_cast<int>(rng() % static_cast<unsigned>(hi[b] - lo[b]));
        for (int i = 0; i < len; ++i)
            text += static_cast<char>(i % 6 == 5 ? ' ' : 'a' + static_cast<int>(rng() % 26));
        text += eol;
    }
    text.resize(size);
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    return std::fclose(f) == 0 && ok ? 0 : 1;
}
