// Replies about the connection (welcome, closing link, end of MOTD, channel
// leave) arriving as raw lines in the simulated client.
#include "handler_fixture.h"

#include "handlers/handlers.h"
#include "host/lifecycle.h"

#include "output/output.h"
#include "pipeline/parser.h"

#include <algorithm>
#include <fstream>
#include <sstream>

using namespace hostsim;
using handler_test::HandlerScenario;

namespace {

constexpr const char* kClosingLink = "ERROR :Closing Link: me[127.0.0.1] (Ping timeout: 121 seconds)";
constexpr const char* kEndOfMotd = ":irc.test.net 376 me :End of /MOTD command.";

class ServerState : public HandlerScenario {
protected:
    ServerState() { iFlagKeepQueueCommandCorrupted = 0; }

    int printed(int number, const char* value) const { return sim.count_printed(message(number, value)); }

    int quits_run() const
    {
        return static_cast<int>(std::count_if(sim.commands().begin(), sim.commands().end(), [](const CommandRecord& c) {
            return c.text == "QUIT" && c.origin == Origin::Timer;
        }));
    }
};

TEST_F(ServerState, ThreeClosingLinksMarkTheServerAndItsNextEndOfMotdLeavesIt)
{
    line(kClosingLink);
    line(kClosingLink);
    line(kEndOfMotd);
    EXPECT_EQ(printed(40, "irc.test.net"), 0) << "two are not enough";
    line(kClosingLink);
    EXPECT_EQ(psConnectionBrokenServer, "irc.test.net");
    for (int count : {1, 2, 3})
        EXPECT_EQ(sim.count_printed(message(56, "me[127.0.0.1]", "irc.test.net", count)), 1);

    line(":irc.test.net NOTICE * :*** Looking up your hostname...");
    line(":irc.test.net 375 me :- irc.test.net Message of the Day -");
    EXPECT_EQ(psConnectionBrokenServer, "irc.test.net") << "only the end of the MOTD takes the mark";
    EXPECT_TRUE(issued().empty());

    line(kEndOfMotd);
    EXPECT_TRUE(psConnectionBrokenServer.empty());
    EXPECT_EQ(issued(), std::vector<std::string>{"TIMER 2 QUIT"});
    EXPECT_EQ(printed(40, "irc.test.net"), 1);
    EXPECT_EQ(quits_run(), 0);
    sim.advance(2);
    EXPECT_EQ(quits_run(), 1) << "the client leaves two seconds later";

    line(kEndOfMotd);
    EXPECT_EQ(printed(40, "irc.test.net"), 1) << "the mark is used once";
}

TEST_F(ServerState, TheMarkWaitsForTheServerOfThatName)
{
    Server& other = sim.add_server("irc.other.net", "me", "Other");
    for (int i = 0; i < 3; ++i) line(kClosingLink);
    sim.server_line(other, ":irc.other.net 376 me :End of /MOTD command.");
    EXPECT_EQ(psConnectionBrokenServer, "irc.test.net");
    psConnectionBrokenServer = "IRC.Test.NET";
    line(kEndOfMotd);
    EXPECT_TRUE(psConnectionBrokenServer.empty()) << "names compare without case";
}

TEST_F(ServerState, AClosingLinkEmptiesTheQueueUnlessTheUserKeepsIt)
{
    iFlagKeepQueueCommandCorrupted = 1;
    InsertCommandInQueueTimed(nullptr, "/echo later", 60);
    line(kClosingLink);
    EXPECT_EQ(iObjectInQueue, 1);
    EXPECT_EQ(sim.count_printed(message(55)), 0);

    iFlagKeepQueueCommandCorrupted = 0;
    line(kClosingLink);
    EXPECT_EQ(iObjectInQueue, 0);
    EXPECT_EQ(sim.count_printed(message(55)), 1);

    line(kClosingLink);  // the third: leaves no mark for a later test
    line(kEndOfMotd);
}

TEST_F(ServerState, AWelcomeLeavesOnlyTheLocalUserOfThatServer)
{
    record("irc.test.net", "#quibo", "bob", "b@bob.host", "H :0 Bob");
    record("irc.test.net", "me", "carl", "c@carl.host");
    record("irc.test.net", nullptr, "me", "old@old.host");
    record("irc.other.net", "#else", "dan", "d@dan.host");
    line(":irc.test.net 001 me :Welcome to the TestNet IRC Network me!me@local.host");

    EXPECT_EQ(StatUser("irc.test.net", nullptr, nullptr, nullptr, nullptr), 1);
    const ChatUser* me = GetUser("irc.test.net", nullptr, "me", nullptr, nullptr);
    ASSERT_NE(me, nullptr);
    EXPECT_EQ(me->usSpecial, 1);
    EXPECT_STREQ(me->psAddress(), "me@local.host");
    EXPECT_EQ(me->psChannel(), nullptr);
    EXPECT_NE(GetUser("irc.other.net", "#else", "dan", nullptr, nullptr), nullptr) << "other servers keep theirs";
    EXPECT_EQ(printed(41, "irc.test.net"), 1);
    EXPECT_EQ(sWhoDatabaseUpdate, 0);
}

TEST_F(ServerState, LeavingAChannelDropsItsRecordsButKeepsAcceptedQueriesAsZombies)
{
    record("irc.test.net", "#quibo", "bob", "b@bob.host");
    record("irc.test.net", "#quibo", "carl", "c@carl.host")->uiQuery = kQueryAccepted;
    record("irc.test.net", "#other", "bob", "b@bob.host");
    SetDatabaseChanged();  // a change no search has seen yet
    line(":irc.test.net 280 me #quibo :left");
    EXPECT_EQ(StatUser("irc.test.net", "#quibo", nullptr, nullptr, nullptr), 0);
    const ChatUser* carl = GetUser("irc.test.net", nullptr, "carl", nullptr, nullptr);
    ASSERT_NE(carl, nullptr);
    EXPECT_STREQ(carl->psChannel(), kZombieChannel);
    EXPECT_NE(GetUser("irc.test.net", "#other", "bob", nullptr, nullptr), nullptr);
}

TEST_F(ServerState, LoggedRepliesCarryTheirTimeAndFields)
{
    iFlagLogFile = 1;
    iFlagAdvancedLog = 0;
    line(":irc.test.net 322 me #big 42 :[+nt] a big channel");
    line(":irc.test.net 482 me #quibo :You're not channel operator");
    iFlagLogFile = 0;
    StdoutCapture quiet;
    WriteLog(nullptr, nullptr);  // closes the log stream
    quiet.stop();
    std::ifstream in(caPathLogFile);
    std::stringstream log;
    log << in.rdbuf();
    const std::string when = "[" + std::to_string(sim.now()) + " | " + ctime_text(sim.now()) + "] -> ";
    EXPECT_NE(log.str().find("CLIST: " + when +
                             "server:[irc.test.net] nick:[me] channel:[#big] nickslist:[[+nt] a big channel]"),
              std::string::npos)
        << log.str();
    EXPECT_NE(log.str().find("SRVMSG: " + when +
                             "server:[irc.test.net] nick:[me] channel:[#quibo] data:[You're not channel operator]"),
              std::string::npos)
        << log.str();
}

}  // namespace
