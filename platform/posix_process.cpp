// POSIX backend, the process: its start (standard streams, signals that
// must not end a conversion), its end by an interrupt, its command line,
// and the executable's own file.
#include "platform.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

void process_start() {
    // Started with 0, 1 or 2 closed (`<&- >&-`), the next open would take
    // that number: the input would be read as the keyboard, the announcement
    // written into the output. /dev/null fills each gap, lowest first.
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        int null_fd = open("/dev/null", O_RDWR);
        if (null_fd != fd) {
            // No /dev/null (a bare chroot): going on could damage a file,
            // and there may be no stream left to say so on.
            std::_Exit(1);
        }
    }
    // A reader that goes away, or a file-size limit, must not kill a
    // conversion half-way: the write fails (EPIPE, EFBIG) and is reported
    // like any failed write.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
}

int first_inexact_word(int, char **) { return 0; } // the bytes arrive as they were given

void end_interrupted() {
    signal(SIGINT, SIG_DFL);
    raise(SIGINT);
    std::_Exit(128 + SIGINT);
}

bool stdout_is_terminal() { return isatty(STDOUT_FILENO) == 1; }

void flush_live_output() { std::fflush(stdout); }

io_handle open_own_executable() {
    // The mapping that holds this very function: when the program was
    // started through the dynamic loader (ld.so ./lfswap), /proc/self/exe
    // names the loader instead. map_files opens the mapped file itself, even
    // when it has been renamed or replaced since; where it is refused, the
    // path that the mapping records is the next best.
    const auto here = reinterpret_cast<std::uintptr_t>(&open_own_executable);
    FILE *maps = std::fopen("/proc/self/maps", "re");
    if (maps == nullptr)
        return invalid_handle;
    char line[4096 + 128];
    io_handle h = invalid_handle;
    while (h == invalid_handle && std::fgets(line, sizeof line, maps) != nullptr) {
        unsigned long long start = 0, end = 0;
        int path_at = -1;
        if (std::sscanf(line, "%llx-%llx %*s %*s %*s %*s %n", &start, &end, &path_at) < 2 || path_at < 0 ||
            here < start || here >= end)
            continue;
        std::string range(line, std::strcspn(line, " "));
        h = file_open(("/proc/self/map_files/" + range).c_str(), access_read, share_read | share_write,
                      open_existing, attr_normal);
        std::string path(line + path_at);
        path.erase(path.find_last_not_of('\n') + 1);
        // The kernel writes a newline in the path as \012 (and nothing else
        // escaped): that spelling first, then the text as it stands, which
        // may hold those four characters itself.
        std::string unescaped;
        for (std::size_t at = 0; at < path.size(); ++at) {
            const bool newline = path.compare(at, 4, "\\012") == 0;
            unescaped += newline ? '\n' : path[at];
            at += newline ? 3 : 0;
        }
        for (const std::string &name : {unescaped, path})
            if (h == invalid_handle && name.starts_with("/"))
                h = file_open(name.c_str(), access_read, share_read | share_write, open_existing, attr_normal);
        break;
    }
    std::fclose(maps);
    return h;
}
