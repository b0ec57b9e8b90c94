#include "converter/run_context.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "converter/diagnostic.h"
#include "converter/exit_status.h"

run_context run;

// On the stack, not the heap: the report of memory that ran out comes here too.
void write_diagnostic(const char *source, int line, const char *format, ...) {
    std::fflush(stdout);
    char text[8192];
    const int head = std::snprintf(text, sizeof text, "\n%s\n%d\n", source, line);
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    const int message = std::vsnprintf(text + head, sizeof text - head, format, args);
    if (message >= 0 && head + message + 1 < int(sizeof text)) {
        text[head + message] = '\n';
        std::fwrite(text, 1, static_cast<std::size_t>(head + message + 1), stderr);
    } else { // longer than any real report: in pieces
        std::fwrite(text, 1, static_cast<std::size_t>(head), stderr);
        std::vfprintf(stderr, format, again);
        std::fputc('\n', stderr);
    }
    va_end(again);
    va_end(args);
    std::fflush(stderr);
}

void *(*buffer_alloc)(std::size_t) = std::malloc;

namespace {
constexpr std::int32_t base_step = 6000;
constexpr std::int32_t chunk_reserve = 12000;
constexpr std::int32_t min_chunk_len = 1440;
} // namespace

void get_buffers(std::int32_t base_size) {
    for (std::int32_t n = base_size;; n -= base_step) {
        run.chunk_len = n - chunk_reserve;
        if (run.chunk_len < min_chunk_len) {
            FAIL_RUN("not enough memory for buffers");
        }
        run.in_buf = static_cast<unsigned char *>(buffer_alloc(4 * std::size_t(run.chunk_len)));
        if (run.in_buf == nullptr)
            continue;
        run.out_size = 4 * std::size_t(n);
        run.out_buf = static_cast<unsigned char *>(buffer_alloc(run.out_size));
        if (run.out_buf == nullptr) {
            std::free(run.in_buf);
            run.in_buf = nullptr;
            continue;
        }
        return;
    }
}

std::uint32_t read_chunk(io_handle handle, unsigned char *buffer, std::int32_t length) {
    std::uint32_t got = 0;
    if (!file_read(handle, buffer, static_cast<std::uint32_t>(length), &got)) {
        run.read_failed = true;
        return 0;
    }
    return got;
}

std::uint32_t write_chunk(io_handle handle, const unsigned char *buffer, std::int32_t length) {
    std::uint32_t written = 0;
    if (!file_write(handle, buffer, static_cast<std::uint32_t>(length), &written))
        return 0;
    return written;
}

void quit_run(int status) {
    if (run.in_handle != no_handle)
        file_close(run.in_handle);
    if (run.out_handle != no_handle)
        file_close(run.out_handle);
    std::exit(status);
}
