// /EVENT typed in the simulated client.
#include "events_fixture.h"

namespace {

class EventCommandTest : public EventsTest {
protected:
    void event(const std::string& line) { sim.command(*chan, "event " + line); }
    std::string echo(const std::string& typed) { return "\0033>>>\0034 " + typed; }
};

TEST_F(EventCommandTest, AddFramesCountedRulesAndOneShotsComeSilently)
{
    event("add ? text hello=$data /say hi");
    EXPECT_TRUE(take().empty());
    event("add 3 jchannel * /msg $ru welcome");
    EXPECT_EQ(take(), (std::vector<std::string>{
                          sep, "\0033ADD\017:[\0036   2\017]\t\0033 3\0034 jchannel\0037 *\0038 /msg $ru welcome\017",
                          sep}));
    event("add -5 text * /say $event_params ^event_params");
    EXPECT_EQ(sentinel_at(3, 0)->iRepetitions, 5) << "the sign is dropped";
    EXPECT_EQ(sentinel_at(3, 0)->psCommand, "/say $lu $ru $rhost $channel $server $data $event_params");
    event("addh 0 kick * /say hidden");
    EXPECT_EQ(sentinel_list.size(), 4u);
    EXPECT_EQ(uiSentinelInList, 3u);
    take();
    event("add 1 text");
    EXPECT_EQ(take(), (std::vector<std::string>{echo("1 text"), GetMessage(88)}));
    event("add 2000 text * /say x");
    EXPECT_EQ(take(), (std::vector<std::string>{sep, GetMessage(92), GetMessage(77), echo("2000 text * /say x"), sep}));
}

TEST_F(EventCommandTest, RepeatedIdenticalAddsWarnThenSwitchTheEventsManagerOff)
{
    iFlagEnableEvent = 1;
    InsertCommandInQueue(here(), "/say waiting");
    for (int attempt = 1; attempt <= 11; ++attempt) event("add 0 text * /say same");
    EXPECT_EQ(uiSentinelInList, 1u);
    EXPECT_EQ(sim.count_printed(GetMessage(203)), 6) << "repeats 4 to 9 (attempts 5 to 10) warn";
    EXPECT_EQ(sim.count_printed(GetMessage(204)), 1);
    EXPECT_EQ(iFlagEnableEvent, 0);
    EXPECT_EQ(drained(), std::vector<std::string>{"TIMER -refnum 2255 60 quibo event 1"}) << "the queue was emptied";
}

TEST_F(EventCommandTest, DeleteResetAndListWorkOnValidNumbersOnly)
{
    event("del 1");
    EXPECT_EQ(take(), std::vector<std::string>{GetMessage(208)});
    event("add 0 kick * /say a");
    event("add 2 text * /say kick b");
    event("add 0 text * /say c");
    take();
    for (const char* typed : {"del 0", "del 99", "reset 4"}) {
        event(typed);
        EXPECT_EQ(take(), std::vector<std::string>{message(206, 3)}) << typed;
    }
    sentinel_at(2, 0)->uiRemaining = 0;
    event("reset * -");
    EXPECT_EQ(sentinel_at(2, 0)->uiRemaining, 2);
    EXPECT_EQ(take().size(), 3u) << "three reset lines, no separators";
    event("list kick -");
    EXPECT_EQ(uiSentinelInList, 1u);
    EXPECT_EQ(sentinel_at(1, 0)->psCommand, "/say c");
    take();
    event("del 1 -");
    EXPECT_EQ(take().size(), 1u) << "only the DEL line";
    event("add 0 text * /say d");
    event("add 0 text * /say e");
    event("lastdel");
    EXPECT_EQ(sentinel_at(1, 0)->psCommand, "/say d");
    event("addh 0 text * /say h");
    event("flush h");
    EXPECT_EQ(sentinel_list.size(), 1u);
    event("flush");
    EXPECT_TRUE(sentinel_list.empty());
}

TEST_F(EventCommandTest, ModifyValidatesAndReplacesInPlace)
{
    event("mod 1 0 text * /say x");
    EXPECT_EQ(take(), (std::vector<std::string>{echo("0 text * /say x"), GetMessage(207)}));
    event("add 0 text * /say one");
    event("add 0 text * /say two");
    take();
    event("mod 1 4 kick [bad=$data /say new");
    EXPECT_EQ(sentinel_at(1, 0)->psCommand, "/say one");
    EXPECT_EQ(take().back(), sep);
    event("mod 1 4 kick me=$lu /join $channel");
    EXPECT_EQ(sentinel_at(1, 0)->psCommand, "/join $channel");
    EXPECT_EQ(sentinel_at(1, 0)->iRepetitions, 4);
    take();
    event("chk 0 text hello=$data /say hi");
    EXPECT_EQ(take(), (std::vector<std::string>{sep, GetMessage(210), sep}));
    EXPECT_EQ(uiSentinelInList, 2u);
}

TEST_F(EventCommandTest, RaisingAnEventByHandFiresWithTheRestOfTheLineAsData)
{
    event("event text me you host #chan net hello there");
    EXPECT_EQ(take(), (std::vector<std::string>{echo("text me you host #chan net hello there"), message(211, "text")}));
    event("add 0 text * /say [$lu] [$ru] [$rhost] [$channel] [$server] [$data]");
    sim.clear_records();
    event("event text me you host #chan net hello there");
    ExecCommandInQueue(0);
    EXPECT_EQ(sim.count_issued("say [me] [you] [host] [#chan] [net] [hello there]"), 1);
    sim.clear_records();
    event("event text $lu $ru $rhost $channel $server x");
    ExecCommandInQueue(0);
    EXPECT_EQ(sim.count_issued("say [me] [me] [@] [#quibo] [irc.test.net] [x]"), 1);
    take();
    event("event text me you host #chan net");
    EXPECT_EQ(take(), (std::vector<std::string>{echo("text me you host #chan net"), GetMessage(212)}));
    event("event text");
    EXPECT_EQ(take(), (std::vector<std::string>{echo("text"), GetMessage(217)}));
}

TEST_F(EventCommandTest, UnknownSubCommandsAndHelp)
{
    event("foo");
    EXPECT_EQ(take(), std::vector<std::string>{message(808, "foo")});
    event("help add");
    std::vector<std::string> expected = {sep, GetMessage(112)};
    for (int n = 113; n <= 119; ++n) expected.push_back(GetMessage(n));
    expected.push_back(sep);
    EXPECT_EQ(take(), expected);
    event("help dcc");
    EXPECT_EQ(take().back(), GetMessage(1085));
    event("help nothing");
    const auto lines = take();
    ASSERT_GT(lines.size(), 8u);
    EXPECT_EQ(lines[2], GetMessage(835));
    EXPECT_EQ(lines[3], "\0038 || add            || mod            || del            ||\n");
    EXPECT_EQ(lines[lines.size() - 2], GetMessage(202));
}

TEST_F(EventCommandTest, ReadAndSaveNamedFilesAreFramed)
{
    event("add 0 text * /say saved");
    take();
    const std::string other = home.path() + "/mine.snt";
    event("save " + other);
    auto lines = take();
    EXPECT_EQ(lines.front(), sep);
    EXPECT_EQ(lines.back(), sep);
    event("flush");
    event("read " + other);
    ASSERT_EQ(uiSentinelInList, 1u);
    EXPECT_EQ(sentinel_at(1, 0)->psCommand, "/say saved");
}

}  // namespace
