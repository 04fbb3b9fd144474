// Private messages and notices, with their CTCP requests: the sender's record,
// the client's ignore list mirrored into it, and the protections on incoming text.
#include "handlers/privmsg.h"

#include "events/events.h"
#include "host/host.h"
#include "host/trace.h"
#include "output/output.h"
#include "pipeline/sessions.h"
#include "protection/words.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <strings.h>

#include <cstdio>
#include <cstring>
#include <utility>

time_t tLastQueryTime = 0;
int16_t sQueryFloodCount = 0;
time_t tCTCPFloodStart = 0;
int16_t sCTCPFloodCount = 0;
time_t tLastFloodWarning = 0;
int iCTCPIgnoredNotices = 0;
time_t tLastAwayAnswer = 0;
int iAnswerAway = 0;

namespace {

constexpr const char* kUnit = "parser";

const char* or_empty(const ParseText& text) { return text ? text->c_str() : ""; }

}  // namespace

// ---- one message ----------------------------------------------------------------------------------

IncomingMessage::IncomingMessage(ParseVars& line_vars, const char* line_kind)
    : vars(line_vars),
      kind(line_kind),
      nick(or_empty(line_vars.psRemoteUserNick)),
      address(or_empty(line_vars.psRemoteUserAddress)),
      channel(or_empty(line_vars.psChannelName)),
      text(or_empty(line_vars.psMessageData)),
      server(line_vars.psCurrentServerName.c_str()),
      local_nick(line_vars.psLocalNickname.c_str())
{
    dcc = strncasecmp(text, "\001DCC ", 5) == 0;
}

bool IncomingMessage::is_private() const { return *channel && strcasecmp(channel, local_nick) == 0; }

bool IncomingMessage::from_self() const { return *local_nick && strcasecmp(nick, local_nick) == 0; }

bool IncomingMessage::is_notice() const { return strcmp(kind, "NOTICE") == 0; }

HostSession* IncomingMessage::event_session()
{
    if (!event_sess_known_) {
        const bool by_notice = dcc || is_notice();
        event_sess_ = GetSession(vars.pSess, local_nick, by_notice ? kNoticeRoute : nick, channel, server);
        event_sess_known_ = true;
    }
    return event_sess_;
}

void IncomingMessage::offer(const char* event, const char* data, HostSession* sess)
{
    // Nothing can fire without sentinels: the window is not even looked up.
    if (!iFlagEnableEvent || sentinel_list.empty()) return;
    VerifyEvent(sess ? sess : event_session(), event, local_nick, nick, address, channel, server, data);
}

void IncomingMessage::drop_line()
{
    if (vars.pText) vars.pText->clear();
}

int local_user_away(ParseVars& vars)
{
    refresh_current_server();
    if (vars.pSess && vars.pSess->server) vars.iLocalUserAway = vars.pSess->server->is_away;
    return vars.iLocalUserAway;
}

namespace {

// ---- the steps -----------------------------------------------------------------------------------

void log_message(const IncomingMessage& m)
{
    HandlerLog(m.vars, m.kind, m.is_notice() ? "NOTICE: " : "PRIVMSG: ",
               "channel:[%s] nick:[%s] address:[%s] data:[%s]", m.channel, m.nick, m.address, m.text);
}

ChatUser* find_sender(const IncomingMessage& m)
{
    ChatUser* user = GetUser(m.server, nullptr, m.nick, m.address, nullptr);
    return user ? user : GetUser(m.server, nullptr, m.nick, nullptr, nullptr);
}

// The sender writes from another address: the record takes it, keeping the user's state.
ChatUser* follow_address(const IncomingMessage& m, ChatUser* user)
{
    if (iFlagDisableDBUpdating || !user->psAddress() || !*m.address) return user;
    if (strcasecmp(user->psAddress(), m.address) == 0) return user;
    ChatUserPtr moved = CreateUser(user->psServer(), user->psChannel(), user->psUserNick(), m.address, user->psInfo());
    if (!moved) return user;
    moved->usFloodCount = user->usFloodCount;
    moved->tLastMessage = user->tLastMessage;
    moved->set_last_message(user->psLastMessage());
    ChatUser* taken = moved.get();
    if (ModifyUser(user, moved)) {
        IsDatabaseChanged();
        return taken;
    }
    FreeUser(moved);
    IsDatabaseChanged();
    return find_sender(m);
}

void store_text(const IncomingMessage& m)
{
    if (*m.text) {
        m.user->set_last_message(m.text);
        return;
    }
    printf("[%s:%d]> PARSER ERROR: %s\n", QUIBO_HERE(kUnit), m.vars.pText ? m.vars.pText->c_str() : "");
}

void report_ignore_change(const IncomingMessage& m, int number)
{
    if (error_output_on()) sPrintText(GetContext(m.server, m.channel), GetMessage(number), m.nick, m.address);
}

// The client's ignore list (its mirror, refreshed when the list changes) decides whether the sender is ignored.
void mirror_ignore(IncomingMessage& m)
{
    ChatUser& user = *m.user;
    if (!ignore_list.empty()) {
        const std::string mask_text = std::string(m.nick) + "!" + m.address;
        for (const IgnoreEntry& entry : ignore_list) {
            if (!match(entry.mask.c_str(), mask_text.c_str())) continue;
            if (entry.flags & 8) m.ctcp_ignored = true;
            if (entry.flags & (1 | 2 | 4)) {
                if (user.uiStatus != 255) report_ignore_change(m, 760);
                user.uiStatus = 255;
                return;
            }
        }
    }
    if (user.uiStatus == 255) {
        user.uiStatus = 0;
        report_ignore_change(m, 761);
    }
}

HostSession* target_session(const IncomingMessage& m)
{
    if (!m.dcc) return m.vars.pSess;
    HostSession* dialog = m.vars.pSess ? find_dialog(m.vars.pSess->server, m.nick) : nullptr;
    return dialog ? dialog : GetSession(m.vars.pSess, m.local_nick, kNoticeRoute, m.channel, m.server);
}

void check_words(IncomingMessage& m)
{
    if (!iFlagBadWordSystem) return;
    ChatUser& user = *m.user;
    const bool shown = iFlagBadWordMessage && error_output_on();
    std::string word;
    if (return_badword(m.text, &word, badword_list, 0)) {
        if (shown) MonitoringLine(m.channel, m.nick, GetMessage(24), m.channel, m.server, word.c_str(), m.nick);
        ++user.uiBadCount;
        m.offer("badword", std::to_string(user.uiBadCount).c_str());
    }
    word.clear();
    if (return_badword(m.nick, &word, badnick_list, 1)) {
        if (shown) MonitoringLine(m.channel, m.nick, GetMessage(814), m.channel, m.server, m.nick, word.c_str());
        ++user.uiBadCount;
        m.offer("badnick", std::to_string(user.uiBadCount).c_str());
    }
}

bool short_and_quiet(const IncomingMessage& m)
{
    const bool quiet = m.now() - m.user->tLastMessage >= tMinSecondSent;
    const bool is_short = iMaxMessageChar <= 0 || strlen(m.text) <= static_cast<size_t>(iMaxMessageChar);
    return quiet && is_short;
}

void watch_text_flood(IncomingMessage& m)
{
    ChatUser& user = *m.user;
    if (short_and_quiet(m)) {
        user.usFloodCount = 0;
        return;
    }
    if (++user.usFloodCount <= iMaxMessageSent) return;
    user.usFloodCount = 0;
    if (error_output_on() && iFlagTextFloodError && tLastFloodWarning + tSoundCommandTimer < m.now())
        sPrintText(GetContext(m.server, m.channel), GetMessage(10), m.nick, m.channel, m.server);
    tLastFloodWarning = m.now();
    m.offer("flood", m.text);
}

bool protections_apply(const IncomingMessage& m, HostSession* target)
{
    if (m.user->uiStatus == 255 || !target) return false;
    const char* channel = m.user->psChannel();
    return (channel && channel[0] != '*') || m.user->psInfo();
}

// Steps on a known sender; false when the text was a CTCP request (its time is not recorded).
bool handle_known_sender(IncomingMessage& m)
{
    m.user = follow_address(m, m.user);
    if (!m.user) return false;
    store_text(m);
    mirror_ignore(m);
    if (!protections_apply(m, target_session(m))) return true;
    check_words(m);
    if (iFlagTextFloodIncoming) {
        watch_text_flood(m);
        watch_ctcp_flood(m);
    }
    if (!is_ctcp_request(m.text)) {
        handle_plain_text(m);
        return true;
    }
    handle_ctcp(m);
    return false;
}

int run_privmsg(ParseVars& vars, const char* kind, int depth);

// The user a channel shows but the database lacks is recorded as a WHO reply would record him. The line's
// fields are the caller's again afterwards (the texts of `m` are then stale: only `vars` is read).
void force_update(IncomingMessage& m)
{
    quibo_play_sound("warning");
    if (is_session(current_tab) && error_output_on()) sPrintText(current_tab, GetMessage(21), m.nick, m.server);
    ParseVars& vars = m.vars;
    const LineFields saved = vars.fields();
    const int16_t keep = std::exchange(vars.sFlagNoClearVariables, 1);
    _UpdateDatabaseForced(vars);
    vars.sFlagNoClearVariables = keep;
    vars.fields() = saved;
}

// A sender the database does not know yet: a record is made and the message handled again with it.
int handle_new_sender(IncomingMessage& m, int depth)
{
    if (sNoSendJoinEvent || iFlagDisableDBUpdating || depth > 0) return 0;
    ParseVars& vars = m.vars;
    if (vars.pSess && find_name_global(vars.pSess->server, m.nick)) force_update(m);
    const char* address = text_or_null(vars.psRemoteUserAddress);
    ChatUserPtr user = CreateUser(vars.psCurrentServerName.c_str(), text_or_null(vars.psChannelName),
                                  text_or_null(vars.psRemoteUserNick), address && *address ? address : nullptr,
                                  nullptr);
    if (!user) return 0;
    ChatUser* record = user.get();
    if (!InsertUser(user)) {
        FreeUser(user);
        return 0;
    }
    IsDatabaseChanged();
    record->tLastMessage = vars.tCurrentTime;
    return run_privmsg(vars, m.kind, depth + 1);
}

int run_privmsg(ParseVars& vars, const char* kind, int depth)
{
    IncomingMessage m(vars, kind);
    // Handled again once its sender is recorded, a message is still logged once.
    if (depth == 0) log_message(m);
    if (!iFlagEnableDatabase || !*m.nick) return 0;
    m.user = find_sender(m);
    if (!m.user) return handle_new_sender(m, depth);
    if (handle_known_sender(m) && m.user) m.user->tLastMessage = m.now();
    return 0;
}

}  // namespace

int case_privmsg(ParseVars& vars, const char* kind)
{
    DebugPlugin(1, "BEGIN: case_privmsg(%s)", kind ? kind : "");
    run_privmsg(vars, kind ? kind : "PRIVMSG", 0);
    ResetLocalVariables(vars);
    DebugPlugin(1, "END: case_privmsg() = 0");
    return 0;
}
