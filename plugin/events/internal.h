// Shared by the events manager's own files only.
#pragma once

#include "events/events.h"

#include <string>

struct HostSession;

namespace events_detail {

constexpr int kKindCount = 19;
constexpr int kKindAll = 18;

struct EventKind {
    const char* name;
    const char* marker;
};
extern const EventKind kEventKinds[kKindCount];

enum Variable {
    kDatabase, kDccDatabase, kEvent, kLu, kRu, kRhost, kChannel, kHostname, kServer, kData, kNick, kAddress,
    kNumber, kAll
};

struct VariableName {
    const char* dollar;        // "$lu"
    const char* caret;         // "^lu"
    const char* dollar_marker; // "\025-$LU\025"
    const char* caret_marker;  // "\025-^LU\025"
};
extern const VariableName kVariables[kSentinelVariables];

// Where reports go: the current window, or the window of the command.
HostSession* where(HostSession* sess);
void separator(HostSession* sess);
// A text as the user typed it: "%" doubled, formatting bytes as %B %C %O %R %U.
std::string shown(const std::string& text);
// The repetitions as shown in reports: the number, or "?" for a one-shot.
std::string shown_repetitions(int repetitions);
// The user's sentinel number of `record`, or among hidden ones; 0 when not listed.
int number_of(const Sentinel* record);
// Forgets the events put off for a real window (unload).
void forget_deferred_events();
// The line that keeps `record` in the sentinel file.
std::string file_line(const Sentinel& record);

}  // namespace events_detail
