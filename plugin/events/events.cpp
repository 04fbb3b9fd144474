#include "events/events.h"

// The sentinel store is not built yet: no event is defined, so nothing runs.
int event_cmd(HostSession*, int, char*[], char*[]) { return 0; }

int make_special_event(HostSession*, const char*, const char*, const char*, const char*, const char*, const char*,
                       const char*)
{
    return 0;
}

// Not built yet: no event is put off.
int VerifyDeferredEvent(HostSession*, const char*) { return 0; }

// Not built yet: does nothing.
void FlushSentinel(HostSession*, int) {}
// Not built yet (the sentinel store lands later): reads nothing.
int ReadSentinel(HostSession*, const char*) { return 0; }
// Not built yet (the sentinel store lands later): does nothing.
void FlushAllSentinel() {}

// Not built yet: no sentinel fires.
int VerifyEvent(HostSession*, const char*, const char*, const char*, const char*, const char*, const char*,
                const char*)
{
    return 0;
}
