// The script language against the simulated client: the events fixture (which
// hands queued /QUIBO commands back to the plug-in) with the database on, no
// user variables and one user, "peer", in the channel and in the database.
#pragma once

#include "events_fixture.h"

#include "script/functions.h"
#include "script/script.h"
#include "users/chatuser.h"

#include <sys/stat.h>

class ScriptTest : public EventsTest {
protected:
    void SetUp() override
    {
        EventsTest::SetUp();
        iFlagEnableDatabase = 1;
        iFlagErrorMessage = 1;
        iFlagErrorMessage_internal = 1;
        flush_user_variables();
        SetCurrentDatabase(0);
        FlushUser();
        peer = &sim.add_user(*chan, "peer", "peer@example.org", "+");
        extern_update_userlist();
    }

    void TearDown() override
    {
        flush_user_variables();
        FlushUser();
        iShellTimeLimitMs = 10000;
        psShellProgram = "/bin/sh";
        EventsTest::TearDown();
    }

    // A database record of `nick` on the test server.
    void remember(const char* nick, const char* address, const char* info, const char* last_message)
    {
        ChatUserPtr user = CreateUser("irc.test.net", "#quibo", nick, address, info);
        user->set_last_message(last_message);
        ASSERT_EQ(InsertUser(user), 1);
    }

    std::string resolve(const std::string& text, int flag = 1)
    {
        g_sess = here();
        return resolve_expression(text.c_str(), flag);
    }

    hostsim::User* peer = nullptr;

    bool exists(const std::string& path) const
    {
        struct stat info{};
        return stat(path.c_str(), &info) == 0;
    }
};
