// The script language inside the loaded plug-in: variables, calls and
// conditions typed by the user, and a rule whose event value looks like script.
#include "scenario.h"

#include <sys/stat.h>

using namespace hostsim;
using namespace scenario;

namespace {

class Script : public Foundation {
protected:
    std::vector<std::string> privmsgs() const
    {
        std::vector<std::string> lines;
        for (const SentLine& s : sim.sent())
            if (s.line.rfind("PRIVMSG", 0) == 0) lines.push_back(s.line);
        return lines;
    }
};

TEST_F(Script, TypedVariablesCallsAndConditionsReachTheServer)
{
    load();
    sim.focus(chan);
    sim.type(chan, "/quibo seth greet hello there");
    sim.type(chan, "/quibo cmd /say $greet from $nickname\\;/say toupper( two words )");
    sim.type(chan, "/quibo if 10 > 9 /say ten");
    sim.type(chan, "/quibo else /say never");
    sim.type(chan, "/quibo if b < A /say not this");
    sim.type(chan, "/quibo else if $(echo$_x) = x /say shell");
    sim.advance(10);
    const std::string me = net.nick;
    EXPECT_EQ(privmsgs(), (std::vector<std::string>{"PRIVMSG #quibo :hello there from " + me,
                                                    "PRIVMSG #quibo :TWO WORDS", "PRIVMSG #quibo :ten",
                                                    "PRIVMSG #quibo :shell"}));
    unload();
    EXPECT_NE(unload_output.find("- Deleting User Variables"), std::string::npos);
}

TEST_F(Script, AnEventValueInAShellSubstitutionIsOnlyText)
{
    const std::string canary = home.path() + "/CANARY";
    home.write(".xchat2/quiboscript/quibo.snt",
               "Ripetizioni \"0\" Evento \"text\" Condizione \"*\" Azione "
               "\"/quibo if $(printf$_%s$_$data) = $data /say same $data\"\n");
    load();
    sim.focus(chan);
    const std::string value = "';touch${IFS}" + canary + ";'$(id)%010";
    sim.type(chan, "/EVENT event text me peer host #quibo irc.test.net " + value);
    sim.advance(10);
    EXPECT_EQ(privmsgs(), std::vector<std::string>{"PRIVMSG #quibo :same " + value});
    struct stat info{};
    EXPECT_NE(stat(canary.c_str(), &info), 0);
    unload();
}

}  // namespace
