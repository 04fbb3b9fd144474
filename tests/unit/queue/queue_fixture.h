// The queue against the simulated client: /QUIBO is hooked, so the queue's
// own client timer calls back into it as the simulated clock moves.
#pragma once

#include "settings_fixture.h"

#include "pipeline/pipeline.h"
#include "queue/queue.h"

#include <string>
#include <vector>

class QueueTest : public SettingsTest {
protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        reset_queue();
        quibo_hook = plugin().hook_command("QUIBO", cb_quibo_command, nullptr, nullptr);
    }

    void TearDown() override
    {
        plugin().unhook(&quibo_hook);
        reset_queue();
        SettingsTest::TearDown();
    }

    static void reset_queue()
    {
        pCmdQueue.clear();
        iObjectInQueue = 0;
        ssQueueLock = 0;
        sPriorityState = 0;
        iCommandStatus_CommandsQueue = 0;
        sFlagTimerLock = 0;
        sNoFloodWarning = 0;
        tPreviousCommand = 0;
        tPreviousTimer = 0;
        sQueueOnLoad = 0;
    }

    HostSession* here() { return session_of(chan->handle()); }

    void queue(const std::string& command, int priority = 0, int delay = 0)
    {
        InsertCommandInQueuePriorityTimed(here(), command, priority, delay);
    }

    // The commands waiting, in run order.
    static std::vector<std::string> queued()
    {
        std::vector<std::string> commands;
        for (const QueueEntry& entry : pCmdQueue) commands.push_back(entry.psCommand);
        return commands;
    }

    // What the queue ran, in order: the texts that ECHO commands printed.
    std::vector<std::string> echoed() const
    {
        std::vector<std::string> texts;
        for (const hostsim::CommandRecord& c : sim.commands())
            if (c.origin == hostsim::Origin::Plugin && (c.name == "echo" || c.name == "ECHO"))
                texts.push_back(c.text.substr(5));
        return texts;
    }

    // Queue timers the plug-in asked the client for.
    int timers_armed(int seconds) const
    {
        return sim.count_issued("TIMER -refnum 2255 " + std::to_string(seconds) + " quibo ExecCommandInQueue(0) ^");
    }

    void flood_control(bool on) { iFlagTextFloodOutgoing = on ? 1 : 0; }

    xchat_hook* quibo_hook = nullptr;
};
