// Test driver: opens its first word with open_in_file and the dialog
// fallback on, which the tool itself never asks for.
#include <cstdio>

#include "INCLUDE1/GENERICW.h"

int main(int argc, char **argv) {
    process_start();
    io_handle h = open_in_file(argc > 1 ? argv[1] : nullptr, true);
    std::printf(h != invalid_handle ? "opened\n" : "not opened\n");
    return 0;
}
