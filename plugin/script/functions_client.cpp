// The built-in functions that read the client: servers, windows, user lists,
// the ignore list and preferences, all through the host binding's mirrors.
#include "script/function_handlers.h"

#include "host/host.h"

#include <algorithm>
#include <cctype>
#include <strings.h>

namespace quibo_functions {

namespace {

std::string trimmed(std::string text)
{
    text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

bool same_text(const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) == 0; }

// Nicknames under the IRC case rule ([]\~ are the capitals of {}|^).
char irc_lower(char c)
{
    switch (c) {
    case '[': return '{';
    case ']': return '}';
    case '\\': return '|';
    case '~': return '^';
    default: return static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
}

bool same_nick(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (irc_lower(a[i]) != irc_lower(b[i])) return false;
    return true;
}

// A server given by the user: its `servername` or its `hostname`.
bool is_named(const HostServer* serv, const std::string& name)
{
    return serv && (same_text(serv->servername, name) || same_text(serv->hostname, name));
}

// The session and server mirrors as the client has them now.
void refresh_sessions() { update_session(nullptr); }

// "[SERVER,]REST": the server part (empty when none) and the rest.
std::pair<std::string, std::string> server_and_rest(const std::string& text)
{
    const size_t comma = text.find(',');
    if (comma == std::string::npos) return {std::string(), trimmed(text)};
    return {trimmed(text.substr(0, comma)), trimmed(text.substr(comma + 1))};
}

// The first window named `name` (of `type`, any type for 0), on a server named `server` when one is given.
HostSession* find_window(const std::string& server, const std::string& name, int type)
{
    for (HostSession* sess : sess_list) {
        if (!sess || (type && sess->type != type) || !same_text(sess->channel, name)) continue;
        if (server.empty() || is_named(sess->server, server)) return sess;
    }
    return nullptr;
}

const char* const kYes = "1";
const char* const kNo = "0";

}  // namespace

std::string mode_letters(const HostUser& user, const HostServer* server)
{
    std::string letters;
    const char prefix = user.prefix.empty() ? '\0' : user.prefix[0];
    if (prefix) letters += prefix;
    if (prefix == '@') letters += 'o';
    if (prefix == '%') letters += 'h';
    if (prefix == '+') letters += 'v';
    if (server && same_nick(user.nick, server->nick)) letters += 'm';
    if (user.away) letters += 'a';
    if (user.selected) letters += 's';
    return letters;
}

bool passes_filter(std::string_view letters, std::string_view filter)
{
    bool selecting = false, selected = false;
    for (size_t i = 0; i < filter.size(); ++i) {
        if (filter[i] == '-') {
            if (i + 1 < filter.size() && letters.find(filter[++i]) != std::string_view::npos) return false;
            continue;
        }
        selecting = true;
        if (letters.find(filter[i]) != std::string_view::npos) selected = true;
    }
    return selected || !selecting;
}

Result _advanced_function__connected(const InertText& argument)
{
    const std::string name = trimmed(argument_text(argument));
    refresh_sessions();
    for (const HostServer* serv : serv_list)
        if (is_named(serv, name)) return std::string(kYes);
    return std::string(kNo);
}

// finduser( SERVER,NICK ): one walk of each user list of that server, until found.
Result _advanced_function__finduser(const InertText& argument)
{
    const std::vector<std::string> f = fields(argument_text(argument), 2);
    if (f.size() < 2) return std::nullopt;
    const std::string server = trimmed(f[0]), nick = trimmed(f[1]);
    refresh_sessions();
    for (HostSession* sess : sess_list)
        if (is_named(sess->server, server) && find_name(sess, nick.c_str())) return std::string(kYes);
    return std::string(kNo);
}

Result _advanced_function__ignore_mask(const InertText& argument)
{
    const std::string mask = trimmed(argument_text(argument));
    update_ignore(nullptr);
    for (const IgnoreEntry& entry : ignore_list)
        if (same_text(entry.mask, mask)) return std::string(kYes);
    return std::string(kNo);
}

Result _advanced_function__network(const InertText& argument)
{
    const std::string name = trimmed(argument_text(argument));
    refresh_sessions();
    for (const HostServer* serv : serv_list)
        if (same_text(serv->servername, name)) return serv->hostname;
    return std::string();
}

Result _advanced_function__server(const InertText& argument)
{
    const std::string host = trimmed(argument_text(argument));
    refresh_sessions();
    for (const HostServer* serv : serv_list)
        if (same_text(serv->hostname, host)) return serv->servername;
    return std::string();
}

Result _advanced_function__session(const InertText& argument)
{
    const auto [server, channel] = server_and_rest(argument_text(argument));
    refresh_sessions();
    return std::string(find_window(server, channel, 0) ? kYes : kNo);
}

// stat( [SERVER,]CHANNEL [FILTER] ): the users of that channel who pass the filter.
Result _advanced_function__stat(const InertText& argument)
{
    const auto [server, rest] = server_and_rest(argument_text(argument));
    const size_t space = rest.find(' ');
    const std::string channel = rest.substr(0, space);
    const std::string filter = space == std::string::npos ? std::string() : trimmed(rest.substr(space + 1));
    refresh_sessions();
    HostSession* sess = find_window(server, channel, 2);
    if (!sess) return std::nullopt;
    long long count = 0;
    for (const HostUser& user : zem_userlist_flat_list(sess))
        if (filter.empty() || passes_filter(mode_letters(user, sess->server), filter)) ++count;
    return std::to_string(count);
}

// tab( [s or n] ): the focused window's name, or its server's servername ("s") or hostname ("n").
Result _advanced_function__tab(const InertText& argument)
{
    const std::string which = trimmed(argument_text(argument));
    HostSession* focused = focus_session();
    if (!focused || focused->channel.empty()) return std::nullopt;
    if (which == "s") return focused->server ? focused->server->servername : std::string();
    if (which == "n") return focused->server ? focused->server->hostname : std::string();
    return focused->channel;
}

// xchatvar( NAME ): a client preference; an unknown name gives itself.
Result _advanced_function__xchatvar(const InertText& argument)
{
    const std::string name = trimmed(argument_text(argument));
    const char* text = nullptr;
    int integer = 0;
    switch (name.empty() ? 0 : xchat_get_var(name.c_str(), &text, &integer)) {
    case 1: return std::string(text ? text : "");
    case 2: return std::to_string(integer);
    case 3: return std::string(integer ? "ON" : "OFF");
    default: return name;
    }
}

}  // namespace quibo_functions
