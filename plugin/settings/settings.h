// The user's settings: process-wide variables that every subsystem reads by
// name. They change only through /QUIBO keywords and the configuration file.
#pragma once

#include <ctime>
#include <cstdint>
#include <string>

struct HostSession;

#define QUIBO_VER "Version 3.7.86"

// A setting that holds two texts (alert target and the server or word it applies to).
struct SettingTextPair {
    std::string text[2];
    bool set = false;
    void clear()
    {
        text[0].clear();
        text[1].clear();
        set = false;
    }
};

// A text setting that may be unset (null).
struct OptionalText {
    std::string value;
    bool set = false;
    const char* c_str() const { return set ? value.c_str() : nullptr; }
    void assign(const std::string& v)
    {
        value = v;
        set = true;
    }
    void clear()
    {
        value.clear();
        set = false;
    }
};

constexpr int kParserModeCount = 19;

extern int iFlagDebugMode;
extern int iFlagLogFile;
extern int iFlagCloneDetect;
extern int iFlagPrintClone;
extern int iFlagPrintList;
extern int iFlagColor;
extern int iMaxCloneCount;
extern int iFlagQueryBeep;
extern int iFlagNickBeep;
extern int iFlagDomainMonitoring;
extern int iFlagNickJoinMonitoring;
extern int iMaxQueryMSGFlood;
extern int iFlagCTCPAnswer;
extern time_t tCTCPFloodTimer;
extern int iFlagBeep;
extern time_t tSoundCommandTimer;
extern int iMaxMessageSent;
extern time_t tMinSecondSent;
extern int iFlagTextFloodOutgoing;
extern SettingTextPair psFlagChanJoinBeep;
extern SettingTextPair psFlagChanModBeep;
extern SettingTextPair psFlagChanWordBeep;
extern OptionalText psPrefixOutput;
extern OptionalText psPostfixOutput;
extern int iFlagIgnoreMessage;
extern int iFlagQuiboMessage;
extern int iFlagLocalUserModeChg;
extern int iFlagDebugModeFnc;
extern int iFlagEnableDatabase;
extern int iFlagEnableEvent;
extern OptionalText psMessageLanguage;
extern OptionalText psAwayPostfix;
extern int iFlagAwaySystem;
extern OptionalText psPipeCommand;
extern OptionalText psAudioDevice;
extern int iMaxMessageChar;
extern OptionalText psIdentifyCommand;
extern int iFlagErrorMessage;
extern int iFlagDisableDBUpdating;
extern int iFlagMonitoringMessage;
extern int iFlagAwayMessage;
extern int iFlagCurrentTab;
extern int iFlagTextFloodError;
extern int iFlagBadWordSystem;
extern int iFlagBadWordMessage;
extern int iFlagEventsManagerDebug;
extern int iFlagParserMode[kParserModeCount];
extern int iFlagTextFloodIncoming;
extern int iFlagAdvancedLog;
extern int iPrivateKillerAlert;
extern int iFlagFilterSystem;
extern int iPrivateKillerMessage;
extern int iFlagKeepQueueCommandCorrupted;
extern int iPKIgnoreCTCPVersion;
extern int iPKAllowOnTimeout;
extern int iFlagDisableSHBM;

// Switches that are not stored in the configuration file.
extern int iFlagTextFloodOutgoing_internal;
extern int iFlagErrorMessage_internal;
extern int16_t sFlagEnableQUERY;
extern int16_t sFlagWhoError;
extern int16_t sQueueOnLoad;
extern time_t tMaxElaborationTime;
extern int iFlagDisableDebugPlugin;
extern int iFlagPipeCommand_internal;

extern std::string psQuiboscriptRC;

// Error reports are printed only when the user and the internal gate both allow them.
inline bool error_output_on() { return iFlagErrorMessage && iFlagErrorMessage_internal; }

// ---- configuration file ------------------------------------------------------

constexpr int iSetupVersion = 38;         // the version WriteSetup writes
constexpr int iMinimunSetupVersion = 14;  // the oldest version ReadSetup accepts
constexpr int kMaxSetupText = 4096;       // longest text the reader accepts

extern int flag_write_setup_failed;

// "<home>/.xchat2/quiboscript/quiborc"
std::string default_setup_path();
// True when `path` names the default file, compared without regard to case.
bool is_default_setup_path(const std::string& path);
// Reads the file named by psQuiboscriptRC into the settings; reports in the current window.
void ReadSetup(HostSession* sess);
// Writes every stored setting to psQuiboscriptRC (through a checked temporary file).
void WriteSetup();
// The bytes WriteSetup writes for the current settings.
std::string SetupImage();

// Every stored setting back to its reset value (the parser switches are left alone).
void ResetSettings();
// Frees the text settings and the alert pairs (unload).
void ConfigCleaning();

// A language file that would not load: separator, error sound, the notice.
void report_language_failure(HostSession* where, const char* language);

// ---- help table and parser labels ---------------------------------------------

// One row of the settings help: keyword, syntax format (shows the current
// value with %d or %s), the message that describes the setting, the value.
struct SettingDescriptor {
    const char* keyword;
    const char* syntax;
    int message;
    const int* number;          // for numbers and switches
    const time_t* seconds;      // for time settings
    const OptionalText* text;   // for text settings
};
constexpr int kSettingDescriptorCount = 46;
extern const SettingDescriptor aSettingDescriptor[kSettingDescriptorCount];
// The syntax text of a row with the setting's current value filled in.
std::string setting_syntax(const SettingDescriptor& row);

extern const char* const apsFlagParseMode[kParserModeCount];
