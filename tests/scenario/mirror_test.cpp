// The plug-in's copies of client state: rebuilt when needed, never left holding a list.
#include "scenario.h"

#include <set>

using namespace hostsim;
using namespace scenario;

namespace {

class Mirrors : public Foundation {
protected:
    Mirrors()
    {
        sim.add_user(second, "tester", "t@test.host");
        sim.add_user(second, "bob", "b@bob.host");
    }

    struct Gets {
        int channels;
        int ignore;
    };

    // The client lists the plug-in fetched while the client handled one raw line.
    Gets gets_for(const std::string& line)
    {
        int channels = sim.list_gets("channels");
        int ignore = sim.list_gets("ignore");
        sim.server_line(net, line);
        EXPECT_EQ(sim.open_lists(), 0) << "a list is still held after: " << line;
        return {sim.list_gets("channels") - channels, sim.list_gets("ignore") - ignore};
    }

    // Rows of the "ignore" list whose `field` the plug-in read.
    std::set<int> ignore_rows_read(const std::string& field) const
    {
        std::set<int> rows;
        for (const ListRead& r : sim.list_reads())
            if (r.list == "ignore" && r.field == field) rows.insert(r.row);
        return rows;
    }

    Context& second = sim.channel(net, "#second");
};

TEST_F(Mirrors, SessionsAndIgnoresAreReadAgainOnlyWhenTheLineComesFromAnotherTab)
{
    load();
    who_listing_of_channel();
    sim.ignores().push_back({"spam!*@*", IG_PRIV});

    Gets first = gets_for(":alice!a@alice.host PRIVMSG #quibo :one");
    Gets same = gets_for(":alice!a@alice.host PRIVMSG #quibo :two");
    Gets other = gets_for(":bob!b@bob.host PRIVMSG #second :three");
    Gets again = gets_for(":bob!b@bob.host PRIVMSG #second :four");

    EXPECT_GE(first.ignore, 1);
    EXPECT_EQ(same.ignore, 0);
    EXPECT_GE(other.ignore, 1);
    EXPECT_EQ(again.ignore, 0);
    EXPECT_LT(same.channels, first.channels);
    EXPECT_LT(again.channels, other.channels);
}

TEST_F(Mirrors, IgnoreEventsRereadEveryEntryWithItsOwnFlags)
{
    load();
    sim.type(chan, "/IGNORE alice PRIV");
    sim.clear_records();
    sim.type(chan, "/IGNORE bob!*@* CHAN NOTI");

    ASSERT_EQ(sim.ignores().size(), 2u);
    EXPECT_EQ(sim.count_events("Ignore Add"), 1);
    EXPECT_FALSE(sim.events().back().eaten);
    EXPECT_EQ(ignore_rows_read("mask"), (std::set<int>{0, 1}));
    EXPECT_EQ(ignore_rows_read("flags"), (std::set<int>{0, 1}));
    EXPECT_EQ(sim.open_lists(), 0);

    sim.clear_records();
    sim.type(chan, "/UNIGNORE alice");
    EXPECT_EQ(sim.count_events("Ignore Remove"), 1);
    EXPECT_EQ(ignore_rows_read("mask"), (std::set<int>{0}));
    EXPECT_EQ(ignore_rows_read("flags"), (std::set<int>{0}));
    EXPECT_EQ(sim.open_lists(), 0);
}

TEST_F(Mirrors, FocusChangesRereadTheIgnoreList)
{
    load();
    sim.ignores().push_back({"spam!*@*", IG_PRIV | IG_NOTI});
    sim.clear_records();
    sim.focus(second);
    EXPECT_FALSE(sim.events().back().eaten);
    EXPECT_EQ(ignore_rows_read("flags"), (std::set<int>{0}));
    sim.clear_records();
    sim.focus_window();
    EXPECT_EQ(ignore_rows_read("flags"), (std::set<int>{0}));
    EXPECT_EQ(sim.open_lists(), 0);
}

}  // namespace
