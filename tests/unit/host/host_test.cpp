// The host binding against the simulated client: the wrapper, the mirrors and
// the client-style helpers, with the plug-in's objects linked in.
#include "host/host.h"

#include "hostsim.h"

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

}  // namespace
