// What the Win32 backend's files share: a system function found by name at
// run time, so that it adds nothing to the executable's imports.
#pragma once

#include <windows.h>

template <class F>
F system_function(HMODULE module, const char *name) {
    return module != nullptr ? reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)))
                             : nullptr;
}
