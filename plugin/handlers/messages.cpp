// Private messages, notices and invitations.
#include "handlers/handlers.h"

time_t tLastQueryTime = 0;

// Lands with the private-message handler; until then the line passes untouched.
int case_privmsg(ParseVars&, const char*) { return 0; }
// Lands with the invitation handler.
int case_invite(ParseVars&) { return 0; }
