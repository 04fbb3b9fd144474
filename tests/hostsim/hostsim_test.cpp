// Checks of the simulated client itself, where a mistake would mislead every plug-in test.
#include "hostsim.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace hostsim;

namespace {

struct Seen {
    std::vector<std::vector<std::string>> words;  // word[0..5] of each call
    std::vector<std::string> word_eol;            // word_eol[1] of each call (commands and server lines)
    int result = XCHAT_EAT_NONE;
};

std::vector<std::string> first_words(char* word[])
{
    std::vector<std::string> out;
    for (int i = 0; i < 6; ++i) out.emplace_back(word[i] ? word[i] : "(null)");
    return out;
}

int record_cmd(char* word[], char* word_eol[], void* data)
{
    auto* seen = static_cast<Seen*>(data);
    seen->words.push_back(first_words(word));
    seen->word_eol.emplace_back(word_eol[1]);
    return seen->result;
}

int record_print(char* word[], void* data)
{
    auto* seen = static_cast<Seen*>(data);
    seen->words.push_back(first_words(word));
    return seen->result;
}

class SimTest : public ::testing::Test {
protected:
    Sim sim;
    Server& net = sim.add_server("irc.test.net", "me", "TestNet");
    Context& chan = sim.channel(net, "#chan");
    xchat_plugin* ph = sim.attach("probe");
};

TEST_F(SimTest, WordArraysAreBuiltAsTheClientBuildsThem)
{
    Seen seen;
    ph->xchat_hook_command(ph, "TRY", XCHAT_PRI_NORM, record_cmd, nullptr, &seen);
    sim.type(chan, "/TRY one \"two three\"  four");
    ASSERT_EQ(seen.words.size(), 1u);
    EXPECT_EQ(seen.words[0], (std::vector<std::string>{"", "TRY", "one", "two three", "four", ""}));
    EXPECT_EQ(seen.word_eol[0], "TRY one \"two three\"  four");

    std::vector<std::string> last;  // word[31], word_eol[31], and whether any slot up to 31 was null
    ph->xchat_hook_command(
        ph, "ALL", XCHAT_PRI_NORM,
        [](char* word[], char* word_eol[], void* data) -> int {
            auto* out = static_cast<std::vector<std::string>*>(data);
            bool null_slot = false;
            for (int i = 0; i < 32; ++i) null_slot = null_slot || !word[i] || !word_eol[i];
            *out = {word[31], word_eol[31], null_slot ? "null" : "ok"};
            return XCHAT_EAT_ALL;
        },
        nullptr, &last);
    std::string many = "/ALL";
    for (int i = 0; i < 40; ++i) many += " w" + std::to_string(i);
    sim.type(chan, many);
    ASSERT_EQ(last.size(), 3u);
    EXPECT_EQ(last[0], "w29");
    EXPECT_EQ(last[1].substr(0, 8), "w29 w30 ");
    EXPECT_EQ(last[2], "ok");
    EXPECT_TRUE(sim.eaten("ALL"));
    EXPECT_FALSE(sim.reached_client("ALL"));
}

TEST_F(SimTest, ServerHooksSeeTheRawLineAndRunInPriorityOrder)
{
    std::vector<std::string> order;
    struct Probe {
        std::vector<std::string>* order;
        std::string name;
        int result;
    };
    auto cb = [](char* word[], char* word_eol[], void* data) -> int {
        auto* p = static_cast<Probe*>(data);
        p->order->push_back(p->name + ":" + word[0] + ":" + word_eol[1]);
        return p->result;
    };
    Probe low{&order, "low", XCHAT_EAT_NONE}, raw{&order, "raw", XCHAT_EAT_NONE}, named{&order, "named", XCHAT_EAT_XCHAT};
    ph->xchat_hook_server(ph, "RAW LINE", XCHAT_PRI_LOW, cb, &low);
    ph->xchat_hook_server(ph, "RAW LINE", XCHAT_PRI_NORM, cb, &raw);
    ph->xchat_hook_server(ph, "privmsg", XCHAT_PRI_NORM, cb, &named);  // same priority, hooked later: runs first

    EXPECT_TRUE(sim.server_line(net, ":bob!b@host PRIVMSG #chan :hi"));
    EXPECT_EQ(order, (std::vector<std::string>{"named:PRIVMSG::bob!b@host PRIVMSG #chan :hi",
                                               "raw:PRIVMSG::bob!b@host PRIVMSG #chan :hi",
                                               "low:PRIVMSG::bob!b@host PRIVMSG #chan :hi"}));
    EXPECT_EQ(sim.count_events("Channel Message"), 0) << "an eaten line is not handled by the client";

    named.result = XCHAT_EAT_NONE;
    EXPECT_FALSE(sim.server_line(net, ":bob!b@host PRIVMSG #chan :again"));
    EXPECT_EQ(sim.count_events("Channel Message"), 1);
}

TEST_F(SimTest, ListCursorFollowsTheClient)
{
    sim.set_abort_on_fault(false);
    sim.add_user(chan, "zed", "z@h");
    sim.add_user(chan, "amy", "a@h", "+");
    sim.add_user(chan, "op", "o@h", "@");
    ph->xchat_set_context(ph, chan.handle());

    xchat_list* users = ph->xchat_list_get(ph, "users");
    ASSERT_NE(users, nullptr);
    EXPECT_EQ(ph->xchat_list_str(ph, users, "nick"), nullptr);  // before the first list_next
    EXPECT_EQ(sim.faults().size(), 1u);

    std::vector<std::string> nicks;
    while (ph->xchat_list_next(ph, users)) nicks.emplace_back(ph->xchat_list_str(ph, users, "nick"));
    EXPECT_EQ(nicks, (std::vector<std::string>{"op", "amy", "zed"}));
    EXPECT_EQ(ph->xchat_list_next(ph, users), 0);
    EXPECT_EQ(sim.open_lists(), 1);
    ph->xchat_list_free(ph, users);
    EXPECT_EQ(sim.open_lists(), 0);

    ph->xchat_list_next(ph, users);  // after list_free
    ph->xchat_list_free(ph, users);  // twice
    EXPECT_EQ(sim.faults().size(), 3u);

    xchat_list* channels = ph->xchat_list_get(ph, "channels");
    ASSERT_EQ(ph->xchat_list_next(ph, channels), 1);  // newest tab first
    EXPECT_STREQ(ph->xchat_list_str(ph, channels, "channel"), "#chan");
    EXPECT_EQ(reinterpret_cast<const void*>(ph->xchat_list_str(ph, channels, "context")), chan.handle());
    EXPECT_STREQ(ph->xchat_list_str(ph, channels, "network"), "TestNet");
    EXPECT_EQ(ph->xchat_list_int(ph, channels, "type"), 2);
    EXPECT_EQ(ph->xchat_list_int(ph, channels, "users"), 3);
    EXPECT_EQ(ph->xchat_list_str(ph, channels, "no such field"), nullptr);
    EXPECT_EQ(ph->xchat_list_int(ph, channels, "no such field"), -1);
    ph->xchat_list_free(ph, channels);
    EXPECT_EQ(ph->xchat_list_get(ph, "no such list"), nullptr);
    EXPECT_EQ(sim.list_gets("channels"), 1);
}

TEST_F(SimTest, TimerCommandParsesAsTheClient)
{
    sim.type(chan, "/TIMER -refnum 7 -repeat 2 3 ECHO tick");
    sim.type(chan, "/TIMER -refnum 7 10 ECHO other");
    sim.type(chan, "/TIMER 1.9 ECHO whole seconds");
    ASSERT_EQ(sim.timers().size(), 3u);
    EXPECT_EQ(sim.timers()[2].timeout_ms, 1000);
    EXPECT_EQ(sim.timers()[2].ref, 8);

    sim.advance(1);
    EXPECT_EQ(sim.count_printed("whole seconds"), 1);
    sim.advance(5);  // t=6: "tick" at 3 and 6, then gone
    EXPECT_EQ(sim.count_printed("tick"), 2);
    ASSERT_EQ(sim.timers().size(), 1u);

    sim.type(chan, "/TIMER -delete 7 -quiet");  // -quiet only counts before -delete
    EXPECT_EQ(sim.count_printed("Timer 7 deleted.\n"), 1);
    sim.type(chan, "/TIMER -quiet -delete 7");
    EXPECT_EQ(sim.count_printed("No such ref number found.\n"), 0);
    sim.type(chan, "/TIMER -delete 7");
    EXPECT_EQ(sim.count_printed("No such ref number found.\n"), 1);

    sim.type(chan, "/TIMER -refnum 9 -repeat 0 2 ECHO forever");
    sim.advance(10);
    EXPECT_EQ(sim.count_printed("forever"), 5);
    sim.close(chan);  // a timer whose tab is gone is dropped when it comes due
    sim.advance(2);
    EXPECT_TRUE(sim.timers().empty());
}

TEST_F(SimTest, ATimerArmedByATimerFiresWithinTheSameAdvance)
{
    // A command queue re-arms its timer from the timer's own command.
    sim.type(chan, "/TIMER -refnum 2255 5 TIMER -refnum 2255 5 ECHO second");
    sim.advance(4);
    EXPECT_EQ(sim.timers().size(), 1u);
    sim.advance(6);  // t=5 arms the next for t=10
    EXPECT_EQ(sim.count_printed("second"), 1);
    EXPECT_TRUE(sim.timers().empty());
}

TEST_F(SimTest, SettextFillsTheInputBoxThatGetInfoReads)
{
    sim.type(chan, "/SETTEXT hello  there");
    EXPECT_EQ(chan.inputbox, "hello  there");
    ph->xchat_set_context(ph, chan.handle());
    EXPECT_STREQ(ph->xchat_get_info(ph, "inputbox"), "hello  there");
    sim.type(chan, "/SETCURSOR 3");
    sim.type(chan, "/SETTEXT");
    EXPECT_EQ(chan.inputbox, "");
    EXPECT_EQ(sim.sent().size(), 0u) << "both are the client's own commands";
}

TEST_F(SimTest, CommandsReenterHooksAndEatingStopsTheClient)
{
    Seen seen;
    ph->xchat_hook_command(ph, "JOIN", XCHAT_PRI_NORM, record_cmd, nullptr, &seen);
    ph->xchat_command(ph, "join #other");  // a plug-in's own command goes through the hooks too
    ASSERT_EQ(seen.words.size(), 1u);
    EXPECT_EQ(sim.count_sent("JOIN #other"), 1);
    EXPECT_EQ(sim.count_issued("join #other"), 1);

    seen.result = XCHAT_EAT_ALL;
    sim.type(chan, "/join #third");
    EXPECT_EQ(sim.count_sent("JOIN #third"), 0);
    EXPECT_FALSE(sim.commands().back().reached_client);

    sim.set_abort_on_fault(false);
    ph->xchat_hook_command(
        ph, "LOOP", XCHAT_PRI_NORM,
        [](char*[], char*[], void* data) -> int {
            auto* p = static_cast<xchat_plugin*>(data);
            p->xchat_command(p, "LOOP");
            return XCHAT_EAT_ALL;
        },
        nullptr, ph);
    sim.type(chan, "/LOOP");
    ASSERT_EQ(sim.faults().size(), 1u);
    EXPECT_EQ(sim.faults()[0], "Too many recursive usercommands, aborting.");

    net.connected = false;
    sim.type(chan, "/NOSUCHCOMMAND");
    EXPECT_EQ(sim.count_printed("Unknown Command. Try /help\n"), 1);
}

TEST_F(SimTest, PreferencesAnswerToOneClientsNames)
{
    const char* text = nullptr;
    int value = -1;
    EXPECT_EQ(ph->xchat_get_prefs(ph, "tab_new_to_front", &text, &value), 2);
    EXPECT_EQ(ph->xchat_get_prefs(ph, "gui_tab_newtofront", &text, &value), 0);
    EXPECT_EQ(ph->xchat_get_prefs(ph, "sound_command", &text, &value), 1);
    EXPECT_EQ(ph->xchat_get_prefs(ph, "tab_server", &text, &value), 3);

    sim.set_naming(Naming::HexChat);
    EXPECT_EQ(ph->xchat_get_prefs(ph, "tab_new_to_front", &text, &value), 0);
    EXPECT_EQ(ph->xchat_get_prefs(ph, "gui_tab_newtofront", &text, &value), 2);
    EXPECT_EQ(ph->xchat_get_prefs(ph, "sound_command", &text, &value), 0);

    sim.type(chan, "/SET gui_tab_newtofront 1");
    EXPECT_EQ(sim.pref_int("tab_new_to_front"), 1);
}

TEST_F(SimTest, PrivateMessagesOpenADialogAsConfigured)
{
    Seen seen;
    ph->xchat_hook_print(ph, "Private Message to Dialog", XCHAT_PRI_NORM, record_print, &seen);
    sim.server_line(net, ":bob!b@h PRIVMSG me :hello");
    Context* dialog = sim.find_tab(net, "bob");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->type, Context::Dialog);
    ASSERT_EQ(seen.words.size(), 1u);
    EXPECT_EQ(seen.words[0], (std::vector<std::string>{"Private Message to Dialog", "bob", "hello", "", "", ""}));
    EXPECT_EQ(sim.texts_in(*dialog), (std::vector<std::string>{"<bob>\thello"}));

    sim.set_pref("gui_auto_open_dialog", 0);
    sim.server_line(net, ":eve!e@h PRIVMSG me :psst");
    EXPECT_EQ(sim.find_tab(net, "eve"), nullptr);
    EXPECT_EQ(sim.count_events("Private Message"), 1);
}

TEST_F(SimTest, ThePluginFindsTheSimulatedClock)
{
    auto found = reinterpret_cast<time_t (*)()>(dlsym(RTLD_DEFAULT, "quibo_hostsim_now"));
    ASSERT_NE(found, nullptr) << "the test program must export its symbols (-rdynamic)";
    EXPECT_EQ(found(), Sim::kStartTime);
    sim.advance(90);
    EXPECT_EQ(found(), Sim::kStartTime + 90);
}

TEST_F(SimTest, AClosedTabsAddressCanComeBackAsANewTab)
{
    xchat_context* old = chan.handle();
    sim.close(chan);
    EXPECT_EQ(ph->xchat_set_context(ph, old), 0);
    Context& again = sim.reopen(chan, "#newer", Context::Channel);
    EXPECT_EQ(again.handle(), old);
    EXPECT_TRUE(again.open);
    EXPECT_TRUE(again.users.empty());
    EXPECT_EQ(again.channel, "#newer");
    EXPECT_EQ(sim.find_tab(net, "#newer"), &again);
    EXPECT_EQ(ph->xchat_set_context(ph, old), 1);
    EXPECT_TRUE(sim.faults().empty());

    sim.set_abort_on_fault(false);
    sim.reopen(again, "#open", Context::Channel);  // still open: refused
    EXPECT_EQ(again.channel, "#newer");
    EXPECT_EQ(sim.faults().size(), 1u);
}

TEST_F(SimTest, TheNamedInterfaceCallThrowsUntilToldOtherwise)
{
    sim.throw_in("get_context");
    EXPECT_THROW(ph->xchat_get_context(ph), std::runtime_error);
    EXPECT_NO_THROW(ph->xchat_print(ph, "still printed"));
    EXPECT_EQ(sim.count_printed("still printed"), 1);
    sim.throw_in({});
    EXPECT_NO_THROW(ph->xchat_get_context(ph));
}

}  // namespace
