// The event log, the network name and the store of former nicknames, against
// the simulated client.
#include "capture.h"
#include "file_text.h"
#include "hostsim.h"

#include "handlers/handlers.h"
#include "host/host.h"
#include "host/paths.h"
#include "host/trace.h"
#include "output/output.h"
#include "pipeline/parser.h"
#include "pipeline/sessions.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

using namespace hostsim;

namespace {

std::vector<std::string> fields_of(const std::string& line)
{
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

class Sessions : public testing::Test {
protected:
    void SetUp() override
    {
        home.make_dir(".xchat2/quiboscript");
        quibo_paths_resolve();
        sim.add_user(chan, "me", "me@my.host", "@");
        plugin_install(std::make_unique<Plugin>(sim.attach("sessions"), "test", "", "", nullptr));
        update_session(nullptr);
        sess = session_of(chan.handle());
    }
    void TearDown() override
    {
        WriteLog(nullptr, nullptr);
        parse_vars() = {};
        sFlagKick = 0;
        FlushSessionMemory();
        plugin_install(nullptr);
    }
    // The lines of quibo.log, each split at its tabs (the text before the first tab is the stamp).
    std::vector<std::vector<std::string>> event_log() const
    {
        std::istringstream in(read_file(home.path() + "/.xchat2/quiboscript/quibo.log"));
        std::vector<std::vector<std::string>> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(fields_of(line));
        return lines;
    }

    TempHome home;
    Sim sim;
    Server& net = sim.add_server("irc.test.net", "me", "TestNet", "irc.host.net");
    Context& chan = sim.channel(net, "#chan");
    HostSession* sess = nullptr;
};

TEST_F(Sessions, TheEventLogHasTwelveFieldsAndAKickNamesTheKickedUser)
{
    ParseVars& vars = parse_vars();
    vars.pSess = sess;
    vars.tCurrentTime = 1000000000;
    vars.psCurrentServerName = "irc.test.net";
    vars.psChannelName = "#chan";
    vars.psLocalUserNick = "victim";
    vars.psLocalUserAddress = "v@victim.host";
    vars.psRemoteUserNick = "op";
    vars.psRemoteUserAddress = "o@op.host";
    vars.psChannelUsers = "me victim op";
    AdvancedLog("JOIN");
    sFlagKick = 1;
    vars.psServerName = "irc.other.net";
    vars.psMessageData = "bye";
    AdvancedLog("KICK");
    AdvancedLog("");

    const auto lines = event_log();
    ASSERT_EQ(lines.size(), 2u);
    ASSERT_EQ(lines[0].size(), 13u);
    EXPECT_EQ(lines[0][1], "JOIN");
    EXPECT_EQ(lines[0][2], ctime_text(1000000000));
    EXPECT_EQ(lines[0][3], "irc.host.net");
    EXPECT_EQ(lines[0][4], "irc.test.net");
    EXPECT_EQ(lines[0][5], "me");
    EXPECT_EQ(lines[0][6], "me@my.host");
    EXPECT_EQ(lines[0][7], "#chan");
    EXPECT_EQ(lines[0][10], "op");
    EXPECT_EQ(lines[0][11], "o@op.host");
    EXPECT_EQ(lines[0][12], "me victim op");
    ASSERT_EQ(lines[1].size(), 13u);
    EXPECT_EQ(lines[1][4], "irc.other.net");
    EXPECT_EQ(lines[1][10], "victim");
    EXPECT_EQ(lines[1][11], "v@victim.host");
    EXPECT_EQ(lines[1][12], "bye");
}

TEST_F(Sessions, TheEventLogOfTheZombieLeavesTheServerFieldsEmpty)
{
    parse_vars().pSess = zombie_session();
    parse_vars().psMessageData = "line";
    AdvancedLog("OTHER");
    const auto lines = event_log();
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].size(), 13u);
    EXPECT_EQ(lines[0][3], "");
    EXPECT_EQ(lines[0][5], "");
    EXPECT_EQ(lines[0][6], "");
    EXPECT_EQ(lines[0][12], "line");
}

TEST_F(Sessions, TheNetworkNameFallsBackToTheServersHostName)
{
    EXPECT_EQ(get_network_name(sess), "TestNet");
    Server& bare = sim.add_server("irc.bare.net", "me", "", "bare.host");
    Context& bare_chan = sim.channel(bare, "#bare");
    update_session(nullptr);
    EXPECT_EQ(get_network_name(session_of(bare_chan.handle())), "bare.host");
    EXPECT_EQ(get_network_name(zombie_session()), "");
    EXPECT_EQ(get_network_name(nullptr), "");
}

TEST_F(Sessions, FormerNicknamesAreKeptNewestFirstPerServer)
{
    Server& other = sim.add_server("irc.other.net", "me");
    sim.channel(other, "#o");
    update_session(nullptr);
    ASSERT_EQ(serv_list.size(), 2u);
    HostServer* first = serv_list[0];
    HostServer* second = serv_list[1];
    EXPECT_EQ(GetNicknameForServer(first), nullptr);
    EXPECT_EQ(AddNicknameForServer(nullptr, "x"), nullptr);
    EXPECT_EQ(AddNicknameForServer(first, nullptr), nullptr);
    EXPECT_STREQ(AddNicknameForServer(first, "old1"), "old1");
    EXPECT_STREQ(AddNicknameForServer(second, "other"), "other");
    EXPECT_STREQ(AddNicknameForServer(first, "old2"), "old2");
    EXPECT_STREQ(GetNicknameForServer(first), "old2");
    EXPECT_STREQ(GetNicknameForServer(second), "other");
    EXPECT_EQ(old_nickname_count(), 2u);
}

TEST_F(Sessions, TheStoreOfFormerNicknamesStaysBoundedAndDropsTheOldestServer)
{
    std::vector<HostServer> servers(kMaxOldNicknames + 10);
    for (int round = 0; round < 3; ++round)
        for (size_t i = 0; i < servers.size(); ++i)
            AddNicknameForServer(&servers[i], ("nick" + std::to_string(round) + "_" + std::to_string(i)).c_str());
    EXPECT_EQ(old_nickname_count(), kMaxOldNicknames);
    EXPECT_EQ(GetNicknameForServer(&servers[0]), nullptr);
    EXPECT_STREQ(GetNicknameForServer(&servers.back()), ("nick2_" + std::to_string(servers.size() - 1)).c_str());
    EXPECT_STREQ(GetNicknameForServer(&servers[10]), "nick2_10");
    FlushSessionMemory();
    EXPECT_EQ(old_nickname_count(), 0u);
}

TEST_F(Sessions, GetSessionTracesItsArgumentsAndTheZombie)
{
    DebugPluginRingClear();
    HostSession* zombie = GetSession(nullptr, "me", nullptr, "#chan", "irc.test.net");
    const std::vector<std::string> ring = DebugPluginRingLines();
    std::string all;
    for (const std::string& line : ring) all += line + "\n";
    EXPECT_NE(all.find("BEGIN: GetSession(pDefaultSession = (nil), psLocalNickname = me, psRemoteNickname = empty, "
                       "psChannel = #chan, psServer = irc.test.net)"),
              std::string::npos)
        << all;
    EXPECT_NE(all.find("#QuIbOsCrIpT Zombie]"), std::string::npos) << all;
    char end[64];
    snprintf(end, sizeof end, "END: GetSession() = %p", static_cast<void*>(zombie));
    EXPECT_NE(all.find(end), std::string::npos) << all;
}

}  // namespace
