// The one record of the run: its files, its chunk buffers and its counters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

// How the input's text is stored: bytes, or UTF-16 of either byte order
// (told by its byte-order mark), whose 2-byte units are converted as units.
// UTF-32 is recognised only to be refused. The kernel tables follow this
// order.
enum class text_encoding { bytes, utf16le, utf16be, utf32 };

struct run_context {
    io_handle in_handle;
    io_handle out_handle;
    unsigned char *in_buf;
    unsigned char *out_buf;
    std::int32_t chunk_len; // bytes asked for by every read
    std::size_t out_size;   // bytes out_buf holds
    std::int32_t out_count; // bytes placed in out_buf for the current chunk
    // Set by read_chunk when a read failed, as opposed to reaching the end:
    // both return 0, and only the driver needs to tell them apart.
    bool read_failed;
    text_encoding encoding; // set by detection
};

extern run_context run;

// Where get_buffers takes memory from; tests put a failing one here.
extern void *(*buffer_alloc)(std::size_t);

inline constexpr std::int32_t default_base_size = 61440; // 0xF000

// Takes in_buf (4 x chunk_len) and out_buf (4 x N) for base size N, with
// chunk_len = N - 12,000, shrinking N by 6,000 while memory is short. Ends
// the process when not even a chunk of 1,440 bytes can be had.
void get_buffers(std::int32_t base_size);

// Bytes read (0 at end of file and on failure; see run.read_failed).
std::uint32_t read_chunk(io_handle handle, unsigned char *buffer, std::int32_t length);

// Bytes written; less than `length` means the write failed.
std::uint32_t write_chunk(io_handle handle, const unsigned char *buffer, std::int32_t length);

// Closes whichever of the run's files are set, then ends the process.
[[noreturn]] void quit_run(int status);
