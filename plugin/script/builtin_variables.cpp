// The built-in variables: the window's own values and the plug-in's state, read
// at the moment of substitution.
#include "script/internal.h"
#include "script/script.h"

#include "handlers/handlers.h"
#include "host/host.h"
#include "host/lifecycle.h"
#include "pipeline/commands.h"
#include "queue/queue.h"
#include "settings/settings.h"

#include <algorithm>
#include <array>
#include <unordered_map>

// State of other parts of the plug-in that no part keeps yet: always zero or empty.
namespace {
int16_t sNoSendJoinEvent = 0;
const std::string acMessageModified;
const time_t tPreviousMessage = 0;
}  // namespace

namespace {

using Getter = std::string (*)();

struct BuiltinVariable {
    const char* name;  // without "$"
    Getter value;
};

std::string number(long long value) { return std::to_string(value); }
std::string text(const OptionalText& setting) { return setting.set ? setting.value : std::string(); }

// A value of the window's client context; empty when it has none.
std::string window_info(const char* id)
{
    std::string value;
    if (HostSession* sess = script_window()) in_session(sess, nullptr, [&] { value = or_empty(plugin().get_info(id)); });
    return value;
}

const HostServer* window_server() { return script_window() ? script_window()->server : nullptr; }

std::string server_text(std::string HostServer::*field)
{
    const HostServer* serv = window_server();
    return serv ? serv->*field : std::string();
}

// Users of the window's channel whose prefix is `prefix`; all users for 0.
std::string count_users(char prefix)
{
    HostSession* sess = script_window();
    if (!sess || sess->type != 2) return "0";
    const std::vector<HostUser>& users = zem_userlist_flat_list(sess);
    if (prefix == 0) return number(static_cast<long long>(users.size()));
    return number(std::count_if(users.begin(), users.end(),
                                [prefix](const HostUser& u) { return !u.prefix.empty() && u.prefix[0] == prefix; }));
}

std::string quit_reason()
{
    const char* reason = nullptr;
    int integer = 0;
    if (!script_window() || plugin().get_prefs("irc_quit_reason", &reason, &integer) != 1) return {};
    return or_empty(reason);
}

// Session values first, then the plug-in's state; a name that begins another
// comes after it, so the longer one is tried first.
const BuiltinVariable kBuiltinVariables[] = {
    {"nickname", [] { return server_text(&HostServer::nick); }},
    {"password", [] { return server_text(&HostServer::password); }},
    {"session", [] { return script_window() ? script_window()->channel : std::string(); }},
    {"servername", [] { return server_text(&HostServer::servername); }},
    {"network", [] { return server_text(&HostServer::hostname); }},
    // The channel's limit, modes and key are held only in the client's own records.
    {"chanlimit", [] { return std::string(); }},
    {"opnum", [] { return count_users('@'); }},
    {"hopnum", [] { return count_users('%'); }},
    {"voicenum", [] { return count_users('+'); }},
    {"usernum", [] { return count_users(0); }},
    {"quitreason", quit_reason},
    {"chantopic", [] { return window_info("topic"); }},
    {"chanmode", [] { return std::string(); }},
    {"chankey", [] { return std::string(); }},
    {"sesstype", [] { return script_window() ? number(script_window()->type) : std::string(); }},
    {"iPidOfProcess", [] { return number(iPidOfProcess); }},
    {"acNameOfFatherProcess", [] { return acNameOfFatherProcess; }},
    {"iFlagDebugModeFnc", [] { return number(iFlagDebugModeFnc); }},
    {"iFlagLogFile", [] { return number(iFlagLogFile); }},
    {"iFlagCloneDetect", [] { return number(iFlagCloneDetect); }},
    {"iFlagPrintClone", [] { return number(iFlagPrintClone); }},
    {"iFlagPrintList", [] { return number(iFlagPrintList); }},
    {"iFlagColor", [] { return number(iFlagColor); }},
    {"iMaxCloneCount", [] { return number(iMaxCloneCount); }},
    {"iFlagQueryBeep", [] { return number(iFlagQueryBeep); }},
    {"iFlagNickBeep", [] { return number(iFlagNickBeep); }},
    {"iFlagDomainMonitoring", [] { return number(iFlagDomainMonitoring); }},
    {"iFlagNickJoinMonitoring", [] { return number(iFlagNickJoinMonitoring); }},
    {"iMaxQueryMSGFlood", [] { return number(iMaxQueryMSGFlood); }},
    {"iFlagCTCPAnswer", [] { return number(iFlagCTCPAnswer); }},
    {"tCTCPFloodTimer", [] { return number(tCTCPFloodTimer); }},
    {"iFlagBeep", [] { return number(iFlagBeep); }},
    {"tSoundCommandTimer", [] { return number(tSoundCommandTimer); }},
    {"iMaxMessageSent", [] { return number(iMaxMessageSent); }},
    {"tMinSecondSent", [] { return number(tMinSecondSent); }},
    {"iFlagTextFloodOutgoing", [] { return number(iFlagTextFloodOutgoing); }},
    {"iFlagTextFloodIncoming", [] { return number(iFlagTextFloodIncoming); }},
    {"iFlagTextFloodError", [] { return number(iFlagTextFloodError); }},
    {"psFlagChanJoinBeep[0]", [] { return psFlagChanJoinBeep.text[0]; }},
    {"psFlagChanJoinBeep[1]", [] { return psFlagChanJoinBeep.text[1]; }},
    {"psFlagChanModBeep[0]", [] { return psFlagChanModBeep.text[0]; }},
    {"psFlagChanModBeep[1]", [] { return psFlagChanModBeep.text[1]; }},
    {"psFlagChanWordBeep[0]", [] { return psFlagChanWordBeep.text[0]; }},
    {"psFlagChanWordBeep[1]", [] { return psFlagChanWordBeep.text[1]; }},
    {"psPrefixOutput", [] { return text(psPrefixOutput); }},
    {"psPostfixOutput", [] { return text(psPostfixOutput); }},
    {"iFlagIgnoreMessage", [] { return number(iFlagIgnoreMessage); }},
    {"iFlagQuiboMessage", [] { return number(iFlagQuiboMessage); }},
    {"iFlagLocalUserModeChg", [] { return number(iFlagLocalUserModeChg); }},
    {"psMessageLanguage", [] { return text(psMessageLanguage); }},
    {"psAwayPostfix", [] { return text(psAwayPostfix); }},
    {"iFlagAwaySystem", [] { return number(iFlagAwaySystem); }},
    {"psPipeCommand", [] { return text(psPipeCommand); }},
    {"psAudioDevice", [] { return text(psAudioDevice); }},
    {"iMaxMessageChar", [] { return number(iMaxMessageChar); }},
    {"psIdentifyCommand", [] { return text(psIdentifyCommand); }},
    {"iFlagErrorMessage", [] { return number(iFlagErrorMessage); }},
    {"iFlagCurrentTab", [] { return number(iFlagCurrentTab); }},
    {"iFlagMonitoringMessage", [] { return number(iFlagMonitoringMessage); }},
    {"iFlagAwayMessage", [] { return number(iFlagAwayMessage); }},
    {"iFlagBadWordSystem", [] { return number(iFlagBadWordSystem); }},
    {"iFlagBadWordMessage", [] { return number(iFlagBadWordMessage); }},
    {"iFlagEventsManagerDebug", [] { return number(iFlagEventsManagerDebug); }},
    {"iFlagAdvancedLog", [] { return number(iFlagAdvancedLog); }},
    {"iPrivateKillerMessage", [] { return number(iPrivateKillerMessage); }},
    {"iPrivateKillerAlert", [] { return number(iPrivateKillerAlert); }},
    {"iPKIgnoreCTCPVersion", [] { return number(iPKIgnoreCTCPVersion); }},
    {"iFlagFilterSystem", [] { return number(iFlagFilterSystem); }},
    {"iFlagDebugMode", [] { return number(iFlagDebugMode); }},
    {"iFlagEnableDatabase", [] { return number(iFlagEnableDatabase); }},
    {"iFlagDisableDBUpdating", [] { return number(iFlagDisableDBUpdating); }},
    {"iFlagKeepQueueCommandCorrupted", [] { return number(iFlagKeepQueueCommandCorrupted); }},
    {"iFlagDisableSHBM", [] { return number(iFlagDisableSHBM); }},
    {"iFlagEnableEvent", [] { return number(iFlagEnableEvent); }},
    {"sFlagEndMacro", [] { return number(sFlagEndMacro); }},
    {"sFlagAway", [] { return number(sFlagAway); }},
    {"sNoFloodWarning", [] { return number(sNoFloodWarning); }},
    {"sWhoDatabaseUpdate", [] { return number(sWhoDatabaseUpdate); }},
    {"sFlagCloseWindow_Part", [] { return number(sFlagCloseWindow_Part); }},
    {"sFlagLockCheckUpDB", [] { return number(sFlagLockCheckUpDB); }},
    {"sFlagTimerLock", [] { return number(sFlagTimerLock); }},
    {"sFlagEnableQUERY", [] { return number(sFlagEnableQUERY); }},
    {"ssQueueLock", [] { return number(ssQueueLock); }},
    {"sNoSendJoinEvent", [] { return number(sNoSendJoinEvent); }},
    {"sFlagWhoError", [] { return number(sFlagWhoError); }},
    {"sQueueOnLoad", [] { return number(sQueueOnLoad); }},
    {"iObjectInQueue", [] { return number(iObjectInQueue); }},
    {"acAwayMessage", [] { return acAwayMessage; }},
    {"acMessageModified", [] { return acMessageModified; }},
    {"tPreviousMessage", [] { return number(tPreviousMessage); }},
    {"psFlagDisableUpdateChannel", [] { return psFlagDisableUpdateChannel; }},
    {"output", [] { return psOutput_OperatingSystem; }},
};
// Fifteen values of the window and 77 of the plug-in's state.
static_assert(std::size(kBuiltinVariables) == 92);

// The names by their first character, longest first within each, so that a
// lookup tries a handful of names instead of all of them.
struct Index {
    std::array<std::vector<const BuiltinVariable*>, 256> by_first;
    std::unordered_map<std::string_view, const BuiltinVariable*> by_name;

    Index()
    {
        for (const BuiltinVariable& v : kBuiltinVariables) {
            by_first[static_cast<unsigned char>(v.name[0])].push_back(&v);
            by_name.emplace(v.name, &v);
        }
        for (auto& bucket : by_first)
            std::stable_sort(bucket.begin(), bucket.end(), [](const BuiltinVariable* a, const BuiltinVariable* b) {
                return std::string_view(a->name).size() > std::string_view(b->name).size();
            });
    }
};

const Index& index()
{
    static const Index built;
    return built;
}

}  // namespace

HostSession* script_window() { return g_sess && g_sess->server ? g_sess : nullptr; }

size_t builtin_variable_at(const std::string& text, size_t at)
{
    if (at >= text.size()) return 0;
    for (const BuiltinVariable* v : index().by_first[static_cast<unsigned char>(text[at])]) {
        const std::string_view name = v->name;
        if (text.compare(at, name.size(), name) == 0) return name.size();
    }
    return 0;
}

std::optional<std::string> builtin_variable_value(std::string_view name)
{
    const auto& by_name = index().by_name;
    const auto found = by_name.find(name);
    if (found == by_name.end()) return std::nullopt;
    return found->second->value();
}
