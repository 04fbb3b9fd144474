// Users coming into and leaving channels, and changing nick.
#include "handlers/handlers.h"

int16_t sFlagLockCheckUpDB = 0;
int16_t sFlagKick = 0;

// Lands with the membership handlers; until then the line passes untouched.
int case_join(ParseVars&) { return 0; }
int case_part(ParseVars&) { return 0; }
int case_kick(ParseVars&) { return 0; }
int case_quit(ParseVars&) { return 0; }
int case_chnick(ParseVars&) { return 0; }
