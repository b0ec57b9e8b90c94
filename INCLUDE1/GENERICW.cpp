#include "INCLUDE1/GENERICW.h"

#include "converter/diagnostic.h"
#include "converter/exit_status.h"
#include "converter/run_context.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr std::uint32_t in_attributes = flag_backup_semantics | attr_hidden | attr_readonly;
constexpr std::uint32_t out_access = access_read | access_write;
constexpr int max_failed_tries = 2;
constexpr int max_in_tries = 3;

// A name for a diagnostic or question on standard error: escaped on a
// terminal, and a missing one shows as "(null)" (formats never receive a
// null pointer).
std::string shown(const char *name) { return name != nullptr ? printable_name(name, false) : "(null)"; }

// Each dialog's record and buffers live as long as the process; the path
// buffer is never cleared, so a dialog opens on the name last chosen in it.
file_dialog_record in_record, out_record;
char in_path[path_capacity], in_title[path_capacity];
char out_path[path_capacity], out_title[path_capacity];
// Pairs of display text and pattern; the literal's own zero ends the list.
constexpr char in_filter[] = "All Files (*.*)\0*.*\0Data Files (*.DAT)\0*.DAT\0";
constexpr char out_filter[] = "All Files (*.*)\0*.*\0Data Files (*.OUT)\0*.OUT\0";

char *pick(file_dialog_record &record, const char *filter, char *path, char *title, const char *caption,
           std::uint32_t flags, const char *default_ext, dialog_result *how, const char *cancel_note = nullptr) {
    record = {};
    record.filter = filter;
    record.filter_index = 1;
    record.path = path;
    record.path_size = path_capacity;
    record.file_title = title;
    record.file_title_size = path_capacity;
    record.title = caption;
    record.flags = flags;
    record.default_ext = default_ext;
    record.cancel_note = cancel_note;
    dialog_result r = show_open_dialog(&record);
    if (how != nullptr)
        *how = r;
    return r == dialog_result::chosen ? path : nullptr;
}

// Text for the one who answers at the console: on standard error, and on
// the console as well when standard error goes elsewhere (a log), or the
// question would be asked where nobody reads it. Each in one write, on the
// screen before a key is read, whatever the stream's buffering.
void tell_user(const std::string &on_stderr, const std::string &on_console) {
    std::fwrite(on_stderr.data(), 1, on_stderr.size(), stderr);
    std::fflush(stderr);
    if (!stderr_is_console())
        write_to_console(on_console);
}

std::string overwrite_question(const std::string &name) {
    return "\n\n" + name +
           " aleady exists\n"
           "Do you wish to overwrite Y\n"
           "Do you wish to abort     Q\n"
           "Do you wish to append    A\n"
           "Enter a Y, Q, or A ";
}

// Asks what to do with the existing file `name`. Only Y, O, A, Q and N (either
// case) answer; another key changes nothing and the next is read.
void ask_overwrite(const char *name, bool *append) {
    const std::string on_console = overwrite_question(name != nullptr ? console_name(name) : "(null)");
    tell_user(overwrite_question(shown(name)), on_console);
    overwrite_answer answer;
    for (int key; (answer = answer_for_key(key = console_read_key())) == overwrite_answer::ask_again;) {
        // Back from Ctrl-Z and fg the screen holds the shell's lines: ask
        // again there (standard error, if a log, has the question already).
        if (key == console_key_resumed)
            write_to_console(on_console);
    }
    tell_user("\n\n", "\n\n");
    switch (answer) {
    case overwrite_answer::overwrite: *append = false; break;
    case overwrite_answer::append: *append = true; break;
    case overwrite_answer::quit: quit_run(exit_user_quit);
    case overwrite_answer::interrupted: end_interrupted();
    case overwrite_answer::ask_again: break;
    }
}

// The output dialog, telling what its cancel leads to.
char *pick_out(dialog_result *how, const char *cancel_note) {
    return pick(out_record, out_filter, out_path, out_title, "Output File Selection", 0, nullptr, how, cancel_note);
}

// Without a dialog no other name can be had: waiting for return first
// would only hang a run that has no terminal. When the output word itself
// asked for the dialog, say so, and what the word may have meant: an
// option (lfswap has none), or an absolute POSIX path.
[[noreturn]] void no_output_can_be_chosen(const char *word = nullptr) {
    DIAGNOSTIC("no output file can be chosen");
    if (word != nullptr) {
        std::string why = std::string("  (an output word beginning with - or / asks for the file dialog, which needs\n  ") +
                          dialog_needs();
        if (word[0] == '/' && word[1] != '\0' && std::strcmp(dialog_needs(), "a terminal") == 0)
            why += ";\n  give a path that begins with / as a relative one, or through a symlink";
        else if (word[1] != '\0')
            why += ";\n  lfswap takes no options: run it alone to see how it is used";
        why += ")\n";
        std::fwrite(why.data(), 1, why.size(), stderr);
    }
    std::exit(exit_failure);
}

// Counts a failed try; after the first, waits for return and takes a new
// name from the output dialog. The second ends the tries: no wait follows.
// With `ask` (overwrite mode), an existing file chosen there is asked about
// as in the name step, and the answer may switch `append` on.
void after_failed_try(int *failed, const char **name, bool ask, bool *append) {
    if (++*failed >= max_failed_tries)
        return;
    if (!dialog_available())
        no_output_can_be_chosen();
    tell_user("hit return to choose new output file", "hit return to choose new output file");
    // From the terminal: standard input may be a script's list of names,
    // which a wait must not eat.
    if (!console_wait_for_return())
        no_output_can_be_chosen();
    dialog_result how;
    *name = pick_out(&how, "the run then ends");
    if (how == dialog_result::unavailable) // the terminal went away meanwhile
        no_output_can_be_chosen();
    if (ask && *name != nullptr && path_exists(*name))
        ask_overwrite(*name, append);
}

} // namespace

bool is_option_word(const char *name) { return name != nullptr && (name[0] == '-' || name[0] == '/'); }

overwrite_answer answer_for_key(int key) {
    switch (key) {
    case 'Y': case 'y': case 'O': case 'o': return overwrite_answer::overwrite;
    case 'A': case 'a': return overwrite_answer::append;
    // A key read that fails means the console is gone: nobody can answer.
    case 'N': case 'n': case 'Q': case 'q': case console_key_gone: return overwrite_answer::quit;
    case console_key_interrupt: return overwrite_answer::interrupted;
    default: return overwrite_answer::ask_again;
    }
}

char *pick_in_file(dialog_result *how) {
    return pick(in_record, in_filter, in_path, in_title, "Input File Selection", dialog_file_must_exist,
                "DAT", how);
}

char *pick_out_file(dialog_result *how) { return pick_out(how, nullptr); }

io_handle open_in_file(const char *name, bool use_dialog) {
    for (int tries = 1;; ++tries) {
        io_handle h = file_open(name, access_read, share_read, open_existing, in_attributes);
        if (h != invalid_handle)
            return h;
        if (tries == max_in_tries) {
            DIAGNOSTIC("Can't open input file %s, BYE", shown(name).c_str());
            std::exit(exit_failure);
        }
        if (!use_dialog)
            return invalid_handle;
        name = pick_in_file();
    }
}

io_handle open_out_file(const char *name, bool append) {
    if (is_option_word(name)) {
        // The rest of the word is never used, not even as the dialog's first name.
        const char *word = name;
        do {
            dialog_result how;
            name = pick_out(&how, "the tool then asks again");
            if (how == dialog_result::unavailable)
                no_output_can_be_chosen(word); // asking again would loop for ever
            if (name != nullptr && !append && path_exists(name))
                ask_overwrite(name, &append);
        } while (name == nullptr);
    }

    // Appending from the start opens the file as it is, and after a failed
    // try only ever creates a new one. Overwriting empties the file; a file
    // that exists, chosen after a failed try, is asked about, and an A
    // answer opens it as it is.
    const bool append_asked = append;
    io_handle h = append ? file_open(name, out_access, share_read, open_existing, attr_normal) : invalid_handle;
    int failed = 0;
    while (h == invalid_handle && failed < max_failed_tries) {
        const std::uint32_t how = append_asked ? create_new : append ? open_existing : create_always;
        h = file_open(name, out_access, share_read, how, attr_normal);
        if (h == invalid_handle) {
            if (append)
                DIAGNOSTIC("error opening/creating output file %s", shown(name).c_str());
            else
                DIAGNOSTIC("error opening output file %s", shown(name).c_str());
            after_failed_try(&failed, &name, !append_asked, &append);
        }
    }
    if (h == invalid_handle) {
        DIAGNOSTIC("error opening output file %s", shown(name).c_str());
        std::exit(exit_failure);
    }
    // The result is not checked: on a file the move to its end cannot fail,
    // and a FIFO or a device, which has no end to move to, still takes the
    // writes where it is.
    if (append)
        file_seek(h, 0, seek_origin::end);
    return h;
}

char *make_version(const char *date, const char *time, const char *suffix) {
    constexpr std::size_t stamp_size = 48;
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // Every stamp is kept for the rest of the process. Each block starts
    // with a link to the one made before, so that all stay reachable and a
    // leak checker sees them kept, not lost.
    struct kept_stamp {
        kept_stamp *before;
        char text[stamp_size];
    };
    static kept_stamp *latest = nullptr;
    auto *block = static_cast<kept_stamp *>(std::calloc(1, sizeof(kept_stamp)));
    if (block == nullptr)
        return const_cast<char *>("");
    block->before = latest;
    latest = block;
    char *stamp = block->text;
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
