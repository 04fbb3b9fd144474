#include "pipeline/sessions.h"

#include "handlers/handlers.h"
#include "host/host.h"
#include "host/lifecycle.h"
#include "host/paths.h"
#include "host/trace.h"
#include "output/output.h"
#include "pipeline/irc_line.h"
#include "pipeline/parser.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <strings.h>

#include <cstring>
#include <list>

namespace {

bool filled(const char* text) { return text && *text; }
const char* shown(const char* text) { return filled(text) ? text : "empty"; }
bool same(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// ---- GetSession ------------------------------------------------------------------------------------

struct Route {
    const char* local;
    const char* remote;
    const char* channel;
    const char* server;

    bool notice() const { return strcmp(remote, kNoticeRoute) == 0; }
    bool private_message() const { return strcasecmp(local, channel) == 0; }
    bool on_server(const HostSession* sess) const { return same(sess->server->servername, server); }
};

HostSession* trace_pick(HostSession* sess, const char* reason)
{
    DebugPlugin(1, " * GetSession() - [%s]", reason);
    return sess;
}

// A notice: the window of that server named like the target; else the
// candidate is current_tab when it belongs there, or that server's first window.
HostSession* notice_session(const Route& route, HostSession* sess, HostSession*& candidate)
{
    if (!route.on_server(sess)) return nullptr;
    if (same(sess->channel, route.channel)) {
        DebugPlugin(1, "NOTICE: GetSession() - [channel / server ==]");
        return sess;
    }
    if (!candidate || sess == current_tab) candidate = sess;
    return nullptr;
}

// The dialog with the sender on the same server wins over any channel, so
// it is looked for over the whole mirror before the channel rules.
HostSession* dialog_session(const Route& route)
{
    for (HostSession* sess : sess_list)
        if (same(sess->channel, route.remote) && route.on_server(sess))
            return trace_pick(sess, "nickname / channel / server ==");
    return nullptr;
}

HostSession* channel_for_private(const Route& route, HostSession* sess)
{
    if (strcasecmp(route.local, route.remote) == 0)
        return route.on_server(sess) ? trace_pick(sess, "none") : nullptr;
    if (!host_pref_int(HostPref::TabServer)) return nullptr;
    DebugPlugin(1, " * GetSession() - [use_server_tab | channel = %s]", sess->channel.c_str());
    if (!is_channel_name(sess->channel)) return nullptr;
    if (!iFlagEnableDatabase) return sess;
    if (!GetUser(sess->server->servername.c_str(), sess->channel.c_str(), route.remote, nullptr, nullptr))
        return nullptr;
    DebugPlugin(1, " * GetSession() - [Found In Database = %s]", sess->channel.c_str());
    return sess;
}

HostSession* session_rule(const Route& route, HostSession* sess, HostSession*& candidate)
{
    if (route.notice()) return notice_session(route, sess, candidate);
    if (!route.private_message())
        return same(sess->channel, route.channel) && route.on_server(sess)
                   ? trace_pick(sess, "channel / server ==")
                   : nullptr;
    return channel_for_private(route, sess);
}

// Walks the mirror; `decided` is set when the walk chose (current_tab may be null).
HostSession* walk_sessions(const Route& route, HostSession*& candidate, bool& decided)
{
    extern_update_session();
    for (HostSession* sess : sess_list) {
        if (!sess || !sess->server) {
            DebugPlugin(1, " * GetSession() - [pSession: Empty]");
            decided = current_tab != nullptr;
            return current_tab;
        }
    }
    if (!route.notice() && route.private_message())
        if (HostSession* dialog = dialog_session(route)) return dialog;
    for (HostSession* sess : sess_list) {
        DebugPlugin(1, " * GetSession() - (server = %s & channel = %s)", sess->server->servername.c_str(),
                    sess->channel.c_str());
        if (HostSession* found = session_rule(route, sess, candidate)) return found;
    }
    return nullptr;
}

HostSession* fallback(HostSession* pDefaultSession, const char* remote, HostSession* candidate)
{
    if (candidate && remote && strcmp(remote, kNoticeRoute) == 0) {
        DebugPlugin(1, "NOTICE: GetSession() - [%p:%s]", static_cast<void*>(candidate), candidate->channel.c_str());
        return candidate;
    }
    if (pDefaultSession) return pDefaultSession;
    HostSession* zombie = zombie_session();
    DebugPlugin(1, " * GetSession() - [%p:%s]", static_cast<void*>(zombie), zombie->channel.c_str());
    return zombie;
}

// ---- AdvancedLog -----------------------------------------------------------------------------------

const char* field(const ParseText& text) { return text ? text->c_str() : ""; }

std::string local_address(HostServer* server)
{
    if (!server) return {};
    const std::optional<HostUser> user = find_name_global(server, server->nick.c_str());
    return user ? user->address : std::string();
}

// ---- UserDetect ------------------------------------------------------------------------------------

std::string psLastNicknameDetected;

// Marks the user's unchecked records as checked and reports them; the first
// record also brings the watch-file reports.
void report_records(const char* server, const char* nick)
{
    bool first = true;
    // The watch-file reports may search the database themselves.
    UserSnapshot records(server, nullptr, nick, nullptr, nullptr);
    for (ChatUser* user : records.hits()) {
        if (!user || user->uiStatus != 0) continue;
        user->uiStatus = 1;
        const char* address = user->psAddress() ? user->psAddress() : "";
        const char* channel = user->psChannel() ? user->psChannel() : "";
        sPrintText(current_tab, GetMessage(250), nick, address, channel, user->psServer() ? user->psServer() : "");
        if (!first) continue;
        first = false;
        UserInfo(current_tab, nick, address, 0);
        sPrintText(current_tab, "%s", kSeparatorLine);
        sPrintText(current_tab, "%s", GetMessage(251));
        UserInfo(current_tab, nick, address, 2);
        if (iFlagNickJoinMonitoring) NickJoined(current_tab, nick, address, channel);
    }
}

// ---- former nicknames ------------------------------------------------------------------------------

struct OldNickname {
    const HostServer* server;
    std::string nick;
};
std::list<OldNickname> pServerAndOldNickname;

}  // namespace

HostSession* GetSession(HostSession* pDefaultSession, const char* psLocalNickname, const char* psRemoteNickname,
                        const char* psChannel, const char* psServer)
{
    DebugPlugin(0,
                "BEGIN: GetSession(pDefaultSession = %p, psLocalNickname = %s, psRemoteNickname = %s, psChannel = "
                "%s, psServer = %s)",
                static_cast<void*>(pDefaultSession), shown(psLocalNickname), shown(psRemoteNickname),
                shown(psChannel), shown(psServer));
    HostSession* candidate = nullptr;
    HostSession* found = nullptr;
    bool decided = false;
    if (filled(psLocalNickname) && filled(psRemoteNickname) && filled(psChannel) && filled(psServer)) {
        found = walk_sessions({psLocalNickname, psRemoteNickname, psChannel, psServer}, candidate, decided);
        decided = decided || found;
    }
    if (!decided) found = fallback(pDefaultSession, psRemoteNickname, candidate);
    DebugPlugin(0, "END: GetSession() = %p", static_cast<void*>(found));
    return found;
}

int CheckSession(HostSession* sess)
{
    DebugPlugin(0, "BEGIN: CheckSession(%p)", static_cast<void*>(sess));
    extern_update_session();
    int open = 0;
    for (HostSession* entry : sess_list) {
        if (!entry || !entry->server) continue;
        DebugPlugin(1, " * CheckSession() - (server = %s & channel = %s)", entry->server->servername.c_str(),
                    entry->channel.c_str());
        if (entry == sess) {
            open = 1;
            break;
        }
    }
    DebugPlugin(0, "END: CheckSession(%p) = %d", static_cast<void*>(sess), open);
    return open;
}

void AdvancedLog(const char* kind)
{
    if (!filled(kind)) return;
    DebugPlugin(0, "BEGIN: AdvancedLog(%s)", kind);
    const ParseVars& vars = parse_vars();
    HostServer* server = vars.pSess ? vars.pSess->server : nullptr;
    const bool kick = sFlagKick != 0;
    sPrintLog(quibo_data_path("quibo.log").c_str(), "\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s", kind,
              ctime_text(vars.tCurrentTime).c_str(), server ? server->hostname.c_str() : "",
              vars.psServerName ? vars.psServerName->c_str() : vars.psCurrentServerName.c_str(),
              server ? server->nick.c_str() : "", local_address(server).c_str(), field(vars.psChannelName),
              field(vars.psLocalUserNick), field(vars.psLocalUserAddress),
              field(kick ? vars.psLocalUserNick : vars.psRemoteUserNick),
              field(kick ? vars.psLocalUserAddress : vars.psRemoteUserAddress),
              vars.psMessageData ? vars.psMessageData->c_str() : field(vars.psChannelUsers));
    DebugPlugin(0, "END: AdvancedLog(%s)", kind);
}

std::string get_network_name(HostSession* sess)
{
    DebugPlugin(3, "BEGIN: get_network_name(%p)", static_cast<void*>(sess));
    std::string network = extern_get_network_name(sess);
    if (network.empty() && sess && sess->server) network = sess->server->hostname;
    DebugPlugin(3, "END: get_network_name() = %s", network.c_str());
    return network;
}

void UserDetect(HostSession* sess, const char* server, const char* nick)
{
    if (!iFlagEnableDatabase || !filled(nick)) return;
    if (strcasecmp(nick, psLastNicknameDetected.c_str()) == 0) return;
    psLastNicknameDetected = nick;
    // The caller's texts may belong to a record that the reports below change.
    const std::string user_nick = nick;
    const std::string user_server = server ? server : "";
    const char* on_server = server ? user_server.c_str() : nullptr;
    const ChatUser* first = GetUser(on_server, nullptr, user_nick.c_str(), nullptr, nullptr);
    const bool is_new = first && first->uiStatus == 0;
    if (is_new) {
        sPrintText(current_tab, "%s", kSeparatorLine);
        sPrintText(current_tab, "%s", GetMessage(249));
    }
    report_records(on_server, user_nick.c_str());
    GetUser(on_server, nullptr, user_nick.c_str(), nullptr, nullptr);
    if (!is_new) return;
    sHandleCommand(sess, "/WHOIS %s", double_percent(user_nick).c_str());
    SearchClone(current_tab, user_nick.c_str());
    sPrintText(current_tab, "%s", kSeparatorLine);
    sPrintText(current_tab, "%s", GetMessage(252));
    sPrintText(current_tab, "%s", kSeparatorLine);
}

const std::string& last_nickname_detected() { return psLastNicknameDetected; }

const char* AddNicknameForServer(HostServer* server, const char* nick)
{
    DebugPlugin(3, "BEGIN: AddNicknameForServer(%p, %s)", static_cast<void*>(server), nick ? nick : "NULL");
    if (!server || !nick) return nullptr;
    std::erase_if(pServerAndOldNickname, [server](const OldNickname& entry) { return entry.server == server; });
    pServerAndOldNickname.push_front({server, nick});
    if (pServerAndOldNickname.size() > kMaxOldNicknames) pServerAndOldNickname.pop_back();
    const char* stored = pServerAndOldNickname.front().nick.c_str();
    DebugPlugin(3, "END: AddNicknameForServer() = %s", stored);
    return stored;
}

const char* GetNicknameForServer(HostServer* server)
{
    DebugPlugin(3, "BEGIN: GetNicknameForServer(%p)", static_cast<void*>(server));
    const char* nick = nullptr;
    for (const OldNickname& entry : pServerAndOldNickname) {
        if (entry.server != server) continue;
        nick = entry.nick.c_str();
        break;
    }
    DebugPlugin(3, "END: GetNicknameForServer() = %s", nick ? nick : "NULL");
    return nick;
}

size_t old_nickname_count() { return pServerAndOldNickname.size(); }

void FlushSessionMemory()
{
    pServerAndOldNickname.clear();
    psLastNicknameDetected.clear();
}
