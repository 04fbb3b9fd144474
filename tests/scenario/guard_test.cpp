// The private-message guard in the loaded plug-in: its list is read at load
// and shown, its keywords act on it, unload empties it, and the question,
// with no dialog in this client, gets the time-out answer.
#include "scenario.h"

#include <algorithm>
#include <fstream>
#include <sstream>

using namespace hostsim;
using namespace scenario;

namespace {

class Guard : public Foundation {
protected:
    std::string list_file() const
    {
        std::ifstream in(home.path() + "/.xchat2/quiboscript/private_killer.txt");
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(Guard, TheListIsReadAtLoadShownAndMendedAndTheKeywordsActOnIt)
{
    home.write(".xchat2/quiboscript/private_killer.txt",
               "3 bob bob@good.host\n-3 eve eve@bad.host\n-3 bob bob@good.host\n");
    load();
    const std::vector<std::string> shown = plugin_lines(sim);
    const auto start = std::find(shown.begin(), shown.end(), "\0033LOAD PRIVATE KILLER SYSTEM DATABASE");
    ASSERT_NE(start, shown.end());
    const std::vector<std::string> listed(start + 1, std::min(start + 4, shown.end()));
    EXPECT_EQ(listed, (std::vector<std::string>{
                          "---\t\0034X\0036 eve\017 [\0038 eve@bad.host\017 ] [\0033 STORED\017 ]",
                          "---\t\0033V\0036 bob\017 [\0038 bob@good.host\017 ] [\0033 STORED\017 ]", kDashes}));
    EXPECT_EQ(list_file(), "-3 eve eve@bad.host\n3 bob bob@good.host\n") << "the duplicate line is gone";

    sim.clear_records();
    sim.type(chan, "/quibo add_killed_user() carl 0");
    EXPECT_EQ(sim.count_printed("\0033Private Killer \t\0038User\0034 carl\0038 added and set to [\0034X\0038]."), 1);
    sim.type(chan, "/quibo zem_gtk_query_kill_request carl %s wants to talk");
    EXPECT_EQ(sim.count_printed("zem_gtk_query_kill_request = 0"), 1) << "no dialog here: the time-out answer";
    sim.clear_records();
    sim.type(chan, "/quibo print_killed_user_list()");
    EXPECT_EQ(sim.count_printed_containing(" carl\017 [\0038 \017 ] [\0034 TEMPORARY"), 1);
    EXPECT_EQ(sim.count_printed_containing(" STORED"), 2);

    unload();
    EXPECT_NE(unload_output.find("- Cleaning Private Killer Database"), std::string::npos);
    EXPECT_EQ(list_file(), "-3 eve eve@bad.host\n3 bob bob@good.host\n") << "temporary entries never reach the file";
}

}  // namespace
