#include "handlers/handlers.h"

#include "host/host.h"
#include "queue/queue.h"

#include <cstring>

std::vector<NickCall> MyNickCallDB;
int16_t sFlagCloseWindow_Part = 0;
void CloseWindowAfterPart() { sFlagCloseWindow_Part = 1; }
std::string psFlagDisableUpdateChannel;
int16_t sFlagEndWhoCloneScanning = 0;
int16_t sWhoDatabaseUpdate = 0;

// Not built yet: does nothing.
void CheckUpDatabase(int) {}
// Not built yet: does nothing.
void UpdateChannel(HostSession*, const char*) {}

int CloseWindow(HostSession* sess)
{
    if (!sess) return 0;
    if (!sess->channel.empty() && strchr("#&!'", sess->channel[0])) {
        quibo_handle_command("/quibo part", sess);
        return 0;
    }
    EraseCommandForSession(sess);
    quibo_handle_command("/TIMER 1 close", sess);
    return 0;
}
// Land with the WHO manager; until then the line passes untouched.
int who_manager(ParseVars&) { return 0; }
int case_who(ParseVars&) { return 0; }
int case_endwho(ParseVars&) { return 0; }
