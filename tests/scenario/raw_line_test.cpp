// Raw server lines through the loaded plug-in: what the private-message guard
// lets through, what it eats and logs, and what it leaves alone.
#include "scenario.h"

#include <fstream>
#include <sstream>

using namespace hostsim;
using namespace scenario;

namespace {

class RawLines : public Foundation {
protected:
    void SetUp() override { load(); }

    std::vector<std::string> killer_log() const
    {
        std::ifstream in(home.path() + "/.xchat2/quiboscript/private_killer.log");
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    int private_messages_shown() const { return sim.count_events("Private Message to Dialog") + sim.count_events("Private Message"); }
};

TEST_F(RawLines, AnUnansweredSenderNeverReachesTheClientAndLeavesOneLogLine)
{
    sim.clear_records();
    EXPECT_TRUE(sim.server_line(net, ":mallory!m@evil.host PRIVMSG tester :buy cheap watches"));
    EXPECT_EQ(private_messages_shown(), 0);
    const std::vector<std::string> log = killer_log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_NE(log[0].find("] mallory (m@evil.host) = buy cheap watches"), std::string::npos) << log[0];
    // The sender is told, through the client's own NOTICE command.
    ASSERT_EQ(sim.sent().size(), 1u);
    EXPECT_TRUE(sim.sent()[0].line.starts_with("NOTICE mallory :mallory, ")) << sim.sent()[0].line;
}

TEST_F(RawLines, ALongMessageIsLoggedWithItsFirst120Characters)
{
    const std::string text(200, 'w');
    sim.server_line(net, ":mallory!m@evil.host PRIVMSG tester :" + text);
    const std::vector<std::string> log = killer_log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_TRUE(log[0].ends_with(" = " + std::string(120, 'w') + " ...")) << log[0];
}

TEST_F(RawLines, ChannelTrafficServerNoticesAndVersionRequestsAreNotGuarded)
{
    sim.clear_records();
    EXPECT_FALSE(sim.server_line(net, ":mallory!m@evil.host PRIVMSG #quibo :hello all"));
    EXPECT_FALSE(sim.server_line(net, ":irc.test.net NOTICE tester :*** server notice"));
    EXPECT_FALSE(sim.server_line(net, ":mallory!m@evil.host PRIVMSG tester :\001VERSION\001"));
    // A '!' in the text is not a sender: a line from a server stays a server's line.
    EXPECT_FALSE(sim.server_line(net, ":irc.test.net PRIVMSG tester :mallory!m@evil.host says"));
    EXPECT_TRUE(killer_log().empty());
    // The only line out is the client's own answer to the VERSION request: no refusal.
    ASSERT_EQ(sim.sent().size(), 1u);
    EXPECT_TRUE(sim.sent()[0].line.starts_with("NOTICE mallory :\001VERSION ")) << sim.sent()[0].line;
}

TEST_F(RawLines, ASenderTheClientIgnoresIsLeftToTheClient)
{
    sim.ignores().push_back({"mallory!*@*", IG_PRIV});
    sim.print_event(chan, "Ignore Add", {"mallory!*@*"});
    StdoutCapture out;
    sim.server_line(net, ":mallory!m@evil.host PRIVMSG tester :psst");
    EXPECT_NE(out.stop().find("PKS IGNORING USER: mallory [m@evil.host]"), std::string::npos);
    EXPECT_TRUE(killer_log().empty());
}

TEST_F(RawLines, WithTheGuardOffPrivateMessagesReachTheClient)
{
    sim.type(chan, "/QUIBO pktime 0");
    sim.clear_records();
    EXPECT_FALSE(sim.server_line(net, ":alice!a@alice.host PRIVMSG tester :hi there"));
    EXPECT_EQ(private_messages_shown(), 1);
    EXPECT_TRUE(killer_log().empty());
}

TEST_F(RawLines, JoinsAndPartsOfOthersNeverMakeUsLeave)
{
    sim.clear_records();
    sim.server_line(net, ":bob!b@bob.host JOIN :#quibo");
    sim.server_line(net, ":bob!b@bob.host PART #quibo :bye");
    for (const CommandRecord& command : sim.commands())
        EXPECT_FALSE(command.origin == Origin::Plugin && command.name == "PART") << command.text;
    EXPECT_EQ(sim.count_sent("PART #quibo"), 0);
}

}  // namespace
