// One driver for the tool's file-selection dialog and console prompts, so
// that a case reads the same whichever dialog answers: natively the
// terminal dialog on the pseudo-terminal; under Wine with a display the
// common dialog window, found by its exact title and driven with xdotool.
#pragma once

#include <string>
#include <vector>

#include "tests/support/pty_run.h"

// True when the runs show the real Windows dialog (Wine and a display).
bool window_dialogs();

struct dialog_driver {
    pty_session &s;
    std::string cwd;    // the run's folder: names are chosen relative to it
    std::string window; // under Wine: the X window of the dialog now open
    // Under Wine: where this dialog's commdlg trace starts in the session's
    // wine_log, and how far the waits have read it.
    std::size_t dialog_log = 0, log_mark = 0;

    // Starts `exe` `args` in `cwd` on a new terminal, as a dialog case needs:
    // under Wine its standard input is the terminal, so that it has a console.
    dialog_driver(pty_session &session, const std::string &exe, const std::vector<std::string> &args,
                  const std::string &folder, pty_options options = {});

    // Until the dialog titled `title` is up; false after `timeout_ms`.
    bool wait(const std::string &title, int timeout_ms = 20000);
    void choose(const std::string &name); // replaces the name shown, and accepts
    void type_refused(const std::string &name); // a name the dialog itself refuses; it stays up
    void cancel();
    std::string shown_name();              // the name it was handed when it opened
    std::string shown_folder();            // the folder it opened in
    // The filter descriptions in order, the selected one in brackets.
    std::vector<std::string> filters();
    void answer_wait();                    // return at the retry wait
    void keys(const std::string &k);       // keys at a console prompt
    void settle(); // until the dialog has done what the last key asked
    // A path as the dialog hands it back (Z:\... under Wine).
    std::string path(const std::string &unix_path) const;
};

// Saves a screenshot of the display once per test run, and says where.
void screenshot_once(const std::string &folder);
