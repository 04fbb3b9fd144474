// Sentinels against the simulated client: the settings fixture with an empty
// sentinel list, and helpers to add rules, offer events and read what the
// queue handed to the client.
#pragma once

#include "settings_fixture.h"

#include "events/events.h"
#include "pipeline/pipeline.h"
#include "queue/queue.h"

#include <fstream>
#include <sstream>

class EventsTest : public SettingsTest {
protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        FlushAllSentinel();
        FlushCommandInQueue();
        iFlagCurrentTab = 1;
        iFlagEventsManagerDebug = 0;
        // Queued /EVENT and /QUIBO commands come back to the plug-in as in the client.
        plugin().hook_command("EVENT", cb_event_command, nullptr, nullptr);
        plugin().hook_command("QUIBO", cb_quibo_command, nullptr, nullptr);
    }

    void TearDown() override
    {
        FlushAllSentinel();
        FlushCommandInQueue();
        SettingsTest::TearDown();
    }

    HostSession* here() { return session_of(chan->handle()); }

    int add(int repetitions, const std::string& kind, const std::string& condition, const std::string& command,
            uint32_t hidden = 0)
    {
        auto record = make_sentinel(repetitions, kind, condition, command, hidden);
        return AddSentinel(here(), record);
    }

    int offer(const char* kind, const char* data, const char* ru = "peer", const char* rhost = "peer@example.org",
              const char* channel = "#quibo", const char* server = "irc.test.net", const char* lu = "me")
    {
        return VerifyEvent(here(), kind, lu, ru, rhost, channel, server, data);
    }

    // The commands the queue hands to the client from now on, as the client receives them.
    std::vector<std::string> drained()
    {
        sim.clear_records();
        ExecCommandInQueue(0);
        return drained_so_far();
    }

    // The commands the plug-in issued since the records were last cleared.
    std::vector<std::string> drained_so_far() const
    {
        std::vector<std::string> texts;
        for (const auto& record : sim.commands())
            if (record.origin != hostsim::Origin::User && record.origin != hostsim::Origin::Client)
                texts.push_back(record.text);
        return texts;
    }

    std::string snt_path() const { return home.path() + "/.xchat2/quiboscript/quibo.snt"; }
    void write_snt(const std::string& content) const { home.write(".xchat2/quiboscript/quibo.snt", content); }

    static std::string read_file(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Every line printed since the last take, with its number's text formatted.
    bool printed_message(int number, auto... values)
    {
        return sim.count_printed(message(number, values...)) > 0;
    }
};
