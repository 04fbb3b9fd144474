// Inside the private-message handler: one incoming PRIVMSG or NOTICE and the
// steps that work on it, shared by messages.cpp, ctcp.cpp and plain_text.cpp.
#pragma once

#include "handlers/handlers.h"
#include "host/host.h"

#include <cstdint>
#include <ctime>
#include <string>

class ChatUser;
struct HostSession;

// One message being handled: the parse fields as texts ("" when absent) and
// what the steps learnt about it.
struct IncomingMessage {
    IncomingMessage(ParseVars& line_vars, const char* line_kind);

    ParseVars& vars;
    const char* kind;
    const char* nick;
    const char* address;
    const char* channel;
    const char* text;
    const char* server;      // the session's server name
    const char* local_nick;
    ChatUser* user = nullptr;
    bool ctcp_ignored = false;  // the client's ignore list holds the sender's CTCPs
    bool dcc = false;           // the text is a DCC request

    bool is_private() const;
    bool is_notice() const;
    // Our own line (a server that echoes what we send): no mention of us, no answer to us.
    bool from_self() const;
    time_t now() const { return vars.tCurrentTime; }
    // Offers an event to the sentinels; the window is the event window unless one is given.
    void offer(const char* event, const char* data, HostSession* sess = nullptr);
    // Empties the raw line: the client drops it.
    void drop_line();

private:
    HostSession* event_session();
    HostSession* event_sess_ = nullptr;
    bool event_sess_known_ = false;
};

// Handler state kept between messages.
extern int16_t sQueryFloodCount;
extern time_t tCTCPFloodStart;
extern int16_t sCTCPFloodCount;
extern time_t tLastFloodWarning;
extern int iCTCPIgnoredNotices;
extern time_t tLastAwayAnswer;
extern int iAnswerAway;
// Mentions kept for /quibo mynick; the oldest go first.
constexpr size_t kMaxNickCalls = 500;

// Whether we are away, read again from the client (the mirror reads it only when the window changes);
// vars.iLocalUserAway follows.
int local_user_away(ParseVars& vars);
// Exactly one of the two: we are away, or the client ends the away state by itself.
inline bool away_notice_due(IncomingMessage& m)
{
    return (local_user_away(m.vars) != 0) != (host_pref_int(HostPref::AwayAutoUnmark) != 0);
}

// Nothing answers a notice automatically: two answering clients would talk to each other.
inline bool answers_allowed(const IncomingMessage& m) { return !m.is_notice() && !m.from_self(); }

// 1 when the text carries one of the CTCP requests the handler knows.
bool is_ctcp_request(const char* text);
// The CTCP flood watch (while incoming flood control is on).
void watch_ctcp_flood(IncomingMessage& m);
// A CTCP request: answered by the client, or blanked.
void handle_ctcp(IncomingMessage& m);
// Plain text: queries, away answers, beeps, monitoring and mentions.
void handle_plain_text(IncomingMessage& m);
