// /QUIBO keywords that change one setting each.
#include "settings/keywords.h"

#include "host/host.h"
#include "host/lifecycle.h"
#include "host/paths.h"
#include "host/trace.h"
#include "output/output.h"
#include "settings/messages.h"
#include "settings/settings.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

enum class Rule {
    Toggle,          // no switch argument inverts, else the switch value
    Level,           // a number argument gives its magnitude, else the row's own toggle
    Absolute,        // with an argument, its magnitude (a non-number gives 0); without, nothing
    AbsoluteOrPass,  // as Absolute, but without an argument the keyword is not taken
    Interval,        // only with an argument; below 1 nothing changes and nothing is printed
};

enum class Help { Plain, Framed, None };

struct SettingKeyword {
    const char* keyword;
    Rule rule;
    int* number;
    time_t* seconds;
    int set_message;
    int help_message;
    Help help = Help::Plain;
    const char* shown_name = nullptr;  // set messages that show the variable's name first
    int (*toggle)(int) = nullptr;      // the Level rule's toggle
    void (*after)(QuiboCommand&) = nullptr;  // runs after the set message
    void (*before)() = nullptr;              // runs whenever the keyword is taken, before the rule
    void (*normalise)() = nullptr;           // keeps the new value within its range
};

// The absolute value, held to the int range.
int magnitude(long value)
{
    if (value <= -INT_MAX || value >= INT_MAX) return INT_MAX;
    return static_cast<int>(value < 0 ? -value : value);
}

int argument_magnitude(const QuiboCommand& cmd) { return magnitude(strtol(cmd.arg(3), nullptr, 10)); }

int one_from_zero(int value) { return value == 0 ? 1 : 0; }
int two_from_low(int value) { return value <= 1 ? 2 : 1; }
int eight_from_zero(int value) { return value == 0 ? 8 : 0; }

void refresh_output(QuiboCommand&) { OutputRoutineInitialize(iFlagQuiboMessage, iFlagColor, iFlagPrintClone); }

// Switching a log or the trace off closes the file they write to.
void close_log_when_off(int value)
{
    if (value == 0) WriteLog(nullptr, nullptr);
}
void after_debug(QuiboCommand&) { close_log_when_off(iFlagDebugMode); }
void after_log(QuiboCommand&) { close_log_when_off(iFlagLogFile); }
void after_debugfnc(QuiboCommand&) { close_log_when_off(iFlagDebugModeFnc); }

const char* server_name_or_none(HostSession* sess)
{
    if (sess && sess->server && !sess->server->servername.empty()) return sess->server->servername.c_str();
    return GetMessage(403);
}

void framed_server_line(QuiboCommand& cmd, int message)
{
    HostSession* where = cmd.where();
    sPrintText(where, "%s", kSeparatorLine);
    sPrintText(where, GetMessage(message), server_name_or_none(cmd.sess));
    sPrintText(where, "%s", kSeparatorLine);
}

void after_dm(QuiboCommand& cmd) { framed_server_line(cmd, 402); }
void after_nick(QuiboCommand& cmd) { framed_server_line(cmd, 424); }

void after_event(QuiboCommand& cmd)
{
    HostSession* where = cmd.where();
    if (!iFlagEnableEvent)
        sPrintText(where, "%s", GetMessage(240));
    else if (access(quibo_data_path("quibo.snt").c_str(), R_OK) == 0)
        sPrintText(where, "%s", GetMessage(703));
    else
        sPrintText(where, "%s", GetMessage(239));
}

void after_eventdebug(QuiboCommand& cmd)
{
    HostSession* where = cmd.where();
    sPrintText(where, "%s", kSeparatorLine);
    sPrintText(where, "%s", GetMessage(791));
    sPrintText(where, "%s", GetMessage(809));
    sPrintText(where, "%s", kSeparatorLine);
}

void enable_query_guard() { sFlagEnableQUERY = 1; }

void keep_one_message()
{
    if (iMaxMessageSent < 1) iMaxMessageSent = 1;
}

#define TOGGLE(keyword, variable, set, help, ...) {keyword, Rule::Toggle, &variable, nullptr, set, help, __VA_ARGS__}
#define LEVEL(keyword, variable, set, help, ...) {keyword, Rule::Level, &variable, nullptr, set, help, __VA_ARGS__}

const SettingKeyword kSettingKeywords[] = {
    TOGGLE("awaymessage", iFlagAwayMessage, 746, 747, Help::Framed),
    TOGGLE("alert", iFlagBeep, 383, 384),
    TOGGLE("badword", iFlagBadWordSystem, 781, 782),
    TOGGLE("badwordmsg", iFlagBadWordMessage, 783, 784),
    TOGGLE("quibomsg", iFlagQuiboMessage, 385, 386, Help::Plain, nullptr, nullptr, refresh_output),
    {"clonecount", Rule::AbsoluteOrPass, &iMaxCloneCount, nullptr, 387, 388},
    TOGGLE("clonedetect", iFlagCloneDetect, 389, 390, Help::Plain, nullptr, nullptr, refresh_output),
    TOGGLE("cloneprint", iFlagPrintClone, 391, 392, Help::Plain, nullptr, nullptr, refresh_output),
    TOGGLE("color", iFlagColor, 393, 394, Help::Plain, nullptr, nullptr, refresh_output),
    TOGGLE("ctcp", iFlagCTCPAnswer, 395, 396),
    {"ctcptime", Rule::Interval, nullptr, &tCTCPFloodTimer, 397, 398},
    TOGGLE("currenttab", iFlagCurrentTab, 750, 753, Help::Framed),
    TOGGLE("debug", iFlagDebugMode, 399, 400, Help::Plain, nullptr, nullptr, after_debug),
    TOGGLE("dm", iFlagDomainMonitoring, 401, 0, Help::None, nullptr, nullptr, after_dm),
    TOGGLE("error", iFlagErrorMessage, 734, 735, Help::Framed),
    LEVEL("eventdebug", iFlagEventsManagerDebug, 790, 0, Help::None, nullptr, one_from_zero, after_eventdebug),
    LEVEL("filter", iFlagFilterSystem, 989, 990, Help::Plain, nullptr, one_from_zero),
    TOGGLE("ignoreprint", iFlagIgnoreMessage, 406, 407),
    TOGGLE("listprint", iFlagPrintList, 411, 412),
    TOGGLE("jm", iFlagNickJoinMonitoring, 404, 405),
    TOGGLE("log", iFlagLogFile, 413, 414, Help::Plain, nullptr, nullptr, after_log),
    TOGGLE("logadvanced", iFlagAdvancedLog, 805, 804, Help::Plain, "iFlagAdvancedLog"),
    {"maxchar", Rule::Absolute, &iMaxMessageChar, nullptr, 713, 712},
    {.keyword = "maxquery", .rule = Rule::Absolute, .number = &iMaxQueryMSGFlood, .seconds = nullptr,
     .set_message = 415, .help_message = 416, .before = enable_query_guard},
    {.keyword = "maxsent", .rule = Rule::Absolute, .number = &iMaxMessageSent, .seconds = nullptr,
     .set_message = 417, .help_message = 418, .normalise = keep_one_message},
    {"minsecond", Rule::Absolute, nullptr, &tMinSecondSent, 419, 420},
    TOGGLE("mmsg", iFlagMonitoringMessage, 743, 744),
    TOGGLE("mode", iFlagLocalUserModeChg, 421, 422),
    TOGGLE("nick", iFlagNickBeep, 423, 0, Help::None, nullptr, nullptr, after_nick),
    TOGGLE("pkallow", iPKAllowOnTimeout, 1096, 1093, Help::Plain, "iPKAllowOnTimeout"),
    LEVEL("pkmsg", iPrivateKillerMessage, 1025, 1026, Help::Plain, nullptr, two_from_low),
    LEVEL("pktime", iPrivateKillerAlert, 873, 874, Help::Plain, nullptr, eight_from_zero),
    TOGGLE("pkversion", iPKIgnoreCTCPVersion, 1088, 1089),
    TOGGLE("query", iFlagQueryBeep, 432, 433),
    TOGGLE("textfloodin", iFlagTextFloodIncoming, 795, 796),
    TOGGLE("textfloodout", iFlagTextFloodOutgoing, 434, 435),
    TOGGLE("textflooderr", iFlagTextFloodError, 755, 756, Help::Framed),
    TOGGLE("setaway", iFlagAwaySystem, 605, 606),
    {"soundtime", Rule::Interval, nullptr, &tSoundCommandTimer, 436, 437},
    TOGGLE("database", iFlagEnableDatabase, 244, 0, Help::None),
    TOGGLE("dbupdate", iFlagDisableDBUpdating, 738, 0, Help::None),
    TOGGLE("event", iFlagEnableEvent, 471, 0, Help::None, nullptr, nullptr, after_event),
    LEVEL("debugfnc", iFlagDebugModeFnc, 473, 0, Help::None, nullptr, one_from_zero, after_debugfnc),
    TOGGLE("keepcmdqueue", iFlagKeepQueueCommandCorrupted, 1042, 0, Help::None),
    TOGGLE("shbm", iFlagDisableSHBM, 1096, 0, Help::None, "iFlagDisableSHBM"),
};

#undef TOGGLE
#undef LEVEL

void store(const SettingKeyword& row, long value)
{
    if (row.number)
        *row.number = static_cast<int>(value);
    else
        *row.seconds = value;
}

long current(const SettingKeyword& row) { return row.number ? *row.number : static_cast<long>(*row.seconds); }

// Applies the row's rule; false when the command is not this keyword's to take.
// `changed` stays false when nothing is to be printed.
bool apply_rule(const SettingKeyword& row, const QuiboCommand& cmd, bool& changed)
{
    changed = true;
    if (row.before) row.before();
    switch (row.rule) {
    case Rule::Toggle: store(row, cmd.argument < 0 ? !current(row) : cmd.argument); return true;
    case Rule::Level:
        store(row, cmd.argument >= 0 ? argument_magnitude(cmd) : row.toggle(static_cast<int>(current(row))));
        return true;
    case Rule::AbsoluteOrPass:
        if (!cmd.has_arg(3)) return false;
        store(row, argument_magnitude(cmd));
        return true;
    case Rule::Absolute:
        changed = cmd.has_arg(3);
        if (changed) store(row, argument_magnitude(cmd));
        return true;
    case Rule::Interval: {
        if (!cmd.has_arg(3)) return false;
        long value = std::min<long>(strtol(cmd.arg(3), nullptr, 10), INT_MAX);
        changed = value >= 1;
        if (changed) store(row, value);
        return true;
    }
    }
    return false;
}

void print_help(const QuiboCommand& cmd, Help style, int message)
{
    if (style == Help::None) return;
    HostSession* where = cmd.where();
    if (style == Help::Framed) sPrintText(where, "%s", kSeparatorLine);
    PrintHelp(cmd.sess, GetMessage(message));
    if (style == Help::Framed) sPrintText(where, "%s", kSeparatorLine);
}

bool run_setting_keyword(QuiboCommand& cmd, const void* data)
{
    const auto& row = *static_cast<const SettingKeyword*>(data);
    bool changed = false;
    if (!apply_rule(row, cmd, changed)) return false;
    if (!changed) return true;
    if (row.normalise) row.normalise();
    const int value = static_cast<int>(current(row));
    if (row.shown_name)
        sPrintText(cmd.where(), GetMessage(row.set_message), row.shown_name, value);
    else
        sPrintText(cmd.where(), GetMessage(row.set_message), value);
    if (row.after) row.after(cmd);
    print_help(cmd, row.help, row.help_message);
    return true;
}

}  // namespace

void add_setting_keywords(std::vector<QuiboKeyword>& table)
{
    for (const SettingKeyword& row : kSettingKeywords) table.push_back({row.keyword, run_setting_keyword, &row});
}

std::span<const QuiboKeyword> setting_keywords()
{
    static const std::vector<QuiboKeyword> table = [] {
        std::vector<QuiboKeyword> rows;
        add_text_keywords(rows);
        add_setting_keywords(rows);
        add_settings_commands(rows);
        return rows;
    }();
    return table;
}
