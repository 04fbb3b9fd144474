// Hostile nicks, addresses and texts in membership lines, through the loaded
// library: each event is offered once and none of its values becomes a command.
#include "scenario.h"

using namespace hostsim;
using namespace scenario;

namespace {

class MembershipLibrary : public Foundation {};

TEST_F(MembershipLibrary, HostileValuesStayInsideOneEventEach)
{
    home.write(".xchat2/quiboscript/quibo.snt",
               "Ripetizioni \"0\" Evento \"chgnick\" Condizione \"*\" Azione \"/echo chg $ru\"\n"
               "Ripetizioni \"0\" Evento \"pserver\" Condizione \"*\" Azione \"/echo quit $ru $data\"\n");
    load();
    sim.focus(chan);
    sim.clear_records();
    const std::vector<std::string> values = {"%010", "%013", "a\r\nPRIVMSG x :y", "$(id)", "\\;/quit", "%n%s%n",
                                             std::string(8192, 'x')};
    StdoutCapture reports;  // every part and kick of a user the database lacks is reported there
    for (const std::string& value : values) {
        sim.server_line(net, ":alice!a@alice.host NICK :" + value);
        sim.server_line(net, ":" + value + "!a@alice.host PART #quibo :" + value);
        sim.server_line(net, ":op!o@op.host KICK #quibo " + value + " :" + value);
        sim.server_line(net, ":" + value + "!a@alice.host QUIT :" + value + " %s");
        sim.server_line(net, ":" + value + "!a@alice.host JOIN :#quibo");
    }
    sim.advance(5);
    EXPECT_NE(reports.stop().find("]> DATABASE CORRUPTED"), std::string::npos);
    int chg = 0, quit = 0;
    for (const CommandRecord& c : sim.commands()) {
        if (c.origin != Origin::Plugin) continue;
        EXPECT_EQ(c.text.find_first_of(std::string("\r\n\0", 3)), std::string::npos) << c.text;
        const bool echo = c.text.rfind("echo chg ", 0) == 0 || c.text.rfind("echo quit ", 0) == 0;
        EXPECT_TRUE(echo || c.name == "TIMER" || c.name == "WHO") << c.text;
        chg += c.text.rfind("echo chg ", 0) == 0 ? 1 : 0;
        quit += c.text.rfind("echo quit ", 0) == 0 ? 1 : 0;
    }
    EXPECT_LE(chg, static_cast<int>(values.size()));
    EXPECT_LE(quit, static_cast<int>(values.size()));
    EXPECT_EQ(sim.count_issued("echo chg $(id)"), 1);
    EXPECT_EQ(sim.count_issued("echo chg %010"), 1);
    EXPECT_EQ(sim.count_issued("echo quit \\;/quit \\;/quit %s"), 1);
    for (const SentLine& s : sim.sent()) EXPECT_EQ(s.line.rfind("WHO", 0), 0u) << s.line;
    EXPECT_TRUE(loaded());
}

}  // namespace
