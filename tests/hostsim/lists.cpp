// The client's lists: "channels", "dcc", "ignore", "notify", "users".
#include "internal.h"

#include <algorithm>

namespace hostsim {

namespace {

using Row = SimList::Row;

int channel_flags(const Server& s)
{
    // Bits as the client packs them: connected, connecting, away, end of MOTD, WHOX, IDMSG.
    return (s.connected ? 1 : 0) | (s.away ? 4 : 0) | (s.connected ? 8 : 0);
}

Row channel_row(Context& c)
{
    const Server& s = *c.server;
    Row r;
    r.context = &c;
    r.text = {{"channel", c.channel},        {"chantypes", s.chantypes}, {"nickprefixes", s.nickprefixes},
              {"nickmodes", s.nickmodes},    {"server", s.servername}};
    if (!s.network.empty()) r.text["network"] = s.network;
    r.number = {{"flags", channel_flags(s)},
                {"id", s.id},
                {"lag", s.lag},
                {"maxmodes", s.maxmodes},
                {"queue", s.queue},
                {"type", c.type},
                {"users", static_cast<int>(c.users.size())}};
    return r;
}

Row dcc_row(const Dcc& d)
{
    Row r;
    r.text = {{"destfile", d.destfile}, {"file", d.file}, {"nick", d.nick}};
    r.number = {{"address32", static_cast<int>(d.address32)},
                {"cps", d.cps},
                {"port", d.port},
                {"pos", d.pos},
                {"resume", d.resume},
                {"size", d.size},
                {"sizehigh", d.sizehigh},
                {"status", d.status},
                {"type", d.type}};
    return r;
}

Row ignore_row(const Ignore& i)
{
    Row r;
    r.text = {{"mask", i.mask}};
    r.number = {{"flags", i.flags}};
    return r;
}

Row notify_row(const Notify& n)
{
    Row r;
    r.text = {{"nick", n.nick}};
    r.number = {{"flags", n.online}};
    r.time = {{"on", n.on}, {"off", n.off}, {"seen", n.seen}};
    return r;
}

Row user_row(const User& u)
{
    Row r;
    r.text = {{"nick", u.nick}, {"host", u.host}, {"prefix", u.prefix}, {"realname", u.realname}};
    r.number = {{"away", u.away ? 1 : 0}, {"selected", u.selected ? 1 : 0}};
    r.time = {{"lasttalk", u.lasttalk}};
    return r;
}

// The client lists users by rank (the server's prefix order), then by name.
std::vector<const User*> sorted_users(const Context& c)
{
    std::vector<const User*> users;
    for (const User& u : c.users) users.push_back(&u);
    auto rank = [&](const User* u) {
        size_t at = u->prefix.empty() ? std::string::npos : c.server->nickprefixes.find(u->prefix[0]);
        return at == std::string::npos ? c.server->nickprefixes.size() : at;
    };
    std::stable_sort(users.begin(), users.end(), [&](const User* a, const User* b) {
        if (rank(a) != rank(b)) return rank(a) < rank(b);
        return rfc_casecmp(a->nick, b->nick) < 0;
    });
    return users;
}

}  // namespace

struct ListAccess {
    static PluginHandle& owner(xchat_plugin* ph, const char* call) { return checked_handle(ph, call); }

    static SimList* checked(Sim& sim, xchat_list* handle, const char* call)
    {
        auto it = std::find_if(sim.lists_.begin(), sim.lists_.end(),
                               [&](const auto& l) { return reinterpret_cast<xchat_list*>(l.get()) == handle; });
        if (it == sim.lists_.end()) {
            sim.fault(true, std::string(call) + " with a list the client never gave out");
            return nullptr;
        }
        if ((*it)->freed) {
            sim.fault(true, std::string(call) + " on list \"" + (*it)->name + "\" after list_free");
            return nullptr;
        }
        return it->get();
    }

    // The row a field read refers to, or null (with the fault recorded).
    static const Row* current_row(Sim& sim, SimList& list, const char* call, const char* field)
    {
        if (list.pos < 0) {
            sim.fault(true, std::string(call) + "(\"" + (field ? field : "") + "\") on list \"" + list.name +
                                "\" before the first list_next");
            return nullptr;
        }
        if (list.exhausted)
            sim.fault(false, std::string(call) + "(\"" + (field ? field : "") + "\") on list \"" + list.name +
                                 "\" after list_next returned 0");
        sim.list_reads_.push_back({list.name, list.pos, field ? field : ""});
        return &list.rows[static_cast<size_t>(list.pos)];
    }

    // The row for a field read: the list's current row, or with no list the
    // plug-in's own context as a "channels" row (the client's shortcut).
    template <typename Read>
    static auto read(xchat_plugin* ph, xchat_list* handle, const char* field, const char* call, Read reader)
    {
        PluginHandle& h = owner(ph, call);
        Sim& sim = *h.sim;
        // Texts handed out must outlive the call, as the client's own records do.
        static Row shortcut_row;
        static const Row empty_row;
        if (!handle) {
            shortcut_row = h.context ? channel_row(*h.context) : Row{};
            sim.list_reads_.push_back({"channels", -1, field ? field : ""});
            return reader(shortcut_row);
        }
        SimList* list = checked(sim, handle, call);
        const Row* row = list ? current_row(sim, *list, call, field) : nullptr;
        return reader(row ? *row : empty_row);
    }
};

xchat_list* ListApi::get(xchat_plugin* ph, const char* name)
{
    PluginHandle& h = ListAccess::owner(ph, "list_get");
    Sim& sim = *h.sim;
    std::string_view which = name ? name : "";
    ++sim.list_gets_[std::string(which)];

    auto list = std::make_unique<SimList>();
    list->name = which;
    list->owner = &h;
    if (which == "channels") {
        for (Context* c : sim.tab_order_) list->rows.push_back(channel_row(*c));
    } else if (which == "dcc") {
        for (const Dcc& d : sim.dccs_) list->rows.push_back(dcc_row(d));
    } else if (which == "ignore") {
        for (const Ignore& i : sim.ignores_) list->rows.push_back(ignore_row(i));
    } else if (which == "notify") {
        for (const Notify& n : sim.notifies_) list->rows.push_back(notify_row(n));
    } else if (which == "users" && h.context && h.context->open) {
        for (const User* u : sorted_users(*h.context)) list->rows.push_back(user_row(*u));
    } else {
        return nullptr;
    }
    return reinterpret_cast<xchat_list*>(sim.lists_.emplace_back(std::move(list)).get());
}

void ListApi::free(xchat_plugin* ph, xchat_list* handle)
{
    Sim& sim = *ListAccess::owner(ph, "list_free").sim;
    if (!handle) {
        sim.fault(true, "list_free(NULL)");
        return;
    }
    if (SimList* list = ListAccess::checked(sim, handle, "list_free")) list->freed = true;
}

const char* const* ListApi::fields(xchat_plugin* ph, const char* name)
{
    ListAccess::owner(ph, "list_fields");
    static const char* const channels[] = {"schannel", "schantypes", "pcontext", "iflags",        "iid",
                                           "ilag",     "imaxmodes",  "snetwork", "snickmodes",    "snickprefixes",
                                           "iqueue",   "sserver",    "itype",    "iusers",        nullptr};
    static const char* const dcc[] = {"iaddress32", "icps",  "sdestfile", "sfile",      "snick",   "iport", "ipos",
                                      "iresume",    "isize", "isizehigh", "istatus",    "itype",   nullptr};
    static const char* const ignore[] = {"iflags", "smask", nullptr};
    static const char* const notify[] = {"iflags", "snick", "toff", "ton", "tseen", nullptr};
    static const char* const users[] = {"iaway", "shost", "tlasttalk", "snick", "sprefix", "srealname", "iselected",
                                        nullptr};
    static const char* const lists[] = {"channels", "dcc", "ignore", "notify", "users", nullptr};
    std::string_view which = name ? name : "";
    if (which == "channels") return channels;
    if (which == "dcc") return dcc;
    if (which == "ignore") return ignore;
    if (which == "notify") return notify;
    if (which == "users") return users;
    if (which == "lists") return lists;
    return nullptr;
}

int ListApi::next(xchat_plugin* ph, xchat_list* handle)
{
    Sim& sim = *ListAccess::owner(ph, "list_next").sim;
    SimList* list = ListAccess::checked(sim, handle, "list_next");
    if (!list || list->exhausted) return 0;
    if (static_cast<size_t>(list->pos + 1) < list->rows.size()) {
        ++list->pos;
        return 1;
    }
    list->exhausted = true;  // the cursor stays on the last item, as in the client
    return 0;
}

const char* ListApi::str(xchat_plugin* ph, xchat_list* handle, const char* field)
{
    return ListAccess::read(ph, handle, field, "list_str", [&](const Row& row) -> const char* {
        std::string_view f = field ? field : "";
        if (f == "context") return reinterpret_cast<const char*>(row.context);
        auto it = row.text.find(std::string(f));
        return it == row.text.end() ? nullptr : it->second.c_str();
    });
}

int ListApi::integer(xchat_plugin* ph, xchat_list* handle, const char* field)
{
    return ListAccess::read(ph, handle, field, "list_int", [&](const Row& row) {
        auto it = row.number.find(field ? field : "");
        return it == row.number.end() ? -1 : it->second;
    });
}

time_t ListApi::time(xchat_plugin* ph, xchat_list* handle, const char* field)
{
    return ListAccess::read(ph, handle, field, "list_time", [&](const Row& row) {
        auto it = row.time.find(field ? field : "");
        return it == row.time.end() ? static_cast<time_t>(-1) : it->second;
    });
}

}  // namespace hostsim
