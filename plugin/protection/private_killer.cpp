// The guard's list and dialog are not built yet: the list stays empty and no
// question can be shown, so every request gets the answer an empty list or a
// closed dialog gives.
#include "protection/private_killer.h"

#include "host/host.h"
#include "settings/settings.h"

#include <cstdio>

namespace {

constexpr const char* kUnit = "ioplugin";

const char* text_or_null(const char* text) { return text && *text ? text : "(null)"; }

}  // namespace

int flag_auto_close_dialog_private_killer = 0;

std::vector<ChatUser*> killed_user_list() { return {}; }

int get_killed_user_flag(const char*, const char*, ChatUser** best)
{
    if (best) *best = nullptr;
    return 0;
}

void save_killed_user_list() {}

void load_killed_user_file() {}

void print_killed_user_list(HostSession*) {}

void print_killed_user(HostSession*, const char*) {}

int add_killed_user(const char* nick, const char* address, int flag, int temporary)
{
    fprintf(stderr, "[%s:%d]> add_killed_user(%s, %s, %d, %d) ERROR: Unable to add user.\n", QUIBO_HERE(kUnit),
            text_or_null(nick), text_or_null(address), flag, temporary);
    return 0;
}

int del_killed_user(const char* nick, const char* address)
{
    fprintf(stderr, "[%s:%d]> del_killed_user(%s, %s) ERROR: Unable to delete user.\n", QUIBO_HERE(kUnit),
            text_or_null(nick), text_or_null(address));
    return 0;
}

void flush_killed_user_list() {}

// Without a dialog the question is answered as a time-out would answer it.
int zem_gtk_query_kill_request(const char* question)
{
    printf("[%s:%d]> zem_gtk_query_kill_request(%s) ERROR: no dialog available.\n", QUIBO_HERE(kUnit),
           text_or_null(question));
    return iPKAllowOnTimeout ? 1 : 0;
}
