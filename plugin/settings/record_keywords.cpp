// /QUIBO mynick and qm: the recorded mentions of the own nickname, and whether
// the partner of a query window may write to the user.
#include "settings/main_command.h"

#include "handlers/handlers.h"
#include "host/host.h"
#include "host/lifecycle.h"
#include "output/output.h"
#include "queue/queue.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <strings.h>

#include <cstring>
#include <ctime>

namespace {

void separator(HostSession* where) { sPrintText(where, "%s", kSeparatorLine); }

bool mention_shown(const NickCall& call, const QuiboCommand& cmd)
{
    const HostSession* sess = cmd.sess;
    if (call.psChannel[0] == '#' && strcasecmp(call.psChannel.c_str(), sess->channel.c_str()) != 0) return false;
    if (!sess->server || call.psServerHost != sess->server->hostname) return false;
    const char* filter = cmd.tail(3);
    return !*filter || strcasecmp(filter, call.psNick.c_str()) == 0 || strcasecmp(filter, call.psText.c_str()) == 0;
}

void print_mention(HostSession* where, const NickCall& call, int count)
{
    struct tm local {};
    if (!localtime_r(&call.tTime, &local)) {
        sPrintText(where, "\0034INTERNAL ERROR:\t\0039 Unable to convert time.\n");
        return;
    }
    sPrintText(where, GetMessage(call.psChannel[0] == '#' ? 996 : 995), count, local.tm_hour, local.tm_min,
               local.tm_sec, call.psNick.c_str(), call.psText.c_str());
}

bool is_channel_name(const std::string& name) { return !name.empty() && strchr("#&!'", name[0]); }

void print_query_state(HostSession* where, int message, const ChatUser& user, const char* window)
{
    sPrintText(where, GetMessage(message), window, user.psChannel.c_str());
}

void query_unknown(const QuiboCommand& cmd, const char* window)
{
    HostSession* where = cmd.where();
    if (strcmp(cmd.arg(3), "\\") == 0) {
        sPrintText(where, GetMessage(502), window);
        return;
    }
    if (cmd.has_arg(3)) return;
    separator(where);
    sPrintText(where, GetMessage(283), window);
    sPrintText(where, "%s", GetMessage(284));
    separator(where);
    if (iFlagDisableDBUpdating == 1) {
        if (error_output_on() && sFlagWhoError == 1) {
            sPrintText(where, "%s", GetMessage(739));
            sFlagWhoError = 0;
        }
    } else if (psFlagDisableUpdateChannel.empty()) {
        InsertCommandInQueue(cmd.sess, std::string("/WHO ") + window);
        ExecCommandInQueue(0);
    }
}

// Without an argument queries become accepted; with "\" they are refused again.
bool set_query(const QuiboCommand& cmd, ChatUser& user, const char* window)
{
    HostSession* where = cmd.where();
    if (!cmd.has_arg(3)) {
        separator(where);
        const bool changed = user.uiQuery != kQueryAccepted;
        user.uiQuery = kQueryAccepted;
        print_query_state(where, changed ? 503 : 504, user, window);
        separator(where);
    } else if (strcmp(cmd.arg(3), "\\") == 0) {
        if (user.uiQuery == 0) {
            print_query_state(where, 501, user, window);
        } else {
            user.uiQuery = 0;
            print_query_state(where, 500, user, window);
            CheckUpDatabase(0);
        }
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool run_mynick(QuiboCommand& cmd, const void*)
{
    if (!cmd.sess) return true;
    HostSession* where = cmd.where();
    const char* channel = cmd.sess->channel.c_str();
    separator(where);
    sPrintText(where, GetMessage(994), channel);
    if (iFlagNickBeep == 0) sPrintText(where, "%s", GetMessage(999));
    separator(where);
    if (MyNickCallDB.empty()) {
        sPrintText(where, "%s", GetMessage(998));
    } else {
        int shown = 0;
        for (const NickCall& call : MyNickCallDB)
            if (mention_shown(call, cmd)) print_mention(where, call, ++shown);
        if (shown == 0) sPrintText(where, GetMessage(997), channel);
    }
    separator(where);
    return true;
}

bool run_qm(QuiboCommand& cmd, const void*)
{
    if (!cmd.sess) return true;
    const char* window = cmd.sess->channel.c_str();
    if (is_channel_name(cmd.sess->channel)) {
        sPrintText(cmd.where(), "%s", GetMessage(505));
        return true;
    }
    if (!iFlagEnableDatabase) {
        sPrintText(cmd.where(), "%s", GetMessage(285));
        return true;
    }
    const char* server = cmd.sess->server ? cmd.sess->server->servername.c_str() : "";
    ChatUser* user = GetUser(server, nullptr, window, nullptr, nullptr);
    if (!user) {
        query_unknown(cmd, window);
        return true;
    }
    for (; user; user = GetUserNext())
        if (!set_query(cmd, *user, window)) break;
    return true;
}
