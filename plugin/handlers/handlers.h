// IRC event handlers, the records they keep and the WHO reconciliation of the user database.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

struct HostSession;

// A mention of the local nickname, recorded by the private-message handler.
struct NickCall {
    time_t tTime = 0;
    std::string psServerHost;
    std::string psChannel;
    std::string psNick;
    std::string psText;
};
// In arrival order.
extern std::vector<NickCall> MyNickCallDB;

// Set by "/QUIBO part": the PART handler closes the window after leaving.
extern int16_t sFlagCloseWindow_Part;
void CloseWindowAfterPart();
// The channel whose WHO refresh is pending; empty when none is.
extern std::string psFlagDisableUpdateChannel;

// full = 1 reconciles and reports; 0 is the cheap check.
void CheckUpDatabase(int full);
void UpdateChannel(HostSession* sess, const char* channel);
// Leaves a channel window (and closes it), or closes a server or dialog window with its queued commands.
int CloseWindow(HostSession* sess);
