// The client's handling of server lines, shared by the files that implement it.
#pragma once

#include "internal.h"

#include <string>
#include <vector>

namespace hostsim {

struct Line {
    std::string nick;      // sender, from the prefix
    std::string userhost;  // user@host part of the prefix
    std::string prefix;    // the whole prefix, without the colon
    std::string command;
    std::string tail;  // everything after the command word
    std::vector<std::string> params;
    bool trailing = false;  // the last parameter came after a colon
    std::string text;       // a numeric's text as shown: everything after our nick, one leading colon removed

    const std::string& param(size_t i) const
    {
        static const std::string none;
        return i < params.size() ? params[i] : none;
    }
    // Parameters i and on, joined by blanks (the last one without its colon).
    std::string params_from(size_t i) const;
};

Line parse_line(std::string_view raw);

bool is_me(const Server& s, std::string_view nick);
bool is_channel(const Server& s, std::string_view name);
Context* channel_tab(Sim& sim, Server& s, std::string_view name);  // the tab joined to that channel
std::vector<Context*> channels_with(Sim& sim, Server& s, std::string_view nick);
// The client's ignore_check: an UNIGNORE entry of that type wins, then any entry of that type.
bool ignored(Sim& sim, std::string_view nick_user_host, int type);
// "Server Text" in the channel named by the first parameter after our nick, else in the server tab.
void server_text(Sim& sim, Server& s, const Line& l);
// Clears a channel tab the client left: it keeps waiting for that channel under its old name.
void clear_channel(Context& c);

using LineHandler = void (*)(Sim&, Server&, const Line&);

// Handlers kept in files of their own.
void on_privmsg(Sim& sim, Server& s, const Line& l);
void on_notice(Sim& sim, Server& s, const Line& l);
void on_invite(Sim& sim, Server& s, const Line& l);
void on_mode(Sim& sim, Server& s, const Line& l);
// Numerics with a reaction of their own; false for the ones shown as plain server text.
bool on_known_numeric(Sim& sim, Server& s, const Line& l);

}  // namespace hostsim
