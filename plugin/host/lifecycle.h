// Loading and unloading the plug-in.
#pragma once

#include <string>
#include <sys/types.h>

struct HostSession;
struct xchat_hook;

// The plug-in's standard separator line (57 dashes).
extern const char* const kSeparatorLine;

constexpr int kEventHookSlots = 19;    // 0 raw line, 1-16 print events, 17 /QUIBO, 18 /EVENT
constexpr int kDefaultCommandCount = 73;

extern xchat_hook* pxhEvent[kEventHookSlots];
extern xchat_hook* pxhCommand[kDefaultCommandCount];

extern pid_t iPidOfProcess;
extern std::string acNameOfFatherProcess;
extern std::string psXChatVersion;
extern std::string psPluginName;
extern std::string psDescription;
extern std::string psVersion;

int module_init(int, int, HostSession* sess);
int module_cleanup(int, HostSession* sess);
void QuiboscriptAbort();
void PrintHelp(HostSession* sess, const char* text);

void hook_default_commands();
void unhook_default_commands();
