// Messages, notices, invitations and CTCP requests from the network, with the
// client's ignore list applied as it applies it, and the DCC offers it records.
#include "lines.h"

#include <cctype>
#include <cstdlib>
#include <ctime>

namespace hostsim {

namespace {

bool mentions(std::string_view text, std::string_view nick)
{
    return !nick.empty() && rfc_lower(text).find(rfc_lower(nick)) != std::string::npos;
}

// find_session_from_nick: the dialog, else the front tab, the focused tab, or any tab the nick is in.
Context* session_of_nick(Sim& sim, Server& s, std::string_view nick)
{
    Context* dialog = sim.find_tab(s, nick);
    if (dialog && dialog->type == Context::Dialog) return dialog;
    Context& front = sim.front(s);
    if (front.find_user(nick)) return &front;
    Context* focused = sim.focused();
    if (focused && focused->server == &s && focused->find_user(nick)) return focused;
    std::vector<Context*> shared = channels_with(sim, s, nick);
    return shared.empty() ? nullptr : shared.front();
}

void channel_message(Sim& sim, Server& s, const Line& l, Context& c, const std::string& text)
{
    User* from = c.find_user(l.nick);
    if (from) from->lasttalk = sim.now();
    std::string mode = from ? from->prefix : "";
    bool hilight = mentions(text, s.nick);
    sim.print_event(c, hilight ? "Channel Msg Hilight" : "Channel Message", {l.nick, text, mode, ""});
}

void private_message(Sim& sim, Server& s, const Line& l, const std::string& text)
{
    Context* dialog = sim.find_tab(s, l.nick);
    if (dialog && dialog->type != Context::Dialog) dialog = nullptr;
    bool autodialog = sim.pref_int("gui_auto_open_dialog");
    if (dialog || autodialog) {
        if (!dialog) {
            dialog = &sim.dialog(s, l.nick);
            sim.focus_new_tab(*dialog);
        }
        dialog->topic = l.userhost;
        sim.print_event(*dialog, "Private Message to Dialog", {l.nick, text, ""});
        return;
    }
    Context* where = session_of_nick(sim, s, l.nick);
    if (where) {
        if (User* u = where->find_user(l.nick)) u->lasttalk = sim.now();
    }
    bool dialog_event = where && where->type == Context::Dialog;
    sim.print_event(where ? *where : sim.front(s), dialog_event ? "Private Message to Dialog" : "Private Message",
                    {l.nick, text, ""});
}

void action(Sim& sim, Server& s, const Line& l, const std::string& to, const std::string& text)
{
    if (is_channel(s, to)) {
        Context* c = channel_tab(sim, s, to);
        if (!c) return;
        User* from = c->find_user(l.nick);
        if (from) from->lasttalk = sim.now();
        std::string mode = from ? from->prefix : "";
        sim.print_event(*c, mentions(text, s.nick) ? "Channel Action Hilight" : "Channel Action", {l.nick, text, mode, ""});
        return;
    }
    Context* dialog = sim.find_tab(s, l.nick);
    if (dialog && dialog->type != Context::Dialog) dialog = nullptr;
    if (!dialog && sim.pref_int("gui_auto_open_dialog")) {
        dialog = &sim.dialog(s, l.nick);
        sim.focus_new_tab(*dialog);
    }
    if (dialog) {
        sim.print_event(*dialog, "Private Action to Dialog", {l.nick, text, ""});
        return;
    }
    Context* where = session_of_nick(sim, s, l.nick);
    sim.print_event(where ? *where : sim.front(s), "Private Action", {l.nick, text, ""});
}

// ---- CTCP

// The words of a CTCP body as the client splits a DCC request: quotes group words.
std::vector<std::string> quoted_words(std::string_view body)
{
    std::vector<std::string> out;
    std::string word;
    bool quote = false;
    for (char c : body) {
        if (c == '"') {
            quote = !quote;
        } else if (c == ' ' && !quote) {
            if (!word.empty()) out.push_back(std::move(word));
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) out.push_back(std::move(word));
    return out;
}

std::string dotted(uint32_t address)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 255) + "." +
           std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
}

void dcc_offer(Sim& sim, Server& s, const Line& l, std::string_view body)
{
    std::vector<std::string> w = quoted_words(body);  // DCC <type> <argument> <address> <port> [size]
    auto word = [&](size_t i) { return i < w.size() ? w[i] : std::string(); };
    Context& front = sim.front(s);
    Dcc d;
    d.nick = l.nick;
    d.address32 = static_cast<uint32_t>(std::strtoul(word(3).c_str(), nullptr, 10));
    d.port = std::atoi(word(4).c_str());
    d.status = 0;
    if (iequals(word(1), "SEND")) {
        d.type = 1;
        d.file = word(2);
        d.size = std::atoi(word(5).c_str());
        sim.dccs().push_back(d);
        sim.print_event(front, "DCC SEND Offer",
                        {l.nick, d.file, word(5), dotted(d.address32) + ":" + std::to_string(d.port)});
    } else if (iequals(word(1), "CHAT")) {
        d.type = 2;
        sim.dccs().push_back(d);
        sim.print_event(front, "DCC CHAT Offer", {l.nick});
    } else if (!iequals(word(1), "RESUME") && !iequals(word(1), "ACCEPT")) {
        sim.print_event(front, "DCC Generic Offer", {std::string(body.substr(std::min<size_t>(4, body.size()))), l.nick});
    }
}

// The client's default CTCP replies: a user command run in the tab, as typed.
struct CtcpReply {
    const char* name;
    const char* command;  // %s the asker, %t the time, %d the request's data
};

const CtcpReply kCtcpReplies[] = {
    {"TIME", "nctcp %s TIME %t"},
    {"PING", "nctcp %s PING %d"},
};

std::string client_time(time_t t)
{
    char buffer[32];
    struct tm tm {};
    localtime_r(&t, &tm);
    std::strftime(buffer, sizeof buffer, "%a %b %e %H:%M:%S", &tm);
    return buffer;
}

std::string fill_reply(const char* pattern, const std::string& nick, const std::string& data, time_t t)
{
    std::string out;
    for (const char* p = pattern; *p; ++p) {
        if (p[0] == '%' && (p[1] == 's' || p[1] == 't' || p[1] == 'd')) {
            out += p[1] == 's' ? nick : p[1] == 't' ? client_time(t) : data;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

bool ctcp_replies(Sim& sim, Context& where, const Line& l, std::string_view body)
{
    std::string_view name = body.substr(0, body.find(' '));
    std::string data = name.size() < body.size() ? std::string(body.substr(name.size() + 1)) : std::string();
    bool any = false;
    for (const CtcpReply& r : kCtcpReplies) {
        if (!iequals(r.name, name)) continue;
        sim.command(where, fill_reply(r.command, l.nick, data, sim.now()), Origin::Client);
        any = true;
    }
    return any;
}

void ctcp_generic(Sim& sim, Server& s, const std::string& to, const Line& l, const std::string& body)
{
    if (!is_channel(s, to)) {
        sim.print_event(sim.front(s), "CTCP Generic", {body, l.nick});
        return;
    }
    Context* c = channel_tab(sim, s, to);
    sim.print_event(c ? *c : sim.front(s), "CTCP Generic to Channel", {body, l.nick, to});
}

void ctcp(Sim& sim, Server& s, const Line& l, Context& line_tab, const std::string& to, const std::string& body)
{
    if (iequals(body.substr(0, 3), "DCC")) {
        if (!ignored(sim, l.prefix, IG_DCC)) dcc_offer(sim, s, l, body);
        return;
    }
    if (iequals(body.substr(0, 7), "ACTION ")) {
        if (!ignored(sim, l.prefix, is_channel(s, to) ? IG_CHAN : IG_PRIV)) action(sim, s, l, to, body.substr(7));
        return;
    }
    if (ignored(sim, l.prefix, IG_CTCP)) return;
    if (iequals(body, "VERSION") && !sim.pref_int("irc_hide_version"))
        sim.send(s, "NOTICE " + l.nick + " :\001" + sim.ctcp_version_reply() + "\001");
    ctcp_replies(sim, line_tab, l, body);
    ctcp_generic(sim, s, to, l, body);
}

Context& line_tab(Sim& sim, Server& s, const std::string& target)
{
    Context* c = is_channel(s, target) ? channel_tab(sim, s, target) : nullptr;
    return c ? *c : sim.front(s);
}

// A notice's window: its channel (also for @#chan, %#chan, +#chan), else where the sender is.
Context* notice_channel(Sim& sim, Server& s, std::string_view to)
{
    if (is_channel(s, to)) {
        if (Context* c = channel_tab(sim, s, to)) return c;
    }
    for (char status : {'@', '%', '+'}) {
        if (to.empty() || to.front() != status) continue;
        to.remove_prefix(1);
        if (Context* c = channel_tab(sim, s, to)) return c;
    }
    return nullptr;
}

}  // namespace

bool ignored(Sim& sim, std::string_view nick_user_host, int type)
{
    for (const Ignore& i : sim.ignores())
        if ((i.flags & IG_UNIG) && (i.flags & type) && wildcard_match(i.mask, nick_user_host)) return false;
    for (const Ignore& i : sim.ignores())
        if ((i.flags & type) && wildcard_match(i.mask, nick_user_host)) return true;
    return false;
}

void on_privmsg(Sim& sim, Server& s, const Line& l)
{
    const std::string& to = l.param(0);
    const std::string& text = l.param(1);
    if (to.empty()) return;
    if (text.size() >= 2 && text.front() == '\001' && text.back() == '\001') {
        ctcp(sim, s, l, line_tab(sim, s, to), to, text.substr(1, text.size() - 2));
        return;
    }
    if (is_channel(s, to)) {
        Context* c = channel_tab(sim, s, to);
        if (!ignored(sim, l.prefix, IG_CHAN) && c) channel_message(sim, s, l, *c, text);
        return;
    }
    if (!ignored(sim, l.prefix, IG_PRIV)) private_message(sim, s, l, text);
}

void on_notice(Sim& sim, Server& s, const Line& l)
{
    if (ignored(sim, l.prefix, IG_NOTI)) return;
    const std::string& to = l.param(0);
    std::string text = l.param(1);
    bool server_notice = l.userhost.empty();
    Context* c = notice_channel(sim, s, to);
    Context* where = c ? c : session_of_nick(sim, s, l.nick);
    if (!where) where = server_notice ? s.tab : &sim.front(s);
    if (!text.empty() && text.front() == '\001') {
        text.erase(0, 1);
        if (text.rfind("PING", 0) == 0) {
            sim.print_event(*where, "Ping Reply", {l.nick, text.size() > 5 ? text.substr(5, text.find('\001', 5) - 5) : ""});
            return;
        }
    }
    text = text.substr(0, text.find('\001'));
    if (server_notice) sim.print_event(*where, "Server Notice", {text, l.nick});
    else if (c) sim.print_event(*where, "Channel Notice", {l.nick, to, text});
    else sim.print_event(*where, "Notice", {l.nick, text});
}

void on_invite(Sim& sim, Server& s, const Line& l)
{
    if (ignored(sim, l.prefix, IG_INVI)) return;
    sim.print_event(sim.front(s), "Invited", {l.param(1), l.nick, s.servername});
}

}  // namespace hostsim
