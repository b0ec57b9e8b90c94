// What the terminal-driven suites share: a scratch folder holding a.txt, the
// dialogs' titles, the overwrite question as the tool writes it, and the
// checks of a run's end.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/support/dialog_driver.h"
#include "tests/support/pty_run.h"
#include "tests/support/tool_run.h"

inline const std::string out_title = "Output File Selection";
inline const std::string in_title = "Input File Selection";

// The whole overwrite question about `path`, as standard error gets it.
inline std::string prompt_for(const std::string &path) {
    return "\n\n" + path +
           " aleady exists\nDo you wish to overwrite Y\nDo you wish to abort     Q\n"
           "Do you wish to append    A\n" + asks_overwrite + "\n\n";
}

struct console_case : testing::Test {
    scratch_dir dir;
    void SetUp() override { write_file(dir / "a.txt", "one\ntwo\n"); }

    // The run ends well, and `name` holds a.txt converted, nothing else.
    void expect_converted(pty_session &s, const std::string &name) const {
        EXPECT_EQ(s.finish(), 0) << s.err;
        EXPECT_EQ(read_file(dir / name), "one\r\ntwo\r\n");
    }

    // Answers the output dialog with `name`.
    static void choose(dialog_driver &d, const std::string &name) {
        ASSERT_TRUE(d.wait(out_title)) << d.s.screen;
        d.choose(name);
    }
};

// The diagnostic from `source` is all of `err` (with `alone`), or its start.
inline void expect_diagnostic(const std::string &err, const std::string &source, const std::string &message,
                              bool alone = true) {
    EXPECT_TRUE(contains_match(err, "^" + diagnostic(message, source) + (alone ? "$" : "")))
        << testing::PrintToString(err);
}
