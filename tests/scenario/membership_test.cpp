// Users joining, leaving, being kicked, quitting and changing nick, fed as server
// lines to the simulated client. The plug-in's objects are linked in, so that the
// user database can be filled and read through its own operations.
#include "capture.h"
#include "linked_load.h"
#include "handlers/handlers.h"
#include "handlers/membership.h"
#include "hostsim.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>


namespace {

constexpr const char* kServer = "irc.test.net";
constexpr const char* kZombie = "#QuIbOsCrIpT Zombie";

class Membership : public testing::Test {
protected:
    Membership() : net(sim.add_server(kServer, "me", "TestNet")), chan(sim.channel(net, "#quibo"))
    {
        install_language_file(home, "quibo_italiano.msg");
        sim.add_user(chan, "me", "me@local.host", "@");
        sim.focus(chan);
    }

    ~Membership() override
    {
        if (handle) {
            hostsim::StdoutCapture quiet;
            xchat_plugin_deinit(handle);
            FlushDatabases();
            SetCurrentDatabase(0);
            quiet.stop();
            sim.detach(handle);
        }
        EXPECT_EQ(sim.faults(), std::vector<std::string>{});
    }

    // Loads the plug-in, with `sentinels` as its sentinel file.
    void start(const std::string& sentinels = "")
    {
        if (!sentinels.empty()) home.write(".xchat2/quiboscript/quibo.snt", sentinels);
        handle = load_linked_plugin(sim, chan);
        iFlagEnableEvent = 1;
        iFlagBeep = 0;
        iFlagErrorMessage = 1;
        iFlagMonitoringMessage = 1;
        sFlagEndWhoCloneScanning = 0;
        sMultipleLocalUser = 0;
        SetSpecialUser(record("#quibo", "me", "me@local.host"), "me");
        sim.clear_records();
    }

    static ChatUser* record(const char* channel, const char* nick, const char* address, const char* info = nullptr)
    {
        ChatUserPtr user = CreateUser(kServer, channel, nick, address, info);
        ChatUser* kept = user.get();
        EXPECT_EQ(InsertUser(user), 1);
        IsDatabaseChanged();
        return kept;
    }

    // The raw line from the server; what the plug-in wrote on standard output meanwhile.
    std::string line(const std::string& text)
    {
        hostsim::StdoutCapture out;
        sim.server_line(net, text);
        return out.stop();
    }

    static std::vector<std::string> channels_of(const char* nick)
    {
        std::vector<std::string> channels;
        IsDatabaseChanged();  // a search stops short while the database reads as changed
        for (ChatUser* u = GetUser(kServer, nullptr, nick, nullptr, nullptr); u; u = GetUserNext())
            channels.push_back(u->psChannel() ? u->psChannel() : "(null)");
        return channels;
    }

    static std::string message(int number, const char* a = "", const char* b = "")
    {
        char text[1024];
        snprintf(text, sizeof text, GetMessage(number), a, b);
        return text;
    }

    std::vector<std::string> plugin_lines() const
    {
        std::vector<std::string> lines;
        for (const hostsim::Printed& p : sim.printed())
            if (p.origin == hostsim::Origin::Plugin) lines.push_back(p.text);
        return lines;
    }

    int plugin_commands() const
    {
        int n = 0;
        for (const hostsim::CommandRecord& c : sim.commands()) n += c.origin == hostsim::Origin::Plugin ? 1 : 0;
        return n;
    }

    hostsim::TempHome home;
    hostsim::Sim sim;
    hostsim::Server& net;
    hostsim::Context& chan;
    xchat_plugin* handle = nullptr;
};

TEST_F(Membership, PartOfAUserWhoseQueriesAreAcceptedParksTheRecordOnce)
{
    start();
    ChatUser* alice = record("#quibo", "alice", "a@alice.host");
    alice->uiQuery = kQueryAccepted;
    alice->set_last_message("see you");
    record("#quibo", "bob", "b@bob.host");
    const std::string left = message(28, "alice", "#quibo");

    EXPECT_EQ(line(":alice!a@alice.host PART #quibo :bye"), "");
    EXPECT_EQ(channels_of("alice"), std::vector<std::string>{kZombie});
    EXPECT_STREQ(GetUser(kServer, nullptr, "alice", nullptr, nullptr)->psLastMessage(), "see you");
    EXPECT_EQ(sim.count_printed(left), 1);
    EXPECT_EQ(sim.count_printed(GetMessage(29)), 1);

    const std::string out = line(":alice!a@alice.host PART #quibo :bye again");
    EXPECT_EQ(out, "") << "a zombie is no corruption";
    EXPECT_EQ(channels_of("alice"), std::vector<std::string>{kZombie});
    EXPECT_EQ(sim.count_printed(left), 1);
    EXPECT_EQ(sim.count_printed(GetMessage(29)), 1);

    line(":bob!b@bob.host PART #quibo");
    EXPECT_EQ(channels_of("bob"), std::vector<std::string>{});
    for (const std::string& shown : plugin_lines()) EXPECT_EQ(shown.find("bob"), std::string::npos) << shown;
    EXPECT_EQ(sFlagLockCheckUpDB, 0) << "the parser clears the lock after the line";
}

TEST_F(Membership, OurOwnPartDropsTheChannelButKeepsAcceptedQueries)
{
    start();
    record("#quibo", "bob", "b@bob.host");
    record("#other", "bob", "b@bob.host");
    record("#quibo", "carl", "c@carl.host")->uiQuery = kQueryAccepted;
    record(nullptr, "dan", "d@dan.host");  // in no channel: not the channel's
    sFlagCloseWindow_Part = 1;
    line(":me!me@local.host PART #quibo");
    EXPECT_EQ(channels_of("bob"), std::vector<std::string>{"#other"});
    EXPECT_EQ(channels_of("carl"), std::vector<std::string>{kZombie});
    EXPECT_EQ(channels_of("me"), std::vector<std::string>{});
    EXPECT_EQ(channels_of("dan"), std::vector<std::string>{"(null)"});
    EXPECT_EQ(sFlagCloseWindow_Part, 0);
    EXPECT_EQ(sim.count_issued("TIMER 1 quibo CloseWindow()"), 1);
}

TEST_F(Membership, QuitKeepsIgnoredUsersAsZombiesAndDeletesTheOthers)
{
    start();
    record("#quibo", "alice", "a@alice.host");
    record("#other", "alice", "a@alice.host");
    record("#quibo", "carol", "c@carol.host")->uiStatus = 255;
    record("#other", "carol", "c@carol.host")->uiStatus = 255;
    record("#quibo", "dave", "d@dave.host")->uiQuery = kQueryAccepted;

    line(":alice!a@alice.host QUIT :gone");
    EXPECT_EQ(channels_of("alice"), std::vector<std::string>{});
    line(":carol!c@carol.host QUIT :gone");
    EXPECT_EQ(channels_of("carol"), std::vector<std::string>{kZombie}) << "one zombie stands for both channels";
    for (const std::string& shown : plugin_lines()) EXPECT_EQ(shown.find("carol"), std::string::npos) << shown;
    line(":dave!d@dave.host QUIT :gone");
    EXPECT_EQ(channels_of("dave"), std::vector<std::string>{});
    char quit[1024];
    snprintf(quit, sizeof quit, GetMessage(37), "dave", "d@dave.host", kServer);
    EXPECT_EQ(sim.count_printed(quit), 1);
    EXPECT_EQ(GetSize(), 2) << "me and carol's zombie";
}

TEST_F(Membership, NickChangesAppendFormerNicksOldestFirstAndKeepTheState)
{
    start();
    ChatUser* alice = record("#quibo", "alice", "a@alice.host", "0 Alice A");
    alice->uiQuery = kQueryAccepted;
    alice->tLastMessage = 1234;
    line(":alice!a@alice.host NICK :al2");
    line(":al2!a@alice.host NICK al3");
    line(":al3!a@alice.host NICK :al4");
    EXPECT_EQ(channels_of("alice"), std::vector<std::string>{});
    ChatUser* now = GetUser(kServer, "#quibo", "al4", nullptr, nullptr);
    ASSERT_NE(now, nullptr);
    EXPECT_STREQ(now->psInfo(), "0 Alice A\0034 alice\0034 al2\0034 al3");
    EXPECT_STREQ(now->psAddress(), "a@alice.host");
    EXPECT_EQ(now->uiQuery, kQueryAccepted);
    EXPECT_EQ(now->tLastMessage, 1234);
    EXPECT_EQ(sFlagLockCheckUpDB, 0);
}

TEST_F(Membership, NickHistoryKeepsTheLastTenFormerNicks)
{
    std::string info;
    for (int i = 1; i <= 12; ++i) info = membership::add_nick_history(info.c_str(), ("n" + std::to_string(i)).c_str());
    std::string expected;
    for (int i = 3; i <= 12; ++i) expected += "\0034 n" + std::to_string(i);
    EXPECT_EQ(info, expected);
    EXPECT_EQ(membership::add_nick_history("real name", "a"), "real name\0034 a");
}

TEST_F(Membership, ANickChangeOfLetterCaseOnlyLeavesTheDatabaseButFiresTheEvent)
{
    start("Ripetizioni \"0\" Evento \"chgnick\" Condizione \"*\" Azione \"/echo chg $lu $ru $channel\"\n");
    record("#quibo", "alice", "a@alice.host");
    line(":alice!a@alice.host NICK :ALICE");
    ChatUser* same = GetUser(kServer, nullptr, "alice", nullptr, nullptr);
    ASSERT_NE(same, nullptr);
    EXPECT_STREQ(same->psUserNick(), "alice");
    EXPECT_EQ(same->psInfo(), nullptr);
    EXPECT_EQ(sim.count_issued("echo chg alice ALICE #quibo"), 1);
}

TEST_F(Membership, KickOfAnUnknownUserIsReportedAndRebuildsTheChannel)
{
    start("Ripetizioni \"0\" Evento \"kick\" Condizione \"*\" Azione \"/echo kick $lu $ru $data\"\n");
    record("#quibo", "bob", "b@bob.host");
    sim.add_user(chan, "bob", "b@bob.host");  // the rebuild keeps what the channel window shows
    const std::string out = line(":op!o@op.host KICK #quibo zed :out");
    EXPECT_NE(out.find("[parser:"), std::string::npos) << out;
    EXPECT_NE(out.find("]> DATABASE CORRUPTED\n"), std::string::npos) << out;
    EXPECT_EQ(sim.count_printed_containing("kicked_nick:[zed] kicker_nick:[op] address:[o@op.host] channel:[#quibo], "
                                           "data:[out]"),
              1);
    EXPECT_EQ(sFlagKick, 0);
    EXPECT_EQ(sim.count_issued("echo kick zed op out"), 0) << "no event for a user the database lacks";

    EXPECT_EQ(line(":op!o@op.host KICK #quibo bob :out"), "");
    EXPECT_EQ(channels_of("bob"), std::vector<std::string>{});
    EXPECT_EQ(sFlagKick, 0);
    EXPECT_EQ(sim.count_issued("echo kick bob op out"), 1);
}

TEST_F(Membership, OurOwnJoinStartsACloneScan)
{
    start();
    line(":alice!a@alice.host JOIN :#quibo");
    EXPECT_EQ(sFlagEndWhoCloneScanning, 0);
    line(":ME!me@local.host JOIN #new");
    EXPECT_NE(sFlagEndWhoCloneScanning, 0);  // pending (the WHO manager counts the join line too)
}

TEST_F(Membership, JoinAndNickAlertsFollowTheWatchedNick)
{
    start();
    psFlagChanJoinBeep.text[0] = "alice";
    psFlagChanJoinBeep.text[1] = kServer;
    psFlagChanJoinBeep.set = true;
    psFlagChanModBeep = psFlagChanJoinBeep;
    hostsim::Context& other = sim.channel(net, "#elsewhere");
    sim.focus(other);
    char joined[1024];
    snprintf(joined, sizeof joined, GetMessage(26), "alice", "#quibo", kServer);
    line(":alice!a@alice.host JOIN :#quibo");
    EXPECT_EQ(sim.count_printed(joined), 1);

    EXPECT_EQ(channels_of("alice"), std::vector<std::string>{"#quibo"});  // recorded by the WHO manager
    line(":alice!a@alice.host NICK :alice2");
    EXPECT_EQ(psFlagChanModBeep.text[0], "alice2");
    psFlagChanJoinBeep.text[0] = "alice3";
    char renamed[1024];
    snprintf(renamed, sizeof renamed, GetMessage(27), "alice2", "alice3", kServer);
    line(":alice2!a@alice.host NICK :alice3");
    EXPECT_EQ(sim.count_printed(renamed), 1);
    psFlagChanJoinBeep.clear();
    psFlagChanModBeep.clear();
}

// Hostile nicks, addresses and texts: every line is handled as one event, and nothing of it becomes a command.
TEST_F(Membership, HostileValuesNeverBecomeCommandsOrServerLines)
{
    start("Ripetizioni \"0\" Evento \"chgnick\" Condizione \"*\" Azione \"/echo chg $ru\"\n"
          "Ripetizioni \"0\" Evento \"pchannel\" Condizione \"*\" Azione \"/echo part $ru $data\"\n");
    const std::vector<std::string> values = {"%010", "%013", "a\rb", "$(id)", "\\;/quit", "%n%s%s%s",
                                             std::string(8192, 'x')};
    iFlagLogFile = 1;
    int nick_changes = 0;
    for (const std::string& value : values) {
        record("#quibo", "victim", "v@victim.host");
        line(":victim!v@victim.host NICK :" + value);
        ++nick_changes;
        line(":" + value + "!v@victim.host PART #quibo :" + value);
        line(":" + value + "!v@victim.host JOIN :#quibo");
        line(":op!o@op.host KICK #quibo " + value + " :" + value);
        line(":" + value + "!v@victim.host QUIT :" + value + " %s%n");
        line(":op!o@op.host KICK #quibo " + value + " :" + value);
    }
    iFlagLogFile = 0;
    int echoes = 0;
    int refreshes = 0;  // a kick of a user the database lacks asks for the channel's users again
    for (const hostsim::CommandRecord& c : sim.commands()) {
        if (c.origin != hostsim::Origin::Plugin) continue;
        EXPECT_EQ(c.text.find_first_of("\r\n"), std::string::npos) << c.text;
        if (c.text == "WHO #quibo") {
            ++refreshes;
            continue;
        }
        EXPECT_EQ(c.text.rfind("echo ", 0), 0u) << c.text;
        ++echoes;
    }
    EXPECT_EQ(echoes + refreshes, plugin_commands());
    EXPECT_GE(sim.count_issued("echo chg $(id)"), 1);
    EXPECT_EQ(sim.count_issued("echo chg %010"), 1);
    for (const hostsim::SentLine& sent : sim.sent()) EXPECT_EQ(sent.line, "WHO #quibo") << "nothing else reaches the server";
    EXPECT_EQ(nick_changes, static_cast<int>(values.size()));
}

}  // namespace
