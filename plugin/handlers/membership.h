// Helpers shared by the membership handlers (JOIN, PART, KICK, QUIT and NICK); private to plugin/handlers.
#pragma once

#include "handlers/handlers.h"
#include "pipeline/sessions.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <string>

namespace membership {

// "(null)" for an absent text, as the log lines show it.
const char* shown(const char* text);
// Equal without regard to case; false when either is absent.
bool same_name(const char* a, const char* b);
std::string text_of(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Appends a line to the log file of the server.
void append_log(const std::string& line);
// Appends an event's log line, made by `line` only when it is written, or with the advanced log the event word's
// tab-separated line; nothing when logging is off.
template <typename Line>
void write_log(const char* word, Line&& line)
{
    if (!iFlagLogFile) return;
    if (iFlagAdvancedLog)
        AdvancedLog(word);
    else
        append_log(line());
}
// `info` with one more former nick appended; only the last kMaxNickHistory former nicks are kept.
std::string add_nick_history(const char* info, const char* nick);
// The records a search finds now, safe to walk while the database changes.
UserSnapshot records_of(const char* server, const char* channel, const char* nick, const char* address);
// Events are on and a sentinel may take them (finding an event's window is not free).
bool events_wanted();
// True for a record parked in the zombie channel.
bool is_zombie(const ChatUser* user);
// Moves the record to the zombie channel; one the user already has there stands for it (the record goes).
void park_as_zombie(ChatUser* user);

// Holds error output off while it lives.
class HeldErrorOutput {
public:
    HeldErrorOutput();
    ~HeldErrorOutput();
    HeldErrorOutput(const HeldErrorOutput&) = delete;
    HeldErrorOutput& operator=(const HeldErrorOutput&) = delete;

private:
    int saved_;
};

}  // namespace membership
