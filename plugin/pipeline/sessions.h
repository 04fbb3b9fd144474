// Session resolution and the event log, as the parser and the raw-line hook use them.
#pragma once

struct HostSession;

// 1 when `sess` is still an open window of the client, else 0.
int CheckSession(HostSession* sess);
// Appends one tab-separated line about the current parse variables to quibo.log.
void AdvancedLog(const char* kind);
// Reports what the database knows about `nick`, who opened a dialog with us.
void UserDetect(HostSession* sess, const char* server, const char* nick);
