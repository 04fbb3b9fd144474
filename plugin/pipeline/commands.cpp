#include "pipeline/commands.h"

int16_t sFlagAway = 0;
std::string acAwayMessage;

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
