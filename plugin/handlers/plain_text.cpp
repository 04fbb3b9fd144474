// Plain text (no CTCP request): the query-flood guard, automatic away answers,
// query beeps, and channel, word and nickname monitoring.
#include "handlers/privmsg.h"

#include "host/host.h"
#include "output/output.h"
#include "pipeline/commands.h"
#include "protection/private_killer.h"
#include "queue/queue.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <strings.h>

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUnit = "parser";

bool same_name(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

void alert_sound() { sNoSound_PrintText = static_cast<int16_t>(SoundDeviceBusy("quibo", tSoundCommandTimer)); }

// ---- queries ---------------------------------------------------------------------------------------

void switch_queries_off(IncomingMessage& m)
{
    sFlagEnableQUERY = 0;
    m.drop_line();
    const std::string nick = double_percent(m.nick);
    if (away_notice_due(m) && answers_allowed(m)) QueueMessageCommand(m.vars.pSess, 14, nick.c_str(), nick.c_str());
    if (psFlagDisableUpdateChannel.empty()) InsertCommandInQueue(m.vars.pSess, "/WHO " + nick);
    sPrintText(current_tab, "%s", GetMessage(15));
    sPrintText(current_tab, GetMessage(12), m.nick, m.address, m.server);
    quibo_play_sound("warning");
}

// Private messages that follow each other within a second are counted; at the limit queries are refused.
void count_query_flood(IncomingMessage& m)
{
    if (tLastQueryTime + 1 < m.now()) {
        sQueryFloodCount = 0;
        return;
    }
    if (get_killed_user_flag(m.nick, m.address) > 2) {
        printf("[%s:%d]> QUERY FLOOD DETECTED: User %s (%s) not censured\n", QUIBO_HERE(kUnit), m.nick, m.address);
        return;
    }
    if (++sQueryFloodCount == iMaxQueryMSGFlood) switch_queries_off(m);
}

void guard_query(IncomingMessage& m)
{
    if (!iFlagTextFloodIncoming || m.user->uiQuery == kQueryAccepted) {
        m.offer("query", m.text);
        return;
    }
    if (sFlagEnableQUERY == 0) {
        m.drop_line();
        m.user->uiAnswer = 3;
        return;
    }
    count_query_flood(m);
    m.offer("query", m.text);
}

void query_beep(IncomingMessage& m)
{
    ChatUser& user = *m.user;
    if (!iFlagQueryBeep) return;
    if (user.uiQuery == 0) {
        alert_sound();
        UserSnapshot same(user.psServer(), nullptr, user.psUserNick(), user.psAddress(), nullptr);
        for (ChatUser* record : same.hits())
            if (record) record->uiQuery = 255;
    } else if (user.uiQuery == kQueryAccepted) {
        sNoSound_PrintText = static_cast<int16_t>(SoundDeviceBusy("message", tSoundCommandTimer));
        MonitoringLine(m.nick, m.nick, GetMessage(20), m.nick, m.server);
    }
}

void handle_query(IncomingMessage& m)
{
    guard_query(m);
    tLastQueryTime = m.now();
    if (answers_allowed(m) && SendAwayAnswer(m.vars, *m.user, tLastAwayAnswer, AwayAnswerKind::Query)) iAnswerAway = 1;
    query_beep(m);
}

// ---- monitoring ----------------------------------------------------------------------------------

void watch_channel(const IncomingMessage& m)
{
    const SettingTextPair& watch = psFlagChanModBeep;
    if (!watch.set || !same_name(watch.text[1], m.server)) return;
    if (!same_name(watch.text[0], m.channel) && !same_name(watch.text[0], m.nick)) return;
    alert_sound();
    MonitoringLine(m.channel, m.nick, GetMessage(23), m.channel, m.server, m.nick);
}

void watch_word(const IncomingMessage& m)
{
    const SettingTextPair& watch = psFlagChanWordBeep;
    if (!watch.set || watch.text[1].empty()) return;
    if (!same_name(watch.text[0], m.channel) && watch.text[0][0] != '*') return;
    if (ustrtolower(m.text).find(ustrtolower(watch.text[1].c_str())) == std::string::npos) return;
    alert_sound();
    MonitoringLine(m.channel, m.nick, GetMessage(24), m.channel, m.server, watch.text[1].c_str(), m.nick);
}

// ---- mentions of our nickname ---------------------------------------------------------------------

// The text without colour and formatting codes.
std::string without_colours(const char* text)
{
    std::string plain;
    for (const char* p = text; *p; ++p) {
        if (*p == '\003') {
            for (int i = 0; i < 2 && isdigit(static_cast<unsigned char>(p[1])); ++i) ++p;
            if (p[1] == ',' && isdigit(static_cast<unsigned char>(p[2]))) {
                ++p;
                for (int i = 0; i < 2 && isdigit(static_cast<unsigned char>(p[1])); ++i) ++p;
            }
            continue;
        }
        if (strchr("\002\017\026\037\035", *p)) continue;
        plain += *p;
    }
    return plain;
}

bool glued(const std::string& text, size_t at, size_t length)
{
    const bool before = at > 0 && is_nickname_char(text[at - 1]);
    const bool after = at + length < text.size() && is_nickname_char(text[at + length]);
    return before || after;
}

// Where the lower-cased nick occurs in the lower-cased text; a nick shorter than five characters only as a word.
bool mentions(const std::string& lower_text, const std::string& lower_nick)
{
    for (size_t at = lower_text.find(lower_nick); at != std::string::npos; at = lower_text.find(lower_nick, at + 1))
        if (lower_nick.size() >= 5 || !glued(lower_text, at, lower_nick.size())) return true;
    return false;
}

// The text with every occurrence of the nick written in its own spelling and in green.
std::string highlighted(const std::string& plain, const std::string& lower_plain, const std::string& lower_nick,
                        const char* nick)
{
    std::string out;
    size_t from = 0;
    for (size_t at = lower_plain.find(lower_nick); at != std::string::npos;
         at = lower_plain.find(lower_nick, from)) {
        out.append(plain, from, at - from);
        out += "\0033";
        out += nick;
        out += "\017";
        from = at + lower_nick.size();
    }
    out.append(plain, from, std::string::npos);
    return out;
}

void remember_call(const IncomingMessage& m, std::string text)
{
    if (MyNickCallDB.size() >= kMaxNickCalls) MyNickCallDB.erase(MyNickCallDB.begin());
    const HostServer* server = m.vars.pSess ? m.vars.pSess->server : nullptr;
    MyNickCallDB.push_back({m.now(), server ? server->hostname : std::string(), m.channel, m.nick, std::move(text)});
}

void watch_mention(IncomingMessage& m)
{
    if (!iFlagNickBeep || !*m.local_nick || m.from_self()) return;
    const std::string plain = without_colours(m.text);
    const std::string lower_plain = ustrtolower(plain.c_str());
    const std::string lower_nick = ustrtolower(m.local_nick);
    if (!mentions(lower_plain, lower_nick)) return;
    alert_sound();
    remember_call(m, highlighted(plain, lower_plain, lower_nick, m.local_nick));
    if (is_session(current_tab) && !same_name(current_tab->channel, m.channel) && !m.is_private())
        MonitoringLine(m.channel, m.nick, GetMessage(25), m.channel, m.nick, m.server);
    if (iAnswerAway)
        iAnswerAway = 0;
    else if (answers_allowed(m))
        SendAwayAnswer(m.vars, *m.user, tLastAwayAnswer, AwayAnswerKind::Mention);
}

}  // namespace

void handle_plain_text(IncomingMessage& m)
{
    if (m.is_private()) handle_query(m);
    watch_channel(m);
    watch_word(m);
    watch_mention(m);
    // The away answer of a private message covers its mention only.
    iAnswerAway = 0;
    m.offer("text", m.text);
}

int SendAwayAnswer(ParseVars& vars, ChatUser& user, time_t& tLastAnswer, AwayAnswerKind kind)
{
    if (!iFlagAwayMessage || user.uiAnswer >= 3 || tLastAnswer + tMinSecondSent >= vars.tCurrentTime) return 0;
    if (!local_user_away(vars)) return 0;
    tLastAnswer = vars.tCurrentTime;
    if (acAwayMessage.empty()) acAwayMessage = host_pref_text(HostPref::AwayReason).substr(0, kAwayMessageSize);
    ++user.uiAnswer;
    const std::string nick = double_percent(vars.psRemoteUserNick ? *vars.psRemoteUserNick : std::string());
    QueueMessageCommand(vars.pSess, 16, nick.c_str(), nick.c_str(), acAwayMessage.c_str());
    if (kind == AwayAnswerKind::Query && iPrivateKillerAlert < 0) return 1;
    QueueMessageCommand(vars.pSess, 17, nick.c_str());
    if (kind != AwayAnswerKind::Mention && user.uiAnswer > 2) {
        QueueMessageCommand(vars.pSess, 18, nick.c_str());
        QueueMessageCommand(vars.pSess, 764, nick.c_str(), QUIBO_MESSAGE);
    }
    return 1;
}
