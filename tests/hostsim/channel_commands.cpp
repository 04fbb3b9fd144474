// Channel, mode, CTCP and DCC commands as the client sends them.
#include "client_commands.h"
#include "lines.h"

#include <arpa/inet.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>

namespace hostsim {

namespace {

// MODE lines for a list of nicks or masks, as many per line as the server allows (send_channel_modes).
void send_channel_modes(Sim& sim, Context& ctx, char** word, int from, char sign, char mode)
{
    int count = 0;
    while (from + count < WordArrays::kSlots && *word[from + count]) ++count;
    int per_line = ctx.server->maxmodes < 1 ? 3 : ctx.server->maxmodes;
    for (int i = 0; i < count; i += per_line) {
        int n = std::min(per_line, count - i);
        std::string line = "MODE " + ctx.channel + " " + sign + std::string(static_cast<size_t>(n), mode);
        for (int j = 0; j < n; ++j) line += std::string(" ") + word[from + i + j];
        sim.send(*ctx.server, line);
    }
}

bool mode_command(Sim& sim, Context& ctx, char** word, char sign, char mode)
{
    if (!*word[2]) return false;
    send_channel_modes(sim, ctx, word, 2, sign, mode);
    return true;
}

void send_kick(Sim& sim, Context& ctx, const std::string& nick, const std::string& reason)
{
    sim.send(*ctx.server, "KICK " + ctx.channel + " " + nick + (reason.empty() ? "" : " :" + reason));
}

bool is_ip_number(const std::string& host)
{
    in_addr ignored{};
    return inet_aton(host.c_str(), &ignored) != 0;
}

// The client's ban mask for a user whose address it knows; empty when it knows none.
std::string ban_mask(const User& user, int bantype)
{
    size_t at = user.host.find('@');
    if (at == std::string::npos) return {};
    std::string ident = user.host.substr(0, at);
    std::string username;
    if (!ident.empty() && std::string_view("~+=^-").find(ident[0]) != std::string_view::npos) username = "*" + ident.substr(1);
    else if (ident.size() < 10) username = "*" + ident;
    else username = ident;
    std::string fullhost = user.host.substr(at + 1);
    size_t dot = fullhost.find('.');
    std::string domain = dot == std::string::npos ? fullhost : fullhost.substr(dot);
    if (is_ip_number(fullhost)) {
        std::string net = fullhost.substr(0, fullhost.rfind('.'));
        const std::string masks[] = {"*!*@" + net + ".*", "*!*@" + fullhost, "*!" + username + "@" + net + ".*",
                                     "*!" + username + "@" + fullhost};
        return bantype >= 0 && bantype < 4 ? masks[bantype] : std::string();
    }
    const std::string masks[] = {"*!*@*" + domain, "*!*@" + fullhost, "*!" + username + "@*" + domain,
                                 "*!" + username + "@" + fullhost};
    return bantype >= 0 && bantype < 4 ? masks[bantype] : std::string();
}

void ban(Sim& sim, Context& ctx, const std::string& mask, const std::string& bantype, bool deop)
{
    const User* user = ctx.find_user(mask);
    std::string line;
    if (user && !user->host.empty()) {
        int type = bantype.empty() ? sim.pref_int("irc_ban_type") : std::atoi(bantype.c_str());
        std::string built = ban_mask(*user, type);
        if (built.empty() && user->host.find('@') == std::string::npos) return;
        line = (deop ? "-o+b " + user->nick : std::string("+b")) + " " + built;
    } else {
        line = "+b " + mask;
    }
    sim.send(*ctx.server, "MODE " + ctx.channel + " " + line);
}

// ---- DCC

std::string file_part(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

constexpr uint32_t kLocalAddress = 0x7F000001;  // 127.0.0.1
constexpr int kFirstDccPort = 5000;

int next_dcc_port(Sim& sim) { return kFirstDccPort + static_cast<int>(sim.dccs().size()); }

void dcc_send(Sim& sim, Context& ctx, const std::string& nick, const std::string& path)
{
    struct stat st {};
    Dcc d;
    d.type = 0;
    d.nick = nick;
    d.file = path;
    d.size = stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_size) : 0;
    d.port = next_dcc_port(sim);
    d.address32 = kLocalAddress;
    sim.dccs().push_back(d);
    std::string name = file_part(path);
    bool blanks = name.find(' ') != std::string::npos;
    std::string shown = blanks ? "\"" + name + "\"" : name;
    sim.send(*ctx.server, "PRIVMSG " + nick + " :\001DCC SEND " + shown + " " + std::to_string(d.address32) + " " +
                              std::to_string(d.port) + " " + std::to_string(d.size) + "\001");
    sim.print_event(ctx, "DCC Offer", {name, nick, path});
}

void dcc_chat(Sim& sim, Context& ctx, const std::string& nick)
{
    Dcc d;
    d.type = 3;
    d.nick = nick;
    d.port = next_dcc_port(sim);
    d.address32 = kLocalAddress;
    sim.dccs().push_back(d);
    sim.send(*ctx.server, "PRIVMSG " + nick + " :\001DCC CHAT chat " + std::to_string(d.address32) + " " +
                              std::to_string(d.port) + "\001");
    sim.print_event(ctx, "DCC CHAT Offering", {nick});
}

// The transfer of that kind with that nick (and file, when given).
Dcc* find_dcc(Sim& sim, const std::string& nick, const std::string& file, int type)
{
    for (Dcc& d : sim.dccs())
        if (d.type == type && rfc_casecmp(d.nick, nick) == 0 && (file.empty() || file_part(d.file) == file_part(file)))
            return &d;
    return nullptr;
}

struct DccClose {
    const char* word;
    int types[2];
    const char* events[2];
};

const DccClose kDccCloses[] = {
    {"SEND", {0, 0}, {"DCC SEND Abort", "DCC SEND Abort"}},
    {"GET", {1, 1}, {"DCC RECV Abort", "DCC RECV Abort"}},
    {"CHAT", {2, 3}, {"DCC CHAT Abort", "DCC CHAT Abort"}},
};

bool dcc_close(Sim& sim, Context& ctx, char** word)
{
    if (!*word[3] || !*word[4]) return false;
    for (const DccClose& c : kDccCloses) {
        if (!iequals(c.word, word[3])) continue;
        std::string file = std::string_view(c.word) == "CHAT" ? std::string() : word[5];
        for (int i = 0; i < 2; ++i) {
            Dcc* d = find_dcc(sim, word[4], file, c.types[i]);
            if (!d) continue;
            sim.print_event(ctx, c.events[i], {d->nick, file_part(d->file)});
            sim.dccs().erase(sim.dccs().begin() + (d - sim.dccs().data()));
            return true;
        }
        sim.print_event(ctx, "No DCC", {});
        return true;
    }
    return false;
}

bool dcc_get(Sim& sim, Context& ctx, char** word)
{
    for (Dcc& d : sim.dccs()) {
        if (d.type != 1 || rfc_casecmp(d.nick, word[3]) != 0 || (*word[4] && file_part(d.file) != word[4])) continue;
        d.status = 4;  // connecting
        return true;
    }
    if (*word[4]) sim.print_event(ctx, "No DCC", {});
    return true;
}

}  // namespace

bool cmd_mode(Sim& sim, Context& ctx, char** word, char** word_eol)
{
    bool own_target = is_channel(*ctx.server, word[2]) || rfc_casecmp(ctx.server->nick, word[2]) == 0;
    if (*word[2] == '+' || !*word[2] || !own_target) {
        if (ctx.channel.empty()) return false;
        sim.send(*ctx.server, "MODE " + ctx.channel + " " + word_eol[2]);
    } else {
        sim.send(*ctx.server, std::string("MODE ") + word[2] + " " + word_eol[3]);
    }
    return true;
}

bool cmd_names(Sim& sim, Context& ctx, char** word, char**)
{
    sim.send(*ctx.server, "NAMES " + (*word[2] ? std::string(word[2]) : ctx.channel));
    return true;
}

bool cmd_kick(Sim& sim, Context& ctx, char** word, char** word_eol)
{
    if (!*word[2]) return false;
    send_kick(sim, ctx, word[2], word_eol[3]);
    return true;
}

bool cmd_kickban(Sim& sim, Context& ctx, char** word, char** word_eol)
{
    if (!*word[2]) return false;
    std::string nick = word[2];
    std::string reason = word_eol[3];
    const User* user = ctx.find_user(nick);
    bool op = user && user->prefixes.find('@') != std::string::npos;
    bool bantype = reason.size() == 1 && std::isdigit(static_cast<unsigned char>(reason[0]));
    ban(sim, ctx, nick, bantype ? reason : std::string(), op);
    send_kick(sim, ctx, nick, bantype ? std::string() : reason);
    return true;
}

bool cmd_cycle(Sim& sim, Context& ctx, char**, char**)
{
    if (ctx.channel.empty() || ctx.type != Context::Channel) return false;
    sim.send(*ctx.server, "PART " + ctx.channel);
    sim.send(*ctx.server, "JOIN " + ctx.channel + " " + ctx.channelkey);
    return true;
}

bool cmd_ban(Sim& sim, Context& ctx, char** word, char**)
{
    if (*word[2]) ban(sim, ctx, word[2], word[3], false);
    else sim.send(*ctx.server, "MODE " + ctx.channel + " +b");  // the ban list
    return true;
}

bool cmd_unban(Sim& sim, Context& ctx, char** word, char**) { return mode_command(sim, ctx, word, '-', 'b'); }
bool cmd_op(Sim& sim, Context& ctx, char** word, char**) { return mode_command(sim, ctx, word, '+', 'o'); }
bool cmd_deop(Sim& sim, Context& ctx, char** word, char**) { return mode_command(sim, ctx, word, '-', 'o'); }
bool cmd_voice(Sim& sim, Context& ctx, char** word, char**) { return mode_command(sim, ctx, word, '+', 'v'); }
bool cmd_devoice(Sim& sim, Context& ctx, char** word, char**) { return mode_command(sim, ctx, word, '-', 'v'); }
bool cmd_hop(Sim& sim, Context& ctx, char** word, char**) { return mode_command(sim, ctx, word, '+', 'h'); }
bool cmd_dehop(Sim& sim, Context& ctx, char** word, char**) { return mode_command(sim, ctx, word, '-', 'h'); }

bool cmd_nctcp(Sim& sim, Context& ctx, char** word, char** word_eol)
{
    if (!*word_eol[3]) return false;
    sim.send(*ctx.server, std::string("NOTICE ") + word[2] + " :\001" + word_eol[3] + "\001");
    return true;
}

bool cmd_dcc(Sim& sim, Context& ctx, char** word, char**)
{
    std::string_view type = word[2];
    if (type.empty() || iequals(type, "LIST")) {
        sim.print_event(ctx, "DCC Header", {});
        return true;
    }
    if (iequals(type, "CLOSE")) return dcc_close(sim, ctx, word);
    if (iequals(type, "GET")) return dcc_get(sim, ctx, word);
    if (iequals(type, "CHAT")) {
        if (*word[3]) dcc_chat(sim, ctx, word[3]);
        return true;
    }
    if (iequals(type, "SEND")) {
        if (!*word[3]) return false;
        for (int i = 4; i < WordArrays::kSlots && *word[i]; ++i) dcc_send(sim, ctx, word[3], word[i]);
        return true;
    }
    return false;
}

bool cmd_settext(Sim& sim, Context& ctx, char**, char** word_eol)
{
    sim.set_input(ctx, word_eol[2]);
    return true;
}

bool cmd_setcursor(Sim&, Context& ctx, char** word, char**)
{
    if (!*word[2]) return false;
    int size = static_cast<int>(ctx.inputbox.size());
    int delta = std::atoi(word[2]);
    bool relative = word[2][0] == '+' || word[2][0] == '-';
    int current = ctx.cursor < 0 ? size : ctx.cursor;
    int position = relative ? current + delta : delta;
    ctx.cursor = std::clamp(position, 0, size);
    return true;
}

}  // namespace hostsim
