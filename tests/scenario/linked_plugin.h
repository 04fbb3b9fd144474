// The plug-in's objects linked into the test and initialised in the simulated
// client: its operations are called directly and its output read back from
// the client.
#pragma once

#include "capture.h"
#include "linked_load.h"
#include "hostsim.h"
#include "host/host.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>


// One server "irc.test.net" (our nick "me") with the channel #chan, focused.
class LinkedPlugin : public testing::Test {
protected:
    LinkedPlugin()
        : net(sim.add_server("irc.test.net", "me", "TestNet", "irc.test.net")), chan(sim.channel(net, "#chan"))
    {
        install_language_file(home, "quibo_english.msg");
        install_language_file(home, "quibo_italiano.msg");
        sim.add_user(chan, "me", "me@local.host", "@");
        sim.focus(chan);
        handle = load_linked_plugin(sim, chan);
        FlushUser();
        IsDatabaseChanged();
        sim.clear_records();
    }

    ~LinkedPlugin() override
    {
        hostsim::StdoutCapture quiet;
        xchat_plugin_deinit(handle);
        FlushDatabases();
        SetCurrentDatabase(0);
        quiet.stop();
        sim.detach(handle);
    }

    HostSession* session(hostsim::Context& ctx)
    {
        iFlagUpdateSessionInibition = 0;
        update_session(nullptr);
        return session_of(ctx.handle());
    }

    static ChatUser* add(const char* channel, const char* nick, const char* address,
                         const char* server = "irc.test.net")
    {
        ChatUserPtr user = CreateUser(server, channel, nick, address, nullptr);
        ChatUser* kept = user.get();
        const int inserted = InsertUser(user);
        IsDatabaseChanged();
        return inserted ? kept : nullptr;
    }

    // What the plug-in printed since the records were last cleared, in order.
    std::vector<std::string> printed() const
    {
        std::vector<std::string> lines;
        for (const hostsim::Printed& p : sim.printed())
            if (p.origin == hostsim::Origin::Plugin)
                lines.push_back(!p.text.empty() && p.text.back() == '\n' ? p.text.substr(0, p.text.size() - 1) : p.text);
        return lines;
    }

    hostsim::TempHome home;
    hostsim::Sim sim;
    hostsim::Server& net;
    hostsim::Context& chan;
    xchat_plugin* handle = nullptr;
};
