// The numeric replies the client reacts to beyond showing them: login, server
// features, WHO and NAMES replies that fill the user lists, and the MOTD's end.
#include "lines.h"

#include <cstdlib>

namespace hostsim {

namespace {

void on_welcome(Sim& sim, Server& s, const Line& l)
{
    client_nick_change(sim, s, s.nick, l.param(0), true);
    if (!l.prefix.empty()) s.servername = l.prefix;
    s.tab->channel = s.servername;
    s.connected = true;
    server_text(sim, s, l);
}

// One token of 005: NAME, NAME=value or -NAME.
void isupport_token(Sim& sim, Server& s, std::string_view token)
{
    bool adding = token.empty() || token.front() != '-';
    if (!adding) token.remove_prefix(1);
    size_t eq = token.find('=');
    std::string name(token.substr(0, eq));
    std::string value(eq == std::string_view::npos ? std::string_view{} : token.substr(eq + 1));
    if (name == "MODES") {
        s.maxmodes = std::atoi(value.c_str());
    } else if (name == "CHANTYPES") {
        s.chantypes = value;
    } else if (name == "CHANMODES") {
        s.chanmodes = value;
    } else if (name == "PREFIX") {
        size_t close = value.find(')');
        if (close != std::string::npos && value.front() == '(') {
            s.nickmodes = value.substr(1, close - 1);
            s.nickprefixes = value.substr(close + 1);
        }
    } else if (name == "NETWORK") {
        if (!value.empty()) s.tab->channel = value;
    } else if (name == "NAMESX") {
        sim.send(s, "PROTOCTL NAMESX");
    } else if (name == "WHOX") {
        s.have_whox = adding;
    }
}

void on_isupport(Sim& sim, Server& s, const Line& l)  // 005 me TOKEN TOKEN ... :are supported
{
    for (size_t i = 1; i < l.params.size(); ++i) {
        if (i + 1 == l.params.size() && l.trailing) break;
        isupport_token(sim, s, l.params[i]);
    }
    server_text(sim, s, l);
}

void set_own_away(Sim& sim, Server& s, bool away)
{
    s.away = away;
    for (Context* c : sim.tabs())
        if (c->server == &s)
            if (User* me = c->find_user(s.nick)) me->away = away;
}

void on_unaway(Sim& sim, Server& s, const Line& l)
{
    set_own_away(sim, s, false);
    server_text(sim, s, l);
}

void on_nowaway(Sim& sim, Server& s, const Line& l)
{
    set_own_away(sim, s, true);
    server_text(sim, s, l);
}

// What WHO told about a user in one channel (userlist_add_hostname): known values stay.
void user_info(Context& c, const std::string& nick, const std::string& userhost, const std::string& realname,
               const std::string& servername, int away)
{
    User* u = c.find_user(nick);
    if (!u) return;
    if (u->host.empty() && !userhost.empty()) u->host = userhost;
    if (u->realname.empty() && !realname.empty()) u->realname = realname;
    if (u->servername.empty() && !servername.empty()) u->servername = servername;
    if (away >= 0) u->away = away != 0;
}

void show_unless_own_who(Sim& sim, Server& s, const Line& l, const Context* who_tab)
{
    if (!who_tab || !who_tab->doing_who)
        sim.print_event(*s.tab, "Server Text", {l.text, l.prefix, l.command});
}

void on_who_reply(Sim& sim, Server& s, const Line& l)  // 352 me #chan user host server nick H|G[*@+] :hops realname
{
    Context* c = channel_tab(sim, s, l.param(1));
    const std::string& last = l.param(7);
    size_t blank = last.find(' ');
    std::string realname = blank == std::string::npos ? std::string() : last.substr(blank + 1);
    if (c) user_info(*c, l.param(5), l.param(2) + "@" + l.param(3), realname, l.param(4), l.param(6).rfind('G', 0) == 0);
    show_unless_own_who(sim, s, l, c);
}

// 354 me 152 #chan user host server nick flags account :realname  (WHO #chan %chtsunfra,152)
// 354 me 152 #chan nick flags                                       (WHO #chan %ctnf,152)
bool on_whox_reply(Sim& sim, Server& s, const Line& l)
{
    if (l.param(1) != "152") return false;
    Context* c = channel_tab(sim, s, l.param(2));
    bool full = l.params.size() >= 9;
    const std::string& nick = full ? l.param(6) : l.param(3);
    const std::string& flags = full ? l.param(7) : l.param(4);
    if (c) {
        std::string userhost = full ? l.param(3) + "@" + l.param(4) : std::string();
        user_info(*c, nick, userhost, full ? l.param(9) : std::string(), full ? l.param(5) : std::string(),
                  flags.rfind('G', 0) == 0);
    }
    show_unless_own_who(sim, s, l, c);
    return true;
}

void on_end_of_who(Sim& sim, Server& s, const Line& l)  // 315 me #chan :End of WHO list
{
    Context* c = channel_tab(sim, s, l.param(1));
    show_unless_own_who(sim, s, l, c);
    if (c) c->doing_who = false;
}

void add_listed_name(Server& s, Context& c, std::string_view name)
{
    size_t bang = name.find('!');
    std::string host = bang == std::string_view::npos ? std::string() : std::string(name.substr(bang + 1));
    name = name.substr(0, bang);
    size_t first = name.find_first_not_of(s.nickprefixes);
    if (first == std::string_view::npos) return;
    User u;
    u.nick = std::string(name.substr(first));
    u.host = std::move(host);
    u.prefixes = ordered_prefixes(s, name.substr(0, first));
    u.prefix = std::string(name.substr(0, std::min<size_t>(first, 1)));  // the client takes the first as the highest
    c.users.insert(std::move(u));  // a name listed twice keeps its first entry
}

void on_names(Sim& sim, Server& s, const Line& l)  // 353 me = #channel :@op +voice @+both user
{
    const std::string& name = l.param(2);
    const std::string& names = l.param(3);
    Context* c = channel_tab(sim, s, name);
    if (!c || !c->ignore_names) sim.print_event(c ? *c : *s.tab, "Users On Channel", {name, names});
    if (!c) return;
    if (c->end_of_names) {
        c->end_of_names = false;
        c->users.clear();
    }
    std::string_view rest = names;
    while (!rest.empty()) {
        size_t end = rest.find(' ');
        std::string_view one = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (!one.empty()) add_listed_name(s, *c, one);
    }
}

bool on_end_of_names(Sim& sim, Server& s, const Line& l)  // 366 me #channel :End of NAMES list
{
    const std::string& name = l.param(1);
    for (Context* c : sim.tabs()) {
        if (c->server != &s || c->type != Context::Channel) continue;
        if (name == "*" || (!c->channel.empty() && rfc_casecmp(c->channel, name) == 0)) {
            c->end_of_names = true;
            c->ignore_names = false;
            if (name != "*") return true;
        }
    }
    return name == "*";
}

void on_channel_modes(Sim& sim, Server& s, const Line& l)  // 324 me #chan +ntk key
{
    Context* c = channel_tab(sim, s, l.param(1));
    if (c && c->ignore_mode) c->ignore_mode = false;
    else sim.print_event(c ? *c : *s.tab, "Channel Modes", {l.param(1), l.params_from(2)});
}

void on_topic_reply(Sim& sim, Server& s, const Line& l)  // 332 me #channel :topic
{
    Context* c = channel_tab(sim, s, l.param(1));
    if (c) c->topic = l.param(2);
    sim.print_event(c ? *c : *s.tab, "Topic", {l.param(1), l.param(2)});
}

void on_inviting(Sim& sim, Server& s, const Line& l)  // 341 me nick #channel
{
    sim.print_event(sim.front(s), "Your Invitation", {l.param(1), l.param(2), s.servername});
}

void on_motd(Sim& sim, Server& s, const Line& l) { sim.print_event(*s.tab, "Motd", {l.text}); }

// The end of the login: channels that were open before a reconnect are joined again.
void on_end_of_motd(Sim& sim, Server& s, const Line& l)
{
    if (!s.end_of_motd) {
        for (Context* c : sim.tabs()) {
            if (c->server != &s || c->willjoinchannel.empty()) continue;
            c->waitchannel = c->willjoinchannel;
            c->willjoinchannel.clear();
            sim.send(s, "JOIN " + c->waitchannel + (c->channelkey.empty() ? "" : " " + c->channelkey));
        }
        s.end_of_motd = true;
    }
    on_motd(sim, s, l);
}

using NumericHandler = bool (*)(Sim&, Server&, const Line&);

template <LineHandler handler>
bool handled(Sim& sim, Server& s, const Line& l)
{
    handler(sim, s, l);
    return true;
}

struct NumericRule {
    const char* numeric;
    NumericHandler handle;
};

const NumericRule kNumerics[] = {
    {"001", handled<on_welcome>},       {"005", handled<on_isupport>},     {"305", handled<on_unaway>},
    {"306", handled<on_nowaway>},       {"315", handled<on_end_of_who>},   {"324", handled<on_channel_modes>},
    {"332", handled<on_topic_reply>},   {"341", handled<on_inviting>},     {"352", handled<on_who_reply>},
    {"353", handled<on_names>},         {"354", on_whox_reply},            {"366", on_end_of_names},
    {"372", handled<on_motd>},          {"375", handled<on_motd>},         {"376", handled<on_end_of_motd>},
    {"422", handled<on_end_of_motd>},
};

}  // namespace

bool on_known_numeric(Sim& sim, Server& s, const Line& l)
{
    for (const NumericRule& rule : kNumerics)
        if (l.command == rule.numeric) return rule.handle(sim, s, l);
    return false;
}

}  // namespace hostsim
