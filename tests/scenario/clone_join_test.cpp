// Joining a channel of ten thousand users, five in a hundred of them in clone
// groups of two to four: the client's NAMES and WHO replies go through the
// loaded plug-in, whose clone scan at the end of the WHO listing reports the
// groups in host order and whose join event follows.
#include "scenario.h"

#include <algorithm>
#include <cstdio>
#include <random>

using namespace hostsim;
using namespace scenario;

namespace {

constexpr int kUsers = 10000;
constexpr int kInGroups = kUsers / 20;

std::string nick_of(int i)
{
    char nick[16];
    snprintf(nick, sizeof nick, "u%05d", i);
    return nick;
}

struct Crowd {
    std::vector<std::string> hosts;     // by user
    std::vector<int> group_sizes;       // by group, in host order
    std::vector<std::vector<int>> groups;
};

// Users 0..kInGroups-1 form groups of 2, 3, 4, 2, 3, 4, ...; the rest have hosts of their own.
Crowd make_crowd()
{
    Crowd crowd;
    crowd.hosts.resize(kUsers);
    int user = 0;
    for (int g = 0; user < kInGroups; ++g) {
        const int size = std::min(2 + g % 3, kInGroups - user);
        char host[32];
        snprintf(host, sizeof host, "g%04d.clone.net", g);
        crowd.groups.emplace_back();
        for (int k = 0; k < size; ++k, ++user) {
            crowd.hosts[user] = host;
            crowd.groups.back().push_back(user);
        }
    }
    for (; user < kUsers; ++user) crowd.hosts[user] = "s" + std::to_string(user) + ".host.net";
    return crowd;
}

class CloneJoin : public Foundation {};

TEST_F(CloneJoin, TenThousandUsersWithCloneGroupsAreReportedWhenTheWhoListingEnds)
{
    load();
    sim.type(chan, "/EVENT add 0 jchannel * /echo JOINED $channel");
    const Crowd crowd = make_crowd();
    std::vector<int> who_order(kUsers);
    for (int i = 0; i < kUsers; ++i) who_order[i] = i;
    std::shuffle(who_order.begin(), who_order.end(), std::mt19937(15));

    sim.server_line(net, ":tester!t@test.host JOIN #big");
    ASSERT_EQ(sim.count_sent("WHO #big"), 1);
    std::vector<std::string> names{"@tester"};
    for (int i = 0; i < kUsers; ++i) names.push_back(nick_of(i));
    sim.names(net, "#big", names);
    sim.clear_records();
    for (int i : who_order)
        sim.server_line(net, ":irc.test.net 352 tester #big id " + crowd.hosts[i] + " irc.test.net " + nick_of(i) +
                                 " H :0 User " + std::to_string(i));
    EXPECT_EQ(sim.count_printed_containing("Clone:"), 0);  // nothing until the listing ends
    sim.server_line(net, ":irc.test.net 315 tester #big :End of /WHO list.");

    // Expected: in host order, the newest record of a group first, paired with each other member
    // while the group is below the shared-provider threshold (3 for ten reports); ten reports at most.
    std::vector<std::pair<std::string, std::string>> expected;
    for (const std::vector<int>& group : crowd.groups) {
        if (group.size() >= 4) continue;
        std::vector<int> in_list = group;
        std::sort(in_list.begin(), in_list.end(), [&](int a, int b) {
            return std::find(who_order.begin(), who_order.end(), a) > std::find(who_order.begin(), who_order.end(), b);
        });
        for (size_t k = 1; k < in_list.size(); ++k) expected.emplace_back(nick_of(in_list[0]), nick_of(in_list[k]));
    }
    expected.resize(10);

    std::vector<std::string> reports;
    for (const std::string& line : plugin_lines(sim))
        if (line.find("Clone:") != std::string::npos) reports.push_back(line);
    ASSERT_EQ(reports.size(), expected.size());
    for (size_t i = 0; i < reports.size(); ++i) {
        const size_t first = reports[i].find(expected[i].first);
        const size_t second = reports[i].find(expected[i].second);
        EXPECT_TRUE(first != std::string::npos && second != std::string::npos && first < second)
            << reports[i] << " should pair " << expected[i].first << " with " << expected[i].second;
    }
    // The join event comes once, after the reports.
    std::vector<std::string> everywhere;
    for (const Printed& p : sim.printed()) everywhere.push_back(p.text);
    EXPECT_EQ(std::count_if(everywhere.begin(), everywhere.end(),
                            [](const std::string& t) { return t.find("JOINED #big") != std::string::npos; }),
              1);
    ASSERT_FALSE(everywhere.empty());
    EXPECT_NE(everywhere.back().find("JOINED #big"), std::string::npos);
}

}  // namespace
