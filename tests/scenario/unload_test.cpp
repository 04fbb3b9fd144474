// Unloading, reloading, and a load that finds no language file.
#include "scenario.h"

#include <signal.h>

#include <algorithm>

using namespace hostsim;
using namespace scenario;

namespace {

const std::string kDeleteQueueTimer = "TIMER -quiet -delete 2255";
const std::string kQueueTimer = "/TIMER -refnum 2255 30 quibo ExecCommandInQueue(0) ^";

class Unload : public Foundation {};

int all_hooks(const Sim& sim)
{
    int n = 0;
    for (HookKind kind : {HookKind::Command, HookKind::Server, HookKind::Print, HookKind::Timer, HookKind::Fd})
        n += sim.count_hooks(kind);
    return n;
}

TEST_F(Unload, DeletesQueueTimersFromTheCurrentTabAndLeavesNothingBehind)
{
    struct sigaction before {};
    sigaction(SIGSEGV, nullptr, &before);
    load();
    sim.focus(chan);  // the plug-in now works in this tab
    sim.type(chan, kQueueTimer);
    sim.type(chan, kQueueTimer);
    sim.type(chan, "/TIMER -refnum 5 30 ECHO someone else's");
    sim.clear_records();

    UnloadResult result = unload();
    EXPECT_EQ(result.deinit_result, 1);
    EXPECT_TRUE(result.identity_intact) << "name, description or version changed while loaded";
    EXPECT_EQ(result.hooks_left_names, std::vector<std::string>{});
    EXPECT_EQ(result.lists_left, 0);
    EXPECT_EQ(sim.open_lists(), 0);

    EXPECT_EQ(sim.count_issued(kDeleteQueueTimer), 16);
    for (const CommandRecord& c : sim.commands()) {
        if (c.text == kDeleteQueueTimer) {
            EXPECT_EQ(c.ctx, &chan) << "queue timers are deleted from the current tab";
        }
        EXPECT_NE(c.text.rfind("/TIMER", 0), 0u) << "the client takes \"/TIMER\" for an unknown command";
    }
    ASSERT_EQ(sim.timers().size(), 1u);
    EXPECT_EQ(sim.timers()[0].ref, 5);

    std::vector<std::string> shown = plugin_lines(sim);
    auto banner = std::find(shown.begin(), shown.end(), line_of(kUnloadedBanner));
    ASSERT_NE(banner, shown.end());
    ASSERT_NE(banner + 1, shown.end());
    EXPECT_EQ(banner[1], kDashes);

    EXPECT_TRUE(appear_in_order(unload_output, {"\n\nQuIbOsCrIpT XChat2 Module Unloading:",
                                                "- Ignored Users List Cleaning.", "- Call the old cleanup function",
                                                "\n\nQuIbOsCrIpT plugin unloading:", "- Unloading External Macro.",
                                                "- Sentinels Cleaning.", "- Language Database Unloading.",
                                                "- Badword Database Unloading.", "- Badnick Database Unloading.",
                                                "- Filters Database Unloading.", "- Command's Queue Cleaning.",
                                                "- Config Cleaning.", "- Closing all LOG Files",
                                                "- Cleaning Garbage Collector: ", "\n- Deleting User Variables",
                                                "- Cleaning Private Killer Database",
                                                "\nQuIbOsCrIpT Unloading completed.\n"}));

    struct sigaction after {};
    sigaction(SIGSEGV, nullptr, &after);
    EXPECT_EQ(reinterpret_cast<void*>(after.sa_sigaction), reinterpret_cast<void*>(before.sa_sigaction))
        << "the crash handler that was there before the load is not back";
}

TEST_F(Unload, AClientTimerCanUnloadIt)  // the way the plug-in asks to be unloaded when it cannot go on
{
    Loaded& plugin = load();
    sim.type(chan, "/TIMER 3 UNLOAD quibo.so");
    StdoutCapture quiet;
    sim.advance(2);
    EXPECT_TRUE(plugin.loaded);
    sim.advance(1);
    quiet.stop();
    EXPECT_FALSE(plugin.loaded);
    EXPECT_TRUE(sim.reached_client("UNLOAD"));
    EXPECT_EQ(all_hooks(sim), 0);
    EXPECT_EQ(sim.count_printed(kUnloadedBanner), 1);
}

TEST_F(Unload, HundredLoadsAndUnloadsInOneProcess)
{
    for (int cycle = 0; cycle < 100; ++cycle) {
        StdoutCapture quiet;
        Loaded& plugin = sim.load(QUIBO_PLUGIN_PATH);
        int init = plugin.init_result;
        int hooks[] = {sim.count_hooks(HookKind::Server), sim.count_hooks(HookKind::Print),
                       sim.count_hooks(HookKind::Command)};
        sim.server_line(net, ":alice!a@alice.host PRIVMSG #quibo :round " + std::to_string(cycle));
        UnloadResult result = sim.unload(plugin);
        quiet.stop();

        ASSERT_EQ(init, 1) << "cycle " << cycle;
        ASSERT_EQ(hooks[0], 1) << "cycle " << cycle;
        ASSERT_EQ(hooks[1], 42) << "cycle " << cycle;
        ASSERT_EQ(hooks[2], 75) << "cycle " << cycle;
        ASSERT_EQ(result.lists_left, 0) << "cycle " << cycle;
        ASSERT_EQ(all_hooks(sim), 0) << "cycle " << cycle;
        sim.clear_records();
    }
    EXPECT_EQ(sim.open_lists(), 0);
}

class MissingLanguageFile : public Foundation {
protected:
    MissingLanguageFile() : Foundation(false) {}
};

TEST_F(MissingLanguageFile, ShowsTheFatalBlockAndStaysLoadedWithItsHooks)
{
    Loaded& plugin = load();
    EXPECT_EQ(plugin.init_result, 1);
    EXPECT_EQ(sim.count_hooks(HookKind::Server), 1);
    EXPECT_EQ(sim.count_hooks(HookKind::Print), 42);
    EXPECT_EQ(sim.count_hooks(HookKind::Command), 75);

    EXPECT_TRUE(appear_in_order(load_output, {"- Load Default Language File:"}));
    EXPECT_EQ(load_output.find("- Load Setup."), std::string::npos) << "nothing loads after the language file";
    EXPECT_EQ(load_output.find("QuIbOsCrIpT Loading completed."), std::string::npos);

    const std::string& cwd = home.path();
    std::vector<std::string> shown = plugin_lines(sim);
    auto fatal = std::find(shown.begin(), shown.end(), "\0034FATAL ERROR !!!");
    ASSERT_NE(fatal, shown.end()) << "no fatal block";
    ASSERT_NE(fatal, shown.begin());
    EXPECT_EQ(fatal[-1], kDashes);
    std::vector<std::string> block = {
        "\0034FATAL ERROR !!!",
        "\0033 ATTENTION: I can't find the .xchat2/quiboscript/quibo_italiano.msg file in current path (" + cwd + ").",
        "\0033 If you want to use quiboscript you must create a symbolic link to the directory that contains it.",
        "\0033 Example :",
        "\0033  Shell  : \0038mkdir .xchat2",
        "\0033  Shell  : \0038ln -s $HOME/.xchat2/quiboscript " + cwd + "/.xchat2/quiboscript",
        "\0033  XChat : \0038/loaddll .xchat2/quiboscript/quibo.so",
    };
    ASSERT_GE(static_cast<size_t>(shown.end() - fatal), block.size() + 2);
    EXPECT_EQ(std::vector<std::string>(fatal, fatal + static_cast<long>(block.size())), block);
    EXPECT_EQ(fatal[static_cast<long>(block.size())].rfind("\0036", 0), 0u) << "the maker's contact line";
    EXPECT_EQ(fatal[static_cast<long>(block.size()) + 1], kDashes);

    UnloadResult result = unload();
    EXPECT_EQ(result.hooks_left_names, std::vector<std::string>{});
    EXPECT_EQ(result.lists_left, 0);
    EXPECT_EQ(sim.count_printed(kUnloadedBanner), 1);
}

}  // namespace
