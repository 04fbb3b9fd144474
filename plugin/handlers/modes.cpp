// Mode changes, NAMES replies, invitations and the notify list.
#include "handlers/handlers.h"

#include "events/events.h"
#include "host/host.h"
#include "output/output.h"
#include "pipeline/commands.h"
#include "pipeline/sessions.h"
#include "protection/words.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string_view>

// Stand-ins until the WHO reconciliation provides them.
__attribute__((weak)) int16_t sNoSendJoinEvent = 0;
__attribute__((weak)) void _UpdateDatabaseForced(ParseVars&) {}

namespace {

const char* value(const ParseText& text) { return text ? text->c_str() : ""; }
bool filled(const ParseText& text) { return text && !text->empty(); }
bool filled(const char* text) { return text && *text; }
const char* or_else(const ParseText& text, const char* fallback) { return filled(text) ? text->c_str() : fallback; }

// ---- the status prefix kept in a record's WHO text ------------------------------------------------------

// How one mode change rewrites the status part (before the first ':'): `blocked_by` holds prefixes that rank at
// least as high as the granted one (the text is then left alone), `dropped` the prefixes the change removes,
// `granted` the prefix put in the first blank.
struct StatusRewrite {
    std::string_view mode;
    std::string_view blocked_by;
    std::string_view dropped[3];
    std::string_view granted;
};

constexpr StatusRewrite kStatusRewrites[] = {
    {"+q", "~", {"@ ", "% ", "+ "}, "~ "},
    {"+o", "~@", {"% ", "+ "}, "@ "},
    {"+h", "~@%", {"+ "}, "% "},
    {"+v", "~@%+", {}, "+ "},
    {"-q", "", {"~ "}, ""},
    {"-o", "", {"@ "}, ""},
    {"-h", "", {"% "}, ""},
    {"-v", "", {"+ "}, ""},
};

// Replaces the first `from` that starts before `end` with `to`; the new end of the status part.
size_t replace_in_status(std::string& info, size_t end, std::string_view from, std::string_view to)
{
    const size_t at = info.find(from);
    if (at == std::string::npos || at >= end) return end;
    info.replace(at, from.size(), to);
    return end - from.size() + to.size();
}

// The WHO text of a user after the mode change, or nothing when the change does not touch it.
std::optional<std::string> rewritten_status(std::string info, std::string_view mode)
{
    for (const StatusRewrite& rewrite : kStatusRewrites) {
        if (rewrite.mode != mode) continue;
        size_t end = std::min(info.find(':'), info.size());
        if (info.substr(0, end).find_first_of(rewrite.blocked_by) != std::string::npos) return std::nullopt;
        for (std::string_view dropped : rewrite.dropped)
            if (!dropped.empty()) end = replace_in_status(info, end, dropped, " ");
        if (!rewrite.granted.empty()) replace_in_status(info, end, " ", rewrite.granted);
        return info;
    }
    return std::nullopt;
}

void rewrite_status(ChatUser* record, const char* mode)
{
    if (!record || !filled(mode) || !filled(record->psInfo())) return;
    if (std::optional<std::string> info = rewritten_status(record->psInfo(), mode)) record->set_info(info->c_str());
}

// ---- answers to a mode change on the local user ---------------------------------------------------------

bool holds_any(std::string_view text, std::initializer_list<std::string_view> parts)
{
    for (std::string_view part : parts)
        if (text.find(part) != std::string_view::npos) return true;
    return false;
}

const char* rank_text(std::string_view mode)
{
    if (mode.find_first_of("aqo") != std::string_view::npos) return GetMessage(727);
    if (mode.find('h') != std::string_view::npos) return GetMessage(728);
    return GetMessage(31);
}

bool is_local_user(const ParseVars& vars, const ChatUser* record)
{
    if (!record) return false;
    if (record->usSpecial == 1) return true;
    return record->psUserNick() && strcasecmp(record->psUserNick(), vars.psLocalNickname.c_str()) == 0;
}

void answer_own_mode(const ParseVars& vars, const ChatUser* record)
{
    const char* setter = value(vars.psLocalUserNick);
    const char* target = value(vars.psRemoteUserNick);
    if (!iFlagLocalUserModeChg || strcasecmp(setter, target) == 0 || !is_local_user(vars, record)) return;
    const std::string_view mode = value(vars.psMessageData);
    const bool away = vars.iLocalUserAway != 0;
    const bool auto_unmark = host_pref_int(HostPref::AwayAutoUnmark) != 0;
    const std::string who = double_percent(setter);
    const std::string place = double_percent(or_else(vars.psChannelName, vars.psCurrentServerName.c_str()));
    HostSession* sess = GetSession(vars.pSess, vars.psLocalNickname.c_str(), target, value(vars.psChannelName),
                                   vars.psCurrentServerName.c_str());
    const bool granted = holds_any(mode, {"+a", "+q", "+o", "+h", "+v"});
    if (!granted && away != auto_unmark)
        QueueMessageCommand(sess, 33, who.c_str(), who.c_str(), rank_text(mode), place.c_str());
    if (granted && (!away || !auto_unmark))
        QueueMessageCommand(sess, 30, who.c_str(), who.c_str(), rank_text(mode), place.c_str());
    if (iFlagQuiboMessage && away != auto_unmark) QueueMessageCommand(sess, 32, who.c_str(), QUIBO_MESSAGE);
}

// ---- invitations ----------------------------------------------------------------------------------------

// The invitation handler's own timers: its warnings and away answers are paced apart from private messages'.
time_t tLastInviteFloodWarning = 0;
time_t tLastInviteAwayAnswer = 0;

struct Invitation {
    ParseVars& vars;
    const char* nick;
    const char* address;
    const char* channel;
    const char* text;
    const char* server;
    ChatUser* record = nullptr;
};

ChatUser* find_inviter(const Invitation& in)
{
    if (ChatUser* user = GetUser(in.server, nullptr, in.nick, in.address, nullptr)) return user;
    return GetUser(in.server, nullptr, in.nick, nullptr, nullptr);
}

// The record follows the client's ignore list (private, notice or channel ignores).
void mirror_ignore(const Invitation& in)
{
    const std::string full = std::string(in.nick) + "!" + in.address;
    for (const IgnoreEntry& entry : ignore_list) {
        if (!(entry.flags & (1 | 2 | 4)) || !match(entry.mask.c_str(), full.c_str())) continue;
        if (in.record->uiStatus != 255 && error_output_on())
            sPrintText(GetContext(in.server, in.channel), GetMessage(760), in.nick, in.address);
        in.record->uiStatus = 255;
        return;
    }
    if (in.record->uiStatus != 255) return;
    in.record->uiStatus = 0;
    if (error_output_on()) sPrintText(GetContext(in.server, in.channel), GetMessage(761), in.nick, in.address);
}

HostSession* event_session(const Invitation& in)
{
    return GetSession(in.vars.pSess, in.vars.psLocalNickname.c_str(), in.nick, in.channel, in.server);
}

void check_bad_words(const Invitation& in)
{
    if (!iFlagBadWordSystem) return;
    const bool shown = iFlagBadWordMessage && error_output_on();
    const char* local = in.vars.psLocalNickname.c_str();
    std::string word;
    if (return_badword(in.text, &word, badword_list, 0)) {
        if (shown) MonitoringLine(in.channel, in.nick, GetMessage(837), in.channel, in.server, word.c_str(), in.nick);
        ++in.record->uiBadCount;
        VerifyEvent(event_session(in), "badword", local, in.nick, in.address, in.channel, in.server,
                    std::to_string(in.record->uiBadCount).c_str());
    }
    if (return_badword(in.nick, &word, badnick_list, 1)) {
        if (shown) MonitoringLine(in.channel, in.nick, GetMessage(838), in.channel, in.server, in.nick, word.c_str());
        ++in.record->uiBadCount;
        VerifyEvent(event_session(in), "badnick", local, in.nick, in.address, in.channel, in.server,
                    std::to_string(in.record->uiBadCount).c_str());
    }
}

void check_flood(const Invitation& in)
{
    if (!iFlagTextFloodIncoming) return;
    ChatUser& user = *in.record;
    const time_t now = in.vars.tCurrentTime;
    if (user.tLastMessage == 0) user.tLastMessage = now;
    const bool short_text = iMaxMessageChar <= 0 || strlen(in.text) <= static_cast<size_t>(iMaxMessageChar);
    if (user.tLastMessage + tMinSecondSent <= now && short_text) {
        user.usFloodCount = 0;
        user.tLastMessage = now;
        return;
    }
    if (++user.usFloodCount <= iMaxMessageSent) return;
    user.usFloodCount = 0;
    user.tLastMessage = now;
    if (error_output_on() && iFlagTextFloodError && tLastInviteFloodWarning + tSoundCommandTimer < now)
        sPrintText(GetContext(in.server, in.channel), GetMessage(10), in.nick, in.channel, in.server);
    tLastInviteFloodWarning = now;
    VerifyEvent(in.vars.pSess, "flood", in.vars.psLocalNickname.c_str(), in.nick, in.address, in.channel, in.server,
                in.text);
}

// While we are away an inviter hears so, at most once per tMinSecondSent and three times in all.
void handle_known_inviter(Invitation& in)
{
    ChatUser& user = *in.record;
    if (filled(user.psAddress()) && strcasecmp(user.psAddress(), in.address) != 0 && sFlagEndWhoCloneScanning == 0) {
        const ParseVars saved = in.vars;
        _UpdateDatabaseForced(in.vars);
        in.vars = saved;
        in.record = find_inviter(in);
        if (!in.record) return;
    }
    mirror_ignore(in);
    const bool guarded = filled(in.record->psInfo()) || iPrivateKillerAlert > 0;
    if (in.record->uiStatus != 255 && in.vars.pSess && guarded) {
        check_bad_words(in);
        check_flood(in);
        tLastQueryTime = in.vars.tCurrentTime;
        SendAwayAnswer(in.vars, *in.record, tLastInviteAwayAnswer, AwayAnswerKind::Invitation);
        if (iFlagQueryBeep && in.record->uiQuery == 0) SoundDeviceBusy("alert", tSoundCommandTimer);
        VerifyEvent(in.vars.pSess, "invite", in.vars.psLocalNickname.c_str(), in.nick, in.address, in.channel,
                    in.server, in.text);
    }
    in.record->tLastMessage = in.vars.tCurrentTime;
}

// An inviter the database lacks is recorded, then handled as a known one. False when it was not recorded.
bool record_inviter(Invitation& in)
{
    if (sNoSendJoinEvent || iFlagDisableDBUpdating) return false;
    HostServer* serv = in.vars.pSess ? in.vars.pSess->server : nullptr;
    if (serv && find_name_global(serv, in.nick)) {
        quibo_play_sound("warning");
        if (is_session(current_tab) && error_output_on()) sPrintText(current_tab, GetMessage(21), in.nick, in.server);
        const ParseVars saved = in.vars;
        _UpdateDatabaseForced(in.vars);
        in.vars = saved;
    }
    ChatUserPtr user = CreateUser(in.server, in.channel, in.nick, in.address, nullptr);
    if (!InsertUser(user)) {
        FreeUser(user);
        return false;
    }
    IsDatabaseChanged();
    in.record = find_inviter(in);
    if (in.record) in.record->tLastMessage = in.vars.tCurrentTime;
    return in.record != nullptr;
}

}  // namespace

int case_mode(ParseVars& vars)
{
    HandlerLog(vars, "MODE", "MODE: ", "opnick:[%s] opaddress:[%s] channel:[%s] data:[%s] nick:[%s]",
               value(vars.psLocalUserNick), value(vars.psLocalUserAddress), value(vars.psChannelName),
               value(vars.psMessageData), value(vars.psRemoteUserNick));
    const char* server = vars.psCurrentServerName.c_str();
    const char* channel = value(vars.psChannelName);
    const char* mode = value(vars.psMessageData);
    if (!iFlagEnableDatabase || !filled(vars.psRemoteUserNick) || !filled(vars.psLocalUserNick)) {
        if (iFlagEnableEvent)
            VerifyEvent(vars.pSess, "mode", "", value(vars.psLocalUserNick), value(vars.psLocalUserAddress), channel,
                        server, mode);
        ResetLocalVariables(vars);
        return 0;
    }
    ChatUser* record = GetUser(server, channel, vars.psRemoteUserNick->c_str(), nullptr, nullptr);
    rewrite_status(record, mode);
    answer_own_mode(vars, record);
    if (iFlagEnableEvent && (!record || record->uiStatus != 255)) {
        HostSession* sess = GetSession(vars.pSess, vars.psLocalNickname.c_str(), value(vars.psRemoteUserNick), channel,
                                       server);
        VerifyEvent(sess, "mode", or_else(vars.psRemoteUserNick, channel), or_else(vars.psLocalUserNick, channel),
                    or_else(vars.psLocalUserAddress, channel), channel, server, mode);
    }
    ResetLocalVariables(vars);
    return 0;
}

// Only while a channel scan waits for its listing do the names become records.
int case_names(ParseVars& vars)
{
    HandlerLog(vars, "NAMES", "NAMES: ", "server:[%s] nick:[%s] channel:[%s] nickslist:[%s]",
               value(vars.psServerName), value(vars.psLocalUserNick), value(vars.psChannelName),
               value(vars.psChannelUsers));
    if (sFlagEndWhoCloneScanning != 0 && iFlagEnableDatabase && filled(vars.psChannelName)) {
        std::string_view names = value(vars.psChannelUsers);
        while (!names.empty()) {
            const size_t blank = names.find(' ');
            std::string_view name = names.substr(0, blank);
            names.remove_prefix(blank == std::string_view::npos ? names.size() : blank + 1);
            while (!name.empty() && !is_nickname_char(name.front())) name.remove_prefix(1);
            if (name.empty()) continue;
            ChatUserPtr user = CreateUser(vars.psCurrentServerName.c_str(), vars.psChannelName->c_str(),
                                          std::string(name).c_str(), nullptr, nullptr);
            if (!InsertUser(user)) FreeUser(user);
        }
        IsDatabaseChanged();
    }
    ResetLocalVariables(vars);
    return 0;
}

int case_invite(ParseVars& vars)
{
    HandlerLog(vars, "INVITE", "INVITE: ", "channel:[%s] nick:[%s] address:[%s] data:[%s]", value(vars.psChannelName),
               value(vars.psRemoteUserNick), value(vars.psRemoteUserAddress), value(vars.psMessageData));
    if (iFlagEnableDatabase && filled(vars.psRemoteUserNick)) {
        // Copies: the forced refresh works on the fields of `vars`.
        const std::string nick = *vars.psRemoteUserNick, address = value(vars.psRemoteUserAddress);
        const std::string channel = value(vars.psChannelName), text = value(vars.psMessageData);
        const std::string server = vars.psCurrentServerName;
        Invitation in{vars, nick.c_str(), address.c_str(), channel.c_str(), text.c_str(), server.c_str()};
        in.record = find_inviter(in);
        if (in.record || record_inviter(in)) handle_known_inviter(in);
    }
    ResetLocalVariables(vars);
    return 0;
}

int case_notify(ParseVars& vars)
{
    HandlerLog(vars, "NOTIFY", "NOTIFY: ", "nick:[%s] address:[%s] data:[%s]", value(vars.psRemoteUserNick),
               value(vars.psRemoteUserAddress), value(vars.psMessageData));
    if (iFlagEnableEvent) {
        const char* local = vars.psLocalNickname.c_str();
        const char* nick = value(vars.psRemoteUserNick);
        const char* server = vars.psCurrentServerName.c_str();
        VerifyEvent(GetSession(vars.pSess, local, nick, nullptr, server), "notify", local, nick,
                    value(vars.psRemoteUserAddress), "", server, value(vars.psMessageData));
    }
    ResetLocalVariables(vars);
    return 0;
}
