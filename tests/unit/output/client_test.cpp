// Printing, client commands and the load-time sound check in the simulated client.
#include "capture.h"
#include "hostsim.h"

#include "host/host.h"
#include "host/paths.h"
#include "output/output.h"
#include "settings/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

using namespace hostsim;

class OutputInClient : public testing::Test {
protected:
    void SetUp() override
    {
        plugin_install(std::make_unique<Plugin>(sim.attach("output"), "test", "", "", nullptr));
        update_session(nullptr);
        sess = session_of(chan.handle());
    }
    void TearDown() override { plugin_install(nullptr); }

    Sim sim;
    Server& net = sim.add_server("irc.test.net", "me", "TestNet");
    Context& chan = sim.channel(net, "#chan");
    Context& other = sim.channel(net, "#other");
    HostSession* sess = nullptr;
};

TEST_F(OutputInClient, PrintTextPrintsUnchangedAndCutsLongTexts)
{
    sPrintText(sess, "%s %d%%", "\0033green %C4", 5);
    EXPECT_EQ(sim.texts_in(chan), std::vector<std::string>{"\0033green %C4 5%"});
    plugin().set_context(other.handle());
    sPrintText(nullptr, "%s", std::string(3000, 'x').c_str());
    EXPECT_EQ(sim.texts_in(other), std::vector<std::string>{std::string(kMaxFormattedText, 'x')});
}

TEST_F(OutputInClient, TemplatesAreTranslatedAndValuesNeverMakeASecondLine)
{
    sHandleCommand(sess, "/say %%C4%s", double_percent("50%B one%010two\rthree\nfour").c_str());
    sHandleCommand(sess, "/say %s", "one%010two%013three");
    ASSERT_EQ(sim.sent().size(), 2u);
    EXPECT_EQ(sim.sent()[0].line, "PRIVMSG #chan :\0034" "50%B one%010twothreefour");
    EXPECT_EQ(sim.sent()[1].line, "PRIVMSG #chan :one%010two%013three");
}

TEST_F(OutputInClient, ACommandTooLongIsRefusedNeverRunCut)
{
    StdoutCapture quiet;
    sHandleCommand(sess, "/say %s", std::string(3000, 'x').c_str());
    quiet.stop();
    EXPECT_TRUE(sim.sent().empty());
    EXPECT_EQ(sim.count_printed("QuIbOsCrIpT: XChat2: quibo_handle_command(...): ERROR"), 1);
}

TEST_F(OutputInClient, SoundCheckPlaysTheWarningOrPrintsWhyNot)
{
    TempHome home;
    quibo_paths_resolve();
    const std::string data = home.make_dir(".xchat2/quiboscript");
    home.write(".xchat2/quiboscript/zemplaysound", "#!/bin/sh\necho \"$@\" >> \"$(dirname \"$0\")/calls\"\n");
    chmod((data + "/zemplaysound").c_str(), 0755);
    iFlagBeep = 1;
    psAudioDevice.assign("ALSA");

    sim.advance(3600);
    SoundSystemCheck(sess);
    sim.advance(3600);
    psAudioDevice.assign(data + "/no-such-dir/dsp");
    SoundSystemCheck(sess);  // an unusable device is passed over in silence
    std::ostringstream calls;
    calls << std::ifstream(data + "/calls").rdbuf();
    EXPECT_EQ(calls.str(), data + "/warning.au ALSA\n");
    EXPECT_TRUE(sim.texts_in(chan).empty());

    iFlagBeep = 0;
    SoundSystemCheck(sess);
    EXPECT_EQ(sim.texts_in(chan).size(), 1u) << "message 237";
    iFlagBeep = 1;
    quibo_paths_resolve();
}
