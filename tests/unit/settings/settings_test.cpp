// /QUIBO setting keywords: what they change and what they print.
#include "settings_fixture.h"

#include <climits>
#include <filesystem>

namespace {

using Keywords = SettingsTest;

TEST_F(Keywords, PipeCommandEndsWithOneBlankUnlessItHasOne)
{
    quibo("pipecommand /say");
    EXPECT_EQ(psPipeCommand.value, "/say ");
    EXPECT_EQ(take(), (std::vector<std::string>{message(611, "/say "), sep, help(612), sep}));
    quibo("pipecommand /msg #chan");
    EXPECT_EQ(psPipeCommand.value, "/msg #chan");
    quibo("pipecommand");
    EXPECT_TRUE(psPipeCommand.set);
    EXPECT_EQ(psPipeCommand.value, "");
}

TEST_F(Keywords, ToggleInvertsWithoutANumberAndTakesANumberAsASwitch)
{
    quibo("color");
    EXPECT_EQ(iFlagColor, 0);
    EXPECT_EQ(take(), (std::vector<std::string>{message(393, 0), sep, help(394), sep}));
    quibo("color 7");
    EXPECT_EQ(iFlagColor, 1);
    quibo("color 0");
    EXPECT_EQ(iFlagColor, 0);
    quibo("color off");
    EXPECT_EQ(iFlagColor, 1);
    quibo("COLOR");
    EXPECT_EQ(iFlagColor, 0);
}

TEST_F(Keywords, FramedHelpAndNamedValues)
{
    quibo("error");
    EXPECT_EQ(take(), (std::vector<std::string>{message(734, 0), sep, sep, help(735), sep, sep}));
    quibo("shbm");
    EXPECT_EQ(take(), (std::vector<std::string>{message(1096, "iFlagDisableSHBM", 1)}));
    iFlagDisableSHBM = 0;
    quibo("dm");
    EXPECT_EQ(take(), (std::vector<std::string>{message(401, 0), sep, message(402, "irc.test.net"), sep}));
}

TEST_F(Keywords, LevelSettingsCycleThroughTheirOwnToggles)
{
    std::vector<int> seen;
    for (int i = 0; i < 3; ++i) {
        quibo("pkmsg");
        seen.push_back(iPrivateKillerMessage);
    }
    for (int i = 0; i < 3; ++i) {
        quibo("pktime");
        seen.push_back(iPrivateKillerAlert);
    }
    quibo("eventdebug 3");
    seen.push_back(iFlagEventsManagerDebug);
    quibo("eventdebug");
    seen.push_back(iFlagEventsManagerDebug);
    quibo("filter -4");
    seen.push_back(iFlagFilterSystem);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 1, 0, 8, 0, 3, 0, 4}));
}

TEST_F(Keywords, NumbersAndIntervals)
{
    quibo("clonecount -5");
    EXPECT_EQ(iMaxCloneCount, 5);
    take();
    quibo("ctcptime -5");
    quibo("soundtime 0");
    quibo("maxchar");
    EXPECT_EQ(tCTCPFloodTimer, 1);
    EXPECT_EQ(tSoundCommandTimer, 6);
    EXPECT_TRUE(take().empty());
    // Without a number clonecount declines, and the unknown-command listing follows.
    quibo("clonecount");
    EXPECT_EQ(iMaxCloneCount, 5);
    auto listing = take();
    ASSERT_FALSE(listing.empty());
    EXPECT_NE(listing.front().find("Unknown QuIbOsCrIpT command"), std::string::npos);
    quibo("maxsent 0");
    EXPECT_EQ(iMaxMessageSent, 1);
    sFlagEnableQUERY = 0;
    quibo("maxquery");
    EXPECT_EQ(sFlagEnableQUERY, 1);
    EXPECT_EQ(iMaxQueryMSGFlood, 10);
    quibo("maxquery x");
    EXPECT_EQ(iMaxQueryMSGFlood, 0);
}

TEST_F(Keywords, TextSettingsAndTheirEmptyValues)
{
    quibo("postfix [ok] x");
    EXPECT_EQ(psPostfixOutput.value, "[ok] x");
    // 426 takes no values: its doubled percent signs show as the single ones the user types.
    EXPECT_EQ(take(), (std::vector<std::string>{message(425, "[ok] x"), message(426), sep, help(428), sep}));
    EXPECT_NE(message(426).find("%B %C %O %R %U"), std::string::npos);
    quibo("postfix");
    EXPECT_FALSE(psPostfixOutput.set);
    EXPECT_EQ(take().front(), GetMessage(427));
    quibo("audiodevice");
    EXPECT_FALSE(psAudioDevice.set);
    EXPECT_EQ(take().front(), message(701, "Null Value - Skip the Audio Device Check-up !"));
    quibo("awaypostfix");
    EXPECT_EQ(psAwayPostfix.value, "_AWAY");
}

TEST_F(Keywords, LanguageThatCannotLoadIsReported)
{
    hostsim::StdoutCapture quiet;
    quibo("language klingon");
    quiet.stop();
    EXPECT_EQ(psMessageLanguage.value, "klingon");
    EXPECT_EQ(take(), (std::vector<std::string>{message(408, "klingon"), sep,
                                                "\0034Sembra che sia stato impossibile caricare il file dei messaggi "
                                                "in klingon.",
                                                sep, sep, help(410), sep}));
    quibo("language");
    EXPECT_EQ(psMessageLanguage.value, "italiano");
}

TEST_F(Keywords, ParserSwitchesByIndexAndListsOtherwise)
{
    quibo("parser 18 1");
    EXPECT_EQ(iFlagParserMode[18], 1);
    EXPECT_EQ(take(), (std::vector<std::string>{"\0035Parsing of \0036NOTICE\0035 message is \0033ENABLED"}));
    quibo("parser 3");
    EXPECT_EQ(iFlagParserMode[3], 0);
    take();
    quibo("parser 19 1");
    auto lines = take();
    ASSERT_EQ(lines.size(), 21u);
    EXPECT_EQ(lines[0], "\0035Parsing of \0036   PRIVMSG\0035 (\0037  0 \0035) message is \0033ENABLED");
    EXPECT_EQ(lines[3], "\0035Parsing of \0036    CHNICK\0035 (\0037  3 \0035) message is \0034DISABLED");
    EXPECT_EQ(lines[20], "Example:\0036/quibo parser 3 0");
    iFlagParserMode[3] = 1;
    iFlagParserMode[18] = 0;
}

TEST_F(Keywords, VarResetRestoresSettingsButNotTheParser)
{
    iMaxQueryMSGFlood = 3;
    psPrefixOutput.assign("x");
    iFlagParserMode[0] = 0;
    quibo("var reset");
    EXPECT_EQ(iMaxQueryMSGFlood, 10);
    EXPECT_FALSE(psPrefixOutput.set);
    EXPECT_EQ(iFlagParserMode[0], 0);
    iFlagParserMode[0] = 1;
    auto lines = take();
    ASSERT_EQ(lines.size(), 63u);
    EXPECT_EQ(lines[0], sep);
    EXPECT_EQ(lines[1], message(702, "ALSA"));
    EXPECT_EQ(lines[48], message(464, "(null)", "(null)"));
    EXPECT_EQ(lines[49], sep);
    EXPECT_EQ(lines[57], message(802, "irc.test.net"));
    EXPECT_EQ(lines[60], message(706, ".xchat2/quiboscript/", "irc.test.net"));
}

TEST_F(Keywords, NumbersTypedWithOverflowAreHeldToTheIntRange)
{
    quibo("color 0");
    quibo("color 4294967296");  // cut to int, this would read as 0
    EXPECT_EQ(iFlagColor, 1);
    quibo("parser 3 4294967296");
    EXPECT_EQ(iFlagParserMode[3], INT_MAX);
    quibo("parser 4 -99999999999999999999");
    EXPECT_EQ(iFlagParserMode[4], INT_MIN);
    quibo("clonecount -99999999999999999999");
    EXPECT_EQ(iMaxCloneCount, INT_MAX);
    quibo("ctcptime 99999999999999999999");
    EXPECT_EQ(tCTCPFloodTimer, INT_MAX);
    quibo("pktime -2147483648");
    EXPECT_EQ(iPrivateKillerAlert, INT_MAX);
    iFlagParserMode[3] = iFlagParserMode[4] = 1;
}

TEST_F(Keywords, TextsLongerThanTheFileKeepsAreRefused)
{
    const std::string longest(kMaxSetupText, 'x');
    const std::string too_long(kMaxSetupText + 1, 'x');
    for (const char* keyword : {"identifycmd", "prefix", "postfix", "awaypostfix", "pipecommand", "audiodevice"}) {
        quibo(std::string(keyword) + " " + too_long);
        EXPECT_EQ(take(), (std::vector<std::string>{message(1098, keyword, kMaxSetupText)})) << keyword;
    }
    EXPECT_EQ(psIdentifyCommand.value, "/MSG NickServ Identify");
    EXPECT_FALSE(psPrefixOutput.set);
    EXPECT_EQ(psAudioDevice.value, "ALSA");
    quibo("language " + too_long);
    quibo("join " + too_long);
    quibo("mod " + too_long);
    quibo("word " + too_long + " *");
    EXPECT_EQ(take(), (std::vector<std::string>{message(1098, "language", kMaxSetupText),
                                                message(1098, "join", kMaxSetupText),
                                                message(1098, "mod", kMaxSetupText),
                                                message(1098, "word", kMaxSetupText)}));
    EXPECT_EQ(psMessageLanguage.value, "italiano");
    EXPECT_FALSE(psFlagChanJoinBeep.set || psFlagChanModBeep.set || psFlagChanWordBeep.set);
    quibo("identifycmd " + longest);
    EXPECT_EQ(psIdentifyCommand.value, longest);
}

// Every value the keywords can set, saved with /quibo save and read back with /quibo read.
TEST_F(Keywords, EverySettableValueComesBackFromSaveAndRead)
{
    home.copy_in(QUIBO_SOURCE_DIR "/data/quibo_english.msg", ".xchat2/quiboscript/quibo_english.msg");
    const std::string longest(kMaxSetupText, 'p');
    const std::vector<std::string> typed = {
        "debug", "log", "clonedetect", "cloneprint", "listprint", "color", "clonecount 2147483648", "query", "nick",
        "dm", "jm", "maxquery 7", "ctcp", "ctcptime 99", "alert", "soundtime 2", "maxsent 4", "minsecond 0",
        "textfloodout", "join #a", "mod Bob", "word pizza *", "prefix " + longest, "postfix %Bbye%O", "ignoreprint",
        "quibomsg", "mode", "debugfnc 0", "database", "event", "language english", "awaypostfix |zz", "setaway",
        "pipecommand /say", "audiodevice /dev/dsp1", "maxchar 0", "identifycmd /msg NickServ identify s\xc3\xa9gret",
        "error", "dbupdate", "mmsg", "awaymessage", "currenttab", "textflooderr", "badword", "badwordmsg",
        "eventdebug 9", "parser 3 5", "parser 18 1", "textfloodin", "logadvanced", "pktime 3", "filter 4",
        "pkmsg 6", "keepcmdqueue", "pkversion", "pkallow", "shbm",
    };
    hostsim::StdoutCapture quiet;
    for (const std::string& line : typed) quibo(line);
    const std::string saved = SetupImage();
    quibo("save");
    quibo("var reset");
    for (int& mode : iFlagParserMode) mode = 1;
    quibo("read");
    quiet.stop();
    EXPECT_EQ(SetupImage(), saved);
    EXPECT_EQ(iFlagParserMode[3], 5);
    EXPECT_EQ(iMaxCloneCount, INT_MAX);
    EXPECT_EQ(iMaxMessageChar, 0);
    EXPECT_EQ(psPrefixOutput.value, longest);
    EXPECT_EQ(psMessageLanguage.value, "english");
    EXPECT_EQ(psFlagChanWordBeep.text[1], "pizza");
    iFlagParserMode[3] = 1;
    iFlagParserMode[18] = 0;
}

TEST_F(Keywords, SaveKnowsTheDefaultFileWhateverItsCase)
{
    quibo("save .xchat2/quiboscript/QuiboRC");
    EXPECT_EQ(take(), (std::vector<std::string>{GetMessage(506)}));
    EXPECT_EQ(psQuiboscriptRC, default_setup_path());
}

TEST_F(Keywords, SaveToAnotherFileComesBackToTheDefault)
{
    quibo("save other.rc");
    EXPECT_TRUE(std::filesystem::exists(home.path() + "/other.rc"));
    EXPECT_EQ(psQuiboscriptRC, default_setup_path());
    EXPECT_EQ(take(), (std::vector<std::string>{"\0033Configuration file\0038 " + home.path() +
                                                "/other.rc\0033 saved successfully."}));
    quibo("save");
    EXPECT_EQ(take(), (std::vector<std::string>{GetMessage(506)}));
    iMaxCloneCount = 77;
    hostsim::StdoutCapture quiet;
    quibo("read other.rc");
    quiet.stop();
    EXPECT_EQ(iMaxCloneCount, 10);
    EXPECT_EQ(psQuiboscriptRC, default_setup_path());
}

TEST_F(Keywords, AlertTargets)
{
    quibo("join");
    EXPECT_EQ(psFlagChanJoinBeep.text[0], "#quibo");
    EXPECT_EQ(psFlagChanJoinBeep.text[1], "irc.test.net");
    quibo("mod Bob");
    EXPECT_EQ(psFlagChanModBeep.text[0], "Bob");
    take();
    quibo("join \\");
    EXPECT_FALSE(psFlagChanJoinBeep.set);
    EXPECT_EQ(take(), (std::vector<std::string>{GetMessage(496)}));
    quibo("word pizza *");
    EXPECT_EQ(take(), (std::vector<std::string>{message(508, "*", "pizza")}));
    quibo("word");
    EXPECT_EQ(psFlagChanWordBeep.text[1], "me");
    iFlagEnableDatabase = 0;
    take();
    quibo("word");
    EXPECT_EQ(take(), (std::vector<std::string>{GetMessage(285)}));
}

TEST_F(Keywords, HelpTableShowsCurrentValues)
{
    ASSERT_STREQ(aSettingDescriptor[27].keyword, "maxquery");
    EXPECT_EQ(setting_syntax(aSettingDescriptor[27]),
              "\0037 /quibo maxquery [#]\n\0034 iMaxQueryMSGFlood = 10 default:[8]\n");
    ASSERT_STREQ(aSettingDescriptor[38].keyword, "postfix");
    EXPECT_EQ(setting_syntax(aSettingDescriptor[38]),
              "\0037 /quibo postfix [text]\n\0034 psPostfixOutput = (null) default:[(null)]\n");
    EXPECT_STREQ(aSettingDescriptor[kSettingDescriptorCount - 1].keyword, "soundtime");
}

// The plug-in reads quiborc at load, and /QUIBO reaches these keywords through the client.
TEST_F(Keywords, LoadedPluginReadsTheConfigurationFile)
{
    iMaxCloneCount = 42;
    WriteSetup();
    hostsim::Sim client;
    auto& server = client.add_server("irc.test.net", "me");
    auto& tab = client.channel(server, "#quibo");
    client.focus(tab);
    hostsim::StdoutCapture quiet;
    auto& loaded = client.load(QUIBO_MODULE);
    client.type(tab, "/quibo var");
    client.unload(loaded);
    quiet.stop();
    EXPECT_EQ(client.count_printed(message(230, 38)), 1);
    EXPECT_EQ(client.count_printed(message(440, 42)), 1);
}

}  // namespace
