#include "output/art.h"

#include "host/host.h"
#include "host/lifecycle.h"
#include "output/output.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

// Not built yet: does nothing.
int quibo_banner(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_bigrose(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_birth(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_cat(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_hello(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_image(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_msg1(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_msg2(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_msg3(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_christmas(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_rand(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_rose(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_vbanner(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_mare(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_ver(HostSession*) { return 0; }
// Not built yet: does nothing.
int quibo_msg4(HostSession*, const char*, char) { return 0; }
// Not art: the clone listing of the session's server, framed unless clones are announced.
int quibo_clone(HostSession* sess)
{
    HostSession* where = iFlagCurrentTab ? current_tab : sess;
    const bool framed = !iFlagPrintCloneLocal;
    if (framed) {
        sPrintText(where, "%s", kSeparatorLine);
        sPrintText(where, "%s", GetMessage(64));
    }
    CloneDetector(sess, nullptr);
    if (framed) {
        sPrintText(where, "%s", GetMessage(65));
        sPrintText(where, "%s", kSeparatorLine);
    }
    return 0;
}
