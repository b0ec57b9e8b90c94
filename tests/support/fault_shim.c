// LD_PRELOAD shim for the fault tests: the shipped lfswap runs unchanged,
// while reads of one chosen file misbehave as a failing disk or a file that
// changes under it would. Set by the environment:
//   LFSWAP_FAULT_FILE       the file to watch, as an absolute path without links
//   LFSWAP_FAULT_EIO_AT     reads fail with EIO from this offset on
//   LFSWAP_FAULT_SLOW_MS    every read of it sleeps this long first
//   LFSWAP_FAULT_END_AT     reads see the end here, as in a pseudo-file
//                           whose size says more than it holds
//   LFSWAP_FAULT_RESIZE_AT  the first read at or past this offset first
//   LFSWAP_FAULT_RESIZE_TO  truncates (or extends) the file to this size
//   LFSWAP_FAULT_RESIZE_PATH  ... or that other file instead (as another
//                           program would); without RESIZE_TO it is removed
//   LFSWAP_FAULT_MALLOC_OVER  malloc fails for more bytes than this
//   LFSWAP_FAULT_NO_LOCKS   open-file-description locks are refused (ENOLCK),
//                           as on a file system without them
//   LFSWAP_FAULT_NO_TRUNCATE  emptying the file (ftruncate) fails with EIO
//   LFSWAP_FAULT_MARK       made (again) at every read of the file, so a test
//                           can tell that the shim was loaded at all
//
// The file is recognised by what a descriptor names, not by watching open:
// under Wine the file is opened by wineserver and its descriptor handed to
// the reading process over a socket. Built for both word sizes, so that 32-bit
// Wine loads it too; it is plain C for that reason.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

static int resized = 0;

static long long env_number(const char *name) {
    const char *v = getenv(name);
    return v != NULL && *v != '\0' ? atoll(v) : -1;
}

static void fd_path(int fd, char *path, size_t size) { snprintf(path, size, "/proc/self/fd/%d", fd); }

static int watched(int fd) {
    const char *want = getenv("LFSWAP_FAULT_FILE");
    if (want == NULL)
        return 0;
    char link[64], target[4096];
    fd_path(fd, link, sizeof link);
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n < 0)
        return 0;
    target[n] = '\0';
    return strcmp(target, want) == 0;
}

// What is left of `count` once the fault settings have had their way with a
// read at `at`, or -1 with errno set.
static long long faulty(int fd, long long at, size_t count) {
    const char *mark = getenv("LFSWAP_FAULT_MARK");
    if (mark != NULL) {
        int m = open(mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (m >= 0)
            close(m);
    }
    long long ms = env_number("LFSWAP_FAULT_SLOW_MS");
    if (ms > 0) {
        struct timespec t = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
        nanosleep(&t, NULL);
    }
    long long resize_at = env_number("LFSWAP_FAULT_RESIZE_AT");
    if (!resized && resize_at >= 0 && at >= resize_at) {
        resized = 1;
        char link[64];
        fd_path(fd, link, sizeof link);
        const char *other = getenv("LFSWAP_FAULT_RESIZE_PATH");
        long long to = env_number("LFSWAP_FAULT_RESIZE_TO");
        if (to >= 0 ? truncate64(other != NULL ? other : link, (off64_t)to) != 0 : unlink(other) != 0)
            abort();
    }
    long long end_at = env_number("LFSWAP_FAULT_END_AT");
    if (end_at >= 0 && at + (long long)count > end_at)
        count = at >= end_at ? 0 : (size_t)(end_at - at);
    long long eio_at = env_number("LFSWAP_FAULT_EIO_AT");
    if (eio_at >= 0) {
        if (at >= eio_at) {
            errno = EIO;
            return -1;
        }
        if (at + (long long)count > eio_at)
            return eio_at - at;
    }
    return (long long)count;
}

// The next malloc is the C library's, or a sanitizer's, which must see every
// block. dlsym may allocate while it is looked up: that comes from a small
// arena that is never given back.
void *malloc(size_t size) {
    static void *(*next)(size_t);
    static int resolving;
    static char early[4096] __attribute__((aligned(16)));
    static size_t early_used;
    if (next == NULL) {
        if (resolving) {
            size_t at = early_used;
            early_used += (size + 15) & ~(size_t)15;
            return early_used <= sizeof early ? early + at : NULL;
        }
        resolving = 1;
        next = (void *(*)(size_t))dlsym(RTLD_NEXT, "malloc");
        resolving = 0;
    }
    long long over = env_number("LFSWAP_FAULT_MALLOC_OVER");
    if (over >= 0 && (long long)size > over) {
        errno = ENOMEM;
        return NULL;
    }
    return next(size);
}

ssize_t read(int fd, void *buf, size_t count) {
    static ssize_t (*real)(int, void *, size_t);
    if (real == NULL)
        real = (ssize_t(*)(int, void *, size_t))dlsym(RTLD_NEXT, "read");
    if (watched(fd)) {
        long long left = faulty(fd, (long long)lseek64(fd, 0, SEEK_CUR), count);
        if (left < 0)
            return -1;
        count = (size_t)left;
    }
    return real(fd, buf, count);
}

ssize_t pread64(int fd, void *buf, size_t count, off64_t at) {
    static ssize_t (*real)(int, void *, size_t, off64_t);
    if (real == NULL)
        real = (ssize_t(*)(int, void *, size_t, off64_t))dlsym(RTLD_NEXT, "pread64");
    if (watched(fd)) {
        long long left = faulty(fd, (long long)at, count);
        if (left < 0)
            return -1;
        count = (size_t)left;
    }
    return real(fd, buf, count, at);
}

ssize_t pread(int fd, void *buf, size_t count, off_t at) { return pread64(fd, buf, count, (off64_t)at); }

// fcntl's third argument is an int or a pointer; glibc's own wrapper takes
// it as a pointer either way.
static int shim_fcntl(const char *name, int fd, int cmd, void *arg) {
    static int (*real)(int, int, ...);
    if (real == NULL)
        real = (int (*)(int, int, ...))dlsym(RTLD_NEXT, name);
    if ((cmd == F_OFD_SETLK || cmd == F_OFD_SETLKW) && getenv("LFSWAP_FAULT_NO_LOCKS") != NULL) {
        errno = ENOLCK;
        return -1;
    }
    return real(fd, cmd, arg);
}

#define SHIM_FCNTL(name)                                                                                    \
    int name(int fd, int cmd, ...) {                                                                        \
        va_list ap;                                                                                         \
        va_start(ap, cmd);                                                                                  \
        void *arg = va_arg(ap, void *);                                                                     \
        va_end(ap);                                                                                         \
        return shim_fcntl(#name, fd, cmd, arg);                                                             \
    }
SHIM_FCNTL(fcntl)
SHIM_FCNTL(fcntl64)

int ftruncate64(int fd, off64_t length) {
    static int (*real)(int, off64_t);
    if (real == NULL)
        real = (int (*)(int, off64_t))dlsym(RTLD_NEXT, "ftruncate64");
    if (getenv("LFSWAP_FAULT_NO_TRUNCATE") != NULL && watched(fd)) {
        errno = EIO;
        return -1;
    }
    return real(fd, length);
}

int ftruncate(int fd, off_t length) { return ftruncate64(fd, (off64_t)length); }
