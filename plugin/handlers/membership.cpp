// Users coming into and leaving channels: JOIN, PART, KICK and QUIT.
//
// The user database follows the channels: a user who leaves loses the record
// of that channel, unless the user's queries were accepted or the user is
// ignored; such a record moves to the zombie channel, so that the user's
// protection state survives until the user quits or the reconciliation drops it.
#include "handlers/membership.h"

#include "events/events.h"
#include "host/host.h"
#include "host/lifecycle.h"
#include "host/paths.h"
#include "host/trace.h"
#include "output/output.h"
#include "pipeline/sessions.h"
#include "queue/queue.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <strings.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

int16_t sFlagLockCheckUpDB = 0;
int16_t sFlagKick = 0;
int16_t sMultipleLocalUser = 0;

namespace membership {

const char* shown(const char* text) { return text ? text : "(null)"; }

bool same_name(const char* a, const char* b) { return a && b && strcasecmp(a, b) == 0; }

std::string text_of(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = vformat(format, args);
    va_end(args);
    return text;
}

void append_log(const std::string& line)
{
    const std::string file = caPathLogFile.empty() ? quibo_data_path("quibo.log") : caPathLogFile;
    sPrintLog(file.c_str(), "%s", line.c_str());
}

HeldErrorOutput::HeldErrorOutput() : saved_(iFlagErrorMessage_internal) { iFlagErrorMessage_internal = 0; }
HeldErrorOutput::~HeldErrorOutput() { iFlagErrorMessage_internal = saved_; }

bool events_wanted() { return iFlagEnableEvent && !sentinel_list.empty(); }

bool is_zombie(const ChatUser* user) { return user->psChannel() && strcmp(user->psChannel(), kZombieChannel) == 0; }

UserSnapshot records_of(const char* server, const char* channel, const char* nick, const char* address)
{
    IsDatabaseChanged();  // a search stops short while the database reads as changed
    return UserSnapshot(server, channel, nick, address, nullptr);
}

void park_as_zombie(ChatUser* user)
{
    if (is_zombie(user)) return;
    ChatUser* parked = GetUser(user->psServer(), kZombieChannel, user->psUserNick(), user->psAddress(), nullptr);
    if (parked && parked != user)
        DeleteUser(user);
    else
        SetUserToZombie(user);
}

}  // namespace membership

using namespace membership;

namespace {

constexpr const char* kUnit = "parser";

const char* server_of(const ParseVars& v) { return v.psCurrentServerName.c_str(); }
const char* local_nick(const ParseVars& v) { return v.psLocalNickname.c_str(); }

// ---- log lines ---------------------------------------------------------------------------------------------

std::string join_line(const ParseVars& v)
{
    return text_of("JOIN: [%d | %s] -> server:[%s] channel:[%s] nick:[%s] address:[%s]", static_cast<int>(v.tCurrentTime),
                   ctime_text(v.tCurrentTime).c_str(), server_of(v), shown(text_or_null(v.psChannelName)),
                   shown(text_or_null(v.psRemoteUserNick)), shown(text_or_null(v.psRemoteUserAddress)));
}

std::string part_line(const ParseVars& v)
{
    return text_of("PART: [%d | %s] -> server:[%s] nick:[%s] address:[%s] channel:[%s]", static_cast<int>(v.tCurrentTime),
                   ctime_text(v.tCurrentTime).c_str(), server_of(v), shown(text_or_null(v.psRemoteUserNick)),
                   shown(text_or_null(v.psRemoteUserAddress)), shown(text_or_null(v.psChannelName)));
}

// `comma` gives the form the corruption report prints (a comma before "data").
std::string kick_line(const ParseVars& v, bool comma)
{
    const char* format = comma ? "KICK: [%d | %s] -> server:[%s] kicked_nick:[%s] kicker_nick:[%s] address:[%s] "
                                 "channel:[%s], data:[%s]"
                               : "KICK: [%d | %s] -> server:[%s] kicked_nick:[%s] kicker_nick:[%s] address:[%s] "
                                 "channel:[%s] data:[%s]";
    return text_of(format, static_cast<int>(v.tCurrentTime), ctime_text(v.tCurrentTime).c_str(), server_of(v),
                   shown(text_or_null(v.psLocalUserNick)), shown(text_or_null(v.psRemoteUserNick)),
                   shown(text_or_null(v.psRemoteUserAddress)), shown(text_or_null(v.psChannelName)),
                   shown(text_or_null(v.psMessageData)));
}

std::string quit_line(const ParseVars& v)
{
    return text_of("QUIT: [%d | %s] -> server:[%s] nick:[%s] address:[%s] data:[%s]", static_cast<int>(v.tCurrentTime),
                   ctime_text(v.tCurrentTime).c_str(), server_of(v), shown(text_or_null(v.psRemoteUserNick)),
                   shown(text_or_null(v.psRemoteUserAddress)), shown(text_or_null(v.psMessageData)));
}

// ---- the corruption report -----------------------------------------------------------------------------

// The database lacks a user the server says was in the channel: reported, and the channel rebuilt when asked.
int report_corruption(ParseVars& v, int line, const std::string& event_line, const char* nick, bool rebuild)
{
    const char* channel = text_or_null(v.psChannelName);
    quibo_play_sound("error");
    printf("[%s:%d]> DATABASE CORRUPTED\n", kUnit, line);
    fflush(stdout);
    if (error_output_on()) {
        HostSession* where = GetContext(server_of(v), channel);
        sPrintText(where, "%s", kSeparatorLine);
        sPrintText(where, GetMessage(8), kUnit, line);
        sPrintText(where, "%s", event_line.c_str());
        sPrintText(where, "%s", kSeparatorLine);
    }
    if (rebuild) UpdateChannel(GetSession(v.pSess, local_nick(v), nick, channel, server_of(v)), channel);
    return 1;
}

// ---- PART ------------------------------------------------------------------------------------------------

// A search on a channel also finds records that name no channel; those are not the channel's.
bool of_channel(const ChatUser* user, const char* channel) { return user && same_name(user->psChannel(), channel); }

// Who leaves the channel: the parting user, or the kicked one.
struct Leaver {
    const char* nick;
    const char* address;
    bool kick;
};

Leaver leaver_of(const ParseVars& v)
{
    if (sFlagKick) return {text_or_null(v.psLocalUserNick), text_or_null(v.psLocalUserAddress), true};
    return {text_or_null(v.psRemoteUserNick), text_or_null(v.psRemoteUserAddress), false};
}

// We left the channel: its records go, except those of users whose queries were accepted, which become zombies.
void forget_channel(ParseVars& v, const char* channel)
{
    if (sFlagCloseWindow_Part) {
        sFlagCloseWindow_Part = 0;
        InsertCommandInQueue(v.pSess, "/TIMER 1 quibo CloseWindow()");
    }
    const char* server = server_of(v);
    {
        const UserSnapshot here = records_of(server, channel, nullptr, nullptr);
        for (const ChatUser* user : here.hits())
            if (of_channel(user, channel) && user->usSpecial == 1 && !same_name(user->psUserNick(), local_nick(v)))
                sMultipleLocalUser = 1;
    }
    // With another of our nicks still in the channel, only this nick's records go. The records are
    // taken first, and one freed meanwhile reads as null.
    const UserSnapshot records = records_of(server, channel, sMultipleLocalUser ? local_nick(v) : nullptr, nullptr);
    for (ChatUser* user : records.hits()) {
        if (!of_channel(user, channel)) continue;
        if (user->uiQuery != kQueryAccepted)
            DeleteUser(user);
        else
            park_as_zombie(user);
    }
}

// The user's records of the channel are deleted or kept as zombies. Sets `ignored` when the last record kept
// belongs to an ignored user; 1 when the database turned out not to know the user.
int leave_channel(ParseVars& v, const Leaver& who, bool& ignored)
{
    const char* server = server_of(v);
    const char* channel = text_or_null(v.psChannelName);
    auto corrupted = [&v, &who](int line) {
        return report_corruption(v, line, who.kick ? kick_line(v, false) : part_line(v), who.nick, !who.kick);
    };
    const UserSnapshot records = records_of(server, channel, who.nick, nullptr);
    ChatUser* found = nullptr;
    for (ChatUser* user : records.hits())
        if (!found && of_channel(user, channel)) found = user;
    const bool in_channel = found != nullptr;
    if (!found) found = GetUser(server, nullptr, who.nick, who.address, nullptr);
    if (!found) found = GetUser(server, nullptr, who.nick, nullptr, nullptr);
    if (!found) return corrupted(__LINE__);
    if (found->usSpecial == 1 || same_name(who.nick, local_nick(v))) {
        forget_channel(v, channel);
        return 0;
    }
    if (!in_channel) {
        // Already parked as a zombie by an earlier PART: nothing more to do.
        if (is_zombie(found)) {
            ignored = found->uiStatus == 255;
            return 0;
        }
        return corrupted(__LINE__);
    }
    for (ChatUser* user : records.hits()) {
        if (!of_channel(user, channel)) continue;
        const bool is_ignored = user->uiStatus == 255;
        if (user->uiQuery != kQueryAccepted && !is_ignored) {
            DeleteUser(user);
            continue;
        }
        ignored = is_ignored;
        if (is_zombie(user)) continue;
        if (!is_ignored) {
            quibo_play_sound("warning");
            if (error_output_on() && iFlagMonitoringMessage) {
                sPrintText(current_tab, GetMessage(28), shown(who.nick), shown(channel));
                sPrintText(current_tab, "%s", GetMessage(29));
            }
        }
        park_as_zombie(user);
        const HeldErrorOutput quiet;
        CheckUpDatabase(1);
    }
    return 0;
}

void offer_part_event(ParseVars& v, const Leaver& who)
{
    const char* channel = text_or_null(v.psChannelName);
    HostSession* sess = GetSession(v.pSess, local_nick(v), who.nick, channel, server_of(v));
    // For a kick the remote user is the kicker.
    VerifyEvent(sess, who.kick ? "kick" : "pchannel", who.kick ? who.nick : local_nick(v),
                text_or_null(v.psRemoteUserNick), text_or_null(v.psRemoteUserAddress), channel, server_of(v),
                text_or_null(v.psMessageData));
}

// Clears sFlagKick on every way out of a kick.
class KickInProgress {
public:
    KickInProgress() { sFlagKick = 1; }
    ~KickInProgress() { sFlagKick = 0; }
    KickInProgress(const KickInProgress&) = delete;
    KickInProgress& operator=(const KickInProgress&) = delete;
};

// ---- QUIT ------------------------------------------------------------------------------------------------

void forget_quitting_user(const ParseVars& v, const UserSnapshot& records, const char* nick, const char* address)
{
    const char* server = server_of(v);
    for (ChatUser* user : records.hits()) {
        if (!user) continue;
        const bool is_ignored = user->uiStatus == 255;
        if (user->uiQuery == kQueryAccepted && !is_ignored && error_output_on()) {
            MonitoringLine(nick, nick, GetMessage(37), nick, shown(address), server);
            quibo_play_sound("warning");
        }
        if (is_ignored)
            park_as_zombie(user);
        else
            DeleteUser(user);
    }
}

}  // namespace

int case_join(ParseVars& v)
{
    DebugPlugin(1, "BEGIN: case_join()");
    if (!v.pSess || !v.pSess->server) {
        DebugPlugin(1, "ABORTING: case_join()");
        QuiboscriptAbort();
        return 0;
    }
    write_log("JOIN", [&v] { return join_line(v); });
    const char* channel = text_or_null(v.psChannelName);
    const char* nick = text_or_null(v.psRemoteUserNick);
    const SettingTextPair& beep = psFlagChanJoinBeep;
    if (beep.set && (same_name(beep.text[0].c_str(), channel) || same_name(beep.text[0].c_str(), nick)) &&
        same_name(beep.text[1].c_str(), server_of(v))) {
        sNoSound_PrintText = static_cast<int16_t>(SoundDeviceBusy("quibo", tSoundCommandTimer));
        MonitoringLine(channel, nick, GetMessage(26), shown(nick), shown(channel), server_of(v));
    }
    if (same_name(nick, local_nick(v))) ++sFlagEndWhoCloneScanning;
    // The channel, nick and address stay for who_manager, which records the user and releases them.
    DebugPlugin(1, "END: case_join() = 0");
    return 0;
}

int case_part(ParseVars& v)
{
    DebugPlugin(1, "BEGIN: case_part()");
    const Leaver who = leaver_of(v);
    if (!who.kick) write_log("PART", [&v] { return part_line(v); });
    sFlagLockCheckUpDB = 1;
    bool ignored = false;
    int result = iFlagEnableDatabase && !empty(who.nick) ? leave_channel(v, who, ignored) : 0;
    if (result == 0 && events_wanted() && !ignored) offer_part_event(v, who);
    if (!who.kick) ResetLocalVariables(v);
    DebugPlugin(1, "END: case_part() = %d", result);
    return result;
}

int case_kick(ParseVars& v)
{
    DebugPlugin(1, "BEGIN: case_kick()");
    const KickInProgress kick;
    write_log("KICK", [&v] { return kick_line(v, false); });
    int result = 0;
    const char* kicked = text_or_null(v.psLocalUserNick);
    ChatUser* record = nullptr;
    if (iFlagEnableDatabase && !empty(kicked)) {
        record = GetUser(server_of(v), text_or_null(v.psChannelName), kicked, nullptr, nullptr);
        if (!record) result = report_corruption(v, __LINE__, kick_line(v, true), kicked, true);
    }
    if (result == 0) {
        if (record && record->psAddress()) v.psLocalUserAddress = std::string(record->psAddress());
        result = case_part(v);
    }
    ResetLocalVariables(v);
    DebugPlugin(1, "END: case_kick() = %d", result);
    return result;
}

int case_quit(ParseVars& v)
{
    DebugPlugin(1, "BEGIN: case_quit()");
    write_log("QUIT", [&v] { return quit_line(v); });
    const char* nick = text_or_null(v.psRemoteUserNick);
    const char* address = text_or_null(v.psRemoteUserAddress);
    const char* channel = v.psCurrentChannelName.c_str();
    const bool known = iFlagEnableDatabase && !empty(nick);
    // The records are taken first: the event's commands run at once and may change the database.
    const UserSnapshot records = known ? records_of(server_of(v), nullptr, nick, address)
                                         : UserSnapshot(nullptr, nullptr, nullptr, nullptr, nullptr);
    const ChatUser* record = records.hits().empty() ? nullptr : records.hits().front();
    if (events_wanted() && !(record && record->uiStatus == 255)) {
        HostSession* sess = GetSession(v.pSess, local_nick(v), nick, channel, server_of(v));
        if (VerifyEvent(sess, "pserver", local_nick(v), nick, address, channel, server_of(v),
                        text_or_null(v.psMessageData)))
            ExecCommandInQueue(-1);
    }
    if (known) forget_quitting_user(v, records, nick, address);
    ResetLocalVariables(v);
    DebugPlugin(1, "END: case_quit() = 0");
    return 0;
}
