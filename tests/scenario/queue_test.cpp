// The command queue inside the loaded plug-in, moved on only by the client's
// own /TIMER as the simulated clock advances.
#include "scenario.h"

#include <map>

using namespace hostsim;
using namespace scenario;

namespace {

class Queue : public Foundation {
protected:
    void SetUp() override
    {
        load();
        sim.focus(chan);  // the plug-in's current window
        sim.type(chan, "/QUIBO textfloodout 1");
    }

    int said() const
    {
        int n = 0;
        for (const SentLine& s : sim.sent())
            if (s.line.rfind("PRIVMSG #quibo :line ", 0) == 0) ++n;
        return n;
    }

    int queue_timers() const
    {
        int n = 0;
        for (const ClientTimer& t : sim.timers()) n += t.ref == 2255 ? 1 : 0;
        return n;
    }
};

TEST_F(Queue, ThirtyCommandsReachTheClientThreeEveryFiveSeconds)
{
    for (int i = 1; i <= 30; ++i) sim.type(chan, "/QUIBO InsertCommandInQueue(0) /say line " + std::to_string(i));
    EXPECT_EQ(said(), 0) << "queued, not run";
    sim.type(chan, "/QUIBO ExecCommandInQueue(0)");  // the only push; the timer does the rest
    std::map<int, int> sent_at;  // second -> lines sent by then
    for (int second = 0; second <= 60; ++second) {
        if (second > 0) sim.advance(1);
        sent_at[second] = said();
        EXPECT_LE(queue_timers(), 1) << "at " << second << " s";
    }
    for (int second = 0; second <= 60; ++second) {
        const int batches = std::min(second / 5 + 1, 10);
        EXPECT_EQ(sent_at[second], 3 * batches) << "at " << second << " s";
    }
    const std::vector<SentLine>& sent = sim.sent();
    int n = 0;
    for (const SentLine& s : sent) {
        if (s.line.rfind("PRIVMSG #quibo :line ", 0) == 0) {
            EXPECT_EQ(s.line, "PRIVMSG #quibo :line " + std::to_string(++n)) << "in the order queued";
        }
    }
    EXPECT_TRUE(sim.timers().empty()) << "no timer is left once the queue is empty";

    unload();
    EXPECT_TRUE(sim.timers().empty());
}

TEST_F(Queue, UnloadFlushesWhatIsLeftAndDeletesItsTimer)
{
    for (int i = 1; i <= 5; ++i) sim.type(chan, "/QUIBO InsertCommandInQueue(0) /say line " + std::to_string(i));
    sim.type(chan, "/QUIBO ExecCommandInQueue(0)");
    EXPECT_EQ(said(), 3);
    EXPECT_EQ(queue_timers(), 1);
    sim.clear_records();

    unload();
    EXPECT_TRUE(sim.timers().empty());
    EXPECT_EQ(sim.count_printed_containing("Erasing:\0037 /say line 4"), 1) << "private entries go too";
    EXPECT_EQ(sim.count_printed_containing("Erasing:\0037 /say line 5"), 1);
    sim.advance(30);
    EXPECT_EQ(said(), 0);
}

TEST_F(Queue, TheTimersCallDrainsAndReportsNothing)
{
    sim.type(chan, "/QUIBO InsertCommandInQueueTimed(0) 30 /say line late");
    sim.type(chan, "/QUIBO ListCommandInQueue()");
    EXPECT_EQ(sim.count_printed_containing("(Time:\0036 30\0033)"), 1);
    sim.advance(30);
    sim.clear_records();
    sim.type(chan, "/QUIBO ExecCommandInQueue(0) ^");
    EXPECT_EQ(sim.count_sent("PRIVMSG #quibo :line late"), 1);
    EXPECT_TRUE(plugin_lines(sim).empty());
}

}  // namespace
