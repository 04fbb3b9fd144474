// Built-in functions typed by the user in the loaded plug-in: exec( sends one
// command per matching user through the queue, and the help on functions prints.
#include "scenario.h"

#include <algorithm>

using namespace hostsim;
using namespace scenario;

namespace {

class ScriptFunctions : public Foundation {
protected:
    std::vector<std::string> sent_lines(const std::string& command) const
    {
        std::vector<std::string> lines;
        for (const SentLine& s : sim.sent())
            if (s.line.rfind(command, 0) == 0) lines.push_back(s.line);
        return lines;
    }
};

TEST_F(ScriptFunctions, ExecNoticesEachVoicedUserAndStatCountsTheOthers)
{
    sim.add_user(chan, "v1", "v1@one.host", "+");
    sim.add_user(chan, "v2", "v2@two.host", "+");
    load();
    sim.focus(chan);
    // exec( takes the rest of its piece as its command: it comes last.
    sim.type(chan, "/quibo cmd /say stat( #quibo -v ) without voice\\;/say exec( v,/notice $execnick hello $execnick )");
    sim.advance(10);
    std::vector<std::string> notices = sent_lines("NOTICE");
    std::sort(notices.begin(), notices.end());
    EXPECT_EQ(notices, (std::vector<std::string>{"NOTICE v1 :hello v1", "NOTICE v2 :hello v2"}));
    EXPECT_EQ(sent_lines("PRIVMSG"), (std::vector<std::string>{"PRIVMSG #quibo :2 without voice", "PRIVMSG #quibo :2"}));
    unload();
}

TEST_F(ScriptFunctions, AUsersNicknameIsNeverRunAsACommand)
{
    sim.add_user(chan, "x\\;/quit", "x@evil.host", "+");
    load();
    sim.focus(chan);
    sim.type(chan, "/quibo cmd /say exec( v,/notice alice $execnick )");
    sim.advance(10);
    EXPECT_EQ(sent_lines("NOTICE"), std::vector<std::string>{"NOTICE alice :x\\;/quit"});
    EXPECT_EQ(sent_lines("PRIVMSG"), std::vector<std::string>{"PRIVMSG #quibo :1"});
    EXPECT_TRUE(sent_lines("QUIT").empty());
    unload();
}

TEST_F(ScriptFunctions, TheHelpOnFunctionsPrints)
{
    load();
    sim.focus(chan);
    sim.clear_records();
    sim.type(chan, "/quibo help function");
    EXPECT_GE(sim.texts_in(chan).size(), 150u);
    unload();
}

}  // namespace
