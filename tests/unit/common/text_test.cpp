// String and pattern helpers, and the zemregexp program built on them.
#include "utilities.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

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

namespace {

int quiet_match(const char* pattern, const char* text)
{
    testing::internal::CaptureStdout();
    const int found = zemregexp(pattern, text);
    testing::internal::GetCapturedStdout();
    return found;
}

}  // namespace

TEST(Zemregexp, KeepsCompiledPatternsWithTheirVerdicts)
{
    // An invalid pattern met again from the cache is reported again, with the same text.
    for (int round = 0; round < 2; ++round) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(zemregexp("a{2", "aa"), 0);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "OOPS, Invalid regexp (Un-matched brace interval operators.)\n");
        EXPECT_STREQ(ps_zemregexp_error, "Un-matched brace interval operators.");
        EXPECT_EQ(zemregexp("x(y+)", "axyyb"), 1);
        EXPECT_EQ(pmatch.rm_so, 1);
        EXPECT_EQ(pmatch.rm_eo, 4);
        EXPECT_EQ(ps_zemregexp_error, nullptr);
    }
    // More patterns than the cache holds: the ones that left are compiled again.
    for (size_t i = 0; i < 2 * kRegexpCacheSize; ++i) {
        const std::string pattern = "^n" + std::to_string(i) + "$";
        EXPECT_EQ(zemregexp(pattern.c_str(), ("n" + std::to_string(i)).c_str()), 1) << pattern;
        EXPECT_EQ(zemregexp(pattern.c_str(), "n"), 0) << pattern;
    }
    EXPECT_EQ(zemregexp("^n0$", "n0"), 1);
}

TEST(Zemregexp, RefusesPatternsThatWouldTakeTooLong)
{
    const char* const expanded = "Pattern too complex: its repetitions expand to too many pieces to match in reasonable time.";
    const char* const backtracking =
        "Pattern too complex: back-references together with repetition operators can take minutes to match.";
    const std::pair<const char*, const char*> refused[] = {
        {"((a{1,100}){1,100}){1,50}", expanded}, {"(a{1,255}){1,255}", expanded},  {"((.*)*){1,255}x", expanded},
        {"(a*)*\\1x", backtracking},       {"(.*)\\1x", backtracking},
        {"(a|b)\\1{2}", backtracking},
    };
    for (const auto& [pattern, reason] : refused) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(zemregexp(pattern, "aaaaaaaaaaaaaaaaaaaaaaaaab"), 0) << pattern;
        EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("OOPS, Invalid regexp (") + reason + ")\n");
        EXPECT_STREQ(ps_zemregexp_error, reason) << pattern;
    }
    // Ordinary patterns, large intervals and plain back-references still work.
    const std::tuple<const char*, const char*, int> accepted[] = {
        {"^[0-9]{1,3}(\\.[0-9]{1,3}){3}$", "10.0.0.254", 1}, {".{1,240}z", "abcz", 1},
        {"([a-z]) \\1", "say a a", 1},                       {"(ab|cd)\\1", "abcd", 0},
        {"[]{}(]{2}", "({", 1},                               {"a{,2}b", "aab", 1},
        {"[[:alpha:]]{3}", "ab1", 0},                         {"\\(+", "((", 1},
    };
    for (const auto& [pattern, text, expected] : accepted) {
        EXPECT_EQ(quiet_match(pattern, text), expected) << pattern;
        EXPECT_EQ(ps_zemregexp_error, nullptr) << pattern;
    }
}

TEST(Numbers, TypedNumbersAreHeldToTheIntRange)
{
    const std::tuple<const char*, int> cases[] = {
        {"42", 42},          {" -7x", -7},        {"+3", 3},          {"99999999999999999999", INT_MAX},
        {"-99999999999999999999", INT_MIN}, {"2147483648", INT_MAX}, {"-2147483649", INT_MIN},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(clamped_int(text), expected) << text;
    EXPECT_EQ(clamped_int("off", -1), -1);
    EXPECT_EQ(clamped_int("", -1), -1);
    EXPECT_EQ(clamped_int(nullptr, 5), 5);
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
        // Refused at once: compiled, it would take seconds and close to a gigabyte.
        {"'((a{1,100}){1,100}){1,50}' aaaaaaaaaab",
         "OOPS, Invalid regexp (Pattern too complex: its repetitions expand to too many pieces to match in reasonable "
         "time.)\nregexp   ((a{1,100}){1,100}){1,50}   on:   aaaaaaaaaab   = 0\n"},
    };
    for (const auto& [args, expected] : cases) {
        // Two seconds of processor time are far more than any of these needs.
        const std::string line = std::string("ulimit -t 2; ") + ZEMREGEXP_PROGRAM + " " + args;
        FILE* program = popen(line.c_str(), "r");
        ASSERT_NE(program, nullptr);
        std::string output;
        for (int c; (c = fgetc(program)) != EOF;) output += static_cast<char>(c);
        EXPECT_EQ(output, expected) << args;
        EXPECT_EQ(pclose(program), 0) << args;
    }
}

TEST(ZemregexpProgram, SeesMultiByteCharactersAsTheClientDoes)
{
    const std::string line = std::string("LC_ALL=C.UTF-8 ") + ZEMREGEXP_PROGRAM + " '^.$' '\xc3\xa9'";
    FILE* program = popen(line.c_str(), "r");
    ASSERT_NE(program, nullptr);
    std::string output;
    for (int c; (c = fgetc(program)) != EOF;) output += static_cast<char>(c);
    pclose(program);
    EXPECT_EQ(output, "regexp   ^.$   on:   \xc3\xa9   = 1\nPattern found from char 1 to 2 = '\xc3\xa9'\n");
}
