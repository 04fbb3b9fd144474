#include "output/output.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

class MsgColor : public testing::Test {
protected:
    void SetUp() override { iFlagColorLocal = 1; }
    void TearDown() override { iFlagColorLocal = 1; }
};

std::string or_null(const char* text) { return text ? text : "(null)"; }

}  // namespace

TEST_F(MsgColor, LaysTheTextIntoThePattern)
{
    EXPECT_EQ(or_null(msg_color("hi", Colors, 6, 7, "/say ")), "/say %C0,1 h%C6,1 i");
    EXPECT_EQ(or_null(msg_color("hey", Colors3, 7, 8, "")), "%C0,1%Bh%C3,1%Be%C4,1%By");
    EXPECT_EQ(or_null(msg_color("x", Colors, 0, 7, nullptr)), "x");
    // Beyond the ten units of the pattern it starts again from its beginning.
    const std::string eleven = or_null(msg_color("abcdefghijk", Colors, 6, 7, ""));
    EXPECT_EQ(eleven.substr(70), "%C0,1 k");
}

TEST_F(MsgColor, TwoByteCharactersStayWholeAndLaterCharactersKeepTheirPlace)
{
    EXPECT_EQ(or_null(msg_color("\xC3\xA8!", Colors, 6, 7, "")), "%C0,1 \xC3\xA8%C6,1 !");
    EXPECT_EQ(or_null(msg_color("\xC3\xA8" "5", Colors, 6, 7, "")), "%C0,1 \xC3\xA8%C6,1 5");
}

TEST_F(MsgColor, ColoursOffGivesPrefixAndText)
{
    iFlagColorLocal = 0;
    EXPECT_EQ(or_null(msg_color("hi", Colors, 6, 7, "/say ")), "/say hi");
    EXPECT_EQ(or_null(msg_color("hi", Colors, 6, 7, "")), "hi");
    EXPECT_EQ(or_null(msg_color(std::string(500, 'a').c_str(), Colors, 6, 7, "")), std::string(500, 'a'));
}

TEST_F(MsgColor, RefusesEmptyAndTooLongTexts)
{
    EXPECT_EQ(msg_color("", Colors, 6, 7, "/say "), nullptr);
    EXPECT_EQ(msg_color(nullptr, Colors, 6, 7, "/say "), nullptr);
    EXPECT_EQ(msg_color(std::string(200, 'a').c_str(), Colors, 6, 7, "/say "), nullptr);
    EXPECT_EQ(msg_color(std::string(146, 'a').c_str(), Colors, 6, 7, ""), nullptr);  // 1022 >= 1021
    const char* fits = msg_color(std::string(145, 'a').c_str(), Colors, 6, 7, "");
    ASSERT_NE(fits, nullptr);
    EXPECT_EQ(strlen(fits), 6u + 144 * 7 + 1);
}

TEST(Palette, NineUnitsOfOneBackground)
{
    std::set<char> seen;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        srand(seed);
        char buffer[60];
        memset(buffer, 'x', sizeof buffer);
        mk_palette(buffer);
        const char colour = buffer[4];
        ASSERT_GE(colour, '1');
        ASSERT_LE(colour, '9');
        seen.insert(colour);
        const std::string unit = std::string("%C0,") + colour + " ";
        for (int i = 0; i < 9; ++i) EXPECT_EQ(std::string(buffer + i * 6, 6), unit);
        EXPECT_EQ(buffer[54], 'x') << "no terminator is written";
    }
    EXPECT_GT(seen.size(), 3u);
}

TEST(Palette, InitialisationStoresTheSwitches)
{
    OutputRoutineInitialize(1, 0, 1);
    EXPECT_EQ(iFlagQuiboMessageLocal, 1);
    EXPECT_EQ(iFlagColorLocal, 0);
    EXPECT_EQ(iFlagPrintCloneLocal, 1);
    EXPECT_EQ(std::string(Colors4, 4), "%C0,");
    EXPECT_EQ(strlen(Colors4), 54u);
    OutputRoutineInitialize(0, 1, 0);
}
