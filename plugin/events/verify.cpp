// Matching an event against the sentinels and building the commands of those that fire.
#include "events/internal.h"

#include "host/dcc.h"
#include "host/host.h"
#include "host/trace.h"
#include "output/output.h"
#include "queue/queue.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"
#include "utilities.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

using namespace events_detail;

namespace {

constexpr const char* kZombieWindow = "#QuIbOsCrIpT Zombie";
constexpr size_t kMaxDeferredEvents = 1024;

std::string text_or_empty(const char* text) { return text ? text : ""; }

// ---- events put off until a real window exists -----------------------------------

struct DeferredEvent {
    std::string kind, lu, ru, rhost, channel, server, data;
};

std::map<unsigned, DeferredEvent> deferred_events;
unsigned next_deferred_id = 0;

int defer_event(const DeferredEvent& event)
{
    if (deferred_events.size() >= kMaxDeferredEvents) deferred_events.erase(deferred_events.begin());
    const unsigned id = ++next_deferred_id;
    deferred_events[id] = event;
    // The event itself stays here: the timer command carries nothing but its number.
    InsertCommandInQueuePriority(nullptr, "/TIMER -refnum 2255 1 quibo quiboscriptgenevent #" + std::to_string(id),
                                 kSentinelPriority);
    return 1;
}

bool is_real(const HostSession* sess) { return sess && sess->server; }

// The window of the event's server and channel, else the one given, else the current one.
HostSession* window_for(HostSession* given, const DeferredEvent& event)
{
    for (HostSession* sess : sess_list)
        if (is_real(sess) && strcasecmp(sess->server->servername.c_str(), event.server.c_str()) == 0 &&
            strcasecmp(sess->channel.c_str(), event.channel.c_str()) == 0)
            return sess;
    if (is_real(given)) return given;
    return is_real(current_tab) ? current_tab : nullptr;
}

// ---- the values of one event -----------------------------------------------------

class EventValues {
public:
    EventValues(HostSession* sess, const char* kind, const char* const values[6]) : sess(sess), kind(kind)
    {
        for (int i = 0; i < 6; ++i) given[i] = values[i];
    }

    // The value of `variable` as a command or the upper-case copies receive
    // it, with `number` for $number; nullopt when it has none, in which case
    // it reads as its own name (or as nothing in the upper-case copies, for
    // $rhost, $channel and $data).
    std::optional<std::string> value(int variable, int number)
    {
        switch (variable) {
        case kEvent: return text_or_empty(kind);
        case kLu: return event_value(0);
        case kRu: return event_value(1);
        case kRhost: return event_value(2);
        case kChannel: return event_value(3);
        case kServer: return event_value(4);
        case kData: return event_value(5);
        case kNumber: return std::to_string(number);
        case kAll: return all();
        case kDatabase: return lazily(database, [] { const char* t = SaveDatabase(); return text_or_empty(t); });
        case kDccDatabase: return lazily(dcc_database, [] { return write_dcc_database(0); });
        case kNick: return host_value([](HostServer& s, HostSession*) { return s.nick; });
        case kHostname: return host_value([](HostServer& s, HostSession*) { return s.hostname; });
        case kAddress: return host_value(local_address);
        default: return std::nullopt;
        }
    }

    const char* given[6] = {};

private:
    std::optional<std::string> event_value(int index) const
    {
        if (empty(given[index])) return std::nullopt;
        return std::string(given[index]);
    }

    std::string all() const
    {
        std::string joined;
        for (const char* v : given)
            if (v) joined += v;
        return joined;
    }

    template <typename Fetch>
    std::optional<std::string> lazily(std::optional<std::string>& cache, Fetch fetch)
    {
        if (!cache) cache = fetch();
        if (cache->empty()) return std::nullopt;
        return cache;
    }

    template <typename Read>
    std::optional<std::string> host_value(Read read) const
    {
        if (!sess || !sess->server) return std::nullopt;
        std::string v = read(*sess->server, sess);
        if (v.empty()) return std::nullopt;
        return v;
    }

    static std::string local_address(HostServer& server, HostSession*)
    {
        std::optional<HostUser> user = find_name_global(&server, server.nick.c_str());
        return user ? user->address : std::string();
    }

    HostSession* sess;
    const char* kind;
    std::optional<std::string> database, dcc_database;
};

// ---- conditions --------------------------------------------------------------------

// A value as plain text inside a regular expression.
std::string regexp_literal(const std::string& value)
{
    const char* escaped = zemescaperegexp(value.c_str());
    std::string out;
    for (const char* c = escaped ? escaped : ""; *c; ++c) {
        if (*c == '+') out += '\\';
        out += *c;
    }
    return out;
}

void replace_all(std::string& text, const std::string& find, const std::string& with)
{
    for (size_t at = 0; (at = text.find(find, at)) != std::string::npos; at += with.size())
        text.replace(at, find.size(), with);
}

std::string upper(std::string text) { return ustrtoupper(text.c_str()); }

enum class Truth { True, False, NoOperator, Broken };

struct ConditionParts {
    std::string pattern, variable, upper_pattern, upper_variable;
    bool literal = false;
    char op = '=';
};

bool begins_with(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Upper-case copies receive every value; the copies in unchanged case only
// when the condition is not literal, the pattern's copy escaped for the
// regular expression.
void substitute(ConditionParts& c, EventValues& values, int number)
{
    for (int v = 0; v < kSentinelVariables; ++v) {
        const std::string marker = kVariables[v].dollar_marker;
        std::optional<std::string> value = values.value(v, number);
        const bool shows_name = v == kRhost || v == kChannel || v == kData;
        std::string for_upper = value ? *value : (shows_name ? "" : kVariables[v].dollar);
        replace_all(c.upper_pattern, marker, for_upper);
        replace_all(c.upper_variable, marker, for_upper);
        if (c.literal || v == kAll) continue;
        std::string plain = value ? *value : kVariables[v].dollar;
        const bool raw = !value || v == kNumber || v == kDatabase || v == kDccDatabase;
        replace_all(c.pattern, marker, raw ? plain : regexp_literal(plain));
        replace_all(c.variable, marker, plain);
    }
    c.upper_pattern = upper(c.upper_pattern);
    c.upper_variable = upper(c.upper_variable);
}

void mark_literal(ConditionParts& c)
{
    if (!c.upper_pattern.empty() && c.upper_pattern.back() == '\'') return;
    if (begins_with(c.upper_pattern, "'")) {
        c.upper_pattern.erase(0, 1);
        c.literal = true;
    } else if (begins_with(c.upper_pattern, "\\'")) {
        c.upper_pattern.erase(0, 2);
        c.literal = true;
    }
}

struct Firing {
    HostSession* sess;
    Sentinel& s;
    int number;
    bool traced() const { return iFlagEventsManagerDebug == 1 && s.uiSpecial == 0; }
};

void trace(const Firing& f, const char* format, const std::string& text)
{
    if (f.traced()) sPrintText(current_tab, format, text.c_str());
}

bool regexp_matches(const Firing& f, ConditionParts& c)
{
    if (c.literal || begins_with(c.upper_pattern, "'")) return false;
    if (begins_with(c.variable, "'")) c.variable.erase(0, 1);
    if (!c.variable.empty() && c.variable.back() == '\'') c.variable.pop_back();
    if (zemregexp(c.pattern.c_str(), c.variable.c_str())) {
        if (c.op == '=') trace(f, "    \\_> \0033Condition Satisfied (Regular Expression):\0033 %s", c.pattern);
        return true;
    }
    if (ps_zemregexp_error) {
        std::string event = shown(f.s.psEvent), condition = shown(f.s.psCondition), command = shown(f.s.psCommand);
        if (f.s.iRepetitions < 0)
            sPrintText(where(f.sess), GetMessage(867), ps_zemregexp_error, f.number, "?", event.c_str(),
                       condition.c_str(), command.c_str());
        else
            sPrintText(where(f.sess), GetMessage(763), ps_zemregexp_error, f.number, f.s.iRepetitions, event.c_str(),
                       condition.c_str(), command.c_str());
        ps_zemregexp_error = nullptr;
    }
    return false;
}

bool contained(const Firing& f, const ConditionParts& c)
{
    size_t at = c.upper_pattern.find(c.upper_variable);
    if (at != std::string::npos) {
        if (c.op == '=') trace(f, "    \\_> \0033Condition Satisfied (Constant in Variable):\0033 %s",
                               c.upper_pattern.substr(at));
        return true;
    }
    at = c.upper_variable.find(c.upper_pattern);
    if (at == std::string::npos) return false;
    if (c.op == '=') trace(f, "    \\_> \0033Condition Satisfied (Variable in Constant):\0033 %s",
                           c.upper_variable.substr(at));
    return true;
}

void trace_resolution(const Firing& f, const ConditionParts& c)
{
    if (!f.traced()) return;
    const char op[2] = {c.op, '\0'};
    sPrintText(current_tab,
               "  \\_> \0036Sentinel Resolution [\0037%3d\0036]:\0033(\0036 %d\0033 )\0033 %d\0034 %s\0037 %s%s%s\0038 "
               "%s\0036.",
               f.number, f.s.uiRemaining, f.s.iRepetitions, shown(f.s.psEvent).c_str(), c.upper_pattern.c_str(), op,
               c.upper_variable.c_str(), shown(f.s.psCommand).c_str());
}

Truth evaluate(const Firing& f, EventValues& values)
{
    const std::string& condition = f.s.psProtectedCondition;
    if (condition.empty()) {
        sPrintText(where(f.sess), GetMessage(93), "events", 1156);
        return Truth::Broken;
    }
    if (condition == "*") {
        if (f.traced()) {
            sPrintText(current_tab,
                       "  \\_> \0036Sentinel Resolution [\0037%3d\0036]:\0033(\0036 %d\0033 )\0033 %d\0034 %s "
                       "\0037ALWAYS\0038 %s\0036.",
                       f.number, f.s.uiRemaining, f.s.iRepetitions, shown(f.s.psEvent).c_str(),
                       shown(f.s.psCommand).c_str());
            sPrintText(current_tab, "    \\_> \0033Condition Satisfied (ALWAYS).");
        }
        return Truth::True;
    }
    const size_t op = condition.find_last_of("=!");
    if (op == std::string::npos) return Truth::NoOperator;
    ConditionParts c;
    c.op = condition[op];
    c.pattern = c.upper_pattern = condition.substr(0, op);
    c.variable = c.upper_variable = condition.substr(op + 1);
    c.upper_pattern = upper(c.upper_pattern);
    c.upper_variable = upper(c.upper_variable);
    mark_literal(c);
    substitute(c, values, f.number);
    trace_resolution(f, c);
    const bool matches = contained(f, c) || regexp_matches(f, c);
    if (matches == (c.op == '=')) {
        if (c.op == '!') trace(f, "    \\_> \0033Satisfied Condition (NOT EQUAL):\0033 %s", "");
        return Truth::True;
    }
    if (f.traced()) sPrintText(current_tab, "    \\_> \0034Condition Unsatisfied.");
    return Truth::False;
}

// ---- firing ------------------------------------------------------------------------

// The user's action split at "\;": each piece is one command.
std::vector<std::string> action_pieces(const std::string& protected_command)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t at; (at = protected_command.find("\\;", start)) != std::string::npos; start = at + 2)
        pieces.push_back(protected_command.substr(start, at - start));
    pieces.push_back(protected_command.substr(start));
    return pieces;
}

// The user's own text of a piece: "_QUIBO_SEPARATOR_" is how a literal "\;" is written.
void add_user_text(InertText& command, std::string text)
{
    replace_all(text, "_QUIBO_SEPARATOR_", "\\;");
    command.add_syntax(text);
}

// Which marker starts at `at`, as (variable, is the caret form); nullopt when none.
std::optional<std::pair<int, bool>> marker_at(const std::string& text, size_t at)
{
    for (int v = 0; v < kSentinelVariables; ++v) {
        if (text.compare(at, strlen(kVariables[v].dollar_marker), kVariables[v].dollar_marker) == 0)
            return std::make_pair(v, false);
        if (text.compare(at, strlen(kVariables[v].caret_marker), kVariables[v].caret_marker) == 0)
            return std::make_pair(v, true);
    }
    return std::nullopt;
}

// A piece with the event's values in place. A caret form becomes the variable's
// own name, for the script language to resolve; a value is added as a literal run.
InertText build_piece(const std::string& piece, EventValues& values, int number)
{
    InertText command;
    std::string pending;
    for (size_t at = 0; at < piece.size();) {
        auto marker = piece[at] == '\025' ? marker_at(piece, at) : std::nullopt;
        if (!marker) {
            pending += piece[at++];
            continue;
        }
        const auto [variable, caret] = *marker;
        at += strlen(caret ? kVariables[variable].caret_marker : kVariables[variable].dollar_marker);
        std::optional<std::string> value = caret ? std::nullopt : values.value(variable, number);
        if (!value || variable == kNumber) {
            pending += value ? *value : kVariables[variable].dollar;
            continue;
        }
        add_user_text(command, std::move(pending));
        pending.clear();
        command.add_literal(*value);
    }
    add_user_text(command, std::move(pending));
    return command;
}

std::string traced_text(const InertText& command) { return shown(command.text); }

void fire(const Firing& f, EventValues& values, int& class_counter)
{
    std::vector<InertText> commands;
    for (const std::string& piece : action_pieces(f.s.psProtectedCommand))
        commands.push_back(build_piece(piece, values, f.number));
    if (f.traced()) {
        std::string joined;
        for (const InertText& c : commands) joined += (joined.empty() ? "" : "\\;") + traced_text(c);
        sPrintText(current_tab, "      \\_> \0036Command Resolution :\0038 %s\0036.", joined.c_str());
    }
    if (f.s.iRepetitions == -1) {
        f.s.uiRemaining = 0;
        const char* form = f.s.uiSpecial == 0 ? "/event del %d -" : "/event delh %d -";
        char deletion[64];
        snprintf(deletion, sizeof deletion, form, f.number);
        InsertCommandInQueuePriority(f.sess, deletion, kSentinelPriority);
        --class_counter;
    } else if (f.s.iRepetitions >= 1) {
        --f.s.uiRemaining;
    }
    for (InertText& command : commands) {
        trace(f, "        \\_> \0038Execute Command:\0033 %s", traced_text(command));
        InsertCommandInQueuePriority(f.sess, std::move(command), kSentinelPriority);
    }
}

bool kind_matches(const Sentinel& s, const char* kind)
{
    return strcasecmp(s.psEvent.c_str(), text_or_empty(kind).c_str()) == 0 ||
           s.psProtectedEvent == kEventKinds[kKindAll].marker;
}

void trace_event(const char* kind, const char* const values[6])
{
    auto v = [](const char* t) { return t ? t : "empty"; };
    sPrintText(current_tab,
               "* \0036Verify Event\0033 %s\0036 : $lu =\0033 %s\0036, $ru =\0033 %s\0036, $rhost =\0033 %s\0036, "
               "$channel =\0033 %s\0036, $server =\0033 %s\0036, $data =\0033 %s\0036.",
               v(kind), v(values[0]), v(values[1]), v(values[2]), v(values[3]), v(values[4]), v(values[5]));
}

void trace_found(const Firing& f)
{
    if (!f.traced()) return;
    sPrintText(current_tab,
               "\\_> \0036Found Sentinel [\0037%3d\0036]:\0032(\0036 %d\0032 )\0033 %d\0034 %s\0037 %s\0038 %s\0036.",
               f.number, f.s.uiRemaining, f.s.iRepetitions, shown(f.s.psEvent).c_str(), shown(f.s.psCondition).c_str(),
               shown(f.s.psCommand).c_str());
}

// A one-shot that has fired waits for its queued deletion: it no longer
// counts, so the deletions queued meanwhile name the right sentinels.
bool waiting_for_deletion(const Sentinel& s) { return s.iRepetitions < 0 && s.uiRemaining < 1; }

int walk(HostSession* sess, const char* kind, EventValues& values)
{
    int counters[2] = {0, 0};
    int result = 0;
    for (auto& node : sentinel_list) {
        Sentinel& s = *node;
        if (waiting_for_deletion(s)) continue;
        int unknown_class = 0;
        int& counter = s.uiSpecial <= 1 ? counters[s.uiSpecial] : unknown_class;
        if (s.uiSpecial > 1) sPrintText(where(sess), GetMessage(93), "events", 1077);
        Firing f{sess, s, ++counter};
        if (s.uiRemaining < 1 || !kind_matches(s, kind)) continue;
        trace_found(f);
        Truth truth = evaluate(f, values);
        if (truth == Truth::Broken) return 0;
        if (truth == Truth::NoOperator) {
            sPrintText(where(sess), "%s", GetMessage(83));
            return result;
        }
        if (sFlagLockPreviousSentinel && PreviousSentinel == &s) {
            PreviousSentinel = nullptr;
            printf("[%s:%d]> VerifyEvent() LOOP ON SENTINEL: [%3d]:( %d ) %d %s %s\n", "events", 1655, f.number,
                   s.uiRemaining, s.iRepetitions, s.psEvent.c_str(), s.psCommand.c_str());
            continue;
        }
        if (truth == Truth::False) continue;
        PreviousSentinel = &s;
        result = 1;
        fire(f, values, counter);
    }
    return result;
}

}  // namespace

int VerifyEvent(HostSession* sess, const char* event, const char* local_nick, const char* remote_nick,
                const char* remote_address, const char* channel, const char* server, const char* data)
{
    if (sentinel_list.empty()) return 0;
    DebugPlugin(1, "BEGIN: VerifyEvent(%s)", text_or_empty(event).c_str());
    ResetPriority();
    if (sess && sess->channel == kZombieWindow) {
        DebugPlugin(1, "END: VerifyEvent() = 1 (put off)");
        return defer_event({text_or_empty(event), text_or_empty(local_nick), text_or_empty(remote_nick),
                            text_or_empty(remote_address), text_or_empty(channel), text_or_empty(server),
                            text_or_empty(data)});
    }
    const char* const given[6] = {local_nick, remote_nick, remote_address, channel, server, data};
    if (iFlagEventsManagerDebug == 1) trace_event(event, given);
    EventValues values(sess, event, given);
    int result = walk(sess, event, values);
    DebugPlugin(1, "END: VerifyEvent() = %d", result);
    return result;
}

int VerifyDeferredEvent(HostSession* sess, const char* reference)
{
    if (!reference || reference[0] != '#') return 0;
    char* end = nullptr;
    const unsigned long id = strtoul(reference + 1, &end, 10);
    auto found = deferred_events.find(static_cast<unsigned>(id));
    if (*end != '\0' || found == deferred_events.end()) return 0;
    DeferredEvent event = std::move(found->second);
    deferred_events.erase(found);
    HostSession* target = window_for(sess, event);
    if (!target) return 0;
    return VerifyEvent(target, event.kind.c_str(), event.lu.c_str(), event.ru.c_str(), event.rhost.c_str(),
                       event.channel.c_str(), event.server.c_str(), event.data.c_str());
}

size_t deferred_event_count() { return deferred_events.size(); }

void events_detail::forget_deferred_events() { deferred_events.clear(); }

int make_special_event(HostSession* sess, const char* name, const char* a1, const char* a2, const char* a3,
                       const char* a4, const char* a5, const char* a6)
{
    for (const char* text : {name, a1, a2, a3, a4, a5, a6})
        if (empty(text)) return 0;
    std::string kind = "spcl_" + ustrtolower(name);
    for (char& c : kind)
        if (c == ' ') c = '_';
    auto probe = make_sentinel(0, kind, "*", "", 1);
    if (FindSentinel(probe.get(), 0) > 0) {
        VerifyEvent(sess, kind.c_str(), a1, a2, a3, a4, a5, a6);
        ExecCommandInQueue(1);
    }
    return 1;
}
