// Replies about the connection itself: welcome, end of MOTD, closing link, channel lists.
#include "handlers/handlers.h"

std::string psConnectionBrokenServer;

// Land with the server-state handlers; until then the line passes untouched.
int case_lujoin(ParseVars&) { return 0; }
int case_clist(ParseVars&) { return 0; }
int case_srvmsg(ParseVars&) { return 0; }
int case_oserver(ParseVars&) { return 0; }
int case_errorlnk(ParseVars&) { return 0; }
int case_endmotd(ParseVars&) { return 0; }
