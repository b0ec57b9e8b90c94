// The output dialog, the overwrite question and the retries, driven through a
// real pseudo-terminal as a user would answer them.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/console_cases.h"

namespace fs = std::filesystem;

namespace {
struct Console : console_case {};
} // namespace

TEST_F(Console, OptionWordsOpenTheOutputDialogAndANewNameIsCreatedWithoutAQuestion) {
    SKIP_WITHOUT_DIALOG();
    // The output goes to another folder, which holds a file of the input's
    // name five times its size: the percentage must still be the input's.
    fs::create_directory(dir / "sub");
    write_file(dir / "sub/a.txt", std::string(40, 'x'));
    for (const std::string &word : std::vector<std::string>{"-", "/x", "-out.txt", dir / "a.txt"}) {
        pty_session s;
        dialog_driver d(s, tool_exe(), {"a.txt", word}, dir.path);
        ASSERT_TRUE(d.wait(out_title)) << s.screen;
        // Nothing of the word is offered as a name.
        EXPECT_EQ(d.shown_name(), "") << word;
        EXPECT_EQ(d.filters(), (std::vector<std::string>{"[All Files (*.*)]", "Data Files (*.OUT)"}));
        if (!window_dialogs()) // the terminal's help says what a cancel does here
            EXPECT_NE(s.screen.find("cancels: the tool then asks again."), std::string::npos) << s.screen;
        d.choose("sub/new.txt");
        EXPECT_EQ(s.finish(), 0) << word;
        EXPECT_EQ(s.err, "");
        EXPECT_EQ(s.out, announcement("a.txt", word) + percent_fields({100}));
        EXPECT_EQ(read_file(dir / "sub/new.txt"), "one\r\ntwo\r\n");
        fs::remove(dir / "sub/new.txt");
    }
    EXPECT_EQ(read_file(dir / "a.txt"), "one\ntwo\n");
}

TEST_F(Console, ANonAsciiNameChosenInTheDialogNamesTheFileMade) {
    SKIP_WITHOUT_DIALOG();
    // Under Wine the dialog hands the name over in the ANSI code page, and
    // the file made must be the one named.
    pty_session s;
    dialog_driver d(s, tool_exe(), {"a.txt", "-"}, dir.path);
    choose(d, "caf\xC3\xA9.txt");
    expect_converted(s, "caf\xC3\xA9.txt");
    // A name the code page cannot hold would come back as a look-alike
    // ("Lodz.txt" for "Łodz.txt"), another file: refused, and the dialog
    // asks again. Natively the bytes are the name.
    write_file(dir / "Lodz.txt", "victim\n");
    const std::string lodz = "\xC5\x81odz.txt";
    pty_session s2;
    dialog_driver d2(s2, tool_exe(), {"a.txt", "-"}, dir.path);
    choose(d2, lodz);
    if (window_dialogs()) {
        ASSERT_TRUE(s2.wait_for("That name cannot be used here\n")) << s2.err;
        choose(d2, "b.txt");
    }
    expect_converted(s2, window_dialogs() ? "b.txt" : lodz);
    EXPECT_EQ(read_file(dir / "Lodz.txt"), "victim\n");
}

// The keys of the overwrite question: `stray` keys answer nothing (the run
// must still wait after them), then `key` decides. One run per answer and
// per kind of stray key; every letter's meaning is a unit case.
struct question_case {
    std::string stray, key;
    int status;
    std::string result;
};
const std::string appended = "old\none\r\ntwo\r\n", replaced = "one\r\ntwo\r\n", kept = "old\n";
const question_case question_cases[] = {
    {"", "a", 0, appended},          {"", "O", 0, replaced},         {"", "n", 4, kept},
    {"z", "Y", 0, replaced},         {"\x1b[A", "A", 0, appended},    // arrow up
    {"\x1b[15~", "Q", 4, kept},      {"\r", "y", 0, replaced},         // F5; return
};

void answer_question(dialog_driver &d, const question_case &c) {
    ASSERT_TRUE(d.s.wait_for(asks_overwrite)) << d.s.err;
    if (!c.stray.empty()) {
        d.keys(c.stray);
        EXPECT_FALSE(d.s.wait_for("or A \n\n", 400)) << "a stray key answered the question";
    }
    d.keys(c.key);
}

TEST_F(Console, AnExistingFileChosenInTheDialogRaisesTheQuestion) {
    SKIP_WITHOUT_DIALOG();
    const std::string old_path = dir / "old.txt";
    for (const auto &c : question_cases) {
        write_file(old_path, "old\n");
        pty_session s;
        dialog_driver d(s, tool_exe(), {"a.txt", "-"}, dir.path);
        choose(d, "old.txt");
        answer_question(d, c);
        std::string label = testing::PrintToString(c.stray + c.key);
        EXPECT_EQ(s.finish(), c.status) << label;
        EXPECT_EQ(s.err, prompt_for(d.path(old_path))) << label;
        // Standard error is a pipe here: the question is on the terminal too.
        // (Wine's console shows the console's own output only where standard
        // output is the terminal.)
        const std::string question = prompt_for(d.path(old_path));
        if (!under_runner())
            EXPECT_NE(shown_text(s.screen).find(question.substr(0, question.size() - 2)), std::string::npos) << label;
        EXPECT_EQ(read_file(old_path), c.result) << label;
        EXPECT_EQ(s.out, c.status == 0 ? announcement("a.txt", "-") + percent_fields({100}) : "") << label;
    }
}

TEST_F(Console, AnExistingFileChosenAfterAFailedTryRaisesTheQuestionToo) {
    SKIP_WITHOUT_DIALOG();
    const std::string old_path = dir / "old.txt";
    for (const auto &c : {question_cases[0], question_cases[1], question_cases[2], question_cases[4]}) {
        write_file(old_path, "old\n");
        pty_session s;
        dialog_driver d(s, tool_exe(), {"a.txt", "no/x.txt"}, dir.path);
        ASSERT_TRUE(s.wait_for(asks_return));
        d.answer_wait();
        choose(d, "old.txt");
        if (!window_dialogs()) // after a failed try a cancel ends the tries
            EXPECT_NE(s.screen.find("cancels: the run then ends."), std::string::npos) << s.screen;
        answer_question(d, c);
        std::string label = testing::PrintToString(c.stray + c.key);
        EXPECT_EQ(s.finish(), c.status) << label;
        EXPECT_NE(s.err.find(prompt_for(d.path(old_path))), std::string::npos) << label << s.err;
        if (!under_runner())
            EXPECT_NE(shown_text(s.screen).find(asks_return), std::string::npos) << label;
        EXPECT_EQ(read_file(old_path), c.result) << label;
    }
}

TEST_F(Console, ACancelledDialogOpensAgain) {
    SKIP_WITHOUT_DIALOG();
    pty_session s;
    dialog_driver d(s, tool_exe(), {"a.txt", "-"}, dir.path);
    ASSERT_TRUE(d.wait(out_title));
    d.cancel(); // Ctrl-D on the terminal, Escape in the window
    ASSERT_TRUE(d.wait(out_title));
    if (window_dialogs()) {
        d.cancel();
    } else {
        s.type("\x1b\n"); // Esc, then return
    }
    choose(d, "b.txt");
    expect_converted(s, "b.txt");
}

TEST_F(Console, TheInputChosenAsOutputIsReportedAndTheNextDialogStartsAtTheNameTriedBefore) {
    SKIP_WITHOUT_DIALOG();
    // In a folder of its own, so that the folder the next dialog opens in says something.
    fs::create_directory(dir / "sub");
    fs::rename(dir / "a.txt", dir / "sub/a.txt");
    pty_session s;
    dialog_driver d(s, tool_exe(), {"sub/a.txt", "-"}, dir.path);
    choose(d, "sub/a.txt");
    ASSERT_TRUE(s.wait_for(asks_overwrite));
    d.keys("Y");
    ASSERT_TRUE(s.wait_for(asks_return)) << s.err;
    const std::string tried = d.path(dir / "sub/a.txt");
    EXPECT_TRUE(contains_match(s.err, diagnostic("error opening output file " + tried, "INCLUDE1/GENERICW.cpp") +
                                          asks_return + "$"))
        << s.err;
    d.answer_wait();
    ASSERT_TRUE(d.wait(out_title));
    EXPECT_EQ(d.shown_name(), tried);
    EXPECT_EQ(d.shown_folder(), d.path(dir / "sub"));
    d.choose("b.txt");
    expect_converted(s, "b.txt");
    EXPECT_EQ(read_file(dir / "sub/a.txt"), "one\ntwo\n");
}

// A first try that fails (the input itself under any spelling, an empty
// word) says so, waits for return, then the dialog's name is taken.
TEST_F(Console, AFailedFirstTryIsReportedAndTheDialogFollows) {
    SKIP_WITHOUT_DIALOG();
    fs::create_symlink("a.txt", dir / "link.txt");
    fs::create_hard_link(dir / "a.txt", dir / "hard.txt");
    for (const std::string &word : {"a.txt", "./a.txt", "link.txt", "hard.txt", ""}) {
        pty_session s;
        dialog_driver d(s, tool_exe(), {"a.txt", word}, dir.path);
        ASSERT_TRUE(s.wait_for(asks_return)) << word << s.err;
        EXPECT_TRUE(contains_match(s.err, "^" + diagnostic("error opening output file " + word) + asks_return + "$"))
            << s.err;
        d.answer_wait();
        choose(d, "new.txt");
        expect_converted(s, "new.txt");
        EXPECT_EQ(read_file(dir / "a.txt"), "one\ntwo\n") << word;
        fs::remove(dir / "new.txt");
    }
}

TEST_F(Console, TwoFailedTriesEndTheRunNamingTheLastPathTried) {
    SKIP_WITHOUT_DIALOG();
    pty_session s;
    dialog_driver d(s, tool_exe(), {"a.txt", "no/x.txt"}, dir.path);
    ASSERT_TRUE(s.wait_for(asks_return));
    d.answer_wait();
    choose(d, "no/y.txt");
    EXPECT_EQ(s.finish(), 1);
    const std::string y = d.path(dir / "no/y.txt");
    EXPECT_TRUE(contains_match(s.err, "^" + diagnostic("error opening output file no/x.txt") +
                                          asks_return +
                                          diagnostic("error opening output file " + y) +
                                          diagnostic("error opening output file " + y) + "$"))
        << s.err;
}

TEST_F(Console, AppendingToAReadOnlyFileFailsAndOffersTheDialog) {
    SKIP_WITHOUT_DIALOG();
    if (under_runner())
        GTEST_SKIP() << "Wine's prefix belongs to root: it does not start as another user";
    fs::permissions(dir.path, fs::perms::all);
    const std::string ro = dir / "ro.txt";
    write_file(ro, "old\n");
    fs::permissions(ro, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    pty_options as_user;
    as_user.as_nobody = true; // root would be let in
    pty_session s;
    dialog_driver d(s, tool_exe(), {"a.txt", "-"}, dir.path, as_user);
    choose(d, "ro.txt");
    ASSERT_TRUE(s.wait_for(asks_overwrite));
    s.type("A");
    ASSERT_TRUE(s.wait_for(asks_return)) << s.err;
    EXPECT_TRUE(contains_match(s.err, diagnostic("error opening/creating output file " + ro) +
                                          asks_return + "$"))
        << s.err;
    d.answer_wait();
    choose(d, "fresh.txt"); // append mode only ever creates a new file now
    EXPECT_EQ(s.finish(), 0);
    EXPECT_EQ(read_file(ro), "old\n");
    EXPECT_EQ(read_file(dir / "fresh.txt"), "one\r\ntwo\r\n");
}

TEST_F(Console, WithoutATerminalTheDialogIsUnavailableAndNothingHangs) {
    // The word asked for the dialog: more lines say why there is none, and
    // what the word may have been meant for (an option, an absolute path).
    const std::string needs = under_runner() ? "a console and a desktop" : "a terminal";
    const std::string asks = "chosen\n  (an output word beginning with - or / asks for the file dialog, which needs\n  " + needs;
    const std::string options = ";\n  lfswap takes no options: run it alone to see how it is used)\n";
    const std::pair<std::string, std::string> words[] = {
        {"-", ")\n"},
        {"--help", options},
        {"/tmp/x.txt",
         under_runner() ? options : ";\n  give a path that begins with / as a relative one, or through a symlink)\n"}};
    for (const auto &[word, ending] : words) {
        auto r = run_tool({"a.txt", word}, dir.path);
        EXPECT_EQ(r.status, 1) << word;
        EXPECT_TRUE(contains_match(r.err, "^" + diagnostic("no output file can be chosen"))) << r.err;
        EXPECT_TRUE(r.err.ends_with(asks + ending)) << word << r.err;
    }
    // After a failed try no wait and no second try: no name could be had.
    auto r2 = run_tool({"a.txt", "no/x.txt"}, dir.path);
    EXPECT_EQ(r2.status, 1);
    EXPECT_TRUE(contains_match(r2.err, diagnostic_chain({"error opening output file no/x.txt", "no output file can be chosen"})))
        << r2.err;
}

TEST_F(Console, AFileHeldAsInputCannotBeAnotherRunsOutput) {
    SKIP_WITHOUT_DIALOG(); // the holder waits for return only when a dialog can follow
    write_file(dir / "b.txt", "held\n");
    pty_session holder;
    // Its output cannot be made, so it waits for return with b.txt open
    // (under Wine on a console of its own: the driver gives it one).
    dialog_driver d(holder, tool_exe(), {"b.txt", "no/x.txt"}, dir.path);
    ASSERT_TRUE(holder.wait_for(asks_return)) << holder.err;
    auto r = run_tool({"a.txt", "b.txt"}, dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains_match(r.err, "^" + diagnostic("error opening output file b.txt"))) << r.err;
    EXPECT_EQ(read_file(dir / "b.txt"), "held\n");
}

TEST_F(Console, TheInputDialogFallbackRetriesSilently) {
    SKIP_WITHOUT_DIALOG();
    write_file(dir / "data.DAT", "x\n");
    pty_session s;
    dialog_driver d(s, probe_exe(), {"missing.txt"}, dir.path);
    ASSERT_TRUE(d.wait(in_title));
    EXPECT_EQ(d.filters(), (std::vector<std::string>{"[All Files (*.*)]", "Data Files (*.DAT)"}));
    d.type_refused("nothere.txt"); // refused by the dialog itself, which stays
    if (!window_dialogs()) {
        ASSERT_TRUE(s.wait_for("File not found"));
        ASSERT_TRUE(s.wait_for("File name: "));
    }
    // Typed without an extension, the terminal dialog adds .DAT; Wine's
    // dialog adds it only to a name that need not exist.
    d.choose(window_dialogs() ? "data.DAT" : "data");
    EXPECT_EQ(s.finish(), 0);
    EXPECT_EQ(s.out, "opened\n");
    EXPECT_EQ(s.err, "");
}

TEST_F(Console, TheInputDialogCancelledTwiceEndsTheRun) {
    SKIP_WITHOUT_DIALOG();
    pty_session s;
    dialog_driver d(s, probe_exe(), {"missing.txt"}, dir.path);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(d.wait(in_title));
        d.cancel();
    }
    EXPECT_EQ(s.finish(), 1);
    EXPECT_EQ(s.out, "");
    EXPECT_TRUE(contains_match(s.err, "^" + diagnostic("Can't open input file (null), BYE") + "$")) << s.err;
}
