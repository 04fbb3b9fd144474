// The plug-in interface table: each slot checks its handle and forwards to the simulator.
#include "internal.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace hostsim {

namespace {

std::vector<PluginHandle*>& registry()
{
    static std::vector<PluginHandle*> handles;
    return handles;
}

std::string vformat(const char* format, va_list ap)
{
    va_list copy;
    va_copy(copy, ap);
    int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (size <= 0) return {};
    std::string text(static_cast<size_t>(size), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, ap);
    return text;
}

bool is_colour_digit(char c) { return c >= '0' && c <= '9'; }

// The client's colour and attribute stripping (flags: 1 colours, 2 attributes).
std::string strip_codes(std::string_view text, int flags)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\003' && (flags & 1)) {
            for (int n = 0; n < 2 && i + 1 < text.size() && is_colour_digit(text[i + 1]); ++n) ++i;
            if (i + 2 < text.size() && text[i + 1] == ',' && is_colour_digit(text[i + 2])) {
                ++i;
                for (int n = 0; n < 2 && i + 1 < text.size() && is_colour_digit(text[i + 1]); ++n) ++i;
            }
            continue;
        }
        if ((flags & 2) && std::strchr("\002\017\026\037\035", c) && c) continue;
        out += c;
    }
    return out;
}

}  // namespace

void register_handle(PluginHandle* handle) { registry().push_back(handle); }

PluginHandle* handle_of(const xchat_plugin* ph)
{
    for (PluginHandle* h : registry())
        if (&h->api == ph) return h;
    return nullptr;
}

void forget_handles(const Sim& sim)
{
    std::erase_if(registry(), [&](const PluginHandle* h) { return h->sim == &sim; });
}

PluginHandle& checked_handle(xchat_plugin* ph, const char* call)
{
    PluginHandle* h = handle_of(ph);
    if (!h) {
        std::fprintf(stderr, "hostsim: FATAL: %s with a handle the client never gave out\n", call);
        std::abort();
    }
    if (!h->alive) h->sim->fault(true, std::string(call) + " from a plug-in that is unloaded");
    if (!h->sim->throwing_call().empty() && h->sim->throwing_call() == call)
        throw std::runtime_error(std::string("hostsim: ") + call + " throws as the test asked");
    return *h;
}

struct Api {
    static PluginHandle& self(xchat_plugin* ph, const char* call) { return checked_handle(ph, call); }

    static Context* known_context(Sim& sim, xchat_context* handle)
    {
        for (const auto& c : sim.contexts_)
            if (c->handle() == handle) return c.get();
        return nullptr;
    }

    // The plug-in's current context when it is still an open tab.
    static Context* current(PluginHandle& h) { return h.context && h.context->open ? h.context : nullptr; }

    static xchat_hook* add(PluginHandle& h, Hook hook)
    {
        if (hook.kind != HookKind::Timer && hook.kind != HookKind::Fd && hook.name.empty())
            h.sim->fault(false, "hook without a name");
        return reinterpret_cast<xchat_hook*>(&h.sim->add_hook(&h, std::move(hook)));
    }

    static Hook new_hook(HookKind kind, const char* name, int priority, void* userdata)
    {
        Hook h;
        h.kind = kind;
        h.name = name ? name : "";
        h.priority = priority;
        h.userdata = userdata;
        return h;
    }

    static xchat_hook* hook_command(xchat_plugin* ph, const char* name, int pri, xchat_cmd_cb cb, const char* help,
                                    void* userdata)
    {
        Hook h = new_hook(HookKind::Command, name, pri, userdata);
        h.has_help = help != nullptr;
        h.help = help ? help : "";
        h.command_cb = cb;
        return add(self(ph, "hook_command"), std::move(h));
    }

    static xchat_hook* hook_server(xchat_plugin* ph, const char* name, int pri, xchat_cmd_cb cb, void* userdata)
    {
        Hook h = new_hook(HookKind::Server, name, pri, userdata);
        h.command_cb = cb;
        return add(self(ph, "hook_server"), std::move(h));
    }

    static xchat_hook* hook_print(xchat_plugin* ph, const char* name, int pri, xchat_print_cb cb, void* userdata)
    {
        Hook h = new_hook(HookKind::Print, name, pri, userdata);
        h.print_cb = cb;
        return add(self(ph, "hook_print"), std::move(h));
    }

    static xchat_hook* hook_timer(xchat_plugin* ph, int timeout, xchat_timer_cb cb, void* userdata)
    {
        Hook h = new_hook(HookKind::Timer, nullptr, XCHAT_PRI_NORM, userdata);
        h.timeout_ms = timeout;
        h.timer_cb = cb;
        return add(self(ph, "hook_timer"), std::move(h));
    }

    static xchat_hook* hook_fd(xchat_plugin* ph, int, int, xchat_fd_cb, void* userdata)
    {
        // Recorded, never fires: the simulator has no descriptors to watch.
        return add(self(ph, "hook_fd"), new_hook(HookKind::Fd, nullptr, XCHAT_PRI_NORM, userdata));
    }
    static void* unhook(xchat_plugin* ph, xchat_hook* handle)
    {
        PluginHandle& h = self(ph, "unhook");
        Hook* hook = reinterpret_cast<Hook*>(handle);
        if (!hook) {
            h.sim->fault(true, "unhook(NULL)");
            return nullptr;
        }
        return h.sim->remove_hook(&h, hook) ? hook->userdata : nullptr;
    }

    static void print(xchat_plugin* ph, const char* text)
    {
        PluginHandle& h = self(ph, "print");
        Context* ctx = current(h);
        if (!text) h.sim->fault(false, "print(NULL)");
        else if (!ctx) h.sim->fault(false, "print without a valid context: " + std::string(text));
        else h.sim->client_print(*ctx, text, Origin::Plugin);
    }

    static void printf(xchat_plugin* ph, const char* format, ...)
    {
        va_list ap;
        va_start(ap, format);
        std::string text = vformat(format, ap);
        va_end(ap);
        print(ph, text.c_str());
    }

    static void command(xchat_plugin* ph, const char* text)
    {
        PluginHandle& h = self(ph, "command");
        Context* ctx = current(h);
        if (!text) {
            h.sim->fault(false, "command(NULL)");
        } else if (!ctx) {  // the client ignores it
            CommandRecord r;
            r.text = text;
            r.origin = Origin::Plugin;
            r.dropped = true;
            h.sim->commands_.push_back(std::move(r));
        } else {
            h.sim->command(*ctx, text, Origin::Plugin);
        }
    }

    static void commandf(xchat_plugin* ph, const char* format, ...)
    {
        va_list ap;
        va_start(ap, format);
        std::string text = vformat(format, ap);
        va_end(ap);
        command(ph, text.c_str());
    }

    static int nickcmp(xchat_plugin* ph, const char* a, const char* b)
    {
        self(ph, "nickcmp");
        return rfc_casecmp(a ? a : "", b ? b : "");
    }

    static int set_context(xchat_plugin* ph, xchat_context* handle)
    {
        PluginHandle& h = self(ph, "set_context");
        Context* ctx = known_context(*h.sim, handle);
        if (!ctx || !ctx->open) return 0;
        h.context = ctx;
        return 1;
    }

    static xchat_context* find_context(xchat_plugin* ph, const char* servname, const char* channel)
    {
        PluginHandle& h = self(ph, "find_context");
        Sim& sim = *h.sim;
        if (!servname && !channel) return sim.focused_ ? sim.focused_->handle() : nullptr;
        Context* elsewhere = nullptr;
        for (const auto& server : sim.servers_) {
            const Server& s = *server;
            std::string_view net = s.network.empty() ? s.servername : s.network;
            bool match = !servname || rfc_casecmp(servname, s.servername) == 0 || iequals(servname, s.hostname) ||
                         iequals(servname, net);
            if (!match) continue;
            if (!channel) {
                if (s.front && s.front->open) return s.front->handle();
                continue;
            }
            for (Context* c : sim.tab_order_) {
                if (c->server != &s || rfc_casecmp(channel, c->channel) != 0) continue;
                if (h.context && c->server == h.context->server) return c->handle();
                if (!elsewhere) elsewhere = c;
            }
        }
        return elsewhere ? elsewhere->handle() : nullptr;
    }

    static xchat_context* get_context(xchat_plugin* ph)
    {
        PluginHandle& h = self(ph, "get_context");
        return h.context ? h.context->handle() : nullptr;
    }

    static const char* get_info(xchat_plugin* ph, const char* id)
    {
        PluginHandle& h = self(ph, "get_info");
        Sim& sim = *h.sim;
        std::string_view key = id ? id : "";
        if (key == "version") return sim.version_.c_str();
        if (key == "libdirfs") return "/usr/lib/xchat/plugins";
        if (key == "xchatdir" || key == "xchatdirfs" || key == "configdir") {
            const char* home = std::getenv("HOME");
            bool hexchat = sim.naming_ == Naming::HexChat;
            h.info_scratch = std::string(home ? home : "") + (hexchat ? "/.config/hexchat" : "/.xchat2");
            return h.info_scratch.c_str();
        }
        Context* ctx = current(h);
        if (!ctx) return nullptr;
        Server& s = *ctx->server;
        if (key == "away") return s.away ? s.away_reason.c_str() : nullptr;
        if (key == "channel") return ctx->channel.c_str();
        if (key == "charset") return "UTF-8";
        if (key == "host") return s.hostname.c_str();
        if (key == "inputbox") return ctx->inputbox.c_str();
        if (key == "network") return s.network.empty() ? nullptr : s.network.c_str();
        if (key == "nick") return s.nick.c_str();
        if (key == "server") return s.connected ? s.servername.c_str() : nullptr;
        if (key == "topic") return ctx->topic.c_str();
        if (key == "win_status") return ctx == sim.focused_ ? "active" : "normal";
        if (key == "win_ptr" || key == "gtkwin_ptr") return static_cast<const char*>(window_widget(ctx));
        return nullptr;
    }

    static int get_prefs(xchat_plugin* ph, const char* name, const char** text, int* integer)
    {
        PluginHandle& h = self(ph, "get_prefs");
        if (!name) {
            h.sim->fault(false, "get_prefs(NULL)");
            return 0;
        }
        if (iequals(name, "state_cursor")) {
            *integer = 0;
            return 2;
        }
        if (iequals(name, "id")) {
            Context* ctx = current(h);
            *integer = ctx ? ctx->server->id : 0;
            return 2;
        }
        return h.sim->get_pref(name, text, integer);
    }

    static void* plugingui_add(xchat_plugin* ph, const char*, const char*, const char*, const char*, char*)
    {
        return &self(ph, "plugingui_add");
    }

    static void plugingui_remove(xchat_plugin* ph, void*) { self(ph, "plugingui_remove"); }

    static int emit_print(xchat_plugin* ph, const char* event, ...)
    {
        PluginHandle& h = self(ph, "emit_print");
        std::vector<std::string> args;
        va_list ap;
        va_start(ap, event);
        for (int i = 0; i < 4; ++i) {
            const char* arg = va_arg(ap, const char*);
            if (!arg) break;
            args.emplace_back(arg);
        }
        va_end(ap);
        Context* ctx = current(h);
        if (!ctx || !event) return 0;
        h.sim->print_event(*ctx, event, args);
        return 1;
    }

    static int read_fd(xchat_plugin* ph, void*, char*, int* len)
    {
        self(ph, "read_fd");
        if (len) *len = 0;
        return 0;
    }

    static char* gettext(xchat_plugin* ph, const char* msgid)
    {
        self(ph, "gettext");
        return const_cast<char*>(msgid);
    }

    static void send_modes(xchat_plugin* ph, const char** targets, int ntargets, int per_line, char sign, char mode)
    {
        PluginHandle& h = self(ph, "send_modes");
        Context* ctx = current(h);
        if (!ctx || per_line <= 0) return;
        for (int i = 0; i < ntargets; i += per_line) {
            int n = std::min(per_line, ntargets - i);
            std::string line = "MODE " + ctx->channel + " " + sign + std::string(static_cast<size_t>(n), mode);
            for (int j = 0; j < n; ++j) line += std::string(" ") + targets[i + j];
            h.sim->send(*ctx->server, line);
        }
    }

    static char* strip(xchat_plugin* ph, const char* str, int len, int flags)
    {
        self(ph, "strip");
        if (!str) return nullptr;
        std::string_view text(str, len < 0 ? std::strlen(str) : static_cast<size_t>(len));
        return strdup(strip_codes(text, flags).c_str());
    }

    static void free(xchat_plugin* ph, void* ptr)
    {
        self(ph, "free");
        std::free(ptr);
    }
};

void fill_interface(xchat_plugin& api)
{
    api.xchat_hook_command = Api::hook_command;
    api.xchat_hook_server = Api::hook_server;
    api.xchat_hook_print = Api::hook_print;
    api.xchat_hook_timer = Api::hook_timer;
    api.xchat_hook_fd = Api::hook_fd;
    api.xchat_unhook = Api::unhook;
    api.xchat_print = Api::print;
    api.xchat_printf = Api::printf;
    api.xchat_command = Api::command;
    api.xchat_commandf = Api::commandf;
    api.xchat_nickcmp = Api::nickcmp;
    api.xchat_set_context = Api::set_context;
    api.xchat_find_context = Api::find_context;
    api.xchat_get_context = Api::get_context;
    api.xchat_get_info = Api::get_info;
    api.xchat_get_prefs = Api::get_prefs;
    api.xchat_list_get = ListApi::get;
    api.xchat_list_free = ListApi::free;
    api.xchat_list_fields = ListApi::fields;
    api.xchat_list_next = ListApi::next;
    api.xchat_list_str = ListApi::str;
    api.xchat_list_int = ListApi::integer;
    api.xchat_plugingui_add = Api::plugingui_add;
    api.xchat_plugingui_remove = Api::plugingui_remove;
    api.xchat_emit_print = Api::emit_print;
    api.xchat_read_fd = Api::read_fd;
    api.xchat_list_time = ListApi::time;
    api.xchat_gettext = Api::gettext;
    api.xchat_send_modes = Api::send_modes;
    api.xchat_strip = Api::strip;
    api.xchat_free = Api::free;
}

}  // namespace hostsim
