// The tool's only contract with the operating system, by concern: files,
// the process, the console, the dialog. Everything above this header is
// portable C++; each concern has one POSIX and one Win32 file (the POSIX
// terminal guard, posix_terminal.cpp, serves its console and dialog), and
// the build picks one set. No OS type appears here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// ---- Files (posix_file.cpp, win32_file.cpp).

// A file handle (io_handle). Zero means "no handle" (the run context starts that way);
// invalid_handle is what a failed open yields. A POSIX backend must never
// hand out zero for descriptor 0, so handles are not bare descriptors.
enum class io_handle : std::intptr_t {};
inline constexpr io_handle no_handle{};
inline constexpr io_handle invalid_handle{-1};

// Open parameters. The values are the Win32 ones so that the Windows
// backend passes them straight through.
inline constexpr std::uint32_t access_read = 0x80000000u;  // GENERIC_READ
inline constexpr std::uint32_t access_write = 0x40000000u; // GENERIC_WRITE

inline constexpr std::uint32_t share_read = 0x1;  // FILE_SHARE_READ
inline constexpr std::uint32_t share_write = 0x2; // FILE_SHARE_WRITE

inline constexpr std::uint32_t create_new = 1;    // fail if it exists
inline constexpr std::uint32_t create_always = 2; // create, or empty it
inline constexpr std::uint32_t open_existing = 3; // fail if missing

inline constexpr std::uint32_t attr_readonly = 0x1;
inline constexpr std::uint32_t attr_hidden = 0x2;
inline constexpr std::uint32_t attr_normal = 0x80;
inline constexpr std::uint32_t flag_backup_semantics = 0x02000000u; // lets a directory open

enum class seek_origin { begin, current, end };

// Opens `path` (null opens nothing and fails) and returns the handle, or
// invalid_handle. Sharing follows the Windows rule: a write open fails
// while someone holds the file without share_write, a read open fails while
// someone holds it for writing. Windows enforces it on every program; on
// POSIX the locks are advisory, so they keep out another lfswap (and this
// process's own second open), not `echo >> file`. A read open never waits (a FIFO without a
// writer opens at once), nor does a write open (a FIFO without a reader
// fails). Any open fails, before anything is emptied, when the file is the
// one standard output or standard error goes to (a file or a pipe): the
// tool's own messages would be mixed into it. On
// Windows a write open also fails when the name reaches anything but a disk
// file (nul.txt, COM1, AUX are devices there), except the null device by
// its own name, NUL.
io_handle file_open(const char *path, std::uint32_t access, std::uint32_t share,
                      std::uint32_t disposition, std::uint32_t attributes);

// Files that file_open creates from now on take the permission bits of the
// open file `h` (less the umask), as cp gives a copy: a converted script
// keeps its execute bit. Files that exist keep their own. Windows keeps its
// own rules: nothing is copied there.
void new_files_like(io_handle h);

// Reads up to `length` bytes; false on failure. A true result with
// *got == 0 is end of file.
bool file_read(io_handle h, void *buffer, std::uint32_t length, std::uint32_t *got);

// Writes `length` bytes, retrying partial writes; false on failure, with
// *written holding what did get written.
bool file_write(io_handle h, const void *buffer, std::uint32_t length,
                std::uint32_t *written);

bool file_seek(io_handle h, std::int64_t offset, seek_origin origin);
bool file_close(io_handle h);

// What the open file `h` says of itself, to tell whether it changed.
struct file_state {
    std::int64_t size;
    std::int64_t links;      // names it has; 0 once it was removed
    std::int64_t changed[2]; // last-change times (POSIX: data, status; Windows: last write, 0)
    // A regular file, the only kind the tool converts: one that can be read
    // again from its start and that ends (not a folder, a device, a FIFO, a
    // socket or a terminal).
    bool regular;
    bool folder;
};
// false when it cannot be had.
bool file_get_state(io_handle h, file_state *state);

// True when the attributes of `path` can be read (files and directories);
// never for null.
bool path_exists(const char *path);
bool path_is_folder(const char *path);

// ---- The process: its start and end, its command line, its standard
// output, its own executable (posix_process.cpp, win32_process.cpp).

// Called first thing in main: whatever the process needs before any I/O.
// A standard stream the process was started without is opened on the null
// device, so that no file opened later takes its place and receives console
// text. A reader that goes away, or a file-size limit, must not kill the
// process: the write fails and is reported.
void process_start();

// The first command-line word (1 and on) that did not reach the program as
// it was typed, or 0. A Windows program with narrow arguments gets each
// character that the ANSI code page lacks replaced by a look-alike ("Ł" by
// "L", a fullwidth solidus by "/"): such a word would name another file.
int first_inexact_word(int argc, char **argv);

// Ends the process as the console's interrupt key does (Ctrl-C typed where
// the key is read as a character, as at the overwrite question on Windows).
[[noreturn]] void end_interrupted();

// True when standard output is a terminal (the percentage is then flushed
// as it is written).
bool stdout_is_terminal();

// Puts what standard output holds on the terminal. Wine starts the console
// beside the process, and its first use waits for it (tens of ms): there the
// text stays buffered until the console is ready, so that the conversion
// does not wait. Exit and a diagnostic write it out in any case.
void flush_live_output();

// Opens for reading the file that holds the running program's code (not
// the loader that may have started it); invalid_handle when it cannot be
// found or read.
io_handle open_own_executable();

// ---- The console: the terminal (POSIX) or console (Windows) the user sits
// at, and the standard streams as shown on it (posix_console.cpp,
// win32_console.cpp).

// Writes box-drawing text (code page 437 bytes) to standard error. On a
// terminal the backend draws the glyphs in the terminal's own character set
// (on POSIX: UTF-8, code page 437, or ASCII look-alikes, by the locale's
// codeset); redirected, the bytes go out unchanged.
void write_cp437_to_stderr(const char *text, std::size_t length);

// A file name as standard output (`to_stdout`) or standard error may show
// it: on a terminal, control characters and bytes that the terminal's
// character set cannot show become \ooo escapes (and a backslash \\), so
// that a name cannot drive the terminal; redirected, the bytes as they are,
// which is what scripts read. (Windows names hold no control characters.)
std::string printable_name(const char *name, bool to_stdout);

// The same name as the console that console_read_key reads shows it,
// whatever standard error is.
std::string console_name(const char *name);

// True when standard error is that console, where a question asked on it
// is seen by the one who answers it.
bool stderr_is_console();

// Writes `text` on that console itself (nothing when there is none).
void write_to_console(const std::string &text);

// One key from the console itself (not standard input), without echo and
// without waiting for return: a character's code, or one of these.
inline constexpr int console_key_gone = -1;         // the console cannot be read
inline constexpr int console_key_other = 0x100;     // an arrow, a function key, a character beyond one byte
// The program was stopped (Ctrl-Z) and has gone on in the foreground before
// a key came: what the screen asked can be shown again.
inline constexpr int console_key_resumed = 0x101;
// Ctrl-C where it arrives as a key (a Windows console hands it over so);
// on POSIX it is SIGINT, which the terminal guard takes.
inline constexpr int console_key_interrupt = 0x102;
int console_read_key();

// Waits for a line typed at the console itself (never standard input,
// which may carry a script's data); false at once when there is none.
bool console_wait_for_return();

// ---- The file-selection dialog: the common dialog on Windows
// (win32_dialog.cpp), a line editor on the terminal on POSIX
// (posix_dialog*.cpp, posix_line_editor.cpp).

// The file-selection window. The record mirrors what the Windows common
// dialog is given; `path` must hold path_capacity bytes and is never cleared
// by the backend: what it holds is shown as the starting name.
inline constexpr std::size_t path_capacity = 260;
inline constexpr std::uint32_t dialog_file_must_exist = 0x1000; // OFN_FILEMUSTEXIST

struct file_dialog_record {
    const char *filter;         // pairs of zero-terminated texts, ended by an empty one
    std::uint32_t filter_index; // 1 = first pair
    char *path;                 // in: initial name; out: the chosen full path
    std::uint32_t path_size;
    char *file_title; // out: the chosen name without its folder
    std::uint32_t file_title_size;
    const char *title;
    std::uint32_t flags;
    const char *default_ext; // appended to a name typed without one; may be null
    // What a cancel leads to, for a dialog that tells it (the terminal's);
    // may be null.
    const char *cancel_note;
};

// chosen: a name is in the record. cancelled: the user said no. failed: no
// name this time for another reason (a name the dialog could not take); the
// caller may show it again. unavailable: no dialog can be had at all.
enum class dialog_result { chosen, cancelled, failed, unavailable };

// Cheap: whether a file-selection dialog could be shown now at all and
// answered (a terminal to draw it on; a console and a display for the window).
bool dialog_available();
// What that takes, as a user reads it: "a terminal", "a console and a desktop".
const char *dialog_needs();

dialog_result show_open_dialog(file_dialog_record *record);
