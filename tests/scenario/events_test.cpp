// Sentinels inside the loaded plug-in: read from quibo.snt at load, fired
// through /EVENT, their commands sent by the queue.
#include "scenario.h"

using namespace hostsim;
using namespace scenario;

namespace {

class Events : public Foundation {
protected:
    int sent_starting(const std::string& prefix) const
    {
        int n = 0;
        for (const SentLine& s : sim.sent()) n += s.line.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }
};

TEST_F(Events, RulesFromTheFileAnswerAndAHostileTextStaysOneAnswer)
{
    home.write(".xchat2/quiboscript/quibo.snt",
               "Ripetizioni \"0\" Evento \"text\" Condizione \"!ping=$data\" Azione \"/say pong $ru: $data\"\n");
    load();
    EXPECT_EQ(sim.count_printed_containing("Lettura del file delle sentinelle"), 1);
    sim.focus(chan);
    sim.type(chan, "/EVENT event text me peer host #quibo irc.test.net !ping \\;/quit %B $(id)");
    sim.advance(6);
    EXPECT_EQ(sent_starting("PRIVMSG #quibo :pong peer: !ping \\;/quit %B $(id)"), 1);
    EXPECT_EQ(sent_starting("PRIVMSG"), 1);
    EXPECT_EQ(sent_starting("QUIT"), 0);
    sim.type(chan, "/EVENT event text me peer host #quibo irc.test.net hello");
    sim.advance(6);
    EXPECT_EQ(sent_starting("PRIVMSG"), 1) << "the condition does not hold";
    unload();
}

TEST_F(Events, SavedRulesAreTheOnesReadAtTheNextLoad)
{
    load();
    sim.focus(chan);
    sim.type(chan, "/EVENT add 2 kick me=$lu /join $channel");
    sim.type(chan, "/EVENT addh 0 text * /say hidden");
    sim.type(chan, "/EVENT save");
    unload();
    load();
    sim.clear_records();
    sim.type(chan, "/EVENT list");
    EXPECT_EQ(sim.count_printed_containing("/join $channel"), 1);
    EXPECT_EQ(sim.count_printed_containing("hidden"), 0);
}

}  // namespace
