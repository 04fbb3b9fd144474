// A simulated XChat 2.8 / HexChat 2.16 client for tests.
//
// The simulator hands a plug-in the real 31-slot plug-in interface and keeps a
// small model of the client behind it: servers, tabs with their user lists,
// the ignore, DCC and notify lists, preferences under either client's names,
// the client's own commands (TIMER included) and its reactions to server
// lines. Everything the plug-in does through the interface is recorded, so a
// test drives the client (server_line, type, advance, focus) and then looks at
// what was printed, sent to a server, or issued as a command.
//
// Misuse of the interface that would crash or corrupt the real client (a list
// handle used after list_free, a field read before the first list_next, a
// dead plug-in handle) is a fault: reported on standard error and, by default,
// ended with abort(). Softer misuse is recorded in faults() for the test to check.
#pragma once

#include "host/xchat_plugin.h"

#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The simulated clock, exported so that the plug-in finds it with dlsym.
extern "C" time_t quibo_hostsim_now();

namespace hostsim {

// Which client the simulator plays: it answers preference names of that client only.
enum class Naming { XChat, HexChat };

enum class HookKind { Command, Server, Print, Timer, Fd };

// Who started an action the simulator records.
enum class Origin { User, Plugin, Timer, Client };

struct Context;

struct User {
    std::string nick;
    std::string host;    // user@host
    std::string prefix;  // "@", "+", ... or empty
    std::string realname;
    bool away = false;
    time_t lasttalk = 0;
    bool selected = false;
};

struct Server {
    int id = 0;
    std::string servername;
    std::string hostname;
    std::string network;  // empty: not from the network list (the client then answers NULL)
    std::string nick;
    std::string chantypes = "#&!+";
    std::string nickprefixes = "@%+";
    std::string nickmodes = "ohv";
    bool connected = true;
    bool away = false;
    std::string away_reason;
    int lag = 0;
    int queue = 0;
    int maxmodes = 3;
    Context* tab = nullptr;    // the server tab
    Context* front = nullptr;  // the tab of this server that was focused last
};

struct Context {
    enum Type { ServerTab = 1, Channel = 2, Dialog = 3 };

    int serial = 0;
    Server* server = nullptr;
    std::string channel;  // channel name, dialog partner, or server name for the server tab
    Type type = ServerTab;
    std::vector<User> users;
    std::string topic;
    std::string inputbox;
    bool joined = false;  // channels: the local user is in it
    bool open = true;     // closed tabs stay in memory so stale handles can be recognised

    xchat_context* handle() { return reinterpret_cast<xchat_context*>(this); }
    User* find_user(std::string_view nick);
};

struct Ignore {
    std::string mask;
    int flags = 0;
};

// Ignore type bits of the client.
enum IgnoreFlag : int {
    IG_PRIV = 1,
    IG_NOTI = 2,
    IG_CHAN = 4,
    IG_CTCP = 8,
    IG_INVI = 16,
    IG_UNIG = 32,
    IG_NOSAVE = 64,
    IG_DCC = 128,
};

struct Dcc {
    uint32_t address32 = 0;
    int cps = 0;
    std::string destfile;
    std::string file;
    std::string nick;
    int port = 0;
    int pos = 0;
    int resume = 0;
    int size = 0;
    int sizehigh = 0;
    int status = 0;  // 0 queued, 1 active, 2 failed, 3 done, 4 connecting, 5 aborted
    int type = 0;    // 0 send, 1 recv, 2 chat recv, 3 chat send
};

struct Notify {
    std::string nick;
    int online = 0;
    time_t on = 0, off = 0, seen = 0;
};

struct Hook {
    int serial = 0;
    HookKind kind = HookKind::Command;
    std::string name;  // command, server message, print event; empty for timers
    int priority = 0;
    bool has_help = false;
    std::string help;
    int timeout_ms = 0;  // timers
    bool removed = false;
    // Used by the simulator only.
    xchat_cmd_cb command_cb = nullptr;  // command and server hooks
    xchat_print_cb print_cb = nullptr;
    xchat_timer_cb timer_cb = nullptr;
    void* userdata = nullptr;
    struct PluginHandle* owner = nullptr;
    int64_t due_ms = 0;
};

// One line shown in a client window.
struct Printed {
    const Context* ctx = nullptr;
    std::string text;   // raw bytes as given (colour codes included)
    std::string event;  // print event that produced it; empty for plain prints
    Origin origin = Origin::Client;
};

struct EventRecord {
    const Context* ctx = nullptr;
    std::string name;
    std::vector<std::string> args;
    bool eaten = false;  // a hook returned EAT_XCHAT: the client did not display it
};

struct CommandRecord {
    const Context* ctx = nullptr;
    std::string text;  // without the command character; for plain typed text, the text
    std::string name;  // first word, as written; empty for plain text
    Origin origin = Origin::User;
    bool eaten = false;           // a command hook returned EAT_XCHAT
    bool reached_client = false;  // the client's own handling ran
    bool dropped = false;         // plug-in command without a valid context: the client ignored it
};

struct SentLine {
    const Server* server = nullptr;
    std::string line;
};

struct ListRead {
    std::string list;
    int row = 0;
    std::string field;
};

// A client "/TIMER" waiting to run.
struct ClientTimer {
    int ref = 0;
    int timeout_ms = 0;
    int repeat = 1;
    bool forever = false;
    std::string command;
    Context* ctx = nullptr;
    int64_t due_ms = 0;
    int serial = 0;
};

// A plug-in library as the client loaded it.
struct Loaded {
    std::string path;
    std::string name, description, version;  // as the plug-in gave them at init
    int init_result = 0;
    bool loaded = false;
    xchat_plugin* handle = nullptr;
};

struct UnloadResult {
    int deinit_result = 0;
    int hooks_left = 0;     // hooks the plug-in left registered (the client then removes them)
    std::vector<std::string> hooks_left_names;
    int lists_left = 0;     // lists the plug-in still held
    bool identity_intact = true;  // name, description, version texts unchanged up to deinit
};

class Sim {
public:
    explicit Sim(Naming naming = Naming::XChat);
    ~Sim();
    Sim(const Sim&) = delete;
    Sim& operator=(const Sim&) = delete;

    // ---- client identity and preferences
    void set_naming(Naming naming) { naming_ = naming; }
    Naming naming() const { return naming_; }
    void set_version(std::string version) { version_ = std::move(version); }
    // Set by either client's name; false for a name unknown to both.
    bool set_pref(std::string_view name, int value);
    bool set_pref(std::string_view name, std::string value);
    // Lookup as get_prefs does: 0 unknown (in the current naming), 1 text, 2 int, 3 bool.
    int get_pref(std::string_view name, const char** text, int* integer) const;
    // Current value by either client's name (0 or empty when unknown).
    int pref_int(std::string_view name) const;
    std::string pref_text(std::string_view name) const;

    // ---- client model (changes made here emit no events)
    Server& add_server(std::string servername, std::string nick, std::string network = {},
                       std::string hostname = {});
    Context& channel(Server& server, std::string_view name);  // existing open tab or a new joined one
    Context& dialog(Server& server, std::string_view nick);
    User& add_user(Context& channel, std::string nick, std::string host = {}, std::string prefix = {});
    void remove_user(Context& channel, std::string_view nick);
    Context* find_tab(const Server& server, std::string_view name);
    void close(Context& ctx);  // closes the tab (a server tab closes all tabs of its server)
    // A new tab of `closed`'s server at the address of that closed tab, as the
    // client's allocator may hand a freed session back for the next window.
    Context& reopen(Context& closed, std::string name, Context::Type type);
    Context* focused() const { return focused_; }
    Context& front(Server& server);  // the tab where the client shows that server's messages
    std::vector<Context*> tabs() const;  // open tabs, in the order of the client's "channels" list
    std::vector<Server*> servers() const;

    std::vector<Ignore>& ignores() { return ignores_; }
    std::vector<Dcc>& dccs() { return dccs_; }
    std::vector<Notify>& notifies() { return notifies_; }
    Ignore* find_ignore(std::string_view mask);

    // ---- plug-ins
    // Loads a library with dlopen and runs its init in `where` (default: the focused tab).
    Loaded& load(const std::string& path, const char* arg = nullptr, Context* where = nullptr);
    UnloadResult unload(Loaded& plugin);
    // A plug-in handle with no library behind it, for plug-in code linked into the test.
    xchat_plugin* attach(std::string name = "test", Context* where = nullptr);
    void detach(xchat_plugin* handle);
    const std::vector<std::unique_ptr<Loaded>>& loaded() const { return libraries_; }

    // ---- drivers
    // A raw line from `server`; true when a server hook ate it.
    bool server_line(Server& server, std::string_view line);
    // The user types into the input box of `ctx` ("/CMD args" or text to say).
    void type(Context& ctx, std::string_view input);
    // A command without the command character, run as the client's handle_command.
    void command(Context& ctx, std::string_view text, Origin origin = Origin::User);
    // The client emits a print event in `ctx`; true when a hook ate it.
    bool print_event(Context& ctx, std::string_view event, const std::vector<std::string>& args = {});
    void focus(Context& ctx);  // switches tab: "Focus Tab"
    void focus_window();       // the main window gets focus: "Focus Window"
    void advance(double seconds);  // moves the clock, running due timers on the way
    time_t now() const;
    void set_time(time_t t);

    // ---- what the client does on its own (also used by its commands)
    void client_print(Context& ctx, std::string text, Origin origin = Origin::Client);
    void send(Server& server, std::string line);
    int add_timer(Context& ctx, int ref, int timeout_ms, int repeat, std::string command);
    bool delete_timer(int ref);  // the first timer with that ref
    const std::vector<ClientTimer>& timers() const { return timers_; }
    void say(Context& ctx, std::string_view text, Origin origin);
    void focus_new_tab(Context& ctx);  // focuses a new tab when "tab_new_to_front" asks for it

    // ---- records
    std::vector<const Hook*> hooks(HookKind kind) const;  // live hooks, in run order
    int count_hooks(HookKind kind, std::string_view name) const;
    int count_hooks(HookKind kind) const;

    const std::vector<Printed>& printed() const { return printed_; }
    std::vector<std::string> texts_in(const Context& ctx) const;
    int count_printed(std::string_view text) const;             // exact text
    int count_printed_containing(std::string_view part) const;  // substring
    const std::vector<EventRecord>& events() const { return events_; }
    int count_events(std::string_view name) const;
    const std::vector<CommandRecord>& commands() const { return commands_; }
    int count_issued(std::string_view text) const;  // commands the plug-in issued, exact text
    bool reached_client(std::string_view name) const;
    bool eaten(std::string_view name) const;
    const std::vector<SentLine>& sent() const { return sent_; }
    int count_sent(std::string_view line) const;
    const std::vector<ListRead>& list_reads() const { return list_reads_; }
    int list_gets(std::string_view name) const;
    int open_lists() const;
    void clear_records();

    // From now on the interface call named (as in the fault texts: "get_context",
    // "print", ...) throws std::runtime_error at the plug-in; empty: none does.
    void throw_in(std::string call) { throw_in_ = std::move(call); }
    const std::string& throwing_call() const { return throw_in_; }

    const std::vector<std::string>& faults() const { return faults_; }
    void set_abort_on_fault(bool abort_on_fault) { abort_on_fault_ = abort_on_fault; }
    void fault(bool fatal, std::string message);

    static constexpr time_t kStartTime = 1700000000;

private:
    friend struct Api;
    friend struct ListApi;
    friend struct ListAccess;

    struct Pref {
        const char* xchat_name;
        const char* hexchat_name;  // null: the name does not exist in HexChat
        int type;                  // as get_prefs answers: 1 text, 2 int, 3 bool
        std::string text;
        int value;
    };
    Pref* find_pref(std::string_view name, bool either_naming);
    const Pref* find_pref(std::string_view name, bool either_naming) const;

    Context& new_tab(Server& server, std::string name, Context::Type type);
    void move_focus_away(const Context& closing);
    bool run_hooks(HookKind kind, std::string_view name, Context* ctx, char** word, char** word_eol);
    Hook& add_hook(PluginHandle* owner, Hook hook);
    bool remove_hook(PluginHandle* owner, Hook* hook);
    int hooks_of(const PluginHandle* owner) const;
    PluginHandle& new_handle(std::string name, Context* where);
    void release_handle(PluginHandle& handle);
    bool fire_next_timer(int64_t until_ms);
    void fire_hook_timer(Hook& hook);
    void fire_client_timer(int serial);

    Naming naming_;
    std::string version_ = "2.8.6";
    std::vector<Pref> prefs_;

    std::vector<std::unique_ptr<Server>> servers_;
    std::vector<std::unique_ptr<Context>> contexts_;  // all ever made; open ones are tabs
    std::vector<Context*> tab_order_;                 // newest first, as the client keeps them
    Context* focused_ = nullptr;
    std::vector<Ignore> ignores_;
    std::vector<Dcc> dccs_;
    std::vector<Notify> notifies_;
    int next_serial_ = 1;

    std::vector<std::unique_ptr<PluginHandle>> handles_;  // never freed: stale handles stay recognisable
    std::vector<std::unique_ptr<Loaded>> libraries_;
    std::vector<std::unique_ptr<struct SimList>> lists_;  // never freed: stale handles stay recognisable
    std::vector<std::unique_ptr<Hook>> all_hooks_;
    std::vector<Hook*> hook_order_;
    std::vector<ClientTimer> timers_;
    int command_depth_ = 0;

    std::vector<Printed> printed_;
    std::vector<EventRecord> events_;
    std::vector<CommandRecord> commands_;
    std::vector<SentLine> sent_;
    std::vector<ListRead> list_reads_;
    std::map<std::string, int> list_gets_;
    std::vector<std::string> faults_;
    bool abort_on_fault_ = true;
    std::string throw_in_;
};

// rfc1459 comparison of nicknames and channels, as the client's nickcmp.
int rfc_casecmp(std::string_view a, std::string_view b);

}  // namespace hostsim
