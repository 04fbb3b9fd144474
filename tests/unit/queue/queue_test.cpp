// The queue's order, its batches and timer, its lock, and what flushing,
// erasing, deleting and listing leave behind.
#include "queue_fixture.h"

#include <climits>

namespace {

using Lines = std::vector<std::string>;

TEST_F(QueueTest, OrderIsByPriorityThenArrivalAndTheBoostIsClamped)
{
    queue("echo a", 0);
    queue("echo b", kPriorityLow);
    queue("echo c", 0);
    queue("echo d", kPriorityHigh);
    EXPECT_EQ(queued(), (Lines{"echo d", "echo b", "echo a", "echo c"}));
    EXPECT_EQ(iObjectInQueue, 4);
    queue("");  // nothing
    EXPECT_EQ(iObjectInQueue, 4);

    sPriorityState = 32000;
    queue("echo top", kPriorityHigh);
    sPriorityState = -32000;
    queue("echo bottom", -kPriorityHigh);
    EXPECT_EQ(pCmdQueue.front().priority, INT16_MAX);
    EXPECT_EQ(pCmdQueue.back().priority, INT16_MIN);
}

TEST_F(QueueTest, AnEntryQueuedWhileA1024EntryRunsInheritsItsPriority)
{
    queue("quibo InsertCommandInQueueTimed(0) 60 echo late", kPriorityLow);
    ExecCommandInQueue(0);
    ASSERT_EQ(queued(), Lines{"echo late"});
    EXPECT_EQ(pCmdQueue.front().priority, kPriorityLow);
    EXPECT_EQ(pCmdQueue.front().sStatus, 2) << "queued by a (0) keyword";
    EXPECT_EQ(iCommandStatus_CommandsQueue, 0);
    ResetPriority();
    queue("echo plain");
    EXPECT_EQ(pCmdQueue.back().priority, 0);
}

TEST_F(QueueTest, ADelayedHeadLetsDueEntriesPassAndKeepsItsPlace)
{
    queue("echo later", kPriorityHigh, 30);
    queue("echo now");
    queue("echo also now");
    ExecCommandInQueue(0);
    EXPECT_EQ(echoed(), (Lines{"now", "also now"}));
    EXPECT_EQ(queued(), Lines{"echo later"});
    sim.advance(29);
    ExecCommandInQueue(0);
    EXPECT_EQ(queued(), Lines{"echo later"});
    sim.advance(1);
    ExecCommandInQueue(0);
    EXPECT_TRUE(queued().empty());
    EXPECT_EQ(echoed().back(), "later");
}

TEST_F(QueueTest, WithFloodControlBatchesOfThreeRunFiveSecondsApart)
{
    flood_control(true);
    for (int i = 1; i <= 7; ++i) queue("echo " + std::to_string(i));
    ExecCommandInQueue(0);
    EXPECT_EQ(echoed(), (Lines{"1", "2", "3"}));
    EXPECT_EQ(timers_armed(5), 1);
    ExecCommandInQueue(0);  // too early: no batch, and no second timer
    sim.advance(4);
    ExecCommandInQueue(0);
    EXPECT_EQ(echoed().size(), 3u);
    EXPECT_EQ(timers_armed(5), 1);
    sim.advance(1);  // the timer fires
    EXPECT_EQ(echoed(), (Lines{"1", "2", "3", "4", "5", "6"}));
    sim.advance(5);
    EXPECT_EQ(echoed().size(), 7u);
    EXPECT_EQ(timers_armed(5), 2);
    EXPECT_TRUE(sim.timers().empty()) << "no timer is left once the queue is empty";
}

TEST_F(QueueTest, WithoutFloodControlA255CommandBatchAndAOneSecondTimer)
{
    for (int i = 0; i < 256; ++i) queue("echo x");
    queue("echo late", 0, 10);
    ExecCommandInQueue(0);
    EXPECT_EQ(echoed().size(), 255u);
    EXPECT_EQ(timers_armed(1), 1);
    ExecCommandInQueue(0);  // others ask: the rest that is due runs
    EXPECT_EQ(echoed().size(), 256u);
    EXPECT_EQ(timers_armed(1), 1) << "not armed again within a second";
    sim.advance(1);  // the timer's drain finds nothing due and may not re-arm yet
    EXPECT_EQ(timers_armed(1), 1);
    EXPECT_TRUE(sim.timers().empty());
    sim.advance(1);
    ExecCommandInQueue(0);
    EXPECT_EQ(timers_armed(1), 2);
}

TEST_F(QueueTest, A1024EntryPullsTheRestThroughAndADelayedOneEndsTheBatch)
{
    flood_control(true);
    for (int i = 0; i < 5; ++i) queue("echo e", kPriorityLow);
    queue("echo plain");
    ExecCommandInQueue(0);
    EXPECT_EQ(echoed().size(), 6u) << "priority 1024 ignores the batch limit";

    queue("echo event later", kPriorityLow, 60);
    sim.advance(5);
    ExecCommandInQueue(0);  // must come back
    EXPECT_EQ(queued(), Lines{"echo event later"});
}

TEST_F(QueueTest, ADrainAskedForByARunningCommandReturnsAtOnce)
{
    flood_control(true);
    iMaxMessageSent = 1;
    queue("quibo ExecCommandInQueue(0)");
    queue("echo second");
    ExecCommandInQueue(0);
    EXPECT_TRUE(echoed().empty());
    EXPECT_EQ(queued(), Lines{"echo second"});
    EXPECT_EQ(ssQueueLock, 0);
}

TEST_F(QueueTest, AFlushAskedForWhileLockedRunsWhenTheLockIsReleased)
{
    queue("quibo FlushCommandInQueue()");
    queue("echo a");
    queue("echo b");
    ExecCommandInQueue(0);
    EXPECT_TRUE(echoed().empty()) << "the flush ran before the next step";
    EXPECT_TRUE(queued().empty());
    EXPECT_EQ(sim.count_printed_containing("Erasing:"), 2);
    EXPECT_EQ(ssQueueLock, 0);
    EXPECT_EQ(iObjectInQueue, 0);
}

TEST_F(QueueTest, PrivateEntriesSurviveOrdinaryDeletionAndFlushing)
{
    iCommandStatus_CommandsQueue = 2;
    queue("echo p1");
    queue("echo p2");
    iCommandStatus_CommandsQueue = 0;
    queue("echo n");
    EXPECT_EQ(DeleteCommandInQueue(here(), 1), 0);
    EXPECT_EQ(take().back(), "\0034Saved     1:\t\0037 " + std::string(37, ' ') + "echo p1\0033 (Priority:\0036 NONE\0033) "
                                                                                      "(Time:\0036 0\0033)");
    FlushCommandInQueue();
    EXPECT_EQ(take(), (Lines{sep,
                             "\0033Saving :\0037 echo p1\0033 (Priority:\0036 NONE\0033) (Time:\0036 0\0033)",
                             "\0033Saving :\0037 echo p2\0033 (Priority:\0036 NONE\0033) (Time:\0036 0\0033)",
                             "\0033Erasing:\0037 echo n\0033 (Priority:\0036 NONE\0033) (Time:\0036 0\0033)", sep}));
    EXPECT_EQ(queued(), (Lines{"echo p2", "echo p1"})) << "kept entries come back in reverse order";
    EXPECT_EQ(iObjectInQueue, 2);

    iCommandStatus_CommandsQueue = 2;  // the private mode reaches them
    EXPECT_EQ(DeleteCommandInQueue(here(), 2), 1);
    FlushCommandInQueue();
    EXPECT_TRUE(queued().empty());
}

TEST_F(QueueTest, ListingShowsPositionPriorityStatusAndTimeLeft)
{
    ListCommandInQueue(here());
    EXPECT_EQ(take(), Lines{"The Command's Queue is empty."});
    queue("/say hi", kPriorityHigh, 30);
    iCommandStatus_CommandsQueue = 2;
    queue("/say low", kPriorityLow);
    iCommandStatus_CommandsQueue = 0;
    queue("/say none");
    sim.advance(10);
    ListCommandInQueue(here());
    auto row = [](int n, const std::string& command, const char* priority, const char* status, int time) {
        return "\0033Command   " + std::to_string(n) + ":\t\0037 " + std::string(44 - command.size(), ' ') + command +
               "\0033 (Priority:\0036 " + priority + "\0033) (Status:\0036 " + status + "\0033) (Time:\0036 " +
               std::to_string(time) + "\0033)";
    };
    EXPECT_EQ(take(), (Lines{sep, "Command's Queue List:", row(1, "/say hi", "HIGHT", "NONE", 20),
                             row(2, "/say low", "LOW", "PRIVATE", 0), row(3, "/say none", "NONE", "NONE", 0), sep}));
}

TEST_F(QueueTest, DeletionByPatternIgnoresCaseAndByPositionChecksItsBounds)
{
    queue("/say a");
    queue("/echo keep");
    queue("/SAY b");
    EXPECT_EQ(DeleteCommandInQueueString(here(), "/Say"), 2);
    EXPECT_EQ(queued(), Lines{"/echo keep"});
    EXPECT_EQ(sim.count_printed_containing("Deleted   1:"), 1);
    EXPECT_EQ(sim.count_printed_containing("Deleted   2:"), 1);
    EXPECT_EQ(DeleteCommandInQueueString(here(), ""), 0);
    EXPECT_EQ(sim.count_printed("The pattern is null !"), 1);
    EXPECT_EQ(DeleteCommandInQueue(here(), 2), 0);
    EXPECT_EQ(DeleteCommandInQueue(nullptr, 1), 0);
    ssQueueLock = 1;
    EXPECT_EQ(DeleteCommandInQueue(here(), 1), 0);
    ssQueueLock = 0;
    EXPECT_EQ(queued(), Lines{"/echo keep"});
}

TEST_F(QueueTest, AnEntryWhoseWindowClosedNeverRunsThere)
{
    hostsim::Context& talk = sim.dialog(*irc, "bob");
    HostSession* dialog = session_of(talk.handle());
    InsertCommandInQueue(dialog, "echo one");
    InsertCommandInQueue(dialog, "echo two");
    queue("echo here");
    sim.close(talk);
    ExecCommandInQueue(0);
    EXPECT_EQ(echoed(), Lines{"here"}) << "the closed window's entries are dropped unrun";
    EXPECT_TRUE(queued().empty());

    hostsim::Context& again = sim.dialog(*irc, "ann");
    dialog = session_of(again.handle());
    InsertCommandInQueue(dialog, "echo moved");
    sim.close(again);
    iFlagKeepQueueCommandCorrupted = 1;
    sim.clear_records();
    ExecCommandInQueue(0);
    ASSERT_EQ(echoed(), Lines{"moved"});
    EXPECT_EQ(sim.commands().front().ctx, chan) << "kept entries run in the current window";

    hostsim::StdoutCapture out;
    InsertCommandInQueue(nullptr, "echo nowhere");
    ExecCommandInQueue(0);
    EXPECT_NE(out.stop().find("]> QUEUE WARNING: "), std::string::npos);
    EXPECT_EQ(echoed().back(), "nowhere");
}

TEST_F(QueueTest, ErasingAClosingWindowMovesItsPrivateEntries)
{
    hostsim::Context& talk = sim.dialog(*irc, "bob");
    HostSession* dialog = session_of(talk.handle());
    InsertCommandInQueue(dialog, "echo plain");
    iCommandStatus_CommandsQueue = 2;
    InsertCommandInQueue(dialog, "echo private");
    iCommandStatus_CommandsQueue = 0;
    EraseCommandForSession(dialog);
    ASSERT_EQ(queued(), Lines{"echo private"});
    EXPECT_EQ(pCmdQueue.front().session, current_tab) << "the closing window was not the current one";

    hostsim::Context& other = sim.channel(*irc, "#other");
    EraseCommandForSession(current_tab);  // closing the current window: the first other open one
    EXPECT_NE(pCmdQueue.front().session, here());
    EXPECT_TRUE(is_session(pCmdQueue.front().session));
    (void)other;

    HostSession* lone = pCmdQueue.front().session;
    current_tab = lone;
    for (hostsim::Context* tab : sim.tabs())
        if (session_of(tab->handle()) != lone) sim.close(*tab);
    EraseCommandForSession(lone);  // nowhere to go: it loses its protection and goes
    EXPECT_TRUE(queued().empty());
}

TEST_F(QueueTest, TheTimersOwnCallAndTimerCommands)
{
    flood_control(true);
    queue("TIMER 60 echo later");
    queue("echo a");
    queue("echo b");
    queue("echo c");
    ExecCommandInQueue(0);
    EXPECT_EQ(timers_armed(5), 0) << "a /TIMER just run holds the queue's own timer back";
    EXPECT_EQ(sFlagTimerLock, 1);
    sim.advance(5);
    sim.clear_records();
    quibo("ExecCommandInQueue(0) ^");
    EXPECT_EQ(echoed(), Lines{"c"});
    EXPECT_EQ(sim.count_printed(GetMessage(476)), 0) << "the timer's call is silent";

    sFlagTimerLock = 1;
    quibo("ExecCommandInQueue(0) ^");
    EXPECT_EQ(sFlagTimerLock, 0);
}

TEST_F(QueueTest, DebugLevelAboveFiveEchoesEachCommand)
{
    iFlagDebugModeFnc = 6;
    queue("echo traced");
    ExecCommandInQueue(0);
    iFlagDebugModeFnc = 0;
    EXPECT_EQ(sim.count_printed("EXEC    0 --->\t echo traced"), 1);
}

TEST_F(QueueTest, DamagedEntriesAndCountsAreReported)
{
    queue("echo a");
    queue("echo b");
    hostsim::StdoutCapture out;
    pCmdQueue.back().magic = 0;  // a damaged record
    ListCommandInQueue(here());
    ExecCommandInQueue(0);
    std::string text = out.stop();
    EXPECT_NE(text.find("]> QUEUE ERROR: "), std::string::npos);
    EXPECT_EQ(echoed(), Lines{"a"}) << "the walk stops at the damaged entry";

    hostsim::StdoutCapture check;
    queue("echo c");
    iObjectInQueue = 1;
    DeleteCommandInQueue(here(), 1);
    text = check.stop();
    EXPECT_NE(text.find(": OBJECT ["), std::string::npos);

    hostsim::StdoutCapture flush;
    pCmdQueue.front().magic = kQueueEntryMagic;
    pCmdQueue.back().magic = kQueueEntryMagic;
    iObjectInQueue = 1;
    DeleteCommandInQueue(here(), 5);
    iObjectInQueue = 3;
    FlushCommandInQueue();
    text = flush.stop();
    EXPECT_NE(text.find("_check_command_queue("), std::string::npos);
    EXPECT_NE(text.find(") : QUEUE LOOP\n"), std::string::npos);
    EXPECT_NE(text.find("]> QUEUE ERROR: iObjectInQueue = 1\n"), std::string::npos);
    EXPECT_EQ(iObjectInQueue, 0);
}

}  // namespace
