// The command queue: insertion by priority, the drain with its batches and
// timer, and the listing, deletion and flushing of entries.
#include "queue/queue.h"

#include "clock.h"
#include "host/host.h"
#include "host/lifecycle.h"
#include "host/trace.h"
#include "output/output.h"
#include "settings/settings.h"
#include "utilities.h"

#include <strings.h>

#include <algorithm>
#include <climits>
#include <cstdio>

std::list<QueueEntry> pCmdQueue;
int iObjectInQueue = 0;
int16_t ssQueueLock = 0;
int16_t sPriorityState = 0;
int iCommandSent_CommandsQueue = 0;
int iCommandStatus_CommandsQueue = 0;
int16_t sFlagTimerLock = 0;
int16_t sNoFloodWarning = 0;
time_t tPreviousCommand = 0;
time_t tPreviousTimer = 0;
HostSession* execution_tab = nullptr;

namespace {

constexpr const char* kUnit = "queue";
constexpr int16_t kFlushWaiting = -1;
constexpr int kPrivateStatus = 2;
constexpr int kBatchWithoutFloodControl = 255;
constexpr int16_t kFloodWarned = 255;
constexpr const char* kQueueTimerCommand = "/TIMER -refnum 2255 %d quibo ExecCommandInQueue(0) ^";
constexpr const char* kErasingLine = "\0033Erasing:\0037 %s\0033 (Priority:\0036 %s\0033) (Time:\0036 %d\0033)";
constexpr const char* kSavingLine = "\0033Saving :\0037 %s\0033 (Priority:\0036 %s\0033) (Time:\0036 %d\0033)";
constexpr const char* kDeletedLine = "\0034Deleted %3d:\t\0037 %44s\0033 (Priority:\0036 %s\0033) (Time:\0036 %d\0033)";
constexpr const char* kSavedLine = "\0034Saved   %3d:\t\0037 %44s\0033 (Priority:\0036 %s\0033) (Time:\0036 %d\0033)";
constexpr const char* kListLine =
    "\0033Command %3d:\t\0037 %44s\0033 (Priority:\0036 %s\0033) (Status:\0036 %s\0033) (Time:\0036 %d\0033)";

// ---- the client windows, as the host binding knows them ------------------------

// Whether `sess` is still an open client window (the mirror is refreshed first).
bool session_open(const HostSession* sess)
{
    if (!sess) return false;
    update_session(nullptr);
    return is_session(sess) != 0;
}

// An entry's window is open when its record is and still stands for the same client context.
bool entry_window_open(const QueueEntry& entry) { return session_open(entry.session) && entry.session->ctx == entry.context; }

// ---- small helpers ----------------------------------------------------------------

bool flood_control_on() { return iFlagTextFloodOutgoing && iFlagTextFloodOutgoing_internal; }
int batch_limit() { return flood_control_on() ? iMaxMessageSent : kBatchWithoutFloodControl; }
int past_batch_limit() { return batch_limit() + 1; }
bool is_private(const QueueEntry& entry) { return entry.sStatus == kPrivateStatus; }
// Private entries are protected unless the queue runs in its private mode.
bool protected_entry(const QueueEntry& entry) { return is_private(entry) && iCommandStatus_CommandsQueue == 0; }

int16_t clamp16(long long value) { return static_cast<int16_t>(std::clamp<long long>(value, INT16_MIN, INT16_MAX)); }

const char* priority_name(int16_t priority)
{
    if (priority == kPriorityNone) return "NONE";
    if (priority == kPriorityLow) return "LOW";
    return "HIGHT";
}

int seconds_left(const QueueEntry& entry, time_t current)
{
    if (entry.execution_time <= current) return 0;
    return static_cast<int>(std::min<time_t>(entry.execution_time - current, INT_MAX));
}

bool intact(const QueueEntry& entry, int line)
{
    if (entry.magic == kQueueEntryMagic) return true;
    printf("\n[%s:%d]> QUEUE ERROR: %p\n", kUnit, line, static_cast<const void*>(&entry));
    return false;
}

// The consistency walk: more entries than counted, or a damaged one.
void check_command_queue(int caller)
{
    int walked = 0;
    for (const QueueEntry& entry : pCmdQueue) {
        if (++walked > iObjectInQueue) {
            printf("_check_command_queue(%d) : QUEUE LOOP\n", caller);
            return;
        }
        if (entry.magic != kQueueEntryMagic) {
            printf("_check_command_queue(%d) : OBJECT [%p] CORRUPTED\n", caller, static_cast<const void*>(&entry));
            return;
        }
    }
}

bool is_timer_command(const std::string& command)
{
    const char* text = command.c_str();
    if (*text == '/') ++text;
    return strncasecmp(text, "TIMER", 5) == 0 && (text[5] == ' ' || text[5] == '\0');
}

void flush();

void lock_queue() { ssQueueLock = 1; }

// A flush asked for while the queue was locked runs as soon as the lock goes.
void release_lock()
{
    const bool flush_waiting = ssQueueLock == kFlushWaiting;
    ssQueueLock = 0;
    if (flush_waiting) flush();
}

// ---- the drain -------------------------------------------------------------------

void rearm_timer(time_t current)
{
    const bool flood = flood_control_on();
    if (current <= tPreviousTimer + (flood ? tMinSecondSent - 1 : 1)) return;
    // The client refuses timers shorter than a tenth of a second.
    const int seconds = flood ? static_cast<int>(std::clamp<time_t>(tMinSecondSent, 1, INT_MAX)) : 1;
    sHandleCommand(current_tab, kQueueTimerCommand, seconds);
    tPreviousTimer = current;
}

std::list<QueueEntry>::iterator first_due(time_t current)
{
    for (auto it = pCmdQueue.begin(); it != pCmdQueue.end(); ++it) {
        if (!intact(*it, __LINE__)) return pCmdQueue.end();
        if (it->execution_time <= current) return it;
    }
    return pCmdQueue.end();
}

// Gives the entry a window to run in (`target`); false when it is to be dropped unrun.
bool place_entry(QueueEntry& entry, HostSession*& target)
{
    target = current_tab;
    if (!entry.session) {
        if (session_open(current_tab)) {
            printf("\n[%s:%d]> QUEUE WARNING: %p\n", kUnit, __LINE__, static_cast<void*>(&entry));
            entry.session = current_tab;
        }
        return true;
    }
    if (entry_window_open(entry)) {
        if (entry.session->server) target = entry.session;
        return true;
    }
    if (iFlagKeepQueueCommandCorrupted) {
        entry.session = current_tab;
        return true;
    }
    HostSession* closed = entry.session;
    release_lock();
    EraseCommandForSession(closed);
    lock_queue();
    return false;
}

void run_entry(const QueueEntry& entry, HostSession* target, time_t current)
{
    sPriorityState = entry.priority;
    const bool live = session_open(target);
    if (live || sQueueOnLoad) {
        if (!live) target = current_tab;
        if (iFlagDebugModeFnc > 5) sPrintText(target, "EXEC %4d --->\t %s", iCommandSent_CommandsQueue, entry.psCommand.c_str());
        tPreviousCommand = current;
        ++iCommandSent_CommandsQueue;
        execution_tab = target;
        InertText command(entry.psCommand);
        command.literal = entry.literal;
        quibo_handle_command(command, target);
    }
    if (is_timer_command(entry.psCommand)) sFlagTimerLock = 1;
}

// After each step: a forced run ends at an ordinary entry, and an entry of
// priority 1024 pulls the rest of the queue through at once.
void decide_next(bool ran_behind, int& mode)
{
    if (pCmdQueue.empty()) return;
    auto deciding = pCmdQueue.begin();
    if (ran_behind && std::next(deciding) != pCmdQueue.end()) ++deciding;
    if (deciding->priority == kPriorityNone && mode != 0) {
        sPriorityState = 0;
        iCommandSent_CommandsQueue = 0;
        mode = 0;
    } else if (deciding->priority == kPriorityLow) {
        iCommandSent_CommandsQueue = -1;
        mode = -1;
    }
}

// One step: runs the first entry that is due. False when nothing was due.
bool run_one_due(time_t current, bool& ran_behind)
{
    auto due = first_due(current);
    if (due == pCmdQueue.end()) return false;
    ran_behind = due != pCmdQueue.begin();
    QueueEntry entry = std::move(*due);
    pCmdQueue.erase(due);
    --iObjectInQueue;
    HostSession* target = nullptr;
    if (place_entry(entry, target)) run_entry(entry, target, current);
    return true;
}

void run_batch(int mode, time_t current)
{
    sNoFloodWarning = 1;
    iCommandSent_CommandsQueue = 0;
    for (;;) {
        if (mode != 0) {
            iCommandSent_CommandsQueue = -1;
            if (mode == 1) mode = 0;
        }
        lock_queue();
        if (!intact(pCmdQueue.front(), __LINE__)) {
            check_command_queue(__LINE__);
            release_lock();
            break;
        }
        bool ran_behind = false;
        const bool ran = run_one_due(current, ran_behind);
        if (!ran) iCommandSent_CommandsQueue = past_batch_limit();
        decide_next(ran_behind, mode);
        if (sNoFloodWarning == kFloodWarned) {
            sNoFloodWarning = 0;
            iCommandSent_CommandsQueue = iMaxMessageSent;
            mode = 0;
        }
        release_lock();
        // Nothing due ends the batch, also behind a delayed entry of priority 1024.
        if (!ran || pCmdQueue.empty() || iCommandSent_CommandsQueue >= batch_limit()) break;
    }
    sNoFloodWarning = 0;
}

}  // namespace

// ---- insertion -------------------------------------------------------------------

namespace {

void insert_entry(HostSession* session, InertText command, int priority, int delay)
{
    if (command.text.empty()) return;
    QueueEntry entry;
    entry.session = session;
    entry.context = session ? session->ctx : nullptr;
    entry.psCommand = std::move(command.text);
    entry.literal = std::move(command.literal);
    entry.execution_time = delay > 0 ? now() + delay : delay;
    entry.priority = clamp16(static_cast<long long>(priority) + sPriorityState);
    entry.sStatus = iCommandStatus_CommandsQueue == kPrivateStatus ? kPrivateStatus : 0;
    ++iObjectInQueue;
    // After the last entry that goes first: found from the back, so that a
    // long run of equal priorities is joined at once.
    auto last_before = std::find_if(pCmdQueue.rbegin(), pCmdQueue.rend(),
                                    [&entry](const QueueEntry& queued) { return queued.priority >= entry.priority; });
    pCmdQueue.insert(last_before.base(), std::move(entry));
}

}  // namespace

void InsertCommandInQueuePriorityTimed(HostSession* session, std::string command, int priority, int delay)
{
    insert_entry(session, InertText(std::move(command)), priority, delay);
}

void InsertCommandInQueue(HostSession* session, std::string command)
{
    InsertCommandInQueuePriorityTimed(session, std::move(command), kPriorityNone, 0);
}

void InsertCommandInQueuePriority(HostSession* session, std::string command, int priority)
{
    InsertCommandInQueuePriorityTimed(session, std::move(command), priority, 0);
}

void InsertCommandInQueuePriority(HostSession* session, InertText command, int priority)
{
    insert_entry(session, std::move(command), priority, 0);
}

void InsertCommandInQueueTimed(HostSession* session, std::string command, int delay)
{
    InsertCommandInQueuePriorityTimed(session, std::move(command), kPriorityNone, delay);
}

// ---- the drain -------------------------------------------------------------------

namespace {

int drain(int mode)
{
    if (ssQueueLock != 0) {
        // Re-entered from a command being run: count the attempt and leave.
        if (ssQueueLock != kFlushWaiting && ssQueueLock < INT16_MAX) ++ssQueueLock;
        return 0;
    }
    if (pCmdQueue.empty()) return 0;
    sFlagTimerLock = 0;
    if (mode != 0) tPreviousCommand = 0;
    const time_t current = now();
    if (flood_control_on() && tPreviousCommand + tMinSecondSent > current) {
        rearm_timer(current);
        return 0;
    }
    run_batch(mode, current);
    if (!pCmdQueue.empty() && !sFlagTimerLock) rearm_timer(current);
    return 0;
}

}  // namespace

int ExecCommandInQueue(int mode)
{
    DebugPlugin(1, "BEGIN: ExecCommandInQueue(%d)", mode);
    const int result = drain(mode);
    DebugPlugin(1, "END: ExecCommandInQueue() = %d", result);
    return result;
}

void ResetPriority() { sPriorityState = 0; }

// ---- flushing, erasing, deleting, listing ----------------------------------------

void FlushCommandInQueue()
{
    DebugPlugin(1, "BEGIN: FlushCommandInQueue()");
    flush();
    DebugPlugin(1, "END: FlushCommandInQueue()");
}

namespace {

void flush()
{
    if (pCmdQueue.empty()) return;
    if (ssQueueLock != 0) {
        ssQueueLock = kFlushWaiting;
        return;
    }
    lock_queue();
    const time_t current = now();
    sPrintText(current_tab, "%s", kSeparatorLine);
    std::list<QueueEntry> kept;
    while (!pCmdQueue.empty() && intact(pCmdQueue.front(), __LINE__)) {
        QueueEntry& entry = pCmdQueue.front();
        const bool keep = protected_entry(entry);
        sPrintText(current_tab, keep ? kSavingLine : kErasingLine, entry.psCommand.c_str(),
                   priority_name(entry.priority), seconds_left(entry, current));
        if (keep)
            kept.splice(kept.begin(), pCmdQueue, pCmdQueue.begin());
        else
            pCmdQueue.pop_front();
        --iObjectInQueue;
    }
    sPrintText(current_tab, "%s", kSeparatorLine);
    if (iObjectInQueue != 0) printf("\n[%s:%d]> QUEUE ERROR: iObjectInQueue = %d\n", kUnit, __LINE__, iObjectInQueue);
    pCmdQueue = std::move(kept);
    iObjectInQueue = static_cast<int>(pCmdQueue.size());
    release_lock();
}

// Where the private entries of a closing window go; null when nowhere.
HostSession* heir_window(HostSession* closing)
{
    if (closing != current_tab) return current_tab;
    update_session(nullptr);
    for (HostSession* sess : sess_list)
        if (sess != closing && is_session(sess)) return sess;
    return nullptr;
}

}  // namespace

void EraseCommandForSession(HostSession* session)
{
    if (!session || pCmdQueue.empty() || ssQueueLock != 0) return;
    lock_queue();
    for (auto it = pCmdQueue.begin(); it != pCmdQueue.end() && intact(*it, __LINE__);) {
        if (it->session != session) {
            ++it;
            continue;
        }
        if (is_private(*it)) {
            if (HostSession* heir = heir_window(session)) {
                it->session = heir;
                it->context = heir->ctx;
                ++it;
                continue;
            }
            it->sStatus = 0;
        }
        it = pCmdQueue.erase(it);
        --iObjectInQueue;
    }
    release_lock();
}

int DeleteCommandInQueue(HostSession* session, int index)
{
    check_command_queue(__LINE__);
    if (!session || pCmdQueue.empty() || ssQueueLock != 0) return 0;
    const time_t current = now();
    int position = 0;
    for (auto it = pCmdQueue.begin(); it != pCmdQueue.end() && intact(*it, __LINE__); ++it) {
        if (++position != index) continue;
        const bool keep = protected_entry(*it);
        sPrintText(session, keep ? kSavedLine : kDeletedLine, position, it->psCommand.c_str(),
                   priority_name(it->priority), seconds_left(*it, current));
        if (keep) return 0;
        pCmdQueue.erase(it);
        --iObjectInQueue;
        return 1;
    }
    return 0;
}

int DeleteCommandInQueueString(HostSession* session, const char* pattern)
{
    if (!pattern || !*pattern) {
        sPrintText(session, "The pattern is null !");
        return 0;
    }
    const std::string wanted = ustrtoupper(pattern);
    int deleted = 0;
    int position = 1;
    for (auto it = pCmdQueue.begin(); it != pCmdQueue.end() && intact(*it, __LINE__);) {
        if (ustrtoupper(it->psCommand.c_str()).find(wanted) != std::string::npos &&
            DeleteCommandInQueue(session, position) == 1) {
            ++deleted;  // positions have shifted: start again
            it = pCmdQueue.begin();
            position = 1;
            continue;
        }
        ++it;
        ++position;
    }
    return deleted;
}

void ListCommandInQueue(HostSession* session)
{
    if (pCmdQueue.empty()) {
        sPrintText(session, "The Command's Queue is empty.");
        return;
    }
    const time_t current = now();
    sPrintText(current_tab, "%s", kSeparatorLine);
    sPrintText(session, "Command's Queue List:");
    int position = 0;
    for (const QueueEntry& entry : pCmdQueue) {
        if (!intact(entry, __LINE__)) break;
        sPrintText(session, kListLine, ++position, entry.psCommand.c_str(), priority_name(entry.priority),
                   is_private(entry) ? "PRIVATE" : "NONE", seconds_left(entry, current));
    }
    sPrintText(current_tab, "%s", kSeparatorLine);
}

void FlushWholeCommandQueue()
{
    // Left at 2, every later entry would be private and out of reach of deletion.
    PrivateQueueMode mode;
    FlushCommandInQueue();
}

PrivateQueueMode::PrivateQueueMode(bool on)
{
    if (on) iCommandStatus_CommandsQueue = kPrivateStatus;
}

PrivateQueueMode::~PrivateQueueMode() { iCommandStatus_CommandsQueue = 0; }

void ReleaseTimerLock() { sFlagTimerLock = 0; }
