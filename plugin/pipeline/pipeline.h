// The three entry points of the message pipeline: raw server lines, the
// client's printed output, and the user's typed default commands.
#pragma once

#include <string>

struct HostSession;
struct HostServer;

// A raw line from a server; may empty `text`, then returns -1 (the client drops the line).
int quibo_in(HostSession* sess, const char* server, std::string& text);
// Output the client prints for the local user (own messages, actions, notices, private messages shown).
int quibo_out(HostServer* serv, const char* target, const char* word1, const char* word2);
// A default command typed by the user, before the client runs it.
int quibo_command(HostSession* sess, const char* command, char* word[], char* word_eol[]);
