// Loading and unloading the plug-in.
#pragma once

#include <string>
#include <sys/types.h>

struct HostSession;
struct xchat_hook;

// The plug-in's standard separator line (57 dashes).
extern const char* const kSeparatorLine;
// The help text of /EVENT, also shown when it is typed without arguments.
extern const char* const kEventHelp;
// Said when the load stopped early: the hooks stay, and let everything pass.
extern const char* const kInactiveNotice;

// The plug-in's own hooks, by what they follow.
enum EventHook : int {
    kHookRawLine,
    kHookPrivateMessage,
    kHookPrivateMessageToDialog,
    kHookChannelAction,
    kHookChannelActionHilight,
    kHookIgnoreAdd,
    kHookIgnoreChanged,
    kHookIgnoreFooter,
    kHookIgnoreHeader,
    kHookIgnoreRemove,
    kHookIgnorelistEmpty,
    kHookNoticeSend,
    kHookYourInvitation,
    kHookYourMessage,
    kHookYourNickChanging,
    kHookFocusTab,
    kHookFocusWindow,
    kHookQuiboCommand,
    kHookEventCommand,
    kEventHookSlots
};
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
// False when the last load stopped early (no language file, or a failure on
// the way): the hooks then let everything pass until the plug-in is unloaded.
bool module_active();
void QuiboscriptAbort();
void PrintHelp(HostSession* sess, const char* text);

void hook_default_commands();
void unhook_default_commands();
