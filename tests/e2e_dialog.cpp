// The terminal file dialog as a person uses it: completion, listings,
// escaped names, line editing, history and a window that changes size
// (signals: e2e_terminal.cpp). It is the POSIX backend's; the Windows tool
// has the common dialog.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>

#include <sys/ioctl.h>

#include "tests/support/pty_run.h"
#include "tests/support/tool_run.h"

namespace fs = std::filesystem;

namespace {

const std::string left = "\x1b[D", up = "\x1b[A", end_key = "\x1b[F", kill_line = "\x15";

struct Dialog : testing::Test {
    scratch_dir dir;
    void SetUp() override {
        if (under_runner())
            GTEST_SKIP() << "the terminal dialog belongs to the POSIX tool";
        for (const char *name : {"alpha.txt", "alpine.txt", "beta.txt", "skip.dat", ".hidden.txt", "sub/inner.txt"}) {
            fs::create_directories((dir / name).substr(0, (dir / name).rfind('/')));
            write_file(dir / name, "x\n");
        }
    }
    // The probe's two dialogs with the filter pair "Text (*.txt)" (and any
    // `more` pairs), in `cwd` (the scratch folder when empty).
    void start(pty_session &s, const pty_options &o = {}, const std::vector<std::string> &more = {},
               const std::string &cwd = "") {
        pty_options with_term = o;
        with_term.env.push_back("TERM=xterm");
        std::vector<std::string> args = {"--dialog", "Text (*.txt)", "*.txt"};
        args.insert(args.end(), more.begin(), more.end());
        start_on_pty(s, probe_exe(), args, cwd.empty() ? dir.path : cwd, with_term);
        ASSERT_TRUE(s.wait_for("File name: ")) << s.screen;
    }
    // What the probe printed for its two dialogs.
    std::string chosen(const std::string &a, const std::string &b) const { return dir / a + "\n" + dir / b + "\n"; }
};

} // namespace

TEST_F(Dialog, TheHeldNameIsEditableAndTheUpArrowBringsBackAnEarlierChoice) {
    const std::string home = "\x1b[H", kill_to_end = "\x0b";
    struct {
        std::string keys, second;
    } cases[] = {
        {left + left + left + left + "X" + end_key + "2\n", "betaX.txt2"}, // insert, then append
        {home + kill_to_end + dir / "alpha.txt\n", "alpha.txt"},         // from the start
        {kill_line + up + "\n", "beta.txt"},                              // the earlier choice
    };
    for (const auto &c : cases) {
        pty_session s;
        start(s);
        s.type("beta.txt\n");
        // The second dialog starts on the name chosen in the first.
        ASSERT_TRUE(s.wait_for("File name: " + dir / "beta.txt")) << s.screen;
        s.type(c.keys);
        EXPECT_EQ(s.finish(), 0);
        EXPECT_EQ(s.out, chosen("beta.txt", c.second)) << c.second;
    }
}

// A narrow, short window: the header is wrapped at words (the path alone
// may be longer than a line), and a listing longer than the window is
// asked about first, by Return and by Tab Tab, the line kept.
TEST_F(Dialog, ANarrowWindowWrapsTheHeaderAtWordsAndALongListingIsAskedAboutFirst) {
    fs::create_directory(dir / "many");
    for (int i = 10; i < 30; ++i)
        write_file(dir / ("many/f" + std::to_string(i) + ".txt"), "x\n");
    pty_options small;
    small.rows = 8;
    small.columns = 20;
    pty_session s;
    start(s, small);
    const std::string header = s.screen.substr(0, s.screen.find("File name: "));
    EXPECT_NE(header.find("  Folder:"), std::string::npos) << header;
    EXPECT_NE(header.find(dir.path), std::string::npos) << header;
    std::istringstream lines(header);
    for (std::string line; std::getline(lines, line);)
        EXPECT_TRUE(line.size() <= 21 || line.find(dir.path) != std::string::npos) << line;
    s.type("many\n");
    ASSERT_TRUE(s.wait_for("Display all 20 possibilities? (y or n)")) << s.screen;
    s.type("n");
    ASSERT_TRUE(s.wait_for("File name: many/")) << s.screen;
    s.type("\t\t");
    ASSERT_TRUE(s.wait_for("Display all 20 possibilities? (y or n)")) << s.screen;
    s.type("y");
    ASSERT_TRUE(s.wait_for("f29.txt") && s.wait_for("File name: many/")) << s.screen;
    s.type("12.txt\n"); // the first Tab completed the "f"
    ASSERT_TRUE(s.wait_for("Probe") && s.wait_for("File name: "));
    s.type(kill_line + "\x04");
    EXPECT_EQ(s.finish(), 0);
    EXPECT_EQ(s.screen.find("f10.txt"), s.screen.rfind("f10.txt")) << "the unasked listing was shown";
    EXPECT_EQ(s.out, dir / "many/f12.txt\n(cancelled)\n");
}

// What users of shells and other pickers expect of the line: each case's
// keys are typed in steps, each step waiting for what it should show.
TEST_F(Dialog, KeysAsInAShellAndNamesAsTheKernelMeansThem) {
    const std::string odd = "odd\x1b[2Jname.txt";
    fs::create_directory(dir / "o");
    write_file(dir / ("o/" + odd), "x\n");
    fs::create_directories(dir / "d");
    write_file(dir / "d/evil2.txt", "x\n");
    write_file(dir / "d/evil\x1b[2Jname.txt", "x\n");
    fs::create_directories(dir / "elsewhere/inner");
    fs::create_directory_symlink("elsewhere/inner", dir / "link");
    fs::create_directories(dir / "home");
    write_file(dir / "home/h.txt", "x\n");
    fs::create_directories(dir / "gone");
    fs::create_directories(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::none);
    fs::permissions(dir.path, fs::perms::all);
    pty_options nobody, no_home;
    nobody.as_nobody = true; // root would read the folder
    no_home.env.push_back("HOME=");
    struct step {
        std::string keys, then; // typed, then waited for ("" for nothing)
        std::function<void(pty_session &)> before = nullptr;
    };
    const auto narrow_window = [](pty_session &s) {
        winsize narrow{};
        narrow.ws_row = 20;
        narrow.ws_col = 50;
        ASSERT_EQ(ioctl(s.master, TIOCSWINSZ, &narrow), 0);
    };
    const std::string pg_up = "\x1b[5~", pg_dn = "\x1b[6~", ins = "\x1b[2~", f5 = "\x1b[15~", f1 = "\x1bOP";
    struct {
        const char *what;
        std::vector<step> steps;
        std::string out, cwd;
        pty_options options{};
        std::vector<std::string> absent{}; // never on the screen
    } cases[] = {
        {"Tab completes a unique name; a second Tab lists the candidates",
         {{"alp\t\t", "alpha.txt"}, {"", "alpine.txt"}, {kill_line + "be\t\n", ""}}, dir / "beta.txt"},
        {"completion passes what the filter leaves out: a folder, then its one file",
         {{"s\t\t\n", ""}}, dir / "sub/inner.txt"},
        {"an empty line lists folders first, a folder name its folder, only what the filter lets through",
         {{"\n", "sub/"}, {"", "alpine.txt"}, {"sub\n", "inner.txt"}, {"", "File name: sub/"}, {"inner.txt\n", ""}},
         dir / "sub/inner.txt", "", {}, {"skip.dat", ".hidden"}},
        {"hidden names only for a prefix with a dot", {{".h\t\n", ""}}, dir / ".hidden.txt"},
        {"a name holding an escape sequence is listed escaped, completed as it is",
         {{"o\n", "odd\\033[2Jname.txt"}, {"", "File name: o/"}, {"\t\n", ""}}, dir / ("o/" + odd)},
        {"a window that changes size leaves the line whole",
         {{"bet", "bet"}, {"", "File name: bet", narrow_window}, {"a.txt\n", ""}}, dir / "beta.txt"},
        {"a second Tab after a partial completion lists at once",
         {{"d/ev\t", "il"}, {"\t", "evil\\033[2Jname.txt"}, {kill_line + "beta.txt\n", ""}},
         dir / "beta.txt"},
        {"keys without a binding put nothing on the line",
         {{"beta" + pg_up + pg_dn + ins + f5 + f1 + "\x1b[99z\x1b[1;5C.txt\n", ""}},
         dir / "beta.txt"},
        {"`..` after a symlink leads where the link leads", {{"link/../out.txt\n", ""}}, dir / "elsewhere/out.txt"},
        {"~/ is the home folder, typed or completed", {{"~\th\t\n", ""}}, dir / "home/h.txt"},
        {"a current folder that is gone is said, and an absolute name still works",
         {{"x.txt\n", "The current folder no longer exists.", [&](pty_session &) { fs::remove(dir / "gone"); }},
          {kill_line + dir / "beta.txt\n", ""}},
         dir / "beta.txt", dir / "gone"},
        {"Ctrl-T selects the next pair, and completion follows it",
         {{"\x14", "Files of type:   Text (*.txt)   [Data (*.dat)]"}, {"sk\t\n", ""}},
         dir / "skip.dat (type 2)"},
        {"a listing names its folder", {{"sub\n", "  In " + dir / "sub:"}, {"inner.txt\n", ""}},
         dir / "sub/inner.txt"},
        {"a folder that cannot be read is said to be so, not empty",
         {{"locked\n", dir / "locked cannot be read."}, {kill_line + "beta.txt\n", ""}},
         dir / "beta.txt", "", nobody},
        {"with HOME unset, ~ is said to name no folder, not taken as ./~",
         {{"~/h.txt\n", "~ names no folder here: HOME is not set."}, {kill_line + "beta.txt\n", ""}},
         dir / "beta.txt", "", no_home},
        {"a line of blanks is an empty line: the folder is listed",
         {{"   \n", "  In " + dir.path + ":"}, {kill_line + "beta.txt\n", ""}},
         dir / "beta.txt"},
    };
    for (const auto &c : cases) {
        pty_session s;
        pty_options home = c.options;
        if (home.env.empty())
            home.env.push_back("HOME=" + dir / "home");
        start(s, home, {"Data (*.dat)", "*.dat"}, c.cwd);
        for (const step &st : c.steps) {
            if (st.before)
                st.before(s);
            s.type(st.keys);
            EXPECT_TRUE(st.then.empty() || s.wait_for(st.then)) << c.what << testing::PrintToString(s.screen);
        }
        EXPECT_TRUE(s.wait_for("Probe") && s.wait_for("File name: ")) << c.what; // the second dialog
        s.type(kill_line + "\x04");
        EXPECT_EQ(s.finish(), 0) << c.what;
        EXPECT_EQ(s.out, c.out + (c.out.ends_with(")") ? "" : " (type 1)") + "\n(cancelled)\n") << c.what;
        EXPECT_EQ(s.screen.find("\x1b[2J"), std::string::npos) << c.what << ": a name drove the terminal";
        for (const std::string &text : c.absent)
            EXPECT_EQ(s.screen.find(text), std::string::npos) << c.what << ": " << text << " shown";
    }
}
