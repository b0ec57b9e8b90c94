#include <gtest/gtest.h>

#include <string>

#include "INCLUDE1/GENERICW.h"
#include "platform/dialog_errors.h"

TEST(MakeVersion, StampIsYearMonthDayHourMinuteThenSuffix) {
    struct {
        const char *date, *time, *suffix, *stamp;
    } cases[] = {
        {"Feb  5 2002", "07:47:38", "", "02.02.05.07.47"},
        {"Jan 15 2002", "23:05:59", "", "02.01.15.23.05"},
        {"Dec 31 1999", "00:00:00", "\xFB", "99.12.31.00.00\xFB"},
        {"Xyz  1 2020", "12:34:56", "", "20..01.12.34"}, // no month matched
        {"jan  1 2020", "12:34:56", "", "20..01.12.34"}, // names are case-sensitive
        {"Oct 10 2010", "10:10:10", nullptr, "10.10.10.10.10"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(std::string(make_version(c.date, c.time, c.suffix)), c.stamp) << c.date;
}

TEST(MakeVersion, EachCallReturnsANewText) {
    char *a = make_version("Feb  5 2002", "07:47:38", "");
    char *b = make_version("Jan 15 2002", "23:05:59", "");
    EXPECT_NE(a, b);
    EXPECT_STREQ(a, "02.02.05.07.47");
}

TEST(OverwriteQuestion, KeysAnswerAsTyped) {
    struct {
        int key;
        overwrite_answer answer;
    } cases[] = {
        {'Y', overwrite_answer::overwrite}, {'y', overwrite_answer::overwrite},
        {'O', overwrite_answer::overwrite}, {'o', overwrite_answer::overwrite},
        {'A', overwrite_answer::append},    {'a', overwrite_answer::append},
        {'N', overwrite_answer::quit},      {'n', overwrite_answer::quit},
        {'Q', overwrite_answer::quit},      {'q', overwrite_answer::quit},
        {console_key_gone, overwrite_answer::quit},
        {console_key_interrupt, overwrite_answer::interrupted}, // Ctrl-C, as a Windows console hands it over
        {0x03, overwrite_answer::ask_again},                    // the byte alone is no Ctrl-C
        {'z', overwrite_answer::ask_again}, {console_key_other, overwrite_answer::ask_again},
        {console_key_resumed, overwrite_answer::ask_again},
        {'\n', overwrite_answer::ask_again}, {0x1B, overwrite_answer::ask_again},
    };
    for (const auto &c : cases)
        EXPECT_EQ(answer_for_key(c.key), c.answer) << c.key;
}

TEST(DialogErrors, OnlyAWindowThatCannotBeMadeMeansNoDialog) {
    struct {
        std::uint32_t code;
        dialog_result result;
    } cases[] = {
        {0, dialog_result::cancelled},          // the user cancelled
        {0x0001, dialog_result::unavailable},   // CDERR_STRUCTSIZE
        {0x0002, dialog_result::unavailable},   // CDERR_INITIALIZATION
        {0x0009, dialog_result::unavailable},   // CDERR_MEMALLOCFAILURE
        {0xFFFF, dialog_result::unavailable},   // CDERR_DIALOGFAILURE
        {0x3001, dialog_result::failed},        // FNERR_SUBCLASSFAILURE
        {0x3002, dialog_result::failed},        // FNERR_INVALIDFILENAME
        {0x3003, dialog_result::failed},        // FNERR_BUFFERTOOSMALL
    };
    for (const auto &c : cases)
        EXPECT_EQ(dialog_result_for_error(c.code), c.result) << std::hex << c.code;
}
