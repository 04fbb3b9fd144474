// The /EVENT command: the user's door to the sentinels.
#include "events/internal.h"

#include "host/host.h"
#include "host/lifecycle.h"
#include "host/trace.h"
#include "output/output.h"
#include "queue/queue.h"
#include "settings/command.h"
#include "settings/main_command.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "utilities.h"

#include <strings.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <span>

using namespace events_detail;

namespace {

// The words of one /EVENT line.
struct EventCommand {
    HostSession* sess;
    char** word;
    char** word_eol;

    const char* arg(int i) const { return i < kCommandWords && word[i] ? word[i] : ""; }
    const char* tail(int i) const { return i < kCommandWords && word_eol[i] ? word_eol[i] : ""; }
    bool dash(int i) const { return arg(i)[0] == '-'; }
    HostSession* out() const { return where(sess); }
    void echo(int i) const { sPrintText(out(), "\0033>>>\0034 %s", tail(i)); }
    void say(int number) const { sPrintText(out(), "%s", GetMessage(number)); }
    void line() const { separator(sess); }
};

// The absolute value of a typed number, held to the int range.
int typed_number(const char* text)
{
    long long value = std::llabs(strtoll(text, nullptr, 10));
    return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

enum class RecordUse { Add, Mod, Check };

// A record from four fields starting at word `first`; null after the message
// of the first missing field.
std::unique_ptr<Sentinel> record_from(const EventCommand& c, int first, RecordUse use, uint32_t hidden)
{
    const int echoed = use == RecordUse::Mod ? 4 : 3;
    const std::pair<const char*, int> fields[] = {
        {c.arg(first), 205}, {c.arg(first + 1), 91}, {c.arg(first + 2), 88}, {c.tail(first + 3), 84}};
    for (const auto& [text, missing] : fields)
        if (!*text) {
            c.echo(echoed);
            c.say(missing);
            return nullptr;
        }
    const char* repetitions = c.arg(first);
    const bool once = use != RecordUse::Check && repetitions[0] == '?';
    std::string command = c.tail(first + 3);
    if (use != RecordUse::Check) {
        ustrfindreplace(command, "$event_params", "$lu $ru $rhost $channel $server $data");
        ustrfindreplace(command, "^event_params", "$event_params");
    }
    return make_sentinel(once ? -1 : typed_number(repetitions), c.arg(first + 1), c.arg(first + 2), command, hidden);
}

// An identical sentinel exists: counts the attempt; too many in a row switch
// the events manager off for a minute. `drop_queue` empties what is queued.
void refuse_duplicate(const EventCommand& c, int echoed, void (*drop_queue)(HostSession*))
{
    ++uiAntiLoopInsert;
    if (uiAntiLoopInsert > 9) {
        c.echo(echoed);
        c.say(204);
        uiAntiLoopInsert = 0;
        iFlagEnableEvent = 0;
        drop_queue(c.sess);
        InsertCommandInQueue(c.sess, "/TIMER -refnum 2255 60 quibo event 1");
        c.line();
    } else if (uiAntiLoopInsert > 3) {
        c.line();
        c.echo(echoed);
        c.say(203);
        c.line();
    }
}

void flush_whole_queue(HostSession*) { FlushCommandInQueue(); }

int add(const EventCommand& c, uint32_t hidden)
{
    auto record = record_from(c, 3, RecordUse::Add, hidden);
    if (!record) return 1;
    if (FindSentinel(record.get(), 1) > 0) {
        refuse_duplicate(c, 3, flush_whole_queue);
        return 1;
    }
    const bool framed = c.arg(3)[0] != '?' && !hidden;
    if (framed) c.line();
    uiAntiLoopInsert = 0;
    const int result = AddSentinel(c.sess, record);
    if (result != 0) c.echo(3);
    if (framed) c.line();
    return result;
}

int cmd_add(const EventCommand& c) { return add(c, 0); }
int cmd_addh(const EventCommand& c) { return add(c, 1); }

int cmd_mod(const EventCommand& c)
{
    if (uiSentinelInList == 0) {
        c.echo(4);
        c.say(207);
        return 0;
    }
    const int number = typed_number(c.arg(3));
    if (number < 1 || static_cast<uint32_t>(number) > uiSentinelInList) {
        c.echo(4);
        sPrintText(c.out(), GetMessage(206), static_cast<int>(uiSentinelInList));
        return 1;
    }
    auto record = record_from(c, 4, RecordUse::Mod, 0);
    if (!record) return 1;
    if (FindSentinel(record.get(), 1) > 0) {
        refuse_duplicate(c, 4, EraseCommandForSession);
        return 1;
    }
    const bool framed = record->iRepetitions >= 0;
    if (framed) c.line();
    int result = 1;
    if (CheckSentinel(c.sess, record.get()) == 0) {
        uiAntiLoopInsert = 0;
        result = ModSentinel(c.sess, number, std::move(record));
    }
    if (result != 0) c.echo(4);
    if (framed) c.line();
    return result;
}

int cmd_chk(const EventCommand& c)
{
    auto record = record_from(c, 3, RecordUse::Check, 0);
    if (!record) return 1;
    c.line();
    if (CheckSentinel(c.sess, record.get()) == 0) c.say(210);
    c.line();
    return 0;
}

// The user sentinel named by word 3, or 0 after message 206.
int numbered(const EventCommand& c)
{
    const int number = typed_number(c.arg(3));
    if (number >= 1 && static_cast<uint32_t>(number) <= uiSentinelInList) return number;
    sPrintText(c.out(), GetMessage(206), static_cast<int>(uiSentinelInList));
    return 0;
}

template <typename Body>
int framed_unless_dash(const EventCommand& c, int dash_word, Body body)
{
    const bool framed = !c.dash(dash_word);
    if (framed) c.line();
    const int result = body();
    if (framed) c.line();
    return result;
}

int cmd_del(const EventCommand& c)
{
    if (uiSentinelInList == 0) {
        c.say(208);
        return 0;
    }
    const int number = numbered(c);
    if (!number) return 1;
    return framed_unless_dash(c, 4, [&] { return DelSentinel(c.sess, number, 0); });
}

int cmd_delh(const EventCommand& c) { return DelSentinel(c.sess, typed_number(c.arg(3)), 1); }

int cmd_lastdel(const EventCommand& c)
{
    if (uiSentinelInList == 0) {
        c.say(208);
        return 0;
    }
    return DelSentinel(c.sess, static_cast<int>(uiSentinelInList), 0);
}

int cmd_flush(const EventCommand& c) { return FlushSentinel(c.sess, c.arg(3)[0] == 'h' ? 1 : 0); }

int cmd_reset(const EventCommand& c)
{
    if (uiSentinelInList == 0) {
        c.say(721);
        return 0;
    }
    if (c.arg(3)[0] == '*')
        return framed_unless_dash(c, 4, [&] {
            for (int number = 1; static_cast<uint32_t>(number) <= uiSentinelInList; ++number)
                ResetSentinel(c.sess, number);
            return 0;
        });
    const int number = numbered(c);
    if (!number) return 1;
    return framed_unless_dash(c, 4, [&] { return ResetSentinel(c.sess, number); });
}

int cmd_list(const EventCommand& c)
{
    c.line();
    ListSentinel(c.sess, c.arg(3), c.dash(4), 0);
    c.line();
    return 0;
}

int cmd_listh(const EventCommand& c)
{
    return framed_unless_dash(c, 4, [&] { return ListSentinel(c.sess, c.arg(3), c.dash(4), 1); });
}

template <int (*Operation)(HostSession*, const char*)>
int file_operation(const EventCommand& c)
{
    const char* file = c.arg(3);
    if (!*file) return Operation(c.sess, nullptr);
    c.line();
    const int result = Operation(c.sess, file);
    c.line();
    return result;
}

// ---- raising an event by hand ------------------------------------------------

struct SessionValues {
    std::string lu, ru, channel, server, input;
    bool known = false;
};

SessionValues session_values(HostSession* sess)
{
    SessionValues v;
    if (!sess || !sess->server) {
        sPrintText(current_tab, "\0034OOPS, Internal Problem: I have detected anomalous situation; the plugin could "
                                "become unstable.");
        sPrintText(current_tab, "module: events : event_cmd()");
        return v;
    }
    v.known = true;
    v.lu = sess->server->nick;
    // The client's interface gives neither the last nick written to nor the input line.
    v.ru = v.lu;
    v.channel = sess->channel;
    v.server = sess->server->servername;
    return v;
}

std::string with_session_values(std::string text, const SessionValues& v)
{
    if (!v.known) return text;
    ustrfindreplace(text, "$lu", v.lu.c_str());
    ustrfindreplace(text, "$ru", v.ru.c_str());
    ustrfindreplace(text, "$rhost", "@");
    ustrfindreplace(text, "$channel", v.channel.c_str());
    ustrfindreplace(text, "$server", v.server.c_str());
    ustrfindreplace(text, "$data", v.input.c_str());
    return text;
}

int cmd_event(const EventCommand& c)
{
    if (uiAntiLoopInsert >= 3) {
        uiAntiLoopInsert = 0;
        return 0;
    }
    static constexpr int kMissing[] = {218, 217, 216, 215, 214, 213, 212};
    for (int i = 0; i < 7; ++i)
        if (!*c.arg(3 + i)) {
            c.echo(3);
            c.say(kMissing[i]);
            return 1;
        }
    auto probe = make_sentinel(0, c.arg(3), "*", "", 1);
    if (FindSentinel(probe.get(), 0) == 0) {
        c.echo(3);
        sPrintText(c.out(), GetMessage(211), c.arg(3));
        return 1;
    }
    const SessionValues session = session_values(c.sess);
    std::string values[6];
    for (int i = 0; i < 5; ++i) values[i] = with_session_values(c.arg(4 + i), session);
    values[5] = with_session_values(c.tail(9), session);
    if (psPreviousEventGenerated == c.tail(3)) {
        sFlagLockPreviousSentinel = 1;
    } else {
        sFlagLockPreviousSentinel = 0;
        psPreviousEventGenerated = c.tail(3);
    }
    VerifyEvent(c.sess, c.arg(3), values[0].c_str(), values[1].c_str(), values[2].c_str(), values[3].c_str(),
                values[4].c_str(), values[5].c_str());
    sFlagLockPreviousSentinel = 0;
    ExecCommandInQueue(1);
    return 0;
}

// ---- help ----------------------------------------------------------------------

struct HelpTopic {
    std::span<const char* const> names;
    std::span<const int> messages;  // pairs {first, last}
    bool separator_after = true;
};

constexpr const char* kAddNames[] = {"add"};
constexpr int kAddHelp[] = {113, 118, 119, 119};
constexpr const char* kModNames[] = {"mod"};
constexpr int kModHelp[] = {120, 122, 118, 118};
constexpr const char* kDelNames[] = {"del"};
constexpr int kDelHelp[] = {123, 125, 118, 118};
constexpr const char* kLastdelNames[] = {"lastdel"};
constexpr int kLastdelHelp[] = {126, 127, 118, 118};
constexpr const char* kFlushNames[] = {"flush"};
constexpr int kFlushHelp[] = {128, 130};
constexpr const char* kChkNames[] = {"chk"};
constexpr int kChkHelp[] = {131, 131, 114, 114, 132, 133};
constexpr const char* kResetNames[] = {"reset"};
constexpr int kResetHelp[] = {718, 718, 114, 114, 719, 720};
constexpr const char* kListNames[] = {"list"};
constexpr int kListHelp[] = {134, 135};
constexpr const char* kExampleNames[] = {"example", "esempi"};
constexpr int kExampleHelp[] = {139, 150, 729, 730, 151, 156, 773, 774, 811, 812, 157, 167};
constexpr const char* kEventNames[] = {"event"};
constexpr int kEventHelp[] = {168, 171, 869, 869, 172, 172};
constexpr const char* kSentinelNames[] = {"sentinels", "sentinel"};
constexpr int kSentinelHelp[] = {173, 179, 731, 731, 180, 182, 775, 775, 813, 813, 183, 186, 749, 749, 836, 836,
                                 1023, 1023, 723, 723, 187, 192, 803, 803, 193, 194, 766, 767, 807, 807, 732, 732,
                                 195, 198, 1052, 1052};
constexpr const char* kDccNames[] = {"dcc"};
constexpr int kDccHelp[] = {1053, 1085};

const HelpTopic kHelpTopics[] = {
    {kAddNames, kAddHelp},         {kModNames, kModHelp},         {kDelNames, kDelHelp},
    {kLastdelNames, kLastdelHelp}, {kFlushNames, kFlushHelp},     {kChkNames, kChkHelp},
    {kResetNames, kResetHelp},     {kListNames, kListHelp},       {kExampleNames, kExampleHelp},
    {kEventNames, kEventHelp},     {kSentinelNames, kSentinelHelp}, {kDccNames, kDccHelp, false},
};

constexpr const char* kSubCommandNames[] = {"add", "mod", "del", "lastdel", "flush", "chk",
                                            "reset", "list", "read", "save", "event"};

void print_ranges(const EventCommand& c, std::span<const int> ranges)
{
    for (size_t i = 0; i + 1 < ranges.size(); i += 2)
        for (int number = ranges[i]; number <= ranges[i + 1]; ++number) c.say(number);
}

bool file_help(const EventCommand& c, const char* topic)
{
    const std::string default_file = ".xchat2/quiboscript/quibo.snt";
    if (strcasecmp(topic, "read") == 0) {
        sPrintText(c.out(), GetMessage(136), default_file.c_str());
        c.say(771);
        c.say(137);
    } else if (strcasecmp(topic, "save") == 0) {
        sPrintText(c.out(), GetMessage(138), default_file.c_str());
        c.say(771);
    } else {
        return false;
    }
    c.line();
    return true;
}

int cmd_help(const EventCommand& c)
{
    c.line();
    c.say(112);
    const char* topic = c.arg(3);
    if (file_help(c, topic)) return 0;
    for (const HelpTopic& t : kHelpTopics)
        for (const char* name : t.names)
            if (strcasecmp(name, topic) == 0) {
                print_ranges(c, t.messages);
                if (t.separator_after) c.line();
                return 0;
            }
    c.say(835);
    print_keyword_rows(kSubCommandNames, static_cast<int>(std::size(kSubCommandNames)));
    for (int number = 199; number <= 202; ++number) c.say(number);
    c.line();
    return 0;
}

struct SubCommand {
    const char* name;
    int (*run)(const EventCommand&);
};

const SubCommand kSubCommands[] = {
    {"help", cmd_help},       {"add", cmd_add},       {"addh", cmd_addh},   {"mod", cmd_mod},
    {"chk", cmd_chk},         {"del", cmd_del},       {"delh", cmd_delh},   {"lastdel", cmd_lastdel},
    {"flush", cmd_flush},     {"reset", cmd_reset},   {"list", cmd_list},   {"listh", cmd_listh},
    {"read", file_operation<ReadSentinel>},           {"save", file_operation<SaveSentinel>},
    {"event", cmd_event},
};

}  // namespace

int event_cmd(HostSession* sess, int, char* word[], char* word_eol[])
{
    const EventCommand c{sess, word, word_eol};
    DebugPlugin(1, "BEGIN: event_cmd(%s)", c.tail(2));
    for (const SubCommand& sub : kSubCommands)
        if (strcasecmp(sub.name, c.arg(2)) == 0) {
            const int result = sub.run(c);
            DebugPlugin(1, "END: event_cmd() = %d", result);
            return result;
        }
    sPrintText(c.out(), GetMessage(808), c.arg(2));
    DebugPlugin(1, "END: event_cmd() = 1");
    return 1;
}
