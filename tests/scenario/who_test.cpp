// WHO replies, joins and the reconciliation of the user database with the
// client's windows, through the raw-line hook of the linked plug-in.
#include "linked_plugin.h"

#include "handlers/handlers.h"
#include "queue/queue.h"

namespace {

class Who : public LinkedPlugin {
protected:
    void SetUp() override
    {
        uiSessionFound_previous = 0;
        psFlagDisableUpdateChannel.clear();
        sFlagLockCheckUpDB = 0;
        sFlagEndWhoCloneScanning = 0;
        sNoSendJoinEvent = 0;
        iFlagDisableDBUpdating = 0;
        iFlagCloneDetect = 1;
        iFlagPrintClone = 0;
        session(chan);
    }

    void line(const std::string& text) { sim.server_line(net, text); }
    void who(const char* channel, const char* nick, const char* ident, const char* host)
    {
        line(std::string(":irc.test.net 352 me ") + channel + " " + ident + " " + host + " irc.test.net " + nick +
             " H :0 Real Name");
    }
    void end_of_who(const char* channel) { line(std::string(":irc.test.net 315 me ") + channel + " :End of /WHO list."); }
    static ChatUser* find(const char* channel, const char* nick)
    {
        return GetUser("irc.test.net", channel, nick, nullptr, nullptr);
    }
    void reconcile(int full)
    {
        sim.clear_records();
        hostsim::StdoutCapture quiet;
        iFlagUpdateSessionInibition = 0;  // as at the start of a hook call: the mirror may be rebuilt
        CheckUpDatabase(full);
        ExecCommandInQueue(-1);
    }
};

TEST_F(Who, AReplyForAKnownUserKeepsItsStateAndTheListingSendsNoJoinEvent)
{
    sim.type(chan, "/EVENT add 0 jchannel * /echo JOINED $channel");
    add("#chan", "me", "me@local.host");
    ChatUser* bob = add("#chan", "bob", "b@old.host");
    bob->uiQuery = kQueryAccepted;
    bob->uiBadCount = 2;
    sim.clear_records();
    who("#chan", "bob", "b", "new.host");
    end_of_who("#chan");
    bob = find("#chan", "bob");
    ASSERT_NE(bob, nullptr);
    EXPECT_STREQ(bob->psAddress(), "b@new.host");
    EXPECT_STREQ(bob->psInfo(), "H :0 Real Name");
    EXPECT_EQ(bob->uiQuery, kQueryAccepted);
    EXPECT_EQ(bob->uiBadCount, 2);
    EXPECT_EQ(sim.count_printed_containing("JOINED"), 0);
    // A listing of users not seen before ends with the join event.
    who("#chan", "newcomer", "n", "n.host");
    end_of_who("#chan");
    EXPECT_EQ(sim.count_printed_containing("JOINED #chan"), 1);
}

TEST_F(Who, AStarRecordGivesWayToTheChannelRecord)
{
    who("*", "carol", "c", "c.host");
    ASSERT_NE(find("*", "carol"), nullptr);
    end_of_who("carol");
    who("#chan", "carol", "c", "c.host");
    EXPECT_EQ(find("*", "carol"), nullptr);
    EXPECT_NE(find("#chan", "carol"), nullptr);
}

TEST_F(Who, AJoiningUserWithAClonePresentIsReportedOnce)
{
    add("#chan", "me", "me@local.host");
    add("#chan", "fay", "f@shared.host");
    sim.add_user(chan, "fay", "f@shared.host");
    sim.clear_records();
    line(":erin!e@shared.host JOIN :#chan");
    EXPECT_NE(find("#chan", "erin"), nullptr);
    int reports = 0;
    for (const std::string& text : printed()) reports += text.find("erin") != std::string::npos && text.find("fay") != std::string::npos;
    EXPECT_EQ(reports, 1);
}

// The end of a listing looks for the nick-join fragments in every member of the channel; with no fragment
// in the file nothing is reported and the join event still comes.
TEST_F(Who, TheEndOfAListingChecksEveryMemberAgainstTheNickJoinFile)
{
    sim.type(chan, "/EVENT add 0 jchannel * /echo JOINED $channel");
    add("#chan", "me", "me@local.host");
    iFlagNickJoinMonitoring = 1;
    const auto listing = [&](const char* first, const char* second) {
        sim.clear_records();
        who("#chan", first, "a", "a.host");
        who("#chan", second, "b", "b.host");
        end_of_who("#chan");
    };
    const auto watched = [&](const char* nick) {
        int count = 0;
        for (const std::string& text : printed())
            count += text.find("quibo.nik") == std::string::npos && text.find(nick) != std::string::npos;
        return count;
    };
    home.write(".xchat2/quiboscript/quibo.nik", "\n\n");
    listing("watcher1", "plain1");
    EXPECT_EQ(sim.count_printed_containing("quibo.nik"), 0);
    EXPECT_EQ(sim.count_printed_containing("JOINED #chan"), 1);

    home.write(".xchat2/quiboscript/quibo.nik", "\nWATCH\n");
    listing("watcher2", "plain2");
    EXPECT_EQ(sim.count_printed_containing("quibo.nik"), 2);  // watcher1 and watcher2, once each
    EXPECT_EQ(watched("watcher1"), 1);
    EXPECT_EQ(watched("watcher2"), 1);
    EXPECT_EQ(watched("plain"), 0);
    EXPECT_EQ(sim.count_printed_containing("JOINED #chan"), 1);
}

TEST_F(Who, ReconciliationDropsWhatNoWindowShowsAndAsksOneWhoForWhatIsMissing)
{
    add("#chan", "me", "me@local.host");
    add("#gone", "dave", "d@h");
    add("#gone", "keeper", "k@h")->uiKeep = kKeepUser;
    add("#gone", "friend", "f@h")->uiQuery = kQueryAccepted;
    add(kZombieChannel, "ghost", "g@h");
    sim.add_user(chan, "erin", "e@h");
    sim.add_user(chan, "gina", "g@h");
    reconcile(1);
    EXPECT_EQ(find("#gone", "dave"), nullptr);
    EXPECT_NE(find("#gone", "keeper"), nullptr);
    EXPECT_NE(find("#gone", "friend"), nullptr);
    EXPECT_NE(find(kZombieChannel, "ghost"), nullptr);
    EXPECT_NE(find("#chan", "erin"), nullptr);
    EXPECT_NE(find("#chan", "gina"), nullptr);
    EXPECT_NE(find("#chan", "me"), nullptr);
    EXPECT_EQ(sim.count_sent("WHO #chan"), 1);
    EXPECT_EQ(psFlagDisableUpdateChannel, "#chan");
    // Nothing is missing any more: the next pass changes nothing.
    end_of_who("#chan");
    const int size = GetSize();
    reconcile(1);
    EXPECT_EQ(GetSize(), size);
    EXPECT_EQ(sim.count_sent("WHO #chan"), 0);
}

TEST_F(Who, TwoChannelsNeedingARefreshGetTheirWhoOneAfterTheOther)
{
    hostsim::Context& two = sim.channel(net, "#two");
    sim.add_user(two, "me", "me@local.host");
    sim.add_user(two, "fred", "f@h");
    sim.add_user(chan, "erin", "e@h");
    add("#chan", "me", "me@local.host");
    add("#two", "me", "me@local.host");
    reconcile(1);
    const int to_chan = sim.count_sent("WHO #chan");
    const int to_two = sim.count_sent("WHO #two");
    ASSERT_EQ(to_chan + to_two, 1);
    const char* first = to_chan ? "#chan" : "#two";
    const char* second = to_chan ? "#two" : "#chan";
    sim.clear_records();
    end_of_who(second);  // not the pending one: nothing moves
    EXPECT_EQ(sim.count_sent(std::string("WHO ") + second), 0);
    end_of_who(first);
    EXPECT_EQ(sim.count_sent(std::string("WHO ") + second), 1);
    EXPECT_EQ(psFlagDisableUpdateChannel, second);
}

TEST_F(Who, TheCheapCheckReportsNothingUntilAWindowCloses)
{
    hostsim::Context& two = sim.channel(net, "#two");
    add("#chan", "me", "me@local.host");
    add("#gone", "dave", "d@h");
    reconcile(0);
    reconcile(0);
    EXPECT_EQ(printed().size(), 0u);
    EXPECT_NE(find("#gone", "dave"), nullptr);
    sim.close(two);
    reconcile(0);
    EXPECT_EQ(find("#gone", "dave"), nullptr);
}

}  // namespace
