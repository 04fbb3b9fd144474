// The one door to the client: the Plugin wrapper, the mirrors of client state
// and client-style helpers that the rest of the plug-in is written against.
#pragma once

#include "xchat_plugin.h"
#include "utilities.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// A connected server as the plug-in sees it. Every value is read through the
// plug-in interface (get_info in one of its contexts, the "channels" list).
struct HostServer {
    int id = 0;                  // the client's own server id ("id" of the channels list)
    std::string servername;      // the name the server gives itself
    std::string hostname;        // host name of the connection
    std::string password;        // the interface cannot give it: stays empty
    std::string nick;            // the local user's nickname there
    std::string channel_types;   // channel prefix characters
    std::string network;
    int is_away = 0;
    // An open context of this server (its server tab when it has one), for
    // get_info and nickcmp; chosen again at every rebuild of the mirror.
    xchat_context* any_ctx = nullptr;
};

// One open client window (server tab, channel or dialog), or the zombie.
struct HostSession {
    xchat_context* ctx = nullptr;  // null only for the zombie session
    HostServer* server = nullptr;  // null only for the zombie session
    std::string channel;           // channel, dialog partner or server name
    int user_count = 0;
    int type = 0;                  // 1 server tab, 2 channel, 3 dialog
};

// One user of a channel's user list.
struct HostUser {
    std::string nick;
    std::string address;  // user@host as the client knows it (may be empty)
    std::string prefix;
    std::string realname;  // empty when the client does not give it
    int away = 0;
    time_t lasttalk = 0;   // time of the user's last message, 0 when none
    int selected = 0;      // selected in the client's user list
};

struct IgnoreEntry {
    std::string mask;
    int flags = 0;
};

struct HostPrefs {
    std::string away_reason;
    int away_auto_unmark = 0;
    int tab_new_to_front = 0;
    int input_perc_ascii = 0;
    std::string sound_command;
    int tab_chans = 0;
    int tab_server = 0;
};

class Plugin {
public:
    Plugin() = default;
    Plugin(xchat_plugin* handle, const char* name, const char* description, const char* version,
           const char* argument);
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;
    ~Plugin();

    xchat_plugin* raw() const { return handle; }

    xchat_hook* hook_command(const char* name, xchat_cmd_cb callback, const char* help, void* data);
    xchat_hook* hook_print(const char* name, xchat_print_cb callback, void* data);
    xchat_hook* hook_server(const char* name, xchat_cmd_cb callback, void* data);
    void unhook(xchat_hook** hook);

    void command(const char* text);
    void commandf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void print(const char* text);
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));

    xchat_context* find_context(const char* server, const char* channel);
    xchat_context* get_context();
    int set_context(xchat_context* ctx);
    const char* get_info(const char* id);
    const char* get_info_version();
    int get_prefs(const char* name, const char** text, int* integer);
    int nickcmp(const char* a, const char* b);

    xchat_list* list_get(const char* name, int free_previous);
    xchat_list* list_get_channels(int free_previous) { return list_get("channels", free_previous); }
    xchat_list* list_get_dcc(int free_previous) { return list_get("dcc", free_previous); }
    xchat_list* list_get_users(int free_previous) { return list_get("users", free_previous); }
    int list_next(xchat_list* list);
    const char* list_str(const char* field, xchat_list* list);
    int list_int(const char* field, xchat_list* list);
    time_t list_time(const char* field, xchat_list* list);
    void list_free(xchat_list** list);
    void list_free();

    xchat_context* list_channels_context_ctx(xchat_list* list);
    const char* list_ignore_mask_str(xchat_list* list);
    int list_ignore_flags_int(xchat_list* list);

    int more() const { return list_more; }
    // True when the shared cursor holds a list of that name.
    bool holds(const char* list_name) const { return held_list && held_name == list_name; }

private:
    xchat_context* list_context(const char* field, xchat_list* list);
    template <typename T>
    T cursor_step(const char* list_name, xchat_list* list, T (Plugin::*read)(const char*, xchat_list*),
                  const char* field, T none);

    xchat_plugin* handle = nullptr;
    xchat_list* held_list = nullptr;
    std::string held_name;
    std::string name;
    std::string description;
    std::string version;
    std::string argument;
    int list_more = 0;
};

// The process-wide wrapper; empty (no handle) outside init..deinit.
Plugin& plugin();
void plugin_install(std::unique_ptr<Plugin> instance);

// Mirrors of client state.
extern std::vector<HostSession*> sess_list;
extern std::vector<HostServer*> serv_list;
extern std::vector<IgnoreEntry> ignore_list;
extern HostPrefs prefs;
extern HostSession* current_tab;
extern int iFlagUpdateSessionInibition;

// Record of a client context, made on first sight. A record whose window is
// gone from the client's "channels" list is retired when the mirror is
// rebuilt: a new window at the same address gets a record of its own, and the
// retired one stays readable (never reused) until unload.
HostSession* session_of(xchat_context* ctx);
// The name of the zombie session, a record that no window backs; user
// records of users gone from sight are parked under it too.
constexpr const char* kZombieChannel = "#QuIbOsCrIpT Zombie";
// The one zombie session, made on first use and freed at unload.
HostSession* zombie_session();
// True for the zombie and for a record whose window was open at the last
// rebuild; anything that keeps a session for later asks this before using it.
bool session_exists(const HostSession* sess);
void host_records_flush();

// Runs `body` with `ctx` as the client's current context and puts the
// previous one back, also when `body` ran client commands that re-entered the
// plug-in's hooks (the client sets the plug-in's context before each callback
// and never restores it). A null `ctx` runs in the current context. When the
// window is gone nothing runs; with `operation` named, one error line says so.
bool in_context(xchat_context* ctx, const char* operation, const std::function<void()>& body);
// The same in the window of `sess` (the current one for null or the zombie); a
// record whose window is gone runs nothing, even when a newer window now has
// its address.
bool in_session(HostSession* sess, const char* operation, const std::function<void()>& body);

// Holds the current context and puts it back when it goes out of scope.
class ContextGuard {
public:
    ContextGuard();
    ~ContextGuard();
    ContextGuard(const ContextGuard&) = delete;
    ContextGuard& operator=(const ContextGuard&) = delete;

private:
    xchat_context* saved;
};

// Holds iFlagUpdateSessionInibition at 1 and gives back the value it found, so a
// nested raw-line pass never lifts the outer pass's hold.
class SessionUpdateInhibition {
public:
    SessionUpdateInhibition();
    ~SessionUpdateInhibition();
    SessionUpdateInhibition(const SessionUpdateInhibition&) = delete;
    SessionUpdateInhibition& operator=(const SessionUpdateInhibition&) = delete;

private:
    int saved;
};

HostSession* get_session(HostSession* sess);
HostSession* focus_session();
void update_session(xchat_context* ctx);
void update_userlist(xchat_context* ctx);
void update_ignore(xchat_context* ctx);
// The preference mirror. prefs_setup reads all seven again; prefs_expire marks
// them old (each raw line does); the accessors read one again at its first use
// after that: a line asks the client only for what it uses.
enum class HostPref { AwayReason, AwayAutoUnmark, TabNewToFront, InputPercAscii, SoundCommand, TabChans, TabServer };
void prefs_setup();
void prefs_expire();
int host_pref_int(HostPref which);
const std::string& host_pref_text(HostPref which);
const std::vector<HostUser>& zem_userlist_flat_list(HostSession* sess);
void extern_update_session();
HostSession* extern_focus_session();
void extern_update_userlist();
std::string extern_get_network_name(HostSession* sess);
// Reads the server values of the current context's server again (nickname,
// host, away); the raw-line pass does not, handlers that change them may.
void refresh_current_server();

// Client-style helpers.
int is_session(const HostSession* sess);
int is_server(const HostServer* serv);
int is_channel(const HostServer* serv, const char* name);
// A copy of the client's user entry: the flat list it came from is rebuilt by the next call.
std::optional<HostUser> find_name(HostSession* sess, const char* nick);
std::optional<HostUser> find_name_global(HostServer* serv, const char* nick);
HostSession* find_dialog(HostServer* serv, const char* nick);
int match(const char* mask, const char* text);
void fe_beep();
int fe_open_serverlist();
int new_ircwindow(HostServer* serv, const char* name, int flags);
void xchat_exec(const char* command);
void xchat_exit();
int xchat_get_var(const char* name, const char** text, int* integer);
void PrintText(HostSession* sess, const char* text);
// Longest command text the client is handed.
constexpr size_t kMaxCommandLength = 2048;
int quibo_handle_command(const char* text, HostSession* sess, int = 0, int = 0);
// A command is one line: NUL, CR and LF never reach the client's command parser.
void strip_line_breaks(std::string& command);
// The input box of the window of `sess`: text typed in at the cursor (line
// breaks removed), and Enter pressed on it. Through the client's own GTK when
// it has one, else through its SETTEXT command.
void input_box_insert(HostSession* sess, const char* text);
void input_box_enter(HostSession* sess);
// Runs a command whose literal runs are values from outside: percent escapes
// are translated in the rest only, and while the client runs it (and calls
// the plug-in's own command hooks) running_inert_command() gives the command
// as handed to the client with its literal runs, so that keywords which
// interpret text (cmd, if, set, exec, the script resolver) keep those runs as
// plain text. Null when no command is running through this door.
int quibo_handle_command(const InertText& text, HostSession* sess);
const InertText* running_inert_command();
// A word-tail of the command hook now running, with the literal runs it holds
// (all syntax when the running command has none; all literal when the tail is
// not part of the command as it was handed over).
InertText running_inert_tail(const char* tail);
// A function of the client's process (its own GTK and GLib: the plug-in links
// neither), found at run time; null when the client has none.
void* client_function(const char* name);
template <typename Function>
void find_client_function(Function& slot, const char* name)
{
    slot = reinterpret_cast<Function>(client_function(name));
}

// Source unit name and line for internal-error lines on standard output.
#define QUIBO_HERE(unit) unit, __LINE__
