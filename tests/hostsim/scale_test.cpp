// A channel of ten thousand users, filled from NAMES lines, JOIN lines and
// direct calls, and read back through the interface. (Its speed is measured
// by bench/hostsim_channel_bench.cpp.)
#include "hostsim.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace hostsim;

namespace {

constexpr int kUsers = 10000;

std::string nick(int i) { return "user" + std::to_string(i); }

std::vector<std::string> read_back(Sim& sim, Context& chan)
{
    xchat_plugin* ph = sim.attach("reader", &chan);
    std::vector<std::string> nicks;
    xchat_list* list = ph->xchat_list_get(ph, "users");
    while (ph->xchat_list_next(ph, list)) nicks.emplace_back(ph->xchat_list_str(ph, list, "nick"));
    ph->xchat_list_free(ph, list);
    sim.detach(ph);
    return nicks;
}

TEST(Scale, TenThousandUsersFromNamesJoinsAndCalls)
{
    Sim sim;
    Server& net = sim.add_server("irc.test.net", "me");
    sim.server_line(net, ":me!m@h JOIN #big");
    Context& chan = *sim.find_tab(net, "#big");
    std::vector<std::string> names;
    for (int i = 0; i < kUsers; ++i) names.push_back((i % 100 == 0 ? "@" : "") + nick(i));
    sim.names(net, "#big", names);
    ASSERT_EQ(chan.users.size(), static_cast<size_t>(kUsers));
    std::vector<std::string> nicks = read_back(sim, chan);
    ASSERT_EQ(nicks.size(), static_cast<size_t>(kUsers));
    EXPECT_EQ(nicks[0], "user0") << "ops first";
    EXPECT_EQ(nicks[100], "user1");

    Context& joined = sim.channel(net, "#joins");
    for (int i = 0; i < kUsers; ++i) sim.server_line(net, ":" + nick(i) + "!u@h" + std::to_string(i) + " JOIN #joins");
    EXPECT_EQ(joined.users.size(), static_cast<size_t>(kUsers));
    EXPECT_EQ(joined.find_user("USER9999")->host, "u@h9999");
    for (int i = 0; i < kUsers; i += 2) sim.server_line(net, ":" + nick(i) + "!u@h PART #joins");
    EXPECT_EQ(joined.users.size(), static_cast<size_t>(kUsers / 2));

    Context& called = sim.channel(net, "#calls");
    for (int i = 0; i < kUsers; ++i) sim.add_user(called, nick(i), "u@h");
    EXPECT_EQ(read_back(sim, called).size(), static_cast<size_t>(kUsers));
}

TEST(Scale, UsersStayWhereTheyAreWhileTheListGrows)
{
    Sim sim;
    Server& net = sim.add_server("irc.test.net", "me");
    Context& chan = sim.channel(net, "#c");
    User& first = sim.add_user(chan, "first", "f@h");
    for (int i = 0; i < 1000; ++i) sim.add_user(chan, nick(i));
    first.realname = "still here";  // a reference from add_user stays valid
    EXPECT_EQ(chan.find_user("first")->realname, "still here");
}

}  // namespace
