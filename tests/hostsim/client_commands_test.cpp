// What the simulated client sends for the commands a plug-in issues.
#include "hostsim.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace hostsim;

namespace {

class Commands : public ::testing::Test {
protected:
    Sim sim;
    Server& net = sim.add_server("irc.test.net", "me", "TestNet");
    Context& chan = sim.channel(net, "#chan");
    xchat_plugin* ph = sim.attach("probe", &chan);

    Commands()
    {
        sim.add_user(chan, "me", "m@my.host", "@");
        sim.add_user(chan, "bob", "~bob@dsl.example.com");
        sim.add_user(chan, "opal", "opal@10.1.2.3", "@");
    }

    // What the client sent to the server for one command the plug-in issued.
    std::vector<std::string> sends(const std::string& command)
    {
        size_t before = sim.sent().size();
        ph->xchat_command(ph, command.c_str());
        std::vector<std::string> out;
        for (size_t i = before; i < sim.sent().size(); ++i) out.push_back(sim.sent()[i].line);
        return out;
    }

    using Lines = std::vector<std::string>;
};

TEST_F(Commands, ModeAndNamesGoToTheCurrentChannelUnlessNamed)
{
    EXPECT_EQ(sends("MODE"), Lines{"MODE #chan "});
    EXPECT_EQ(sends("MODE +nt"), Lines{"MODE #chan +nt"});
    EXPECT_EQ(sends("MODE #other +i"), Lines{"MODE #other +i"});
    EXPECT_EQ(sends("MODE me +i"), Lines{"MODE me +i"});
    EXPECT_EQ(sends("NAMES"), Lines{"NAMES #chan"});
    EXPECT_EQ(sends("NAMES #other"), Lines{"NAMES #other"});
    EXPECT_EQ(sends("OP a b c d"), (Lines{"MODE #chan +ooo a b c", "MODE #chan +o d"})) << "three modes a line";
    net.maxmodes = 4;
    EXPECT_EQ(sends("DEVOICE a b c d"), Lines{"MODE #chan -vvvv a b c d"});
    EXPECT_EQ(sends("UNBAN *!*@x"), Lines{"MODE #chan -b *!*@x"});
}

TEST_F(Commands, BanBuildsTheMaskFromTheUsersAddress)
{
    EXPECT_EQ(sends("BAN bob"), Lines{"MODE #chan +b *!*@dsl.example.com"});  // ban type 1, the client's default
    EXPECT_EQ(sends("BAN bob 0"), Lines{"MODE #chan +b *!*@*.example.com"});
    EXPECT_EQ(sends("BAN bob 2"), Lines{"MODE #chan +b *!*bob@*.example.com"});
    EXPECT_EQ(sends("BAN bob 3"), Lines{"MODE #chan +b *!*bob@dsl.example.com"});
    EXPECT_EQ(sends("BAN opal 0"), Lines{"MODE #chan +b *!*@10.1.2.*"});
    EXPECT_EQ(sends("BAN opal 2"), Lines{"MODE #chan +b *!*opal@10.1.2.*"});
    EXPECT_EQ(sends("BAN nobody"), Lines{"MODE #chan +b nobody"}) << "an unknown nick is taken as a mask";
    EXPECT_EQ(sends("BAN"), Lines{"MODE #chan +b"});
    sim.set_pref("irc_ban_type", 3);
    EXPECT_EQ(sends("BAN bob"), Lines{"MODE #chan +b *!*bob@dsl.example.com"});
}

TEST_F(Commands, KickKickbanAndCycle)
{
    EXPECT_EQ(sends("KICK bob"), Lines{"KICK #chan bob"});
    EXPECT_EQ(sends("KICK bob go away"), Lines{"KICK #chan bob :go away"});
    EXPECT_EQ(sends("KICKBAN bob bye"), (Lines{"MODE #chan +b *!*@dsl.example.com", "KICK #chan bob :bye"}));
    EXPECT_EQ(sends("KICKBAN bob 0"), (Lines{"MODE #chan +b *!*@*.example.com", "KICK #chan bob"}))
        << "a one-digit reason is the ban type";
    EXPECT_EQ(sends("KICKBAN opal"), (Lines{"MODE #chan -o+b opal *!*@10.1.2.3", "KICK #chan opal"}))
        << "an op loses the op in the same line";
    EXPECT_EQ(sends("CYCLE"), (Lines{"PART #chan", "JOIN #chan "}));
    chan.channelkey = "key";
    EXPECT_EQ(sends("CYCLE"), (Lines{"PART #chan", "JOIN #chan key"}));
}

TEST_F(Commands, NctcpAndDcc)
{
    EXPECT_EQ(sends("NCTCP bob VERSION test 1.0"), Lines{"NOTICE bob :\001VERSION test 1.0\001"});

    char path[] = "/tmp/hostsim-dcc-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "12345", 5), 5);
    close(fd);
    std::string file = path;
    std::string name = file.substr(file.rfind('/') + 1);
    EXPECT_EQ(sends("DCC SEND bob " + file), Lines{"PRIVMSG bob :\001DCC SEND " + name + " 2130706433 5000 5\001"});
    unlink(path);
    ASSERT_EQ(sim.dccs().size(), 1u);
    EXPECT_EQ(sim.dccs()[0].type, 0);
    EXPECT_EQ(sim.dccs()[0].size, 5);
    EXPECT_EQ(sim.count_events("DCC Offer"), 1);

    EXPECT_EQ(sends("DCC CHAT bob"), Lines{"PRIVMSG bob :\001DCC CHAT chat 2130706433 5001\001"});
    EXPECT_EQ(sim.count_events("DCC CHAT Offering"), 1);
    sends("DCC CLOSE CHAT bob");
    EXPECT_EQ(sim.count_events("DCC CHAT Abort"), 1);
    sends("DCC CLOSE SEND bob " + name);
    EXPECT_EQ(sim.count_events("DCC SEND Abort"), 1);
    EXPECT_TRUE(sim.dccs().empty());
    sends("DCC CLOSE SEND bob nothing");
    EXPECT_EQ(sim.count_events("No DCC"), 1);

    sim.server_line(net, ":eve!e@h PRIVMSG me :\001DCC SEND a.txt 2130706433 5002 3\001");
    sends("DCC GET eve a.txt");
    EXPECT_EQ(sim.dccs()[0].status, 4);
}

TEST_F(Commands, QuitDisconAndReconnect)
{
    ph->xchat_command(ph, "QUIT see you");
    EXPECT_EQ(sim.sent().back().line, "QUIT :see you");
    EXPECT_FALSE(net.connected);
    EXPECT_EQ(sim.count_events("Disconnected"), 2);
    EXPECT_EQ(sim.events().back().args, std::vector<std::string>{""});
    EXPECT_FALSE(chan.joined);

    sim.clear_records();
    ph->xchat_set_context(ph, net.tab->handle());
    ph->xchat_command(ph, "RECONNECT");
    EXPECT_TRUE(net.connected);
    ASSERT_EQ(sim.sent().size(), 2u) << "only the login: the connection was closed already";
    EXPECT_EQ(sim.sent()[0].line, "NICK simuser");
    sim.login(net);
    EXPECT_EQ(sim.sent().back().line, "JOIN #chan");

    sim.server_line(net, ":me!m@h JOIN #chan");
    sim.clear_records();
    ph->xchat_command(ph, "DISCON");
    EXPECT_EQ(sim.sent().back().line, "QUIT :Leaving");
    EXPECT_FALSE(net.connected);
}

TEST_F(Commands, SetTextAndSetCursorFillTheInputBox)
{
    ph->xchat_command(ph, "SETTEXT hello world");
    EXPECT_EQ(chan.inputbox, "hello world");
    EXPECT_EQ(chan.cursor, 11);
    ph->xchat_command(ph, "SETCURSOR 5");
    EXPECT_EQ(chan.cursor, 5);
    ph->xchat_command(ph, "SETCURSOR -10");
    EXPECT_EQ(chan.cursor, 0);
    EXPECT_STREQ(ph->xchat_get_info(ph, "inputbox"), "hello world");
    sim.press_enter(chan);
    EXPECT_EQ(sim.sent().back().line, "PRIVMSG #chan :hello world");
    EXPECT_EQ(chan.inputbox, "");
}

}  // namespace
