// The WHO manager and the reconciliation of the user database with the
// client's user lists and dialogs.
#include "handlers/handlers.h"

#include "events/events.h"
#include "host/host.h"
#include "host/lifecycle.h"
#include "host/paths.h"
#include "host/trace.h"
#include "output/output.h"
#include "pipeline/sessions.h"
#include "protection/words.h"
#include "queue/queue.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"
#include "users/user_store.h"
#include "clock.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>
#include <unordered_map>
#include <unordered_set>

std::vector<NickCall> MyNickCallDB;
int16_t sFlagCloseWindow_Part = 0;
void CloseWindowAfterPart() { sFlagCloseWindow_Part = 1; }
std::string psFlagDisableUpdateChannel;
int16_t sFlagEndWhoCloneScanning = 0;
int16_t sWhoDatabaseUpdate = 0;
int16_t sNoSendJoinEvent = 0;
unsigned int uiSessionFound_previous = 0;

namespace {

const char* or_empty(const char* text) { return text ? text : ""; }
const char* or_empty(const ParseText& text) { return text ? text->c_str() : ""; }

bool is_channel_name(const char* name) { return name && *name && strchr("#&!'", name[0]); }
bool starts_with_star(const char* name) { return name && name[0] == '*'; }

// Channels waiting for their WHO while another channel's refresh is pending.
struct WaitingRefresh {
    HostSession* sess;
    std::string channel;
};
std::deque<WaitingRefresh> waiting_refreshes;

void who_error_once(HostSession* where)
{
    if (error_output_on() && sFlagWhoError == 1) {
        sPrintText(where, "%s", GetMessage(739));
        sFlagWhoError = 0;
    }
}

InertText who_command(const std::string& target)
{
    InertText command("/WHO ");
    command.add_literal(target);
    return command;
}

// Starts the refresh of `channel` (queued or at once), or lets it wait for the pending one.
void ask_channel_who(HostSession* sess, const std::string& channel, bool queued)
{
    if (iFlagDisableDBUpdating) {
        who_error_once(iFlagCurrentTab ? current_tab : sess);
        return;
    }
    if (!psFlagDisableUpdateChannel.empty()) {
        if (strcasecmp(psFlagDisableUpdateChannel.c_str(), channel.c_str()) == 0) return;
        for (const WaitingRefresh& w : waiting_refreshes)
            if (w.sess == sess && strcasecmp(w.channel.c_str(), channel.c_str()) == 0) return;
        waiting_refreshes.push_back({sess, channel});
        return;
    }
    psFlagDisableUpdateChannel = channel;
    if (queued) {
        InsertCommandInQueuePriority(sess, who_command(channel), 0);
    } else {
        quibo_handle_command(who_command(channel), sess);
    }
}

// The pending refresh ended: the next waiting channel whose window is still open gets its WHO.
void refresh_ended()
{
    psFlagDisableUpdateChannel.clear();
    while (!waiting_refreshes.empty()) {
        WaitingRefresh next = std::move(waiting_refreshes.front());
        waiting_refreshes.pop_front();
        if (!session_exists(next.sess)) continue;
        ask_channel_who(next.sess, next.channel, true);
        return;
    }
}

void release(ParseVars& vars) { ResetLocalVariables(vars); }

std::string log_path() { return caPathLogFile.empty() ? quibo_data_path("quibo.log") : caPathLogFile; }

// ---- the WHO manager ------------------------------------------------------------------------------

void abnormal_situation(ParseVars& vars)
{
    quibo_play_sound("error");
    if (error_output_on()) {
        sPrintText(current_tab, "%s", kSeparatorLine);
        sPrintText(current_tab, "\0034Abnormal Situation Detected - WHO Manager");
        sPrintText(current_tab, "%s", kSeparatorLine);
    }
    release(vars);
}

const char* who_only(const ParseVars& vars, const ParseText& field)
{
    return vars.bMessage == kWho ? or_empty(field) : "<NOT WHO MESSAGE>";
}

void database_corrupted(const ParseVars& vars, const char* server)
{
    quibo_play_sound("error");
    printf("[%s:%d]> DATABASE CORRUPTED\n", QUIBO_HERE("parser"));
    fflush(stdout);
    if (!error_output_on()) return;
    HostSession* where = GetContext(server, vars.psChannelName ? vars.psChannelName->c_str() : nullptr);
    const time_t when = now();
    sPrintText(current_tab, "%s", kSeparatorLine);
    sPrintText(where, GetMessage(8), "parser", __LINE__);
    sPrintText(where,
               "WHO: [%d | %s] -> localnick:[%s] channel:[%s] host:[%s] domain:[%s] address:[%s] nick:[%s] data:[%s] "
               "server:[%s]",
               static_cast<int>(when), ctime_text(when).c_str(), or_empty(vars.psLocalUserNick),
               or_empty(vars.psChannelName), who_only(vars, vars.psRemoteUserHost),
               who_only(vars, vars.psRemoteUserDomain), who_only(vars, vars.psLocalUserAddress),
               or_empty(vars.psRemoteUserNick), who_only(vars, vars.psMessageData), server);
    sPrintText(current_tab, "%s", kSeparatorLine);
}

// Stores the record; the stored record, or null when the database refused it.
ChatUser* store_record(ParseVars& vars, const char* server)
{
    const char* channel = text_or_null(vars.psChannelName);
    const char* nick = text_or_null(vars.psRemoteUserNick);
    current_user_store().prefetch(nick, text_or_null(vars.psRemoteUserDomain));
    ChatUserPtr record = CreateUser(server, channel, nick, text_or_null(vars.psRemoteUserAddress),
                                    vars.bMessage == kWho ? text_or_null(vars.psMessageData) : nullptr);
    ChatUser* stored = record.get();
    ChatUser* known = GetUser(server, channel, nick, nullptr, nullptr);
    int taken;
    if (known) {
        // A record made from the channel's names (no address yet) is completed, not a user known before.
        if (known->psAddress()) sNoSendJoinEvent = 1;
        taken = ModifyUser(known, record);
    } else {
        if (starts_with_star(channel)) sNoSendJoinEvent = 1;
        taken = InsertUser(record);
    }
    IsDatabaseChanged();
    if (!taken) FreeUser(record);
    return taken ? stored : nullptr;
}

// The client's ignore list, mirrored into the record without a word.
void mirror_ignore(ChatUser& user)
{
    if (ignore_list.empty()) {
        if (user.uiStatus == 255) user.uiStatus = 0;
        return;
    }
    const std::string full = std::string(or_empty(user.psUserNick())) + "!" + or_empty(user.psAddress());
    for (const IgnoreEntry& entry : ignore_list) {
        if ((entry.flags & (1 | 2 | 4)) && match(entry.mask.c_str(), full.c_str())) {
            user.uiStatus = 255;
            return;
        }
    }
    if (user.uiStatus == 255) user.uiStatus = 0;
}

void joined_user_checks(ParseVars& vars, ChatUser& user, const char* nick, const char* address, const char* channel)
{
    const char* server = vars.psCurrentServerName.c_str();
    HostSession* sess = GetSession(vars.pSess, or_empty(vars.psLocalUserNick), nick, channel, server);
    if (iFlagDomainMonitoring && user.usSpecial != 1) UserInfo(sess, nick, address, 0);
    if (iFlagCloneDetect && sFlagEndWhoCloneScanning == 0) SearchClone(sess, nick);
    if (iFlagNickJoinMonitoring && strcasecmp(nick, psPreviousNicknameJMDetected.c_str()) != 0 &&
        NickJoined(sess, nick, address, channel))
        psPreviousNicknameJMDetected = nick;
}

// Queries accepted from the user on any channel stay accepted; "*" records give way to a channel record.
void carry_over(const ParseVars& vars, ChatUser* user, const char* nick)
{
    const char* server = vars.psCurrentServerName.c_str();
    BorrowedVector<ChatUser*> same_nick;
    current_user_store().same_nick(nick, *same_nick);
    BorrowedVector<ChatUser*> stars;
    for (ChatUser* other : *same_nick) {
        if (other->psServer() && !fold_equal(other->psServer(), server)) continue;
        if (other->uiQuery == kQueryAccepted) user->uiQuery = kQueryAccepted;
        if (other != user && other->psChannel() && strcmp(other->psChannel(), "*") == 0) stars->push_back(other);
    }
    if (!user->psChannel() || starts_with_star(user->psChannel())) return;
    for (ChatUser* star : *stars) DeleteUser(star);
}

void bad_nick_check(const ParseVars& vars, ChatUser& user, const char* nick, const char* channel)
{
    if (!iFlagBadWordSystem || user.uiStatus == 255 || (user.usSpecial == 1 && !iFlagEventsManagerDebug)) return;
    std::string word;
    if (!return_badword(nick, &word, badnick_list, 1)) return;
    const char* server = vars.psCurrentServerName.c_str();
    if (iFlagBadWordMessage) MonitoringLine(channel, nick, GetMessage(814), or_empty(channel), server, nick, word.c_str());
    ++user.uiBadCount;
    const std::string count = std::to_string(user.uiBadCount);
    HostSession* sess = GetSession(vars.pSess, or_empty(vars.psLocalUserNick), nick, channel, server);
    VerifyEvent(sess, "badnick", or_empty(vars.psLocalUserNick), nick, or_empty(user.psAddress()), or_empty(channel),
                server, count.c_str());
}

void raise_scan_counter()
{
    if (sFlagEndWhoCloneScanning != 0 && sFlagEndWhoCloneScanning < INT16_MAX) ++sFlagEndWhoCloneScanning;
}

// ---- the reconciliation -------------------------------------------------------------------------

std::string folded(const char* text)
{
    std::string out = or_empty(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool same_or_absent(const char* a, const char* b) { return !a || !b || fold_equal(a, b); }

bool exempt(const ChatUser& user)
{
    return user.uiKeep == kKeepUser || user.uiQuery == kQueryAccepted ||
           (user.psChannel() && strstr(user.psChannel(), kZombieChannel));
}

// The records no window has shown yet in this pass, by nick; a taken one is cleared to null.
class Candidates {
public:
    void add(ChatUser* user)
    {
        order_.push_back(user);
        if (user->psUserNick())
            by_nick_[folded(user->psUserNick())].push_back(order_.size() - 1);
        else
            without_nick_.push_back(order_.size() - 1);
    }

    // Takes the first candidate, in list order, with that server, channel and nick where both have them.
    bool take(const char* server, const char* channel, const char* nick)
    {
        std::optional<size_t> best;
        auto consider = [&](const std::vector<size_t>& slots) {
            for (size_t slot : slots) {
                const ChatUser* user = order_[slot];
                if (!user || (best && *best < slot)) continue;
                if (same_or_absent(user->psServer(), server) && same_or_absent(user->psChannel(), channel) &&
                    same_or_absent(user->psUserNick(), nick)) {
                    best = slot;
                    break;
                }
            }
        };
        auto it = by_nick_.find(folded(nick));
        if (it != by_nick_.end()) consider(it->second);
        consider(without_nick_);
        if (!best) return false;
        order_[*best] = nullptr;
        return true;
    }

    // Takes every candidate that `keep` wants.
    template <typename Keep>
    void take_all(Keep keep)
    {
        for (ChatUser*& user : order_)
            if (user && keep(*user)) user = nullptr;
    }

    std::vector<ChatUser*>& left() { return order_; }

private:
    std::vector<ChatUser*> order_;
    std::unordered_map<std::string, std::vector<size_t>> by_nick_;
    std::vector<size_t> without_nick_;
};

bool usable(const HostSession* sess)
{
    return sess && sess->ctx && sess->server && !sess->server->servername.empty() && session_exists(sess);
}

void report_added(const ChatUser& user, const char* channel)
{
    if (error_output_on())
        sPrintText(current_tab, GetMessage(295), or_empty(user.psUserNick()), or_empty(user.psAddress()), channel,
                   or_empty(user.psServer()), 0);
}

// Inserts a record made for the reconciliation; false (and the internal error) when refused.
bool add_record(ChatUserPtr& record, int full)
{
    if (InsertUser(record)) return true;
    FreeUser(record);
    printf("[%s:%d]> INTERNAL ERROR: CheckUpDatabase(%d)\n", QUIBO_HERE("commands"), full);
    fflush(stdout);
    return false;
}

class Reconciliation {
public:
    explicit Reconciliation(int full) : full_(full) {}

    // Deletes broken records; with full = 1 gathers the candidates. False when the pass must stop.
    bool database_pass()
    {
        for (ChatUser* user = GetFirst(); user;) {
            ChatUser* next = user->pcuNext();
            const bool broken = user->uiMagic != kChatUserMagic ||
                                (!user->psServer() && !user->psUserNick() && !user->psAddress());
            if (broken) {
                if (full_ && error_output_on()) sPrintText(current_tab, GetMessage(8), "commands", __LINE__);
                DeleteUser(user);
                if (!full_) {
                    extern_update_session();
                    CheckUpDatabase(1);
                    return false;
                }
                candidates_ = Candidates();
                next = GetFirst();
            } else if (full_ && exempt(*user)) {
                if (error_output_on())
                    sPrintText(current_tab, GetMessage(293), or_empty(user->psUserNick()), or_empty(user->psAddress()),
                               or_empty(user->psChannel()), or_empty(user->psServer()));
            } else if (full_) {
                candidates_.add(user);
            }
            user = next;
        }
        return true;
    }

    void client_pass()
    {
        const std::vector<HostSession*> sessions = sess_list;
        for (HostSession* sess : sessions) {
            if (!usable(sess)) continue;
            ++sessions_found_;
            if (!full_) continue;
            if (sess->type == 3)
                dialog_window(sess);
            else if (sess->type == 2 || is_channel_name(sess->channel.c_str()))
                channel_window(sess);
        }
    }

    unsigned sessions_found() const { return sessions_found_; }

    void delete_left()
    {
        for (ChatUser*& user : candidates_.left()) {
            if (!user) continue;
            if (full_ && error_output_on())
                sPrintText(current_tab, GetMessage(1091), or_empty(user->psUserNick()), or_empty(user->psAddress()),
                           or_empty(user->psChannel()), or_empty(user->psServer()), 0);
            DeleteUser(user);
        }
    }

private:
    void channel_window(HostSession* sess)
    {
        const std::string server = sess->server->servername;
        const std::string channel = sess->channel;
        const std::vector<HostUser> users = zem_userlist_flat_list(sess);
        if (users.empty()) {
            local_user_without_channel(sess);
            return;
        }
        bool asked = false;
        for (const HostUser& shown : users) {
            if (candidates_.take(server.c_str(), channel.c_str(), shown.nick.c_str())) continue;
            if (GetUser(server.c_str(), channel.c_str(), shown.nick.c_str(), nullptr, nullptr)) continue;  // added this pass
            add_missing(sess, shown.nick);
            if (!asked) ask_channel_who(sess, channel, true);
            asked = true;
        }
    }

    void add_missing(HostSession* sess, const std::string& shown_nick)
    {
        const std::string& server = sess->server->servername;
        const char* nick = shown_nick.empty() ? "INTERNAL_ERROR:NICKNAME" : shown_nick.c_str();
        const char* server_text = server.empty() ? "INTERNALE_ERROR:SERVER" : server.c_str();
        if (error_output_on()) sPrintText(current_tab, GetMessage(294), nick, server_text, sess->channel.c_str());
        const std::string address = std::string(nick) + "@" + server_text;
        ChatUserPtr record = CreateUser(server_text, sess->channel.c_str(), nick, address.c_str(), nullptr);
        ChatUser* stored = record.get();
        if (add_record(record, full_)) report_added(*stored, sess->channel.c_str());
    }

    void local_user_without_channel(HostSession* sess)
    {
        const std::string server = sess->server->servername;
        const std::string me = sess->server->nick;
        candidates_.take_all([&](const ChatUser& u) {
            return u.usSpecial == 1 && !u.psChannel() && u.psServer() && fold_equal(u.psServer(), server.c_str()) &&
                   u.psUserNick() && fold_equal(u.psUserNick(), me.c_str());
        });
        UserSnapshot mine(server.c_str(), nullptr, me.c_str(), nullptr, nullptr);
        for (const ChatUser* u : mine.hits())
            if (u && u->usSpecial == 1) return;
        const std::string address = me + "_" + std::to_string(now()) + "@" + server;
        ChatUserPtr record = CreateUser(server.c_str(), nullptr, me.c_str(), address.c_str(), nullptr);
        record->usSpecial = 1;
        ChatUser* stored = record.get();
        if (add_record(record, full_)) report_added(*stored, "*NULL*");
    }

    void dialog_window(HostSession* sess)
    {
        const std::string server = sess->server->servername;
        const std::string nick = sess->channel;
        if (nick.empty()) return;
        // The records of a dialog's user that belong to no channel stay while the dialog is open.
        candidates_.take_all([&](const ChatUser& u) {
            return (!u.psChannel() || starts_with_star(u.psChannel())) && u.psServer() &&
                   fold_equal(u.psServer(), server.c_str()) && u.psUserNick() && fold_equal(u.psUserNick(), nick.c_str());
        });
        if (GetUser(server.c_str(), nullptr, nick.c_str(), nullptr, nullptr)) return;
        const std::string address = nick + "@" + server;
        ChatUserPtr record = CreateUser(server.c_str(), "*", nick.c_str(), address.c_str(), nullptr);
        ChatUser* stored = record.get();
        if (add_record(record, full_)) report_added(*stored, "*");
    }

    int full_;
    Candidates candidates_;
    unsigned sessions_found_ = 0;
};

}  // namespace

// ---- WHO replies and JOINs -----------------------------------------------------------------------

int case_who(ParseVars& vars)
{
    if (!iFlagLogFile) return 0;
    if (iFlagAdvancedLog) {
        AdvancedLog("WHO");
        return 0;
    }
    const time_t when = now();
    sPrintLog(log_path().c_str(),
              "WHO: [%d | %s] -> localnick:[%s] channel:[%s] host:[%s] domain:[%s] address:[%s] nick:[%s] data:[%s] "
              "server:[%s]",
              static_cast<int>(when), ctime_text(when).c_str(), or_empty(vars.psLocalUserNick),
              or_empty(vars.psChannelName), or_empty(vars.psRemoteUserHost), or_empty(vars.psRemoteUserDomain),
              or_empty(vars.psLocalUserAddress), or_empty(vars.psRemoteUserNick), or_empty(vars.psMessageData),
              or_empty(vars.psServerName));
    return 0;
}

int who_manager(ParseVars& vars)
{
    sFlagLockCheckUpDB = 1;
    if (empty(text_or_null(vars.psLocalUserNick))) vars.psLocalUserNick = vars.psRemoteUserNick;
    if (vars.psCurrentServerName.empty()) {
        abnormal_situation(vars);
        return 1;
    }
    raise_scan_counter();
    if (iFlagEnableDatabase) {
        const bool who_reply = vars.bMessage == kWho;
        // A reply names the server that sent it; without one it belongs to the session's server.
        const bool named = who_reply && !empty(text_or_null(vars.psServerName));
        const std::string server = named ? *vars.psServerName : vars.psCurrentServerName;
        ChatUser* user = store_record(vars, server.c_str());
        if (!user) {
            database_corrupted(vars, vars.psCurrentServerName.c_str());
        } else {
            // The texts of the parse variables stay ours whatever the checks below run.
            const std::string nick = or_empty(vars.psRemoteUserNick);
            const std::string address = or_empty(vars.psRemoteUserAddress);
            const std::string channel = or_empty(vars.psChannelName);
            SetSpecialUser(user, or_empty(vars.psLocalUserNick));
            if (user->usSpecial == 1) sWhoDatabaseUpdate = 0;
            // The join checks print and may run commands: the record is watched, not trusted, across them.
            UserSnapshot kept(user);
            if (!who_reply) joined_user_checks(vars, *user, nick.c_str(), address.c_str(), channel.c_str());
            if (ChatUser* record = kept.hits().front()) {
                carry_over(vars, record, nick.c_str());
                mirror_ignore(*record);
                bad_nick_check(vars, *record, nick.c_str(), channel.c_str());
                if (iFlagEnableEvent && record->uiStatus != 255 && !sentinel_list.empty()) {
                    HostSession* sess = GetSession(who_reply ? vars.pSess : nullptr, or_empty(vars.psLocalUserNick),
                                                   nick.c_str(), channel.c_str(), vars.psCurrentServerName.c_str());
                    VerifyEvent(sess, who_reply ? "who" : "jchannel", or_empty(vars.psLocalUserNick), nick.c_str(),
                                address.c_str(), channel.c_str(), vars.psCurrentServerName.c_str(),
                                who_reply ? or_empty(vars.psMessageData) : "");
                }
            }
        }
    }
    release(vars);
    return 0;
}

int case_endwho(ParseVars& vars)
{
    if (iFlagLogFile) {
        if (iFlagAdvancedLog) {
            AdvancedLog("ENDWHO");
        } else {
            const time_t when = now();
            sPrintLog(log_path().c_str(),
                      "ENDWHO: [%d | %s] -> nick:[%s] server:[%s] data:[%s]", static_cast<int>(when),
                      ctime_text(when).c_str(), or_empty(vars.psLocalUserNick), or_empty(vars.psServerName),
                      or_empty(vars.psMessageData));
        }
    }
    const std::string channel = or_empty(vars.psChannelName);
    const std::string server = vars.psCurrentServerName;
    const bool scan_pending = sFlagEndWhoCloneScanning != 0;
    const bool channel_ok = iFlagEnableDatabase && !sFlagLockCheckUpDB && is_channel_name(channel.c_str());
    if (channel_ok && !(sNoSendJoinEvent && !scan_pending)) {
        if (iFlagCloneDetect && scan_pending) {
            CloneDetector(vars.pSess, channel.c_str());
            sFlagEndWhoCloneScanning = 0;
        }
        if (iFlagNickJoinMonitoring) NickJoinedChannel(vars.pSess, server.c_str(), channel.c_str());
    }
    // The pending refresh ends with its listing, whatever the listing brought.
    if (!psFlagDisableUpdateChannel.empty() && strcasecmp(psFlagDisableUpdateChannel.c_str(), channel.c_str()) == 0)
        refresh_ended();
    if (!sNoSendJoinEvent && iFlagEnableEvent) {
        const char* local = vars.psLocalNickname.c_str();
        HostSession* sess = GetSession(vars.pSess, local, local, channel.c_str(), server.c_str());
        VerifyEvent(sess ? sess : vars.pSess, "jchannel", local, or_empty(vars.psLocalUserNick), "", channel.c_str(),
                    server.c_str(), or_empty(vars.psMessageData));
    }
    sNoSendJoinEvent = 0;
    release(vars);
    return 0;
}

void _UpdateDatabaseForced(ParseVars& vars)
{
    if (!vars.psServerName) vars.psServerName = vars.psCurrentServerName;
    if (!vars.psLocalUserNick) vars.psLocalUserNick = vars.psLocalNickname;
    vars.psLocalUserAddress.reset();
    vars.psRemoteUserHost.reset();
    vars.psRemoteUserDomain.reset();
    vars.psMessageData.reset();
    const std::string server = or_empty(vars.psServerName);
    const std::string channel = or_empty(vars.psChannelName);
    const std::string nick = or_empty(vars.psRemoteUserNick);
    const int kind = vars.bMessage;
    const int16_t keep_fields = vars.sFlagNoClearVariables;
    vars.sFlagNoClearVariables = 1;
    vars.bMessage = kWho;
    who_manager(vars);
    vars.bMessage = kind;
    vars.sFlagNoClearVariables = keep_fields;
    if (ChatUser* user = GetUser(server.c_str(), text_or_null(channel), nick.c_str(), nullptr, nullptr))
        user->uiKeep = kKeepUser;
    if (nick.empty()) return;
    if (iFlagDisableDBUpdating)
        who_error_once(iFlagCurrentTab ? current_tab : vars.pSess);
    else if (psFlagDisableUpdateChannel.empty())
        quibo_handle_command(who_command(nick), vars.pSess);
}

// ---- the reconciliation -------------------------------------------------------------------------

void CheckUpDatabase(int full)
{
    if (!iFlagEnableDatabase || sFlagLockCheckUpDB) return;
    DebugPlugin(2, "BEGIN: CheckUpDatabase(%d)", full);
    extern_update_session();
    if (full && error_output_on()) {
        sPrintText(current_tab, "%s", kSeparatorLine);
        sPrintText(current_tab, "%s", GetMessage(291));
    }
    Reconciliation pass(full);
    if (!pass.database_pass()) {
        DebugPlugin(2, "END: CheckUpDatabase()");
        return;
    }
    pass.client_pass();
    const unsigned found = pass.sessions_found();
    if (!full && found < uiSessionFound_previous) {
        uiSessionFound_previous = found;
        CheckUpDatabase(1);
    }
    uiSessionFound_previous = found;
    pass.delete_left();
    DebugPlugin(2, "END: CheckUpDatabase()");
}

void UpdateChannel(HostSession* sess, const char* channel)
{
    {
        const int gate = iFlagErrorMessage_internal;
        iFlagErrorMessage_internal = 0;
        CheckUpDatabase(1);
        iFlagErrorMessage_internal = gate;
    }
    if (empty(channel)) return;
    HostSession* where = iFlagCurrentTab ? current_tab : sess;
    if (error_output_on()) {
        sPrintText(where, "%s", kSeparatorLine);
        sPrintText(where, "%s", GetMessage(289));
    }
    if (iFlagDisableDBUpdating)
        who_error_once(where);
    else if (psFlagDisableUpdateChannel.empty())
        ask_channel_who(sess, channel, false);
    if (error_output_on()) sPrintText(where, "%s", kSeparatorLine);
}

int CloseWindow(HostSession* sess)
{
    if (!sess) return 0;
    if (!sess->channel.empty() && strchr("#&!'", sess->channel[0])) {
        quibo_handle_command("/quibo part", sess);
        return 0;
    }
    EraseCommandForSession(sess);
    quibo_handle_command("/TIMER 1 close", sess);
    return 0;
}

int local_find_server(const char* name)
{
    if (empty(name)) return 0;
    for (const HostServer* server : serv_list)
        if (server && strcasecmp(server->servername.c_str(), name) == 0) return 1;
    return 0;
}
