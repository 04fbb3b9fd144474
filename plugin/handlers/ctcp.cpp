// CTCP requests in private messages and notices: which ones are known, the
// flood watch that switches answering off, and the report or blanking of each.
#include "handlers/privmsg.h"

#include "host/host.h"
#include "host/lifecycle.h"
#include "output/output.h"
#include "pipeline/commands.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <cstdlib>
#include <cstring>

namespace {

// Each begins with the CTCP byte; a text holding none of them is plain text.
constexpr const char* kCtcpKeywords[] = {
    "\001VERSION\001", "\001USERINFO\001", "\001CLIENTINFO\001", "\001PING",   "\001TIME\001",    "\001FINGER\001",
    "\001XDCC LIST\001", "\001CDCC LIST\001", "\001SOUND",       "\001ACTION", "\001PROFILE\001",
};

constexpr const char* kCtcpIgnoredNotice = "\0036QuIbOsCrIpT MeSsAgE: \0035CTCP Ignored";

bool holds(const std::string& upper, const char* keyword) { return upper.find(keyword) != std::string::npos; }

void report_ctcp_flood(const IncomingMessage& m)
{
    sPrintText(current_tab, "%s", kSeparatorLine);
    sPrintText(current_tab, "%s", GetMessage(11));
    sPrintText(current_tab, GetMessage(12), m.nick, m.address, m.server);
    sPrintText(current_tab, "%s", kSeparatorLine);
    iFlagCTCPAnswer = 0;
    quibo_play_sound("warning");
}

void blank_request(IncomingMessage& m, const std::string& upper)
{
    if (holds(upper, "\001ACTION")) return;
    m.drop_line();
    if (error_output_on() && iCTCPIgnoredNotices < 1) {
        ++iCTCPIgnoredNotices;
        sPrintText(current_tab, "%s", kCtcpIgnoredNotice);
    }
}

void report_request(IncomingMessage& m)
{
    ChatUser& user = *m.user;
    --user.uiStatus;
    if (user.uiStatus < -1) return;
    sPrintText(current_tab, GetMessage(13), m.nick, m.address, m.channel, m.server, std::abs(user.uiStatus));
    UserInfo(m.vars.pSess, m.nick, m.address, 0);
    if (away_notice_due(m) && answers_allowed(m))
        QueueMessageCommand(m.vars.pSess, 32, double_percent(m.nick).c_str(), QUIBO_MESSAGE);
}

}  // namespace

bool is_ctcp_request(const char* text)
{
    if (!strchr(text, '\001')) return false;
    const std::string upper = ustrtoupper(text);
    for (const char* keyword : kCtcpKeywords)
        if (holds(upper, keyword)) return true;
    return false;
}

void watch_ctcp_flood(IncomingMessage& m)
{
    if (!iFlagCTCPAnswer || !m.vars.pText || m.vars.pText->find('\001') == std::string::npos) return;
    if (tCTCPFloodStart + tCTCPFloodTimer < m.now()) {
        sCTCPFloodCount = 0;
        tCTCPFloodStart = m.now();
        return;
    }
    if (++sCTCPFloodCount >= 3 * iMaxMessageSent) report_ctcp_flood(m);
}

void handle_ctcp(IncomingMessage& m)
{
    const std::string upper = ustrtoupper(m.text);
    if (!iFlagCTCPAnswer || m.ctcp_ignored) {
        blank_request(m, upper);
        return;
    }
    iCTCPIgnoredNotices = 0;
    m.offer("ctcp", upper.c_str(), m.vars.pSess);
    if (iFlagEnableDatabase && !holds(upper, "\001SOUND") && !holds(upper, "\001ACTION")) report_request(m);
}
