// A channel's user list, and the prefix order the server's PREFIX gives.
#include "internal.h"

namespace hostsim {

User* UserList::find(std::string_view nick)
{
    auto it = by_nick_.find(rfc_lower(nick));
    return it == by_nick_.end() ? nullptr : it->second.get();
}

const User* UserList::find(std::string_view nick) const { return const_cast<UserList*>(this)->find(nick); }

User& UserList::insert(User user)
{
    auto [it, added] = by_nick_.try_emplace(rfc_lower(user.nick));
    if (added) it->second = std::make_unique<User>(std::move(user));
    return *it->second;
}

bool UserList::erase(std::string_view nick) { return by_nick_.erase(rfc_lower(nick)) > 0; }

bool UserList::rename(std::string_view old_nick, const std::string& new_nick)
{
    auto node = by_nick_.extract(rfc_lower(old_nick));
    if (node.empty()) return false;
    node.mapped()->nick = new_nick;
    node.key() = rfc_lower(new_nick);
    by_nick_.insert(std::move(node));
    return true;
}

std::string ordered_prefixes(const Server& server, std::string_view prefixes)
{
    std::string out;
    for (char p : server.nickprefixes)
        if (prefixes.find(p) != std::string_view::npos) out += p;
    for (char p : prefixes)  // characters the server does not rank keep their place at the end
        if (server.nickprefixes.find(p) == std::string::npos && out.find(p) == std::string::npos) out += p;
    return out;
}

User* Context::find_user(std::string_view nick) { return users.find(nick); }

}  // namespace hostsim
