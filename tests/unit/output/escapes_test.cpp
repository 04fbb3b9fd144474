#include "output/output.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string byte_form(std::string text, int numeric)
{
    check_special_chars(text.data(), numeric);
    return text.c_str();
}

std::string utf8_form(std::string text, int numeric)
{
    check_special_chars_utf8(text, numeric);
    return text;
}

struct Case {
    const char* in;
    int numeric;
    const char* out;
};

}  // namespace

TEST(PercentEscapes, BothFormsTranslateTheSameWay)
{
    const Case cases[] = {
        {"%Bbold%O", 1, "\002bold\017"},
        {"%C4red%C", 1, "\0034red\003"},
        {"%R%U", 0, "\026\037"},
        {"100%", 1, "100%"},
        {"%", 1, "%"},
        {"%%C", 1, "%C"},
        {"%%%B", 1, "%\002"},
        {"%c%b", 1, "%c%b"},
        {"%x%", 1, "%x%"},
        {"%065", 1, "A"},
        {"%0651", 1, "A1"},
        {"%300", 1, ","},  // 300 modulo 256
        {"%065", 0, "%065"},
        {"x%06", 1, "x%06"},  // fewer than three digits
        {"%06x", 1, "%06x"},
        {"%%065", 1, "%065"},
        {"no escapes", 1, "no escapes"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(byte_form(c.in, c.numeric), c.out) << c.in;
        EXPECT_EQ(utf8_form(c.in, c.numeric), c.out) << c.in;
    }
}

TEST(PercentEscapes, NumericFormNeverMakesControlBytes)
{
    for (const char* in : {"a%010b", "a%013b", "a%000b", "a%256b", "a%266b", "%031"}) {
        EXPECT_EQ(byte_form(in, 1), in);
        EXPECT_EQ(utf8_form(in, 1), in);
    }
    EXPECT_EQ(utf8_form("%032", 1), " ");
    EXPECT_EQ(utf8_form("%288", 1), " ");
}

TEST(PercentEscapes, UnconvertibleByteStaysRaw)
{
    // The test runs in the C locale, where 0xE9 is no character.
    EXPECT_EQ(utf8_form("caf%233", 1), "caf\xE9");
}

TEST(PercentEscapes, DoubledValuesComeThroughLiterally)
{
    const std::string value = "50%B %C4 %010 100%";
    EXPECT_EQ(double_percent(value), "50%%B %%C4 %%010 100%%");
    EXPECT_EQ(utf8_form("/say " + double_percent(value), 1), "/say " + value);
    EXPECT_EQ(byte_form(double_percent(value), 1), value);
}

TEST(TerminalColours, SequencesBecomeIrcColours)
{
    const std::pair<const char*, const char*> cases[] = {
        {"\033[1;31mX", "\00307X"},  // bright red is orange
        {"\033[0mX", "\017X"},
        {"\033[mX", "\017X"},
        {"\033[32;44m", "\0033,02"},
        {"\033[2Jclear", "clear"},
        {"a\rb\r\n", "ab\n"},
        {"\033[31mred\033[0m plain", "\00304red\017 plain"},
        {"\033[33m\033[44m", "\00305\00310,02"},  // the held foreground is mapped again
        {"\033[1;32mA\033[0m\033[34mB", "\00309A\017\00312B"},  // "1;" stays the first number
        {"\033[99999999999999999999m", "\0031,01"},  // digits past 15 are dropped
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(exec_handle_colors(in), out) << in;
}

TEST(TerminalColours, InPlaceResultIsCutToTheText)
{
    // A background, once present, is written with every later sequence.
    EXPECT_EQ(exec_handle_colors("\033[40m\033[1m"), "\0031,01\0034,04");
    char text[] = "\033[40m\033[1m\0GUARD";
    exec_handle_colors(text, 9);
    EXPECT_STREQ(text, "\0031,01\0034,0");
    EXPECT_STREQ(text + 10, "GUARD");

    char colours[] = "\033[1;31mhot\033[0m";
    exec_handle_colors(colours, sizeof colours - 1);
    EXPECT_STREQ(colours, "\00307hot\017");
}
