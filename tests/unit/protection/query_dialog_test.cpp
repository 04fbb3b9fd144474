// The question about an unknown sender, through this program's GTK stand-in:
// its text and buttons, each answer, the time-out, one question at a time,
// and a client without GTK.
#include "guard_fixture.h"

#include "gtk_standin.h"

namespace {

class QueryDialog : public GuardTest {
protected:
    void SetUp() override
    {
        GuardTest::SetUp();
        standin::reset();
    }
    void TearDown() override
    {
        standin::reset();
        GuardTest::TearDown();
    }

    static standin::Gtk& gtk() { return standin::gtk(); }

    // The user presses the button of message `number`.
    static void answer_with(int number)
    {
        gtk().on_run = [number](standin::Dialog& d) { standin::Gtk::press(d, GetMessage(number)); };
    }

    // Nobody answers: the clock moves on and the dialog's timer fires.
    void answer_by_waiting(int seconds)
    {
        gtk().on_run = [this, seconds](standin::Dialog&) {
            sim.advance(seconds);
            gtk().fire_timers();
        };
    }
};

TEST_F(QueryDialog, TheQuestionIsPlainTextWithFourButtonsAndTheAnswerOfThePressedOne)
{
    answer_with(842);
    const std::string question = "bob %s%n <b>not bold</b> \n\nok?";
    EXPECT_EQ(zem_gtk_query_kill_request(question.c_str()), kPKAllowOnce);
    ASSERT_EQ(gtk().dialogs.size(), 1u);
    const standin::Dialog& d = *gtk().dialogs[0];
    EXPECT_EQ(d.text, question) << "never a format, never markup";
    EXPECT_EQ(d.message_type, 2) << "a question";
    EXPECT_EQ(d.standard_buttons, 0);
    EXPECT_TRUE(d.keep_above);
    EXPECT_EQ(d.position, 1) << "centred";
    EXPECT_TRUE(d.destroyed);
    ASSERT_EQ(d.buttons.size(), 4u);
    const char* stock[] = {"gtk-apply", "gtk-edit", "gtk-no", "gtk-delete"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(d.buttons[i]->stock, stock[i]);
        EXPECT_EQ(d.buttons[i]->label, GetMessage(842 + i));
        EXPECT_FALSE(d.buttons[i]->use_stock) << "the label is ours, the icon the stock one";
        EXPECT_TRUE(d.buttons[i]->has_image);
        EXPECT_TRUE(d.buttons[i]->shown);
        EXPECT_GE(d.buttons[i]->response, 0) << "GTK's negative responses mean a closed window";
    }
    EXPECT_EQ(flag_auto_close_dialog_private_killer, 0);
    EXPECT_TRUE(gtk().timers.empty()) << "the time-out goes with the dialog";
    EXPECT_FALSE(killed_user_question_open());

    const int answers[] = {kPKAllowAlways, kPKRefuseOnce, kPKRefuseAlways};
    for (int i = 0; i < 3; ++i) {
        answer_with(843 + i);
        EXPECT_EQ(zem_gtk_query_kill_request("again"), answers[i]);
    }
    gtk().on_run = nullptr;  // the window is closed
    EXPECT_EQ(zem_gtk_query_kill_request("closed"), kPKRefuseOnce) << "closing refuses for this session";
    EXPECT_EQ(flag_auto_close_dialog_private_killer, 0);
}

TEST_F(QueryDialog, EachAnswerLeavesItsEntryAndTheStoredOnesInTheFile)
{
    struct Case {
        int button;
        const char* nick;
    };
    const Case cases[] = {{842, "once"}, {843, "always"}, {844, "notnow"}, {845, "never"}};
    for (const Case& c : cases) {
        answer_with(c.button);
        const std::string address = std::string(c.nick) + "@stranger.host";
        killed_user_answer(c.nick, address.c_str(), zem_gtk_query_kill_request("who?"));
    }
    EXPECT_EQ(entries(), (Lines{"-3 never never@stranger.host", "-3 notnow notnow@stranger.host temporary",
                                "3 always always@stranger.host", "3 once once@stranger.host temporary"}));
    EXPECT_EQ(list_file(), "-3 never never@stranger.host\n3 always always@stranger.host\n");
    EXPECT_EQ(get_killed_user_flag("never", "never@stranger.host"), kPKBlockedBoth);
    EXPECT_EQ(get_killed_user_flag("once", "once@stranger.host"), kPKAllowedBoth);
}

TEST_F(QueryDialog, NobodyAnsweringGetsNotNowAfterTheTimeOutAndMarksIt)
{
    iPrivateKillerAlert = 5;
    answer_by_waiting(5);
    EXPECT_EQ(zem_gtk_query_kill_request("anyone?"), kPKRefuseOnce);
    EXPECT_EQ(flag_auto_close_dialog_private_killer, 1);
    EXPECT_EQ(gtk().timer_intervals, (std::vector<unsigned>{5000}));
    EXPECT_TRUE(gtk().timers.empty()) << "the timer never repeats by itself";

    // A timer that fires before the clock says the time is up waits for the rest.
    gtk().timer_intervals.clear();
    gtk().on_run = [this](standin::Dialog& d) {
        sim.advance(2);
        gtk().fire_timers();
        EXPECT_FALSE(d.answered);
        sim.advance(3);
        gtk().fire_timers();
    };
    EXPECT_EQ(zem_gtk_query_kill_request("anyone?"), kPKRefuseOnce);
    EXPECT_EQ(gtk().timer_intervals, (std::vector<unsigned>{5000, 3000}));
    EXPECT_EQ(flag_auto_close_dialog_private_killer, 1);

    // With iPKAllowOnTimeout the dialog still answers "not now"; the caller lets the line through.
    iPKAllowOnTimeout = 1;
    answer_by_waiting(5);
    EXPECT_EQ(zem_gtk_query_kill_request("anyone?"), kPKRefuseOnce);
    EXPECT_EQ(flag_auto_close_dialog_private_killer, 1);

    // A pressed button after a time-out clears the mark.
    answer_with(842);
    EXPECT_EQ(zem_gtk_query_kill_request("anyone?"), kPKAllowOnce);
    EXPECT_EQ(flag_auto_close_dialog_private_killer, 0);

    iPrivateKillerAlert = 0;  // never a zero-length question
    answer_by_waiting(1);
    EXPECT_EQ(zem_gtk_query_kill_request("anyone?"), kPKRefuseOnce);
    EXPECT_EQ(gtk().timer_intervals.back(), 1000u);
}

// While one question is open the client keeps running: twenty strangers
// writing then get the time-out answer at once, and no second dialog opens.
TEST_F(QueryDialog, OneQuestionAtATimeWhateverArrivesWhileItIsOpen)
{
    std::vector<int> nested_answers;
    std::vector<int> nested_flags;
    gtk().on_run = [&](standin::Dialog& d) {
        EXPECT_TRUE(killed_user_question_open());
        for (int i = 0; i < 20; ++i) {
            const std::string nick = "stranger" + std::to_string(i);
            const std::string address = nick + "@flood.host";
            ASSERT_EQ(get_killed_user_flag(nick.c_str(), address.c_str()), kPKUnknown);
            const int answer = zem_gtk_query_kill_request(("question for " + nick).c_str());
            nested_answers.push_back(answer);
            nested_flags.push_back(flag_auto_close_dialog_private_killer);
            killed_user_answer(nick.c_str(), address.c_str(), answer);
        }
        standin::Gtk::press(d, GetMessage(843));
    };
    EXPECT_EQ(zem_gtk_query_kill_request("the first stranger"), kPKAllowAlways);
    EXPECT_EQ(gtk().dialogs.size(), 1u);
    EXPECT_EQ(gtk().deepest, 1);
    EXPECT_EQ(nested_answers, std::vector<int>(20, kPKRefuseOnce));
    EXPECT_EQ(nested_flags, std::vector<int>(20, 1)) << "answered as a time-out would";
    EXPECT_EQ(flag_auto_close_dialog_private_killer, 0) << "the first question was answered by its button";
    EXPECT_EQ(uiKillerUserNumber, 20u);
    EXPECT_EQ(get_killed_user_flag("stranger7", "stranger7@flood.host"), kPKBlockedBoth);
    EXPECT_FALSE(killed_user_question_open());
}

TEST_F(QueryDialog, WithoutADialogTheQuestionTakesTheTimeOutAnswerAndSaysSoOnce)
{
    gtk().available = false;
    hostsim::StdoutCapture out;
    EXPECT_EQ(zem_gtk_query_kill_request("first %s"), kPKRefuseOnce);
    EXPECT_EQ(flag_auto_close_dialog_private_killer, 1);
    flag_auto_close_dialog_private_killer = 0;
    EXPECT_EQ(zem_gtk_query_kill_request("second"), kPKRefuseOnce);
    EXPECT_EQ(flag_auto_close_dialog_private_killer, 1);
    const std::string shown = out.stop();
    EXPECT_NE(shown.find("zem_gtk_query_kill_request(first %s) ERROR: no dialog available"), std::string::npos);
    EXPECT_EQ(shown.find("second"), std::string::npos) << "said once";
}

TEST_F(QueryDialog, TheQuestionIsCutToValidTextGtkCanShow)
{
    answer_with(844);
    std::string question = "caf\xc3\xa9 \xff\xfe latin1 \xe9t\xe9 \xc0\xaf\xed\xa0\x80 ";
    while (question.size() < 5000) question += "\xe2\x82\xac";  // three-byte characters across the limit
    zem_gtk_query_kill_request(question.c_str());
    const std::string& shown = gtk().dialogs.at(0)->text;
    EXPECT_LE(shown.size(), 4095u);
    const std::string start = "caf\xc3\xa9 ?? latin1 ?t? ????? ";
    EXPECT_EQ(shown.substr(0, start.size()), start) << "stray bytes of another encoding, overlong forms and surrogates become '?'";
    EXPECT_EQ(shown.substr(shown.size() - 3), "\xe2\x82\xac") << "never half a character";
}

}  // namespace
