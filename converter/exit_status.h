// The tool's exit statuses.
#pragma once

inline constexpr int exit_done = 0;
inline constexpr int exit_failure = 1; // self-check, an open, a read, a write, memory
inline constexpr int exit_user_quit = 4; // Q or N at the overwrite prompt
inline constexpr int exit_usage = 6;     // too few words; the usage screen was shown
