// The printing and command entry points and the load-time sound check, in the
// simulated client.
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

namespace {

class OutputInClient : public testing::Test {
protected:
    void SetUp() override
    {
        plugin_install(std::make_unique<Plugin>(sim.attach("output"), "test", "", "", nullptr));
        update_session(nullptr);
        sess = session_of(chan.handle());
        ASSERT_TRUE(is_session(sess));
        sim.focus(other);
    }
    void TearDown() override { plugin_install(nullptr); }

    std::vector<std::string> said() const
    {
        std::vector<std::string> lines;
        for (const SentLine& line : sim.sent()) lines.push_back(line.line);
        return lines;
    }

    Sim sim;
    Server& net = sim.add_server("irc.test.net", "me", "TestNet");
    Context& chan = sim.channel(net, "#chan");
    Context& other = sim.channel(net, "#other");
    HostSession* sess = nullptr;
};

}  // namespace

TEST_F(OutputInClient, PrintTextPrintsUnchangedAndCutsLongTexts)
{
    sPrintText(sess, "%s %d%%", "\0033green %C4", 5);
    EXPECT_EQ(sim.texts_in(chan), std::vector<std::string>{"\0033green %C4 5%"});

    plugin().set_context(other.handle());
    sPrintText(nullptr, "%s", std::string(3000, 'x').c_str());
    const std::vector<std::string> shown = sim.texts_in(other);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].size(), kMaxFormattedText);
}

TEST_F(OutputInClient, CommandsTranslateTheTemplateButNotDoubledValues)
{
    sHandleCommand(sess, "/say %%C4%s%%O", double_percent("50%B").c_str());
    EXPECT_EQ(said(), std::vector<std::string>{"PRIVMSG #chan :\0034" "50%B\017"});
}

TEST_F(OutputInClient, AValueNeverMakesASecondLine)
{
    sHandleCommand(sess, "/say %s", double_percent("one%010two\rthree\nfour").c_str());
    sHandleCommand(sess, "/say %s", "one%010two%013three");
    ASSERT_EQ(sim.sent().size(), 2u);
    for (const std::string& line : said()) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    EXPECT_EQ(said()[1], "PRIVMSG #chan :one%010two%013three");
}

TEST_F(OutputInClient, SoundCheckPlaysTheWarningOrPrintsWhyNot)
{
    TempHome home;
    quibo_paths_resolve();
    const std::string data = home.make_dir(".xchat2/quiboscript");
    home.write(".xchat2/quiboscript/zemplaysound", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"$(dirname \"$0\")/calls\"\n");
    chmod((data + "/zemplaysound").c_str(), 0755);
    const int saved_beep = iFlagBeep;
    const OptionalText saved_device = psAudioDevice;
    iFlagBeep = 1;
    psAudioDevice.assign("ALSA");

    sim.advance(3600);
    SoundSystemCheck(sess);
    std::ifstream calls(data + "/calls");
    std::ostringstream text;
    text << calls.rdbuf();
    EXPECT_EQ(text.str(), data + "/warning.au\nALSA\n");
    EXPECT_TRUE(sim.texts_in(chan).empty());

    sim.advance(3600);
    psAudioDevice.assign(data + "/no-such-dir/dsp");
    SoundSystemCheck(sess);
    EXPECT_TRUE(sim.texts_in(chan).empty()) << "an unusable device is passed over in silence";

    iFlagBeep = 0;
    SoundSystemCheck(sess);
    EXPECT_EQ(sim.texts_in(chan).size(), 1u) << "message 237";
    EXPECT_EQ(quibo_play_sound("error"), 0);
    iFlagBeep = saved_beep;
    psAudioDevice = saved_device;
    quibo_paths_resolve();
}
