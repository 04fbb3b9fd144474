// The simulated client's reactions to server lines, each as the client has it.
#include "hostsim.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace hostsim;

namespace {

class Reactions : public ::testing::Test {
protected:
    Sim sim;
    Server& net = sim.add_server("irc.test.net", "me", "TestNet");
    Context& chan = sim.channel(net, "#chan");

    void line(const std::string& text) { sim.server_line(net, text); }

    std::vector<std::string> sent() const
    {
        std::vector<std::string> out;
        for (const SentLine& s : sim.sent()) out.push_back(s.line);
        return out;
    }

    // Names of the print events in `ctx`, in order.
    std::vector<std::string> events_in(const Context& ctx) const
    {
        std::vector<std::string> out;
        for (const EventRecord& e : sim.events())
            if (e.ctx == &ctx) out.push_back(e.name);
        return out;
    }

    const EventRecord* last_event(std::string_view name) const
    {
        for (auto it = sim.events().rbegin(); it != sim.events().rend(); ++it)
            if (it->name == name) return &*it;
        return nullptr;
    }

    std::string prefixes_of(Context& c, std::string_view nick)
    {
        User* u = c.find_user(nick);
        return u ? u->prefixes : "(absent)";
    }
};

TEST_F(Reactions, OwnJoinAsksForModesAndWhoThenOtherJoinsFillTheList)
{
    line(":me!m@my.host JOIN :#new");
    Context* tab = sim.find_tab(net, "#new");
    ASSERT_NE(tab, nullptr);
    EXPECT_TRUE(tab->joined);
    EXPECT_EQ(sent(), (std::vector<std::string>{"MODE #new", "WHO #new"}));
    EXPECT_EQ(events_in(*tab), (std::vector<std::string>{"You Join"}));
    EXPECT_TRUE(tab->doing_who);

    sim.clear_records();
    sim.set_pref("irc_who_join", 0);
    line(":me!m@my.host JOIN #quiet");
    EXPECT_EQ(sent(), (std::vector<std::string>{"MODE #quiet"}));

    sim.clear_records();
    net.have_whox = true;
    sim.set_pref("irc_who_join", 1);
    line(":me!m@my.host JOIN #x");
    EXPECT_EQ(sent(), (std::vector<std::string>{"MODE #x", "WHO #x %chtsunfra,152"}));

    // Another user: the event comes first, then the list has the user with the address.
    size_t before = 0;
    struct Probe {
        Context* chan;
        size_t* size;
    } probe{&chan, &before};
    xchat_plugin* ph = sim.attach("probe");
    ph->xchat_hook_print(
        ph, "Join", XCHAT_PRI_NORM,
        [](char*[], void* data) -> int {
            auto* p = static_cast<Probe*>(data);
            *p->size = p->chan->users.size();
            return XCHAT_EAT_NONE;
        },
        &probe);
    line(":bob!b@bob.host JOIN #chan");
    EXPECT_EQ(before, 0u) << "the client shows the join before it adds the user";
    ASSERT_NE(chan.find_user("BOB"), nullptr);
    EXPECT_EQ(chan.find_user("bob")->host, "b@bob.host");
    EXPECT_EQ(last_event("Join")->args, (std::vector<std::string>{"bob", "#chan", "b@bob.host"}));
}

TEST_F(Reactions, PartAndKickRemoveTheUserOrLeaveTheChannel)
{
    sim.add_user(chan, "bob", "b@h");
    sim.add_user(chan, "eve", "e@h");
    sim.add_user(chan, "me", "m@h", "@");

    line(":bob!b@h PART #chan :bye");
    EXPECT_EQ(chan.find_user("bob"), nullptr);
    EXPECT_EQ(last_event("Part with Reason")->args, (std::vector<std::string>{"bob", "b@h", "#chan", "bye"}));
    line(":me!m@h KICK #chan eve");
    EXPECT_EQ(chan.find_user("eve"), nullptr);
    EXPECT_EQ(last_event("Kick")->args, (std::vector<std::string>{"me", "eve", "#chan", ""}));

    line(":op!o@h KICK #chan me :out");
    EXPECT_EQ(last_event("You Kicked")->args, (std::vector<std::string>{"me", "#chan", "op", "out"}));
    EXPECT_FALSE(chan.joined);
    EXPECT_TRUE(chan.users.empty());
    EXPECT_EQ(chan.channel, "") << "the tab leaves its channel and waits for it";
    EXPECT_EQ(chan.waitchannel, "#chan");

    line(":me!m@h JOIN #chan");  // joining again comes back to the same tab
    EXPECT_EQ(sim.find_tab(net, "#chan"), &chan);
    EXPECT_TRUE(chan.joined);
    line(":me!m@h PART #chan");
    EXPECT_EQ(last_event("You Part")->args, (std::vector<std::string>{"me", "m@h", "#chan", ""}));
    EXPECT_FALSE(chan.joined);
}

TEST_F(Reactions, QuitAndNickFollowTheUserInEveryTab)
{
    Context& other = sim.channel(net, "#other");
    Context& dialog = sim.dialog(net, "bob");
    sim.add_user(chan, "bob", "b@h", "+");
    sim.add_user(other, "bob", "b@h");
    sim.add_user(chan, "me", "m@h");

    line(":bob!b@h NICK :robert");
    EXPECT_EQ(chan.find_user("bob"), nullptr);
    ASSERT_NE(chan.find_user("robert"), nullptr);
    EXPECT_EQ(chan.find_user("robert")->prefixes, "+");
    EXPECT_NE(other.find_user("robert"), nullptr);
    EXPECT_EQ(dialog.channel, "robert");
    EXPECT_EQ(events_in(dialog), std::vector<std::string>{}) << "the dialog is renamed without a message";
    EXPECT_EQ(sim.count_events("Change Nick"), 2);

    line(":me!m@h NICK newme");
    EXPECT_EQ(net.nick, "newme");
    EXPECT_EQ(events_in(chan).back(), "Your Nick Changing");
    EXPECT_EQ(events_in(*net.tab).back(), "Your Nick Changing") << "the server tab always shows our own change";
    EXPECT_NE(chan.find_user("newme"), nullptr);

    line(":robert!b@h QUIT :gone");
    EXPECT_EQ(chan.find_user("robert"), nullptr);
    EXPECT_EQ(other.find_user("robert"), nullptr);
    EXPECT_EQ(sim.count_events("Quit"), 3);  // both channels and the dialog
}

TEST_F(Reactions, NamesListKeepsEveryPrefixInTheServersOrder)
{
    line(":irc.test.net 005 me PREFIX=(qaohv)~&@%+ CHANTYPES=#& :are supported by this server");
    EXPECT_EQ(net.nickprefixes, "~&@%+");
    EXPECT_EQ(net.nickmodes, "qaohv");
    EXPECT_EQ(net.chantypes, "#&");
    line(":me!m@h JOIN #chan");
    line(":irc.test.net 353 me = #chan :@+alice ~bob +carol dave me");
    line(":irc.test.net 353 me = #chan :@dave");  // a name listed twice keeps its first entry
    line(":irc.test.net 366 me #chan :End of /NAMES list.");
    EXPECT_EQ(chan.users.size(), 5u);
    EXPECT_EQ(prefixes_of(chan, "alice"), "@+");
    EXPECT_EQ(chan.find_user("alice")->prefix, "@");
    EXPECT_EQ(prefixes_of(chan, "bob"), "~");
    EXPECT_EQ(prefixes_of(chan, "dave"), "");
    EXPECT_EQ(sim.count_events("Users On Channel"), 0) << "the names after our own join are not shown";

    line(":irc.test.net 353 me = #chan :@x");  // a later NAMES reply starts a fresh list, and is shown
    EXPECT_EQ(chan.users.size(), 1u);
    EXPECT_EQ(sim.count_events("Users On Channel"), 1);
}

TEST_F(Reactions, ModeChangesKeepTheWholePrefixSet)
{
    line(":irc.test.net 005 me PREFIX=(qaohv)~&@%+ :are supported");
    sim.add_user(chan, "alice", "a@h", "@");
    sim.add_user(chan, "bob", "b@h");

    line(":op!o@h MODE #chan +v alice");
    EXPECT_EQ(prefixes_of(chan, "alice"), "@+") << "voicing an op keeps the op";
    EXPECT_EQ(chan.find_user("alice")->prefix, "@");
    line(":op!o@h MODE #chan -o alice");
    EXPECT_EQ(prefixes_of(chan, "alice"), "+");
    line(":op!o@h MODE #chan +qo-v+h alice bob alice bob");
    EXPECT_EQ(prefixes_of(chan, "alice"), "~");
    EXPECT_EQ(prefixes_of(chan, "bob"), "@%");
    line(":op!o@h MODE #chan +a alice");
    EXPECT_EQ(prefixes_of(chan, "alice"), "~&");

    // Parameters go only to modes that take one; ops and voices are grouped.
    sim.clear_records();
    line(":op!o@h MODE #chan +ntlo-k+vb 10 bob key bob *!*@x");
    EXPECT_EQ(last_event("Channel Set Limit")->args, (std::vector<std::string>{"op", "10"}));
    EXPECT_EQ(last_event("Channel Operator")->args, (std::vector<std::string>{"op", "bob"}));
    EXPECT_EQ(last_event("Channel Remove Keyword")->args, (std::vector<std::string>{"op"}));
    EXPECT_EQ(last_event("Channel Voice")->args, (std::vector<std::string>{"op", "bob"}));
    EXPECT_EQ(last_event("Channel Ban")->args, (std::vector<std::string>{"op", "*!*@x"}));
    EXPECT_EQ(sim.count_events("Channel Mode Generic"), 2);  // +n and +t
    line(":op!o@h MODE #chan +k secret");
    EXPECT_EQ(chan.channelkey, "secret");
}

TEST_F(Reactions, WhoRepliesFillHostRealnameAndAway)
{
    line(":me!m@my.host JOIN #chan");
    line(":irc.test.net 353 me = #chan :@me bob carol");
    line(":irc.test.net 366 me #chan :End");
    line(":irc.test.net 352 me #chan ~b bob.host irc.test.net bob G :0 Bob Builder");
    line(":irc.test.net 354 me 152 #chan c carol.host irc.test.net carol H 0 :Carol C");
    line(":irc.test.net 315 me #chan :End of WHO list");
    User* bob = chan.find_user("bob");
    ASSERT_NE(bob, nullptr);
    EXPECT_EQ(bob->host, "~b@bob.host");
    EXPECT_EQ(bob->realname, "Bob Builder");
    EXPECT_TRUE(bob->away);
    EXPECT_EQ(chan.find_user("carol")->host, "c@carol.host");
    EXPECT_EQ(chan.find_user("carol")->realname, "Carol C");
    EXPECT_FALSE(chan.find_user("carol")->away);
    EXPECT_FALSE(chan.doing_who);
    EXPECT_EQ(sim.count_events("Server Text"), 0) << "the client's own WHO is not shown";

    // A WHO the user asked for is shown, and a known address stays.
    line(":irc.test.net 352 me #chan ~x other.host irc.test.net bob H :0 Bob");
    EXPECT_EQ(bob->host, "~b@bob.host");
    EXPECT_FALSE(bob->away);
    EXPECT_EQ(sim.count_events("Server Text"), 1);
    line(":irc.test.net 354 me 152 #chan bob G");  // the short WHOX form
    EXPECT_TRUE(bob->away);
}

TEST_F(Reactions, IsupportSetsTheServersFeatures)
{
    line(":irc.test.net 005 me CHANTYPES=#+ CHANMODES=beIq,k,fl,mnt MODES=4 NETWORK=Other NAMESX WHOX :are supported");
    EXPECT_EQ(net.chantypes, "#+");
    EXPECT_EQ(net.chanmodes, "beIq,k,fl,mnt");
    EXPECT_EQ(net.maxmodes, 4);
    EXPECT_EQ(net.tab->channel, "Other");
    EXPECT_TRUE(net.have_whox);
    EXPECT_EQ(sent(), (std::vector<std::string>{"PROTOCTL NAMESX"}));
    EXPECT_EQ(last_event("Server Text")->args[0], "CHANTYPES=#+ CHANMODES=beIq,k,fl,mnt MODES=4 NETWORK=Other NAMESX WHOX :are supported");

    sim.add_user(chan, "bob", "b@h");
    line(":op!o@h MODE #chan +q bob!*@*");  // q is a list mode here: quiet, not a prefix
    EXPECT_NE(last_event("Channel Quiet"), nullptr);
    EXPECT_EQ(chan.find_user("bob")->prefixes, "");
}

TEST_F(Reactions, IgnoreListAppliesToEachKindOfLine)
{
    sim.add_user(chan, "spam", "s@spam.host");
    sim.ignores().push_back({"spam!*@*", IG_PRIV | IG_CHAN | IG_NOTI | IG_CTCP | IG_INVI | IG_DCC});
    line(":spam!s@spam.host PRIVMSG me :hi");
    line(":spam!s@spam.host PRIVMSG #chan :hi");
    line(":spam!s@spam.host NOTICE me :hi");
    line(":spam!s@spam.host INVITE me :#chan");
    line(":spam!s@spam.host PRIVMSG me :\001VERSION\001");
    line(":spam!s@spam.host PRIVMSG me :\001DCC SEND f.txt 2130706433 5000 10\001");
    line(":spam!s@spam.host PRIVMSG #chan :\001ACTION waves\001");
    EXPECT_EQ(sim.events().size(), 0u);
    EXPECT_TRUE(sim.sent().empty()) << "no CTCP answer to an ignored user";
    EXPECT_TRUE(sim.dccs().empty());

    // Only the kinds named are ignored; an UNIGNORE entry wins.
    sim.ignores() = {{"*!*@spam.host", IG_CHAN}};
    line(":spam!s@spam.host PRIVMSG me :private");
    line(":spam!s@spam.host PRIVMSG #chan :public");
    EXPECT_EQ(sim.count_events("Private Message to Dialog"), 1);
    EXPECT_EQ(sim.count_events("Channel Message"), 0);
    sim.ignores().push_back({"spam!*@*", IG_CHAN | IG_UNIG});
    line(":spam!s@spam.host PRIVMSG #chan :public");
    EXPECT_EQ(sim.count_events("Channel Message"), 1);
}

TEST_F(Reactions, CtcpRequestsGetTheClientsOwnAnswers)
{
    line(":bob!b@h PRIVMSG me :\001VERSION\001");
    EXPECT_EQ(sent(), (std::vector<std::string>{"NOTICE bob :\001VERSION xchat 2.8.6 Linux\001"}));
    EXPECT_EQ(last_event("CTCP Generic")->args, (std::vector<std::string>{"VERSION", "bob"}));

    sim.clear_records();
    line(":bob!b@h PRIVMSG me :\001PING 12345\001");
    EXPECT_EQ(sent(), (std::vector<std::string>{"NOTICE bob :\001PING 12345\001"}));
    ASSERT_FALSE(sim.commands().empty()) << "the answer is a client command that plug-ins see";
    EXPECT_EQ(sim.commands().front().text, "nctcp bob PING 12345");

    sim.clear_records();
    line(":bob!b@h PRIVMSG #chan :\001TIME\001");
    ASSERT_EQ(sim.sent().size(), 1u);
    EXPECT_EQ(sim.sent()[0].line.rfind("NOTICE bob :\001TIME ", 0), 0u);
    EXPECT_EQ(last_event("CTCP Generic to Channel")->args, (std::vector<std::string>{"TIME", "bob", "#chan"}));

    sim.clear_records();
    sim.set_naming(Naming::HexChat);
    sim.set_version("2.16.2");
    line(":bob!b@h PRIVMSG me :\001VERSION\001");
    EXPECT_EQ(sent(), (std::vector<std::string>{"NOTICE bob :\001VERSION HexChat 2.16.2 / Linux\001"}));
    sim.clear_records();
    sim.set_pref("irc_hide_version", 1);
    line(":bob!b@h PRIVMSG me :\001VERSION\001");
    EXPECT_TRUE(sim.sent().empty());
}

TEST_F(Reactions, DccOffersFillTheDccListAndShowTheirEvents)
{
    line(":bob!b@h PRIVMSG me :\001DCC SEND \"my file.txt\" 2130706433 5001 1234\001");
    ASSERT_EQ(sim.dccs().size(), 1u);
    const Dcc& d = sim.dccs()[0];
    EXPECT_EQ(d.file, "my file.txt");
    EXPECT_EQ(d.nick, "bob");
    EXPECT_EQ(d.type, 1);
    EXPECT_EQ(d.size, 1234);
    EXPECT_EQ(d.port, 5001);
    EXPECT_EQ(last_event("DCC SEND Offer")->args,
              (std::vector<std::string>{"bob", "my file.txt", "1234", "127.0.0.1:5001"}));

    line(":eve!e@h PRIVMSG me :\001DCC CHAT chat 2130706433 5002\001");
    ASSERT_EQ(sim.dccs().size(), 2u);
    EXPECT_EQ(sim.dccs()[1].type, 2);
    EXPECT_EQ(last_event("DCC CHAT Offer")->args, (std::vector<std::string>{"eve"}));

    line(":eve!e@h PRIVMSG me :\001DCC WHAT x\001");
    EXPECT_EQ(last_event("DCC Generic Offer")->args, (std::vector<std::string>{"WHAT x", "eve"}));

    xchat_plugin* ph = sim.attach("probe");
    xchat_list* list = ph->xchat_list_get(ph, "dcc");
    ASSERT_EQ(ph->xchat_list_next(ph, list), 1);
    EXPECT_STREQ(ph->xchat_list_str(ph, list, "file"), "my file.txt");
    ph->xchat_list_free(ph, list);
}

TEST_F(Reactions, LoginAndDisconnectAsTheClientHasThem)
{
    sim.add_user(chan, "me", "m@h");
    sim.connection_lost(net);
    EXPECT_FALSE(net.connected);
    EXPECT_EQ(last_event("Disconnected")->args, (std::vector<std::string>{"Remote host closed socket"}));
    EXPECT_EQ(sim.count_events("Disconnected"), 2);  // the server tab and the channel
    EXPECT_FALSE(chan.joined);
    EXPECT_TRUE(chan.users.empty());
    EXPECT_TRUE(sim.sent().empty()) << "a lost connection sends no QUIT";

    sim.login(net, "CHANTYPES=# PREFIX=(ov)@+ NETWORK=TestNet");
    EXPECT_TRUE(net.connected);
    EXPECT_TRUE(net.end_of_motd);
    EXPECT_EQ(net.nickprefixes, "@+");
    EXPECT_EQ(sent(), (std::vector<std::string>{"JOIN #chan"})) << "the channels open before are joined again";
    EXPECT_EQ(sim.count_events("Motd"), 3);
    line(":me!m@h JOIN #chan");
    EXPECT_TRUE(chan.joined);
    EXPECT_EQ(sim.find_tab(net, "#chan"), &chan);
}

TEST_F(Reactions, NoticesInvitationsTopicsAndAwayGoWhereTheClientPutsThem)
{
    Context& dialog = sim.dialog(net, "bob");
    sim.add_user(chan, "carol", "c@h");
    sim.add_user(chan, "me", "m@h");
    line(":bob!b@h NOTICE me :in the dialog");
    line(":carol!c@h NOTICE me :where carol is");
    line(":op!o@h NOTICE @#chan :to the ops");
    line(":irc.test.net NOTICE me :from the server");
    line("NOTICE AUTH :*** Looking up your hostname");
    line(":bob!b@h NOTICE me :\001PING 42\001");
    EXPECT_EQ(events_in(dialog), (std::vector<std::string>{"Notice", "Ping Reply"}));
    EXPECT_EQ(last_event("Channel Notice")->args, (std::vector<std::string>{"op", "@#chan", "to the ops"}));
    EXPECT_EQ(last_event("Ping Reply")->args, (std::vector<std::string>{"bob", "42"}));
    EXPECT_EQ(sim.count_events("Server Notice"), 2);
    EXPECT_EQ(events_in(chan).front(), "Notice");

    line(":bob!b@h INVITE me :#secret");
    EXPECT_EQ(last_event("Invited")->args, (std::vector<std::string>{"#secret", "bob", "irc.test.net"}));
    line(":irc.test.net 341 me bob #chan");
    EXPECT_EQ(last_event("Your Invitation")->args, (std::vector<std::string>{"bob", "#chan", "irc.test.net"}));

    line(":irc.test.net 332 me #chan :old topic");
    EXPECT_EQ(chan.topic, "old topic");
    line(":bob!b@h TOPIC #chan :new topic");
    EXPECT_EQ(chan.topic, "new topic");
    EXPECT_EQ(last_event("Topic Change")->args, (std::vector<std::string>{"bob", "new topic", "#chan"}));

    line(":irc.test.net 306 me :You have been marked as being away");
    EXPECT_TRUE(net.away);
    EXPECT_TRUE(chan.find_user("me")->away);
    line(":irc.test.net 305 me :You are no longer marked as being away");
    EXPECT_FALSE(chan.find_user("me")->away);

    line("PING :irc.test.net");
    EXPECT_EQ(sent(), (std::vector<std::string>{"PONG :irc.test.net"}));

    line(":me!m@h JOIN #chan");  // the first 324 after our own join is not shown
    line(":irc.test.net 324 me #chan +nt");
    line(":irc.test.net 324 me #chan +nt");
    EXPECT_EQ(sim.count_events("Channel Modes"), 1);
    line(":irc.test.net 999 me #chan :odd numeric");
    EXPECT_EQ(events_in(chan).back(), "Server Text") << "a numeric about a channel shows in its tab";
}

}  // namespace
