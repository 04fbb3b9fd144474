// Commands that act on sessions, and the away state they share with the output hook.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct HostSession;

// The plug-in's announcement line (percent escapes: run it as a command text).
#define QUIBO_MESSAGE "%BQuIbOsCrIpT%O [http://quibo.localhost/] XChat Plugin by ZEM'Software (V. 3.7.86)"

// The plug-in's own away switch and the current away reason.
extern int16_t sFlagAway;
extern std::string acAwayMessage;
constexpr size_t kAwayMessageSize = 4095;

// Sets the away switch and the reason (cut to kAwayMessageSize bytes).
void SetAwayState(int16_t away, std::string_view reason);

int quibo_allsess(const char* command);
int quibo_alluser(HostSession* sess, const char* command);
// Goes away with `message`, or comes back when it is null.
int quibo_away(const char* message);
int quibo_ban(HostSession* sess, const char* a, const char* b, const char* c, const char* text);
int quibo_clonesearch(HostSession* sess, const char* nick);
int quibo_ignore(HostSession* sess, const char* nicks, int quiet);
int quibo_unignore(HostSession* sess, const char* nicks, int quiet);
int quibo_sendsess(HostSession* sess, const char* target, const char* command);
