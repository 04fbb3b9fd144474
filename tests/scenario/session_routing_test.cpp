// Where events land, in the simulated client with the plug-in loaded: the
// plug-in's objects are linked in so that the routing can be asked directly,
// next to what raw server lines do through the client's hook.
#include "capture.h"
#include "hostsim.h"
#include "host/host.h"
#include "pipeline/sessions.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

extern "C" int xchat_plugin_init(xchat_plugin*, char**, char**, char**, char*);
extern "C" int xchat_plugin_deinit(xchat_plugin*);

using namespace hostsim;

namespace {

// Two networks: "irc.one.net" with #one and "irc.two.net" with #two. The
// client lists the newest window first: #two, #one, then the server tabs.
class SessionRouting : public testing::Test {
protected:
    SessionRouting()
        : one(sim.add_server("irc.one.net", "me", "One")), two(sim.add_server("irc.two.net", "me", "Two")),
          one_chan(sim.channel(one, "#one")), two_chan(sim.channel(two, "#two"))
    {
        home.make_dir(".xchat2/quiboscript");
        home.copy_in(std::string(QUIBO_DATA_DIR) + "/quibo_italiano.msg", ".xchat2/quiboscript/quibo_italiano.msg");
        sim.add_user(one_chan, "me", "me@local.host", "@");
        sim.focus(one_chan);
        handle = sim.attach("quibo", &one_chan);
        char *name, *description, *version;
        StdoutCapture quiet;
        xchat_plugin_init(handle, &name, &description, &version, nullptr);
        quiet.stop();
        iFlagEnableDatabase = 1;  // an earlier unload in this process switched it off
    }

    ~SessionRouting() override
    {
        StdoutCapture quiet;
        if (handle) xchat_plugin_deinit(handle);
        FlushDatabases();
        SetCurrentDatabase(0);
        quiet.stop();
        if (handle) sim.detach(handle);
    }

    void unload()
    {
        StdoutCapture quiet;
        xchat_plugin_deinit(handle);
        quiet.stop();
        sim.detach(handle);
        handle = nullptr;
    }

    HostSession* session(Context& ctx)
    {
        iFlagUpdateSessionInibition = 0;
        update_session(nullptr);
        return session_of(ctx.handle());
    }
    void tab_server(int on)
    {
        sim.set_pref("tab_server", on);
        prefs_setup();
    }
    static void record(const char* server, const char* channel, const char* nick, const char* address)
    {
        ChatUserPtr user = CreateUser(server, channel, nick, address, nullptr);
        ASSERT_EQ(InsertUser(user), 1);
        IsDatabaseChanged();  // a search stops at a change it has not seen
    }
    HostSession* private_from(const char* nick, const char* server, HostSession* fallback = nullptr)
    {
        iFlagUpdateSessionInibition = 0;
        return GetSession(fallback, "me", nick, "me", server);
    }

    TempHome home;
    Sim sim;
    Server& one;
    Server& two;
    Context& one_chan;
    Context& two_chan;
    xchat_plugin* handle = nullptr;
};

TEST_F(SessionRouting, APrivateMessageGoesToTheSendersDialogOnItsOwnServerOnly)
{
    tab_server(0);
    Context& bob_on_two = sim.dialog(two, "bob");
    HostSession* fallback = session(one_chan);
    // The only dialog with bob is on the other network: not his window here.
    EXPECT_EQ(private_from("bob", "irc.one.net", fallback), fallback);
    EXPECT_EQ(private_from("BOB", "IRC.TWO.NET", fallback), session(bob_on_two));
    Context& bob_on_one = sim.dialog(one, "bob");
    EXPECT_EQ(private_from("bob", "irc.one.net", fallback), session(bob_on_one));
}

TEST_F(SessionRouting, TheSendersDialogWinsOverAnEarlierChannelWithServerTabsOn)
{
    tab_server(1);
    iFlagEnableDatabase = 0;
    Context& bob = sim.dialog(one, "bob");
    sim.channel(one, "#later");  // listed before the dialog
    EXPECT_EQ(private_from("bob", "irc.one.net"), session(bob));
}

TEST_F(SessionRouting, ServerTabsWithTheDatabaseOffTakeTheFirstChannelOfAnyServer)
{
    tab_server(1);
    iFlagEnableDatabase = 0;
    // #two comes first in the client's list, though the message came from irc.one.net.
    EXPECT_EQ(private_from("carol", "irc.one.net"), session(two_chan));
    tab_server(0);
    EXPECT_EQ(private_from("carol", "irc.one.net"), zombie_session());
}

// The routing reads the client's preference as it stands at the last raw line.
TEST_F(SessionRouting, APreferenceChangedInTheClientCountsFromTheNextRawLine)
{
    tab_server(1);
    iFlagEnableDatabase = 0;
    EXPECT_EQ(private_from("carol", "irc.one.net"), session(two_chan));
    sim.set_pref("tab_server", 0);
    EXPECT_EQ(private_from("carol", "irc.one.net"), session(two_chan));
    sim.server_line(one, ":irc.one.net NOTICE me :*** a line");
    EXPECT_EQ(private_from("carol", "irc.one.net"), zombie_session());
    sim.set_pref("tab_server", 1);
    sim.server_line(one, ":irc.one.net NOTICE me :*** another line");
    EXPECT_EQ(private_from("carol", "irc.one.net"), session(two_chan));
}

TEST_F(SessionRouting, ServerTabsWithTheDatabaseOnTakeTheChannelWhereTheSenderWasSeen)
{
    tab_server(1);
    record("irc.one.net", "#one", "carol", "c@carol.host");
    EXPECT_EQ(private_from("Carol", "irc.one.net"), session(one_chan));
    HostSession* fallback = session(two_chan);
    EXPECT_EQ(private_from("dave", "irc.one.net", fallback), fallback);
}

TEST_F(SessionRouting, OurOwnPrivateMessageStaysOnItsServer)
{
    tab_server(0);
    update_session(nullptr);
    HostSession* found = GetSession(nullptr, "me", "me", "me", "irc.one.net");
    ASSERT_NE(found, nullptr);
    ASSERT_NE(found->server, nullptr);
    EXPECT_EQ(found->server->servername, "irc.one.net");
}

TEST_F(SessionRouting, NoticesGoToTheTargetsWindowElseTheFocusedTabOfThatServerElseItsFirstWindow)
{
    update_session(nullptr);
    EXPECT_EQ(GetSession(nullptr, "me", kNoticeRoute, "#one", "irc.one.net"), session(one_chan));
    // No window named "me" on irc.one.net: the focused tab belongs there.
    sim.focus(one_chan);
    update_session(nullptr);
    EXPECT_EQ(GetSession(nullptr, "me", kNoticeRoute, "me", "irc.one.net"), current_tab);
    EXPECT_EQ(current_tab, session(one_chan));
    // The focused tab is on irc.one.net: irc.two.net's notice takes that server's first window.
    HostSession* found = GetSession(nullptr, "me", kNoticeRoute, "me", "irc.two.net");
    EXPECT_EQ(found, session(two_chan));
    // A server without windows: no candidate, so the default or the zombie.
    EXPECT_EQ(GetSession(nullptr, "me", kNoticeRoute, "me", "irc.none.net"), zombie_session());
}

TEST_F(SessionRouting, AChannelMessageNeedsTheChannelOnItsServer)
{
    Context& other_one = sim.channel(two, "#one");
    update_session(nullptr);
    EXPECT_EQ(GetSession(nullptr, "me", "bob", "#ONE", "irc.two.net"), session(other_one));
    EXPECT_EQ(GetSession(nullptr, "me", "bob", "#one", "irc.one.net"), session(one_chan));
    HostSession* fallback = session(two_chan);
    EXPECT_EQ(GetSession(fallback, "me", "bob", "#gone", "irc.one.net"), fallback);
}

TEST_F(SessionRouting, WithoutFitOrDefaultTheOneZombieComesBackAndIsNoWindow)
{
    HostSession* zombie = GetSession(nullptr, "me", "", "#one", "irc.one.net");
    ASSERT_NE(zombie, nullptr);
    EXPECT_EQ(zombie->channel, "#QuIbOsCrIpT Zombie");
    EXPECT_EQ(zombie->server, nullptr);
    EXPECT_EQ(GetSession(nullptr, nullptr, nullptr, nullptr, nullptr), zombie);
    EXPECT_EQ(GetSession(nullptr, "me", "bob", "#gone", "irc.one.net"), zombie);
    EXPECT_EQ(CheckSession(zombie), 0);
    HostSession* fallback = session(one_chan);
    EXPECT_EQ(GetSession(fallback, "me", "", "#one", "irc.one.net"), fallback);
}

TEST_F(SessionRouting, AClosedWindowIsNoLongerASession)
{
    Context& bob = sim.dialog(one, "bob");
    HostSession* dialog = session(bob);
    EXPECT_EQ(CheckSession(dialog), 1);
    sim.close(bob);
    iFlagUpdateSessionInibition = 0;
    EXPECT_EQ(CheckSession(dialog), 0);
    EXPECT_EQ(private_from("bob", "irc.one.net"), zombie_session());
}

// A private message shown in bob's dialog: the first one reports what the
// database knows and asks the server about him; the second reports nothing.
TEST_F(SessionRouting, UserDetectReportsADialogPartnerOnceThroughTheRawLineHook)
{
    iPKAllowOnTimeout = 1;  // the guard's question, unanswered, lets him through
    record("irc.one.net", "#one", "me", "me@local.host");  // else the parser rebuilds the database
    // Channels without a window here, which no reconciliation with the client's lists touches.
    record("irc.one.net", "#seen", "bob", "b@bob.host");
    record("irc.one.net", "#other", "bob", "b@bob.host");
    record("irc.two.net", "#far", "bob", "b@elsewhere");
    Context& bob = sim.dialog(one, "bob");
    sim.focus(bob);
    sim.clear_records();
    sim.server_line(one, ":bob!b@bob.host PRIVMSG me :hello");
    EXPECT_EQ(sim.count_printed_containing("Nuovo utente in un dialogo privato"), 1);
    EXPECT_EQ(sim.count_printed_containing(" visto in"), 2);  // his two records of this server
    EXPECT_EQ(sim.count_issued("WHOIS bob"), 1);
    EXPECT_EQ(GetUser("irc.one.net", "#seen", "bob", nullptr, nullptr)->uiStatus, 1);
    EXPECT_EQ(GetUser("irc.two.net", "#far", "bob", nullptr, nullptr)->uiStatus, 0);
    EXPECT_EQ(last_nickname_detected(), "bob");

    sim.clear_records();
    sim.server_line(one, ":bob!b@bob.host PRIVMSG me :again");
    EXPECT_EQ(sim.count_printed_containing("Nuovo utente"), 0);
    EXPECT_EQ(sim.count_printed_containing(" visto in"), 0);
    EXPECT_EQ(sim.count_issued("WHOIS bob"), 0);
}

TEST_F(SessionRouting, UserDetectTellsNothingOfAUserAlreadyCheckedOrWithTheDatabaseOff)
{
    record("irc.one.net", "#one", "bob", "b@bob.host");
    GetUser("irc.one.net", "#one", "bob", nullptr, nullptr)->uiStatus = 1;
    sim.clear_records();
    UserDetect(session(one_chan), "irc.one.net", "bob");
    EXPECT_TRUE(sim.printed().empty());
    EXPECT_EQ(sim.count_issued("WHOIS bob"), 0);

    record("irc.one.net", "#one", "eve", "e@eve.host");
    iFlagEnableDatabase = 0;
    UserDetect(session(one_chan), "irc.one.net", "eve");
    EXPECT_TRUE(sim.printed().empty());
    EXPECT_EQ(last_nickname_detected(), "bob");
}

TEST_F(SessionRouting, UnloadForgetsFormerNicknamesAndTheZombieComesNewAfterReload)
{
    HostServer* server = session(one_chan)->server;
    AddNicknameForServer(server, "oldme");
    UserDetect(session(one_chan), "irc.one.net", "bob");
    unload();
    EXPECT_EQ(old_nickname_count(), 0u);
    EXPECT_EQ(last_nickname_detected(), "");
}

}  // namespace
