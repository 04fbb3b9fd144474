// The private-message guard: the allow/deny list of who may open a private
// conversation, and the question asked about an unknown sender.
#pragma once

#include <vector>

struct ChatUser;
struct HostSession;

// Set when the question dialog was answered by its time-out.
extern int flag_auto_close_dialog_private_killer;

// The entries, newest first.
std::vector<ChatUser*> killed_user_list();
// How `nick` and `address` stand: 3, 2, 1 allowed, 0 unknown, -1, -2, -3 blocked; the best entry in `best`.
int get_killed_user_flag(const char* nick, const char* address, ChatUser** best);
// Writes the stored entries to the file.
void save_killed_user_list();

// Reloads the list from its file when the file changed.
void load_killed_user_file();
// One line per entry (of every nick, or of `nick`), into the current window or `sess`.
void print_killed_user_list(HostSession* sess);
void print_killed_user(HostSession* sess, const char* nick);
// 1 when the entry was added; 0, with an error line, when refused.
int add_killed_user(const char* nick, const char* address, int flag, int temporary);
// The number of entries deleted; 0, with an error line, when none could be.
int del_killed_user(const char* nick, const char* address);
void flush_killed_user_list();
// Asks the user about `question` (plain text, never a format); the button chosen.
int zem_gtk_query_kill_request(const char* question);
