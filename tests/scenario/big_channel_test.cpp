// A channel of ten thousand users with the plug-in loaded: every NAMES and
// JOIN line goes through its raw line hook, and the list is read back through
// the client interface as the plug-in reads it. The time is reported, not
// checked here; bench/hostsim_channel_bench.cpp measures it.
#include "scenario.h"

#include <chrono>
#include <cstdio>

using namespace hostsim;
using namespace scenario;

namespace {

constexpr int kUsers = 10000;

class BigChannel : public Foundation {
protected:
    std::vector<std::string> read_back(Context& where)
    {
        xchat_plugin* ph = sim.attach("reader", &where);
        std::vector<std::string> nicks;
        xchat_list* list = ph->xchat_list_get(ph, "users");
        while (ph->xchat_list_next(ph, list)) nicks.emplace_back(ph->xchat_list_str(ph, list, "nick"));
        ph->xchat_list_free(ph, list);
        sim.detach(ph);
        return nicks;
    }

    void report(const char* what, std::chrono::steady_clock::duration took)
    {
        double ms = std::chrono::duration<double, std::milli>(took).count();
        RecordProperty(what, std::to_string(ms));
        std::printf("%s: %.1f ms\n", what, ms);
    }
};

TEST_F(BigChannel, TenThousandUsersFilledFromNamesAndReadBack)
{
    load();
    std::vector<std::string> names;
    for (int i = 0; i < kUsers; ++i) names.push_back((i % 50 == 0 ? "@" : "") + std::string("user") + std::to_string(i));

    auto start = std::chrono::steady_clock::now();
    sim.server_line(net, ":tester!t@test.host JOIN #big");
    sim.names(net, "#big", names);
    Context& big = *sim.find_tab(net, "#big");
    std::vector<std::string> nicks = read_back(big);
    report("names_fill_and_read_ms", std::chrono::steady_clock::now() - start);

    ASSERT_EQ(nicks.size(), static_cast<size_t>(kUsers));
    EXPECT_EQ(nicks.front(), "user0");
    EXPECT_EQ(big.find_user("user9999")->prefixes, "");
    EXPECT_EQ(sim.count_sent("WHO #big"), 1);
}

TEST_F(BigChannel, TenThousandJoinsAndPartsThroughThePlugin)
{
    load();
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kUsers; ++i)
        sim.server_line(net, ":user" + std::to_string(i) + "!u@host" + std::to_string(i) + " JOIN #quibo");
    std::vector<std::string> nicks = read_back(chan);
    report("joins_fill_and_read_ms", std::chrono::steady_clock::now() - start);
    EXPECT_EQ(nicks.size(), static_cast<size_t>(kUsers) + 2);  // with tester and alice

    for (int i = 0; i < kUsers; ++i) sim.server_line(net, ":user" + std::to_string(i) + "!u@h PART #quibo");
    EXPECT_EQ(chan.users.size(), 2u);
}

}  // namespace
