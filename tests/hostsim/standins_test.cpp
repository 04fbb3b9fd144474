// The parts of the client a plug-in reaches beyond IRC: the GTK question
// dialog and the input box (found with dlsym, as a plug-in finds GTK), and
// the clock a scenario can move while a call runs.
#include "hostsim.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace hostsim;

namespace {

template <typename Fn>
Fn gtk(const char* name)
{
    auto fn = reinterpret_cast<Fn>(dlsym(RTLD_DEFAULT, name));
    EXPECT_NE(fn, nullptr) << name << " is not exported by the test program";
    return fn;
}

using NewDialog = void* (*)(void*, int, int, int, const char*, ...);
using AddButton = void* (*)(void*, const char*, int);
using SetLabel = void (*)(void*, const char*);
using Run = int (*)(void*);
using Respond = void (*)(void*, int);
using Destroy = void (*)(void*);
using TimeoutAdd = unsigned (*)(unsigned, int (*)(void*), void*);
using SetFlag = void (*)(void*, int);

// The guard's question as a plug-in would build it: four buttons and a time-out that answers 0.
struct Question {
    void* dialog = nullptr;
    bool timed_out = false;

    int ask(const std::string& who, unsigned timeout_ms)
    {
        dialog = gtk<NewDialog>("gtk_message_dialog_new")(nullptr, 0, 2, 0, "%s wants to talk", who.c_str());
        void* apply = gtk<AddButton>("gtk_dialog_add_button")(dialog, "gtk-apply", 1);
        gtk<SetLabel>("gtk_button_set_label")(apply, "Allow");
        gtk<AddButton>("gtk_dialog_add_button")(dialog, "gtk-edit", 2);
        gtk<AddButton>("gtk_dialog_add_button")(dialog, "gtk-no", 0);
        gtk<AddButton>("gtk_dialog_add_button")(dialog, "gtk-delete", -1);
        gtk<SetFlag>("gtk_window_set_keep_above")(dialog, 1);
        gtk<SetFlag>("gtk_window_set_position")(dialog, 1);
        unsigned timer = gtk<TimeoutAdd>("g_timeout_add")(
            timeout_ms,
            [](void* data) {
                auto* q = static_cast<Question*>(data);
                q->timed_out = true;
                gtk<Respond>("gtk_dialog_response")(q->dialog, 0);
                return 0;
            },
            this);
        int answer = gtk<Run>("gtk_dialog_run")(dialog);
        if (!timed_out) gtk<int (*)(unsigned)>("g_source_remove")(timer);
        gtk<Destroy>("gtk_widget_destroy")(dialog);
        return answer;
    }
};

TEST(Standins, QuestionDialogIsAnsweredByTheScenarioOrTimesOut)
{
    Sim sim;
    sim.answer_dialogs(DialogAnswer::press(2, 3));
    Question first;
    EXPECT_EQ(first.ask("bob", 8000), 2);
    EXPECT_FALSE(first.timed_out);
    ASSERT_EQ(sim.dialogs().size(), 1u);
    const QuestionDialog& d = *sim.dialogs()[0];
    EXPECT_EQ(d.text, "bob wants to talk");
    ASSERT_EQ(d.buttons.size(), 4u);
    EXPECT_EQ(d.buttons[0].text, "gtk-apply");
    EXPECT_EQ(d.buttons[0].label, "Allow");
    EXPECT_EQ(d.buttons[3].response, -1);
    EXPECT_TRUE(d.keep_above);
    EXPECT_EQ(d.position, 1);
    EXPECT_TRUE(d.destroyed);
    EXPECT_EQ(d.closed - d.opened, 3) << "the user looked at it for three seconds";

    Question second;  // nobody answers: the plug-in's own time-out does, after 8 seconds
    time_t before = sim.now();
    EXPECT_EQ(second.ask("eve", 8000), 0);
    EXPECT_TRUE(second.timed_out);
    EXPECT_TRUE(sim.dialogs()[1]->answered_by_plugin);
    EXPECT_EQ(sim.now() - before, 8);

    sim.answer_dialogs(DialogAnswer::press(1, 20));  // the user is slower than the time-out
    Question third;
    EXPECT_EQ(third.ask("slow", 8000), 0);
    sim.answer_dialogs(DialogAnswer::close());
    Question fourth;
    EXPECT_EQ(fourth.ask("gone", 8000), GTK_DELETE_EVENT);
}

TEST(Standins, NestedQuestionsAreRecorded)
{
    Sim sim;
    DialogAnswer outer = DialogAnswer::press(1);
    outer.while_open = [] { Question().ask("inner", 1000); };  // another question while the first is open
    sim.answer_dialogs(std::move(outer));
    sim.answer_dialogs(DialogAnswer::press(-1));
    EXPECT_EQ(Question().ask("outer", 1000), 1);
    ASSERT_EQ(sim.dialogs().size(), 2u);
    EXPECT_EQ(sim.dialogs()[0]->depth, 1);
    EXPECT_EQ(sim.dialogs()[1]->depth, 2);
    EXPECT_EQ(sim.dialogs()[1]->response, -1);
    EXPECT_EQ(sim.max_dialog_depth(), 2);
}

TEST(Standins, TimersOfThePluginRunWhileTheDialogWaits)
{
    Sim sim;
    Server& net = sim.add_server("irc.test.net", "me");
    Context& chan = sim.channel(net, "#chan");
    sim.focus(chan);
    sim.type(chan, "/TIMER 2 ECHO tick");
    Question q;
    q.ask("bob", 5000);
    EXPECT_EQ(sim.count_printed("tick"), 1) << "the client's main loop runs inside the dialog";
    EXPECT_EQ(gtk<int (*)(unsigned)>("g_source_remove")(12345), 0);
}

TEST(Standins, InputBoxTakesInsertedTextAndAQueuedReturnKey)
{
    Sim sim;
    Server& net = sim.add_server("irc.test.net", "me");
    Context& chan = sim.channel(net, "#chan");
    sim.focus(chan);
    sim.set_input(chan, "hello ");
    xchat_plugin* ph = sim.attach("probe", &chan);
    EXPECT_STREQ(ph->xchat_get_info(ph, "inputbox"), "hello ");

    // As a plug-in reaches it: the focus widget of the client's window.
    void* list = gtk<void* (*)()>("gtk_window_list_toplevels")();
    ASSERT_NE(list, nullptr);
    void* window = *static_cast<void**>(list);
    gtk<void (*)(void*)>("g_list_free")(list);
    void* box = gtk<void* (*)(void*)>("gtk_window_get_focus")(window);
    ASSERT_NE(box, nullptr);
    gtk<void (*)(void*)>("gtk_widget_grab_focus")(box);
    int at = gtk<int (*)(void*)>("gtk_editable_get_position")(box);
    EXPECT_EQ(at, 6);
    gtk<void (*)(void*, const char*, int, int*)>("gtk_editable_insert_text")(box, "world", -1, &at);
    EXPECT_EQ(at, 11);
    gtk<void (*)(void*, int)>("gtk_editable_set_position")(box, at);
    EXPECT_EQ(chan.inputbox, "hello world");

    struct KeyEvent {  // GTK 2's layout
        int type;
        void* window;
        int8_t send_event;
        uint32_t time;
        unsigned state;
        unsigned keyval;
        int length;
        char* string;
        uint16_t hardware_keycode;
        uint8_t group;
    };
    struct Keymap {
        unsigned keycode;
        int group;
        int level;
    };
    void* keys = nullptr;
    int n = 0;
    void* keymap = gtk<void* (*)()>("gdk_keymap_get_default")();
    ASSERT_EQ(gtk<int (*)(void*, unsigned, void**, int*)>("gdk_keymap_get_entries_for_keyval")(keymap, 0xFF0D, &keys, &n), 1);
    ASSERT_EQ(n, 1);
    auto* event = static_cast<KeyEvent*>(gtk<void* (*)(int)>("gdk_event_new")(8));
    event->window = gtk<void* (*)(void*)>("gtk_widget_get_parent_window")(box);
    event->send_event = 1;
    event->state = 1024;
    event->keyval = 0xFF0D;
    event->hardware_keycode = static_cast<uint16_t>(static_cast<Keymap*>(keys)->keycode);
    gtk<void (*)(void*)>("g_free")(keys);
    gtk<void (*)(void*)>("gdk_event_put")(event);
    gtk<void (*)(void*)>("gdk_event_free")(event);
    EXPECT_EQ(sim.pending_key_presses(), 1);
    EXPECT_TRUE(sim.sent().empty()) << "the key press is handled after the call returns";
    sim.run_key_presses();
    ASSERT_EQ(sim.sent().size(), 1u);
    EXPECT_EQ(sim.sent()[0].line, "PRIVMSG #chan :hello world");
    EXPECT_EQ(chan.inputbox, "");

    gtk<void (*)()>("gdk_beep")();
    EXPECT_EQ(sim.beeps(), 1);
}

TEST(Standins, InputBoxIsFoundInTheTabsWindowAndActivated)
{
    Sim sim;
    Server& net = sim.add_server("irc.test.net", "me");
    Context& chan = sim.channel(net, "#chan");
    Context& other = sim.channel(net, "#other");
    sim.focus(other);
    chan.inputbox = "/echo ";
    xchat_plugin* ph = sim.attach("probe", &chan);
    void* window = const_cast<char*>(ph->xchat_get_info(ph, "win_ptr"));
    ASSERT_NE(window, nullptr);
    auto is_a = gtk<int (*)(void*, unsigned long)>("g_type_check_instance_is_a");
    unsigned long entry = gtk<unsigned long (*)()>("gtk_entry_get_type")();
    ASSERT_TRUE(is_a(window, gtk<unsigned long (*)()>("gtk_container_get_type")()));

    struct Found {
        decltype(is_a) check;
        unsigned long entry;
        std::vector<void*> boxes;
    } found{is_a, entry, {}};
    gtk<void (*)(void*, void (*)(void*, void*), void*)>("gtk_container_forall")(
        window,
        [](void* widget, void* data) {
            auto* f = static_cast<Found*>(data);
            std::string name = gtk<const char* (*)(void*)>("gtk_widget_get_name")(widget);
            if (f->check(widget, f->entry) && name == "xchat-inputbox") f->boxes.push_back(widget);
        },
        &found);
    ASSERT_EQ(found.boxes.size(), 2u) << "the topic box and the input box";
    void* box = found.boxes.back();
    int at = gtk<int (*)(void*)>("gtk_editable_get_position")(box);
    gtk<void (*)(void*, const char*, int, int*)>("gtk_editable_insert_text")(box, "typed", 5, &at);
    EXPECT_EQ(chan.inputbox, "/echo typed") << "the tab of the plug-in's context, not the focused one";
    gtk<unsigned long (*)(void*, const char*, ...)>("g_signal_emit_by_name")(box, "activate");
    EXPECT_EQ(sim.count_printed("typed"), 1) << "Enter runs the text at once";
    EXPECT_EQ(chan.inputbox, "");
}

TEST(Standins, ClockMovesWhileACallRuns)
{
    Sim sim;
    auto now = reinterpret_cast<time_t (*)()>(dlsym(RTLD_DEFAULT, "quibo_hostsim_now"));
    ASSERT_NE(now, nullptr);
    sim.on_clock_read([&] { sim.move_clock(0.5); });  // every read finds half a second gone
    time_t start = now();
    int reads = 1;
    while (now() - start < 3) ++reads;  // a scan bounded by time ends by itself
    EXPECT_EQ(reads, 5);
    EXPECT_EQ(sim.clock_reads(), 6);
    sim.on_clock_read({});
    time_t stopped = now();
    EXPECT_EQ(now(), stopped);

    sim.type(*sim.add_server("irc.test.net", "me").tab, "/TIMER 1 ECHO due");
    sim.move_clock(5);
    EXPECT_EQ(sim.count_printed("due"), 0) << "moving the clock inside a call runs no timer";
    sim.advance(0);
    EXPECT_EQ(sim.count_printed("due"), 1);
}

}  // namespace
