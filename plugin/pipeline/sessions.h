// Session resolution, the event log and what the plug-in remembers about
// dialogs and former nicknames.
#pragma once

#include <cstddef>
#include <string>

struct HostSession;
struct HostServer;

// The sender marker that asks GetSession to route a notice.
constexpr const char* kNoticeRoute = " NOTICE ";

// The window where an event belongs: the channel of a channel message, the
// dialog with the sender of a private message, a window of the notice's
// server. Falls back to `pDefaultSession`, or to the zombie session when none
// is given, so the result is never null without a default.
HostSession* GetSession(HostSession* pDefaultSession, const char* psLocalNickname, const char* psRemoteNickname,
                        const char* psChannel, const char* psServer);
// 1 when `sess` is still an open window of the client, else 0.
int CheckSession(HostSession* sess);
// Appends one tab-separated line about the current parse variables to quibo.log.
void AdvancedLog(const char* kind);
// The network of the session's server, or the server's host name.
std::string get_network_name(HostSession* sess);
// Reports what the database knows about `nick`, who opened a dialog with us.
void UserDetect(HostSession* sess, const char* server, const char* nick);
// The nickname UserDetect handled last; empty when none.
const std::string& last_nickname_detected();

// Former nicknames of the local user, newest first, one per server. The
// stored copy stays valid until the same server gets another one or the
// store drops the server as its oldest (it keeps kMaxOldNicknames servers).
constexpr size_t kMaxOldNicknames = 256;
const char* AddNicknameForServer(HostServer* server, const char* nick);
const char* GetNicknameForServer(HostServer* server);
size_t old_nickname_count();
// Unload: forgets the former nicknames and the last detected nickname.
void FlushSessionMemory();
