// String and pattern helpers, and the zemregexp program built on them.
#include "utilities.h"

#include <gtest/gtest.h>

#include <cstdio>

TEST(FindReplace, ReplacesLeftToRightWithoutRescanning)
{
    std::string text = "banana";
    EXPECT_EQ(ustrfindreplace(text, "a", "aa"), 3);
    EXPECT_EQ(text, "baanaanaa");
    text = "banana";
    EXPECT_EQ(ustrfindreplace_r(text, "a", "aa", 2), 2);
    EXPECT_EQ(text, "baanaana");
    const std::tuple<const char*, const char*, int> refused[] = {{"x", "x", 0}, {"", "z", 0}, {"a", "b", 4097}};
    for (const auto& [find, replace, limit] : refused)
        EXPECT_EQ(ustrfindreplace_r(text, find, replace, limit), 0) << find << limit;
    EXPECT_EQ(text, "baanaana");
    text.assign(5000, 'x');  // more than the 4096 positions of a limited call
    EXPECT_EQ(ustrfindreplace(text, "x", "yz"), 5000);
    EXPECT_EQ(text.find('x'), std::string::npos);
}

TEST(StringHelpers, SearchReplacementAndNulls)
{
    EXPECT_EQ(ustrstr("hello", "lo"), "lo");
    EXPECT_EQ(ustrstr("hello", "zz"), "");
    EXPECT_EQ(strchrpl("a b,c", " ,", '_'), "a_b_c");
    EXPECT_EQ(strchrpl("a b,c", " ,", '\0'), "a");
    std::string message = "\\0034Errore:\\t%s";
    psMessagePointer = &message;
    EXPECT_EQ(local_ustrfindreplace("\\003", "\003") + local_ustrfindreplace("\\t", "\t"), 2);
    EXPECT_EQ(message, "\0034Errore:\t%s");
    psMessagePointer = nullptr;
}

TEST(Zemregexp, MatchesAndExplainsCompileErrors)
{
    EXPECT_EQ(zemregexp("b+$", "abbb"), 1);
    EXPECT_EQ(pmatch.rm_so, 1);
    EXPECT_EQ(pmatch.rm_eo, 4);
    EXPECT_EQ(zemregexp("", "abc"), 0);
    testing::internal::CaptureStdout();
    EXPECT_EQ(zemregexp("(ab", "ab"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "OOPS, Invalid regexp (Un-matched parenthesis group operators.)\n");
    EXPECT_STREQ(ps_zemregexp_error, "Un-matched parenthesis group operators.");
    EXPECT_EQ(zemregexp("a", "a"), 1);
    EXPECT_EQ(ps_zemregexp_error, nullptr);
}

TEST(Zemescaperegexp, EscapesOperatorsButNotPlus)
{
    EXPECT_STREQ(zemescaperegexp("a.b\\c"), "a\\.b\\\\c");
    EXPECT_STREQ(zemescaperegexp("1+1"), "1+1");
    EXPECT_STREQ(zemescaperegexp("?*[](){}^$|"), "\\?\\*\\[\\]\\(\\)\\{\\}\\^\\$\\|");
    EXPECT_EQ(zemescaperegexp(""), nullptr);
}

TEST(MatchMask, WildcardsAndTheIrcCaseRule)
{
    const std::tuple<const char*, const char*, int> cases[] = {
        {"nick!*", "Nick!user", 1}, {"Nick[1]*", "nick{1}away", 1}, {"a\\*b", "a*b", 1}, {"a\\*b", "axb", 0},
        {"a\\?b", "axb", 0},        {"*a?", "ba", 0},                {"*a?", "bab", 1},  {"", "", 1},
        {"", "x", 0},               {"?", "", 0},                    {"*ab*ab", "xabyabab", 1},
        {"a*b*c", "abbbbcd", 0},    {"*!*@*.example.org", "n!u@example.org", 0},
    };
    for (const auto& [mask, text, expected] : cases) EXPECT_EQ(match_mask(mask, text), expected) << mask << " " << text;
}

TEST(ZemregexpProgram, PrintsByteExactTextsAndAlwaysExitsWithZero)
{
    const char* const usage = "Sintax Error\nUse:\n\tzemregexp <regexp> <string>\n\tzemregexp '^[A-Z$_[:punct:]]*$' 'TEST !'\n";
    const std::pair<const char*, std::string> cases[] = {
        {"'a$_b' 'xa b'", "regexp   a b   on:   xa b   = 1\nPattern found from char 2 to 4 = 'a b'\n"},
        {"'x*' abc", "regexp   x*   on:   abc   = 1\nPattern found from char 1 to 0 = ''\n"},
        {"\"b'\" \"'ab'\"", "regexp   b'   on:   ab   = 0\n"},  // only the string loses its quotes
        {"'^x_QUIBOSCRIPT_COMMA_y' 'x,y$_z'", "regexp   ^x,y   on:   x,y z   = 1\nPattern found from char 1 to 3 = 'x,y'\n"},
        {"'(ab' abc", "OOPS, Invalid regexp (Un-matched parenthesis group operators.)\nregexp   (ab   on:   abc   = 0\n"},
        {"only", usage},
    };
    for (const auto& [args, expected] : cases) {
        FILE* program = popen((std::string(ZEMREGEXP_PROGRAM) + " " + args).c_str(), "r");
        ASSERT_NE(program, nullptr);
        std::string output;
        for (int c; (c = fgetc(program)) != EOF;) output += static_cast<char>(c);
        EXPECT_EQ(output, expected) << args;
        EXPECT_EQ(pclose(program), 0) << args;
    }
}
