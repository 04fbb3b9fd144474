// The client's reaction to server lines: its own state and the print events it emits.
#include "internal.h"

#include <algorithm>
#include <cctype>

namespace hostsim {

namespace {

struct Line {
    std::string nick;      // sender, from the prefix
    std::string userhost;  // user@host part of the prefix
    std::string prefix;
    std::string command;
    std::string tail;  // everything after the command word
    std::vector<std::string> params;

    const std::string& param(size_t i) const
    {
        static const std::string none;
        return i < params.size() ? params[i] : none;
    }
};

Line parse(std::string_view raw)
{
    Line l;
    auto next_word = [&raw] {
        size_t end = raw.find(' ');
        std::string_view w = raw.substr(0, end);
        raw = end == std::string_view::npos ? std::string_view{} : raw.substr(end + 1);
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
    while (!raw.empty()) {
        if (raw.front() == ':') {
            l.params.emplace_back(raw.substr(1));
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
    Context* c = sim.find_tab(s, name);
    return c && c->type == Context::Channel ? c : nullptr;
}

std::vector<Context*> channels_with(Sim& sim, Server& s, std::string_view nick)
{
    std::vector<Context*> out;
    for (Context* c : sim.tabs())
        if (c->server == &s && c->type == Context::Channel && c->find_user(nick)) out.push_back(c);
    return out;
}

bool mentions(std::string_view text, std::string_view nick)
{
    auto lower = [](std::string_view t) {
        std::string out(t);
        for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return out;
    };
    return !nick.empty() && lower(text).find(lower(nick)) != std::string::npos;
}

// ---- handlers, one per server message

void on_welcome(Sim& sim, Server& s, const Line& l)
{
    s.nick = l.param(0);
    if (!l.prefix.empty()) s.servername = l.prefix;
    s.tab->channel = s.servername;
    s.connected = true;
    sim.print_event(sim.front(s), "Server Text", {l.params.empty() ? "" : l.params.back()});
}

void on_ping(Sim& sim, Server& s, const Line& l) { sim.send(s, "PONG " + l.tail); }

void on_join(Sim& sim, Server& s, const Line& l)
{
    const std::string& name = l.param(0);
    if (is_me(s, l.nick)) {
        bool existed = channel_tab(sim, s, name) != nullptr;
        Context& c = sim.channel(s, name);
        c.users.clear();
        if (!existed) sim.focus_new_tab(c);
        sim.print_event(c, "You Join", {l.nick, name, l.userhost});
        return;
    }
    Context* c = channel_tab(sim, s, name);
    if (!c) return;
    sim.add_user(*c, l.nick, l.userhost);
    sim.print_event(*c, "Join", {l.nick, name, l.userhost});
}

void on_part(Sim& sim, Server& s, const Line& l)
{
    const std::string& name = l.param(0);
    const std::string& reason = l.param(1);
    Context* c = channel_tab(sim, s, name);
    if (!c) return;
    bool me = is_me(s, l.nick);
    if (me) {
        c->users.clear();
        c->joined = false;
    } else {
        sim.remove_user(*c, l.nick);
    }
    std::string event = std::string(me ? "You Part" : "Part") + (reason.empty() ? "" : " with Reason");
    sim.print_event(*c, event, {l.nick, l.userhost, name, reason});
}

void on_quit(Sim& sim, Server& s, const Line& l)
{
    for (Context* c : channels_with(sim, s, l.nick)) {
        sim.remove_user(*c, l.nick);
        sim.print_event(*c, "Quit", {l.nick, l.param(0), l.userhost});
    }
    Context* dialog = sim.find_tab(s, l.nick);
    if (dialog && dialog->type == Context::Dialog) sim.print_event(*dialog, "Quit", {l.nick, l.param(0), l.userhost});
}

void on_nick(Sim& sim, Server& s, const Line& l) { client_nick_change(sim, s, l.nick, l.param(0)); }

void on_kick(Sim& sim, Server& s, const Line& l)
{
    const std::string& name = l.param(0);
    const std::string& victim = l.param(1);
    Context* c = channel_tab(sim, s, name);
    if (!c) return;
    if (is_me(s, victim)) {
        c->users.clear();
        c->joined = false;
        sim.print_event(*c, "You Kicked", {victim, name, l.nick, l.param(2)});
    } else {
        sim.remove_user(*c, victim);
        sim.print_event(*c, "Kick", {l.nick, victim, name, l.param(2)});
    }
}

void on_names(Sim& sim, Server& s, const Line& l)  // 353 me = #channel :@op +voice user
{
    Context* c = channel_tab(sim, s, l.param(2));
    if (!c) return;
    std::string_view names = l.param(3);
    while (!names.empty()) {
        size_t end = names.find(' ');
        std::string_view name = names.substr(0, end);
        names = end == std::string_view::npos ? std::string_view{} : names.substr(end + 1);
        size_t first = name.find_first_not_of(s.nickprefixes);
        if (name.empty() || first == std::string_view::npos) continue;
        sim.add_user(*c, std::string(name.substr(first)), {}, std::string(name.substr(0, std::min<size_t>(first, 1))));
    }
}

void on_privmsg(Sim& sim, Server& s, const Line& l)
{
    const std::string& target = l.param(0);
    const std::string& text = l.param(1);
    bool ctcp = text.size() >= 2 && text.front() == '\001';
    std::string body = ctcp ? text.substr(1, text.size() - (text.back() == '\001' ? 2 : 1)) : text;
    bool action = ctcp && body.rfind("ACTION", 0) == 0;
    std::string acted = action && body.size() > 7 ? body.substr(7) : "";

    if (is_channel(s, target)) {
        Context* c = channel_tab(sim, s, target);
        if (!c) return;
        User* from = c->find_user(l.nick);
        if (from) from->lasttalk = sim.now();
        std::string mode = from ? from->prefix : "";
        bool hilight = mentions(action ? acted : text, s.nick);
        if (action) sim.print_event(*c, hilight ? "Channel Action Hilight" : "Channel Action", {l.nick, acted, mode});
        else if (ctcp) sim.print_event(sim.front(s), "CTCP Generic to Channel", {body, l.nick, target});
        else sim.print_event(*c, hilight ? "Channel Msg Hilight" : "Channel Message", {l.nick, text, mode, ""});
        return;
    }
    if (ctcp && !action) {
        sim.print_event(sim.front(s), "CTCP Generic", {body, l.nick});
        return;
    }
    Context* dialog = sim.find_tab(s, l.nick);
    if (dialog && dialog->type != Context::Dialog) dialog = nullptr;
    bool autodialog = sim.pref_int(sim.naming() == Naming::XChat ? "gui_auto_open_dialog" : "gui_autoopen_dialog");
    if (dialog || autodialog) {
        if (!dialog) {
            dialog = &sim.dialog(s, l.nick);
            sim.focus_new_tab(*dialog);
        }
        sim.print_event(*dialog, action ? "Private Action to Dialog" : "Private Message to Dialog",
                        {l.nick, action ? acted : text, ""});
        return;
    }
    std::vector<Context*> shared = channels_with(sim, s, l.nick);
    Context& where = shared.empty() ? sim.front(s) : *shared.front();
    sim.print_event(where, action ? "Private Action" : "Private Message", {l.nick, action ? acted : text, ""});
}

void on_notice(Sim& sim, Server& s, const Line& l)
{
    const std::string& target = l.param(0);
    const std::string& text = l.param(1);
    if (l.userhost.empty()) sim.print_event(sim.front(s), "Server Notice", {text, l.nick});
    else if (is_channel(s, target) && channel_tab(sim, s, target))
        sim.print_event(*channel_tab(sim, s, target), "Channel Notice", {l.nick, target, text});
    else sim.print_event(sim.front(s), "Notice", {l.nick, text});
}

void on_invite(Sim& sim, Server& s, const Line& l)
{
    sim.print_event(sim.front(s), "Invited", {l.param(1), l.nick, s.servername});
}

void on_topic(Sim& sim, Server& s, const Line& l)
{
    Context* c = channel_tab(sim, s, l.param(0));
    if (!c) return;
    c->topic = l.param(1);
    sim.print_event(*c, "Topic Change", {l.nick, c->topic, c->channel});
}

void on_topic_reply(Sim& sim, Server& s, const Line& l)  // 332 me #channel :topic
{
    Context* c = channel_tab(sim, s, l.param(1));
    if (!c) return;
    c->topic = l.param(2);
    sim.print_event(*c, "Topic", {c->channel, c->topic});
}

void on_inviting(Sim& sim, Server& s, const Line& l)  // 341 me nick #channel
{
    sim.print_event(sim.front(s), "Your Invitation", {l.param(1), l.param(2), s.servername});
}

void on_unaway(Sim& sim, Server& s, const Line& l)
{
    s.away = false;
    sim.print_event(sim.front(s), "Server Text", {l.param(1)});
}

void on_nowaway(Sim& sim, Server& s, const Line& l)
{
    s.away = true;
    sim.print_event(sim.front(s), "Server Text", {l.param(1)});
}

// Channel modes: user modes change prefixes; the others only use up their parameters.
void on_mode(Sim& sim, Server& s, const Line& l)
{
    Context* c = channel_tab(sim, s, l.param(0));
    if (!c) return;
    const std::string& modes = l.param(1);
    size_t arg = 2;
    bool adding = true;
    for (char m : modes) {
        if (m == '+' || m == '-') {
            adding = m == '+';
            continue;
        }
        size_t rank = s.nickmodes.find(m);
        if (rank != std::string::npos) {
            if (User* u = c->find_user(l.param(arg++)))
                u->prefix = adding ? std::string(1, s.nickprefixes[rank]) : std::string();
        } else if (std::string_view("beIk").find(m) != std::string_view::npos || (m == 'l' && adding)) {
            ++arg;
        }
    }
}

void on_numeric(Sim& sim, Server& s, const Line& l)
{
    std::string text;
    for (size_t i = 1; i < l.params.size(); ++i) text += (i > 1 ? " " : "") + l.params[i];
    sim.print_event(sim.front(s), "Server Text", {text});
}

using LineHandler = void (*)(Sim&, Server&, const Line&);

struct LineRule {
    const char* command;
    LineHandler handle;
};

const LineRule kLineRules[] = {
    {"001", on_welcome},     {"PING", on_ping},         {"JOIN", on_join},         {"PART", on_part},
    {"QUIT", on_quit},       {"NICK", on_nick},         {"KICK", on_kick},         {"353", on_names},
    {"PRIVMSG", on_privmsg}, {"NOTICE", on_notice},     {"INVITE", on_invite},     {"TOPIC", on_topic},
    {"332", on_topic_reply}, {"341", on_inviting},      {"305", on_unaway},        {"306", on_nowaway},
    {"MODE", on_mode},
};

bool is_numeric(std::string_view command)
{
    return command.size() == 3 && std::all_of(command.begin(), command.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void client_handle_line(Sim& sim, Server& server, std::string_view raw)
{
    Line l = parse(raw);
    for (const LineRule& rule : kLineRules) {
        if (iequals(rule.command, l.command)) {
            rule.handle(sim, server, l);
            return;
        }
    }
    if (is_numeric(l.command)) on_numeric(sim, server, l);
}

void client_nick_change(Sim& sim, Server& s, const std::string& old_nick, const std::string& new_nick)
{
    bool me = is_me(s, old_nick);
    if (me) s.nick = new_nick;
    std::vector<Context*> shown = channels_with(sim, s, old_nick);
    for (Context* c : shown) {
        c->find_user(old_nick)->nick = new_nick;
        sim.print_event(*c, me ? "Your Nick Changing" : "Change Nick", {old_nick, new_nick});
    }
    Context* dialog = sim.find_tab(s, old_nick);
    if (dialog && dialog->type == Context::Dialog) {
        dialog->channel = new_nick;
        sim.print_event(*dialog, "Change Nick", {old_nick, new_nick});
    }
    if (me && shown.empty()) sim.print_event(sim.front(s), "Your Nick Changing", {old_nick, new_nick});
}

}  // namespace hostsim
