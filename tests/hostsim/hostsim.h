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
// The reactions follow the client's own code: after our JOIN it sends MODE and
// WHO, WHO and NAMES replies fill the user lists (every prefix kept in the
// order of the server's PREFIX), 005 sets the server's features, the ignore
// list filters incoming lines, CTCP requests get the client's answers, DCC
// offers fill the "dcc" list. Beyond IRC the test program exports stand-ins
// for the GTK calls a plug-in makes (the question dialog, the input box, the
// beep, main-loop time-outs) and the clock the plug-in reads.
//
// Misuse of the interface that would crash or corrupt the real client (a list
// handle used after list_free, a field read before the first list_next, a
// dead plug-in handle) is a fault: reported on standard error and, by default,
// ended with abort(). Softer misuse is recorded in faults() for the test to check.
#pragma once

#include "host/xchat_plugin.h"

#include <cstdint>
#include <ctime>
#include <functional>
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
    std::string host;      // user@host
    std::string prefix;    // the highest prefix the user holds ("@", "+", ...) or empty
    std::string prefixes;  // every prefix the user holds, in the order of the server's PREFIX
    std::string realname;
    std::string servername;
    bool away = false;
    time_t lasttalk = 0;
    bool selected = false;
};

// A channel's users, indexed by nickname as the client compares them, so that
// a busy channel costs O(log N) per join, part or lookup.
class UserList {
    using Map = std::map<std::string, std::unique_ptr<User>, std::less<>>;

public:
    template <typename It, typename Value>
    class Iter {
    public:
        explicit Iter(It it) : it_(it) {}
        Value& operator*() const { return *it_->second; }
        Value* operator->() const { return it_->second.get(); }
        Iter& operator++()
        {
            ++it_;
            return *this;
        }
        bool operator!=(const Iter& other) const { return it_ != other.it_; }
        bool operator==(const Iter& other) const { return it_ == other.it_; }

    private:
        It it_;
    };
    using iterator = Iter<Map::iterator, User>;
    using const_iterator = Iter<Map::const_iterator, const User>;

    User* find(std::string_view nick);
    const User* find(std::string_view nick) const;
    // Adds `user`; when the nickname is already there, that user is returned unchanged.
    User& insert(User user);
    bool erase(std::string_view nick);
    bool rename(std::string_view old_nick, const std::string& new_nick);
    void clear() { by_nick_.clear(); }
    size_t size() const { return by_nick_.size(); }
    bool empty() const { return by_nick_.empty(); }
    iterator begin() { return iterator(by_nick_.begin()); }
    iterator end() { return iterator(by_nick_.end()); }
    const_iterator begin() const { return const_iterator(by_nick_.begin()); }
    const_iterator end() const { return const_iterator(by_nick_.end()); }

private:
    Map by_nick_;
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
    std::string chanmodes = "beI,k,l";  // as 005 CHANMODES: list, always a parameter, when set, never
    bool have_whox = false;
    bool end_of_motd = true;  // servers made by add_server are logged in already
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
    UserList users;
    std::string topic;
    std::string inputbox;
    int cursor = -1;      // position in the input box, in bytes; -1: at the end of the text
    std::string waitchannel;     // a channel tab that left its channel waits here to join it again
    std::string willjoinchannel;  // rejoined when the server's login ends
    std::string channelkey;
    bool doing_who = false;       // the client's own WHO after joining is running: its replies are not shown
    bool end_of_names = false;    // the next 353 starts a fresh list
    bool ignore_names = false;    // the 353 lines after our own JOIN are not shown
    bool ignore_mode = false;     // nor is the first 324 after it
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

// A GLib main-loop source a plug-in added (g_timeout_add): fires as the clock moves.
struct GlibTimeout {
    unsigned id = 0;
    int interval_ms = 0;
    int (*callback)(void*) = nullptr;
    void* data = nullptr;
    int64_t due_ms = 0;
    int serial = 0;
};

// GTK's answer when the window is closed instead of a button pressed.
constexpr int GTK_DELETE_EVENT = -4;

struct DialogButton {
    std::string text;   // as given to the button: a stock id or a label
    std::string label;  // a label set on a stock button afterwards
    int response = 0;
};

// One modal question a plug-in built with the GTK stand-in.
struct QuestionDialog {
    int serial = 0;
    std::string text;
    int message_type = 0;  // GTK_MESSAGE_QUESTION is 2
    int standard_buttons = 0;
    std::vector<DialogButton> buttons;
    bool keep_above = false;
    int position = 0;  // GTK_WIN_POS_CENTER is 1
    int depth = 0;     // 1 for a question asked with no other one open, 2 inside it, ...
    bool ran = false;
    bool destroyed = false;
    bool answered = false;
    int response = 0;
    time_t opened = 0;
    time_t closed = 0;
    bool answered_by_plugin = false;  // gtk_dialog_response from the plug-in (its time-out) rather than the user
};

// What the user does with the next question the plug-in asks.
struct DialogAnswer {
    enum Kind { Button, Close, Wait };
    Kind kind = Wait;  // Wait: nobody answers; the clock moves until the plug-in's own time-out does
    int response = 0;  // for Button
    double after_seconds = 0;  // how long the user looks at it first (the clock moves, timers run)
    std::function<void()> while_open;  // runs inside the dialog's loop before the answer (nested questions)

    static DialogAnswer press(int response, double after = 0) { return {Button, response, after, {}}; }
    static DialogAnswer close() { return {Close, 0, 0, {}}; }
    static DialogAnswer wait() { return {Wait, 0, 0, {}}; }
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

    // ---- a server's connection (reactions as the client has them)
    // The server greets the client: 001 to 005 and the MOTD (375, 372, 376), each as a raw line.
    void login(Server& server, const std::string& isupport = "CHANTYPES=# PREFIX=(ohv)@%+ NETWORK=TestNet");
    // The connection ends without the user asking ("Disconnected" in every tab of the server).
    void connection_lost(Server& server, std::string_view error = "Remote host closed socket");
    // The server's reply to NAMES: 353 lines of a few dozen names each, then 366.
    void names(Server& server, std::string_view channel, const std::vector<std::string>& names);

    // ---- the input box
    void set_input(Context& ctx, std::string text);  // typed without pressing Enter
    void press_enter(Context& ctx);                  // the client takes the text, as typed input
    int pending_key_presses() const { return static_cast<int>(key_presses_.size()); }
    void run_key_presses();  // synthetic key presses the plug-in queued (done after each typed command)

    // ---- the GTK question dialog stand-in (the plug-in finds the gtk_* calls in this process)
    void answer_dialogs(DialogAnswer answer) { dialog_answers_.push_back(std::move(answer)); }
    const std::vector<std::unique_ptr<QuestionDialog>>& dialogs() const { return dialogs_; }
    int max_dialog_depth() const { return max_dialog_depth_; }
    int beeps() const { return beeps_; }
    void count_beep() { ++beeps_; }
    const std::vector<GlibTimeout>& glib_timeouts() const { return glib_timeouts_; }

    // ---- the clock, as the plug-in reads it
    // Runs on every read of the clock by the plug-in, e.g. to move it while a long call runs.
    void on_clock_read(std::function<void()> hook) { clock_hook_ = std::move(hook); }
    int clock_reads() const { return clock_reads_; }
    void clock_was_read();  // the exported clock reports each read here
    void move_clock(double seconds);  // no timer runs: time passes inside a call
    int64_t now_ms() const;
    // The reply the client sends to a CTCP VERSION (without the \001 marks).
    std::string ctcp_version_reply() const;

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
    friend struct GtkStandin;

    struct Pref {
        std::string_view xchat_name;
        std::string_view hexchat_name;  // empty: the name does not exist in HexChat
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
    void fire_glib_timeout(unsigned id);
    void set_time_ms(int64_t ms);
    void run_key_presses_when_idle();
    int run_dialog(QuestionDialog& dialog);
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

    std::vector<GlibTimeout> glib_timeouts_;
    unsigned next_glib_id_ = 1;
    std::vector<std::unique_ptr<QuestionDialog>> dialogs_;
    std::vector<DialogAnswer> dialog_answers_;
    int dialog_depth_ = 0;
    int max_dialog_depth_ = 0;
    int beeps_ = 0;
    std::vector<Context*> key_presses_;  // Return pressed in these input boxes, not yet handled
    std::function<void()> clock_hook_;
    int clock_reads_ = 0;

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
std::string rfc_lower(std::string_view text);

// The user's prefixes as the server's PREFIX orders them (unknown characters dropped).
std::string ordered_prefixes(const Server& server, std::string_view prefixes);

}  // namespace hostsim
