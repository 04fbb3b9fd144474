// The plug-in's callbacks in the simulated client: what they do when the
// plug-in itself fails, and what they do when its load stopped early.
#include "scenario.h"

#include <algorithm>
#include <stdexcept>

using namespace hostsim;
using namespace scenario;

namespace {

class Hooks : public Foundation {};

TEST_F(Hooks, AFailureInsideACallbackIsReportedAndTheEventPasses)
{
    load();
    sim.clear_records();
    sim.throw_in("get_context");
    StdoutCapture out;
    EXPECT_NO_THROW({
        EXPECT_FALSE(sim.server_line(net, ":alice!a@alice.host PRIVMSG #quibo :hi there"));
        sim.type(chan, "/ECHO still here");
        sim.type(chan, "/QUIBO help");
        sim.type(chan, "/EVENT");
        EXPECT_FALSE(sim.print_event(chan, "Your Message", {"tester", "hello"}));
        EXPECT_FALSE(sim.print_event(chan, "Private Message", {"alice", "psst"}));
        EXPECT_FALSE(sim.print_event(chan, "DCC Header", {"a", "b"}));
        sim.focus(chan);
        sim.throw_in("list_get");  // the ignore events only read the client's ignore list
        EXPECT_FALSE(sim.print_event(chan, "Ignore Add", {"x!*@*"}));
    });
    std::string report = out.stop();
    sim.throw_in({});

    for (const char* callback : {"cb_raw_line", "cb_default_command", "cb_quibo_command", "cb_event_command",
                                 "cb_output", "cb_private_message", "cb_ignore", "cb_DCC_Manager", "cb_focus"})
        EXPECT_NE(report.find("]> Internal Error (" + std::string(callback) + "())\n"), std::string::npos)
            << callback << " in:\n" << report;
    EXPECT_EQ(report.rfind("[ioplugin:", 0), 0u) << report;
    EXPECT_TRUE(sim.reached_client("ECHO"));
    EXPECT_FALSE(sim.eaten("QUIBO")) << "a command that failed inside passes to the client";

    // Afterwards everything works as before.
    sim.clear_records();
    sim.type(chan, "/EVENT");
    EXPECT_TRUE(sim.eaten("EVENT"));
}

TEST_F(Hooks, UnloadClosesTheLogStream)
{
    load();
    sim.type(chan, "/QUIBO debugfnc 2");  // the trace now goes through the log stream
    sim.type(chan, "/QUIBO help");
    unload();
    EXPECT_TRUE(appear_in_order(unload_output, {"- Closing all LOG Files\n", "  * Closing: ", "quibo.fnc"}))
        << unload_output;
}

TEST_F(Hooks, AFailureWhileLoadingOrUnloadingIsReportedAndLeavesItInactive)
{
    sim.throw_in("print");
    EXPECT_NO_THROW(load());
    sim.throw_in({});
    EXPECT_NE(load_output.find("]> Internal Error (module_init())\n"), std::string::npos) << load_output;
    EXPECT_NE(load_output.find("]> Internal Error (xchat_plugin_init())\n"), std::string::npos) << load_output;
    sim.type(chan, "/QUIBO help");
    EXPECT_EQ(sim.count_printed_containing("stays loaded but inactive"), 1);

    sim.throw_in("get_context");
    UnloadResult result;
    EXPECT_NO_THROW(result = unload());
    sim.throw_in({});
    EXPECT_NE(unload_output.find("]> Internal Error (module_cleanup())\n"), std::string::npos) << unload_output;
    EXPECT_EQ(result.hooks_left, 0);
}

class Inactive : public Foundation {
protected:
    Inactive() : Foundation(false) {}
};

TEST_F(Inactive, AfterTheFatalBlockItSaysItStaysLoadedButInactiveAndLetsEverythingPass)
{
    load();
    std::vector<std::string> shown = plugin_lines(sim);
    auto said = std::find_if(shown.begin(), shown.end(), [](const std::string& line) {
        return line.find("stays loaded but inactive") != std::string::npos;
    });
    ASSERT_NE(said, shown.end());
    EXPECT_GT(said - std::find(shown.begin(), shown.end(), "\0034FATAL ERROR !!!"), 0) << "after the fatal block";
    const std::string notice = *said;

    sim.clear_records();
    sim.focus(chan);
    EXPECT_FALSE(sim.server_line(net, ":alice!a@alice.host PRIVMSG #quibo :hi"));
    sim.type(chan, "/ECHO passes");
    EXPECT_TRUE(sim.reached_client("ECHO"));
    EXPECT_EQ(sim.list_gets("channels"), 0) << "an inactive plug-in reads nothing from the client";

    sim.type(chan, "/QUIBO help");
    sim.type(chan, "/EVENT");
    EXPECT_TRUE(sim.eaten("QUIBO"));
    EXPECT_TRUE(sim.eaten("EVENT"));
    EXPECT_EQ(plugin_lines(sim), (std::vector<std::string>{notice, notice}));
}

}  // namespace
