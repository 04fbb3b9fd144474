// The configuration file: round trip, old versions, damaged files and
// interrupted saves.
#include "settings_fixture.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

namespace {

class SetupFile : public SettingsTest {
protected:
    std::string path() const { return default_setup_path(); }

    // Removed first: rewriting a file in place can make the file system flush it on close.
    void write_file(const std::string& bytes) const
    {
        unlink(path().c_str());
        std::ofstream(path(), std::ios::binary) << bytes;
    }
    std::string read_file() const
    {
        std::ifstream file(path(), std::ios::binary);
        std::stringstream bytes;
        bytes << file.rdbuf();
        return bytes.str();
    }

    // A value other than its default in every stored setting.
    static void unusual_settings()
    {
        int value = 2;
        for (int* number : {&iMaxCloneCount, &iMaxQueryMSGFlood, &iMaxMessageSent, &iMaxMessageChar,
                            &iFlagDebugModeFnc, &iFlagEventsManagerDebug, &iPrivateKillerAlert, &iFlagFilterSystem,
                            &iPrivateKillerMessage})
            *number = 100 + value++;
        for (int* flag : {&iFlagDebugMode, &iFlagLogFile, &iFlagPrintClone, &iFlagTextFloodOutgoing,
                          &iFlagQuiboMessage, &iFlagDisableDBUpdating, &iFlagTextFloodIncoming, &iFlagAdvancedLog,
                          &iFlagKeepQueueCommandCorrupted, &iPKAllowOnTimeout, &iFlagDisableSHBM})
            *flag = 1;
        for (int* flag : {&iFlagBeep, &iFlagCloneDetect, &iFlagPrintList, &iFlagColor, &iFlagQueryBeep, &iFlagNickBeep,
                          &iFlagDomainMonitoring, &iFlagNickJoinMonitoring, &iFlagCTCPAnswer, &iFlagIgnoreMessage,
                          &iFlagLocalUserModeChg, &iFlagEnableDatabase, &iFlagEnableEvent, &iFlagAwaySystem,
                          &iFlagErrorMessage, &iFlagMonitoringMessage, &iFlagAwayMessage, &iFlagCurrentTab,
                          &iFlagTextFloodError, &iFlagBadWordSystem, &iFlagBadWordMessage, &iPKIgnoreCTCPVersion})
            *flag = 0;
        tCTCPFloodTimer = 11;
        tSoundCommandTimer = 12;
        tMinSecondSent = 13;
        psFlagChanJoinBeep = {{"#a", "irc.a"}, true};
        psFlagChanModBeep = {{"Bob", "irc.b"}, true};
        psFlagChanWordBeep = {{"*", "pizza"}, true};
        psPrefixOutput.assign("<<");
        psPostfixOutput.assign(">>");
        psMessageLanguage.assign("english");
        psAwayPostfix.assign("|zz");
        psPipeCommand.assign("/say ");
        psAudioDevice.assign("/dev/dsp");
        psIdentifyCommand.assign("/ns id");
        for (int i = 0; i < kParserModeCount; ++i) iFlagParserMode[i] = i % 2;
    }

    // The reset values, without sounds.
    static void quiet_defaults()
    {
        ResetSettings();
        iFlagBeep = 0;
    }

    // The lines printed that are not separators.
    std::vector<std::string> reports()
    {
        std::vector<std::string> lines;
        for (const auto& line : take())
            if (line != sep) lines.push_back(line);
        return lines;
    }

    // Values are kept as stored, except a message limit below one.
    static void expect_sane()
    {
        EXPECT_GE(iMaxMessageSent, 1);
        EXPECT_TRUE(psMessageLanguage.set && psAwayPostfix.set && psPipeCommand.set);
        for (const OptionalText* text : {&psPrefixOutput, &psPostfixOutput, &psAudioDevice, &psIdentifyCommand})
            EXPECT_LE(text->value.size(), static_cast<size_t>(kMaxSetupText));
    }
};

TEST_F(SetupFile, RoundTripRestoresEveryField)
{
    unusual_settings();
    const std::string saved = SetupImage();
    WriteSetup();
    ASSERT_EQ(flag_write_setup_failed, 0);
    ResetSettings();
    ReadSetup(nullptr);
    EXPECT_EQ(SetupImage(), saved);
    EXPECT_EQ(reports(), (std::vector<std::string>{message(230, 38)}));
    iFlagDebugModeFnc = 0;
}

TEST_F(SetupFile, StoredValuesComeBackAsStored)
{
    iFlagParserMode[5] = 5;
    iPrivateKillerAlert = -3;
    iFlagColor = 7;
    iMaxCloneCount = -1;
    iMaxMessageChar = -20;
    tCTCPFloodTimer = 0;
    tSoundCommandTimer = -4;
    tMinSecondSent = -1;
    iMaxMessageSent = 0;
    write_file(SetupImage());
    quiet_defaults();
    ReadSetup(nullptr);
    EXPECT_EQ(iFlagParserMode[5], 5);
    EXPECT_EQ(iPrivateKillerAlert, -3);  // below one: the guard stays off
    EXPECT_EQ(iFlagColor, 7);
    EXPECT_EQ(iMaxCloneCount, -1);
    EXPECT_EQ(iMaxMessageChar, -20);
    EXPECT_EQ(tCTCPFloodTimer, 0);
    EXPECT_EQ(tSoundCommandTimer, -4);
    EXPECT_EQ(tMinSecondSent, -1);
    EXPECT_EQ(iMaxMessageSent, 1);
    iFlagParserMode[5] = 1;
}

TEST_F(SetupFile, EmptyTextsAndPairsComeBackAsNoValue)
{
    psPrefixOutput.assign("");
    psAudioDevice.assign("");
    psIdentifyCommand.assign("");
    psPipeCommand.assign("/x ");
    const std::string saved = SetupImage();
    psPipeCommand.assign("");
    write_file(SetupImage());
    psPipeCommand.assign("/x ");
    ReadSetup(nullptr);
    EXPECT_FALSE(psPrefixOutput.set);
    EXPECT_FALSE(psAudioDevice.set);
    EXPECT_FALSE(psIdentifyCommand.set);
    EXPECT_EQ(psPipeCommand.value, "/x ");  // an empty pipe command in the file keeps the current one
    EXPECT_FALSE(psFlagChanJoinBeep.set);
}

TEST_F(SetupFile, Version13IsRefused)
{
    ConfigCleaning();
    int32_t version = 13;
    write_file(std::string(reinterpret_cast<char*>(&version), 4) + std::string(200, '\1'));
    ReadSetup(nullptr);
    EXPECT_EQ(reports(), (std::vector<std::string>{message(231, 13, 14)}));
    EXPECT_FALSE(psAudioDevice.set);
    EXPECT_FALSE(psIdentifyCommand.set);
    EXPECT_EQ(psPipeCommand.value, "");
    EXPECT_EQ(psMessageLanguage.value, "italiano");
    EXPECT_EQ(iFlagDebugMode, 0);
}

TEST_F(SetupFile, Version20GetsTheLaterFieldsDefaults)
{
    std::string image = SetupImage();  // defaults: empty pairs and texts, "italiano", "_AWAY"
    constexpr size_t kVersion20Size = 4 + 13 * 4 + 8 + 4 + 8 + 4 + 8 + 4 + 3 * 4 + 2 * 4 + 4 + 4 + 4 + 3 * 4 +
                                      (4 + 8) + (4 + 5) + 4;
    image.resize(kVersion20Size);
    int32_t version = 20;
    memcpy(image.data(), &version, 4);
    write_file(image);
    psPipeCommand.assign("/say ");
    psAudioDevice.clear();
    psIdentifyCommand.clear();
    iFlagErrorMessage = 0;
    iFlagAwaySystem = 0;
    ReadSetup(nullptr);
    EXPECT_EQ(reports(), (std::vector<std::string>{message(230, 20)}));
    EXPECT_EQ(psPipeCommand.value, "/ECHO ");
    EXPECT_EQ(psAudioDevice.value, "ALSA");
    EXPECT_EQ(psIdentifyCommand.value, "/MSG NickServ Identify");
    EXPECT_EQ(iFlagAwaySystem, 1);    // order 33, in the file
    EXPECT_EQ(iFlagErrorMessage, 0);  // order 38, not in the file
}

TEST_F(SetupFile, MissingFiles)
{
    ConfigCleaning();
    ReadSetup(nullptr);
    EXPECT_EQ(reports(), (std::vector<std::string>{message(232, 0, 14)}));
    EXPECT_EQ(psAudioDevice.value, "ALSA");
    EXPECT_EQ(psPipeCommand.value, "/ECHO ");

    psQuiboscriptRC = home.path() + "/nothing.rc";
    iMaxCloneCount = 3;
    ReadSetup(nullptr);
    EXPECT_EQ(reports(), (std::vector<std::string>{"\0034Unable to open configuration file \0033" + psQuiboscriptRC +
                                                   "\0034. (\0038No such file or directory\0034)"}));
    EXPECT_EQ(iMaxCloneCount, 3);
}

TEST_F(SetupFile, WriteFailureLeavesTheOldFileAndIsReported)
{
    write_file("old");
    hostsim::StdoutCapture quiet;
    psQuiboscriptRC = home.path() + "/missing/quiborc";
    WriteSetup();
    quiet.stop();
    EXPECT_EQ(flag_write_setup_failed, 1);
    EXPECT_EQ(reports(), (std::vector<std::string>{"\0034Unable to open file\0033 " + psQuiboscriptRC +
                                                   "\0034 for writing (\0033No such file or directory\0034)."}));
    EXPECT_EQ(read_file(), "old");
}

TEST_F(SetupFile, TruncatedAtEveryOffsetGivesOneErrorAndKeepsTheRest)
{
    unusual_settings();
    const std::string full = SetupImage();
    for (size_t size = 0; size < full.size(); ++size) {
        write_file(full.substr(0, size));
        quiet_defaults();
        ReadSetup(nullptr);
        auto lines = reports();
        ASSERT_EQ(lines.size(), 1u) << size;
        EXPECT_NE(lines[0].find("is damaged at byte"), std::string::npos) << size;
        expect_sane();
        iFlagDebugModeFnc = 0;
    }
}

TEST_F(SetupFile, RandomFilesLoadWithOneReportAndSaneValues)
{
    std::mt19937 random(20261208);
    for (int round = 0; round < 10000; ++round) {
        std::string bytes(random() % 400, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random());
        if (bytes.size() >= 4 && round % 2) {
            int32_t version = 14 + static_cast<int32_t>(random() % 30);
            memcpy(bytes.data(), &version, 4);
        }
        write_file(bytes);
        quiet_defaults();
        ReadSetup(nullptr);
        ASSERT_EQ(reports().size(), 1u) << round;
        expect_sane();
        iFlagDebugModeFnc = 0;
        iFlagBeep = 0;
    }
}

TEST_F(SetupFile, KilledDuringSaveLeavesTheOldOrTheNewFile)
{
    unusual_settings();
    const std::string first = SetupImage();
    quiet_defaults();
    const std::string second = SetupImage();
    write_file(first);
    for (int round = 0; round < 200; ++round) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t child = fork();
        if (child == 0) {
            close(ready[0]);
            current_tab = nullptr;
            for (int i = 0;; ++i) {
                if (i % 2)
                    unusual_settings();
                else
                    quiet_defaults();
                WriteSetup();
                (void)!write(ready[1], "s", 1);
            }
        }
        close(ready[1]);
        char saves[4];
        (void)!read(ready[0], saves, static_cast<size_t>(round % 4));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        close(ready[0]);
        std::string now = read_file();
        ASSERT_TRUE(now == first || now == second) << "round " << round << ", " << now.size() << " bytes, not " << first.size() << " or " << second.size()
                                                 << ", differs at " << std::mismatch(now.begin(), now.end(), first.begin(), first.end()).first - now.begin();
    }
}

}  // namespace
