// The client's reaction to server lines: parsing, membership, and the table of handlers.
#include "lines.h"

#include <algorithm>
#include <cctype>

namespace hostsim {

std::string Line::params_from(size_t i) const
{
    std::string out;
    for (size_t k = i; k < params.size(); ++k) out += (k > i ? " " : "") + params[k];
    return out;
}

Line parse_line(std::string_view raw)
{
    Line l;
    auto next_word = [&raw] {
        size_t end = raw.find(' ');
        std::string_view w = raw.substr(0, end);
        raw = end == std::string_view::npos ? std::string_view{} : raw.substr(end + 1);
        while (!raw.empty() && raw.front() == ' ') raw.remove_prefix(1);
        return std::string(w);
    };
    if (!raw.empty() && raw.front() == ':') {
        raw.remove_prefix(1);
        l.prefix = next_word();
        size_t bang = l.prefix.find('!');
        l.nick = l.prefix.substr(0, bang);
        if (bang != std::string::npos) l.userhost = l.prefix.substr(bang + 1);
    }
    l.command = next_word();
    l.tail = raw;
    size_t after_first = l.tail.find(' ');
    l.text = after_first == std::string::npos ? std::string() : l.tail.substr(after_first + 1);
    if (!l.text.empty() && l.text.front() == ':') l.text.erase(0, 1);
    while (!raw.empty()) {
        if (raw.front() == ':') {
            l.params.emplace_back(raw.substr(1));
            l.trailing = true;
            break;
        }
        l.params.push_back(next_word());
    }
    return l;
}

bool is_me(const Server& s, std::string_view nick) { return rfc_casecmp(s.nick, nick) == 0; }

bool is_channel(const Server& s, std::string_view name)
{
    return !name.empty() && s.chantypes.find(name[0]) != std::string::npos;
}

Context* channel_tab(Sim& sim, Server& s, std::string_view name)
{
    if (name.empty()) return nullptr;
    for (Context* c : sim.tabs())
        if (c->server == &s && c->type == Context::Channel && rfc_casecmp(c->channel, name) == 0) return c;
    return nullptr;
}

std::vector<Context*> channels_with(Sim& sim, Server& s, std::string_view nick)
{
    std::vector<Context*> out;
    for (Context* c : sim.tabs())
        if (c->server == &s && c->type == Context::Channel && c->find_user(nick)) out.push_back(c);
    return out;
}

void clear_channel(Context& c)
{
    if (!c.channel.empty()) c.waitchannel = c.channel;
    c.channel.clear();
    c.doing_who = false;
    c.users.clear();
    c.joined = false;
}

void server_text(Sim& sim, Server& s, const Line& l)
{
    const std::string& text = l.text;
    Context* where = is_channel(s, l.param(1)) ? channel_tab(sim, s, l.param(1)) : nullptr;
    sim.print_event(where ? *where : *s.tab, "Server Text", {text, l.prefix, l.command});
}

namespace {

// A tab for a channel we joined: one already on it, one waiting for it, an unused one, or a new one.
Context& tab_for_join(Sim& sim, Server& s, const std::string& name)
{
    if (Context* c = channel_tab(sim, s, name)) return *c;
    for (Context* c : sim.tabs())
        if (c->server == &s && c->type == Context::Channel && c->channel.empty() && rfc_casecmp(c->waitchannel, name) == 0)
            return *c;
    for (Context* c : sim.tabs())
        if (c->server == &s && c->type == Context::Channel && c->channel.empty() && c->waitchannel.empty()) return *c;
    Context& c = sim.channel(s, name);
    sim.focus_new_tab(c);
    return c;
}

void own_join(Sim& sim, Server& s, const Line& l, const std::string& name)
{
    Context& c = tab_for_join(sim, s, name);
    c.channel = name;
    c.joined = true;
    c.users.clear();
    c.waitchannel.clear();
    c.ignore_names = true;
    c.ignore_mode = true;
    c.end_of_names = false;
    sim.send(s, "MODE " + name);
    sim.print_event(c, "You Join", {l.nick, name, l.userhost});
    if (sim.pref_int("irc_who_join")) {
        sim.send(s, s.have_whox ? "WHO " + name + " %chtsunfra,152" : "WHO " + name);
        c.doing_who = true;
    }
}

void on_join(Sim& sim, Server& s, const Line& l)
{
    const std::string& name = l.param(0);
    if (is_me(s, l.nick)) {
        own_join(sim, s, l, name);
        return;
    }
    Context* c = channel_tab(sim, s, name);
    if (!c) return;
    sim.print_event(*c, "Join", {l.nick, name, l.userhost});
    User u;
    u.nick = l.nick;
    u.host = l.userhost;
    c->users.insert(std::move(u));
}

void on_part(Sim& sim, Server& s, const Line& l)
{
    const std::string& name = l.param(0);
    const std::string& reason = l.param(1);
    Context* c = channel_tab(sim, s, name);
    if (!c) return;
    bool me = l.nick == s.nick;  // the client compares exactly here
    std::string event = std::string(me ? "You Part" : "Part") + (reason.empty() ? "" : " with Reason");
    sim.print_event(*c, event, {me ? s.nick : l.nick, l.userhost, name, reason});
    if (me) clear_channel(*c);
    else c->users.erase(l.nick);
}

void on_quit(Sim& sim, Server& s, const Line& l)
{
    for (Context* c : sim.tabs()) {
        if (c->server != &s) continue;
        bool member = c->find_user(l.nick) != nullptr;
        bool dialog = c->type == Context::Dialog && rfc_casecmp(c->channel, l.nick) == 0;
        if (member || dialog) sim.print_event(*c, "Quit", {l.nick, l.param(0), l.userhost});
        if (member) c->users.erase(l.nick);
    }
}

void on_nick(Sim& sim, Server& s, const Line& l) { client_nick_change(sim, s, l.nick, l.param(0)); }

void on_kick(Sim& sim, Server& s, const Line& l)
{
    const std::string& name = l.param(0);
    const std::string& victim = l.param(1);
    Context* c = channel_tab(sim, s, name);
    if (!c || victim.empty()) return;
    if (victim == s.nick) {  // exact comparison, as the client
        sim.print_event(*c, "You Kicked", {s.nick, name, l.nick, l.param(2)});
        clear_channel(*c);
    } else {
        sim.print_event(*c, "Kick", {l.nick, victim, name, l.param(2)});
        c->users.erase(victim);
    }
}

void on_topic(Sim& sim, Server& s, const Line& l)
{
    Context* c = channel_tab(sim, s, l.param(0));
    if (!c) return;
    sim.print_event(*c, "Topic Change", {l.nick, l.param(1), c->channel});
    c->topic = l.param(1);
}

void on_ping(Sim& sim, Server& s, const Line& l) { sim.send(s, "PONG " + l.tail); }

void on_error(Sim& sim, Server& s, const Line& l) { sim.print_event(*s.tab, "Server Error", {l.param(0)}); }

struct LineRule {
    const char* command;
    LineHandler handle;
};

const LineRule kLineRules[] = {
    {"PING", on_ping},       {"ERROR", on_error},   {"JOIN", on_join},     {"PART", on_part},
    {"QUIT", on_quit},       {"NICK", on_nick},     {"KICK", on_kick},     {"PRIVMSG", on_privmsg},
    {"NOTICE", on_notice},   {"INVITE", on_invite}, {"TOPIC", on_topic},   {"MODE", on_mode},
};

bool is_numeric(std::string_view command)
{
    return command.size() == 3 && std::all_of(command.begin(), command.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void client_handle_line(Sim& sim, Server& server, std::string_view raw)
{
    Line l = parse_line(raw);
    if (is_numeric(l.command)) {
        if (!on_known_numeric(sim, server, l)) server_text(sim, server, l);
        return;
    }
    for (const LineRule& rule : kLineRules) {
        if (iequals(rule.command, l.command)) {
            rule.handle(sim, server, l);
            return;
        }
    }
}

void client_nick_change(Sim& sim, Server& s, const std::string& old_nick, const std::string& new_nick, bool quiet)
{
    bool me = is_me(s, old_nick);
    if (me) s.nick = new_nick;
    for (Context* c : sim.tabs()) {
        if (c->server != &s) continue;
        bool renamed = c->type == Context::Channel && c->users.rename(old_nick, new_nick);
        if (!quiet && (renamed || (me && c->type == Context::ServerTab)))
            sim.print_event(*c, me ? "Your Nick Changing" : "Change Nick", {old_nick, new_nick});
        if (c->type == Context::Dialog && rfc_casecmp(c->channel, old_nick) == 0) c->channel = new_nick;
    }
}

}  // namespace hostsim
