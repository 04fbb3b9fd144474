#include "host/host.h"
#include "output/output.h"
#include "settings/settings.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class GetContextTest : public testing::Test {
protected:
    void SetUp() override
    {
        saved_flag = iFlagCurrentTab;
        iFlagCurrentTab = 0;
        libera.servername = "irc.Libera.chat";
        oftc.servername = "irc.oftc.net";
        add(&libera, "irc.libera.chat");
        add(&libera, "#Quibo");
        add(&oftc, "#other");
        add(&libera, "#more");
        add(&oftc, "#shared");
        sess_list.push_back(&zombie);
        current_tab = &focused;
    }
    void TearDown() override
    {
        iFlagCurrentTab = saved_flag;
        sess_list.clear();
        current_tab = nullptr;
    }
    HostSession* add(HostServer* server, const char* channel)
    {
        auto& sess = sessions.emplace_back(std::make_unique<HostSession>());
        sess->server = server;
        sess->channel = channel;
        sess_list.push_back(sess.get());
        return sess.get();
    }
    HostSession* at(size_t i) { return sessions[i].get(); }

    int saved_flag = 1;
    HostServer libera;
    HostServer oftc;
    HostSession zombie;  // no server
    HostSession focused;
    std::vector<std::unique_ptr<HostSession>> sessions;
};

}  // namespace

TEST_F(GetContextTest, CurrentTabFlagOrNoNamesGiveTheFocusedWindow)
{
    EXPECT_EQ(GetContext(nullptr, nullptr), &focused);
    EXPECT_EQ(GetContext("", ""), &focused);
    iFlagCurrentTab = 1;
    EXPECT_EQ(GetContext("irc.libera.chat", "#quibo"), &focused);
}

TEST_F(GetContextTest, ServerAndChannelMatchWithoutRegardToCase)
{
    EXPECT_EQ(GetContext("IRC.LIBERA.CHAT", "#QUIBO"), at(1));
    EXPECT_EQ(GetContext("irc.oftc.net", "#other"), at(2));
}

TEST_F(GetContextTest, ServerWithoutChannelGivesItsLastSession)
{
    EXPECT_EQ(GetContext("irc.libera.chat", "#nowhere"), at(3));
    EXPECT_EQ(GetContext("irc.libera.chat", nullptr), at(3));
    EXPECT_EQ(GetContext("irc.oftc.net", ""), at(4));
}

TEST_F(GetContextTest, ChannelOnAnotherServerStillMatches)
{
    EXPECT_EQ(GetContext("irc.unknown.net", "#Other"), at(2));
    EXPECT_EQ(GetContext(nullptr, "#shared"), at(4));
    // A channel on another server wins when met before the server's own sessions end.
    EXPECT_EQ(GetContext("irc.libera.chat", "#other"), at(2));
}

TEST_F(GetContextTest, StaleSessionsAndNoMatchFallBackToTheFocusedWindow)
{
    EXPECT_EQ(GetContext("irc.unknown.net", "#none"), &focused);
    EXPECT_EQ(GetContext(nullptr, "#QuIbOsCrIpT Zombie"), &focused);
}
