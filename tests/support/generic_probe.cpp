// Test driver. `probe NAME` opens NAME with open_in_file and the dialog
// fallback on, which the tool itself never asks for. `probe --dialog TEXT
// PATTERN [TEXT PATTERN]...` shows the file-selection dialog with those
// filter pairs and prints what it gave, twice in a row (the second starts on
// the first's choice); with more than one pair, the pair chosen too.
#include <cstdio>
#include <cstring>
#include <string>

#include "INCLUDE1/GENERICW.h"

int main(int argc, char **argv) {
    process_start();
    if (argc >= 4 && argc % 2 == 0 && std::strcmp(argv[1], "--dialog") == 0) {
        std::string filter;
        for (int i = 2; i < argc; ++i)
            filter += std::string(argv[i]) + '\0';
        static char path[path_capacity], title[path_capacity];
        for (int i = 0; i < 2; ++i) {
            file_dialog_record r{filter.c_str(), 1, path, path_capacity, title, path_capacity, "Probe", 0, nullptr, nullptr};
            dialog_result how = show_open_dialog(&r);
            const char *words[] = {path, "(cancelled)", "(failed)", "(unavailable)"};
            std::printf("%s", words[static_cast<int>(how)]);
            if (how == dialog_result::chosen && argc > 4)
                std::printf(" (type %u)", r.filter_index);
            std::printf("\n");
        }
        return 0;
    }
    io_handle h = open_in_file(argc > 1 ? argv[1] : nullptr, true);
    std::printf(h != invalid_handle ? "opened\n" : "not opened\n");
    return 0;
}
