// User properties: a nickname followed by ".hostname", ".say" and the like
// becomes that user's data, from the client's user lists or the user database.
#include "script/internal.h"

#include "handlers/handlers.h"
#include "host/host.h"
#include "output/output.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <array>
#include <cctype>

namespace {

// What a property needs: the client's entry, the database record, or either.
enum class Source { ClientOrDatabase, Client, Database, Existence };

struct Found {
    std::optional<HostUser> client;
    const ChatUser* record = nullptr;
};

using Reader = std::string (*)(const Found&);

struct Property {
    const char* name;    // with its "."
    const char* marker;  // kPropertyMarkerOpen "-" NAME kNameMarkerEnd
    Source source;
    Reader value;
};

std::string number(long long value) { return std::to_string(value); }

const std::array<Property, 13> kProperties{{
    {".hostname", "\x08-HOSTNAME\x02", Source::ClientOrDatabase,
     [](const Found& f) { return f.client && !f.client->address.empty() ? f.client->address
                                                                         : or_empty(f.record ? f.record->psAddress() : nullptr); }},
    {".realname", "\x08-REALNAME\x02", Source::ClientOrDatabase,
     [](const Found& f) { return f.client && !f.client->realname.empty() ? f.client->realname
                                                                          : or_empty(f.record ? f.record->psInfo() : nullptr); }},
    // The client's user list as the plug-in reads it gives neither the server
    // nor the time of the last message: those come from the database.
    {".servername", "\x08-SERVERNAME\x02", Source::ClientOrDatabase,
     [](const Found& f) { return or_empty(f.record ? f.record->psServer() : nullptr); }},
    {".lasttalk", "\x08-LASTTALK\x02", Source::ClientOrDatabase,
     [](const Found& f) { return f.record ? number(f.record->tLastMessage) : std::string(); }},
    {".mode", "\x08-MODE\x02", Source::Client,
     [](const Found& f) { return f.client ? f.client->prefix.substr(0, 1) : std::string(); }},
    {".away", "\x08-AWAY\x02", Source::Client, [](const Found& f) { return std::string(f.client && f.client->away ? "1" : "0"); }},
    {".say", "\x08-SAY\x02", Source::Database, [](const Found& f) { return or_empty(f.record->psLastMessage()); }},
    {".state", "\x08-STATE\x02", Source::Database, [](const Found& f) { return number(f.record->uiStatus); }},
    {".qm", "\x08-QM\x02", Source::Database, [](const Found& f) { return number(f.record->uiQuery); }},
    {".answer", "\x08-ANSWER\x02", Source::Database, [](const Found& f) { return number(f.record->uiAnswer); }},
    {".badword", "\x08-BADWORD\x02", Source::Database, [](const Found& f) { return number(f.record->uiBadCount); }},
    {".who", "\x08-WHO\x02", Source::Database, [](const Found& f) { return or_empty(f.record->psInfo()); }},
    {".exist", "\x08-EXIST\x02", Source::Existence, [](const Found& f) { return std::string(f.record ? "1" : "0"); }},
}};

Found look_up(const std::string& nick)
{
    Found found;
    HostSession* sess = script_window();
    if (!sess) return found;
    found.client = find_name(sess, nick.c_str());
    if (!found.client) found.client = find_name_global(sess->server, nick.c_str());
    found.record = GetUser(sess->server->servername.c_str(), nullptr, nick.c_str(), nullptr, nullptr);
    return found;
}

// Start of the nickname that ends at `end`: the longest run of nickname
// characters, without leading digits and "-".
size_t nickname_start(const std::string& text, size_t end)
{
    size_t start = end;
    while (start > 0 && is_nickname_char(text[start - 1])) --start;
    while (start < end && (isdigit(static_cast<unsigned char>(text[start])) || text[start] == '-')) ++start;
    return start;
}

// The value of one occurrence, or nothing when it stays (the reason printed).
std::optional<std::string> value_of(const Property& p, const std::string& nick, const std::string& expression)
{
    const Found found = look_up(nick);
    if (p.source == Source::Existence) return p.value(found);
    if (!found.client && !found.record) {
        if (error_output_on()) sPrintText(current_tab, GetMessage(826), nick.c_str(), expression.c_str());
        return std::nullopt;
    }
    if (p.source == Source::Database && !found.record) {
        if (error_output_on()) sPrintText(current_tab, GetMessage(825), nick.c_str(), expression.c_str());
        return std::nullopt;
    }
    return p.value(found);
}

void resolve_property(MarkedText& work, const Property& p, const std::string& expression)
{
    const std::string_view marker = p.marker;
    size_t from = 0;
    for (size_t at; (at = work.find_syntax(marker, from)) != std::string::npos;) {
        from = at + 1;
        const size_t start = nickname_start(work.text, at);
        if (start == at) continue;
        const std::string nick = work.text.substr(start, at - start);
        if (auto value = value_of(p, nick, expression)) {
            work.replace(start, at - start + marker.size(), *value, true);
            from = start + value->size();
        }
    }
}

}  // namespace

void mark_properties(MarkedText& work)
{
    for (size_t at = work.find_syntax('.'); at != std::string::npos; at = work.find_syntax('.', at + 1)) {
        for (const Property& p : kProperties) {
            const std::string_view name = p.name;
            if (at + 1 >= work.text.size() || work.text[at + 1] != name[1]) continue;
            if (work.text.compare(at, name.size(), name) != 0 || !work.syntax_range(at, name.size())) continue;
            work.replace(at, name.size(), p.marker, false);
            at += std::string_view(p.marker).size() - 1;
            break;
        }
    }
}

void resolve_properties(MarkedText& work, const std::string& expression)
{
    if (!work.has_syntax("\x08-")) return;
    for (const Property& p : kProperties) resolve_property(work, p, expression);
}

void unmark_properties(MarkedText& work)
{
    if (!work.has_syntax("\x08-")) return;
    for (const Property& p : kProperties) work.replace_syntax(p.marker, p.name);
}
