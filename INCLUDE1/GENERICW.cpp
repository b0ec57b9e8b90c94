#include "INCLUDE1/GENERICW.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
constexpr std::uint32_t in_attributes = flag_backup_semantics | attr_hidden | attr_readonly;
constexpr std::uint32_t out_access = access_read | access_write;

// Formats never receive a null pointer: a missing name shows as "(null)".
const char *shown(const char *name) { return name != nullptr ? name : "(null)"; }
} // namespace

io_handle open_in_file(const char *name, bool use_dialog) {
    set_file_apis_to_oem();
    (void)use_dialog;
    return file_open(name, access_read, share_read, open_existing, in_attributes);
}

io_handle open_out_file(const char *name, bool append) {
    set_file_apis_to_oem();
    (void)append;
    io_handle h = file_open(name, out_access, share_read, create_always, attr_normal);
    if (h == invalid_handle) {
        std::fprintf(stderr, "\n%s\n%d\nerror opening output file %s\n", __FILE__, __LINE__, shown(name));
        std::exit(1);
    }
    return h;
}

char *make_version(const char *date, const char *time, const char *suffix) {
    constexpr std::size_t stamp_size = 48;
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char *stamp = static_cast<char *>(std::calloc(stamp_size, 1));
    if (stamp == nullptr)
        return const_cast<char *>("");
    // The compiler's texts have fixed widths; a short one is read as blanks.
    auto at = [](const char *text, std::size_t i) {
        return std::strlen(text) > i ? text[i] : ' ';
    };
    char month[3] = "";
    for (int m = 0; m < 12; ++m)
        if (std::strncmp(date, months[m], 3) == 0)
            std::snprintf(month, sizeof month, "%02d", m + 1);
    char day0 = at(date, 4) == ' ' ? '0' : at(date, 4);
    std::snprintf(stamp, stamp_size, "%c%c.%s.%c%c.%.5s", at(date, 9), at(date, 10), month, day0,
                  at(date, 5), time);
    for (char *p = stamp; *p != '\0'; ++p)
        if (*p == ':')
            *p = '.';
    if (suffix != nullptr)
        std::strncat(stamp, suffix, stamp_size - 1 - std::strlen(stamp));
    return stamp;
}
