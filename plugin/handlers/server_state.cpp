// Replies about the connection itself: welcome, end of MOTD, closing link, channel lists.
#include "handlers/handlers.h"
#include "handlers/membership.h"

#include "events/events.h"
#include "host/host.h"
#include "host/lifecycle.h"
#include "output/output.h"
#include "pipeline/sessions.h"
#include "queue/queue.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <strings.h>

#include <cstdarg>

std::string psConnectionBrokenServer;

namespace {

// Closing links seen since the last mark, on any server.
int16_t sClosingLinkCount = 0;

const char* value(const ParseText& text) { return text ? text->c_str() : ""; }

// The server a welcome speaks for: the name it gives itself, else the window's.
std::string welcomed_server(const ParseVars& vars)
{
    return vars.psServerName && !vars.psServerName->empty() ? *vars.psServerName : vars.psCurrentServerName;
}

void delete_server_records(const std::string& server)
{
    if (server.empty()) return;
    for (int left = GetSize(); left >= 0; --left) {
        ChatUser* user = GetUser(server.c_str(), nullptr, nullptr, nullptr, nullptr);
        if (!user) break;
        DeleteUser(user);
    }
    IsDatabaseChanged();
}

void record_local_user(ParseVars& vars, const std::string& server)
{
    const char* nick = text_or_null(vars.psLocalUserNick);
    const char* address = text_or_null(vars.psRemoteUserAddress);
    if (!nick || !*nick) return;
    ChatUserPtr record = CreateUser(server.c_str(), nullptr, nick, address, nullptr);
    ChatUser* kept = record.get();
    int taken = 0;
    if (ChatUser* existing = GetUser(server.c_str(), nullptr, nick, address, nullptr)) {
        taken = ModifyUser(existing, record);
        if (taken) sNoSendJoinEvent = 1;
    } else {
        taken = InsertUser(record);
    }
    if (!taken) FreeUser(record);
    IsDatabaseChanged();
    if (!taken) return;
    SetSpecialUser(kept, nick);
    if (kept->usSpecial == 1) sWhoDatabaseUpdate = 0;
}

// False when the client gave a window without a server: the plug-in then unloads itself.
bool report_connection(ParseVars& vars)
{
    const char* nick = value(vars.psLocalUserNick);
    HostSession* sess = GetSession(vars.pSess, nick, nick, nick, vars.psCurrentServerName.c_str());
    if (sess && error_output_on()) {
        if (!sess->server) {
            QuiboscriptAbort();
            return false;
        }
        sPrintText(current_tab, GetMessage(41), sess->server->servername.c_str());
    }
    VerifyEvent(sess, "jserver", nick, nick, value(vars.psRemoteUserAddress), "", vars.psCurrentServerName.c_str(),
                value(vars.psMessageData));
    return true;
}

}  // namespace

void HandlerLog(const ParseVars& vars, const char* kind, const char* head, const char* format, ...)
{
    if (!iFlagLogFile) return;
    if (iFlagAdvancedLog) {
        AdvancedLog(kind);
        return;
    }
    va_list args;
    va_start(args, format);
    const std::string values = vformat(format, args);
    va_end(args);
    membership::append_log(membership::text_of("%s[%d | %s] -> %s", head, static_cast<int>(vars.tCurrentTime),
                                                ctime_text(vars.tCurrentTime).c_str(), values.c_str()));
}

void QueueMessageCommand(HostSession* sess, int number, ...)
{
    va_list args;
    va_start(args, number);
    std::string command = vformat(GetMessage(number), args);
    va_end(args);
    strip_line_breaks(command);
    InsertCommandInQueue(sess, std::move(command));
}

int case_oserver(ParseVars& vars)
{
    HandlerLog(vars, "SERVER", "SERVER: ", "nick:[%s] server:[%s] data:[%s]", value(vars.psLocalUserNick),
               value(vars.psServerName), value(vars.psMessageData));
    const std::string server = welcomed_server(vars);
    if (iFlagEnableDatabase) {
        delete_server_records(server);
        if (server != vars.psCurrentServerName) delete_server_records(vars.psCurrentServerName);
    }
    {
        membership::HeldErrorOutput quiet;
        CheckUpDatabase(0);
    }
    sPrintText(current_tab, "%s", kSeparatorLine);
    if (iFlagEnableEvent && !report_connection(vars)) {
        ResetLocalVariables(vars);
        return 0;
    }
    if (iFlagEnableDatabase) record_local_user(vars, server);
    ResetLocalVariables(vars);
    return 0;
}

int case_errorlnk(ParseVars& vars)
{
    HandlerLog(vars, "CLOSING_LINK_ERROR", "ERRORE :Closing Link: ", "nick:[%s]", value(vars.psLocalUserNick));
    quibo_play_sound("error");
    if (!iFlagKeepQueueCommandCorrupted && iObjectInQueue > 0) {
        FlushCommandInQueue();
        PrintMessage(55);
    }
    ++sClosingLinkCount;
    if (error_output_on())
        sPrintText(current_tab, GetMessage(56), value(vars.psLocalUserNick), vars.psCurrentServerName.c_str(),
                   static_cast<int>(sClosingLinkCount));
    if (sClosingLinkCount > 2) {
        psConnectionBrokenServer = vars.psCurrentServerName;
        sClosingLinkCount = 0;
    }
    if (iFlagEnableEvent)
        VerifyEvent(vars.pSess, "pserver", vars.psLocalNickname.c_str(), "", "", "", vars.psCurrentServerName.c_str(),
                    "");
    ResetLocalVariables(vars);
    return 0;
}

int case_endmotd(ParseVars& vars)
{
    HandlerLog(vars, "ENDMOTD", "ENDMOTD: ", "nick:[%s] server:[%s] data:[%s]", value(vars.psLocalUserNick),
               value(vars.psServerName), value(vars.psMessageData));
    const std::string& server = vars.psCurrentServerName;
    if (!psConnectionBrokenServer.empty() && strcasecmp(psConnectionBrokenServer.c_str(), server.c_str()) == 0) {
        psConnectionBrokenServer.clear();
        InsertCommandInQueue(vars.pSess, "/TIMER 2 QUIT");
        quibo_play_sound("error");
        sPrintText(current_tab, "%s", kSeparatorLine);
        sPrintText(current_tab, GetMessage(40), server.c_str());
        sPrintText(current_tab, "%s", kSeparatorLine);
    }
    ResetLocalVariables(vars);
    return 0;
}

// Every record of the channel goes, except that a user whose queries we accept is kept aside as a zombie.
int case_lujoin(ParseVars& vars)
{
    HandlerLog(vars, "LUJOIN", "LUJOIN: ", "server:[%s] nick:[%s] channel:[%s] data:[%s]", value(vars.psServerName),
               value(vars.psLocalUserNick), value(vars.psChannelName), value(vars.psMessageData));
    const char* channel = text_or_null(vars.psChannelName);
    if (iFlagEnableDatabase && channel && *channel) {
        const char* nick = text_or_null(vars.psRemoteUserNick);
        UserSnapshot records = membership::records_of(vars.psCurrentServerName.c_str(), channel, nick, nullptr);
        for (ChatUser* user : records.hits()) {
            if (!user) continue;
            if (user->uiQuery == kQueryAccepted) {
                membership::park_as_zombie(user);
                continue;
            }
            records.forget(user);
            DeleteUser(user);
        }
        IsDatabaseChanged();
    }
    ResetLocalVariables(vars);
    return 0;
}

int case_clist(ParseVars& vars)
{
    HandlerLog(vars, "CLIST", "CLIST: ", "server:[%s] nick:[%s] channel:[%s] nickslist:[%s]", value(vars.psServerName),
               value(vars.psLocalUserNick), value(vars.psChannelName), value(vars.psChannelUsers));
    ResetLocalVariables(vars);
    return 0;
}

int case_srvmsg(ParseVars& vars)
{
    HandlerLog(vars, "SRVMSG", "SRVMSG: ", "server:[%s] nick:[%s] channel:[%s] data:[%s]", value(vars.psServerName),
               value(vars.psLocalUserNick), value(vars.psChannelName), value(vars.psMessageData));
    ResetLocalVariables(vars);
    return 0;
}
