#include "converter/banner.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "INCLUDE1/GENERICW.h"

namespace {

// Box pieces in code page 437: the console's own box-drawing bytes.
constexpr unsigned char box_top_left = 0xC9, box_top_right = 0xBB;
constexpr unsigned char box_bottom_left = 0xC8, box_bottom_right = 0xBC;
constexpr unsigned char box_horizontal = 0xCD, box_vertical = 0xBA;
constexpr const char *check_mark = "\xFB";

constexpr int screen_width = 80;
constexpr int screen_lines = 30;
constexpr int box_width = 76; // border bytes included
constexpr int half_width = box_width / 2;
constexpr std::size_t line_buffer_size = 320;

char *empty_line;   // the empty interior line
char *filled_line;  // the line being filled
char *version_text; // "Ver. " + stamp + the word size (" 32 bit " in the Windows tool)

void make_border(char *line, unsigned char left, unsigned char right) {
    line[0] = static_cast<char>(left);
    std::memset(line + 1, box_horizontal, box_width - 2);
    line[box_width - 1] = static_cast<char>(right);
    line[box_width] = '\0';
}

void print_line(const char *line) {
    print_centered(line, screen_width);
    std::fputc('\n', stderr);
}

// An interior line with `text` laid over its blanks around the middle.
void print_text_line(const char *text) {
    std::size_t len = std::strlen(text);
    if (len > box_width - 2)
        len = box_width - 2;
    std::memcpy(filled_line, empty_line, box_width + 1);
    static_assert(box_width % 2 == 0); // so that `at` is at least 1 for the longest text
    const std::size_t at = half_width - len / 2;
    std::memcpy(filled_line + at, text, len); // no terminator: the border stays
    print_line(filled_line);
}

} // namespace

void print_centered(const char *text, int width) {
    static const char blanks[] = "                                                                        ";
    static_assert(sizeof blanks - 1 == 72);
    int len = static_cast<int>(std::strlen(text));
    int pad = width > len ? (width - len) / 2 : 0;
    if (pad > 72)
        pad = 72;
    write_cp437_to_stderr(blanks, static_cast<std::size_t>(pad));
    write_cp437_to_stderr(text, static_cast<std::size_t>(len));
}

void show_banner(int lines_used) {
    if (empty_line == nullptr) {
        // Kept for the rest of the process, like every buffer of the tool.
        empty_line = static_cast<char *>(std::calloc(line_buffer_size, 1));
        filled_line = static_cast<char *>(std::calloc(line_buffer_size, 1));
        version_text = static_cast<char *>(std::calloc(line_buffer_size, 1));
        if (empty_line == nullptr || filled_line == nullptr || version_text == nullptr)
            return; // a banner is not worth failing the run for
    }
    for (int i = lines_used; i < screen_lines; ++i)
        std::fputc('\n', stderr);

    // __DATE__ and __TIME__ of this file: the stamp changes with each build
    // (and follows SOURCE_DATE_EPOCH where the compiler honours it).
    std::snprintf(version_text, line_buffer_size, "Ver. %s %d bit ", make_version(__DATE__, __TIME__, check_mark),
                  static_cast<int>(8 * sizeof(void *)));

    empty_line[0] = static_cast<char>(box_vertical);
    std::memset(empty_line + 1, ' ', box_width - 2);
    empty_line[box_width - 1] = static_cast<char>(box_vertical);
    empty_line[box_width] = '\0';

    make_border(filled_line, box_top_left, box_top_right);
    print_line(filled_line);
    print_text_line("LFSWAP");
    print_text_line(version_text);
    print_line(empty_line);
    make_border(filled_line, box_bottom_left, box_bottom_right);
    print_line(filled_line);
}

void show_usage() {
    show_banner(1);
    std::fputs("\n\nProgram to convert unix to ascii and vise versa\n\n", stdout);
    std::fputs("lfswap input_file output_file [ua] \n", stdout);
    std::fputs("if trouble occurs with conversions, another command line argument\n", stdout);
    std::fputs("of -u or -a can be used to force input to unix or ascii\n", stdout);
}
