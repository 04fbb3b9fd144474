// The plug-in's objects linked into the simulated client, so that handler tests
// drive raw server lines through the client's hook and then look into the user
// database, the command queue and the settings directly.
#pragma once

#include "capture.h"
#include "linked_load.h"
#include "hostsim.h"
#include "host/host.h"
#include "queue/queue.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"
#include "utilities.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>


namespace handler_test {

// "irc.test.net" (network TestNet) where we are "me", in #quibo, focused.
class HandlerScenario : public testing::Test {
protected:
    HandlerScenario() : net(sim.add_server("irc.test.net", "me", "TestNet")), chan(sim.channel(net, "#quibo"))
    {
        install_language_file(home, "quibo_italiano.msg");
        sim.add_user(chan, "me", "me@local.host", "@");
        sim.focus(chan);
        handle = load_linked_plugin(sim, chan);
        iFlagEnableEvent = 1;
        iFlagErrorMessage = 1;
        iFlagBeep = 0;
        ChatUser* me = record("irc.test.net", nullptr, "me", "me@local.host");
        me->usSpecial = 1;
        sim.clear_records();
    }

    ~HandlerScenario() override
    {
        hostsim::StdoutCapture quiet;
        xchat_plugin_deinit(handle);
        FlushDatabases();
        SetCurrentDatabase(0);
        quiet.stop();
        sim.detach(handle);
        EXPECT_EQ(sim.faults(), std::vector<std::string>{}) << "no misuse of the client's interface";
    }

    static ChatUser* record(const char* server, const char* channel, const char* nick, const char* address,
                            const char* info = nullptr)
    {
        ChatUserPtr user = CreateUser(server, channel, nick, address, info);
        ChatUser* kept = user.get();
        EXPECT_EQ(InsertUser(user), 1);
        IsDatabaseChanged();  // a search stops at a change it has not seen
        return kept;
    }

    // A raw line from the server, with what the plug-in wrote on standard output kept aside.
    void line(const std::string& text)
    {
        hostsim::StdoutCapture quiet;
        sim.server_line(net, text);
        stdout_text += quiet.stop();
    }

    // The client's away mark as the plug-in reads it (its server values are read when the mirror is rebuilt).
    void set_away(bool away)
    {
        net.away = away;
        iFlagUpdateSessionInibition = 0;
        update_session(nullptr);
    }

    // Commands the plug-in issued, as the client received them.
    std::vector<std::string> issued() const
    {
        std::vector<std::string> texts;
        for (const hostsim::CommandRecord& command : sim.commands())
            if (command.origin == hostsim::Origin::Plugin) texts.push_back(command.text);
        return texts;
    }

    // Message `number` of the language file filled as the plug-in fills it, without its leading "/".
    static std::string message(int number, ...)
    {
        va_list args;
        va_start(args, number);
        std::string text = vformat(GetMessage(number), args);
        va_end(args);
        if (!text.empty() && text.front() == '/') text.erase(0, 1);
        return text;
    }

    hostsim::TempHome home;
    hostsim::Sim sim;
    hostsim::Server& net;
    hostsim::Context& chan;
    xchat_plugin* handle = nullptr;
    std::string stdout_text;
};

}  // namespace handler_test
