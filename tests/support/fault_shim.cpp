// LD_PRELOAD shim for the fault tests: the shipped lfswap runs unchanged,
// while reads of one chosen file misbehave as a failing disk or a file that
// changes under it would. Set by the environment:
//   LFSWAP_FAULT_FILE       the file to watch (its path as opened)
//   LFSWAP_FAULT_EIO_AT     reads fail with EIO from this offset on
//   LFSWAP_FAULT_SLOW_MS    every read of it sleeps this long first
//   LFSWAP_FAULT_RESIZE_AT  the first read at or past this offset first
//   LFSWAP_FAULT_RESIZE_TO  truncates (or extends) the file to this size
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

int watched_fd = -1;
bool resized = false;

long long env_number(const char *name) {
    const char *v = std::getenv(name);
    return v != nullptr && *v != '\0' ? std::atoll(v) : -1;
}

void note_open(const char *path, int fd) {
    const char *want = std::getenv("LFSWAP_FAULT_FILE");
    if (fd >= 0 && want != nullptr && std::strcmp(path, want) == 0)
        watched_fd = fd;
}

template <typename Fn> Fn next(const char *name) { return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name)); }

} // namespace

extern "C" {

int open(const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = (flags & O_CREAT) ? static_cast<mode_t>(va_arg(ap, int)) : 0;
    va_end(ap);
    static auto real = next<int (*)(const char *, int, ...)>("open");
    int fd = real(path, flags, mode);
    note_open(path, fd);
    return fd;
}

int open64(const char *path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = (flags & O_CREAT) ? static_cast<mode_t>(va_arg(ap, int)) : 0;
    va_end(ap);
    static auto real = next<int (*)(const char *, int, ...)>("open64");
    int fd = real(path, flags, mode);
    note_open(path, fd);
    return fd;
}

int close(int fd) {
    static auto real = next<int (*)(int)>("close");
    if (fd == watched_fd)
        watched_fd = -1;
    return real(fd);
}

ssize_t read(int fd, void *buf, size_t count) {
    static auto real = next<ssize_t (*)(int, void *, size_t)>("read");
    if (fd != watched_fd)
        return real(fd, buf, count);
    if (long long ms = env_number("LFSWAP_FAULT_SLOW_MS"); ms > 0) {
        timespec t{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        nanosleep(&t, nullptr);
    }
    off_t at = lseek(fd, 0, SEEK_CUR);
    long long resize_at = env_number("LFSWAP_FAULT_RESIZE_AT");
    if (!resized && resize_at >= 0 && at >= resize_at) {
        resized = true;
        char path[64];
        std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
        if (truncate(path, static_cast<off_t>(env_number("LFSWAP_FAULT_RESIZE_TO"))) != 0)
            std::abort();
    }
    long long eio_at = env_number("LFSWAP_FAULT_EIO_AT");
    if (eio_at >= 0) {
        if (at >= eio_at) {
            errno = EIO;
            return -1;
        }
        if (static_cast<long long>(at + static_cast<off_t>(count)) > eio_at)
            count = static_cast<size_t>(eio_at - at);
    }
    return real(fd, buf, count);
}

} // extern "C"
