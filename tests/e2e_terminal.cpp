// The tool on a real terminal among the shell's jobs and signals: nohup,
// signals at the question and in the dialog, background jobs, Ctrl-Z and fg,
// the banner's glyphs, the announcement and percentage, names escaped.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include <csignal>
#include <cstring>

#include <termios.h>
#include <unistd.h>

#include "tests/support/console_cases.h"

namespace {
struct Terminal : console_case {};
} // namespace

// Terminal signals are the POSIX terminal's; Wine's console has none of them.
#define SKIP_UNDER_RUNNER()                                                                                  \
    do {                                                                                                       \
        if (under_runner())                                                                                    \
            GTEST_SKIP() << "POSIX terminal signals and job control";                                        \
    } while (0)

TEST_F(Terminal, UnderNohupAHangupAtTheQuestionChangesNothingAndALostTerminalMeansQ) {
    SKIP_UNDER_RUNNER();
    pty_options nohup;
    nohup.ignored_signals = {SIGHUP};
    for (bool terminal_lost : {false, true}) {
        write_file(dir / "old.txt", "old\n");
        pty_session s;
        dialog_driver d(s, tool_exe(), {"a.txt", "-"}, dir.path, nohup);
        choose(d, "old.txt");
        ASSERT_TRUE(s.wait_for(asks_overwrite));
        if (terminal_lost) {
            close(s.master); // the key read fails: nobody can answer
            s.master = -1;
            EXPECT_EQ(s.finish(), 4);
            EXPECT_EQ(read_file(dir / "old.txt"), "old\n");
        } else {
            kill(s.pid, SIGHUP);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            s.type("Y");
            expect_converted(s, "old.txt");
        }
    }
}

// A signal at the question or in the dialog ends the tool alone, by that
// signal, with the terminal as it was: never the script that runs it (a
// dialog library's handler once sent it on to the whole process group),
// and never a terminal left without echo (dash does not restore it).
TEST_F(Terminal, ASignalEndsTheToolAloneAndLeavesTheTerminalAsItWas) {
    SKIP_UNDER_RUNNER();
    write_file(dir / "old.txt", "old\n");
    pty_options o;
    o.stdio_on_terminal = true;
    o.no_runner = true;
    o.env = {"TERM=xterm"};
    // Key: typed at the terminal (the shell ignores it); otherwise sent to the tool alone.
    struct {
        int sig;
        std::string key;
    } cases[] = {{SIGINT, "\x03"}, {SIGTERM, ""},   {SIGHUP, ""},    {SIGQUIT, ""},
                 {SIGUSR1, ""},     {SIGUSR2, ""},   {SIGALRM, ""},   {SIGVTALRM, ""},
                 {SIGPROF, ""},     {SIGXCPU, ""},   {SIGRTMIN, ""}};
    for (const bool at_question : {false, true})
        for (const auto &c : cases) {
            const std::string label = std::string(strsignal(c.sig)) + (at_question ? " at the question" : " in the dialog");
            pty_session s;
            start_on_pty(s, "/bin/sh",
                         {"-c", "ulimit -c 0; trap : INT; stty -a > before; sleep 300 & s=$!; \"$0\" a.txt -; "
                                "echo status=$?; stty -a > after; cmp -s before after && echo same modes; "
                                "kill -0 $s && echo sleep lives; kill $s",
                          tool_exe()},
                         dir.path, o);
            ASSERT_TRUE(s.wait_for("File name: ")) << label << s.screen;
            if (at_question) {
                s.type("old.txt\n");
                ASSERT_TRUE(s.wait_for(asks_overwrite)) << label << s.screen;
            }
            if (!c.key.empty()) {
                s.type(c.key);
            } else {
                const int tool = child_named(s.pid, "lfswap");
                ASSERT_GT(tool, 0) << label;
                kill(tool, c.sig);
            }
            EXPECT_TRUE(s.wait_for("status=" + std::to_string(128 + c.sig) + "\r\n")) << label << s.screen;
            EXPECT_TRUE(s.wait_for("same modes")) << label << read_file(dir / "before") << read_file(dir / "after");
            EXPECT_TRUE(s.wait_for("sleep lives")) << label;
            s.finish();
            EXPECT_EQ(read_file(dir / "old.txt"), "old\n") << label;
        }
}

// A background job whose shell is gone reads EIO from the terminal: no
// dialog can be had, and asking again would spin for ever. The same where
// SIGTTIN and SIGTTOU are ignored.
TEST_F(Terminal, ABackgroundJobThatCannotReadTheTerminalEndsWithoutADialog) {
    SKIP_UNDER_RUNNER();
    pty_session s;
    start_shell(s, dir.path);
    const std::string tool = "'" + tool_exe() + "' a.txt -";
    s.type("( (" + tool + "; echo rc=$? > orphan.rc) & )\n");
    s.type("(trap '' TTIN TTOU; " + tool + "; echo rc=$? > ignored.rc) &\n");
    for (const char *rc : {"orphan.rc", "ignored.rc"}) {
        for (int i = 0; i < 100 && !file_exists(dir / rc); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        s.read_for(100);
        EXPECT_EQ(file_exists(dir / rc) ? read_file(dir / rc) : "still running", "rc=1\n") << rc << s.screen;
    }
    s.type("exit\n");
    s.finish();
    EXPECT_LT(s.screen.size(), 8000u) << "the dialog was shown again and again";
}

TEST_F(Terminal, AfterCtrlZAndFgTheQuestionStillTakesOneKey) {
    SKIP_UNDER_RUNNER();
    SKIP_WITHOUT_DIALOG();
    write_file(dir / "old.txt", "old\n");
    pty_session s;
    start_shell(s, dir.path);
    s.type(tool_exe() + " a.txt -\n");
    ASSERT_TRUE(s.wait_for("File name: ")) << s.screen;
    s.type("old.txt\n");
    ASSERT_TRUE(s.wait_for(asks_overwrite));
    // Until the tool has set its one-key mode (the master side reads the
    // terminal's modes): a Ctrl-Z before it stops a tool that never knew.
    termios modes{};
    for (int i = 0; i < 100 && tcgetattr(s.master, &modes) == 0 && (modes.c_lflag & ICANON); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    s.type("\x1a"); // Ctrl-Z
    ASSERT_TRUE(s.wait_for("Stopped")) << s.screen;
    ASSERT_TRUE(s.wait_for("$ "));
    // Sent on in the background, it stops again until it has the terminal.
    s.type("bg\n");
    ASSERT_TRUE(s.wait_for("Stopped")) << s.screen;
    s.type("fg\n");
    ASSERT_TRUE(s.wait_for("a.txt -")) << s.screen;
    // Asked again once the one-key mode is set again.
    ASSERT_TRUE(s.wait_for(asks_overwrite)) << "the question was not drawn again:" << s.screen;
    s.type("A"); // no return
    ASSERT_TRUE(s.wait_for("$ ", 5000)) << "the key needed a return after fg:" << s.screen;
    s.type("echo rc=$?\n");
    EXPECT_TRUE(s.wait_for("rc=0")) << s.screen;
    s.type("exit\n");
    s.finish();
    EXPECT_EQ(read_file(dir / "old.txt"), "old\none\r\ntwo\r\n");
    std::size_t asked = 0;
    for (std::size_t at = 0; (at = s.screen.find(asks_overwrite, at)) != std::string::npos; ++at)
        ++asked;
    EXPECT_EQ(asked, 2u) << "drawn again once, after fg:" << s.screen;
}

// UTF-8 glyphs where the locale's codeset is UTF-8; elsewhere ASCII (the
// Windows console draws code page 437 itself).
TEST_F(Terminal, TheBannerIsDrawnInTheTerminalsCharacterSet) {
    struct {
        std::string locale;
        std::vector<std::string> glyphs;
    } cases[] = {
        {"LC_ALL=C.UTF-8", {"\u2554\u2550\u2550", "\u2557", "\u2551", "\u255A", "\u255D", "\u221A"}},
        {"LANG=C", {"+====", "=+", "|", "v "}},
        {"LANG=xx_YY.none", {"+===="}}, // a locale that is not installed
    };
    for (const auto &c : cases) {
        if (under_runner() && c.locale != "LC_ALL=C.UTF-8")
            continue;
        pty_options o;
        o.stdio_on_terminal = true;
        o.env = {c.locale};
        pty_session s;
        dialog_driver d(s, tool_exe(), {}, dir.path, o);
        EXPECT_EQ(s.finish(), 6);
        std::string text = shown_text(s.screen);
        for (const std::string &glyph : c.glyphs)
            EXPECT_NE(text.find(glyph), std::string::npos) << c.locale << " " << glyph << text;
        if (c.glyphs[0][0] == '+')
            EXPECT_TRUE(std::all_of(text.begin(), text.end(), [](char b) { return (b & 0x80) == 0; }))
                << c.locale << ": a byte that is not ASCII";
    }
}

TEST_F(Terminal, OnATerminalTheAnnouncementAndPercentageAppear) {
    pty_options o;
    o.stdio_on_terminal = true;
    pty_session s;
    dialog_driver d(s, tool_exe(), {"a.txt", "b.txt"}, dir.path, o);
    EXPECT_EQ(s.finish(), 0);
    std::string text = shown_text(s.screen);
    EXPECT_NE(text.find("a.txt is a UNIX file b.txt will be a DOS file\n"), std::string::npos) << text;
    EXPECT_NE(text.find("100 %"), std::string::npos) << text;
    // A name beyond ASCII appears as typed: on Windows the tool holds it in
    // the ANSI code page, and the console shows its own (OEM) one.
    write_file(dir / "caf\xC3\xA9.txt", "x\n");
    if (!under_runner())
        o.env = {"LC_ALL=C.UTF-8"}; // where it is no character, a name is shown escaped
    for (const auto &[args, shown] : {std::pair<std::vector<std::string>, std::string>{
                                          {"caf\xC3\xA9.txt", "b.txt"}, "caf\xC3\xA9.txt is a UNIX file"},
                                      {{"n\xC3\xB6.txt", "b.txt"}, "Can't open input file n\xC3\xB6.txt, BYE"}}) {
        pty_session named;
        dialog_driver dn(named, tool_exe(), args, dir.path, o);
        named.finish();
        EXPECT_NE(shown_text(named.screen).find(shown), std::string::npos) << shown_text(named.screen);
    }
    if (under_runner())
        return; // Wine's console redraws the cells in its own way
    // 250 chunks, but a field equal to the one shown is not written again.
    std::string big;
    while (big.size() < 250 * 49440)
        big += "fifteen bytes\n";
    big.resize(250 * 49440);
    write_file(dir / "big.txt", big);
    pty_session s2;
    dialog_driver d2(s2, tool_exe(), {"big.txt", "c.txt"}, dir.path, o);
    EXPECT_EQ(s2.finish(), 0);
    const std::vector<int> shown = percent_values(s2.screen);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), 100);
    EXPECT_TRUE(std::adjacent_find(shown.begin(), shown.end(), std::greater_equal<int>()) == shown.end())
        << testing::PrintToString(shown);
}

TEST_F(Terminal, NamesOnATerminalAreShownEscapedAndInAPipeAsTheyAre) {
    if (under_runner())
        GTEST_SKIP() << "Windows names hold no control characters";
    const std::string odd = "odd\x1b[2J\x1b]2;PWNED\x07.txt", shown = "odd\\033[2J\\033]2;PWNED\\007.txt";
    write_file(dir / odd, "x\n");
    pty_options tty;
    tty.stdio_on_terminal = true;
    tty.env = {"TERM=xterm"};
    struct {
        std::vector<std::string> args;
        std::string keys, on_screen;
    } cases[] = {
        {{odd, "b.txt"}, "", shown + " is a UNIX file b.txt will be a DOS file"}, // standard output
        {{"no" + odd, "b.txt"}, "", "Can't open input file no" + shown + ", BYE"},  // a diagnostic
        {{"a.txt", "-"}, "od\t\n", shown + " aleady exists"},                    // the question, then Q
    };
    for (const auto &c : cases) {
        pty_session s;
        start_on_pty(s, tool_exe(), c.args, dir.path, tty);
        if (!c.keys.empty()) {
            ASSERT_TRUE(s.wait_for("File name: ")) << s.screen;
            s.type(c.keys);
        }
        EXPECT_TRUE(s.wait_for(c.on_screen)) << testing::PrintToString(s.screen);
        if (!c.keys.empty())
            s.type("q");
        s.finish();
        EXPECT_EQ(s.screen.find("\x1b[2J"), std::string::npos) << c.on_screen << ": the name drove the terminal";
    }
    auto piped = run_tool({"no" + odd, "b.txt"}, dir.path);
    EXPECT_TRUE(has_diagnostic(piped.err, "Can't open input file no" + odd + ", BYE")) << piped.err;
}

TEST_F(Terminal, CtrlCEndsTheRunNeverWithStatus0) {
    SKIP_WITHOUT_DIALOG();
    // Natively the terminal's SIGINT; on Windows STATUS_CONTROL_C_EXIT, of
    // which Wine hands on the low byte.
    const int interrupted = under_runner() ? 0xC000013A & 0xFF : 128 + SIGINT;
    for (const bool at_question : {true, false}) {
        write_file(dir / "old.txt", "old\n");
        pty_session s;
        dialog_driver d(s, tool_exe(), {"a.txt", at_question ? "-" : "no/x.txt"}, dir.path);
        if (at_question) {
            choose(d, "old.txt");
            ASSERT_TRUE(s.wait_for(asks_overwrite)) << s.err << s.screen << s.finish();
        } else {
            ASSERT_TRUE(s.wait_for(asks_return)) << s.err;
        }
        d.keys("\x03");
        EXPECT_EQ(s.finish(), interrupted) << (at_question ? "at the question" : "at the retry wait");
        EXPECT_EQ(read_file(dir / "old.txt"), "old\n");
    }
}

TEST_F(Terminal, WithoutStdinTheRetryWaitDoesNotReadTheInput) {
    SKIP_WITHOUT_DIALOG();
    // Started with stdin closed, the input would be descriptor 0, and the
    // wait for return would eat it; the conversion would then find it empty.
    write_file(dir / "d.txt", "one\r\ntwo\r\n");
    pty_options no_stdin;
    no_stdin.closed_fds = {0};
    if (under_runner())
        GTEST_SKIP() << "Wine's loader takes closed low descriptors for its own before the program starts";
    pty_session s;
    dialog_driver d(s, tool_exe(), {"d.txt", "no/x.txt"}, dir.path, no_stdin);
    ASSERT_TRUE(s.wait_for(asks_return));
    d.answer_wait();
    choose(d, "b.txt");
    EXPECT_EQ(s.finish(), 0);
    EXPECT_EQ(s.out.substr(0, s.out.find('\n') + 1), "d.txt is a DOS file no/x.txt will be a UNIX file\n");
    EXPECT_EQ(read_file(dir / "b.txt"), "one\ntwo\n");
}

TEST_F(Terminal, TheRetryWaitLeavesStandardInputToTheScript) {
    SKIP_WITHOUT_DIALOG();
    // `printf '%s\n' f2.txt f3.txt | while read f; do lfswap ...`: a wait that
    // read standard input would eat the loop's names.
    pty_options script;
    script.no_runner = true;
    std::vector<std::string> words = {"-c", "\"$@\"; echo \"status $?\"; cat", "sh"};
    for (const auto &word : command_words(tool_exe(), {"a.txt", "no/x.txt"}))
        words.push_back(word);
    pty_session s;
    std::optional<dialog_driver> d;
    if (window_dialogs())
        start_on_pty(s, "/bin/sh", words, dir.path, script); // stdin stays the pipe
    else
        d.emplace(s, "/bin/sh", words, dir.path, script);
    s.feed_stdin("f2.txt\nf3.txt\n");
    s.close_stdin();
    ASSERT_TRUE(s.wait_for("error opening output file no/x.txt")) << s.err;
    if (d) {
        ASSERT_TRUE(s.wait_for(asks_return));
        d->answer_wait();
        choose(*d, "b.txt");
    }
    EXPECT_EQ(s.finish(), 0);
    // Under Wine a program whose standard input is a pipe has no console:
    // nobody could answer a wait or a dialog, so the run ends at once.
    const std::string status = d ? "status 0\n" : "status 1\n";
    EXPECT_TRUE(s.out.ends_with(status + "f2.txt\nf3.txt\n")) << s.out;
    if (!d)
        EXPECT_TRUE(contains_match(s.err, diagnostic("no output file can be chosen") + "$")) << s.err;
}

TEST_F(Terminal, TheRetryWaitEndsAtReturnOnly) {
    SKIP_WITHOUT_DIALOG();
    pty_options tty_stdio;
    tty_stdio.stdio_on_terminal = true;
    pty_session s;
    dialog_driver d(s, tool_exe(), {"a.txt", "no/x.txt"}, dir.path, tty_stdio);
    ASSERT_TRUE(s.wait_for_shown(asks_return)) << shown_text(s.screen);
    d.keys("abc");
    EXPECT_FALSE(d.wait(out_title, 1000)) << "the wait ended before return";
    d.keys("\r");
    choose(d, "b.txt");
    expect_converted(s, "b.txt");
}
