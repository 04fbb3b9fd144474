#include "scenario.h"

#include <fstream>

using namespace hostsim;

namespace scenario {

testing::AssertionResult appear_in_order(const std::string& text, const std::vector<std::string>& steps)
{
    size_t at = 0;
    for (size_t i = 0; i < steps.size(); ++i) {
        size_t found = text.find(steps[i], at);
        if (found == std::string::npos) {
            bool anywhere = text.find(steps[i]) != std::string::npos;
            return testing::AssertionFailure() << "step " << i << " \"" << steps[i] << "\" "
                                               << (anywhere ? "comes too early" : "is missing") << " in:\n"
                                               << text;
        }
        at = found + steps[i].size();
    }
    return testing::AssertionSuccess();
}

std::string line_of(const std::string& text)
{
    return !text.empty() && text.back() == '\n' ? text.substr(0, text.size() - 1) : text;
}

std::vector<std::string> plugin_lines(const Sim& sim, const Context* only_in)
{
    std::vector<std::string> lines;
    for (const Printed& p : sim.printed())
        if (p.origin == Origin::Plugin && (!only_in || p.ctx == only_in)) lines.push_back(line_of(p.text));
    return lines;
}

Foundation::Foundation(bool with_language_file)
    : net(sim.add_server("irc.test.net", "tester", "TestNet")), chan(sim.channel(net, "#quibo"))
{
    home.make_dir(".xchat2/quiboscript");
    if (with_language_file)
        home.copy_in(std::string(QUIBO_DATA_DIR) + "/quibo_italiano.msg", ".xchat2/quiboscript/quibo_italiano.msg");
    sim.add_user(chan, "tester", "t@test.host", "@");
    sim.add_user(chan, "alice", "a@alice.host");
}

Loaded& Foundation::load()
{
    StdoutCapture out;
    plugin_ = &sim.load(QUIBO_PLUGIN_PATH);
    load_output = out.stop();
    return *plugin_;
}

void Foundation::who_listing_of_channel()
{
    sim.server_line(net, ":irc.test.net 352 tester #quibo t test.host irc.test.net tester H@ :0 Tester");
    sim.server_line(net, ":irc.test.net 352 tester #quibo a alice.host irc.test.net alice H :0 Alice");
    sim.server_line(net, ":irc.test.net 315 tester #quibo :End of /WHO list.");
}

UnloadResult Foundation::unload()
{
    StdoutCapture out;
    UnloadResult result = sim.unload(*plugin_);
    unload_output = out.stop();
    return result;
}

void Foundation::TearDown()
{
    if (loaded()) unload();
    EXPECT_EQ(sim.faults(), std::vector<std::string>{}) << "the plug-in misused the client interface";
}

}  // namespace scenario
