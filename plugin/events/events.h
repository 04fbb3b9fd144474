// The events manager: sentinels (rules that run commands when an IRC event
// matches a condition), their file quibo.snt, the matching of events against
// them, and the /EVENT command.
//
// Values from the network stay inert. A sentinel's action is split at "\;"
// into pieces before anything else happens, and each piece is built as an
// InertText (common/utilities.h): the text the user wrote is syntax, every
// value ($data, $ru, $rhost, $channel, $server, $lu, $event, $all and the
// client's own values) is added as a literal run. From there:
// - the queue keeps the runs with the entry (QueueEntry::literal) and never
//   splits or rewrites an entry;
// - quibo_handle_command translates percent escapes outside the runs only,
//   removes line breaks, refuses a command whose name would come from a run,
//   and while the client runs the command publishes it with its runs
//   (running_inert_command);
// - the plug-in's own keywords that interpret text take their word-tail with
//   running_inert_tail and treat the runs as plain text: exec single-quotes
//   them for the shell; cmd, if, set and the script resolver must skip them
//   (no variables, functions or $( ) inside a run).
// A value therefore never becomes a second command, a variable, a function
// call, a shell substitution or a formatting escape. Events put off in the
// zombie window stay in a table here and come back by number, so their
// values are never re-read from a command line either.
#pragma once

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>

struct HostSession;

constexpr int kSentinelVariables = 14;
constexpr int kMaxRepetitions = 1024;
constexpr int kSentinelPriority = 1024;
// Longest line of the sentinel file, line break included.
constexpr size_t kSentinelLineMax = 4094;

struct Sentinel {
    uint32_t uiSpecial = 0;  // 0 user sentinel, 1 hidden
    int32_t uiRemaining = 1;
    int32_t iRepetitions = 0;  // -1 once then deleted, 0 without limit, N times then dormant
    std::string psEvent;
    std::string psCondition;
    std::string psCommand;
    std::string psProtectedEvent;
    std::string psProtectedCondition;
    std::string psProtectedCommand;
    std::array<uint32_t, kSentinelVariables> auiConditionVars{};
    std::array<uint32_t, kSentinelVariables> auiCommandVars{};
    std::array<uint32_t, kSentinelVariables> auiCommandCarets{};
};

// Every sentinel, user and hidden, in insertion order.
extern std::list<std::unique_ptr<Sentinel>> sentinel_list;
extern uint32_t uiSentinelInList;
extern const Sentinel* PreviousSentinel;
extern int sFlagLockPreviousSentinel;
extern std::string psPreviousEventGenerated;
extern uint32_t uiAntiLoopInsert;

// A record with `uiRemaining` set from the repetitions.
std::unique_ptr<Sentinel> make_sentinel(int repetitions, const std::string& event, const std::string& condition,
                                        const std::string& command, uint32_t special = 0);

int CheckSentinel(HostSession* sess, const Sentinel* record);
// Takes the record on success; on failure the caller keeps it.
int AddSentinel(HostSession* sess, std::unique_ptr<Sentinel>& record);
int ModSentinel(HostSession* sess, int number, std::unique_ptr<Sentinel> record);
int DelSentinel(HostSession* sess, int number, int hidden);
int FlushSentinel(HostSession* sess, int hidden);
void FlushAllSentinel();
int ResetSentinel(HostSession* sess, int number);
int ListSentinel(HostSession* sess, const char* filter, int del, int hidden);
int FindSentinel(const Sentinel* record, int all_fields);
int ReadSentinel(HostSession* sess, const char* file);
int SaveSentinel(HostSession* sess, const char* file);
void ProtectSentinel(Sentinel& record);
// The sentinel of class `hidden` numbered `number`, or null.
Sentinel* sentinel_at(int number, int hidden);

// The kind name of an event that a sentinel may name: one of the fixed kinds
// or "spcl_" followed by anything.
bool is_event_kind(const char* kind);

// Offers one event to the sentinels; 1 when one fired or the event was put off.
int VerifyEvent(HostSession* sess, const char* event, const char* local_nick, const char* remote_nick,
                const char* remote_address, const char* channel, const char* server, const char* data);
// Raises again the event that was put off under `reference` ("#<id>");
// 1 when a sentinel fired.
int VerifyDeferredEvent(HostSession* sess, const char* reference);
// Events put off and not yet raised again.
size_t deferred_event_count();
int make_special_event(HostSession* sess, const char* name, const char* a1, const char* a2, const char* a3,
                       const char* a4, const char* a5, const char* a6);

int event_cmd(HostSession* sess, int flags, char* word[], char* word_eol[]);
