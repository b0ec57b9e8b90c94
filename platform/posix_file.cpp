// POSIX backend, files: opening with Windows-style share modes, reads,
// writes, seeks, sizes.
#include "platform.h"

#include <cerrno>
#include <initializer_list>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Handles are descriptor + 1, so that descriptor 0 is never "no handle".
int fd_of(io_handle h) { return static_cast<int>(static_cast<std::intptr_t>(h)) - 1; }
io_handle handle_of(int fd) { return static_cast<io_handle>(static_cast<std::intptr_t>(fd) + 1); }
bool is_open_handle(io_handle h) { return h != no_handle && h != invalid_handle && fd_of(h) >= 0; }

// Share modes. Windows refuses an open whose access another holder does not
// share, or whose sharing does not allow another holder's access. Here that
// is an open-file-description lock taken on the whole file: a writer holds a
// write lock, a reader that does not share writing holds a read lock. OFD
// locks conflict between two opens in this process too, which is what makes
// `lfswap a.txt a.txt` fail. They are advisory: a program that takes no
// lock (a shell's >>) is not kept out. Where a file system refuses such
// locks the same rule is kept in a table of this process's opens.
struct held_file {
    dev_t dev;
    ino_t ino;
    int fd;
    std::uint32_t access;
    std::uint32_t share;
};
constexpr int max_held = 16;
held_file held[max_held];
int held_count = 0;

bool conflicts(std::uint32_t access_a, std::uint32_t share_a, std::uint32_t access_b,
               std::uint32_t share_b) {
    auto refused = [](std::uint32_t access, std::uint32_t share) {
        return ((access & access_write) && !(share & share_write)) ||
               ((access & access_read) && !(share & share_read));
    };
    return refused(access_a, share_b) || refused(access_b, share_a);
}

// Returns 0 when the open may go on, or an errno value.
int take_share(int fd, std::uint32_t access, std::uint32_t share) {
    short type;
    if (access & access_write)
        type = F_WRLCK;
    else if (!(share & share_write))
        type = F_RDLCK;
    else
        type = F_UNLCK; // a reader that lets others write holds nothing
    struct stat st;
    if (fstat(fd, &st) != 0)
        return errno;
    // Only regular files get locks; devices such as /dev/null are shared freely.
    if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return 0;

    if (type != F_UNLCK) {
        struct flock lk {};
        lk.l_type = type;
        lk.l_whence = SEEK_SET;
        if (fcntl(fd, F_OFD_SETLK, &lk) == 0)
            return 0;
        if (errno == EAGAIN || errno == EACCES)
            return EBUSY;
        if (S_ISDIR(st.st_mode))
            return 0; // a directory only ever opens for reading; nothing to guard
    }
    for (int i = 0; i < held_count; ++i)
        if (held[i].dev == st.st_dev && held[i].ino == st.st_ino &&
            conflicts(held[i].access, held[i].share, access, share))
            return EBUSY;
    if (held_count == max_held)
        return EMFILE;
    held[held_count++] = {st.st_dev, st.st_ino, fd, access, share};
    return 0;
}

void drop_share(int fd) {
    for (int i = 0; i < held_count; ++i)
        if (held[i].fd == fd) {
            held[i] = held[--held_count];
            return;
        }
}

int close_released(int fd) {
    // close(2) is not retried on EINTR: on Linux the descriptor is gone then.
    drop_share(fd);
    return close(fd);
}

// True when `fd` is the file or pipe that standard output or standard error
// writes to. A terminal or a device such as /dev/null may well be both.
bool is_own_stream(int fd) {
    struct stat st, std_st;
    if (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode)))
        return false;
    for (int std_fd : {STDOUT_FILENO, STDERR_FILENO})
        if (fstat(std_fd, &std_st) == 0 && std_st.st_dev == st.st_dev && std_st.st_ino == st.st_ino)
            return true;
    return false;
}

mode_t creation_mode = 0666;

} // namespace

void new_files_like(io_handle h) {
    struct stat st;
    if (is_open_handle(h) && fstat(fd_of(h), &st) == 0)
        creation_mode = st.st_mode & 0777; // never set-id or sticky bits
}

io_handle file_open(const char *path, std::uint32_t access, std::uint32_t share,
                      std::uint32_t disposition, std::uint32_t /*attributes*/) {
    if (path == nullptr)
        return invalid_handle;
    // A file opened for writing is opened write-only, even when read access
    // is asked too: the tool never reads its output, a write-only file (mode
    // 222) can then be the output, and a FIFO whose reader goes away gives
    // EPIPE instead of a write that blocks for ever on a read end held here.
    // The share rules still see the access asked for.
    // Writes always go to the file's end (O_APPEND): if another program cuts
    // the file while it is written, its size then shows it, instead of a
    // hole of zeros in front of the rest. No open waits: a FIFO with no
    // writer, or no reader, would otherwise hold the run in open(2) for
    // ever, with no word said. Without a reader the write open fails
    // (ENXIO), a failed try like any other; the flag is dropped once open.
    int flags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    flags |= (access & access_write) ? O_WRONLY | O_APPEND : O_RDONLY;
    switch (disposition) {
    case create_new: flags |= O_CREAT | O_EXCL; break;
    // Never O_TRUNC: the file is emptied only once the share lock is held,
    // so a refused open leaves it as it was.
    case create_always: flags |= O_CREAT; break;
    case open_existing: break;
    default: return invalid_handle;
    }
    int fd;
    do
        fd = open(path, flags, creation_mode);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return invalid_handle;
    if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        close(fd);
        return invalid_handle;
    }
    // Either way round the tool would write into a file it reads or
    // writes: its messages into the output, or into the input (`>> in.txt`
    // appends the percentages to it; `1<> in.txt` overwrites its start).
    if (is_own_stream(fd)) {
        close(fd);
        return invalid_handle;
    }
    if (take_share(fd, access, share) != 0) {
        close_released(fd);
        return invalid_handle;
    }
    if (disposition == create_always) {
        struct stat st;
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size != 0 && ftruncate(fd, 0) != 0) {
            close_released(fd);
            return invalid_handle;
        }
    }
    return handle_of(fd);
}

bool file_read(io_handle h, void *buffer, std::uint32_t length, std::uint32_t *got) {
    *got = 0;
    if (!is_open_handle(h))
        return false;
    // Fill the request as a disk read on Windows does: short only at the end.
    auto *p = static_cast<unsigned char *>(buffer);
    while (*got < length) {
        ssize_t n = read(fd_of(h), p + *got, length - *got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            // Hand back what arrived; the next call meets the error again.
            return *got != 0;
        }
        if (n == 0)
            break;
        *got += static_cast<std::uint32_t>(n);
    }
    return true;
}

bool file_write(io_handle h, const void *buffer, std::uint32_t length,
                std::uint32_t *written) {
    *written = 0;
    if (!is_open_handle(h))
        return false;
    auto *p = static_cast<const unsigned char *>(buffer);
    while (*written < length) {
        ssize_t n = write(fd_of(h), p + *written, length - *written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        *written += static_cast<std::uint32_t>(n);
    }
    return true;
}

bool file_seek(io_handle h, std::int64_t offset, seek_origin origin) {
    if (!is_open_handle(h))
        return false;
    int whence = origin == seek_origin::begin ? SEEK_SET
                 : origin == seek_origin::current ? SEEK_CUR
                                                  : SEEK_END;
    return lseek(fd_of(h), static_cast<off_t>(offset), whence) >= 0;
}

bool file_close(io_handle h) {
    if (!is_open_handle(h))
        return false;
    return close_released(fd_of(h)) == 0;
}

bool file_get_state(io_handle h, file_state *state) {
    struct stat st;
    if (!is_open_handle(h) || fstat(fd_of(h), &st) != 0)
        return false;
    auto ns = [](const timespec &t) { return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; };
    *state = {static_cast<std::int64_t>(st.st_size), static_cast<std::int64_t>(st.st_nlink),
              {ns(st.st_mtim), ns(st.st_ctim)}, S_ISREG(st.st_mode), S_ISDIR(st.st_mode)};
    return true;
}

bool path_exists(const char *path) {
    struct stat st;
    return path != nullptr && stat(path, &st) == 0;
}

bool path_is_folder(const char *path) {
    struct stat st;
    return path != nullptr && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}
