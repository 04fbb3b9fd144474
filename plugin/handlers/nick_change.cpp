// A user changes nick: the records follow the new nick and keep the former ones in their info, and the alerts
// and watch lists that name the user follow too.
#include "handlers/membership.h"

#include "events/events.h"
#include "host/host.h"
#include "host/trace.h"
#include "output/output.h"
#include "protection/words.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <cstdio>
#include <cstring>
#include <vector>

using namespace membership;

std::string psPreviousNicknameJMDetected;

namespace {

// Each former nick is one piece: a colour-4 code, a blank and the nick.
constexpr const char* kHistoryMark = "\0034 ";

std::string chnick_line(const ParseVars& v, const char* old_nick, const char* new_nick, const char* address)
{
    return text_of("CHNICK: [%d | %s] -> server:[%s] oldnick:[%s] address:[%s] newnick:[%s]",
                   static_cast<int>(v.tCurrentTime), ctime_text(v.tCurrentTime).c_str(), v.psCurrentServerName.c_str(),
                   shown(old_nick), shown(address), shown(new_nick));
}

}  // namespace

// What stood before the first former nick (the user's own info) stays.
std::string membership::add_nick_history(const char* info, const char* nick)
{
    std::string text = text_of("%s%s%s", info ? info : "", kHistoryMark, nick ? nick : "");
    const size_t mark = strlen(kHistoryMark);
    std::vector<size_t> pieces;
    for (size_t at = text.find(kHistoryMark); at != std::string::npos; at = text.find(kHistoryMark, at + mark))
        pieces.push_back(at);
    if (pieces.size() > static_cast<size_t>(kMaxNickHistory)) {
        const size_t first = pieces.front();
        text.erase(first, pieces[pieces.size() - kMaxNickHistory] - first);
    }
    return text;
}

namespace {

// Every record of the old nick on this server moves to the new nick.
void rename_records(const char* server, const char* old_nick, const char* new_nick)
{
    const UserSnapshot records = records_of(server, nullptr, old_nick, nullptr);
    for (ChatUser* user : records.hits()) {
        if (!user) continue;
        const std::string info = add_nick_history(user->psInfo(), old_nick);
        ChatUserPtr renamed = CreateUser(user->psServer(), user->psChannel(), new_nick, user->psAddress(), info.c_str());
        if (!renamed) continue;
        renamed->usFloodCount = user->usFloodCount;
        renamed->tLastMessage = user->tLastMessage;
        ModifyUser(user, renamed);
    }
}

void follow_monitored_nick(const char* server, const char* old_nick, const char* new_nick)
{
    SettingTextPair& watched = psFlagChanModBeep;
    if (watched.set && same_name(watched.text[0].c_str(), old_nick) && same_name(watched.text[1].c_str(), server))
        watched.text[0] = new_nick;
}

void nick_alert(const char* server, const char* old_nick, const char* new_nick)
{
    const SettingTextPair& beep = psFlagChanJoinBeep;
    if (!beep.set || !same_name(beep.text[0].c_str(), new_nick) || !same_name(beep.text[1].c_str(), server)) return;
    sNoSound_PrintText = static_cast<int16_t>(SoundDeviceBusy("quibo", tSoundCommandTimer));
    MonitoringLine(new_nick, new_nick, GetMessage(27), old_nick, new_nick, server);
}

void nick_join_check(ParseVars& v, const char* old_nick, const char* new_nick, const char* address,
                     const char* channel)
{
    const std::string& previous = psPreviousNicknameJMDetected;
    if (!previous.empty() && (strcasestr(previous.c_str(), new_nick) || strcasestr(new_nick, previous.c_str())))
        return;
    if (NickJoined(v.pSess, new_nick, address, channel)) psPreviousNicknameJMDetected = old_nick;
}

void bad_nick_check(ParseVars& v, ChatUser* record, const char* new_nick, const char* address, const char* channel)
{
    std::string word;
    if (!return_badword(new_nick, &word, badnick_list, 1)) return;
    const char* server = v.psCurrentServerName.c_str();
    if (error_output_on() && iFlagBadWordMessage && iFlagMonitoringMessage) {
        if (current_tab && is_session(current_tab) && !current_tab->channel.empty()) {
            sPrintText(current_tab, GetMessage(1040), server, new_nick, word.c_str());
        } else {
            printf("Sul Server %s e' stato intercettato un nickname proibito: %s [%s]\n", server, new_nick,
                   word.c_str());
            fflush(stdout);
        }
    }
    ++record->uiBadCount;
    const std::string count = std::to_string(record->uiBadCount);
    if (iFlagEnableEvent)
        VerifyEvent(v.pSess, "badnick", v.psLocalNickname.c_str(), new_nick, address, channel, server, count.c_str());
}

}  // namespace

int case_chnick(ParseVars& v)
{
    DebugPlugin(1, "BEGIN: case_chnick()");
    sFlagLockCheckUpDB = 1;
    const char* old_nick = text_or_null(v.psLocalUserNick);
    const char* new_nick = text_or_null(v.psRemoteUserNick);
    const char* address = text_or_null(v.psRemoteUserAddress);
    const char* server = v.psCurrentServerName.c_str();
    write_log("CHNICK", [&] { return chnick_line(v, old_nick, new_nick, address); });
    if (empty(old_nick) || empty(new_nick)) {
        ResetLocalVariables(v);
        return 0;
    }
    ChatUser* record = nullptr;
    if (iFlagEnableDatabase) {
        if (!same_name(old_nick, new_nick)) {
            rename_records(server, old_nick, new_nick);
            if (iFlagCloneDetect) SearchClone(v.pSess, new_nick);
        }
        record = GetUser(server, nullptr, new_nick, nullptr, nullptr);
        if (iFlagDomainMonitoring && record && record->usSpecial != 1 && !same_name(old_nick, new_nick))
            UserInfo(v.pSess, new_nick, address, 1);
    }
    // The record's texts are copied now: the checks below may change the database.
    const std::string channel = record && record->psChannel() ? record->psChannel() : v.psLocalNickname;
    follow_monitored_nick(server, old_nick, new_nick);
    nick_alert(server, old_nick, new_nick);
    if (iFlagNickJoinMonitoring) nick_join_check(v, old_nick, new_nick, address, channel.c_str());
    if (iFlagEnableDatabase) record = GetUser(server, nullptr, new_nick, nullptr, nullptr);
    if (iFlagBadWordSystem && record && record->uiStatus != 255 && (record->usSpecial != 1 || iFlagEventsManagerDebug))
        bad_nick_check(v, record, new_nick, address, channel.c_str());
    if (iFlagEnableEvent)
        VerifyEvent(v.pSess, "chgnick", old_nick, new_nick, address, channel.c_str(), server, "");
    ResetLocalVariables(v);
    DebugPlugin(1, "END: case_chnick() = 0");
    return 0;
}
