// Offering events to the sentinels: conditions, firing, repetitions,
// one-shots, putting events off in the zombie window, special events, the trace.
#include "events_fixture.h"

namespace {

using Verify = EventsTest;

TEST_F(Verify, ConditionTruthTable)
{
    struct Case {
        const char* condition;
        const char* data;
        bool fires;
    };
    const Case cases[] = {
        {"hello=$data", "Hello world", true},   // the value holds the pattern, whatever the case
        {"hello=$data", "hell", true},          // the pattern holds the value
        {"hello!$data", "goodbye", true},
        {"hello!$data", "HELLO there", false},
        {"^[0-9]+$=$data", "12345", true},      // through the regular expression
        {"^[0-9]+$=$data", "12a", false},
        {"'a.b=$data", "axb", false},           // literal: no regular expression
        {"'a.b=$data", "A.B", true},
        {"\\'a.b=$data", "axb", false},
        {"x=$data", "", true},                  // the empty value is in every pattern
        {"x!$data", "", false},
        {"peer=$ru", "anything", true},
        {"example\\.org$=$rhost", "anything", true},
        {"^#Q.IBO$=$channel", "anything", false},  // the regular expression is case-sensitive
        {"^#q.ibo$=$channel", "anything", true},
        {"text=$event", "x", true},
        {"me$_peer=$lu$_$ru", "x", true},       // "$_" stands for a blank
        {"NOPE=$all", "x", false},
        {"MEPEERPEER@EXAMPLE.ORG#QUIBOIRC.TEST.NETpayload=$all", "payload", true},
        {"a+b=$data", "aab", true},             // the user's own operators work
        {"c\\+\\+=$data", "c++ rocks", true},
    };
    for (const Case& c : cases) {
        FlushAllSentinel();
        FlushCommandInQueue();
        ASSERT_EQ(add(0, "text", c.condition, "/say fired"), 0) << c.condition;
        EXPECT_EQ(offer("text", c.data), c.fires ? 1 : 0) << c.condition << " with " << c.data;
        EXPECT_EQ(drained().size(), c.fires ? 1u : 0u) << c.condition;
    }
}

TEST_F(Verify, ValuesInsideAPatternAreMatchedAsPlainText)
{
    // The nick is put into the pattern: its dots, stars and plus signs must not act as operators.
    ASSERT_EQ(add(0, "text", "^$ru:=$data", "/say fired"), 0);
    EXPECT_EQ(offer("text", "aab:", "a+b"), 0);
    EXPECT_EQ(offer("text", "axb:", "a.b"), 0);
    EXPECT_EQ(offer("text", "aaa:", "a*"), 0);
    EXPECT_EQ(offer("text", "zzz", "[x"), 0);
    EXPECT_EQ(offer("text", "xa+b:", "a+b"), 0);
    EXPECT_EQ(sim.count_printed_containing("Regular expression"), 0) << "no compile error from a bracket in a nick";
    ASSERT_EQ(add(0, "text", "$ru:=$data", "/say fired"), 0);
    EXPECT_EQ(offer("text", "xa+b:", "a+b"), 1);
}

TEST_F(Verify, KindMustMatchAndOnlyLowerCaseAllMatchesEverything)
{
    add(0, "ALL", "*", "/say upper");
    add(0, "all", "*", "/say lower");
    add(0, "KICK", "*", "/say kick");
    EXPECT_EQ(offer("kick", "x"), 1);
    EXPECT_EQ(drained(), (std::vector<std::string>{"say lower", "say kick"}));
    EXPECT_EQ(offer("ALL", "x"), 1);
    EXPECT_EQ(drained(), (std::vector<std::string>{"say upper", "say lower"}));
    EXPECT_EQ(offer("join", "x"), 1);
    EXPECT_EQ(drained(), (std::vector<std::string>{"say lower"}));
}

TEST_F(Verify, ActionsSplitAtTheUsersSeparatorsOnly)
{
    add(0, "text", "*", "/msg $ru hi\\;/msg $ru bye");
    add(0, "query", "*", "/echo a_QUIBO_SEPARATOR_b\\;/echo $number $event ^nick ^data");
    offer("text", "x");
    EXPECT_EQ(drained(), (std::vector<std::string>{"msg peer hi", "msg peer bye"}));
    offer("query", "x");
    EXPECT_EQ(drained(), (std::vector<std::string>{"echo a\\;b", "echo 2 query $nick $data"}));
}

TEST_F(Verify, EmptyValuesBecomeTheVariablesOwnNames)
{
    add(0, "text", "*", "/echo [$lu] [$ru] [$rhost] [$channel] [$server] [$data] [$nick] [$hostname]");
    VerifyEvent(here(), "text", nullptr, "", nullptr, "", nullptr, "");
    EXPECT_EQ(drained(), std::vector<std::string>{
                             "echo [$lu] [$ru] [$rhost] [$channel] [$server] [$data] [me] [irc.test.net]"});
}

TEST_F(Verify, AllInACommandIsEveryValueRunTogether)
{
    add(0, "text", "*", "/echo <$all>");
    VerifyEvent(here(), "text", "me", "peer", nullptr, "#c", "net", "data");
    EXPECT_EQ(drained(), std::vector<std::string>{"echo <mepeer#cnetdata>"});
}

TEST_F(Verify, RepetitionsCountDownAndResetRearms)
{
    add(2, "text", "*", "/say twice");
    EXPECT_EQ(offer("text", "1"), 1);
    EXPECT_EQ(offer("text", "2"), 1);
    EXPECT_EQ(offer("text", "3"), 0);
    EXPECT_EQ(drained().size(), 2u);
    EXPECT_EQ(sentinel_at(1, 0)->uiRemaining, 0);
    ResetSentinel(here(), 1);
    EXPECT_EQ(offer("text", "4"), 1);
}

TEST_F(Verify, OneShotQueuesItsOwnQuietDeletionWithTheRightNumbers)
{
    add(0, "kick", "*", "/say steady");
    add(-1, "text", "*", "/say once");
    add(-1, "text", "*", "/say once more");
    add(-1, "text", "*", "/say hidden once", 1);
    EXPECT_EQ(offer("text", "x"), 1);
    EXPECT_EQ(offer("text", "again"), 0) << "fired rules wait for their deletion";
    EXPECT_EQ(drained(), (std::vector<std::string>{"event del 2 -", "say once", "event del 2 -", "say once more",
                                                   "event delh 1 -", "say hidden once"}));
    ASSERT_EQ(sentinel_list.size(), 1u);
    EXPECT_EQ(sentinel_at(1, 0)->psCommand, "/say steady");
    EXPECT_EQ(sim.count_printed_containing("DEL\017"), 0) << "quiet deletions";
}

TEST_F(Verify, OneShotsFiredByDifferentEventsDeleteThemselvesNotTheirNeighbours)
{
    add(-1, "text", "*", "/say text once");
    add(-1, "kick", "*", "/say kick once");
    add(0, "kick", "*", "/say stays");
    offer("text", "x");
    offer("kick", "x");
    EXPECT_EQ(drained(), (std::vector<std::string>{"event del 1 -", "say text once", "event del 1 -",
                                                   "say kick once", "say stays"}));
    ASSERT_EQ(uiSentinelInList, 1u);
    EXPECT_EQ(sentinel_at(1, 0)->psCommand, "/say stays");
}

TEST_F(Verify, NumbersAreCountedPerClass)
{
    add(0, "text", "*", "/say user $number", 0);
    add(0, "text", "*", "/say hidden $number", 1);
    add(0, "text", "*", "/say user $number", 0);
    offer("text", "x");
    EXPECT_EQ(drained(), (std::vector<std::string>{"say user 1", "say hidden 1", "say user 2"}));
}

TEST_F(Verify, AConditionWithoutOperatorStopsTheWalk)
{
    add(0, "text", "*", "/say first");
    add(0, "text", "*", "/say last");
    // Only a damaged record can lack its operator: validation refuses it.
    sentinel_list.front()->psProtectedCondition = "nooperator";
    EXPECT_EQ(offer("text", "x"), 0);
    EXPECT_EQ(sim.count_printed(GetMessage(83)), 1);
    EXPECT_TRUE(drained().empty());
}

TEST_F(Verify, TheLoopGuardSkipsTheRuleThatFiredLastOnce)
{
    add(0, "text", "*", "/say loop");
    offer("text", "x");
    sFlagLockPreviousSentinel = 1;
    hostsim::StdoutCapture out;
    EXPECT_EQ(offer("text", "x"), 0);
    EXPECT_NE(out.stop().find("LOOP ON SENTINEL"), std::string::npos);
    EXPECT_EQ(offer("text", "x"), 1);
    sFlagLockPreviousSentinel = 0;
}

TEST_F(Verify, EventsInTheZombieWindowComeBackLaterByNumber)
{
    add(0, "text", "*", "/say $data from $ru");
    const int deferred = VerifyEvent(zombie_session(), "text", "me", "peer", "h", "#quibo", "irc.test.net",
                                     "%B \\; $(id) \"quoted\"");
    EXPECT_EQ(deferred, 1);
    EXPECT_EQ(deferred_event_count(), 1u);
    const auto commands = drained();
    ASSERT_EQ(commands.size(), 1u);
    const std::string timer = commands[0];
    ASSERT_EQ(timer.rfind("TIMER -refnum 2255 1 quibo quiboscriptgenevent #", 0), 0u) << timer;
    EXPECT_EQ(timer.find("$(id)"), std::string::npos) << "the event's fields never travel in the command";
    ASSERT_EQ(sim.timers().size(), 1u);
    EXPECT_EQ(sim.timers()[0].timeout_ms, 1000);

    const std::string reference = timer.substr(timer.find('#'));
    EXPECT_EQ(VerifyDeferredEvent(nullptr, "#999"), 0);

    // A second later the client's timer brings the number back through /QUIBO.
    iFlagEnableEvent = 1;
    sim.clear_records();
    sim.advance(1.5);
    std::vector<std::string> commands_after = drained_so_far();
    for (const std::string& more : drained()) commands_after.push_back(more);
    EXPECT_EQ(commands_after, (std::vector<std::string>{"quibo quiboscriptgenevent " + reference,
                                                        "say %B \\; $(id) \"quoted\" from peer"}));
    EXPECT_EQ(VerifyDeferredEvent(here(), reference.c_str()), 0) << "raised once only";
    EXPECT_EQ(deferred_event_count(), 0u);
}

TEST_F(Verify, SpecialEventsNeedEveryValueAndAMatchingRule)
{
    add(0, "spcl_dcc_recv_complete", "*", "/say got $data");
    sim.clear_records();
    EXPECT_EQ(make_special_event(here(), "DCC RECV Complete", "me", "peer", "h", "#c", "net", ""), 0);
    EXPECT_EQ(make_special_event(here(), "DCC RECV Complete", "me", "peer", "h", "#c", "net", "file.txt"), 1);
    EXPECT_EQ(make_special_event(here(), "DCC SEND Complete", "me", "peer", "h", "#c", "net", "other.txt"), 1);
    EXPECT_EQ(sim.count_issued("say got file.txt"), 1) << "the special event runs the queue itself";
    EXPECT_TRUE(drained().empty());
}

TEST_F(Verify, TheTraceShowsEachStepForUserRules)
{
    iFlagEventsManagerDebug = 1;
    add(0, "text", "hello=$data", "/say hi\\;/say %bye");
    add(0, "text", "*", "/say hidden", 1);
    take();
    VerifyEvent(here(), "text", "me", "peer", nullptr, "#quibo", "net", "hello world");
    const auto lines = take();
    const std::vector<std::string> expected = {
        "* \0036Verify Event\0033 text\0036 : $lu =\0033 me\0036, $ru =\0033 peer\0036, $rhost =\0033 "
        "empty\0036, $channel =\0033 #quibo\0036, $server =\0033 net\0036, $data =\0033 hello world\0036.",
        "\\_> \0036Found Sentinel [\0037  1\0036]:\0032(\0036 1\0032 )\0033 0\0034 text\0037 hello=$data\0038 /say "
        "hi\\;/say %%bye\0036.",
        "  \\_> \0036Sentinel Resolution [\0037  1\0036]:\0033(\0036 1\0033 )\0033 0\0034 text\0037 HELLO=HELLO "
        "WORLD\0038 /say hi\\;/say %%bye\0036.",
        "    \\_> \0033Condition Satisfied (Variable in Constant):\0033 HELLO WORLD",
        "      \\_> \0036Command Resolution :\0038 /say hi\\;/say %%bye\0036.",
        "        \\_> \0038Execute Command:\0033 /say hi",
        "        \\_> \0038Execute Command:\0033 /say %%bye",
    };
    EXPECT_EQ(lines, expected);
}

}  // namespace
