// Private messages and notices, with their CTCP requests.
#include "handlers/handlers.h"

time_t tLastQueryTime = 0;

// Lands with the private-message handler; until then the line passes untouched.
int case_privmsg(ParseVars&, const char*) { return 0; }
