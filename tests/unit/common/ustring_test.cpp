#include "utilities.h"

#include <gtest/gtest.h>

TEST(FindReplace, ReplacesLeftToRightWithoutRescanning)
{
    std::string text = "banana";
    EXPECT_EQ(ustrfindreplace(text, "a", "aa"), 3);
    EXPECT_EQ(text, "baanaanaa");

    text = "banana";
    EXPECT_EQ(ustrfindreplace_r(text, "a", "aa", 2), 2);
    EXPECT_EQ(text, "baanaana");

    text = "aaaa";
    EXPECT_EQ(ustrfindreplace(text, "aa", "b"), 2);  // non-overlapping
    EXPECT_EQ(text, "bb");

    text = "a$_b$_";
    EXPECT_EQ(ustrfindreplace(text, "$_", ""), 2);
    EXPECT_EQ(text, "ab");
}

TEST(FindReplace, RefusedRequestsLeaveTheTextAlone)
{
    std::string text = "banana";
    const char* same = "a";
    EXPECT_EQ(ustrfindreplace(text, "x", "x"), 0);
    EXPECT_EQ(ustrfindreplace(text, same, same), 0);
    EXPECT_EQ(ustrfindreplace(text, "", "z"), 0);
    EXPECT_EQ(ustrfindreplace(text, nullptr, "z"), 0);
    EXPECT_EQ(ustrfindreplace(text, "a", nullptr), 0);
    EXPECT_EQ(ustrfindreplace_r(text, "a", "b", 4097), 0);
    EXPECT_EQ(ustrfindreplace_r(text, "a", "b", -1), 0);
    EXPECT_EQ(text, "banana");

    std::string empty;
    EXPECT_EQ(ustrfindreplace(empty, "a", "b"), 0);
}

TEST(FindReplace, UnlimitedReplacementGoesPastThePositionTable)
{
    std::string text(5000, 'x');
    EXPECT_EQ(ustrfindreplace(text, "x", "yz"), 5000);
    EXPECT_EQ(text.size(), 10000u);
    EXPECT_EQ(text.find('x'), std::string::npos);

    text.assign(5000, 'x');
    EXPECT_EQ(ustrfindreplace_r(text, "x", "y", 4096), 4096);
    EXPECT_EQ(text.substr(4095, 2), "yx");
}

TEST(FindReplace, LocalFormEditsTheMessageText)
{
    std::string message = "\\0034Errore:\\t%s\\n";
    psMessagePointer = &message;
    EXPECT_EQ(local_ustrfindreplace("\\003", "\003"), 1);
    EXPECT_EQ(local_ustrfindreplace("\\t", "\t"), 1);
    EXPECT_EQ(local_ustrfindreplace("\\n", "\n"), 1);
    EXPECT_EQ(message, "\0034Errore:\t%s\n");
    EXPECT_EQ(local_ustrfindreplace("\n", "\n"), 0);
    psMessagePointer = nullptr;
    EXPECT_EQ(local_ustrfindreplace("a", "b"), 0);
}

TEST(StringHelpers, NullAndEmptyGiveEmptyTexts)
{
    EXPECT_EQ(ustrcpy(nullptr), "");
    EXPECT_EQ(ustrtolower(nullptr), "");
    EXPECT_EQ(ustrtoupper(""), "");
    EXPECT_EQ(ustrstr(nullptr, "a"), "");
    EXPECT_EQ(ustrstr("hello", ""), "");
    EXPECT_EQ(strchrpl(nullptr, ",", '_'), "");
}

TEST(StringHelpers, SearchCaseAndReplacement)
{
    EXPECT_EQ(ustrstr("hello", "lo"), "lo");
    EXPECT_EQ(ustrstr("hello", "zz"), "");
    EXPECT_EQ(ustrstr("Hello", "h"), "");  // case-sensitive
    EXPECT_EQ(ustrtoupper("Mixed [x]"), "MIXED [X]");
    EXPECT_EQ(ustrtolower("Mixed [X]"), "mixed [x]");
    EXPECT_EQ(strchrpl("a b,c", " ,", '_'), "a_b_c");
    EXPECT_EQ(strchrpl("a b,c", " ,", '\0'), "a");
    EXPECT_EQ(strchrpl("Mon Jan  1\n", "\n\r", ' '), "Mon Jan  1 ");
    EXPECT_EQ(uinttostr(-2147483647 - 1), "-2147483648");
}
