// Mirrors of client state and client-style helpers.
#include "host/host.h"

#include "output/output.h"
#include "utilities.h"

#include <dlfcn.h>
#include <strings.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>

std::vector<HostSession*> sess_list;
std::vector<HostServer*> serv_list;
std::vector<IgnoreEntry> ignore_list;
HostPrefs prefs;
HostSession* current_tab = nullptr;
int iFlagUpdateSessionInibition = 0;

namespace {

constexpr const char* kUnit = "xchat2";
constexpr size_t kMaxPrefText = 255;

// Records of open windows by context; links held across calls stay valid.
std::map<xchat_context*, std::unique_ptr<HostSession>> session_records;
// Records of windows that closed: out of every lookup, kept until unload so
// that a link someone still holds never dangles nor names a newer window.
std::vector<std::unique_ptr<HostSession>> retired_sessions;
std::map<std::string, std::unique_ptr<HostServer>> server_records;
std::unique_ptr<HostSession> the_zombie;

xchat_context* last_session_ctx = nullptr;
bool session_cache_set = false;
xchat_context* last_ignore_ctx = nullptr;
bool ignore_cache_set = false;

std::vector<HostUser> previous_user_list;

std::string text_or_empty(const char* text) { return text ? text : ""; }

void closed_window_error(const char* operation)
{
    if (!operation) return;
    std::string line = std::string("QuIbOsCrIpT:XChat2:") + operation + "(...): ERROR (the window is closed)";
    plugin().print(line.c_str());
}

// Walks a client list on its own handle, independent of the shared cursor.
void walk_list(const char* name, const std::function<void(xchat_list*)>& visit)
{
    xchat_plugin* h = plugin().raw();
    if (!h) return;
    xchat_list* list = h->xchat_list_get(h, name);
    if (!list) return;
    while (h->xchat_list_next(h, list)) visit(list);
    h->xchat_list_free(h, list);
}

HostServer* server_record(int id, const std::string& servername)
{
    std::string key = id ? "id:" + std::to_string(id) : "name:" + servername;
    auto& slot = server_records[key];
    if (!slot) {
        slot = std::make_unique<HostServer>();
        slot->id = id;
    }
    return slot.get();
}

// Whether a record made for an earlier window describes the window the list
// now shows at the same address. The client may free a window and hand its
// address to the next one between two rebuilds; a channel tab never changes
// its name, while a dialog follows its partner's nick and a server tab the
// server's name.
bool same_window(const HostSession& sess, const HostServer* serv, int type, const std::string& channel)
{
    if (sess.server != serv || sess.type != type) return false;
    return type != 2 || strcasecmp(sess.channel.c_str(), channel.c_str()) == 0;
}

void retire(std::unique_ptr<HostSession>& record)
{
    if (current_tab == record.get()) current_tab = nullptr;
    retired_sessions.push_back(std::move(record));
}

// Updates the records from the current item of a "channels" list.
HostSession* absorb_channel_item(xchat_list* list)
{
    Plugin& p = plugin();
    auto* ctx = reinterpret_cast<xchat_context*>(const_cast<char*>(p.list_str("context", list)));
    if (!ctx) return nullptr;
    std::string channel = text_or_empty(p.list_str("channel", list));
    int type = p.list_int("type", list);
    std::string servername = text_or_empty(p.list_str("server", list));
    HostServer* serv = server_record(p.list_int("id", list), servername);
    auto& slot = session_records[ctx];
    if (slot && !same_window(*slot, serv, type, channel)) retire(slot);
    if (!slot) {
        slot = std::make_unique<HostSession>();
        slot->ctx = ctx;
    }
    HostSession* sess = slot.get();
    sess->channel = std::move(channel);
    sess->type = type;
    sess->user_count = p.list_int("users", list);
    if (!servername.empty()) serv->servername = servername;
    serv->network = text_or_empty(p.list_str("network", list));
    serv->channel_types = text_or_empty(p.list_str("chantypes", list));
    if (!serv->any_ctx || sess->type == 1) serv->any_ctx = ctx;
    sess->server = serv;
    return sess;
}

// One rebuild of the records from the "channels" list: `each_item` visits the
// items; the records of windows it did not visit are retired.
void rebuild_records(const std::function<void(const std::function<void(xchat_list*)>&)>& each_item,
                     const std::function<void(HostSession*)>& seen)
{
    for (auto& [key, serv] : server_records) serv->any_ctx = nullptr;
    std::vector<xchat_context*> open;
    each_item([&](xchat_list* list) {
        HostSession* sess = absorb_channel_item(list);
        if (sess) open.push_back(sess->ctx);
        seen(sess);
    });
    std::sort(open.begin(), open.end());
    for (auto it = session_records.begin(); it != session_records.end();) {
        if (std::binary_search(open.begin(), open.end(), it->first)) {
            ++it;
            continue;
        }
        retire(it->second);
        it = session_records.erase(it);
    }
}

// Values that only get_info gives, read in the context given.
void read_server_info(HostServer* serv)
{
    Plugin& p = plugin();
    const char* servername = p.get_info("server");
    if (!empty(servername)) serv->servername = servername;
    serv->hostname = text_or_empty(p.get_info("host"));
    serv->nick = text_or_empty(p.get_info("nick"));
    serv->is_away = p.get_info("away") != nullptr;
}

void refresh_server_values(const std::vector<HostServer*>& servers)
{
    for (HostServer* serv : servers)
        if (serv->any_ctx) in_context(serv->any_ctx, nullptr, [serv] { read_server_info(serv); });
}

void append_unique(std::vector<HostServer*>& list, HostServer* serv)
{
    if (serv && std::find(list.begin(), list.end(), serv) == list.end()) list.push_back(serv);
}

// The one cursor pass over "channels" that rebuilds the session mirror; it
// consumes a list that update_userlist may have left held.
void cursor_pass_channels()
{
    Plugin& p = plugin();
    // The wrapper's accessor hands out one field per item; the pass needs the
    // item's other fields too, so it steps the shared cursor itself.
    if (!p.more() || !p.holds("channels")) p.list_get_channels(1);
    auto each_item = [&p](const std::function<void(xchat_list*)>& visit) {
        while (p.more()) {
            visit(nullptr);
            if (!p.list_next(nullptr)) break;
        }
    };
    rebuild_records(each_item, [&p](HostSession* sess) {
        if (sess) {
            sess_list.push_back(sess);
            append_unique(serv_list, sess->server);
        } else {
            p.print("QuIbOsCrIpT:XChat2:update_session(...): ERROR");
        }
    });
    p.list_free();
}

// A mirrored preference: its XChat name and, where HexChat renamed it, the
// HexChat one. Which of the two the client answers is learnt once per load.
struct PrefName {
    const char* xchat;
    const char* hexchat;
};

// In the order of HostPref: the names and the mirror field each fills.
struct PrefEntry {
    PrefName names;
    std::string HostPrefs::*text;  // a text preference
    int HostPrefs::*number;        // else an int or boolean one
};
const PrefEntry kPrefs[] = {
    {{"away_reason", nullptr}, &HostPrefs::away_reason, nullptr},
    {{"away_auto_unmark", nullptr}, nullptr, &HostPrefs::away_auto_unmark},
    {{"tab_new_to_front", "gui_tab_newtofront"}, nullptr, &HostPrefs::tab_new_to_front},
    {{"input_perc_ascii", nullptr}, nullptr, &HostPrefs::input_perc_ascii},
    {{"sound_command", nullptr}, &HostPrefs::sound_command, nullptr},
    {{"tab_chans", "gui_tab_chans"}, nullptr, &HostPrefs::tab_chans},
    {{"tab_server", "gui_tab_server"}, nullptr, &HostPrefs::tab_server},
};
constexpr size_t kPrefCount = std::size(kPrefs);
static_assert(static_cast<size_t>(HostPref::TabServer) + 1 == kPrefCount, "one entry per mirrored preference");

// The preferences read again since the mirror was last marked old.
std::array<bool, kPrefCount> pref_fresh{};

// The name the client answered for each preference; null when it knows neither.
std::array<const char*, kPrefCount> pref_answering{};
bool pref_names_known = false;

void learn_pref_names()
{
    Plugin& p = plugin();
    for (size_t i = 0; i < kPrefCount; ++i) {
        const char* text = nullptr;
        int value = 0;
        const PrefName& names = kPrefs[i].names;
        if (p.get_prefs(names.xchat, &text, &value) != 0)
            pref_answering[i] = names.xchat;
        else if (names.hexchat && p.get_prefs(names.hexchat, &text, &value) != 0)
            pref_answering[i] = names.hexchat;
        else
            pref_answering[i] = nullptr;
    }
    pref_names_known = p.raw() != nullptr;
}

const char* pref_name(HostPref index)
{
    if (!pref_names_known) learn_pref_names();
    return pref_answering[static_cast<size_t>(index)];
}

int pref_lookup(HostPref index, const char** text, int* integer)
{
    const char* name = pref_name(index);
    return name ? plugin().get_prefs(name, text, integer) : 0;
}

int pref_int(HostPref index)
{
    const char* text = nullptr;
    int value = 0;
    int kind = pref_lookup(index, &text, &value);
    return kind == 2 || kind == 3 ? value : 0;
}

// The text into `into`, reusing its storage; empty when the client has none.
void pref_text(HostPref index, std::string& into)
{
    const char* text = nullptr;
    int value = 0;
    if (pref_lookup(index, &text, &value) != 1 || !text)
        into.clear();
    else
        into.assign(text, strnlen(text, kMaxPrefText));
}

// Reads one preference into the mirror. Every field is written, so nothing of an earlier read stays.
void read_pref(HostPref index)
{
    const PrefEntry& entry = kPrefs[static_cast<size_t>(index)];
    if (entry.text)
        pref_text(index, prefs.*entry.text);
    else
        prefs.*entry.number = pref_int(index);
    pref_fresh[static_cast<size_t>(index)] = true;
}

void read_pref_when_old(HostPref index)
{
    if (!pref_fresh[static_cast<size_t>(index)]) read_pref(index);
}

}  // namespace

// ---- records ---------------------------------------------------------------

HostSession* session_of(xchat_context* ctx)
{
    if (!ctx) return nullptr;
    auto found = session_records.find(ctx);
    if (found != session_records.end()) return found->second.get();
    std::vector<HostServer*> seen;
    rebuild_records([](const std::function<void(xchat_list*)>& visit) { walk_list("channels", visit); },
                    [&seen](HostSession* sess) {
                        if (sess) append_unique(seen, sess->server);
                    });
    refresh_server_values(seen);
    // The mirror may still list windows retired just now.
    std::erase_if(sess_list, [](HostSession* sess) { return !session_exists(sess); });
    found = session_records.find(ctx);
    return found != session_records.end() ? found->second.get() : nullptr;
}

HostSession* zombie_session()
{
    if (!the_zombie) {
        the_zombie = std::make_unique<HostSession>();
        the_zombie->channel = kZombieChannel;
    }
    return the_zombie.get();
}

bool session_exists(const HostSession* sess)
{
    if (!sess) return false;
    if (sess == the_zombie.get()) return true;
    auto found = session_records.find(sess->ctx);
    return found != session_records.end() && found->second.get() == sess;
}

bool in_session(HostSession* sess, const char* operation, const std::function<void()>& body)
{
    if (sess && sess->ctx && !session_exists(sess)) {
        closed_window_error(operation);
        return false;
    }
    return in_context(sess ? sess->ctx : nullptr, operation, body);
}

bool in_context(xchat_context* ctx, const char* operation, const std::function<void()>& body)
{
    Plugin& p = plugin();
    ContextGuard back;
    if (ctx && ctx != p.get_context() && !p.set_context(ctx)) {
        closed_window_error(operation);
        return false;
    }
    body();
    return true;
}

SessionUpdateInhibition::SessionUpdateInhibition() : saved(iFlagUpdateSessionInibition)
{
    iFlagUpdateSessionInibition = 1;
}

SessionUpdateInhibition::~SessionUpdateInhibition() { iFlagUpdateSessionInibition = saved; }

void host_records_flush()
{
    sess_list.clear();
    serv_list.clear();
    ignore_list.clear();
    previous_user_list.clear();
    session_records.clear();
    retired_sessions.clear();
    server_records.clear();
    the_zombie.reset();
    current_tab = nullptr;
    last_session_ctx = last_ignore_ctx = nullptr;
    session_cache_set = ignore_cache_set = false;
    iFlagUpdateSessionInibition = 0;
    prefs = HostPrefs{};
    pref_fresh.fill(false);
    pref_names_known = false;
}

// ---- mirrors ---------------------------------------------------------------

HostSession* get_session(HostSession* sess) { return sess ? sess : session_of(plugin().get_context()); }

HostSession* focus_session()
{
    if (xchat_context* focused = plugin().find_context(nullptr, nullptr)) return session_of(focused);
    return current_tab;
}

void update_session(xchat_context* ctx)
{
    if (ctx && session_cache_set && ctx == last_session_ctx) return;
    last_session_ctx = ctx;
    session_cache_set = true;
    sess_list.clear();
    serv_list.clear();
    cursor_pass_channels();
    refresh_server_values(serv_list);
}

void update_userlist(xchat_context*)
{
    sess_list.clear();
    serv_list.clear();
    Plugin& p = plugin();
    p.list_get_users(1);
    p.list_get_channels(1);
    update_session(nullptr);
}

void update_ignore(xchat_context* ctx)
{
    if (ctx && ignore_cache_set && ctx == last_ignore_ctx) return;
    last_ignore_ctx = ctx;
    ignore_cache_set = true;
    ignore_list.clear();

    Plugin& p = plugin();
    // Which mirror entry each client item became (empty masks make none).
    std::vector<int> entry_of_item;
    while (const char* mask = p.list_ignore_mask_str(nullptr)) {
        if (*mask) {
            ignore_list.push_back(IgnoreEntry{mask, 0});
            entry_of_item.push_back(static_cast<int>(ignore_list.size()) - 1);
        } else {
            entry_of_item.push_back(-1);
        }
    }
    size_t item = 0;
    while (int flags = p.list_ignore_flags_int(nullptr)) {
        if (item < entry_of_item.size() && entry_of_item[item] >= 0) ignore_list[entry_of_item[item]].flags = flags;
        ++item;
    }
    // A zero flags value ends the pass early and leaves the list on the cursor.
    p.list_free();
}

void prefs_setup()
{
    for (size_t i = 0; i < kPrefCount; ++i) read_pref(static_cast<HostPref>(i));
}

void prefs_expire()
{
    pref_fresh.fill(false);
}

int host_pref_int(HostPref which)
{
    const PrefEntry& entry = kPrefs[static_cast<size_t>(which)];
    if (!entry.number) return 0;
    read_pref_when_old(which);
    return prefs.*entry.number;
}

const std::string& host_pref_text(HostPref which)
{
    static const std::string none;
    const PrefEntry& entry = kPrefs[static_cast<size_t>(which)];
    if (!entry.text) return none;
    read_pref_when_old(which);
    return prefs.*entry.text;
}

void refresh_current_server()
{
    HostSession* sess = session_of(plugin().get_context());
    if (sess && sess->server) read_server_info(sess->server);
}

const std::vector<HostUser>& zem_userlist_flat_list(HostSession* sess)
{
    previous_user_list.clear();
    if (!sess || !sess->ctx || !session_exists(sess)) return previous_user_list;
    in_context(sess->ctx, nullptr, [] {
        Plugin& p = plugin();
        walk_list("users", [&p](xchat_list* list) {
            HostUser user{text_or_empty(p.list_str("nick", list)), text_or_empty(p.list_str("host", list)),
                          text_or_empty(p.list_str("prefix", list)), text_or_empty(p.list_str("realname", list)),
                          p.list_int("away", list), p.list_time("lasttalk", list), p.list_int("selected", list)};
            previous_user_list.push_back(std::move(user));
        });
    });
    // The mirror keeps the users in the reverse of the order the client lists them.
    std::reverse(previous_user_list.begin(), previous_user_list.end());
    return previous_user_list;
}

void extern_update_session()
{
    if (iFlagUpdateSessionInibition) return;
    iFlagUpdateSessionInibition = 1;
    update_session(nullptr);
}

HostSession* extern_focus_session() { return focus_session(); }

void extern_update_userlist()
{
    iFlagUpdateSessionInibition = 0;
    update_userlist(nullptr);
}

std::string extern_get_network_name(HostSession* sess)
{
    if (!sess || !sess->server) return {};
    std::string network;
    bool found = false;
    Plugin& p = plugin();
    const std::string& servername = sess->server->servername;
    walk_list("channels", [&](xchat_list* list) {
        const char* server = p.list_str("server", list);
        if (!found && server && strcasecmp(server, servername.c_str()) == 0) {
            network = text_or_empty(p.list_str("network", list));
            found = true;
        }
    });
    return network;
}

// ---- client-style helpers --------------------------------------------------

int is_session(const HostSession* sess)
{
    return sess && std::find(sess_list.begin(), sess_list.end(), sess) != sess_list.end();
}

int is_server(const HostServer* serv)
{
    return serv && std::find(serv_list.begin(), serv_list.end(), serv) != serv_list.end();
}

int is_channel(const HostServer* serv, const char* name)
{
    if (!serv || empty(name)) return 0;
    return serv->channel_types.find(name[0]) != std::string::npos;
}

namespace {
// Nick comparison by the rules of the session's server (the client compares
// in its current context).
bool same_nick(HostSession* sess, const char* a, const char* b)
{
    int result = 1;
    in_context(sess->ctx, nullptr, [&] { result = plugin().nickcmp(a, b); });
    return result == 0;
}

}  // namespace

std::optional<HostUser> find_name(HostSession* sess, const char* nick)
{
    if (!sess || !sess->server || !sess->ctx || empty(nick)) return std::nullopt;
    for (const HostUser& user : zem_userlist_flat_list(sess))
        if (same_nick(sess, user.nick.c_str(), nick)) return user;
    return std::nullopt;
}

std::optional<HostUser> find_name_global(HostServer* serv, const char* nick)
{
    for (HostSession* sess : sess_list)
        if (sess->server == serv)
            if (auto user = find_name(sess, nick)) return user;
    return std::nullopt;
}

HostSession* find_dialog(HostServer* serv, const char* nick)
{
    if (!serv || empty(nick)) return nullptr;
    for (HostSession* sess : sess_list)
        if (sess->server == serv && sess->type == 3 && same_nick(sess, sess->channel.c_str(), nick)) return sess;
    return nullptr;
}

int match(const char* mask, const char* text) { return match_mask(mask, text); }

void fe_beep()
{
    // The client's own GDK, when it has one; nothing is linked in.
    using beep_fn = void (*)();
    if (auto beep = reinterpret_cast<beep_fn>(dlsym(RTLD_DEFAULT, "gdk_beep"))) beep();
}

int fe_open_serverlist()
{
    plugin().print("--- Sorry: \0034Function\0033 fe_serverlist_open(...)\0034 not available on XChat-2");
    return 0;
}

int new_ircwindow(HostServer*, const char*, int)
{
    const char* text = nullptr;
    int remembered = 0;
    const char* name = pref_name(HostPref::TabNewToFront);
    if (name) {
        plugin().get_prefs(name, &text, &remembered);
        plugin().commandf("SET %s 1", name);
    }
    plugin().command("NEWSERVER");
    if (name && !remembered) plugin().commandf("SET %s 0", name);
    pref_fresh[static_cast<size_t>(HostPref::TabNewToFront)] = false;
    return 0;
}

void xchat_exec(const char* command) { plugin().commandf("EXEC %s", command ? command : ""); }

void xchat_exit()
{
    // The client quits in its own order; the process is never ended from here.
    plugin().command("QUIT");
    plugin().command("KILLALL");
}

int xchat_get_var(const char* name, const char** text, int* integer) { return plugin().get_prefs(name, text, integer); }

void PrintText(HostSession* sess, const char* text)
{
    Plugin& p = plugin();
    if (!text) {
        p.print("QuIbOsCrIpT:XChat2:PrintText(...): ERROR");
        return;
    }
    if (!sess) {
        p.print(text);
        return;
    }
    in_session(sess, "PrintText", [&] { p.print(text); });
}

namespace {

const InertText* running_command = nullptr;

// Line breaks and NUL never reach the client's command parser: one command is one line.
InertText without_line_breaks(const InertText& command)
{
    InertText kept;
    command.each_run([&](std::string_view part, bool literal) {
        std::string text(part);
        std::erase_if(text, [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
        if (literal)
            kept.add_literal(text);
        else
            kept.add_syntax(text);
    });
    return kept;
}

// The client reads the first word as the command to run: no value from the
// network may choose it.
bool names_command_from_outside(const InertText& command)
{
    const size_t name_end = std::min(command.text.find(' '), command.text.size());
    for (size_t at = 0; at < name_end; ++at)
        if (command.literal_at(at)) return true;
    return false;
}

}  // namespace

const InertText* running_inert_command() { return running_command; }

InertText running_inert_tail(const char* tail)
{
    const std::string_view rest = tail ? tail : "";
    InertText out;
    const InertText* running = running_command;
    if (!running || running->literal.empty()) {
        out.add_syntax(rest);
        return out;
    }
    const std::string& whole = running->text;
    if (rest.size() > whole.size() || whole.compare(whole.size() - rest.size(), rest.size(), rest) != 0) {
        // Not a part of the running command as we handed it over: trust none of it.
        out.add_literal(rest);
        return out;
    }
    const size_t offset = whole.size() - rest.size();
    size_t at = 0;
    running->each_run([&](std::string_view part, bool literal) {
        const size_t begin = at, end = at + part.size();
        at = end;
        if (end <= offset) return;
        part.remove_prefix(begin < offset ? offset - begin : 0);
        if (literal)
            out.add_literal(part);
        else
            out.add_syntax(part);
    });
    return out;
}

int quibo_handle_command(const char* text, HostSession* sess, int, int)
{
    return quibo_handle_command(InertText(text ? text : ""), sess);
}

int quibo_handle_command(const InertText& text, HostSession* sess)
{
    Plugin& p = plugin();
    if (text.text.empty() || text.text.size() > kMaxCommandLength) {
        printf("[%s:%d]> quibo_handle_command()\n", QUIBO_HERE(kUnit));
        p.print("QuIbOsCrIpT: XChat2: quibo_handle_command(...): ERROR");
        return 0;
    }
    InertText command;
    bool slash_dropped = false;
    text.each_run([&](std::string_view part, bool literal) {
        if (!slash_dropped && !literal && !part.empty() && part[0] == '/' && command.text.empty()) part.remove_prefix(1);
        slash_dropped = true;
        if (literal)
            command.add_literal(part);
        else
            command.add_syntax(part);
    });
    check_special_chars_utf8(command, 1);
    command = without_line_breaks(command);
    if (command.text.empty() || !p.raw()) return 0;
    if (names_command_from_outside(command)) {
        printf("[%s:%d]> quibo_handle_command(): the command name comes from an event value\n", QUIBO_HERE(kUnit));
        p.print("QuIbOsCrIpT: XChat2: quibo_handle_command(...): a value from the network cannot name the command");
        return 0;
    }
    xchat_plugin* h = p.raw();
    const InertText* outer = running_command;
    running_command = &command;
    in_session(sess, "quibo_handle_command", [&] { h->xchat_command(h, command.text.c_str()); });
    running_command = outer;
    return 0;
}
