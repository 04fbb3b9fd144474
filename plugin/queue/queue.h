// The command queue: every client command the plug-in issues on its own
// behalf waits here, ordered by priority, and is run a few at a time by
// ExecCommandInQueue, which a client timer calls back until the queue is empty.
#pragma once

#include <cstdint>
#include <ctime>
#include <list>
#include <string>
#include <utility>
#include <vector>

struct HostSession;
struct InertText;
struct xchat_context;

constexpr uint32_t kQueueEntryMagic = 1234567890;
// Reference number of the client timer that drains the queue; unload deletes it.
constexpr int kQueueTimerRef = 2255;

// Priorities used by the callers.
constexpr int kPriorityNone = 0;
constexpr int kPriorityLow = 1024;   // event actions: they pull the rest of the queue through
constexpr int kPriorityHigh = 4096;  // script conditions and variable commands

struct QueueEntry {
    HostSession* session = nullptr;    // where the command runs; null: the focused window
    xchat_context* context = nullptr;  // the client's handle of `session` when queued
    std::string psCommand;             // with or without the leading "/"
    // Runs of psCommand that came from outside (event values): plain text for
    // every stage that runs the command (see InertText).
    std::vector<std::pair<size_t, size_t>> literal;
    int16_t priority = 0;
    int16_t sStatus = 0;               // 2: private (kept by ordinary deletion and flushing)
    time_t execution_time = 0;         // 0 at once; else not before this time
    uint32_t magic = kQueueEntryMagic;
};

// Entries in run order: descending priority, first in first out among equals.
extern std::list<QueueEntry> pCmdQueue;
extern int iObjectInQueue;
// 0 free; positive while walked or drained (a drain meanwhile only counts itself); -1 a flush waits for the lock.
extern int16_t ssQueueLock;
// Priority of the entry run last, added to every entry inserted afterwards.
extern int16_t sPriorityState;
extern int iCommandSent_CommandsQueue;
// 2 while an internal "(0)" keyword runs and during unload: new entries are
// private, and private entries can be deleted and flushed.
extern int iCommandStatus_CommandsQueue;
// Set when the command run last was a /TIMER: the queue does not re-arm its own timer.
extern int16_t sFlagTimerLock;
// The queue's own timer has called back: the queue may arm it again.
void ReleaseTimerLock();
// 1 during a drain; the outgoing flood control sets 255 when it has just warned, ending the batch.
extern int16_t sNoFloodWarning;
extern time_t tPreviousCommand;
extern time_t tPreviousTimer;
// The window of the command being run.
extern HostSession* execution_tab;

void InsertCommandInQueuePriorityTimed(HostSession* session, std::string command, int priority, int delay);
void InsertCommandInQueue(HostSession* session, std::string command);
void InsertCommandInQueuePriority(HostSession* session, std::string command, int priority);
// A command whose literal runs are values from outside; they stay plain text when it runs.
void InsertCommandInQueuePriority(HostSession* session, InertText command, int priority);
void InsertCommandInQueueTimed(HostSession* session, std::string command, int delay);

// mode 0 normal; 1 one forced step, then normal; -1 forced drain of what is due.
int ExecCommandInQueue(int mode);
void ResetPriority();
// Removes every entry (private ones stay while the status mode is 0), listing each.
void FlushCommandInQueue();
// FlushCommandInQueue in the private mode: private entries go too.
void FlushWholeCommandQueue();

// Holds the queue in its private mode (iCommandStatus_CommandsQueue 2) while
// it lives when `on`; the mode is 0 again afterwards either way.
class PrivateQueueMode {
public:
    explicit PrivateQueueMode(bool on = true);
    ~PrivateQueueMode();
    PrivateQueueMode(const PrivateQueueMode&) = delete;
    PrivateQueueMode& operator=(const PrivateQueueMode&) = delete;
};
// Drops the entries of a window that is going away; its private entries move to another window.
void EraseCommandForSession(HostSession* session);
// Removes the entry at the 1-based `index`; 1 when removed.
int DeleteCommandInQueue(HostSession* session, int index);
// Removes every entry whose command contains `pattern`, ignoring case.
int DeleteCommandInQueueString(HostSession* session, const char* pattern);
void ListCommandInQueue(HostSession* session);
