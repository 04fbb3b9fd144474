// exec( queues one command per user of the channel that passes the filter,
// with the user's values as plain text.
#include "function_fixture.h"

#include <algorithm>

namespace {

using Lines = std::vector<std::string>;

class ExecTest : public FunctionTest {
protected:
    void SetUp() override
    {
        FunctionTest::SetUp();
        sim.add_user(*chan, "op1", "o@one.net", "@");
        sim.add_user(*chan, "voiced", "v@two.net", "+");
        sim.add_user(*chan, "plain", "p@three.net");
        sim.clear_records();
    }

    // `lines`, one per user, in the order of the channel's user list as the plug-in reads it.
    Lines in_list_order(const Lines& lines)
    {
        Lines ordered;
        for (const HostUser& user : zem_userlist_flat_list(here()))
            for (const std::string& line : lines)
                if (line == user.nick || (line.size() > user.nick.size() && line.ends_with(" " + user.nick)))
                    ordered.push_back(line);
        return ordered;
    }
};

TEST_F(ExecTest, OneLinePerOperatorInAChannel)
{
    EXPECT_EQ(call("exec(", "o,/op $execnick"), "2");
    EXPECT_EQ(queued(), in_list_order({"/op me", "/op op1"}));
    for (const QueueEntry& entry : pCmdQueue) {
        EXPECT_EQ(entry.priority, kPriorityLow);
        EXPECT_EQ(entry.session, here());
    }
}

TEST_F(ExecTest, EveryExecNameIsFilledIn)
{
    hostsim::User* plain = chan->find_user("plain");
    plain->realname = "Plain User";
    plain->lasttalk = 1234;
    EXPECT_EQ(call("exec(", "-o-v,/echo $execnick $exechostname $execrealname $execservername $execlasttalk "
                            "[$execprefix] _QUIBO_US_DOLLAR_x"),
              "1");
    EXPECT_EQ(queued(), Lines{"/echo plain p@three.net Plain User irc.test.net 1234 [] $x"});
    pCmdQueue.clear();
    EXPECT_EQ(call("exec(", "v,/echo $execprefix$execnick"), "1");
    EXPECT_EQ(queued(), Lines{"/echo +voiced"});
}

TEST_F(ExecTest, OutsideAChannelNothingIsQueued)
{
    if (irc->tab) {
        current_tab = session_of(irc->tab->handle());
        EXPECT_EQ(call("exec(", "o,/op $execnick"), "0");
    }
    current_tab = session_of(sim.dialog(*irc, "bob").handle());
    EXPECT_EQ(call("exec(", ",/msg $execnick hi"), "0");
    EXPECT_TRUE(pCmdQueue.empty());
}

TEST_F(ExecTest, TheWindowOfTheRunningCommandComesFirst)
{
    hostsim::Context& second = sim.channel(*irc, "#second");
    sim.add_user(second, "lonely", "l@x.net");
    execution_tab = session_of(second.handle());
    EXPECT_EQ(call("exec(", ",/echo $execnick"), "1");
    EXPECT_EQ(queued(), Lines{"/echo lonely"});
    execution_tab = nullptr;
}

TEST_F(ExecTest, WithoutACommaTheCallStays) { EXPECT_EQ(call("exec(", "/op $execnick"), std::nullopt); }

TEST_F(ExecTest, NetworkValuesStayPlainText)
{
    sim.add_user(*chan, "$nickname\\;quit", "evil@%B.net");
    EXPECT_EQ(call("exec(", "-o-v,/echo $execnick $exechostname"), "2");
    auto found = std::find_if(pCmdQueue.begin(), pCmdQueue.end(),
                              [](const QueueEntry& e) { return e.psCommand.find("evil") != std::string::npos; });
    ASSERT_NE(found, pCmdQueue.end());
    const QueueEntry& evil = *found;
    ASSERT_EQ(evil.psCommand, "/echo $nickname\\;quit evil@%B.net");
    ASSERT_EQ(evil.literal.size(), 2u);
    EXPECT_EQ(evil.psCommand.substr(evil.literal[0].first, evil.literal[0].second - evil.literal[0].first),
              "$nickname\\;quit");
    EXPECT_EQ(evil.psCommand.substr(evil.literal[1].first, evil.literal[1].second - evil.literal[1].first),
              "evil@%B.net");

    pCmdQueue.clear();
    // An exec name inside a value is data, not a name to fill in.
    EXPECT_EQ(call("exec(", with_value("o-m,/echo ", "$execnick", " $execnick")), "1");
    EXPECT_EQ(queued(), Lines{"/echo $execnick op1"});
}

TEST_F(ExecTest, QueuedLinesRunThroughTheQueueInListOrder)
{
    EXPECT_EQ(call("exec(", ",/echo $execnick"), "4");
    EXPECT_TRUE(echoed().empty()) << "nothing runs before the queue is drained";
    ExecCommandInQueue(0);
    EXPECT_EQ(echoed(), in_list_order({"me", "op1", "voiced", "plain"}));
    EXPECT_TRUE(pCmdQueue.empty());
}

}  // namespace
