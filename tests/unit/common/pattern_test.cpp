#include "utilities.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Runs zemregexp and returns what it printed.
std::string quietly(const char* pattern, const char* text, int& result)
{
    testing::internal::CaptureStdout();
    result = zemregexp(pattern, text);
    return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(Zemregexp, MatchesAndRecordsTheWholeMatch)
{
    EXPECT_EQ(zemregexp("^ab+$", "abbb"), 1);
    EXPECT_EQ(pmatch.rm_so, 0);
    EXPECT_EQ(pmatch.rm_eo, 4);
    EXPECT_EQ(zemregexp("b+", "xabbc"), 1);
    EXPECT_EQ(pmatch.rm_so, 2);
    EXPECT_EQ(pmatch.rm_eo, 4);

    EXPECT_EQ(zemregexp("^z", "abc"), 0);
    EXPECT_EQ(pmatch.rm_so, 2) << "a failed search keeps the last match";
    EXPECT_EQ(zemregexp("", "abc"), 0);
    EXPECT_EQ(zemregexp("a", ""), 0);
    EXPECT_EQ(zemregexp(nullptr, "a"), 0);
}

TEST(Zemregexp, CompileErrorsHaveReadableTexts)
{
    int result = -1;
    EXPECT_EQ(quietly("(ab", "ab", result), "OOPS, Invalid regexp (Un-matched parenthesis group operators.)\n");
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(ps_zemregexp_error, "Un-matched parenthesis group operators.");

    const std::pair<const char*, const char*> cases[] = {
        {"[a", "Un-matched bracket list operators."},
        {"a\\", "Trailing backslash."},
        {"*a", "Invalid use of repetition operators such as using `*' as the first character."},
        {"a{2,1}", "Invalid use of back reference operator."},
        {"[[:foo:]]", "Unknown character class name."},
        {"[z-a]",
         "Invalid use of the range operator, eg. the ending point of the range occurs prior to the starting  point."},
        {"a{99999}",
         "Compiled  regular expression requires a pattern buffer larger than 64Kb.  This is not defined by POSIX.2."},
    };
    for (const auto& [pattern, text] : cases) {
        quietly(pattern, "a", result);
        EXPECT_STREQ(ps_zemregexp_error, text) << pattern;
    }

    EXPECT_EQ(zemregexp("a", "a"), 1);
    EXPECT_EQ(ps_zemregexp_error, nullptr) << "a good compile forgets the last error";
}

TEST(Zemescaperegexp, EscapesOperatorsButNotPlus)
{
    EXPECT_STREQ(zemescaperegexp("a.b\\c"), "a\\.b\\\\c");
    EXPECT_STREQ(zemescaperegexp("1+1"), "1+1");
    EXPECT_STREQ(zemescaperegexp("?*[](){}^$|"), "\\?\\*\\[\\]\\(\\)\\{\\}\\^\\$\\|");
    EXPECT_EQ(zemescaperegexp(""), nullptr);
    EXPECT_EQ(zemescaperegexp(nullptr), nullptr);

    const std::string nick = "[Guest]^.*";
    ASSERT_EQ(zemregexp(("^" + std::string(zemescaperegexp(nick.c_str())) + "$").c_str(), nick.c_str()), 1);
    EXPECT_EQ(zemregexp(("^" + std::string(zemescaperegexp(nick.c_str())) + "$").c_str(), "GGuest]^xx"), 0);
}

TEST(MatchMask, WildcardsAndTheIrcCaseRule)
{
    const struct {
        const char* mask;
        const char* text;
        int expected;
    } cases[] = {
        {"nick!*", "Nick!user", 1},
        {"Nick[1]*", "nick{1}away", 1},
        {"NICK^", "nick~", 1},
        {"a\\*b", "a*b", 1},
        {"a\\*b", "axb", 0},
        {"a\\?b", "a?b", 1},
        {"a\\?b", "axb", 0},
        {"a\\b", "a|b", 1},  // a lone backslash is a literal, folded like any byte
        {"*a?", "ba", 0},
        {"*a?", "bab", 1},
        {"", "", 1},
        {"", "x", 0},
        {"*", "", 1},
        {"?", "", 0},
        {"*!*@*.example.org", "nick!user@host.example.org", 1},
        {"*!*@*.example.org", "nick!user@example.org", 0},
        {"*ab*ab", "xabyabab", 1},  // the second star has to back off
        {"a*b*c", "abbbbc", 1},
        {"a*b*c", "abbbbcd", 0},
        {"abc", "ab", 0},
        {"ab", "abc", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(match_mask(c.mask, c.text), c.expected) << c.mask << " ~ " << c.text;
    EXPECT_EQ(match_mask(nullptr, "a"), 0);
    EXPECT_EQ(match_mask("a", nullptr), 0);
}
