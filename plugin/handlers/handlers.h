// IRC event handlers, the records they keep and the WHO reconciliation of the user database.
#pragma once

#include "pipeline/parser.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

struct HostSession;

// A mention of the local nickname, recorded by the private-message handler.
struct NickCall {
    time_t tTime = 0;
    std::string psServerHost;
    std::string psChannel;
    std::string psNick;
    std::string psText;
};
// In arrival order.
extern std::vector<NickCall> MyNickCallDB;

// 1 while a kick is handled, so that the part step works on the kicked user.
extern int16_t sFlagKick;
// Set once the database held the local user under another nick in a channel we left; stays set.
extern int16_t sMultipleLocalUser;
// The nick the nick-join check reported last; empty when none.
extern std::string psPreviousNicknameJMDetected;
// Former nicks kept in a record's info, the newest last.
constexpr int kMaxNickHistory = 10;
// Set by "/QUIBO part": the PART handler closes the window after leaving.
extern int16_t sFlagCloseWindow_Part;
void CloseWindowAfterPart();
// The channel whose WHO refresh is pending; empty when none is.
extern std::string psFlagDisableUpdateChannel;

// full = 1 reconciles and reports; 0 is the cheap check.
void CheckUpDatabase(int full);
void UpdateChannel(HostSession* sess, const char* channel);
// Leaves a channel window (and closes it), or closes a server or dialog window with its queued commands.
int CloseWindow(HostSession* sess);

// The server whose link broke three times; the end of its next MOTD makes us leave it. Empty when none.
extern std::string psConnectionBrokenServer;
// Non-zero while a WHO scan of a joined channel is pending.
extern int16_t sFlagEndWhoCloneScanning;
// 1 once the database was found without the local user (a rebuild is running).
extern int16_t sWhoDatabaseUpdate;
// Set by handlers during a line so that the reconciliation waits; cleared after the line (a negative value stays).
extern int16_t sFlagLockCheckUpDB;
// When the last private message arrived.
extern time_t tLastQueryTime;

// The sound `sound` (a name under the data folder, e.g. "quibo") at most once per `interval` seconds: 1 while it
// plays, 0 when it could not (the client's beep stands in when the device is busy or missing).
int SoundDeviceBusy(const char* sound, time_t interval);
extern int iSoundBusyCount;
// Cleared whenever a monitoring line is printed.
extern int16_t sNoSound_PrintText;
// 1 for a character that may appear in a nickname.
int is_nickname_char(int c);
// Prints a monitoring line into the window the user looks at, unless that window is the channel or the nick
// concerned (or either is empty); clears sNoSound_PrintText.
void MonitoringLine(const char* channel, const char* nick, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// One handler per kind of line; each reads the fields of `vars` and releases them.
int case_privmsg(ParseVars& vars, const char* kind);
int case_join(ParseVars& vars);
int case_part(ParseVars& vars);
int case_kick(ParseVars& vars);
int case_quit(ParseVars& vars);
int case_chnick(ParseVars& vars);
int case_mode(ParseVars& vars);
int case_names(ParseVars& vars);
int case_invite(ParseVars& vars);
int case_notify(ParseVars& vars);
int who_manager(ParseVars& vars);
int case_who(ParseVars& vars);
int case_endwho(ParseVars& vars);
int case_lujoin(ParseVars& vars);
int case_clist(ParseVars& vars);
int case_srvmsg(ParseVars& vars);
int case_oserver(ParseVars& vars);
int case_errorlnk(ParseVars& vars);
int case_endmotd(ParseVars& vars);

// Set when a WHO reply or a welcome updated an existing record; handlers that would make a record skip it.
extern int16_t sNoSendJoinEvent;
// Records a user the client shows but the database lacks (as a WHO reply would) and asks the server for a WHO
// of the nick; reads the sender's fields of `vars`.
void _UpdateDatabaseForced(ParseVars& vars);
// One log line of a handler when logging is on: the event log under `kind` with the advanced log, else `head`,
// the line's time and its calendar text, and `format` filled with the values.
void HandlerLog(const ParseVars& vars, const char* kind, const char* head, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// A language message that is a client command, queued for `sess`; values from the network are passed through
// double_percent first.
void QueueMessageCommand(HostSession* sess, int number, ...);
