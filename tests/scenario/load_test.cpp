// Loading the plug-in: what it tells the client, what it hooks, what it reports.
#include "scenario.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>

using namespace hostsim;
using namespace scenario;

namespace {

class Load : public Foundation {};

std::vector<std::string> names_of(const std::vector<const Hook*>& hooks)
{
    std::vector<std::string> names;
    for (const Hook* h : hooks) names.push_back(h->name);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(Load, IdentifiesItselfAndHooksEveryEventOnce)
{
    Loaded& plugin = load();
    EXPECT_EQ(plugin.init_result, 1);
    EXPECT_EQ(plugin.name, "QuIbOsCrIpT");
    EXPECT_EQ(plugin.description, "Full featured plugin for Italian users");
    EXPECT_EQ(plugin.version, "3.7.86");

    EXPECT_EQ(names_of(sim.hooks(HookKind::Server)), std::vector<std::string>{"RAW LINE"});

    std::vector<std::string> prints = kPrintEvents;
    prints.insert(prints.end(), kDccEvents.begin(), kDccEvents.end());
    EXPECT_EQ(names_of(sim.hooks(HookKind::Print)), sorted(prints));

    std::vector<std::string> commands = kDefaultCommands;
    commands.insert(commands.end(), {"QUIBO", "EVENT"});
    EXPECT_EQ(names_of(sim.hooks(HookKind::Command)), sorted(commands));

    for (const Hook* h : sim.hooks(HookKind::Command)) {
        bool own = h->name == "QUIBO" || h->name == "EVENT";
        EXPECT_EQ(h->has_help, own) << h->name;
        EXPECT_EQ(h->priority, XCHAT_PRI_NORM) << h->name;
    }
    for (const Hook* h : sim.hooks(HookKind::Command)) {
        if (h->name == "QUIBO") {
            EXPECT_EQ(h->help, "Usage: /QUIBO [help] [variable | command ] [options]");
        } else if (h->name == "EVENT") {
            EXPECT_EQ(h->help, "Usage: /EVENT [help] [command] [options]");
        }
    }
}

TEST_F(Load, ReportsEachStepInOrderAndAnnouncesItself)
{
    struct sigaction before {};
    sigaction(SIGSEGV, nullptr, &before);
    load();

    EXPECT_TRUE(appear_in_order(load_output, kLoadSteps));
    EXPECT_NE(load_output.find("  PID: " + std::to_string(getppid()) + " = "), std::string::npos) << load_output;
    EXPECT_EQ(load_output.find("GBD Detected"), std::string::npos);

    struct sigaction after {};
    sigaction(SIGSEGV, nullptr, &after);
    EXPECT_NE(reinterpret_cast<void*>(after.sa_sigaction), reinterpret_cast<void*>(before.sa_sigaction))
        << "no crash handler was installed";

    // The announcement is the last thing the load prints in the tab it was loaded from.
    std::vector<std::string> shown = plugin_lines(sim, &sim.front(net));
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[shown.size() - 2], line_of(kLoadedBanner));
    EXPECT_EQ(shown.back(), kDashes);
    EXPECT_EQ(sim.count_printed(kLoadedBanner), 1);
    EXPECT_EQ(sim.count_printed_containing("FATAL ERROR"), 0);
}

TEST_F(Load, InHexChatItLoadsAndWarnsAboutTheClientVersion)
{
    sim.set_naming(Naming::HexChat);
    sim.set_version("2.16.1");
    Loaded& plugin = load();
    EXPECT_EQ(plugin.init_result, 1);
    EXPECT_EQ(sim.count_hooks(HookKind::Command), 75);
    EXPECT_TRUE(appear_in_order(load_output, kLoadSteps));
    EXPECT_GE(sim.count_printed_containing("2.16.1"), 1) << "no warning names the client's version";
}

TEST_F(Load, DefaultCommandsStillReachTheClientAndItsOwnAreEaten)
{
    load();
    sim.clear_records();
    std::vector<std::string> last_ones = {"QUIT", "DISCON", "CLOSE"};  // they end the connection or the tab
    for (const std::string& name : kDefaultCommands)
        if (std::find(last_ones.begin(), last_ones.end(), name) == last_ones.end()) sim.type(chan, "/" + name);
    for (const std::string& name : last_ones) sim.type(chan, "/" + name);

    for (const std::string& name : kDefaultCommands) EXPECT_TRUE(sim.reached_client(name)) << name;

    Context& tab = *net.tab;
    net.connected = true;
    sim.type(tab, "/QUIBO");
    sim.type(tab, "/EVENT");
    EXPECT_TRUE(sim.eaten("QUIBO"));
    EXPECT_TRUE(sim.eaten("EVENT"));
    EXPECT_FALSE(sim.reached_client("QUIBO"));
    EXPECT_FALSE(sim.reached_client("EVENT"));
    EXPECT_EQ(sim.count_printed("Unknown Command. Try /help\n"), 0);
    EXPECT_EQ(sim.count_sent("QUIBO"), 0);
    EXPECT_EQ(sim.count_sent("EVENT"), 0);
    EXPECT_GE(sim.count_printed_containing("Usage: /EVENT [help] [command] [options]"), 1);
}

}  // namespace
