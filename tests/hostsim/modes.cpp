// MODE lines as the client takes them: which modes use a parameter (the
// server's CHANMODES and PREFIX), the user's whole prefix set, and the print
// events, with +o, -o, +v and -v grouped as the client groups them.
#include "lines.h"

namespace hostsim {

namespace {

// The CHANMODES group of a mode: 0 list, 1 always a parameter, 2 a parameter when set, 3 never; -1 unknown.
int chanmode_type(const Server& s, char mode)
{
    int type = 0;
    for (char c : s.chanmodes) {
        if (c == ',') ++type;
        else if (c == mode) return type;
    }
    return -1;
}

bool takes_parameter(const Server& s, char sign, char mode)
{
    if (s.nickmodes.find(mode) != std::string::npos) return true;
    int type = chanmode_type(s, mode);
    return type == 0 || type == 1 || (type == 2 && sign == '+');
}

// q as a list mode (quiet) rather than the owner prefix.
bool quiet_is_list_mode(const Server& s) { return s.chanmodes.substr(0, s.chanmodes.find(',')).find('q') != std::string::npos; }

void update_prefixes(Server& s, Context& c, const std::string& nick, char sign, char mode)
{
    User* u = c.find_user(nick);
    size_t at = s.nickmodes.find(mode);
    if (!u || at >= s.nickprefixes.size()) return;
    char prefix = s.nickprefixes[at];
    std::string set = u->prefixes;
    if (sign == '+' && set.find(prefix) == std::string::npos) set += prefix;
    if (sign == '-') std::erase(set, prefix);
    u->prefixes = ordered_prefixes(s, set);
    u->prefix = u->prefixes.substr(0, 1);
}

struct Grouped {
    std::string op, deop, voice, devoice;
};

void add_to(std::string& group, const std::string& nick) { group += (group.empty() ? "" : " ") + nick; }

void print_grouped(Sim& sim, Context& c, const std::string& by, Grouped& g)
{
    const std::pair<std::string*, const char*> groups[] = {
        {&g.op, "Channel Operator"}, {&g.deop, "Channel DeOp"}, {&g.voice, "Channel Voice"}, {&g.devoice, "Channel DeVoice"}};
    for (const auto& [names, event] : groups) {
        if (names->empty()) continue;
        sim.print_event(c, event, {by, *names});
        names->clear();
    }
}

struct ModeEvent {
    char mode;
    const char* set;
    const char* unset;
};

// Modes with an event of their own (their parameter follows the nick).
const ModeEvent kModeEvents[] = {
    {'h', "Channel Half-Operator", "Channel DeHalfOp"}, {'b', "Channel Ban", "Channel UnBan"},
    {'e', "Channel Exempt", "Channel Remove Exempt"},  {'I', "Channel INVITE", "Channel Remove Invite"},
};

void single_mode(Sim& sim, Server& s, Context* c, const std::string& by, const std::string& target, char sign,
                 char mode, const std::string& arg, Grouped& g)
{
    if (!c) {  // a user mode, or a channel we are not in
        std::string where = arg.empty() ? target : target + " " + arg;
        sim.print_event(sim.front(s), "Channel Mode Generic", {by, std::string(1, sign), std::string(1, mode), where});
        return;
    }
    if (s.nickmodes.find(mode) != std::string::npos) update_prefixes(s, *c, arg, sign, mode);
    bool plus = sign == '+';
    if (mode == 'o') return add_to(plus ? g.op : g.deop, arg);
    if (mode == 'v') return add_to(plus ? g.voice : g.devoice, arg);
    if (mode == 'k') {
        c->channelkey = plus ? arg : std::string();
        if (plus) sim.print_event(*c, "Channel Set Key", {by, arg});
        else sim.print_event(*c, "Channel Remove Keyword", {by});
        return;
    }
    if (mode == 'l') {
        if (plus) sim.print_event(*c, "Channel Set Limit", {by, arg});
        else sim.print_event(*c, "Channel Remove Limit", {by});
        return;
    }
    if (mode == 'q' && quiet_is_list_mode(s)) {
        sim.print_event(*c, plus ? "Channel Quiet" : "Channel UnQuiet", {by, arg});
        return;
    }
    for (const ModeEvent& e : kModeEvents) {
        if (e.mode != mode) continue;
        sim.print_event(*c, plus ? e.set : e.unset, {by, arg});
        return;
    }
    std::string where = arg.empty() ? target : target + " " + arg;
    sim.print_event(*c, "Channel Mode Generic", {by, std::string(1, sign), std::string(1, mode), where});
}

}  // namespace

void on_mode(Sim& sim, Server& s, const Line& l)  // MODE <target> <modes> [parameters]
{
    const std::string& target = l.param(0);
    const std::string& modes = l.param(1);
    if (modes.empty()) return;
    Context* c = is_channel(s, target) ? channel_tab(sim, s, target) : nullptr;
    size_t parameters = l.params.size() > 2 ? l.params.size() - 2 : 0;
    size_t letters = 0;
    for (char m : modes) letters += m != '+' && m != '-';
    bool all_take_one = parameters == letters;  // the client's guess for modes it does not know

    Grouped g;
    char sign = '+';
    size_t next = 2;
    for (char m : modes) {
        if (m == '+' || m == '-') {
            if (c) print_grouped(sim, *c, l.nick, g);
            sign = m;
            continue;
        }
        std::string arg;
        if ((all_take_one || takes_parameter(s, sign, m)) && next < l.params.size()) arg = l.params[next++];
        single_mode(sim, s, c, l.nick, target, sign, m, arg, g);
    }
    if (c) print_grouped(sim, *c, l.nick, g);
}

}  // namespace hostsim
