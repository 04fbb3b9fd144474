// The host binding against the simulated client: the wrapper, the mirrors and
// the client-style helpers, with the plug-in's objects linked in.
#include "host/host.h"

#include "host/lifecycle.h"
#include "hostsim.h"
#include "output/output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using hostsim::Context;
using hostsim::Sim;

class HostBinding : public ::testing::Test {
protected:
    void SetUp() override
    {
        irc = &sim.add_server("irc.test.net", "me", "TestNet", "irc.test.net");
        chan = &sim.channel(*irc, "#quibo");
        sim.add_user(*chan, "me", "me@local.host", "@");
        sim.add_user(*chan, "Alice", "alice@a.host");
        sim.focus(*chan);
        handle = sim.attach("quibo-unit", chan);
        plugin_install(std::make_unique<Plugin>(handle, "QuIbOsCrIpT", "d", "3.7.86", nullptr));
        sim.clear_records();
    }

    void TearDown() override
    {
        host_records_flush();
        plugin_install(nullptr);
        sim.detach(handle);
    }

    int commands_issued_named(const std::string& name) const
    {
        int count = 0;
        for (const auto& c : sim.commands())
            if (c.origin == hostsim::Origin::Plugin && c.name == name) ++count;
        return count;
    }

    // The record of a channel the mirror has seen, after the channel closed.
    HostSession* seen_then_closed(Context& tab)
    {
        update_session(nullptr);
        HostSession* record = session_of(tab.handle());
        EXPECT_NE(record, nullptr);
        sim.close(tab);
        return record;
    }

    Sim sim;
    hostsim::Server* irc = nullptr;
    Context* chan = nullptr;
    xchat_plugin* handle = nullptr;
};

TEST_F(HostBinding, HandleCommandLengthLimitAndLeadingSlash)
{
    std::string longest = "ECHO " + std::string(2043, 'x');  // 2048 characters
    ASSERT_EQ(longest.size(), 2048u);
    quibo_handle_command(longest.c_str(), nullptr);
    EXPECT_EQ(commands_issued_named("ECHO"), 1);

    testing::internal::CaptureStdout();
    std::string too_long = longest + "y";
    EXPECT_EQ(quibo_handle_command(too_long.c_str(), nullptr), 0);
    EXPECT_EQ(quibo_handle_command("", nullptr), 0);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[xchat2:"), std::string::npos);
    EXPECT_NE(out.find("]> quibo_handle_command()\n"), std::string::npos);
    EXPECT_EQ(commands_issued_named("ECHO"), 1);
    EXPECT_EQ(sim.count_printed("QuIbOsCrIpT: XChat2: quibo_handle_command(...): ERROR"), 2);

    // Only one leading '/' is removed: "//x" reaches the client as "/x".
    sim.clear_records();
    quibo_handle_command("//ECHO hi", nullptr);
    ASSERT_FALSE(sim.commands().empty());
    EXPECT_EQ(sim.commands().front().text, "/ECHO hi");
}

TEST_F(HostBinding, HandleCommandNeverSendsASecondLine)
{
    quibo_handle_command("/QUOTE PRIVMSG #quibo :one\r\nQUIT :two", nullptr);
    ASSERT_EQ(sim.sent().size(), 1u);
    EXPECT_EQ(sim.sent().front().line.find('\n'), std::string::npos);
    EXPECT_EQ(sim.sent().front().line.find('\r'), std::string::npos);
    EXPECT_EQ(sim.count_sent("QUIT :two"), 0);
}

TEST_F(HostBinding, HandleCommandRunsInTheGivenSessionAndRestoresTheCurrentOne)
{
    Context& other = sim.channel(*irc, "#other");
    update_session(nullptr);
    HostSession* target = session_of(other.handle());
    ASSERT_NE(target, nullptr);
    quibo_handle_command("ECHO there", target);
    ASSERT_EQ(sim.commands().size(), 1u);
    EXPECT_EQ(sim.commands().front().ctx, &other);
    EXPECT_EQ(plugin().get_context(), chan->handle());
}

TEST_F(HostBinding, SessionMirrorIsRebuiltOnlyWhenTheContextChanges)
{
    Context& other = sim.channel(*irc, "#other");
    sim.dialog(*irc, "Alice");
    update_session(chan->handle());
    int gets = sim.list_gets("channels");
    update_session(chan->handle());
    EXPECT_EQ(sim.list_gets("channels"), gets);  // same context: no rebuild
    update_session(nullptr);
    update_session(nullptr);
    EXPECT_EQ(sim.list_gets("channels"), gets + 2);  // null: always
    update_session(other.handle());
    EXPECT_EQ(sim.list_gets("channels"), gets + 3);

    ASSERT_EQ(sess_list.size(), sim.tabs().size());
    ASSERT_EQ(serv_list.size(), 1u);
    EXPECT_EQ(serv_list[0]->servername, "irc.test.net");
    EXPECT_EQ(serv_list[0]->nick, "me");
    EXPECT_EQ(serv_list[0]->network, "TestNet");
    HostSession* dialog = find_dialog(serv_list[0], "ALICE");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->type, 3);
    EXPECT_TRUE(is_session(dialog));
    EXPECT_EQ(sim.open_lists(), 0);
}

TEST_F(HostBinding, NoOpenSessionLeavesEmptyMirrorsAndNoList)
{
    Sim empty;
    xchat_plugin* bare = empty.attach("bare");
    host_records_flush();
    plugin_install(std::make_unique<Plugin>(bare, "n", "d", "v", nullptr));
    update_session(nullptr);
    EXPECT_TRUE(sess_list.empty());
    EXPECT_TRUE(serv_list.empty());
    EXPECT_EQ(empty.open_lists(), 0);
    host_records_flush();
    plugin_install(nullptr);
    empty.detach(bare);
}

TEST_F(HostBinding, IgnoreEntriesKeepTheirOwnFlags)
{
    sim.ignores().push_back({"*!*@bad.host", hostsim::IG_PRIV | hostsim::IG_NOTI});
    sim.ignores().push_back({"troll!*@*", hostsim::IG_CHAN});
    update_ignore(nullptr);
    ASSERT_EQ(ignore_list.size(), 2u);
    EXPECT_EQ(ignore_list[0].mask, "*!*@bad.host");
    EXPECT_EQ(ignore_list[0].flags, 3);
    EXPECT_EQ(ignore_list[1].mask, "troll!*@*");
    EXPECT_EQ(ignore_list[1].flags, 4);
    EXPECT_EQ(sim.open_lists(), 0);

    // Cached by context; the ignore print events force a rebuild.
    sim.ignores().pop_back();
    update_ignore(chan->handle());
    update_ignore(chan->handle());
    EXPECT_EQ(ignore_list.size(), 1u);
}

TEST_F(HostBinding, PrintTranslatesEscapesOnlyInTheFormattedForm)
{
    plugin().print("100%B sure");
    plugin().printf("%s", "%Bbold%O");
    PrintText(nullptr, "%Cplain");
    PrintText(nullptr, nullptr);
    EXPECT_EQ(sim.count_printed("100%B sure"), 1);
    EXPECT_EQ(sim.count_printed("\002bold\017"), 1);
    EXPECT_EQ(sim.count_printed("%Cplain"), 1);
    EXPECT_EQ(sim.count_printed("QuIbOsCrIpT:XChat2:PrintText(...): ERROR"), 1);
}

TEST_F(HostBinding, FindNameUsesTheServersNickComparison)
{
    update_session(nullptr);
    HostSession* sess = session_of(chan->handle());
    auto user = find_name(sess, "ALICE");
    ASSERT_TRUE(user);
    EXPECT_EQ(user->nick, "Alice");
    EXPECT_EQ(user->address, "alice@a.host");
    EXPECT_FALSE(find_name(sess, "nobody"));
    EXPECT_FALSE(find_name(nullptr, "Alice"));
    EXPECT_FALSE(find_name(zombie_session(), "Alice"));
    EXPECT_TRUE(find_name_global(serv_list[0], "alice"));
    // The flat list is in reverse order of the client's user list.
    const auto& users = zem_userlist_flat_list(sess);
    ASSERT_EQ(users.size(), 2u);
    EXPECT_EQ(users.front().nick, "Alice");

    // A found user is the caller's own copy: the next lookup rebuilds the flat list.
    auto alice = find_name(sess, "alice");
    auto me = find_name(sess, "ME");
    ASSERT_TRUE(alice && me);
    EXPECT_EQ(alice->nick, "Alice");
    EXPECT_EQ(alice->address, "alice@a.host");
    EXPECT_EQ(me->nick, "me");
}

TEST_F(HostBinding, PreferencesFallBackToHexChatNames)
{
    Sim hex(hostsim::Naming::HexChat);
    auto& serv = hex.add_server("irc.hex.net", "me");
    Context& tab = hex.channel(serv, "#hex");
    hex.set_pref("gui_tab_newtofront", 1);
    hex.set_pref("gui_tab_server", 1);
    xchat_plugin* h = hex.attach("hex", &tab);
    host_records_flush();
    plugin_install(std::make_unique<Plugin>(h, "n", "d", "v", nullptr));
    prefs_setup();
    EXPECT_EQ(prefs.tab_new_to_front, 1);
    EXPECT_EQ(prefs.tab_server, 1);
    EXPECT_TRUE(prefs.sound_command.empty());
    host_records_flush();
    plugin_install(nullptr);
    hex.detach(h);
}

TEST_F(HostBinding, MirroredPreferencesAreReadAgainAtTheirFirstUseOnceMarkedOld)
{
    sim.set_pref("away_reason", "at lunch");
    prefs_setup();
    EXPECT_EQ(host_pref_text(HostPref::AwayReason), "at lunch");
    EXPECT_EQ(host_pref_int(HostPref::TabServer), 1);
    sim.set_pref("away_reason", std::string(300, 'r'));
    sim.set_pref("tab_server", 0);
    sim.set_pref("tab_chans", 0);
    // Until the mirror is marked old, the client is not asked again.
    EXPECT_EQ(host_pref_text(HostPref::AwayReason), "at lunch");
    EXPECT_EQ(host_pref_int(HostPref::TabServer), 1);
    prefs_expire();
    // Marking the mirror old asks the client nothing; the first use reads again, cut to the field's size.
    EXPECT_EQ(prefs.away_reason, "at lunch");
    EXPECT_EQ(host_pref_text(HostPref::AwayReason), std::string(255, 'r'));
    EXPECT_EQ(prefs.away_reason, std::string(255, 'r'));
    EXPECT_EQ(host_pref_int(HostPref::TabServer), 0);
    // Only what was used was read again; the record shows it too.
    EXPECT_EQ(prefs.tab_server, 0);
    EXPECT_EQ(prefs.tab_chans, 1);
    EXPECT_EQ(host_pref_int(HostPref::TabChans), 0);
    EXPECT_EQ(prefs.tab_chans, 0);
    // Asked with the wrong type, an accessor answers nothing.
    EXPECT_EQ(host_pref_int(HostPref::AwayReason), 0);
    EXPECT_EQ(host_pref_text(HostPref::TabServer), "");
}

TEST_F(HostBinding, ZombieIsOneRecordWithoutServer)
{
    HostSession* zombie = zombie_session();
    EXPECT_EQ(zombie, zombie_session());
    EXPECT_EQ(zombie->server, nullptr);
    EXPECT_EQ(zombie->channel, "#QuIbOsCrIpT Zombie");
    EXPECT_FALSE(is_session(zombie));
    PrintText(zombie, "still shown");
    EXPECT_EQ(sim.count_printed("still shown"), 1);
}

// ---- windows that close, nested commands and reused addresses ------------------

int pass_command(char*[], char*[], void*) { return XCHAT_EAT_NONE; }
int pass_print(char*[], void*) { return XCHAT_EAT_NONE; }

TEST_F(HostBinding, AClosedWindowGetsNothingRunAndNoOtherWindowDoesEither)
{
    HostSession* gone = seen_then_closed(sim.channel(*irc, "#other"));
    ASSERT_NE(gone, nullptr);
    sim.clear_records();

    // Closed since the last rebuild: the client refuses the switch.
    quibo_handle_command("SAY x", gone);
    PrintText(gone, "for #other");
    EXPECT_TRUE(sim.sent().empty());
    EXPECT_EQ(sim.count_printed("for #other"), 0);
    EXPECT_EQ(sim.count_printed("QuIbOsCrIpT:XChat2:quibo_handle_command(...): ERROR (the window is closed)"), 1);
    EXPECT_EQ(sim.count_printed("QuIbOsCrIpT:XChat2:PrintText(...): ERROR (the window is closed)"), 1);
    EXPECT_EQ(sim.commands().size(), 0u);
    EXPECT_EQ(plugin().get_context(), chan->handle());

    // After the rebuild its record is retired, and still refused.
    update_session(nullptr);
    EXPECT_FALSE(session_exists(gone));
    EXPECT_FALSE(is_session(gone));
    sHandleCommand(gone, "SAY %s", "y");
    EXPECT_TRUE(sim.sent().empty());
    EXPECT_EQ(sim.count_printed_containing("ERROR (the window is closed)"), 3);
}

class ReusedAddress : public HostBinding, public testing::WithParamInterface<bool> {};

TEST_P(ReusedAddress, ANewWindowAtAClosedWindowsAddressGetsARecordOfItsOwn)
{
    Context& old_tab = sim.channel(*irc, "#old");
    HostSession* old_record = seen_then_closed(old_tab);
    ASSERT_NE(old_record, nullptr);
    if (GetParam()) update_session(nullptr);  // else the address comes back before any rebuild
    Context& new_tab = sim.reopen(old_tab, "#new", Context::Channel);
    ASSERT_EQ(new_tab.handle(), old_record->ctx);

    update_session(nullptr);
    HostSession* new_record = session_of(new_tab.handle());
    ASSERT_NE(new_record, nullptr);
    EXPECT_NE(new_record, old_record);
    EXPECT_EQ(new_record->channel, "#new");
    EXPECT_TRUE(session_exists(new_record));
    EXPECT_FALSE(session_exists(old_record));
    EXPECT_EQ(old_record->channel, "#old") << "a retired record stays readable for whoever still holds it";

    // What was meant for the old window never reaches the new one.
    sim.clear_records();
    quibo_handle_command("SAY meant for #old", old_record);
    PrintText(old_record, "meant for #old");
    EXPECT_TRUE(sim.texts_in(new_tab).empty());
    EXPECT_TRUE(sim.sent().empty());
    quibo_handle_command("SAY hello", new_record);
    EXPECT_EQ(sim.count_sent("PRIVMSG #new :hello"), 1);
}
INSTANTIATE_TEST_SUITE_P(RebuiltBetween, ReusedAddress, testing::Bool());

TEST_F(HostBinding, TheCurrentWindowIsPutBackAfterCommandsThatReenterTheHooks)
{
    Context& two = sim.channel(*irc, "#two");
    xchat_hook* echo = plugin().hook_command("ECHO", pass_command, nullptr, nullptr);
    xchat_hook* shown = plugin().hook_print("Your Message", pass_print, nullptr);
    update_session(nullptr);

    // The client shows our message in #two and moves our context there for the print hook.
    plugin().commandf("MSG %s x", "#two");
    EXPECT_EQ(plugin().get_context(), chan->handle());
    // ... and into every tab ALLCHAN visits.
    plugin().command("ALLCHAN ECHO hi");
    EXPECT_EQ(plugin().get_context(), chan->handle());
    quibo_handle_command("ALLCHAN ECHO again", session_of(two.handle()));
    EXPECT_EQ(plugin().get_context(), chan->handle());

    sim.clear_records();
    PrintText(nullptr, "where am I");
    EXPECT_EQ(sim.texts_in(*chan), std::vector<std::string>{"where am I"});
    plugin().unhook(&echo);
    plugin().unhook(&shown);
}

TEST_F(HostBinding, ServerValuesComeFromAWindowThatIsStillOpen)
{
    Context& first = sim.channel(*irc, "#first");
    HostServer* serv = seen_then_closed(first)->server;
    update_session(nullptr);
    ASSERT_NE(serv->any_ctx, nullptr);
    EXPECT_NE(serv->any_ctx, first.handle());
    irc->nick = "renamed";
    update_session(nullptr);
    EXPECT_EQ(serv->nick, "renamed");
}

TEST_F(HostBinding, CommandsAreOneLineOnEveryPath)
{
    plugin().command("ECHO one\r\ntwo");
    plugin().commandf("ECHO %s", "three\rfour\nfive");
    xchat_exec("ls\nrm -rf x");
    sHandleCommand(nullptr, "ECHO %s", "six\r\nseven");
    ASSERT_EQ(sim.commands().size(), 4u);
    for (const auto& c : sim.commands()) {
        EXPECT_EQ(c.text.find_first_of("\r\n"), std::string::npos) << c.text;
    }
    EXPECT_EQ(sim.commands()[0].text, "ECHO onetwo");
    EXPECT_EQ(sim.commands()[2].text, "EXEC lsrm -rf x");
}

TEST_F(HostBinding, ACommandLongerThanTheLimitIsRefusedNotCut)
{
    testing::internal::CaptureStdout();
    sHandleCommand(nullptr, "ECHO %s", std::string(3000, 'x').c_str());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(commands_issued_named("ECHO"), 0);
    EXPECT_NE(out.find("]> quibo_handle_command()"), std::string::npos);
    EXPECT_EQ(sim.count_printed("QuIbOsCrIpT: XChat2: quibo_handle_command(...): ERROR"), 1);
}

TEST_F(HostBinding, ANestedHoldOnSessionRebuildsLeavesTheOuterHoldInPlace)
{
    {
        SessionUpdateInhibition outer;
        {
            SessionUpdateInhibition inner;
        }
        EXPECT_EQ(iFlagUpdateSessionInibition, 1);
        int gets = sim.list_gets("channels");
        extern_update_session();
        EXPECT_EQ(sim.list_gets("channels"), gets) << "held: no rebuild";
    }
    EXPECT_EQ(iFlagUpdateSessionInibition, 0);
    extern_update_session();
    EXPECT_EQ(iFlagUpdateSessionInibition, 1);
}

TEST_F(HostBinding, EachPreferenceIsAskedByTheOneNameTheClientAnswers)
{
    Sim hex(hostsim::Naming::HexChat);
    auto& serv = hex.add_server("irc.hex.net", "me");
    Context& tab = hex.channel(serv, "#hex");
    hex.set_pref("gui_tab_chans", 0);
    xchat_plugin* h = hex.attach("hex", &tab);
    host_records_flush();
    plugin_install(std::make_unique<Plugin>(h, "n", "d", "v", nullptr));
    prefs_setup();
    // Once learnt, a name HexChat does not know is never asked again: the
    // value then changes only under the HexChat name.
    hex.set_pref("gui_tab_chans", 1);
    prefs_setup();
    EXPECT_EQ(prefs.tab_chans, 1);
    host_records_flush();
    plugin_install(nullptr);
    hex.detach(h);
}

}  // namespace
