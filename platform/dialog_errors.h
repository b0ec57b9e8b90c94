// What the Windows common dialog's extended error codes (CommDlgExtendedError)
// mean for the tool. Kept out of the backend so that every build tests it.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// 0: the user cancelled or closed the window. The CDERR_ family (1 to
// 0x0FFF, and CDERR_DIALOGFAILURE 0xFFFF) says the window could not be
// made: no dialog can be had. Everything else, the FNERR_ family above all
// (a path too long for the buffer, an invalid name), failed to give a name
// this time: the caller may open the dialog again.
constexpr dialog_result dialog_result_for_error(std::uint32_t code) {
    if (code == 0)
        return dialog_result::cancelled;
    if (code <= 0x0FFF || code == 0xFFFF)
        return dialog_result::unavailable;
    return dialog_result::failed;
}
