// The three entry points of the message pipeline: raw server lines, the
// client's printed output, and the user's typed default commands; and the
// client callbacks bound at load that lead to them.
#pragma once

#include <string>

struct HostSession;
struct HostServer;

// What becomes of a line: the client goes on with it, or drops it.
enum class LineVerdict { Pass, Eat };

// A raw line from a server. Eat when the line was emptied on its way.
LineVerdict quibo_in(HostSession* sess, const char* server, std::string& text);
// The text of the last private message that came through the raw-line hook.
extern std::string psLastMessageParsed;
// Output the client prints for the local user (own messages, actions, notices, private messages shown).
int quibo_out(HostServer* serv, const char* target, const char* word1, const char* word2);
// A default command typed by the user, before the client runs it.
int quibo_command(HostSession* sess, const char* command, char* word[], char* word_eol[]);

// Client callbacks. None lets an exception reach the client: a failure is
// reported on standard output and the event passes. While the plug-in is
// inactive (its load stopped early) they let every event pass, and /QUIBO and
// /EVENT only say that it is inactive.
int quibo_output(char* word[], const char* target);
int cb_raw_line(char* word[], char* word_eol[], void* data);
int cb_private_message(char* word[], void* data);
int cb_output(char* word[], void* data);
int cb_ignore(char* word[], void* data);
int cb_focus(char* word[], void* data);
int cb_default_command(char* word[], char* word_eol[], void* data);
int cb_quibo_command(char* word[], char* word_eol[], void* data);
int cb_event_command(char* word[], char* word_eol[], void* data);
int cb_DCC_Manager(char* word[], void* data);
