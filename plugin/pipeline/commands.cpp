#include "pipeline/commands.h"

int16_t sFlagAway = 0;
std::string acAwayMessage;

void SetAwayState(int16_t away, std::string_view reason)
{
    sFlagAway = away;
    acAwayMessage.assign(reason.substr(0, kAwayMessageSize));
}

// Not built yet: does nothing.
int quibo_allsess(const char*) { return 0; }
// Not built yet: does nothing.
int quibo_alluser(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_away(const char*) { return 0; }
// Not built yet: does nothing.
int quibo_ban(HostSession*, const char*, const char*, const char*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_clonesearch(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_ignore(HostSession*, const char*, int) { return 0; }
// Not built yet: does nothing.
int quibo_unignore(HostSession*, const char*, int) { return 0; }
// Not built yet: does nothing.
int quibo_sendsess(HostSession*, const char*, const char*) { return 0; }
