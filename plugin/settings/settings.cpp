// The settings: their initial values, the reset values, the help table.
#include "settings/settings.h"

#include "host/paths.h"

#include <cstdio>

int iFlagDebugMode = 0;
int iFlagLogFile = 0;
int iFlagCloneDetect = 1;
int iFlagPrintClone = 0;
int iFlagPrintList = 1;
int iFlagColor = 1;
int iMaxCloneCount = 10;
int iFlagQueryBeep = 1;
int iFlagNickBeep = 1;
int iFlagDomainMonitoring = 1;
int iFlagNickJoinMonitoring = 1;
int iMaxQueryMSGFlood = 10;
int iFlagCTCPAnswer = 1;
time_t tCTCPFloodTimer = 1;
int iFlagBeep = 1;
time_t tSoundCommandTimer = 6;
int iMaxMessageSent = 3;
time_t tMinSecondSent = 5;
int iFlagTextFloodOutgoing = 0;
SettingTextPair psFlagChanJoinBeep;
SettingTextPair psFlagChanModBeep;
SettingTextPair psFlagChanWordBeep;
OptionalText psPrefixOutput;
OptionalText psPostfixOutput;
int iFlagIgnoreMessage = 1;
int iFlagQuiboMessage = 0;
int iFlagLocalUserModeChg = 1;
int iFlagDebugModeFnc = 0;
int iFlagEnableDatabase = 1;
int iFlagEnableEvent = 1;
OptionalText psMessageLanguage;
OptionalText psAwayPostfix;
int iFlagAwaySystem = 1;
OptionalText psPipeCommand;
OptionalText psAudioDevice;
int iMaxMessageChar = 256;
OptionalText psIdentifyCommand;
int iFlagErrorMessage = 1;
int iFlagDisableDBUpdating = 0;
int iFlagMonitoringMessage = 1;
int iFlagAwayMessage = 1;
int iFlagCurrentTab = 1;
int iFlagTextFloodError = 1;
int iFlagBadWordSystem = 1;
int iFlagBadWordMessage = 1;
int iFlagEventsManagerDebug = 0;
int iFlagParserMode[kParserModeCount] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0};
int iFlagTextFloodIncoming = 0;
int iFlagAdvancedLog = 0;
int iPrivateKillerAlert = 8;
int iFlagFilterSystem = 1;
int iPrivateKillerMessage = 2;
int iFlagKeepQueueCommandCorrupted = 0;
int iPKIgnoreCTCPVersion = 1;
int iPKAllowOnTimeout = 0;
int iFlagDisableSHBM = 0;

int iFlagTextFloodOutgoing_internal = 1;
int iFlagErrorMessage_internal = 1;
int16_t sFlagEnableQUERY = 1;
int16_t sFlagWhoError = 1;
int16_t sQueueOnLoad = 1;
time_t tMaxElaborationTime = 2;
int iFlagDisableDebugPlugin = 0;
int iFlagPipeCommand_internal = 0;

std::string psQuiboscriptRC;
int flag_write_setup_failed = 0;

// The text settings start unset; ReadSetup gives them their defaults.

const char* const apsFlagParseMode[kParserModeCount] = {
    "PRIVMSG", "JOIN",   "LUJOIN",  "CHNICK", "CLIST",    "SRVMSG",  "PART",   "KICK",   "MODE",   "NAMES",
    "WHO",     "QUIT",   "OSERVER", "ENDWHO", "ERRORLNK", "ENDMOTD", "NOTIFY", "INVITE", "NOTICE",
};

namespace {

struct NumberReset {
    int* variable;
    int value;
};

const NumberReset kNumberResets[] = {
    {&iFlagDebugMode, 0},         {&iFlagLogFile, 0},          {&iFlagCloneDetect, 1},
    {&iFlagPrintClone, 0},        {&iFlagPrintList, 1},        {&iFlagColor, 1},
    {&iMaxCloneCount, 10},        {&iFlagQueryBeep, 1},        {&iFlagNickBeep, 1},
    {&iFlagDomainMonitoring, 1},  {&iFlagNickJoinMonitoring, 1}, {&iMaxQueryMSGFlood, 10},
    {&iFlagCTCPAnswer, 1},        {&iFlagBeep, 1},             {&iMaxMessageSent, 3},
    {&iFlagTextFloodOutgoing, 0}, {&iFlagIgnoreMessage, 1},    {&iFlagQuiboMessage, 0},
    {&iFlagLocalUserModeChg, 1},  {&iFlagDebugModeFnc, 0},     {&iFlagEnableDatabase, 1},
    {&iFlagEnableEvent, 1},       {&iFlagAwaySystem, 1},       {&iMaxMessageChar, 256},
    {&iFlagErrorMessage, 1},      {&iFlagDisableDBUpdating, 0}, {&iFlagMonitoringMessage, 1},
    {&iFlagAwayMessage, 1},       {&iFlagCurrentTab, 1},       {&iFlagTextFloodError, 1},
    {&iFlagBadWordSystem, 1},     {&iFlagBadWordMessage, 1},   {&iFlagEventsManagerDebug, 0},
    {&iFlagTextFloodIncoming, 0}, {&iFlagAdvancedLog, 0},      {&iPrivateKillerAlert, 8},
    {&iFlagFilterSystem, 1},      {&iPrivateKillerMessage, 2}, {&iFlagKeepQueueCommandCorrupted, 0},
    {&iPKIgnoreCTCPVersion, 1},   {&iPKAllowOnTimeout, 0},     {&iFlagDisableSHBM, 0},
};

struct TimeReset {
    time_t* variable;
    time_t value;
};

const TimeReset kTimeResets[] = {{&tCTCPFloodTimer, 1}, {&tSoundCommandTimer, 6}, {&tMinSecondSent, 5}};

}  // namespace

std::string default_setup_path() { return quibo_data_path("quiborc"); }

void ResetSettings()
{
    for (const NumberReset& reset : kNumberResets) *reset.variable = reset.value;
    for (const TimeReset& reset : kTimeResets) *reset.variable = reset.value;
    psMessageLanguage.assign("italiano");
    psAwayPostfix.assign("_AWAY");
    psPipeCommand.assign("/ECHO ");
    psAudioDevice.assign("ALSA");
    psIdentifyCommand.assign("/MSG NickServ Identify");
    psPrefixOutput.clear();
    psPostfixOutput.clear();
    psFlagChanJoinBeep.clear();
    psFlagChanModBeep.clear();
    psFlagChanWordBeep.clear();
}

void ConfigCleaning()
{
    for (SettingTextPair* pair : {&psFlagChanJoinBeep, &psFlagChanModBeep, &psFlagChanWordBeep}) pair->clear();
    for (OptionalText* text : {&psPrefixOutput, &psPostfixOutput, &psMessageLanguage, &psAwayPostfix, &psPipeCommand,
                               &psAudioDevice, &psIdentifyCommand}) {
        text->clear();
        std::string().swap(text->value);
    }
}

#define SYNTAX(keyword, argument, variable, def, conversion) \
    "\0037 /quibo " keyword argument "\n\0034 " variable " = " conversion " default:[" def "]\n"
#define NUMBER_ROW(keyword, argument, variable, def, message) \
    {keyword, SYNTAX(keyword, argument, #variable, def, "%d"), message, &variable, nullptr, nullptr}
#define TIME_ROW(keyword, argument, variable, def, message) \
    {keyword, SYNTAX(keyword, argument, #variable, def, "%d"), message, nullptr, &variable, nullptr}
#define TEXT_ROW(keyword, argument, variable, def, message) \
    {keyword, SYNTAX(keyword, argument, #variable, def, "%s"), message, nullptr, nullptr, &variable}

const SettingDescriptor aSettingDescriptor[kSettingDescriptorCount] = {
    TEXT_ROW("audiodevice", " [device]", psAudioDevice, "ALSA", 700),
    NUMBER_ROW("awaymessage", "", iFlagAwayMessage, "1", 745),
    TEXT_ROW("awaypostfix", " [text]", psAwayPostfix, "_AWAY", 600),
    NUMBER_ROW("alert", "", iFlagBeep, "1", 319),
    NUMBER_ROW("badword", "", iFlagBadWordSystem, "1", 779),
    NUMBER_ROW("badwordmsg", "", iFlagBadWordMessage, "1", 780),
    NUMBER_ROW("quibomsg", "", iFlagQuiboMessage, "0", 320),
    NUMBER_ROW("clonecount", " [#]", iMaxCloneCount, "10", 321),
    NUMBER_ROW("clonedetect", "", iFlagCloneDetect, "1", 322),
    NUMBER_ROW("cloneprint", "", iFlagPrintClone, "0", 323),
    NUMBER_ROW("color", "", iFlagColor, "1", 324),
    NUMBER_ROW("ctcp", "", iFlagCTCPAnswer, "1", 325),
    TIME_ROW("ctcptime", " [#]", tCTCPFloodTimer, "1", 326),
    NUMBER_ROW("currenttab", "", iFlagCurrentTab, "1", 752),
    NUMBER_ROW("debug", "", iFlagDebugMode, "0", 327),
    NUMBER_ROW("dm", "", iFlagDomainMonitoring, "1", 328),
    NUMBER_ROW("error", "", iFlagErrorMessage, "1", 733),
    NUMBER_ROW("eventdebug", " [#]", iFlagEventsManagerDebug, "0", 789),
    NUMBER_ROW("filter", "", iFlagFilterSystem, "1", 988),
    TEXT_ROW("identifycmd", " [command]", psIdentifyCommand, "/MSG NickServ Identify", 724),
    NUMBER_ROW("ignoreprint", "", iFlagIgnoreMessage, "1", 329),
    TEXT_ROW("language", " <language>", psMessageLanguage, "italiano", 330),
    NUMBER_ROW("listprint", "", iFlagPrintList, "1", 331),
    NUMBER_ROW("jm", "", iFlagNickJoinMonitoring, "1", 332),
    NUMBER_ROW("log", "", iFlagLogFile, "0", 333),
    NUMBER_ROW("logadvanced", "", iFlagAdvancedLog, "0", 804),
    NUMBER_ROW("maxchar", " [#]", iMaxMessageChar, "256", 712),
    NUMBER_ROW("maxquery", " [#]", iMaxQueryMSGFlood, "8", 334),
    NUMBER_ROW("maxsent", " [#]", iMaxMessageSent, "3", 335),
    TIME_ROW("minsecond", " [#]", tMinSecondSent, "5", 336),
    NUMBER_ROW("mmsg", "", iFlagMonitoringMessage, "1", 742),
    NUMBER_ROW("mode", "", iFlagLocalUserModeChg, "1", 337),
    NUMBER_ROW("nick", "", iFlagNickBeep, "1", 338),
    TEXT_ROW("pipecommand", " [text]", psPipeCommand, "/ECHO", 608),
    NUMBER_ROW("pkallow", "", iPKAllowOnTimeout, "0", 1093),
    NUMBER_ROW("pkmsg", " <#>", iPrivateKillerMessage, "2", 1024),
    NUMBER_ROW("pktime", " <#>", iPrivateKillerAlert, "8", 840),
    NUMBER_ROW("pkversion", " <#>", iPKIgnoreCTCPVersion, "1", 1087),
    TEXT_ROW("postfix", " [text]", psPostfixOutput, "(null)", 339),
    TEXT_ROW("prefix", " [text]", psPrefixOutput, "(null)", 340),
    NUMBER_ROW("query", "", iFlagQueryBeep, "1", 341),
    NUMBER_ROW("textfloodin", "", iFlagTextFloodIncoming, "0", 794),
    NUMBER_ROW("textfloodout", "", iFlagTextFloodOutgoing, "0", 342),
    NUMBER_ROW("textflooderr", "", iFlagTextFloodError, "1", 754),
    NUMBER_ROW("setaway", "", iFlagAwaySystem, "1", 604),
    TIME_ROW("soundtime", " [#]", tSoundCommandTimer, "6", 343),
};

std::string setting_syntax(const SettingDescriptor& row)
{
    char buffer[512];
    if (row.text)
        snprintf(buffer, sizeof buffer, row.syntax, row.text->set ? row.text->value.c_str() : "(null)");
    else
        snprintf(buffer, sizeof buffer, row.syntax, row.number ? *row.number : static_cast<int>(*row.seconds));
    return buffer;
}
