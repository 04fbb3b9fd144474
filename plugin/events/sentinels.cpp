// The sentinel store: records, their protected forms, validation and the
// operations on the list.
#include "events/internal.h"

#include "host/host.h"
#include "host/lifecycle.h"
#include "host/trace.h"
#include "output/output.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "utilities.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <iterator>

std::list<std::unique_ptr<Sentinel>> sentinel_list;
uint32_t uiSentinelInList = 0;
const Sentinel* PreviousSentinel = nullptr;
int sFlagLockPreviousSentinel = 0;
std::string psPreviousEventGenerated;
uint32_t uiAntiLoopInsert = 0;

namespace events_detail {

const EventKind kEventKinds[kKindCount] = {
    {"jserver", "\025-jserver\025"}, {"jchannel", "\025-jchannel\025"}, {"pchannel", "\025-pchannel\025"},
    {"pserver", "\025-pserver\025"}, {"kick", "\025-kick\025"},         {"who", "\025-who\025"},
    {"chgnick", "\025-chgnick\025"}, {"text", "\025-text\025"},         {"badword", "\025-badword\025"},
    {"badnick", "\025-badnick\025"}, {"query", "\025-query\025"},       {"ctcp", "\025-ctcp\025"},
    {"mode", "\025-mode\025"},       {"flood", "\025-flood\025"},       {"notify", "\025-notify\025"},
    {"invite", "\025-invite\025"},   {"other", "\025-other\025"},       {"spcl_", "\025-spcl_\025"},
    {"all", "\025-all\025"},
};

const VariableName kVariables[kSentinelVariables] = {
    {"$database", "^database", "\025-$DBASE\025", "\025-^DBASE\025"},
    {"$dcc_database", "^dcc_database", "\025-$DCC_DBASE\025", "\025-^DCC_DBASE\025"},
    {"$event", "^event", "\025-$EVENT\025", "\025-^EVENT\025"},
    {"$lu", "^lu", "\025-$LU\025", "\025-^LU\025"},
    {"$ru", "^ru", "\025-$RU\025", "\025-^RU\025"},
    {"$rhost", "^rhost", "\025-$RHOST\025", "\025-^RHOST\025"},
    {"$channel", "^channel", "\025-$CHANNEL\025", "\025-^CHANNEL\025"},
    {"$hostname", "^hostname", "\025-$HOSTNAME\025", "\025-^HOSTNAME\025"},
    {"$server", "^server", "\025-$SERVER\025", "\025-^SERVER\025"},
    {"$data", "^data", "\025-$DATA\025", "\025-^DATA\025"},
    {"$nick", "^nick", "\025-$NICK\025", "\025-^NICK\025"},
    {"$address", "^address", "\025-$ADDRESS\025", "\025-^ADDRESS\025"},
    {"$number", "^number", "\025-$NUMBER\025", "\025-^NUMBER\025"},
    {"$all", "^all", "\025-$ALL\025", "\025-^ALL\025"},
};

HostSession* where(HostSession* sess) { return iFlagCurrentTab ? current_tab : sess; }

void separator(HostSession* sess) { sPrintText(where(sess), "%s", kSeparatorLine); }

std::string shown(const std::string& text)
{
    static constexpr std::pair<char, const char*> kEscapes[] = {
        {'%', "%%"}, {'\026', "%R"}, {'\037', "%U"}, {'\002', "%B"}, {'\003', "%C"}, {'\017', "%O"}};
    std::string out;
    for (char c : text) {
        auto found = std::find_if(std::begin(kEscapes), std::end(kEscapes), [c](auto& e) { return e.first == c; });
        if (found != std::end(kEscapes))
            out += found->second;
        else
            out += c;
    }
    return out;
}

std::string shown_repetitions(int repetitions) { return repetitions < 0 ? "?" : std::to_string(repetitions); }

int number_of(const Sentinel* record)
{
    int number = 0;
    for (const auto& s : sentinel_list) {
        if (s->uiSpecial != record->uiSpecial) continue;
        ++number;
        if (s.get() == record) return number;
    }
    return 0;
}

}  // namespace events_detail

using namespace events_detail;

namespace {

constexpr const char* kUnit = "events";

// The values every report line shows after its own leading numbers.
struct ShownSentinel {
    std::string event, condition, command;
    explicit ShownSentinel(const Sentinel& s) : event(shown(s.psEvent)), condition(shown(s.psCondition)),
                                                command(shown(s.psCommand))
    {
    }
};

void report(HostSession* sess, const char* format, int number, const Sentinel& s)
{
    ShownSentinel v(s);
    sPrintText(where(sess), format, number, s.iRepetitions, v.event.c_str(), v.condition.c_str(), v.command.c_str());
}

void report_replacement(HostSession* sess, const Sentinel& s)
{
    ShownSentinel v(s);
    sPrintText(where(sess), "\0037*=>\017\t\0033 %d\0034 %s\0037 %s\0038 %s\017", s.iRepetitions, v.event.c_str(),
               v.condition.c_str(), v.command.c_str());
}

void report_listed(HostSession* sess, int number, const Sentinel& s)
{
    ShownSentinel v(s);
    if (s.iRepetitions < 0)
        sPrintText(where(sess), "[\0036 %3d\017] (\0033 %3d\017)\t\0033 %c\0034 %s\0037 %s\0038 %s\017", number,
                   s.uiRemaining, '?', v.event.c_str(), v.condition.c_str(), v.command.c_str());
    else
        sPrintText(where(sess), "[\0036 %3d\017] (\0033 %3d\017)\t\0033 %d\0034 %s\0037 %s\0038 %s\017", number,
                   s.uiRemaining, s.iRepetitions, v.event.c_str(), v.condition.c_str(), v.command.c_str());
}

void print_message(HostSession* sess, int number) { sPrintText(where(sess), "%s", GetMessage(number)); }

int armed_remaining(int repetitions) { return repetitions >= 1 ? repetitions : 1; }

using SentinelIterator = std::list<std::unique_ptr<Sentinel>>::iterator;

SentinelIterator find_numbered(int number, int hidden)
{
    int seen = 0;
    for (auto it = sentinel_list.begin(); it != sentinel_list.end(); ++it)
        if ((*it)->uiSpecial == static_cast<uint32_t>(hidden) && ++seen == number) return it;
    return sentinel_list.end();
}

bool in_user_range(HostSession* sess, int number)
{
    if (number >= 1 && static_cast<uint32_t>(number) <= uiSentinelInList) return true;
    sPrintText(where(sess), GetMessage(80), 0, static_cast<int>(uiSentinelInList));
    return false;
}

// ---- validation ------------------------------------------------------------------

constexpr const char* kConditionVariables[] = {"$lu",      "$ru",     "$rhost",   "$channel",     "$hostname",
                                               "$server",  "$data",   "$nick",    "$address",     "$database",
                                               "$dcc_database", "$number", "$all", "$event"};

bool known_variable(const std::string& name)
{
    return std::any_of(std::begin(kConditionVariables), std::end(kConditionVariables),
                       [&](const char* v) { return strcasecmp(v, name.c_str()) == 0; });
}

void report_regexp_error(HostSession* sess, const Sentinel& s, int number, const char* error)
{
    ShownSentinel v(s);
    if (s.iRepetitions < 0)
        sPrintText(where(sess), GetMessage(867), error, number, "?", v.event.c_str(), v.condition.c_str(),
                   v.command.c_str());
    else
        sPrintText(where(sess), GetMessage(763), error, number, s.iRepetitions, v.event.c_str(), v.condition.c_str(),
                   v.command.c_str());
}

enum class ConditionCheck { Valid, Invalid, AcceptedAsIs, RegexpError };

// The pattern is tried against the text from the operator on: a pattern that
// matches its own variable is probably wider than the user meant.
bool pattern_error(HostSession* sess, const Sentinel& s, const std::string& pattern, const char* from_operator)
{
    const char& first = s.psCondition[0];
    if (first == '\'' || first == '\\' || (s.psCondition.size() > 1 && s.psCondition[1] == '\'')) return false;
    if (zemregexp(pattern.c_str(), from_operator)) print_message(sess, 787);
    if (!ps_zemregexp_error) return false;
    report_regexp_error(sess, s, 0, ps_zemregexp_error);
    ps_zemregexp_error = nullptr;
    return true;
}

ConditionCheck check_condition(HostSession* sess, const Sentinel& s)
{
    const std::string& condition = s.psCondition;
    if (condition == "*") return ConditionCheck::Valid;
    if (condition.size() == 1) {
        print_message(sess, 87);
        return ConditionCheck::Invalid;
    }
    size_t op = condition.find_last_of("=!");
    if (op == std::string::npos) {
        print_message(sess, 83);
        return ConditionCheck::Invalid;
    }
    bool regexp_error = pattern_error(sess, s, condition.substr(0, op), condition.c_str() + op);
    std::string variable = condition.substr(op + 1);
    if (variable.empty()) {
        print_message(sess, 87);
        return ConditionCheck::Invalid;
    }
    if (!known_variable(variable)) {
        sPrintText(where(sess), GetMessage(85), variable.c_str());
        return regexp_error ? ConditionCheck::RegexpError : ConditionCheck::AcceptedAsIs;
    }
    return regexp_error ? ConditionCheck::RegexpError : ConditionCheck::Valid;
}

// A user sentinel must come back from the file as it was: no field may end in
// a backslash (its closing quote would read as escaped), hold a line break,
// or be empty, the kind may hold no double quote, and the line must fit.
bool round_trips(HostSession* sess, const Sentinel& s)
{
    for (const std::string* field : {&s.psEvent, &s.psCondition, &s.psCommand}) {
        bool bad = field->empty() || field->back() == '\\' || field->find_first_of("\r\n") != std::string::npos ||
                   (field == &s.psEvent && field->find('"') != std::string::npos);
        if (bad) {
            sPrintText(where(sess), GetMessage(1121), shown(*field).c_str());
            return false;
        }
    }
    if (file_line(s).size() <= kSentinelLineMax) return true;
    sPrintText(where(sess), GetMessage(1120), static_cast<int>(kSentinelLineMax));
    return false;
}

void count_replace(std::string& text, const char* find, const char* replace, uint32_t* count)
{
    int n = 0;
    size_t at = 0;
    const size_t length = strlen(find), with = strlen(replace);
    while ((at = text.find(find, at)) != std::string::npos) {
        text.replace(at, length, replace);
        at += with;
        ++n;
    }
    if (count) *count = static_cast<uint32_t>(n);
}

int delete_at(HostSession* sess, SentinelIterator it, int number)
{
    Sentinel& s = **it;
    if (s.uiSpecial == 0) {
        --uiSentinelInList;
        if (s.iRepetitions >= 0) report(sess, "\0034DEL\017:[\0036 %3d\017]\t\0033 %d\0034 %s\0037 %s\0038 %s\017", number, s);
    }
    if (PreviousSentinel == &s) PreviousSentinel = nullptr;
    sentinel_list.erase(it);
    return 0;
}

bool matches_filter(const Sentinel& s, const char* filter)
{
    if (!filter || !*filter) return true;
    return s.psEvent.find(filter) != std::string::npos || s.psCondition.find(filter) != std::string::npos ||
           s.psCommand.find(filter) != std::string::npos;
}

bool same_kind_or_all(const Sentinel& s, const Sentinel& record)
{
    return strcasecmp(s.psEvent.c_str(), record.psEvent.c_str()) == 0 || strcasecmp(s.psEvent.c_str(), "all") == 0;
}

bool same_fields(const Sentinel& s, const Sentinel& record)
{
    return s.iRepetitions == record.iRepetitions && strcasecmp(s.psEvent.c_str(), record.psEvent.c_str()) == 0 &&
           strcasecmp(s.psCondition.c_str(), record.psCondition.c_str()) == 0 &&
           strcasecmp(s.psCommand.c_str(), record.psCommand.c_str()) == 0;
}

}  // namespace

bool is_event_kind(const char* kind)
{
    if (!kind || !*kind) return false;
    if (strncmp(kind, "spcl_", 5) == 0) return true;
    return std::any_of(std::begin(kEventKinds), std::end(kEventKinds), [&](const EventKind& k) {
        return strcmp(k.name, "spcl_") != 0 && strcasecmp(k.name, kind) == 0;
    });
}

std::unique_ptr<Sentinel> make_sentinel(int repetitions, const std::string& event, const std::string& condition,
                                        const std::string& command, uint32_t special)
{
    auto record = std::make_unique<Sentinel>();
    record->uiSpecial = special;
    record->iRepetitions = repetitions;
    record->uiRemaining = armed_remaining(repetitions);
    record->psEvent = event;
    record->psCondition = condition;
    record->psCommand = command;
    return record;
}

Sentinel* sentinel_at(int number, int hidden)
{
    auto it = find_numbered(number, hidden);
    return it == sentinel_list.end() ? nullptr : it->get();
}

void ProtectSentinel(Sentinel& s)
{
    s.psProtectedEvent = s.psEvent;
    for (const EventKind& kind : kEventKinds) count_replace(s.psProtectedEvent, kind.name, kind.marker, nullptr);
    s.psProtectedCondition = s.psCondition;
    count_replace(s.psProtectedCondition, "$_", " ", nullptr);
    s.psProtectedCommand = s.psCommand;
    for (int i = 0; i < kSentinelVariables; ++i) {
        const VariableName& v = kVariables[i];
        count_replace(s.psProtectedCondition, v.dollar, v.dollar_marker, &s.auiConditionVars[i]);
        count_replace(s.psProtectedCondition, v.caret, v.caret_marker, nullptr);
        count_replace(s.psProtectedCommand, v.dollar, v.dollar_marker, &s.auiCommandVars[i]);
        count_replace(s.psProtectedCommand, v.caret, v.caret_marker, &s.auiCommandCarets[i]);
    }
}

int CheckSentinel(HostSession* sess, const Sentinel* record)
{
    DebugPlugin(2, "BEGIN: CheckSentinel()");
    const Sentinel& s = *record;
    int result = 1;
    if (s.iRepetitions < -1 || s.iRepetitions > kMaxRepetitions) {
        print_message(sess, 92);
    } else if (s.psEvent.empty()) {
        print_message(sess, 91);
    } else if (!is_event_kind(s.psEvent.c_str())) {
        sPrintText(where(sess), GetMessage(89), s.psEvent.c_str());
    } else if (s.psCondition.empty()) {
        print_message(sess, 88);
    } else {
        ConditionCheck condition = check_condition(sess, s);
        if (condition == ConditionCheck::AcceptedAsIs) {
            result = 0;
        } else if (condition != ConditionCheck::Invalid) {
            if (s.psCommand.empty())
                print_message(sess, 84);
            else
                result = condition == ConditionCheck::RegexpError ? 1 : 0;
        }
    }
    if (result == 0 && s.uiSpecial == 0 && !round_trips(sess, s)) result = 1;
    DebugPlugin(2, "END: CheckSentinel() = %d", result);
    return result;
}

int AddSentinel(HostSession* sess, std::unique_ptr<Sentinel>& record)
{
    if (!record || (record->uiSpecial != 0 && record->uiSpecial != 1) || CheckSentinel(sess, record.get()) != 0) {
        print_message(sess, 77);
        return 1;
    }
    ProtectSentinel(*record);
    Sentinel& added = *record;
    sentinel_list.push_back(std::move(record));
    if (added.uiSpecial == 0) {
        ++uiSentinelInList;
        if (added.iRepetitions >= 0)
            report(sess, "\0033ADD\017:[\0036 %3d\017]\t\0033 %d\0034 %s\0037 %s\0038 %s\017",
                   static_cast<int>(uiSentinelInList), added);
    }
    return 0;
}

int ModSentinel(HostSession* sess, int number, std::unique_ptr<Sentinel> record)
{
    if (!record || !in_user_range(sess, number)) return 1;
    auto it = find_numbered(number, 0);
    if (it == sentinel_list.end()) return 1;
    if ((*it)->iRepetitions >= 0)
        report(sess, "\0037MOD\017:[\0036 %3d\017]\t\0033 %d\0034 %s\0037 %s\0038 %s\017", number, **it);
    if (PreviousSentinel == it->get()) PreviousSentinel = nullptr;
    record->uiSpecial = 0;
    ProtectSentinel(*record);
    *it = std::move(record);
    if ((*it)->iRepetitions >= 0) report_replacement(sess, **it);
    return 0;
}

int DelSentinel(HostSession* sess, int number, int hidden)
{
    if (!hidden && !in_user_range(sess, number)) return 1;
    auto it = find_numbered(number, hidden ? 1 : 0);
    if (it == sentinel_list.end()) return 1;
    return delete_at(sess, it, number);
}

int FlushSentinel(HostSession* sess, int hidden)
{
    if (hidden) {
        while (std::any_of(sentinel_list.begin(), sentinel_list.end(), [](auto& s) { return s->uiSpecial == 1; }))
            if (DelSentinel(sess, 1, 1) != 0) {
                sPrintText(where(sess), GetMessage(98), 0);
                break;
            }
        return hidden;
    }
    if (uiSentinelInList == 0) {
        print_message(sess, 208);
        return hidden;
    }
    separator(sess);
    print_message(sess, 97);
    for (int number = static_cast<int>(uiSentinelInList); number >= 1; --number)
        if (DelSentinel(sess, number, 0) != 0) sPrintText(where(sess), GetMessage(98), number);
    separator(sess);
    return hidden;
}

void FlushAllSentinel()
{
    sentinel_list.clear();
    uiSentinelInList = 0;
    PreviousSentinel = nullptr;
    psPreviousEventGenerated.clear();
    uiAntiLoopInsert = 0;
    forget_deferred_events();
}

int ResetSentinel(HostSession* sess, int number)
{
    if (!in_user_range(sess, number)) return 1;
    Sentinel* s = sentinel_at(number, 0);
    if (!s) return 1;
    if (s->iRepetitions >= 0) {
        ShownSentinel v(*s);
        sPrintText(where(sess), "\0035RESET\017:[\0036 %3d\017] (\0033 %3d\017)\t\0033 %d\0034 %s\0037 %s\0038 %s\017",
                   number, s->uiRemaining, s->iRepetitions, v.event.c_str(), v.condition.c_str(), v.command.c_str());
    }
    // A one-shot that is re-armed fires once more, as when it was made.
    s->uiRemaining = armed_remaining(s->iRepetitions);
    return 0;
}

int ListSentinel(HostSession* sess, const char* filter, int del, int hidden)
{
    const uint32_t klass = hidden ? 1 : 0;
    if (hidden ? sentinel_list.empty() : uiSentinelInList == 0) {
        print_message(sess, 96);
        return 1;
    }
    const bool quiet = hidden && del;
    if (!quiet) print_message(sess, 94);
    bool restarted = true;
    while (restarted) {
        restarted = false;
        int number = 0;
        for (auto it = sentinel_list.begin(); it != sentinel_list.end(); ++it) {
            if ((*it)->uiSpecial != klass) continue;
            ++number;
            if (!matches_filter(**it, filter)) continue;
            if (!quiet) report_listed(sess, number, **it);
            if (del) {
                DelSentinel(sess, number, static_cast<int>(klass));
                restarted = true;
                break;
            }
        }
    }
    return 0;
}

int FindSentinel(const Sentinel* record, int all_fields)
{
    if (!record || record->uiSpecial > 1 || (record->uiSpecial == 0 && uiSentinelInList == 0)) return 0;
    return static_cast<int>(std::count_if(sentinel_list.begin(), sentinel_list.end(), [&](const auto& s) {
        return same_kind_or_all(*s, *record) && (!all_fields || same_fields(*s, *record));
    }));
}
