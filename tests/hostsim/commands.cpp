// The client's own commands: what runs when no hook ate a command.
#include "client_commands.h"

#include <algorithm>
#include <cstdlib>

namespace hostsim {

namespace {

using Handler = bool (*)(Sim&, Context&, char** word, char** word_eol);  // false: print the usage

constexpr const char* kNotConnected = "Not connected. Try /server <host> [<port>]\n";
constexpr const char* kNoChannel = "No channel joined. Try /join #<channel>\n";
constexpr const char* kTimerHelp =
    "Usage: TIMER [-refnum <num>] [-repeat <num>] <seconds> <command>\n"
    "       TIMER [-quiet] -delete <num>";

bool is_channel(const Server& s, std::string_view name)
{
    return !name.empty() && s.chantypes.find(name[0]) != std::string::npos;
}

std::string own_prefix(Context& ctx)
{
    User* me = ctx.find_user(ctx.server->nick);
    return me ? me->prefix : std::string();
}

// ---- messages

bool cmd_say(Sim& sim, Context& ctx, char**, char** word_eol)
{
    if (!*word_eol[2]) return false;
    sim.say(ctx, word_eol[2], Origin::Client);
    return true;
}

bool cmd_msg(Sim& sim, Context& ctx, char** word, char** word_eol)
{
    std::string nick = word[2];
    std::string text = word_eol[3];
    if (nick.empty() || text.empty()) return false;
    if (!ctx.server->connected) {
        sim.client_print(ctx, kNotConnected);
        return true;
    }
    sim.send(*ctx.server, "PRIVMSG " + nick + " :" + text);
    Context* open = sim.find_tab(*ctx.server, nick);
    if (open && open->type != Context::ServerTab)
        sim.print_event(*open, "Your Message", {ctx.server->nick, text, own_prefix(*open), ""});
    else
        sim.print_event(ctx, "Message Send", {nick, text});
    return true;
}

bool cmd_me(Sim& sim, Context& ctx, char**, char** word_eol)
{
    std::string text = word_eol[2];
    if (text.empty()) return false;
    if (ctx.type == Context::ServerTab) {
        sim.client_print(ctx, kNoChannel);
        return true;
    }
    if (!ctx.server->connected) {
        sim.client_print(ctx, kNotConnected);
        return true;
    }
    sim.send(*ctx.server, "PRIVMSG " + ctx.channel + " :\001ACTION " + text + "\001");
    sim.print_event(ctx, "Your Action", {ctx.server->nick, text, own_prefix(ctx)});
    return true;
}

bool cmd_notice(Sim& sim, Context& ctx, char** word, char** word_eol)
{
    if (!*word[2] || !*word_eol[3]) return false;
    sim.send(*ctx.server, std::string("NOTICE ") + word[2] + " :" + word_eol[3]);
    sim.print_event(ctx, "Notice Send", {word[2], word_eol[3]});
    return true;
}

bool cmd_ctcp(Sim& sim, Context& ctx, char** word, char** word_eol)
{
    if (!*word[2] || !*word_eol[3]) return false;
    sim.send(*ctx.server, std::string("PRIVMSG ") + word[2] + " :\001" + word_eol[3] + "\001");
    sim.print_event(ctx, "CTCP Send", {word[2], word_eol[3]});
    return true;
}

bool cmd_quote(Sim& sim, Context& ctx, char** word, char** word_eol)
{
    if (!*word[2]) return false;
    sim.send(*ctx.server, word_eol[2]);
    return true;
}

// ---- channels and windows

bool cmd_join(Sim& sim, Context& ctx, char** word, char**)
{
    if (!*word[2]) return false;
    std::string line = std::string("JOIN ") + word[2];
    if (*word[3]) line += std::string(" ") + word[3];
    sim.send(*ctx.server, line);
    return true;
}

void send_part(Sim& sim, Server& server, const std::string& channel, std::string reason)
{
    if (reason.empty()) reason = sim.pref_text("irc_part_reason");
    sim.send(server, "PART " + channel + (reason.empty() ? "" : " :" + reason));
}

bool cmd_part(Sim& sim, Context& ctx, char** word, char** word_eol)
{
    std::string channel = *word[2] ? word[2] : ctx.channel;
    if (!is_channel(*ctx.server, channel)) return false;
    send_part(sim, *ctx.server, channel, word_eol[3]);
    return true;
}

bool cmd_close(Sim& sim, Context& ctx, char**, char** word_eol)
{
    if (ctx.type == Context::ServerTab && ctx.server->connected) client_disconnect(sim, *ctx.server, true, "", word_eol[2]);
    else if (ctx.type == Context::Channel && ctx.joined && ctx.server->connected)
        send_part(sim, *ctx.server, ctx.channel, word_eol[2]);
    sim.close(ctx);
    return true;
}

bool cmd_query(Sim& sim, Context& ctx, char** word, char**)
{
    bool focus = std::string_view(word[2]) != "-nofocus";
    std::string nick = focus ? word[2] : word[3];
    if (nick.empty() || is_channel(*ctx.server, nick)) return false;
    Context& dialog = sim.dialog(*ctx.server, nick);
    if (focus) sim.focus(dialog);
    return true;
}

bool cmd_newserver(Sim& sim, Context&, char** word, char**)
{
    bool noconnect = std::string_view(word[2]) == "-noconnect";
    std::string host = noconnect ? word[3] : word[2];
    Server& s = sim.add_server(host.empty() ? "<none>" : host, sim.pref_text("irc_nick1"));
    s.connected = false;
    sim.focus_new_tab(*s.tab);
    return true;
}

bool cmd_echo(Sim& sim, Context& ctx, char**, char** word_eol)
{
    sim.client_print(ctx, word_eol[2]);
    return true;
}

bool cmd_recv(Sim& sim, Context& ctx, char** word, char** word_eol)
{
    if (!*word[2]) return false;
    sim.server_line(*ctx.server, word_eol[2]);
    return true;
}

bool in_each(Sim& sim, const std::string& text, bool channels_only)
{
    for (Context* c : sim.tabs()) {
        bool wanted = channels_only ? c->type == Context::Channel : c->type == Context::ServerTab;
        if (wanted && c->server->connected) sim.command(*c, text, Origin::Client);
    }
    return true;
}

bool cmd_allchan(Sim& sim, Context&, char**, char** word_eol)
{
    return *word_eol[2] && in_each(sim, word_eol[2], true);
}

bool cmd_allserv(Sim& sim, Context&, char**, char** word_eol)
{
    return *word_eol[2] && in_each(sim, word_eol[2], false);
}

bool cmd_topic(Sim& sim, Context& ctx, char** word, char** word_eol)
{
    bool named = is_channel(*ctx.server, word[2]);
    std::string channel = named ? word[2] : ctx.channel;
    std::string text = named ? word_eol[3] : word_eol[2];
    sim.send(*ctx.server, "TOPIC " + channel + (text.empty() ? "" : " :" + text));
    return true;
}

bool cmd_invite(Sim& sim, Context& ctx, char** word, char**)
{
    if (!*word[2]) return false;
    std::string channel = *word[3] ? word[3] : ctx.channel;
    sim.send(*ctx.server, std::string("INVITE ") + word[2] + " " + channel);
    return true;
}

// ---- away

bool cmd_away(Sim& sim, Context& ctx, char**, char** word_eol)
{
    Server& s = *ctx.server;
    std::string reason = word_eol[2];
    if (reason.empty() && s.away) {
        sim.client_print(ctx, "Already marked away: " + s.away_reason + "\n");
        return false;
    }
    if (reason.empty()) reason = sim.pref_text("away_reason");
    sim.send(s, "AWAY :" + reason);
    s.away_reason = reason;
    return true;
}

bool cmd_back(Sim& sim, Context& ctx, char**, char**)
{
    if (ctx.server->away) sim.send(*ctx.server, "AWAY");
    else sim.client_print(ctx, "Already marked back.\n");
    return true;
}

// ---- nick

bool cmd_nick(Sim& sim, Context& ctx, char** word, char**)
{
    if (!*word[2]) return false;
    if (ctx.server->connected) sim.send(*ctx.server, std::string("NICK ") + word[2]);
    else client_nick_change(sim, *ctx.server, ctx.server->nick, word[2], true);
    return true;
}

// ---- ignore list

struct IgnoreWord {
    const char* word;
    int flags;
};

const IgnoreWord kIgnoreWords[] = {
    {"PRIV", IG_PRIV},     {"NOTI", IG_NOTI}, {"CHAN", IG_CHAN},     {"CTCP", IG_CTCP},
    {"INVI", IG_INVI},     {"DCC", IG_DCC},   {"NOSAVE", IG_NOSAVE}, {"UNIGNORE", IG_UNIG},
    {"ALL", IG_PRIV | IG_NOTI | IG_CHAN | IG_CTCP | IG_INVI | IG_DCC},
};

std::string full_mask(std::string_view mask)
{
    bool wild = mask.find_first_of("*?") != std::string_view::npos;
    return wild ? std::string(mask) : std::string(mask) + "!*@*";
}

void show_ignores(Sim& sim, Context& ctx)
{
    sim.print_event(ctx, "Ignore Header");
    if (sim.ignores().empty()) sim.print_event(ctx, "Ignorelist Empty");
    for (const Ignore& i : sim.ignores()) sim.client_print(ctx, " " + i.mask + " " + std::to_string(i.flags) + "\n");
    sim.print_event(ctx, "Ignore Footer");
}

bool cmd_ignore(Sim& sim, Context& ctx, char** word, char**)
{
    if (!*word[2]) {
        show_ignores(sim, ctx);
        return true;
    }
    int flags = 0;
    bool quiet = false;
    for (int i = 3; i < WordArrays::kSlots && *word[i]; ++i) {
        if (iequals(word[i], "QUIET")) {
            quiet = true;
            continue;
        }
        auto known = std::find_if(std::begin(kIgnoreWords), std::end(kIgnoreWords),
                                  [&](const IgnoreWord& w) { return iequals(w.word, word[i]); });
        if (known == std::end(kIgnoreWords)) sim.client_print(ctx, std::string("Unknown arg '") + word[i] + "' ignored.");
        else flags |= known->flags;
    }
    if (flags == 0) return false;
    std::string mask = full_mask(word[2]);
    Ignore* existing = sim.find_ignore(mask);
    if (existing) existing->flags = flags;
    else sim.ignores().insert(sim.ignores().begin(), Ignore{mask, flags});
    if (!quiet) sim.print_event(ctx, existing ? "Ignore Changed" : "Ignore Add", {mask});
    return true;
}

bool cmd_unignore(Sim& sim, Context& ctx, char** word, char**)
{
    if (!*word[2]) return false;
    std::string mask = full_mask(word[2]);
    auto& list = sim.ignores();
    auto it = std::find_if(list.begin(), list.end(), [&](const Ignore& i) { return rfc_casecmp(i.mask, mask) == 0; });
    if (it == list.end()) return true;
    list.erase(it);
    if (!iequals(word[3], "QUIET")) sim.print_event(ctx, "Ignore Remove", {mask});
    return true;
}

bool cmd_notify(Sim& sim, Context&, char** word, char**)
{
    if (*word[2]) sim.notifies().push_back(Notify{word[2]});
    return true;
}

// ---- client settings and plug-ins

bool cmd_set(Sim& sim, Context& ctx, char** word, char** word_eol)
{
    int i = 2;
    bool quiet = iequals(word[i], "-quiet");
    if (quiet) ++i;
    std::string name = word[i];
    std::string value = word_eol[i + 1];
    if (name.empty()) return true;
    const char* old_text = nullptr;
    int old_value = 0;
    int type = sim.get_pref(name, &old_text, &old_value);
    if (type == 0) {
        sim.client_print(ctx, "No such variable.\n");
        return true;
    }
    std::string old = type == 1 ? old_text : std::to_string(old_value);
    if (value.empty()) {
        sim.client_print(ctx, name + " = " + old + "\n");
        return true;
    }
    if (type == 1) sim.set_pref(name, value);
    else sim.set_pref(name, iequals(value, "ON") ? 1 : iequals(value, "OFF") ? 0 : std::atoi(value.c_str()));
    if (!quiet) sim.client_print(ctx, name + " set to: " + value + " (was: " + old + ")\n");
    return true;
}

bool cmd_unload(Sim& sim, Context& ctx, char** word, char**)
{
    if (!*word[2]) return false;
    for (const auto& lib : sim.loaded()) {
        std::string file = lib->path.substr(lib->path.rfind('/') + 1);
        if (lib->loaded && (iequals(word[2], file) || iequals(word[2], lib->path) || iequals(word[2], lib->name))) {
            sim.unload(*lib);
            return true;
        }
    }
    sim.client_print(ctx, "No such plugin found.\n");
    return true;
}

// ---- TIMER, as the client's timer plug-in parses it

void list_timers(Sim& sim, Context& ctx)
{
    if (sim.timers().empty()) {
        sim.client_print(ctx, "No timers installed.\n");
        sim.client_print(ctx, kTimerHelp);
        return;
    }
    sim.client_print(ctx, "\026 Ref#  Seconds  Repeat  Command \026\n");
    for (const ClientTimer& t : sim.timers())
        sim.client_print(ctx, std::to_string(t.ref) + " " + std::to_string(t.timeout_ms / 1000) + " " +
                                  std::to_string(t.repeat) + "  " + t.command + "\n");
}

bool cmd_timer(Sim& sim, Context& ctx, char** word, char** word_eol)
{
    if (!*word[2]) {
        list_timers(sim, ctx);
        return true;
    }
    int offset = 0;
    bool quiet = iequals(word[2], "-quiet");
    if (quiet) ++offset;
    if (iequals(word[2 + offset], "-delete")) {
        int ref = std::atoi(word[3 + offset]);
        bool deleted = sim.delete_timer(ref);
        if (!quiet) sim.client_print(ctx, deleted ? "Timer " + std::to_string(ref) + " deleted.\n" : "No such ref number found.\n");
        return true;
    }
    int ref = 0;
    int repeat = 1;
    if (iequals(word[2 + offset], "-refnum")) {
        ref = std::atoi(word[3 + offset]);
        offset += 2;
    }
    if (iequals(word[2 + offset], "-repeat")) {
        repeat = std::atoi(word[3 + offset]);
        offset += 2;
    }
    double timeout = std::strtod(word[2 + offset], nullptr);
    std::string command = word_eol[3 + offset];
    if (timeout < 0.1 || timeout * 1000 > 2147483647.0 || command.empty())
        sim.client_print(ctx, kTimerHelp);
    else
        sim.add_timer(ctx, ref, static_cast<int>(timeout) * 1000, repeat, command);  // whole seconds, as the client
    return true;
}

struct ClientCommand {
    const char* name;
    bool needserver;
    bool needchannel;
    bool handle_quotes;
    Handler run;  // null: the client's work is not simulated; reaching it is what counts
};

// The client's command table (XChat 2.8 flags), plus TIMER from its timer plug-in.
const ClientCommand kCommands[] = {
    {"ADDBUTTON", false, false, true, nullptr}, {"ALLCHAN", false, false, true, cmd_allchan},
    {"ALLSERV", false, false, true, cmd_allserv}, {"AWAY", true, false, true, cmd_away},
    {"BACK", true, false, true, cmd_back},       {"BAN", true, true, true, cmd_ban},
    {"CHARSET", false, false, true, nullptr},    {"CLEAR", false, false, true, nullptr},
    {"CLOSE", false, false, true, cmd_close},    {"COUNTRY", false, false, true, nullptr},
    {"CTCP", true, false, true, cmd_ctcp},       {"CYCLE", true, true, true, cmd_cycle},
    {"DCC", false, false, true, cmd_dcc},        {"DEBUG", false, false, true, nullptr},
    {"DEHOP", true, true, true, cmd_dehop},      {"DELBUTTON", false, false, true, nullptr},
    {"DEOP", true, true, true, cmd_deop},        {"DEVOICE", true, true, true, cmd_devoice},
    {"DISCON", false, false, true, cmd_discon},    {"DNS", false, false, true, nullptr},
    {"ECHO", false, false, true, cmd_echo},      {"EXEC", false, false, true, nullptr},
    {"EXECCONT", false, false, true, nullptr},   {"EXECKILL", false, false, true, nullptr},
    {"EXECSTOP", false, false, true, nullptr},   {"EXECWRITE", false, false, true, nullptr},
    {"FLUSHQ", false, false, true, nullptr},     {"GATE", false, false, true, nullptr},
    {"GETINT", false, false, true, nullptr},     {"GETSTR", false, false, true, nullptr},
    {"HELP", false, false, true, nullptr},       {"HOP", true, true, true, cmd_hop},
    {"ID", true, false, true, nullptr},          {"IGNORE", false, false, true, cmd_ignore},
    {"INVITE", true, false, true, cmd_invite},   {"JOIN", true, false, false, cmd_join},
    {"KICK", true, true, true, cmd_kick},        {"KICKBAN", true, true, true, cmd_kickban},
    {"LAGCHECK", false, false, true, nullptr},   {"LASTLOG", false, false, true, nullptr},
    {"LIST", true, false, true, nullptr},        {"LOAD", false, false, true, nullptr},
    {"MDEHOP", true, true, true, nullptr},       {"MDEOP", true, true, true, nullptr},
    {"ME", false, false, true, cmd_me},          {"MKICK", true, true, true, nullptr},
    {"MODE", true, false, true, cmd_mode},        {"MSG", false, false, true, cmd_msg},
    {"NAMES", true, false, true, cmd_names},       {"NCTCP", true, false, true, cmd_nctcp},
    {"NEWSERVER", false, false, true, cmd_newserver}, {"NICK", false, false, true, cmd_nick},
    {"NOTICE", true, false, true, cmd_notice},   {"NOTIFY", false, false, true, cmd_notify},
    {"OP", true, true, true, cmd_op},            {"PART", true, true, true, cmd_part},
    {"PING", true, false, true, nullptr},        {"QUERY", false, false, true, cmd_query},
    {"QUIT", false, false, true, cmd_quit},      {"QUOTE", true, false, true, cmd_quote},
    {"RECONNECT", false, false, true, cmd_reconnect},  {"RECV", true, false, true, cmd_recv},
    {"SAY", false, false, true, cmd_say},        {"SERVCHAN", false, false, true, nullptr},
    {"SERVER", false, false, true, nullptr},     {"SET", false, false, true, cmd_set},
    {"SETCURSOR", false, false, true, cmd_setcursor}, {"SETTEXT", false, false, true, cmd_settext},
    {"SETTAB", false, false, true, nullptr},     {"TIMER", false, false, true, cmd_timer},
    {"TOPIC", true, true, true, cmd_topic},      {"UNBAN", true, true, true, cmd_unban},
    {"UNIGNORE", false, false, true, cmd_unignore}, {"UNLOAD", false, false, true, cmd_unload},
    {"USERLIST", true, true, true, nullptr},     {"VOICE", true, true, true, cmd_voice},
    {"WALLCHAN", true, true, true, nullptr},     {"WALLCHOP", true, true, true, nullptr},
};

// User commands from the client's default list; &N is word_eol[N], %N word[N].
struct UserCommand {
    const char* name;
    const char* expansion;
};

const UserCommand kUserCommands[] = {
    {"RAW", "quote &2"}, {"J", "join &2"},     {"LEAVE", "part &2"},  {"EXIT", "quit"},
    {"M", "msg &2"},     {"DIALOG", "query %2"}, {"ACTION", "me &2"},
};

const ClientCommand* find_command(std::string_view name)
{
    for (const ClientCommand& c : kCommands)
        if (iequals(c.name, name)) return &c;
    return nullptr;
}

const UserCommand* find_user_command(std::string_view name)
{
    for (const UserCommand& c : kUserCommands)
        if (iequals(c.name, name)) return &c;
    return nullptr;
}

// Fills in a user command; false when it refers to a word that is not there.
bool expand(const char* expansion, char** word, char** word_eol, std::string& out)
{
    for (const char* p = expansion; *p; ++p) {
        if ((p[0] == '&' || p[0] == '%') && p[1] >= '1' && p[1] <= '9') {
            int n = p[1] - '0';
            if (!*word[n]) return false;
            out += p[0] == '&' ? word_eol[n] : word[n];
            ++p;
        } else {
            out += *p;
        }
    }
    return true;
}

}  // namespace

bool command_handles_quotes(std::string_view name)
{
    const ClientCommand* c = find_command(name);
    return !c || c->handle_quotes;
}

bool client_handle_command(Sim& sim, Context& ctx, WordArrays& words)
{
    char** word = words.word();
    char** word_eol = words.word_eol();
    if (const UserCommand* user = find_user_command(word[1])) {
        std::string expanded;
        if (expand(user->expansion, word, word_eol, expanded)) sim.command(ctx, expanded, Origin::Client);
        else sim.client_print(ctx, "Bad arguments for user command.\n");
        return true;
    }
    const ClientCommand* c = find_command(word[1]);
    if (!c) return false;
    if (c->needserver && !ctx.server->connected) sim.client_print(ctx, kNotConnected);
    else if (c->needchannel && ctx.channel.empty()) sim.client_print(ctx, kNoChannel);
    else if (c->run && !c->run(sim, ctx, word, word_eol)) sim.client_print(ctx, std::string("Usage: ") + c->name + "\n");
    return true;
}

void Sim::say(Context& ctx, std::string_view text, Origin origin)
{
    size_t record = commands_.size();
    commands_.push_back({&ctx, std::string(text), {}, origin});
    WordArrays words(text, true, false);
    // Text that is not a command is offered to hooks on the empty command name.
    bool eaten = run_hooks(HookKind::Command, "", &ctx, words.word(), words.word_eol());
    if (record < commands_.size()) commands_[record].eaten = eaten;
    if (eaten || !ctx.open) return;
    if (record < commands_.size()) commands_[record].reached_client = true;
    if (ctx.type == Context::ServerTab || ctx.channel.empty()) {
        client_print(ctx, kNoChannel);
        return;
    }
    if (!ctx.server->connected) {
        client_print(ctx, kNotConnected);
        return;
    }
    std::string line(text);
    print_event(ctx, "Your Message", {ctx.server->nick, line, own_prefix(ctx), ""});
    send(*ctx.server, "PRIVMSG " + ctx.channel + " :" + line);
}

}  // namespace hostsim
