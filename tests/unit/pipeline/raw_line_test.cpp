// The raw-line hook's own decisions, against the simulated client.
#include "capture.h"
#include "file_text.h"
#include "hostsim.h"

#include "handlers/handlers.h"
#include "host/host.h"
#include "host/paths.h"
#include "pipeline/parser.h"
#include "pipeline/pipeline.h"
#include "settings/settings.h"

#include <gtest/gtest.h>


using namespace hostsim;

namespace {

class RawLine : public testing::Test {
protected:
    void SetUp() override
    {
        home.make_dir(".xchat2/quiboscript");
        quibo_paths_resolve();
        plugin_install(std::make_unique<Plugin>(sim.attach("raw"), "test", "", "", nullptr));
        update_session(nullptr);
        sess = session_of(chan.handle());
        iFlagLogFile = 1;
    }
    void TearDown() override
    {
        plugin_install(nullptr);
        iFlagLogFile = 0;
        sFlagEndWhoCloneScanning = 0;
        caPathLogFile.clear();
    }
    std::string server_log() const { return read_file(home.path() + "/.xchat2/quiboscript/irc.test.net.log"); }
    std::string killer_log() const { return read_file(home.path() + "/.xchat2/quiboscript/private_killer.log"); }

    TempHome home;
    Sim sim;
    Server& net = sim.add_server("irc.test.net", "me", "TestNet", "irc.test.net");
    Context& chan = sim.channel(net, "#chan");
    HostSession* sess = nullptr;
};

TEST_F(RawLine, TheLogFileIsNamedAfterTheServerAndTheZombieSessionIsNotParsed)
{
    std::string line = "PING :irc.test.net";
    EXPECT_EQ(quibo_in(sess, "irc.test.net", line), LineVerdict::Pass);
    EXPECT_EQ(caPathLogFile, home.path() + "/.xchat2/quiboscript/irc.test.net.log");
    EXPECT_NE(server_log().find("DISCARDED: "), std::string::npos);
    std::string zombie_line = ":a!u@h PRIVMSG #QuIbOsCrIpT :not for us";
    EXPECT_EQ(quibo_in(zombie_session(), nullptr, zombie_line), LineVerdict::Pass);
    EXPECT_EQ(caPathLogFile, home.path() + "/.xchat2/quiboscript/quibo.log");
    EXPECT_EQ(read_file(caPathLogFile), "");
}

TEST_F(RawLine, TheLastPrivateTextIsKeptAndForgottenOnTheNextOtherLine)
{
    std::string privmsg = ":a!u@h PRIVMSG #chan :some words : with colons";
    quibo_in(sess, "irc.test.net", privmsg);
    EXPECT_EQ(psLastMessageParsed, "some words : with colons");
    std::string join = ":a!u@h JOIN #chan";
    quibo_in(sess, "irc.test.net", join);
    EXPECT_EQ(psLastMessageParsed, "");
}

TEST_F(RawLine, DuringAWhoScanNoticesAndInvitationsOfUnknownSendersPassUnasked)
{
    sFlagEndWhoCloneScanning = 1;
    std::string notice = ":stranger!s@h NOTICE me :hello";
    std::string invite = ":stranger!s@h INVITE me :#room";
    EXPECT_EQ(quibo_in(sess, "irc.test.net", notice), LineVerdict::Pass);
    EXPECT_EQ(quibo_in(sess, "irc.test.net", invite), LineVerdict::Pass);
    EXPECT_EQ(killer_log(), "");
    std::string privmsg = ":stranger!s@h PRIVMSG me :hello";
    EXPECT_EQ(quibo_in(sess, "irc.test.net", privmsg), LineVerdict::Eat);
    EXPECT_TRUE(privmsg.empty());
    EXPECT_NE(killer_log().find("stranger (s@h) = hello"), std::string::npos);
}

TEST_F(RawLine, OnlyMessagesAddressedToUsFromAUserAreGuarded)
{
    // Another target, a sender hidden in the text, a lone colon: all pass.
    for (std::string line : std::vector<std::string>{":stranger!s@h PRIVMSG someone :hi", ":server PRIVMSG me :a!b@c",
                                                     ":!@ PRIVMSG me :x", ":", ": PRIVMSG me :x"}) {
        EXPECT_EQ(quibo_in(sess, "irc.test.net", line), LineVerdict::Pass) << line;
    }
    EXPECT_EQ(killer_log(), "");
    // The target is compared without regard to case.
    std::string upper = ":stranger!s@h PRIVMSG ME :hi";
    EXPECT_EQ(quibo_in(sess, "irc.test.net", upper), LineVerdict::Eat);
}

}  // namespace
