// Mode changes, NAMES replies, invitations and the notify list.
#include "handlers/handlers.h"

// Land with the mode, names and notify handlers; until then the line passes untouched.
int case_mode(ParseVars&) { return 0; }
int case_names(ParseVars&) { return 0; }
int case_invite(ParseVars&) { return 0; }
int case_notify(ParseVars&) { return 0; }
