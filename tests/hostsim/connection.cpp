// A server connection's life as the client lives it: the login lines, the
// end of the connection, reconnecting and joining the open channels again.
#include "client_commands.h"
#include "lines.h"

namespace hostsim {

namespace {

// Channel tabs of the server remember their channel so that the next login joins it again.
void remember_channels(Sim& sim, Server& server)
{
    for (Context* c : sim.tabs()) {
        if (c->server != &server || c->type != Context::Channel) continue;
        if (!c->channel.empty()) c->willjoinchannel = c->channel;
        else if (!c->waitchannel.empty()) c->willjoinchannel = c->waitchannel;
    }
}

}  // namespace

void client_disconnect(Sim& sim, Server& server, bool send_quit, std::string_view error, std::string reason)
{
    if (!server.connected) {
        sim.client_print(*server.tab, "Not connected. Try /server <host> [<port>]\n");
        return;
    }
    if (send_quit) {
        if (reason.empty()) reason = sim.pref_text("irc_quit_reason");
        sim.send(server, reason.empty() ? std::string("QUIT") : "QUIT :" + reason);
    }
    server.connected = false;
    server.end_of_motd = false;
    for (Context* c : sim.tabs()) {
        if (c->server != &server) continue;
        sim.print_event(*c, "Disconnected", {std::string(error)});
        if (c->type == Context::Channel) clear_channel(*c);
    }
}

bool cmd_quit(Sim& sim, Context& ctx, char**, char** word_eol)
{
    client_disconnect(sim, *ctx.server, true, "", word_eol[2]);
    return true;
}

bool cmd_discon(Sim& sim, Context& ctx, char**, char**)
{
    client_disconnect(sim, *ctx.server, true, "");
    return true;
}

bool cmd_reconnect(Sim& sim, Context& ctx, char**, char**)
{
    Server& s = *ctx.server;
    remember_channels(sim, s);
    if (s.connected) client_disconnect(sim, s, true, "");
    s.connected = true;  // the socket is up; the login lines come from the server (Sim::login)
    s.end_of_motd = false;
    sim.send(s, "NICK " + sim.pref_text("irc_nick1"));
    sim.send(s, "USER " + sim.pref_text("irc_user_name") + " 0 * :" + sim.pref_text("irc_real_name"));
    return true;
}

void Sim::login(Server& server, const std::string& isupport)
{
    server.connected = true;
    server.end_of_motd = false;
    const std::string from = ":" + server.servername + " ";
    const std::string& nick = server.nick;
    const std::string lines[] = {
        "001 " + nick + " :Welcome to the Internet Relay Network " + nick,
        "002 " + nick + " :Your host is " + server.servername,
        "003 " + nick + " :This server has been started today",
        "004 " + nick + " " + server.servername + " ngircd-26 abBcCFiIoqrRswx abehiIklmMnoOPqQrRstvVz",
        "005 " + nick + " " + isupport + " :are supported on this server",
        "375 " + nick + " :- " + server.servername + " message of the day",
        "372 " + nick + " :- Welcome",
        "376 " + nick + " :End of MOTD command",
    };
    for (const std::string& line : lines) server_line(server, from + line);
}

void Sim::connection_lost(Server& server, std::string_view error)
{
    remember_channels(*this, server);
    client_disconnect(*this, server, false, error);
}

void Sim::names(Server& server, std::string_view channel, const std::vector<std::string>& names)
{
    constexpr size_t kNamesPerLine = 40;
    const std::string start = ":" + server.servername + " 353 " + server.nick + " = " + std::string(channel) + " :";
    for (size_t i = 0; i < names.size(); i += kNamesPerLine) {
        std::string line = start;
        for (size_t k = i; k < std::min(names.size(), i + kNamesPerLine); ++k) line += (k > i ? " " : "") + names[k];
        server_line(server, line);
    }
    server_line(server, ":" + server.servername + " 366 " + server.nick + " " + std::string(channel) + " :End of NAMES list");
}

// ---- the input box

void Sim::set_input(Context& ctx, std::string text)
{
    ctx.inputbox = std::move(text);
    ctx.cursor = static_cast<int>(ctx.inputbox.size());
}

void Sim::press_enter(Context& ctx)
{
    std::string text = std::move(ctx.inputbox);
    ctx.inputbox.clear();
    ctx.cursor = -1;
    type(ctx, text);
}

void Sim::run_key_presses()
{
    while (!key_presses_.empty()) {
        Context* ctx = key_presses_.front();
        key_presses_.erase(key_presses_.begin());
        if (ctx->open) press_enter(*ctx);
    }
}

}  // namespace hostsim
