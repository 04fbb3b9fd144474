// The sentinel list: validation and its messages, numbering, deletion,
// searching, listing and re-arming.
#include "events_fixture.h"

namespace {

using Store = EventsTest;

TEST_F(Store, ValidationRefusesEachBrokenFieldWithItsOwnMessage)
{
    struct Case {
        int repetitions;
        const char* kind;
        const char* condition;
        const char* command;
        int expected_message;
    };
    const Case cases[] = {
        {1025, "text", "*", "/say hi", 92},   {-2, "text", "*", "/say hi", 92},
        {0, "", "*", "/say hi", 91},          {0, "party", "*", "/say hi", 89},
        {0, "text", "", "/say hi", 88},       {0, "text", "x", "/say hi", 87},
        {0, "text", "hello", "/say hi", 83},  {0, "text", "hello=", "/say hi", 87},
        {0, "text", "hello=$data", "", 84},   {0, "text", "*", "", 84},
    };
    for (const Case& c : cases) {
        take();
        auto record = make_sentinel(c.repetitions, c.kind, c.condition, c.command);
        EXPECT_EQ(CheckSentinel(here(), record.get()), 1) << c.kind << " " << c.condition;
        const std::string expected = c.expected_message == 89 ? message(89, c.kind) : GetMessage(c.expected_message);
        EXPECT_EQ(printed(), std::vector<std::string>{expected}) << c.expected_message;
    }
}

TEST_F(Store, KindsAreTheFixedNamesInAnyCaseOrSpecialOnes)
{
    for (const char* kind : {"jserver", "JCHANNEL", "Kick", "other", "all", "ALL", "spcl_dcc_send", "spcl_"})
        EXPECT_TRUE(is_event_kind(kind)) << kind;
    for (const char* kind : {"spcl", "SPCL_x", "joins", "", "textx"}) EXPECT_FALSE(is_event_kind(kind)) << kind;
}

TEST_F(Store, AlwaysConditionNeedsNoOperatorAndUnknownVariableIsAcceptedWithAWarning)
{
    auto always = make_sentinel(0, "text", "*", "/say hi");
    EXPECT_EQ(CheckSentinel(here(), always.get()), 0);
    EXPECT_TRUE(printed().empty());

    auto unknown = make_sentinel(0, "text", "hello=$foo", "/say hi");
    EXPECT_EQ(CheckSentinel(here(), unknown.get()), 0);
    EXPECT_EQ(printed(), std::vector<std::string>{message(85, "$foo")});

    // A hidden rule never goes to the file, so the unknown variable lets even an empty command through.
    take();
    auto hidden = make_sentinel(0, "text", "hello=$foo", "", 1);
    EXPECT_EQ(CheckSentinel(here(), hidden.get()), 0);
    EXPECT_EQ(printed(), std::vector<std::string>{message(85, "$foo")});
}

TEST_F(Store, BrokenPatternIsReportedAndRefusedAndAPatternMatchingItsVariableOnlyWarns)
{
    auto broken = make_sentinel(2, "text", "[abc=$data", "/say hi");
    EXPECT_EQ(CheckSentinel(here(), broken.get()), 1);
    const auto lines = take();
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find("[abc=$data"), std::string::npos);
    EXPECT_NE(lines[0].find("Un-matched bracket"), std::string::npos);

    auto wide = make_sentinel(0, "text", ".*=$data", "/say hi");
    EXPECT_EQ(CheckSentinel(here(), wide.get()), 0);
    EXPECT_EQ(printed(), std::vector<std::string>{GetMessage(787)});

    take();
    auto quoted = make_sentinel(0, "text", "'[abc=$data", "/say hi");
    EXPECT_EQ(CheckSentinel(here(), quoted.get()), 0) << "a literal pattern is never compiled";
}

TEST_F(Store, WhatTheFileCouldNotGiveBackIsRefusedAtAdd)
{
    EXPECT_EQ(add(0, "text", "*", "/say ends with \\"), 1);
    EXPECT_EQ(add(0, "text", "a\\=$data", "/say hi"), 1) << "condition ending in a backslash";
    EXPECT_EQ(add(0, "spcl_a\"b", "*", "/say hi"), 1);
    EXPECT_EQ(add(0, "text", "*", "/say two\nlines"), 1);
    EXPECT_EQ(add(0, "text", "*", "/say " + std::string(kSentinelLineMax, 'x')), 1);
    EXPECT_EQ(add(0, "text", "hello=$foo", ""), 1) << "an empty command cannot be read back";
    EXPECT_EQ(uiSentinelInList, 0u);
    EXPECT_EQ(sim.count_printed(GetMessage(77)), 6);
    EXPECT_EQ(sim.count_printed(message(1120, static_cast<int>(kSentinelLineMax))), 1);
    // Hidden rules are never written, so they may hold what the file could not.
    EXPECT_EQ(add(0, "text", "*", "/say ends with \\", 1), 0);
    // A backslash or quote inside a field is fine.
    EXPECT_EQ(add(0, "text", "*", "/say a\\\"b \"c\" \\d"), 0);
}

TEST_F(Store, AddingPrintsTheNewNumberExceptForOneShotsAndHiddenRules)
{
    ASSERT_EQ(add(3, "jchannel", "*", "/msg $ru welcome"), 0);
    EXPECT_EQ(take(), std::vector<std::string>{
                          "\0033ADD\017:[\0036   1\017]\t\0033 3\0034 jchannel\0037 *\0038 /msg $ru welcome\017"});
    ASSERT_EQ(add(-1, "text", "hello=$data", "/say hi"), 0);
    ASSERT_EQ(add(0, "text", "*", "/say %hidden", 1), 0);
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(uiSentinelInList, 2u);
    EXPECT_EQ(sentinel_list.size(), 3u);

    ASSERT_EQ(add(0, "text", "*", "/say \002bold 50%"), 0);
    EXPECT_EQ(take(), std::vector<std::string>{
                          "\0033ADD\017:[\0036   3\017]\t\0033 0\0034 text\0037 *\0038 /say %Bbold 50%%\017"});
}

TEST_F(Store, ProtectedFormsWrapKindsAndVariablesAndCountThem)
{
    ASSERT_EQ(add(0, "all", "$data$_x=$database", "/say $data ^nick $data $dcc_database"), 0);
    const Sentinel& s = *sentinel_list.back();
    EXPECT_EQ(s.psProtectedEvent, "\025-all\025");
    EXPECT_EQ(s.psProtectedCondition, "\025-$DATA\025 x=\025-$DBASE\025");
    EXPECT_EQ(s.psProtectedCommand, "/say \025-$DATA\025 \025-^NICK\025 \025-$DATA\025 \025-$DCC_DBASE\025");
    EXPECT_EQ(s.auiConditionVars[9], 1u);
    EXPECT_EQ(s.auiConditionVars[0], 1u);
    EXPECT_EQ(s.auiCommandVars[9], 2u);
    EXPECT_EQ(s.auiCommandVars[1], 1u);
    EXPECT_EQ(s.auiCommandCarets[10], 1u);
    EXPECT_EQ(s.auiCommandVars[0], 0u);
}

TEST_F(Store, DeletingRenumbersAndOutOfRangeNumbersChangeNothing)
{
    add(0, "text", "*", "/say one");
    add(0, "text", "*", "/say two");
    add(0, "text", "*", "/say three");
    add(0, "kick", "*", "/say hidden", 1);
    take();
    EXPECT_EQ(DelSentinel(here(), 2, 0), 0);
    EXPECT_EQ(take(), std::vector<std::string>{
                          "\0034DEL\017:[\0036   2\017]\t\0033 0\0034 text\0037 *\0038 /say two\017"});
    ASSERT_NE(sentinel_at(2, 0), nullptr);
    EXPECT_EQ(sentinel_at(2, 0)->psCommand, "/say three");
    EXPECT_EQ(uiSentinelInList, 2u);

    for (int number : {0, 3, -1}) {
        EXPECT_EQ(DelSentinel(here(), number, 0), 1);
        EXPECT_EQ(take(), std::vector<std::string>{message(80, 0, 2)});
    }
    EXPECT_EQ(ResetSentinel(here(), 5), 1);
    EXPECT_EQ(ModSentinel(here(), 3, make_sentinel(0, "text", "*", "/say x")), 1);
    EXPECT_EQ(DelSentinel(here(), 2, 1), 1) << "only one hidden sentinel";
    EXPECT_EQ(sentinel_list.size(), 3u);
    EXPECT_EQ(DelSentinel(here(), 1, 1), 0);
    EXPECT_EQ(sentinel_list.size(), 2u);
    EXPECT_EQ(uiSentinelInList, 2u);
}

TEST_F(Store, ReplacingKeepsThePlaceAndShowsOldAndNew)
{
    add(0, "text", "*", "/say one");
    add(0, "text", "*", "/say two");
    take();
    EXPECT_EQ(ModSentinel(here(), 1, make_sentinel(4, "kick", "me=$lu", "/join $channel")), 0);
    EXPECT_EQ(take(), (std::vector<std::string>{
                          "\0037MOD\017:[\0036   1\017]\t\0033 0\0034 text\0037 *\0038 /say one\017",
                          "\0037*=>\017\t\0033 4\0034 kick\0037 me=$lu\0038 /join $channel\017"}));
    EXPECT_EQ(sentinel_at(1, 0)->psProtectedCommand, "/join \025-$CHANNEL\025");
    EXPECT_EQ(sentinel_at(1, 0)->uiRemaining, 4);
    EXPECT_EQ(sentinel_at(2, 0)->psCommand, "/say two");
}

TEST_F(Store, FindCountsTheKindAndAllButNotOtherSpellingsOfAll)
{
    auto probe = make_sentinel(0, "jchannel", "*", "/say hi");
    EXPECT_EQ(FindSentinel(probe.get(), 0), 0) << "no user sentinels yet";
    add(0, "jchannel", "*", "/say hi");
    add(0, "JChannel", "x=$ru", "/say other");
    add(0, "all", "*", "/say any");
    add(0, "text", "*", "/say text");
    EXPECT_EQ(FindSentinel(probe.get(), 0), 3);
    EXPECT_EQ(FindSentinel(probe.get(), 1), 1);
    auto same_but_case = make_sentinel(0, "JCHANNEL", "*", "/SAY HI");
    EXPECT_EQ(FindSentinel(same_but_case.get(), 1), 1);
    auto other_repetitions = make_sentinel(2, "jchannel", "*", "/say hi");
    EXPECT_EQ(FindSentinel(other_repetitions.get(), 1), 0);
    auto hidden_probe = make_sentinel(0, "spcl_dcc", "*", "x", 1);
    EXPECT_EQ(FindSentinel(hidden_probe.get(), 0), 1) << "only the all rule";
    auto bad_class = make_sentinel(0, "jchannel", "*", "x", 2);
    EXPECT_EQ(FindSentinel(bad_class.get(), 0), 0);
}

TEST_F(Store, ListingFiltersAndListingWithDeletionRemovesEveryMatch)
{
    EXPECT_EQ(ListSentinel(here(), nullptr, 0, 0), 1);
    EXPECT_EQ(take(), std::vector<std::string>{GetMessage(96)});
    add(0, "kick", "*", "/say a");
    add(-1, "text", "*", "/say kick them");
    add(2, "text", "*", "/say b");
    add(0, "kick", "*", "/say hidden", 1);
    take();
    EXPECT_EQ(ListSentinel(here(), "kick", 0, 0), 0);
    EXPECT_EQ(take(), (std::vector<std::string>{
                          GetMessage(94), "[\0036   1\017] (\0033   1\017)\t\0033 0\0034 kick\0037 *\0038 /say a\017",
                          "[\0036   2\017] (\0033   1\017)\t\0033 ?\0034 text\0037 *\0038 /say kick them\017"}));
    EXPECT_EQ(ListSentinel(here(), "kick", 1, 0), 0);
    EXPECT_EQ(uiSentinelInList, 1u);
    EXPECT_EQ(sentinel_at(1, 0)->psCommand, "/say b");
    take();
    EXPECT_EQ(ListSentinel(here(), "", 1, 1), 0);
    EXPECT_TRUE(take().empty()) << "hidden rules are deleted silently";
    EXPECT_EQ(sentinel_list.size(), 1u);
}

TEST_F(Store, FlushingOneClassLeavesTheOther)
{
    EXPECT_EQ(FlushSentinel(here(), 0), 0);
    EXPECT_EQ(take(), std::vector<std::string>{GetMessage(208)});
    add(0, "text", "*", "/say a");
    add(0, "text", "*", "/say b");
    add(0, "text", "*", "/say h", 1);
    EXPECT_EQ(FlushSentinel(here(), 1), 1);
    EXPECT_EQ(sentinel_list.size(), 2u);
    take();
    EXPECT_EQ(FlushSentinel(here(), 0), 0);
    const auto lines = take();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1], GetMessage(97));
    EXPECT_NE(lines[2].find("DEL\017:[\0036   2"), std::string::npos) << "highest number first";
    EXPECT_TRUE(sentinel_list.empty());
}

TEST_F(Store, ResetRearmsCountedAndOneShotRules)
{
    add(2, "text", "*", "/say two");
    add(-1, "text", "*", "/say once");
    sentinel_at(1, 0)->uiRemaining = 0;
    sentinel_at(2, 0)->uiRemaining = 0;
    take();
    EXPECT_EQ(ResetSentinel(here(), 1), 0);
    EXPECT_EQ(take(), std::vector<std::string>{
                          "\0035RESET\017:[\0036   1\017] (\0033   0\017)\t\0033 2\0034 text\0037 *\0038 /say two\017"});
    EXPECT_EQ(sentinel_at(1, 0)->uiRemaining, 2);
    EXPECT_EQ(ResetSentinel(here(), 2), 0);
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(sentinel_at(2, 0)->uiRemaining, 1);
}

}  // namespace
