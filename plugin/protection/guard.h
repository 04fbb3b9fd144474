// The private-message guard: who may open a private conversation with us.
#pragma once

#include <vector>

struct ChatUser;

// Set when the question dialog was answered by its time-out.
extern int flag_auto_close_dialog_private_killer;

// The guard's entries, newest first.
std::vector<ChatUser*> killed_user_list();
// How `nick` and `address` stand: 3, 2, 1 allowed, 0 unknown, -1, -2, -3 blocked; the best entry in `best`.
int get_killed_user_flag(const char* nick, const char* address, ChatUser** best);
void add_killed_user(const char* nick, const char* address, int flag, int temporary);
void save_killed_user_list();
// The question for an unknown sender: 1 allow now, 2 allow always, 0 refuse now (also the time-out), -1 refuse always.
int zem_gtk_query_kill_request(const char* format, const char* nick, const char* kind, const char* excerpt);
