// The internal /QUIBO keywords: the queue's, the input box's, sounds, and the
// guard's keywords.
#include "queue_fixture.h"

#include "handlers/handlers.h"
#include "host/trace.h"
#include "protection/private_killer.h"

namespace {

using Lines = std::vector<std::string>;

class InternalKeywords : public QueueTest {};

TEST_F(InternalKeywords, TimedInsertTakesOnlyAWholeNumberOfSeconds)
{
    quibo("InsertCommandInQueueTimed(0) abc /say x");
    EXPECT_EQ(take(), Lines{GetMessage(799)});
    quibo("InsertCommandInQueueTimed() -5 /say x");
    EXPECT_EQ(take(), Lines{GetMessage(799)});
    quibo("InsertCommandInQueueTimed(0) 30");
    EXPECT_EQ(take(), Lines{GetMessage(479)});
    EXPECT_TRUE(queued().empty());
    EXPECT_EQ(iCommandStatus_CommandsQueue, 0);

    quibo("InsertCommandInQueueTimed(0) 30 /say x");
    EXPECT_TRUE(take().empty()) << "the (0) form is silent";
    ASSERT_EQ(queued(), Lines{"/say x"});
    EXPECT_EQ(pCmdQueue.front().execution_time, sim.now() + 30);
    EXPECT_EQ(pCmdQueue.front().sStatus, 2);
    EXPECT_EQ(iCommandStatus_CommandsQueue, 0);

    quibo("InsertCommandInQueueTimed() 5 /say y");
    EXPECT_EQ(take(), Lines{message(798, "/say y", "5")});
    EXPECT_EQ(pCmdQueue.back().sStatus, 0);
}

TEST_F(InternalKeywords, InsertExecAndFlushAnnounceThemselvesInTheirPlainForm)
{
    quibo("InsertCommandInQueue()");
    EXPECT_EQ(take(), Lines{GetMessage(479)});
    quibo("InsertCommandInQueue() echo one");
    EXPECT_EQ(take(), Lines{message(478, "echo one")});
    quibo("InsertCommandInQueue(0) echo two");
    EXPECT_TRUE(take().empty());
    iFlagErrorMessage = 0;
    quibo("InsertCommandInQueue() echo three");
    EXPECT_TRUE(take().empty()) << "notices follow the error switches";
    iFlagErrorMessage = 1;

    flood_control(true);
    quibo("ExecCommandInQueue()");  // one forced step, then a batch of three
    EXPECT_EQ(sim.texts_in(*chan).front(), GetMessage(476));
    EXPECT_EQ(echoed(), (Lines{"one", "two", "three"}));

    queue("echo four");
    queue("echo five");
    sim.clear_records();
    quibo("FlushCommandInQueue()");
    EXPECT_EQ(sim.count_issued("FLUSHQ"), 1) << "the client's own send queue goes too";
    EXPECT_EQ(take().front(), GetMessage(477));
    EXPECT_TRUE(queued().empty());
    queue("echo six");
    quibo("flush");
    EXPECT_EQ(take().front(), sep) << "flush prints no notice";
}

TEST_F(InternalKeywords, DeleteTakesAPositionOrAText)
{
    queue("/say one");
    queue("/echo two");
    queue("/say three");
    quibo("DeleteCommandInQueue() 3");
    EXPECT_EQ(queued(), (Lines{"/say one", "/echo two"}));
    quibo("DeleteCommandInQueue() /SAY");
    EXPECT_EQ(queued(), Lines{"/echo two"});
    quibo("InsertCommandInQueue(0) /say private");
    quibo("DeleteCommandInQueue() 2");
    EXPECT_EQ(queued().size(), 2u);
    quibo("DeleteCommandInQueue(0) 2");
    EXPECT_EQ(queued(), Lines{"/echo two"});
    EXPECT_EQ(iCommandStatus_CommandsQueue, 0);
    take();
    quibo("ListCommandInQueue()");
    EXPECT_EQ(take().size(), 4u);
}

TEST_F(InternalKeywords, PlaySoundKindsAndABadOne)
{
    const std::string played = fake_player();
    iFlagBeep = 1;
    tSoundCommandTimer = 1;
    quibo("PlaySound() x");
    EXPECT_EQ(take(), Lines{GetMessage(481)});
    EXPECT_EQ(read_file(played), home.path() + "/.xchat2/quiboscript/warning.au ALSA\n");
    sim.advance(2);
    quibo("PlaySound() e");
    EXPECT_TRUE(take().empty());
    EXPECT_NE(read_file(played).find("/error.au ALSA\n"), std::string::npos);
    sim.advance(2);
    quibo("PlaySound() d");
    EXPECT_NE(read_file(played).find("/quibo.au ALSA\n"), std::string::npos);
    iFlagBeep = 0;
    sim.advance(2);
    quibo("PlaySound() m");
    EXPECT_EQ(read_file(played).find("message.au"), std::string::npos) << "only with sounds on";
}

TEST_F(InternalKeywords, TheInputBoxGetsOneLineAndEnterRunsIt)
{
    quibo("InsertInBuffer()");
    EXPECT_EQ(take(), Lines{GetMessage(759)});
    chan->inputbox = "/echo ";
    quibo("InsertInBuffer() typed\r\n/quit in");
    EXPECT_EQ(chan->inputbox, "/echo typed/quit in") << "line breaks never make a second command";
    quibo("ExecUserInput()");  // no text: only Enter
    EXPECT_EQ(chan->inputbox, "");
    EXPECT_EQ(sim.count_printed("typed/quit in"), 1);
    EXPECT_FALSE(sim.reached_client("QUIT"));

    quibo("ExecUserInput() hello %B");
    EXPECT_EQ(sim.count_sent("PRIVMSG #quibo :hello %B"), 1) << "typed text is said as typed";
}

TEST_F(InternalKeywords, TheGuardKeywordsActOnTheListAndTheQuestionShowsItsTextAsText)
{
    flush_killed_user_list();
    quibo("add_killed_user()");
    EXPECT_EQ(take(), Lines{"\0034Private Killer \t\0038Syntax Error."});
    quibo("del_killed_user()");
    EXPECT_EQ(take(), Lines{"\0034Private Killer \t\0038Syntax Error."});
    quibo("add_killed_user() bob 0");
    EXPECT_EQ(take(), (Lines{"\0034Private Killer \t\0038User\0034 bob\0038 don't found !",
                             "---\t\0034X\0036 bob\017 [\0038 \017 ]",
                             "\0033Private Killer \t\0038User\0034 bob\0038 added and set to [\0034X\0038]."}))
        << "a user the database does not know is blocked by nick alone, for this session";
    EXPECT_EQ(get_killed_user_flag("bob", "bob@any.host"), -2);
    quibo("add_killed_user() bob");
    EXPECT_EQ(take().back(), "\0033Private Killer \t\0038User\0034 bob\0038 added and set to [\0033V\0038].");
    EXPECT_EQ(get_killed_user_flag("bob", "bob@any.host"), 2) << "the new level replaces the old one";
    quibo("del_killed_user() bob");
    EXPECT_EQ(take(), (Lines{"\0034Private Killer \t\0038User\0034 bob\0038 don't found !",
                             "\0033Private Killer \t\0038User\0034 bob\0038 deleted."}));
    EXPECT_EQ(uiKillerUserNumber, 0u);

    home.write(".xchat2/quiboscript/private_killer.txt", "3 amy amy@some.host\n");
    quibo("load_killed_user_file()");
    EXPECT_EQ(take(), (Lines{"---\t\0033V\0036 amy\017 [\0038 amy@some.host\017 ] [\0033 STORED\017 ]",
                             "\0033Private Killer \t\0038Database Reloaded."}));
    quibo("print_killed_user_list()");
    EXPECT_EQ(take().size(), 1u);
    quibo("flush_killed_user_list()");
    quibo("print_killed_user_list()");
    EXPECT_TRUE(take().empty());

    // Nobody answers: the question's own time-out does.
    sim.answer_dialogs(hostsim::DialogAnswer::wait());
    quibo("zem_gtk_query_kill_request %n%s%s%n text");
    ASSERT_EQ(sim.dialogs().size(), 1u);
    EXPECT_NE(sim.dialogs()[0]->text.find("%n%s%s%n text"), std::string::npos)
        << "shown as text, never used as a format: " << sim.dialogs()[0]->text;
    EXPECT_EQ(take(), Lines{"zem_gtk_query_kill_request = 0"});
}

TEST_F(InternalKeywords, WindowsEventsAndTheTrace)
{
    hostsim::Context& talk = sim.dialog(*irc, "bob");
    HostSession* dialog = session_of(talk.handle());
    InsertCommandInQueue(dialog, "echo for bob");
    CloseWindow(dialog);
    EXPECT_TRUE(queued().empty());
    EXPECT_EQ(sim.count_issued("TIMER 1 close"), 1);
    quibo("CloseWindow()");  // a channel window leaves the channel
    EXPECT_EQ(sim.count_issued("quibo part"), 1);
    EXPECT_EQ(sim.count_issued("PART #quibo \002QuIbOsCrIpT\017 [http://quibo.localhost/] XChat Plugin by "
                               "ZEM'Software (V. 3.7.86)"),
              1) << "through the queue, translated when it runs";

    take();
    quibo("OpenServerList()");
    EXPECT_EQ(take().front(), GetMessage(480));
    quibo("NewWindow()");
    EXPECT_TRUE(sim.reached_client("NEWSERVER"));

    take();
    iFlagEnableEvent = 0;
    quibo("quiboscriptgenevent #1");
    EXPECT_TRUE(take().empty());

    DebugPlugin(0, "a traced line");
    quibo("shbm_save");
    const std::string file = home.path() + "/.xchat2/quiboscript/quibo.fnc";
    const Lines shown = take();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("--- Saved ", 0), 0u);
    EXPECT_NE(shown[0].find(" records to " + file), std::string::npos);
    EXPECT_NE(read_file(file).find("a traced line"), std::string::npos);
}

TEST_F(InternalKeywords, FreememEmptiesTheQueueAndLeavesItsModeOrdinary)
{
    quibo("InsertCommandInQueue(0) echo private");
    hostsim::StdoutCapture out;
    quibo("freemem");
    out.stop();
    EXPECT_TRUE(queued().empty()) << "private entries go too";
    EXPECT_EQ(iCommandStatus_CommandsQueue, 0);
    queue("echo later");
    EXPECT_EQ(pCmdQueue.front().sStatus, 0) << "later entries are ordinary again";
}

TEST_F(InternalKeywords, ExitAsksTheClientToQuitInOrder)
{
    quibo("xchat_exit()");
    std::vector<std::string> issued;
    for (const hostsim::CommandRecord& c : sim.commands())
        if (c.origin == hostsim::Origin::Plugin) issued.push_back(c.text);
    EXPECT_EQ(issued, (Lines{"QUIT", "KILLALL"}));
}

}  // namespace
