// /QUIBO var, save, read, parser and the alert targets join, mod and word.
#include "host/host.h"
#include "host/lifecycle.h"
#include "host/paths.h"
#include "output/output.h"
#include "settings/keywords.h"
#include "settings/messages.h"
#include "settings/settings.h"

#include <utilities.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr const char* kDataFolder = ".xchat2/quiboscript/";

// ---- var ----------------------------------------------------------------------

// One line of the listing: a message and the setting whose value it shows.
struct ListedSetting {
    int message;
    const int* number = nullptr;
    const time_t* seconds = nullptr;
    const OptionalText* text = nullptr;
    const SettingTextPair* pair = nullptr;
};

#define N(message, variable) {message, &variable}
#define T(message, variable) {message, nullptr, &variable}
#define S(message, variable) {message, nullptr, nullptr, &variable}
#define P(message, variable) {message, nullptr, nullptr, nullptr, &variable}

const ListedSetting kListedSettings[] = {
    S(702, psAudioDevice),         N(748, iFlagAwayMessage),        S(603, psAwayPostfix),
    N(438, iFlagBeep),             N(785, iFlagBeep),               N(786, iFlagBeep),
    N(439, iFlagQuiboMessage),     N(440, iMaxCloneCount),          N(441, iFlagCloneDetect),
    N(442, iFlagPrintClone),       N(443, iFlagColor),              N(444, iFlagCTCPAnswer),
    T(445, tCTCPFloodTimer),       N(751, iFlagCurrentTab),         N(446, iFlagDebugMode),
    N(447, iFlagDomainMonitoring), N(991, iFlagFilterSystem),       N(736, iFlagErrorMessage),
    N(793, iFlagEventsManagerDebug), S(726, psIdentifyCommand),     N(448, iFlagPrintList),
    N(449, iFlagPrintList),        N(450, iFlagNickJoinMonitoring), N(451, iFlagLogFile),
    N(806, iFlagAdvancedLog),      N(452, iMaxQueryMSGFlood),       N(714, iMaxMessageChar),
    N(453, iMaxMessageSent),       T(454, tMinSecondSent),          N(741, iFlagMonitoringMessage),
    N(455, iFlagLocalUserModeChg), N(456, iFlagQueryBeep),          S(609, psPipeCommand),
    S(457, psPostfixOutput),       S(458, psPrefixOutput),          N(1027, iPrivateKillerMessage),
    N(841, iPrivateKillerAlert),   N(1094, iPKAllowOnTimeout),      N(1090, iPKIgnoreCTCPVersion),
    N(459, iFlagQueryBeep),        N(607, iFlagAwaySystem),         T(460, tSoundCommandTimer),
    N(797, iFlagTextFloodIncoming), N(461, iFlagTextFloodOutgoing), N(757, iFlagTextFloodError),
    P(462, psFlagChanJoinBeep),    P(463, psFlagChanModBeep),       P(464, psFlagChanWordBeep),
    {0},  // separator
    N(465, iFlagDebugModeFnc),     N(466, iFlagEnableDatabase),     N(737, iFlagDisableDBUpdating),
    N(467, iFlagEnableEvent),      N(1043, iFlagKeepQueueCommandCorrupted), N(1095, iFlagDisableSHBM),
};

#undef N
#undef T
#undef S
#undef P

const char* shown(const OptionalText& text) { return text.set ? text.value.c_str() : "(null)"; }
const char* shown_half(const SettingTextPair& pair, int index) { return pair.set ? pair.text[index].c_str() : "(null)"; }

void print_listed(HostSession* where, const ListedSetting& line)
{
    const char* format = line.message ? GetMessage(line.message) : kSeparatorLine;
    if (!line.message)
        sPrintText(where, "%s", format);
    else if (line.number)
        sPrintText(where, format, *line.number);
    else if (line.seconds)
        sPrintText(where, format, static_cast<int>(*line.seconds));
    else if (line.text)
        sPrintText(where, format, shown(*line.text));
    else
        sPrintText(where, format, shown_half(*line.pair, 0), shown_half(*line.pair, 1));
}

void print_places(HostSession* where, HostSession* sess)
{
    const HostServer* server = sess ? sess->server : nullptr;
    const char* none = GetMessage(403);
    const char* host = server && !server->hostname.empty() ? server->hostname.c_str() : none;
    const char* name = server && !server->servername.empty() ? server->servername.c_str() : none;
    sPrintText(where, "%s", kSeparatorLine);
    sPrintText(where, GetMessage(802), host);
    sPrintText(where, GetMessage(468), name);
    sPrintText(where, GetMessage(469), kDataFolder, host);
    sPrintText(where, GetMessage(706), kDataFolder, server && !server->hostname.empty() ? host : "quibo");
    sPrintText(where, GetMessage(470), ".xchat2/quiboscript/quibo.nik");
    sPrintText(where, "%s", kSeparatorLine);
}

bool run_var(QuiboCommand& cmd, const void*)
{
    if (strstr(cmd.arg(3), "reset")) ResetSettings();
    HostSession* where = cmd.where();
    sPrintText(where, "%s", kSeparatorLine);
    for (const ListedSetting& line : kListedSettings) print_listed(where, line);
    print_places(where, cmd.sess);
    return true;
}

// ---- save / read ------------------------------------------------------------

std::string in_home(const char* name) { return name[0] == '/' ? name : quibo_home() + "/" + name; }

// Points the configuration path at word 3 (relative to the home folder) or the default.
void choose_setup_file(const QuiboCommand& cmd)
{
    psQuiboscriptRC = cmd.has_arg(3) ? in_home(cmd.arg(3)) : default_setup_path();
}

bool run_save(QuiboCommand& cmd, const void*)
{
    choose_setup_file(cmd);
    WriteSetup();
    if (!flag_write_setup_failed) {
        if (!is_default_setup_path(psQuiboscriptRC))
            sPrintText(cmd.sess, "\0033Configuration file\0038 %s\0033 saved successfully.", psQuiboscriptRC.c_str());
        else
            PrintText(cmd.sess, GetMessage(506));
    }
    psQuiboscriptRC = default_setup_path();
    return true;
}

bool run_read(QuiboCommand& cmd, const void*)
{
    choose_setup_file(cmd);
    ReadSetup(cmd.sess);
    load_language_reported(cmd.where(), psMessageLanguage.c_str() ? psMessageLanguage.c_str() : "");
    psQuiboscriptRC = default_setup_path();
    return true;
}

// ---- parser -------------------------------------------------------------------

const char* parse_state(int flag) { return flag ? "\0033ENABLED" : "\0034DISABLED"; }

bool run_parser(QuiboCommand& cmd, const void*)
{
    HostSession* where = cmd.where();
    char* end = nullptr;
    long section = -1;
    if (cmd.has_arg(3)) {
        long value = strtol(cmd.arg(3), &end, 10);
        if (end != cmd.arg(3)) section = value;
    }
    int value = cmd.has_arg(4) ? clamped_int(cmd.arg(4)) : 0;
    if (section >= 0 && section < kParserModeCount) {
        iFlagParserMode[section] = value;
        sPrintText(where, "\0035Parsing of \0036%s\0035 message is %s", apsFlagParseMode[section], parse_state(value));
        return true;
    }
    for (int i = 0; i < kParserModeCount; ++i)
        sPrintText(where, "\0035Parsing of \0036%10s\0035 (\0037 %2d \0035) message is %s", apsFlagParseMode[i], i,
                   parse_state(iFlagParserMode[i]));
    sPrintText(where, "Syntax :\0033/quibo parser <section_number> <1/0>");
    sPrintText(where, "Example:\0036/quibo parser 3 0");
    return true;
}

// ---- join / mod / word ---------------------------------------------------------

struct AlertTarget {
    const char* keyword;
    SettingTextPair* pair;
    int cleared_message;
    int set_message;
};

const AlertTarget kAlertTargets[] = {
    {"join", &psFlagChanJoinBeep, 496, 497},
    {"mod", &psFlagChanModBeep, 498, 499},
};

std::string channel_of(const HostSession* sess) { return sess ? sess->channel : std::string(); }
std::string server_of(const HostSession* sess)
{
    return sess && sess->server ? sess->server->servername : std::string();
}

void set_pair(SettingTextPair& pair, const std::string& first, const std::string& second)
{
    pair.text[0] = first;
    pair.text[1] = second;
    pair.set = true;
}

bool run_alert_target(QuiboCommand& cmd, const void* data)
{
    const auto& row = *static_cast<const AlertTarget*>(data);
    HostSession* where = cmd.where();
    if (strcmp(cmd.arg(3), "\\") == 0) {
        row.pair->clear();
        sPrintText(where, "%s", GetMessage(row.cleared_message));
        return true;
    }
    if (!text_fits(cmd, cmd.arg(3))) return true;
    set_pair(*row.pair, cmd.has_arg(3) ? cmd.arg(3) : channel_of(cmd.sess), server_of(cmd.sess));
    sPrintText(where, GetMessage(row.set_message), row.pair->text[0].c_str(), row.pair->text[1].c_str());
    return true;
}

// The local user's nickname on the session's server, as the client knows it.
std::string local_nickname(const HostSession* sess) { return sess && sess->server ? sess->server->nick : ""; }

bool run_word(QuiboCommand& cmd, const void*)
{
    HostSession* where = cmd.where();
    SettingTextPair& pair = psFlagChanWordBeep;
    if (strcmp(cmd.arg(3), "\\") == 0) {
        pair.clear();
        sPrintText(where, "%s", GetMessage(507));
        return true;
    }
    if (!text_fits(cmd, cmd.arg(3))) return true;
    if (cmd.has_arg(3)) {
        set_pair(pair, strcmp(cmd.arg(4), "*") == 0 ? "*" : channel_of(cmd.sess), cmd.arg(3));
    } else if (!iFlagEnableDatabase) {
        sPrintText(where, "%s", GetMessage(285));
        return true;
    } else {
        std::string nick = local_nickname(cmd.sess);
        if (nick.empty()) {
            pair.clear();
            sPrintText(where, "%s", GetMessage(509));
            return true;
        }
        set_pair(pair, channel_of(cmd.sess), nick);
    }
    sPrintText(where, GetMessage(508), pair.text[0].c_str(), pair.text[1].c_str());
    return true;
}

}  // namespace

void add_settings_commands(std::vector<QuiboKeyword>& table)
{
    table.push_back({"var", run_var});
    table.push_back({"save", run_save});
    table.push_back({"read", run_read});
    table.push_back({"parser", run_parser});
    for (const AlertTarget& row : kAlertTargets) table.push_back({row.keyword, run_alert_target, &row});
    table.push_back({"word", run_word});
}
