#include "pipeline/sessions.h"

#include "host/host.h"
#include "host/trace.h"

int CheckSession(HostSession* sess)
{
    DebugPlugin(0, "BEGIN: CheckSession(%p)", static_cast<void*>(sess));
    extern_update_session();
    const int open = sess && sess->server && is_session(sess);
    DebugPlugin(0, "END: CheckSession(%p) = %d", static_cast<void*>(sess), open);
    return open;
}

// Lands with the event log; until then nothing is written.
void AdvancedLog(const char*) {}
// Lands with the user database reports.
void UserDetect(HostSession*, const char*, const char*) {}
