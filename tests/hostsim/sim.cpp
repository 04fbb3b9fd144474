// The simulated client: its model, plug-ins, hooks, timers and records.
#include "internal.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Milliseconds; the plug-in sees whole seconds.
int64_t sim_clock_ms = hostsim::Sim::kStartTime * 1000;

// The simulator whose clock the plug-in reads: the one made last.
hostsim::Sim* clock_owner = nullptr;

}  // namespace

extern "C" __attribute__((visibility("default"), used)) time_t quibo_hostsim_now()
{
    if (clock_owner) clock_owner->clock_was_read();
    return static_cast<time_t>(sim_clock_ms / 1000);
}

namespace hostsim {

namespace {

constexpr int kMaxCommandDepth = 99;  // the client refuses deeper nesting
constexpr int kMaxTimerRuns = 100000;  // per advance(): a loop that never ends is a fault

bool same_text(const char* given, const std::string& recorded)
{
    return given ? recorded == given : recorded.empty();
}

std::string base_name(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// ---------------------------------------------------------------- preferences

Sim::Sim(Naming naming) : naming_(naming)
{
    sim_clock_ms = kStartTime * 1000;
    clock_owner = this;
    attach_gtk_standin(this);
    prefs_ = {
        {"away_reason", "away_reason", 1, "I'm busy", 0},
        {"away_auto_unmark", "away_auto_unmark", 3, "", 0},
        {"tab_new_to_front", "gui_tab_newtofront", 2, "", 2},
        {"input_perc_ascii", "input_perc_ascii", 3, "", 0},
        {"input_perc_color", "input_perc_color", 3, "", 0},
        {"sound_command", {}, 1, "", 0},
        {"tab_chans", "gui_tab_chans", 3, "", 1},
        {"tab_server", "gui_tab_server", 3, "", 1},
        {"gui_auto_open_dialog", "gui_autoopen_dialog", 3, "", 1},
        {"irc_nick1", "irc_nick1", 1, "simuser", 0},
        {"irc_part_reason", "irc_part_reason", 1, "Leaving", 0},
        {"irc_quit_reason", "irc_quit_reason", 1, "Leaving", 0},
        {"input_command_char", "input_command_char", 1, "/", 0},
        {"irc_who_join", "irc_who_join", 3, "", 1},
        {"irc_hide_version", "irc_hide_version", 3, "", 0},
        {"irc_ban_type", "irc_ban_type", 2, "", 1},
        {"irc_user_name", "irc_user_name", 1, "simuser", 0},
        {"irc_real_name", "irc_real_name", 1, "Simulated User", 0},
    };
}

Sim::~Sim()
{
    for (auto& lib : libraries_)
        if (lib->loaded) unload(*lib);
    forget_handles(*this);
    detach_gtk_standin(this);
    if (clock_owner == this) clock_owner = nullptr;
}

Sim::Pref* Sim::find_pref(std::string_view name, bool either_naming)
{
    for (Pref& p : prefs_) {
        bool xchat = (either_naming || naming_ == Naming::XChat) && iequals(name, p.xchat_name);
        bool hexchat = (either_naming || naming_ == Naming::HexChat) && !p.hexchat_name.empty() &&
                       iequals(name, p.hexchat_name);
        if (xchat || hexchat) return &p;
    }
    return nullptr;
}

const Sim::Pref* Sim::find_pref(std::string_view name, bool either_naming) const
{
    return const_cast<Sim*>(this)->find_pref(name, either_naming);
}

bool Sim::set_pref(std::string_view name, int value)
{
    Pref* p = find_pref(name, true);
    if (!p || p->type == 1) return false;
    p->value = p->type == 3 ? (value != 0) : value;
    return true;
}

bool Sim::set_pref(std::string_view name, std::string value)
{
    Pref* p = find_pref(name, true);
    if (!p || p->type != 1) return false;
    p->text = std::move(value);
    return true;
}

int Sim::get_pref(std::string_view name, const char** text, int* integer) const
{
    const Pref* p = find_pref(name, false);
    if (!p) return 0;
    if (p->type == 1) {
        if (text) *text = p->text.c_str();
    } else if (integer) {
        *integer = p->value;
    }
    return p->type;
}

int Sim::pref_int(std::string_view name) const
{
    const Pref* p = find_pref(name, true);
    return p && p->type != 1 ? p->value : 0;
}

std::string Sim::pref_text(std::string_view name) const
{
    const Pref* p = find_pref(name, true);
    return p && p->type == 1 ? p->text : std::string();
}

// ---------------------------------------------------------------- model

Server& Sim::add_server(std::string servername, std::string nick, std::string network, std::string hostname)
{
    auto server = std::make_unique<Server>();
    server->id = static_cast<int>(servers_.size()) + 1;
    server->hostname = hostname.empty() ? servername : std::move(hostname);
    server->servername = std::move(servername);
    server->nick = std::move(nick);
    server->network = std::move(network);
    Server& s = *servers_.emplace_back(std::move(server));
    s.tab = &new_tab(s, s.servername, Context::ServerTab);
    s.front = s.tab;
    if (!focused_) focused_ = s.tab;
    return s;
}

Context& Sim::new_tab(Server& server, std::string name, Context::Type type)
{
    auto ctx = std::make_unique<Context>();
    ctx->serial = next_serial_++;
    ctx->server = &server;
    ctx->channel = std::move(name);
    ctx->type = type;
    Context& c = *contexts_.emplace_back(std::move(ctx));
    tab_order_.insert(tab_order_.begin(), &c);
    return c;
}

Context* Sim::find_tab(const Server& server, std::string_view name)
{
    for (Context* c : tab_order_)
        if (c->server == &server && rfc_casecmp(c->channel, name) == 0) return c;
    return nullptr;
}

Context& Sim::channel(Server& server, std::string_view name)
{
    Context* c = find_tab(server, name);
    if (!c || c->type != Context::Channel) c = &new_tab(server, std::string(name), Context::Channel);
    c->joined = true;
    return *c;
}

Context& Sim::dialog(Server& server, std::string_view nick)
{
    Context* c = find_tab(server, nick);
    if (c && c->type == Context::Dialog) return *c;
    return new_tab(server, std::string(nick), Context::Dialog);
}

User& Sim::add_user(Context& channel, std::string nick, std::string host, std::string prefix)
{
    std::string prefixes = ordered_prefixes(*channel.server, prefix);
    if (User* existing = channel.find_user(nick)) {
        if (!host.empty()) existing->host = std::move(host);
        existing->prefixes = prefixes;
        existing->prefix = prefixes.substr(0, 1);
        return *existing;
    }
    User u;
    u.nick = std::move(nick);
    u.host = std::move(host);
    u.prefix = prefixes.substr(0, 1);
    u.prefixes = std::move(prefixes);
    return channel.users.insert(std::move(u));
}

void Sim::remove_user(Context& channel, std::string_view nick) { channel.users.erase(nick); }

void Sim::close(Context& ctx)
{
    if (!ctx.open) return;
    if (ctx.type == Context::ServerTab) {
        for (Context* c : std::vector<Context*>(tab_order_))
            if (c->server == ctx.server && c != &ctx) close(*c);
    }
    ctx.open = false;
    std::erase(tab_order_, &ctx);
    if (ctx.server->front == &ctx) ctx.server->front = ctx.server->tab->open ? ctx.server->tab : nullptr;
    if (focused_ == &ctx) move_focus_away(ctx);
}

Context& Sim::reopen(Context& closed, std::string name, Context::Type type)
{
    if (closed.open) {
        fault(false, "reopen of a tab that is still open");
        return closed;
    }
    Server* server = closed.server;
    closed = Context{};
    closed.serial = next_serial_++;
    closed.server = server;
    closed.channel = std::move(name);
    closed.type = type;
    closed.joined = type == Context::Channel;
    tab_order_.insert(tab_order_.begin(), &closed);
    return closed;
}

void Sim::move_focus_away(const Context& closing)
{
    Context* next = nullptr;
    if (closing.server->tab && closing.server->tab->open) next = closing.server->tab;
    if (!next && !tab_order_.empty()) next = tab_order_.back();
    focused_ = nullptr;
    if (next) focus(*next);
}

Context& Sim::front(Server& server)
{
    if (server.front && server.front->open) return *server.front;
    return *server.tab;
}

std::vector<Context*> Sim::tabs() const { return tab_order_; }

std::vector<Server*> Sim::servers() const
{
    std::vector<Server*> out;
    for (const auto& s : servers_) out.push_back(s.get());
    return out;
}

Ignore* Sim::find_ignore(std::string_view mask)
{
    for (Ignore& i : ignores_)
        if (iequals(i.mask, mask)) return &i;
    return nullptr;
}

void Sim::focus(Context& ctx)
{
    if (!ctx.open) {
        fault(false, "focus on a closed tab");
        return;
    }
    focused_ = &ctx;
    ctx.server->front = &ctx;
    print_event(ctx, "Focus Tab");
}

void Sim::focus_window()
{
    if (focused_) print_event(*focused_, "Focus Window");
}

void Sim::focus_new_tab(Context& ctx)
{
    if (pref_int("tab_new_to_front") == 1) focus(ctx);
}

// ---------------------------------------------------------------- plug-ins

PluginHandle& Sim::new_handle(std::string name, Context* where)
{
    auto handle = std::make_unique<PluginHandle>();
    fill_interface(handle->api);
    handle->sim = this;
    handle->name = std::move(name);
    handle->context = where ? where : focused_;
    register_handle(handle.get());
    return *handles_.emplace_back(std::move(handle));
}

void Sim::release_handle(PluginHandle& handle)
{
    for (Hook* h : std::vector<Hook*>(hook_order_))
        if (h->owner == &handle) remove_hook(&handle, h);
    handle.alive = false;
}

Loaded& Sim::load(const std::string& path, const char* arg, Context* where)
{
    Loaded& lib = *libraries_.emplace_back(std::make_unique<Loaded>());
    lib.path = path;
    void* dl = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    if (!dl) {
        const char* error = dlerror();
        fault(false, std::string("dlopen failed: ") + (error ? error : path));
        return lib;
    }
    bool hexchat = naming_ == Naming::HexChat;
    using InitFn = int (*)(xchat_plugin*, char**, char**, char**, char*);
    auto init = reinterpret_cast<InitFn>(dlsym(dl, hexchat ? "hexchat_plugin_init" : "xchat_plugin_init"));
    if (!init) {
        fault(false, "no plug-in init symbol in " + path);
        dlclose(dl);
        return lib;
    }
    PluginHandle& h = new_handle(base_name(path), where);
    h.library = &lib;
    h.dl = dl;
    h.deinit = reinterpret_cast<int (*)(xchat_plugin*)>(
        dlsym(dl, hexchat ? "hexchat_plugin_deinit" : "xchat_plugin_deinit"));
    lib.handle = &h.api;

    char* name = nullptr;
    char* desc = nullptr;
    char* version = nullptr;
    ++h.in_callback;
    lib.init_result = init(&h.api, &name, &desc, &version, const_cast<char*>(arg));
    --h.in_callback;
    h.name_ptr = name;
    h.desc_ptr = desc;
    h.version_ptr = version;
    lib.name = name ? name : "";
    lib.description = desc ? desc : "";
    lib.version = version ? version : "";
    lib.loaded = lib.init_result != 0;
    if (!lib.loaded) {  // the client drops a plug-in whose init fails, hooks and all
        release_handle(h);
        dlclose(dl);
    }
    return lib;
}

UnloadResult Sim::unload(Loaded& lib)
{
    UnloadResult result;
    PluginHandle* h = handle_of(lib.handle);
    if (!lib.loaded || !h) {
        fault(false, "unload of a plug-in that is not loaded: " + lib.path);
        return result;
    }
    if (h->in_callback) fault(true, "plug-in " + lib.path + " unloaded from inside its own callback");
    result.identity_intact = same_text(h->name_ptr, lib.name) && same_text(h->desc_ptr, lib.description) &&
                             same_text(h->version_ptr, lib.version);
    ++h->in_callback;
    result.deinit_result = h->deinit ? h->deinit(&h->api) : 1;
    --h->in_callback;
    result.hooks_left = hooks_of(h);
    for (const Hook* hook : hook_order_)
        if (hook->owner == h) result.hooks_left_names.push_back(hook->name);
    result.lists_left = static_cast<int>(
        std::count_if(lists_.begin(), lists_.end(), [&](const auto& l) { return l->owner == h && !l->freed; }));
    release_handle(*h);
    lib.loaded = false;
    dlclose(h->dl);
    h->dl = nullptr;
    return result;
}

xchat_plugin* Sim::attach(std::string name, Context* where) { return &new_handle(std::move(name), where).api; }

void Sim::detach(xchat_plugin* handle)
{
    if (PluginHandle* h = handle_of(handle)) release_handle(*h);
}

// ---------------------------------------------------------------- hooks

Hook& Sim::add_hook(PluginHandle* owner, Hook hook)
{
    hook.serial = next_serial_++;
    hook.owner = owner;
    if (hook.kind == HookKind::Timer) hook.due_ms = sim_clock_ms + hook.timeout_ms;
    Hook& h = *all_hooks_.emplace_back(std::make_unique<Hook>(std::move(hook)));
    // As the client: before the first hook of the same kind whose priority is not higher.
    auto at = std::find_if(hook_order_.begin(), hook_order_.end(),
                           [&](const Hook* o) { return o->kind == h.kind && o->priority <= h.priority; });
    hook_order_.insert(at, &h);
    return h;
}

bool Sim::remove_hook(PluginHandle* owner, Hook* hook)
{
    auto known = std::find_if(all_hooks_.begin(), all_hooks_.end(), [&](const auto& h) { return h.get() == hook; });
    if (known == all_hooks_.end()) {
        fault(true, "unhook of a hook the client never made");
        return false;
    }
    if (hook->removed) {
        fault(true, "unhook of a hook already removed: " + hook->name);
        return false;
    }
    if (hook->owner != owner) fault(false, "unhook of another plug-in's hook: " + hook->name);
    hook->removed = true;
    std::erase(hook_order_, hook);
    return true;
}

int Sim::hooks_of(const PluginHandle* owner) const
{
    return static_cast<int>(
        std::count_if(hook_order_.begin(), hook_order_.end(), [&](const Hook* h) { return h->owner == owner; }));
}

bool Sim::run_hooks(HookKind kind, std::string_view name, Context* ctx, char** word, char** word_eol)
{
    std::vector<Hook*> due;
    for (Hook* h : hook_order_) {
        bool named = iequals(h->name, name) || (kind == HookKind::Server && iequals(h->name, "RAW LINE"));
        if (h->kind == kind && named) due.push_back(h);
    }
    bool eat = false;
    for (Hook* h : due) {
        if (h->removed || !h->owner->alive) continue;
        PluginHandle& owner = *h->owner;
        owner.context = ctx;
        ++owner.in_callback;
        int ret = kind == HookKind::Print ? h->print_cb(word, h->userdata) : h->command_cb(word, word_eol, h->userdata);
        --owner.in_callback;
        if ((ret & XCHAT_EAT_XCHAT) && (ret & XCHAT_EAT_PLUGIN)) return true;
        if (ret & XCHAT_EAT_PLUGIN) break;
        if (ret & XCHAT_EAT_XCHAT) eat = true;
    }
    return eat;
}

std::vector<const Hook*> Sim::hooks(HookKind kind) const
{
    std::vector<const Hook*> out;
    for (const Hook* h : hook_order_)
        if (h->kind == kind) out.push_back(h);
    return out;
}

int Sim::count_hooks(HookKind kind, std::string_view name) const
{
    return static_cast<int>(std::count_if(hook_order_.begin(), hook_order_.end(),
                                          [&](const Hook* h) { return h->kind == kind && iequals(h->name, name); }));
}

int Sim::count_hooks(HookKind kind) const { return static_cast<int>(hooks(kind).size()); }

// ---------------------------------------------------------------- drivers

bool Sim::server_line(Server& server, std::string_view line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.empty()) return false;
    WordArrays words(line, false, false);
    char** word = words.word();
    bool prefixed = line.front() == ':';
    word[0] = prefixed ? word[2] : word[1];

    Context* sess = &front(server);
    if (prefixed && word[3][0] && server.chantypes.find(word[3][0]) != std::string::npos) {
        Context* c = find_tab(server, word[3]);
        if (c && c->type == Context::Channel) sess = c;
    }
    if (!sess || !sess->open) return false;
    bool eaten = run_hooks(HookKind::Server, word[0], sess, word, words.word_eol());
    if (!eaten) client_handle_line(*this, server, words.word_eol()[1]);
    run_key_presses_when_idle();
    return eaten;
}

void Sim::type(Context& ctx, std::string_view input)
{
    while (!input.empty()) {  // pasted text: one line at a time
        size_t end = input.find_first_of("\r\n");
        std::string_view line = input.substr(0, end);
        input = end == std::string_view::npos ? std::string_view{} : input.substr(end + 1);
        if (line.empty()) continue;
        if (line[0] != '/') say(ctx, line, Origin::User);
        else if (line.size() > 1 && line[1] == '/') say(ctx, line.substr(1), Origin::User);
        else command(ctx, line.substr(1), Origin::User);
    }
    run_key_presses_when_idle();
}

void Sim::run_key_presses_when_idle()
{
    if (command_depth_ == 0 && dialog_depth_ == 0) run_key_presses();  // the client's main loop takes them next
}

void Sim::command(Context& ctx, std::string_view text, Origin origin)
{
    if (command_depth_ > kMaxCommandDepth) {
        fault(false, "Too many recursive usercommands, aborting.");
        return;
    }
    if (text.empty()) return;
    struct Depth {
        int& d;
        explicit Depth(int& depth) : d(++depth) {}
        ~Depth() { --d; }
    } depth(command_depth_);

    size_t first_blank = text.find(' ');
    std::string name(text.substr(0, first_blank));
    size_t record = commands_.size();
    commands_.push_back({&ctx, std::string(text), name, origin});

    bool quotes = command_handles_quotes(name);
    WordArrays words(text, quotes, quotes);
    bool eaten = run_hooks(HookKind::Command, words.word()[1], &ctx, words.word(), words.word_eol());
    if (record < commands_.size()) commands_[record].eaten = eaten;
    if (eaten || !ctx.open) return;
    if (record < commands_.size()) commands_[record].reached_client = true;
    if (client_handle_command(*this, ctx, words)) return;
    if (ctx.server->connected) send(*ctx.server, std::string(text));
    else client_print(ctx, "Unknown Command. Try /help\n");
}

bool Sim::print_event(Context& ctx, std::string_view event, const std::vector<std::string>& args)
{
    EventWords words(event, args);
    size_t record = events_.size();
    events_.push_back({&ctx, std::string(event), args, false});
    bool eaten = run_hooks(HookKind::Print, event, &ctx, words.word(), nullptr);
    if (record < events_.size()) events_[record].eaten = eaten;
    if (!eaten && event_displayed(event)) printed_.push_back({&ctx, render_event(event, args), std::string(event)});
    return eaten;
}

time_t Sim::now() const { return static_cast<time_t>(sim_clock_ms / 1000); }

int64_t Sim::now_ms() const { return sim_clock_ms; }

void Sim::set_time(time_t t) { sim_clock_ms = static_cast<int64_t>(t) * 1000; }

void Sim::set_time_ms(int64_t ms) { sim_clock_ms = ms; }

void Sim::move_clock(double seconds) { sim_clock_ms += std::llround(seconds * 1000.0); }

void Sim::clock_was_read()
{
    ++clock_reads_;
    if (!clock_hook_) return;
    auto hook = std::move(clock_hook_);  // a read from inside the hook does not run it again
    hook();
    if (!clock_hook_) clock_hook_ = std::move(hook);
}

std::string Sim::ctcp_version_reply() const
{
    return naming_ == Naming::HexChat ? "VERSION HexChat " + version_ + " / Linux" : "VERSION xchat " + version_ + " Linux";
}

void Sim::advance(double seconds)
{
    int64_t until = sim_clock_ms + std::llround(seconds * 1000.0);
    int runs = 0;
    while (fire_next_timer(until)) {
        if (++runs > kMaxTimerRuns) {
            fault(false, "timers keep firing without end");
            break;
        }
    }
    sim_clock_ms = std::max(sim_clock_ms, until);
    run_key_presses_when_idle();
}

bool Sim::fire_next_timer(int64_t until_ms)
{
    Hook* hook = nullptr;
    for (Hook* h : hook_order_)
        if (h->kind == HookKind::Timer && h->due_ms <= until_ms && (!hook || h->due_ms < hook->due_ms)) hook = h;
    const ClientTimer* timer = nullptr;
    for (const ClientTimer& t : timers_)
        if (t.due_ms <= until_ms && (!timer || t.due_ms < timer->due_ms)) timer = &t;
    const GlibTimeout* glib = nullptr;
    for (const GlibTimeout& g : glib_timeouts_)
        if (g.due_ms <= until_ms && (!glib || g.due_ms < glib->due_ms)) glib = &g;
    bool glib_first = glib && (!hook || glib->due_ms <= hook->due_ms) && (!timer || glib->due_ms <= timer->due_ms);
    if (glib_first) {
        sim_clock_ms = std::max(sim_clock_ms, glib->due_ms);
        fire_glib_timeout(glib->id);
        return true;
    }
    if (!hook && !timer) return false;

    bool hook_first = hook && (!timer || hook->due_ms < timer->due_ms ||
                               (hook->due_ms == timer->due_ms && hook->serial < timer->serial));
    sim_clock_ms = std::max(sim_clock_ms, hook_first ? hook->due_ms : timer->due_ms);
    if (hook_first) fire_hook_timer(*hook);
    else fire_client_timer(timer->serial);
    return true;
}

void Sim::fire_hook_timer(Hook& hook)
{
    PluginHandle& owner = *hook.owner;
    owner.context = focused_;  // a timer callback starts in the focused tab
    ++owner.in_callback;
    int keep = hook.timer_cb(hook.userdata);
    --owner.in_callback;
    if (hook.removed) return;
    if (keep) hook.due_ms = sim_clock_ms + std::max(hook.timeout_ms, 1);
    else remove_hook(&owner, &hook);
}

void Sim::fire_client_timer(int serial)
{
    auto find = [&] {
        return std::find_if(timers_.begin(), timers_.end(), [&](const ClientTimer& t) { return t.serial == serial; });
    };
    auto it = find();
    Context* ctx = it->ctx;
    if (!ctx->open) {
        timers_.erase(it);
        return;
    }
    std::string text = it->command;
    command(*ctx, text, Origin::Timer);
    it = find();  // the command may have deleted the timer itself
    if (it == timers_.end()) return;
    if (!it->forever && --it->repeat <= 0) timers_.erase(it);
    else it->due_ms = sim_clock_ms + std::max(it->timeout_ms, 1);
}

// ---------------------------------------------------------------- what the client does

void Sim::client_print(Context& ctx, std::string text, Origin origin)
{
    printed_.push_back({&ctx, std::move(text), {}, origin});
}

void Sim::send(Server& server, std::string line) { sent_.push_back({&server, std::move(line)}); }

int Sim::add_timer(Context& ctx, int ref, int timeout_ms, int repeat, std::string command)
{
    if (ref == 0) {
        ref = 1;
        for (const ClientTimer& t : timers_) ref = std::max(ref, t.ref + 1);
    }
    ClientTimer t;
    t.ref = ref;
    t.timeout_ms = timeout_ms;
    t.repeat = repeat;
    t.forever = repeat == 0;
    t.command = std::move(command);
    t.ctx = &ctx;
    t.due_ms = sim_clock_ms + timeout_ms;
    t.serial = next_serial_++;
    timers_.push_back(std::move(t));
    return ref;
}

bool Sim::delete_timer(int ref)
{
    auto it = std::find_if(timers_.begin(), timers_.end(), [&](const ClientTimer& t) { return t.ref == ref; });
    if (it == timers_.end()) return false;
    timers_.erase(it);
    return true;
}

// ---------------------------------------------------------------- records

std::vector<std::string> Sim::texts_in(const Context& ctx) const
{
    std::vector<std::string> out;
    for (const Printed& p : printed_)
        if (p.ctx == &ctx) out.push_back(p.text);
    return out;
}

int Sim::count_printed(std::string_view text) const
{
    return static_cast<int>(std::count_if(printed_.begin(), printed_.end(), [&](const Printed& p) { return p.text == text; }));
}

int Sim::count_printed_containing(std::string_view part) const
{
    return static_cast<int>(std::count_if(printed_.begin(), printed_.end(),
                                          [&](const Printed& p) { return p.text.find(part) != std::string::npos; }));
}

int Sim::count_events(std::string_view name) const
{
    return static_cast<int>(
        std::count_if(events_.begin(), events_.end(), [&](const EventRecord& e) { return iequals(e.name, name); }));
}

int Sim::count_issued(std::string_view text) const
{
    return static_cast<int>(std::count_if(commands_.begin(), commands_.end(), [&](const CommandRecord& c) {
        return c.origin == Origin::Plugin && c.text == text;
    }));
}

bool Sim::reached_client(std::string_view name) const
{
    return std::any_of(commands_.begin(), commands_.end(),
                       [&](const CommandRecord& c) { return c.reached_client && iequals(c.name, name); });
}

bool Sim::eaten(std::string_view name) const
{
    return std::any_of(commands_.begin(), commands_.end(),
                       [&](const CommandRecord& c) { return c.eaten && iequals(c.name, name); });
}

int Sim::count_sent(std::string_view line) const
{
    return static_cast<int>(std::count_if(sent_.begin(), sent_.end(), [&](const SentLine& s) { return s.line == line; }));
}

int Sim::list_gets(std::string_view name) const
{
    auto it = list_gets_.find(std::string(name));
    return it == list_gets_.end() ? 0 : it->second;
}

int Sim::open_lists() const
{
    return static_cast<int>(std::count_if(lists_.begin(), lists_.end(), [](const auto& l) { return !l->freed; }));
}

void Sim::clear_records()
{
    printed_.clear();
    events_.clear();
    commands_.clear();
    sent_.clear();
    list_reads_.clear();
    list_gets_.clear();
}

void Sim::fault(bool fatal, std::string message)
{
    std::fprintf(stderr, "hostsim: %s%s\n", fatal ? "FATAL: " : "", message.c_str());
    std::fflush(stderr);
    faults_.push_back(std::move(message));
    if (fatal && abort_on_fault_) std::abort();
}

}  // namespace hostsim
