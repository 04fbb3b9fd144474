#include "pipeline/commands.h"

#include "host/host.h"
#include "host/trace.h"
#include "output/output.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

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
int quibo_clonesearch(HostSession* sess, const char* nick)
{
    DebugPlugin(2, "BEGIN: quibo_clonesearch(sess, psNickName = %s)", nick ? nick : "(null)");
    int result = 0;
    if (!iFlagEnableDatabase) {
        sPrintText(iFlagCurrentTab ? current_tab : sess, "%s", GetMessage(285));
    } else if (!nick || !*nick) {
        result = 1;
    } else {
        const bool forced = iFlagCloneDetect == 0;
        if (forced) iFlagCloneDetect = -1;
        SearchClone(sess, nick);
        if (forced) iFlagCloneDetect = 0;
    }
    DebugPlugin(2, "END: quibo_clonesearch() = %d", result);
    return result;
}
// Not built yet: does nothing.
int quibo_ignore(HostSession*, const char*, int) { return 0; }
// Not built yet: does nothing.
int quibo_unignore(HostSession*, const char*, int) { return 0; }
// Not built yet: does nothing.
int quibo_sendsess(HostSession*, const char*, const char*) { return 0; }
