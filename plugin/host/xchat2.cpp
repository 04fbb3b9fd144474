// Mirrors of client state, client-style helpers and the hook callbacks.
#include "host/host.h"

#include "events/events.h"
#include "output/output.h"
#include "pipeline/pipeline.h"
#include "settings/command.h"
#include "utilities.h"

#include <dlfcn.h>
#include <strings.h>

#include <algorithm>
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
constexpr size_t kMaxCommandLength = 2048;
constexpr size_t kMaxPrefText = 255;
constexpr const char* kZombieName = "#QuIbOsCrIpT Zombie";

// Records live from first sight to unload, so links held across calls stay valid.
std::map<xchat_context*, std::unique_ptr<HostSession>> session_records;
std::map<std::string, std::unique_ptr<HostServer>> server_records;
std::unique_ptr<HostSession> the_zombie;

xchat_context* last_session_ctx = nullptr;
bool session_cache_set = false;
xchat_context* last_ignore_ctx = nullptr;
bool ignore_cache_set = false;

std::vector<HostUser> previous_user_list;

std::string text_or_empty(const char* text) { return text ? text : ""; }

// Runs `body` with `ctx` as the client's current context, then puts the old one back.
void in_context(xchat_context* ctx, const std::function<void()>& body)
{
    Plugin& p = plugin();
    xchat_context* previous = p.get_context();
    bool switched = ctx && ctx != previous && p.set_context(ctx);
    body();
    if (switched) p.set_context(previous);
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

// Updates the records from the current item of a "channels" list.
HostSession* absorb_channel_item(xchat_list* list)
{
    Plugin& p = plugin();
    auto* ctx = reinterpret_cast<xchat_context*>(const_cast<char*>(p.list_str("context", list)));
    if (!ctx) return nullptr;
    auto& slot = session_records[ctx];
    if (!slot) {
        slot = std::make_unique<HostSession>();
        slot->ctx = ctx;
    }
    HostSession* sess = slot.get();
    sess->channel = text_or_empty(p.list_str("channel", list));
    sess->type = p.list_int("type", list);
    sess->user_count = p.list_int("users", list);
    std::string servername = text_or_empty(p.list_str("server", list));
    HostServer* serv = server_record(p.list_int("id", list), servername);
    if (!servername.empty()) serv->servername = servername;
    serv->network = text_or_empty(p.list_str("network", list));
    serv->channel_types = text_or_empty(p.list_str("chantypes", list));
    if (!serv->any_ctx || sess->type == 1) serv->any_ctx = ctx;
    sess->server = serv;
    return sess;
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
    for (HostServer* serv : servers) in_context(serv->any_ctx, [serv] { read_server_info(serv); });
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
    while (p.more()) {
        HostSession* sess = absorb_channel_item(nullptr);
        if (sess) {
            sess_list.push_back(sess);
            append_unique(serv_list, sess->server);
        } else {
            p.print("QuIbOsCrIpT:XChat2:update_session(...): ERROR");
        }
        if (!p.list_next(nullptr)) break;
    }
    p.list_free();
}

}  // namespace

// ---- records ---------------------------------------------------------------

HostSession* session_of(xchat_context* ctx)
{
    if (!ctx) return nullptr;
    auto found = session_records.find(ctx);
    if (found != session_records.end()) return found->second.get();
    std::vector<HostServer*> seen;
    walk_list("channels", [&seen](xchat_list* list) {
        if (HostSession* sess = absorb_channel_item(list)) append_unique(seen, sess->server);
    });
    refresh_server_values(seen);
    found = session_records.find(ctx);
    return found != session_records.end() ? found->second.get() : nullptr;
}

HostSession* zombie_session()
{
    if (!the_zombie) {
        the_zombie = std::make_unique<HostSession>();
        the_zombie->channel = kZombieName;
    }
    return the_zombie.get();
}

void host_records_flush()
{
    sess_list.clear();
    serv_list.clear();
    ignore_list.clear();
    previous_user_list.clear();
    session_records.clear();
    server_records.clear();
    the_zombie.reset();
    current_tab = nullptr;
    last_session_ctx = last_ignore_ctx = nullptr;
    session_cache_set = ignore_cache_set = false;
    iFlagUpdateSessionInibition = 0;
    prefs = HostPrefs{};
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

namespace {

// Asks for a preference by its XChat name, then by the name HexChat gives it.
int pref_lookup(const char* xchat_name, const char* hexchat_name, const char** text, int* integer)
{
    int kind = plugin().get_prefs(xchat_name, text, integer);
    if (kind == 0 && hexchat_name) kind = plugin().get_prefs(hexchat_name, text, integer);
    return kind;
}

int pref_int(const char* xchat_name, const char* hexchat_name)
{
    const char* text = nullptr;
    int value = 0;
    int kind = pref_lookup(xchat_name, hexchat_name, &text, &value);
    return kind == 2 || kind == 3 ? value : 0;
}

std::string pref_text(const char* xchat_name, const char* hexchat_name)
{
    const char* text = nullptr;
    int value = 0;
    if (pref_lookup(xchat_name, hexchat_name, &text, &value) != 1 || !text) return {};
    return std::string(text).substr(0, kMaxPrefText);
}

}  // namespace

void prefs_setup()
{
    prefs = HostPrefs{};
    prefs.away_reason = pref_text("away_reason", nullptr);
    prefs.away_auto_unmark = pref_int("away_auto_unmark", nullptr);
    prefs.tab_new_to_front = pref_int("tab_new_to_front", "gui_tab_newtofront");
    prefs.input_perc_ascii = pref_int("input_perc_ascii", nullptr);
    prefs.sound_command = pref_text("sound_command", nullptr);
    prefs.tab_chans = pref_int("tab_chans", "gui_tab_chans");
    prefs.tab_server = pref_int("tab_server", "gui_tab_server");
}

void refresh_current_server()
{
    HostSession* sess = session_of(plugin().get_context());
    if (sess && sess->server) read_server_info(sess->server);
}

const std::vector<HostUser>& zem_userlist_flat_list(HostSession* sess)
{
    previous_user_list.clear();
    if (!sess || !sess->ctx) return previous_user_list;
    in_context(sess->ctx, [] {
        Plugin& p = plugin();
        walk_list("users", [&p](xchat_list* list) {
            HostUser user{text_or_empty(p.list_str("nick", list)), text_or_empty(p.list_str("host", list)),
                          text_or_empty(p.list_str("prefix", list))};
            previous_user_list.insert(previous_user_list.begin(), std::move(user));
        });
    });
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
    in_context(sess->ctx, [&] { result = plugin().nickcmp(a, b); });
    return result == 0;
}
}  // namespace

const HostUser* find_name(HostSession* sess, const char* nick)
{
    if (!sess || !sess->server || !sess->ctx || empty(nick)) return nullptr;
    const std::vector<HostUser>& users = zem_userlist_flat_list(sess);
    for (const HostUser& user : users)
        if (same_nick(sess, user.nick.c_str(), nick)) return &user;
    return nullptr;
}

const HostUser* find_name_global(HostServer* serv, const char* nick)
{
    for (HostSession* sess : sess_list)
        if (sess->server == serv)
            if (const HostUser* user = find_name(sess, nick)) return user;
    return nullptr;
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
    const char* name = "tab_new_to_front";
    if (plugin().get_prefs(name, &text, &remembered) == 0) {
        name = "gui_tab_newtofront";
        plugin().get_prefs(name, &text, &remembered);
    }
    plugin().commandf("SET %s 1", name);
    plugin().command("NEWSERVER");
    if (!remembered) plugin().commandf("SET %s 0", name);
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
    in_context(sess->ctx, [&] { p.print(text); });
}

int quibo_handle_command(const char* text, HostSession* sess, int, int)
{
    Plugin& p = plugin();
    if (empty(text) || strlen(text) > kMaxCommandLength) {
        printf("[%s:%d]> quibo_handle_command()\n", QUIBO_HERE(kUnit));
        p.print("QuIbOsCrIpT: XChat2: quibo_handle_command(...): ERROR");
        return 0;
    }
    std::string command(text[0] == '/' ? text + 1 : text);
    check_special_chars_utf8(command, 1);
    // One command is one line: line breaks never reach the client's command parser.
    std::erase_if(command, [](char c) { return c == '\r' || c == '\n'; });
    if (command.empty() || !p.raw()) return 0;
    xchat_plugin* h = p.raw();
    in_context(sess ? sess->ctx : nullptr, [&] { h->xchat_command(h, command.c_str()); });
    return 0;
}

// ---- hook callbacks --------------------------------------------------------

int cb_raw_line(char* word[], char* word_eol[], void*)
{
    (void)word;
    Plugin& p = plugin();
    iFlagUpdateSessionInibition = 1;
    xchat_context* ctx = p.get_context();
    update_session(ctx);
    update_ignore(ctx);
    prefs_setup();
    refresh_current_server();
    HostSession* sess = session_of(ctx);
    std::string line = word_eol[1] ? word_eol[1] : "";
    const char* servername = sess && sess->server ? sess->server->servername.c_str() : nullptr;
    int result = quibo_in(sess, servername, line);
    iFlagUpdateSessionInibition = 0;
    return result == -1 ? XCHAT_EAT_ALL : XCHAT_EAT_NONE;
}

int quibo_output(char* word[], const char* target)
{
    HostSession* sess = session_of(plugin().get_context());
    if (!sess) return 0;
    return quibo_out(sess->server, target ? target : sess->channel.c_str(), word[1], word[2]);
}

int cb_private_message(char* word[], void*)
{
    quibo_output(word, word[1]);
    return XCHAT_EAT_NONE;
}

int cb_output(char* word[], void*)
{
    quibo_output(word, nullptr);
    return XCHAT_EAT_NONE;
}

int cb_ignore(char*[], void*)
{
    update_ignore(nullptr);
    return XCHAT_EAT_NONE;
}

int cb_focus(char*[], void*)
{
    current_tab = session_of(plugin().get_context());
    update_ignore(nullptr);
    return XCHAT_EAT_NONE;
}

int cb_default_command(char* word[], char* word_eol[], void*)
{
    quibo_command(session_of(plugin().get_context()), word[1], word, word_eol);
    return XCHAT_EAT_NONE;
}

int cb_quibo_command(char* word[], char* word_eol[], void* data)
{
    cb_default_command(word, word_eol, data);
    quibo_cmd(session_of(plugin().get_context()), 0, word, word_eol);
    return XCHAT_EAT_ALL;
}

int cb_event_command(char* word[], char* word_eol[], void* data)
{
    cb_default_command(word, word_eol, data);
    event_cmd(session_of(plugin().get_context()), 0, word, word_eol);
    if (empty(word[2])) plugin().print("Usage: /EVENT [help] [command] [options]");
    return XCHAT_EAT_ALL;
}

int cb_DCC_Manager(char* word[], void*)
{
    static const char* const kPlaceholders[6] = {"$lu", "$ru", "$rhost", "$channel", "$server", "$data"};
    current_tab = session_of(plugin().get_context());
    if (empty(word[0])) {
        printf("[%s:%d]> Internal Error (cb_DCC_Manager())\n", QUIBO_HERE(kUnit));
        plugin().print("QuIbOsCrIpT:XChat2:cb_DCC_Manager(...): ERROR (Malformed Invocation)");
        return XCHAT_EAT_NONE;
    }
    const char* args[6];
    bool missing = false;
    for (int i = 0; i < 6; ++i) {
        missing = missing || empty(word[i + 1]);
        args[i] = missing ? kPlaceholders[i] : word[i + 1];
    }
    make_special_event(current_tab, word[0], args[0], args[1], args[2], args[3], args[4], args[5]);
    return XCHAT_EAT_NONE;
}
