// Mode changes, NAMES replies, invitations and notify reports arriving as raw
// lines in the simulated client, with the user database looked at directly.
#include "handler_fixture.h"

#include "handlers/handlers.h"
#include "pipeline/commands.h"
#include "protection/private_killer.h"

using namespace hostsim;
using handler_test::HandlerScenario;

namespace {

class Modes : public HandlerScenario {
protected:
    Modes()
    {
        iFlagLocalUserModeChg = 1;
        iFlagQuiboMessage = 1;
        sim.set_pref("away_auto_unmark", 0);
        prefs_setup();
        set_away(false);
        sim.clear_records();
    }

    // The WHO text of `nick` in #quibo after `mode` set by bob.
    std::string status_after(const char* info, const std::string& mode, const char* nick = "carl")
    {
        ChatUser* user = GetUser("irc.test.net", "#quibo", nick, nullptr, nullptr);
        if (!user) user = record("irc.test.net", "#quibo", nick, "c@carl.host", info);
        user->set_info(info);
        line(":bob!b@bob.host MODE #quibo " + mode + " " + nick);
        user = GetUser("irc.test.net", "#quibo", nick, nullptr, nullptr);
        return user && user->psInfo() ? user->psInfo() : "(none)";
    }

    // Our own record (the one the fixture made is on no channel, so it stands for every channel).
    static void local_status(const char* info)
    {
        ChatUser* me = GetUser("irc.test.net", "#quibo", "me", nullptr, nullptr);
        ASSERT_NE(me, nullptr);
        me->set_info(info);
    }

    // The plug-in's banner as it reaches the client, its percent escapes translated.
    static std::string banner()
    {
        std::string text = QUIBO_MESSAGE;
        ustrfindreplace(text, "%B", "\002");
        ustrfindreplace(text, "%O", "\017");
        return text;
    }

    std::string thanks(const char* setter) const
    {
        return message(30, setter, setter, GetMessage(727), "#quibo");
    }
};

TEST_F(Modes, TheStatusPrefixFollowsEachModeChange)
{
    EXPECT_EQ(status_after("H@ :0 Carl Example", "-o"), "H :0 Carl Example");
    EXPECT_EQ(status_after("H@ :0 Carl Example", "+q"), "H~ :0 Carl Example");
    EXPECT_EQ(status_after("H~ :0 Carl Example", "+o"), "H~ :0 Carl Example") << "the owner outranks +o";
    EXPECT_EQ(status_after("G+ :0 Carl", "+o"), "G@ :0 Carl") << "the voice gives way";
    EXPECT_EQ(status_after("H :0 Carl", "+h"), "H% :0 Carl");
    EXPECT_EQ(status_after("H% :0 Carl", "-h"), "H :0 Carl");
    EXPECT_EQ(status_after("H*@ :0 Carl", "-o"), "H* :0 Carl") << "the IRC operator mark stays";
    EXPECT_EQ(status_after("H@ :0 Carl", "-v"), "H@ :0 Carl") << "nothing to take away";
}

TEST_F(Modes, AGrantAlreadyHeldOrOutrankedLeavesTheTextAlone)
{
    EXPECT_EQ(status_after("H@ :0 Carl", "+o"), "H@ :0 Carl");
    EXPECT_EQ(status_after("H+ :0 Carl", "+v"), "H+ :0 Carl");
    EXPECT_EQ(status_after("H~ :0 Carl", "+q"), "H~ :0 Carl");
    EXPECT_EQ(status_after("H@ :0 Carl", "+v"), "H@ :0 Carl");
    EXPECT_EQ(status_after("H :0 ~tilde@+plus", "+o"), "H@ :0 ~tilde@+plus")
        << "prefix characters after the colon are the real name's";
    EXPECT_EQ(status_after("H:0 Carl", "+o"), "H:0 Carl") << "no blank before the colon: nowhere to put it";
}

TEST_F(Modes, AnOpGivenByAnotherUserIsThankedOnceAndOneWeGaveOurselvesIsNot)
{
    local_status("H :0 me");
    line(":bob!b@bob.host MODE #quibo +o me");
    EXPECT_EQ(issued(), std::vector<std::string>{thanks("bob")});

    sim.clear_records();
    line(":me!me@local.host MODE #quibo +o me");
    EXPECT_TRUE(issued().empty());

    sim.clear_records();
    line(":bob!b@bob.host MODE #quibo +v carl");
    EXPECT_TRUE(issued().empty()) << "a mode on somebody else";
}

TEST_F(Modes, AwayTheRemovalIsExplainedAndTheBannerFollows)
{
    local_status("H@ :0 me");
    set_away(true);
    line(":bob!b@bob.host MODE #quibo -o me");
    EXPECT_EQ(issued(), (std::vector<std::string>{message(33, "bob", "bob", GetMessage(727), "#quibo"),
                                                  message(32, "bob", banner().c_str())}));
    sim.clear_records();
    line(":bob!b@bob.host MODE #quibo +v me");
    EXPECT_EQ(issued(), (std::vector<std::string>{message(30, "bob", "bob", GetMessage(31), "#quibo"),
                                                  message(32, "bob", banner().c_str())}))
        << "away without the automatic unmark: the grant is thanked too";
}

TEST_F(Modes, HostileSettersAndTargetsNeverMakeAnExtraCommand)
{
    local_status("H :0 me");
    const std::vector<std::string> setters = {"%010", "$(id)", "a%n%s%x", "x;QUIT", std::string(8192, 'N')};
    for (const std::string& setter : setters) {
        sim.clear_records();
        line(":" + setter + "!b@bob.host MODE #quibo +o me");
        const std::vector<std::string> commands = issued();
        ASSERT_LE(commands.size(), 1u) << setter.substr(0, 20);
        if (setter.size() < 100) {
            ASSERT_EQ(commands.size(), 1u) << setter;
            EXPECT_EQ(commands[0], thanks(setter.c_str())) << "the setter reaches the notice as written";
        }
    }
    const std::vector<std::string> targets = {"me\r\nQUIT", "%010", "$(id)", ":me /QUIT :now", std::string(8192, 'T')};
    for (const std::string& target : targets) {
        sim.clear_records();
        line(":bob!b@bob.host MODE #quibo +o " + target);
        EXPECT_TRUE(issued().empty()) << target.substr(0, 20);
    }
    EXPECT_EQ(sim.count_sent("QUIT"), 0);
}

TEST_F(Modes, NamesBecomeRecordsOnlyWhileAChannelScanWaits)
{
    const int before = GetSize();
    line(":irc.test.net 353 me = #quibo :@alice +dave eve");
    EXPECT_EQ(GetSize(), before);
    EXPECT_EQ(GetUser("irc.test.net", "#quibo", "alice", nullptr, nullptr), nullptr);

    sFlagEndWhoCloneScanning = 1;
    line(":irc.test.net 353 me = #quibo :@alice +dave @+ eve alice");
    sFlagEndWhoCloneScanning = 0;
    EXPECT_EQ(GetSize(), before + 3) << "a name of prefixes only is skipped, a duplicate refused";
    for (const char* nick : {"alice", "dave", "eve"}) {
        const ChatUser* user = GetUser("irc.test.net", "#quibo", nick, nullptr, nullptr);
        ASSERT_NE(user, nullptr) << nick;
        EXPECT_EQ(user->psAddress(), nullptr);
    }
}

class Invitations : public Modes {
protected:
    Invitations()
    {
        iPrivateKillerAlert = 8;
        iFlagAwayMessage = 1;
        tMinSecondSent = 5;
        iFlagTextFloodIncoming = 0;
        tLastQueryTime = 0;
        acAwayMessage = "a pranzo";
        iFlagParserMode[kInviteSection] = 1;  // off unless the user asks
        // The answer timer lives as long as the plug-in's objects: each test starts far past the last one's.
        static int runs = 0;
        sim.set_time(Sim::kStartTime + 100000 * ++runs);
    }
    ~Invitations() override { iFlagParserMode[kInviteSection] = 0; }
    static constexpr int kInviteSection = 18;

    void invite(const std::string& nick, const std::string& channel = "#secret")
    {
        const std::string address = nick + "@" + nick + ".host";
        // Allowed past the private-message guard for this session.
        if (get_killed_user_flag(nick.c_str(), address.c_str()) == 0)
            add_killed_user(nick.c_str(), address.c_str(), 3, 1);
        line(":" + nick + "!" + address + " INVITE me :" + channel);
    }
};

TEST_F(Invitations, AnInviterNoChannelShowsIsRecordedAndHandledAsKnown)
{
    invite("zed");
    const ChatUser* zed = GetUser("irc.test.net", nullptr, "zed", "zed@zed.host", nullptr);
    ASSERT_NE(zed, nullptr);
    EXPECT_STREQ(zed->psChannel(), "me");
    EXPECT_EQ(zed->tLastMessage, sim.now());
    EXPECT_EQ(tLastQueryTime, sim.now()) << "handled as from a known user";
    EXPECT_TRUE(issued().empty()) << "not away: no answer";
}

TEST_F(Invitations, AnInviterTheClientShowsButTheDatabaseLacksIsRefreshedFirst)
{
    sim.add_user(chan, "yan", "yan@yan.host");
    invite("yan");
    EXPECT_EQ(sim.count_printed(message(21, "yan", "irc.test.net")), 1);
    EXPECT_NE(GetUser("irc.test.net", nullptr, "yan", nullptr, nullptr), nullptr);
}

TEST_F(Invitations, AwayTheInviterHearsSoAtMostOncePerIntervalAndIsToldToStopAtTheThird)
{
    set_away(true);
    invite("zed");
    const std::vector<std::string> answer = {message(16, "zed", "zed", "a pranzo"), message(17, "zed")};
    EXPECT_EQ(issued(), answer);

    sim.clear_records();
    sim.advance(2);
    invite("zed");
    EXPECT_TRUE(issued().empty()) << "within the interval";

    sim.advance(10);
    invite("zed");
    sim.advance(10);
    sim.clear_records();
    invite("zed");
    EXPECT_EQ(issued(), (std::vector<std::string>{message(16, "zed", "zed", "a pranzo"), message(17, "zed"),
                                                  message(18, "zed"), message(764, "zed", banner().c_str())}));
    sim.advance(10);
    sim.clear_records();
    invite("zed");
    EXPECT_TRUE(issued().empty()) << "three answers in all";
}

TEST_F(Invitations, AnInviterTheClientIgnoresIsMarkedAndGetsNoAnswerUntilTheIgnoreGoes)
{
    set_away(true);
    invite("zed");
    ignore_list.push_back({"zed!*@*", 1});
    sim.clear_records();
    sim.advance(60);
    invite("zed");
    const ChatUser* zed = GetUser("irc.test.net", nullptr, "zed", nullptr, nullptr);
    ASSERT_NE(zed, nullptr);
    EXPECT_EQ(zed->uiStatus, 255);
    EXPECT_EQ(sim.count_printed(message(760, "zed", "zed@zed.host")), 1);
    EXPECT_TRUE(issued().empty()) << "no answer to an ignored user";

    ignore_list.clear();
    sim.advance(60);
    invite("zed");
    EXPECT_EQ(zed->uiStatus, 0);
    EXPECT_EQ(sim.count_printed(message(761, "zed", "zed@zed.host")), 1);
    EXPECT_EQ(issued().size(), 2u) << "answered again";
}

TEST_F(Invitations, ARushOfInvitationsIsReportedAsAFloodOncePerSoundInterval)
{
    iFlagTextFloodIncoming = 1;
    iFlagTextFloodError = 1;
    iMaxMessageSent = 1;
    tSoundCommandTimer = 30;
    for (int i = 0; i < 4; ++i) invite("zed");
    EXPECT_EQ(sim.count_printed(message(10, "zed", "me", "irc.test.net")), 1);
    sim.advance(31);
    for (int i = 0; i < 3; ++i) invite("zed");  // the first is quiet again: the count starts over
    EXPECT_EQ(sim.count_printed(message(10, "zed", "me", "irc.test.net")), 2);
}

TEST_F(Invitations, HostileInviterNamesAndChannelsNeverMakeAnExtraCommand)
{
    set_away(true);
    const std::vector<std::string> channels = {"%010", "#a\r\nQUIT", "$(id)", ":#x /QUIT", std::string(8192, '#')};
    for (const std::string& channel : channels) {
        sim.clear_records();
        sim.advance(60);
        invite("n" + std::to_string(channel.size()), channel);
        EXPECT_EQ(issued().size(), 2u) << channel.substr(0, 20);
    }
    for (const std::string& nick : std::vector<std::string>{"%010", "p%n%s", "$(id)"}) {
        sim.clear_records();
        sim.advance(60);
        invite(nick);
        const std::vector<std::string> commands = issued();
        ASSERT_EQ(commands.size(), 2u) << nick;
        EXPECT_EQ(commands[1], message(17, nick.c_str())) << "the nick reaches the notice as written";
    }
    EXPECT_EQ(sim.count_sent("QUIT"), 0);
}

}  // namespace
