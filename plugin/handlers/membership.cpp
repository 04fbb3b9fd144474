// Users coming into and leaving channels, and changing nick.
#include "handlers/handlers.h"

#include <strings.h>

int16_t sFlagLockCheckUpDB = 0;
int16_t sFlagKick = 0;

// Lands with the membership handlers; until then our own JOIN only starts the channel's clone scan.
int case_join(ParseVars& vars)
{
    const ParseText& nick = vars.psRemoteUserNick;
    if (nick && !vars.psLocalNickname.empty() && strcasecmp(nick->c_str(), vars.psLocalNickname.c_str()) == 0)
        ++sFlagEndWhoCloneScanning;
    return 0;
}
// Lands with the membership handlers; until then the line passes untouched.
int case_part(ParseVars&) { return 0; }
int case_kick(ParseVars&) { return 0; }
int case_quit(ParseVars&) { return 0; }
int case_chnick(ParseVars&) { return 0; }
