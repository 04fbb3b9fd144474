// The private-message guard: the allow/deny list of who may open a private
// conversation, its file private_killer.txt, the verdict on a sender, and the
// question asked about an unknown sender.
//
// How the raw-line path uses it, for a private message, notice or invitation
// addressed to the local user:
//   1. get_killed_user_flag(nick, address, &entry) grades the sender (kPK...);
//   2. for an unknown sender (0), killed_user_rule_answer() tells whether an
//      allow rule covers the sender's network or a channel where the sender is
//      known, else zem_gtk_query_kill_request() asks the user;
//   3. killed_user_answer() records the answer in the list (and the file).
// The messages that tell the user and the sender (the refusal notice, message
// 855, and the others named below) are the language file's.
#pragma once

#include <ctime>
#include <vector>

#include "users/chatuser.h"

struct HostServer;
struct HostSession;

// An entry of the list is a user record (users/chatuser.h) with no server and
// no channel: a nick and its address (ident@host), or a rule: a nick
// beginning with "/" and, as its address, a server host name or a channel
// name. Its fields in use here:
//   uiStatus      the flag: 0 and above allow, below 0 deny (3 and -3 as written)
//   uiKeep        1: temporary, for this session only, never written to the file
//   uiAnswer      the raw-line path: the sender was told once
//   uiBadCount    the raw-line path: warnings still to hold back
//   tLastMessage  the raw-line path: when the last warning was printed
using KilledUser = ChatUser;

// Verdicts: how a nick and address stand against the list.
constexpr int kPKAllowedBoth = 3;      // an allow entry with that nick and address
constexpr int kPKAllowedNick = 2;      // an allow entry with that nick
constexpr int kPKAllowedAddress = 1;   // an allow entry with that address
constexpr int kPKUnknown = 0;          // no entry matches (or nick or address missing)
constexpr int kPKBlockedAddress = -1;  // only deny entries match: the address
constexpr int kPKBlockedNick = -2;     // the nick
constexpr int kPKBlockedBoth = -3;     // nick and address

// The answers to the question, one per button; the time-out answers kPKRefuseOnce.
constexpr int kPKAllowOnce = 1;     // message 842: a temporary allow entry
constexpr int kPKAllowAlways = 2;   // message 843: a stored allow entry
constexpr int kPKRefuseOnce = 0;    // message 844: a temporary deny entry
constexpr int kPKRefuseAlways = -1; // message 845: a stored deny entry

// The language file's texts of the raw-line path's reports (arguments in brackets).
constexpr int kPKMsgBlockedNick = 846;      // (kind word, nick)
constexpr int kPKMsgKindPrivmsg = 847;      // kind words: PRIVMSG, NOTICE, INVITE
constexpr int kPKMsgKindNotice = 848;
constexpr int kPKMsgKindInvite = 849;
constexpr int kPKMsgBlockedAddress = 850;   // (kind word, nick, address)
constexpr int kPKMsgQuestion = 851;         // (nick, question kind word, excerpt)
constexpr int kPKMsgQuestionPrivmsg = 852;  // question kind words: PRIVMSG, NOTICE, INVITE
constexpr int kPKMsgQuestionNotice = 853;
constexpr int kPKMsgQuestionInvite = 854;
constexpr int kPKMsgRefusalNotice = 855;    // a client command for the sender: (nick, nick, target)
constexpr int kPKMsgAllowedOnce = 856;      // (nick, address)
constexpr int kPKMsgAllowedAlways = 857;    // ()
constexpr int kPKMsgAllowedAddress = 858;   // (kind word, nick, address)
constexpr int kPKMsgAllowedNick = 859;      // (kind word, nick)
constexpr int kPKMsgAllowedBoth = 860;      // (nick, address)
constexpr int kPKMsgStillBlocked = 865;     // (nick, address)

// The entries (newest first) and their number.
extern unsigned int uiKillerUserNumber;
// The modification time of the file when it was last loaded or saved; 0 after a flush.
extern time_t tKillerUserFileMod;
// Set while an entry is added or the file loaded: the verdict then does not reload.
extern int siFlagLock_load_killed_user_file;
// Set when the last question was answered by its time-out (or got the
// time-out answer because another question was open or no dialog can be shown).
extern int flag_auto_close_dialog_private_killer;

// ---- the list and its file -----------------------------------------------------

// Modification time of `path`; 0 when absent, empty or not examinable.
time_t get_file_time(const char* path);
// Reloads the list from its file when the file changed since it was last
// loaded or saved (temporary entries go with the old list).
void load_killed_user_file();
// The verdict on a sender (kPK...), after a reload when the file changed; the
// first entry that gave it in `best` (null for kPKUnknown).
int get_killed_user_flag(const char* nick, const char* address, KilledUser** best = nullptr);
// 1 when the entry was added; 0, with an error line, when refused (a matching
// entry exists, or a missing nick, or a missing address for a stored entry).
int add_killed_user(const char* nick, const char* address, int flag, int temporary);
// Deletes every entry matching the nick and/or the address given; the number deleted.
int del_killed_user(const char* nick, const char* address);
// Writes the stored entries to the file, replacing it whole; 1 written, 0 not.
int save_killed_user_list();
void flush_killed_user_list();
// The entries, newest first; valid until the list changes.
std::vector<KilledUser*> killed_user_list();

// One line per entry (of every nick, or of `nick`), into the current window or `sess`.
void print_killed_user_list(HostSession* sess);
void print_killed_user(HostSession* sess, const char* nick);

// ---- decisions about an unknown sender -----------------------------------------

// kPKAllowOnce when an allow rule covers `nick` writing on `server`: the rule
// names the server's host, or a channel of that server where the user
// database knows `nick`; else kPKUnknown.
int killed_user_rule_answer(const HostServer& server, const char* nick);
// Records an answer for the sender (kPKAllowOnce ... kPKRefuseAlways), saving
// the file for the stored ones; 1 when the entry was added.
int killed_user_answer(const char* nick, const char* address, int answer);
// Asks the user about `question` (plain text, never a format) in a modal
// dialog; the button chosen (kPK...), or the time-out answer. While one
// question is open (or when the client shows no dialog) every further question
// gets the time-out answer at once.
int zem_gtk_query_kill_request(const char* question);
// True while a question is open.
bool killed_user_question_open();
