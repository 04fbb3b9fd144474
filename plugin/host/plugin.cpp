// The Plugin wrapper: every call into the client passes through here.
#include "host/host.h"

#include "output/output.h"

#include <utilities.h>

#include <cstdarg>
#include <cstdio>

namespace {

std::unique_ptr<Plugin>& instance()
{
    static std::unique_ptr<Plugin> the_plugin = std::make_unique<Plugin>();
    return the_plugin;
}

}  // namespace

Plugin& plugin() { return *instance(); }

void strip_line_breaks(std::string& command)
{
    std::erase_if(command, [](char c) { return c == '\0' || c == '\r' || c == '\n'; });
}

ContextGuard::ContextGuard() : saved(plugin().get_context()) {}

ContextGuard::~ContextGuard()
{
    Plugin& p = plugin();
    if (saved && p.get_context() != saved) p.set_context(saved);
}

void plugin_install(std::unique_ptr<Plugin> replacement)
{
    instance() = replacement ? std::move(replacement) : std::make_unique<Plugin>();
}

Plugin::Plugin(xchat_plugin* h, const char* n, const char* d, const char* v, const char* a)
    : handle(h), name(n ? n : ""), description(d ? d : ""), version(v ? v : ""), argument(a ? a : "")
{
}

Plugin::~Plugin()
{
    if (handle && held_list) handle->xchat_list_free(handle, held_list);
}

xchat_hook* Plugin::hook_command(const char* n, xchat_cmd_cb callback, const char* help, void* data)
{
    if (empty(n) || !handle) return nullptr;
    return handle->xchat_hook_command(handle, n, XCHAT_PRI_NORM, callback, help, data);
}

xchat_hook* Plugin::hook_print(const char* n, xchat_print_cb callback, void* data)
{
    if (empty(n) || !handle) return nullptr;
    return handle->xchat_hook_print(handle, n, XCHAT_PRI_NORM, callback, data);
}

xchat_hook* Plugin::hook_server(const char* n, xchat_cmd_cb callback, void* data)
{
    if (empty(n) || !handle) return nullptr;
    return handle->xchat_hook_server(handle, n, XCHAT_PRI_NORM, callback, data);
}

void Plugin::unhook(xchat_hook** hook)
{
    if (!hook || !*hook || !handle) return;
    handle->xchat_unhook(handle, *hook);
    *hook = nullptr;
}

void Plugin::command(const char* text)
{
    if (empty(text) || !handle) return;
    std::string translated(text);
    check_special_chars_utf8(translated, 1);
    strip_line_breaks(translated);
    if (translated.empty()) return;
    // The command may run our own hooks, and the client moves our context to theirs.
    ContextGuard back;
    handle->xchat_command(handle, translated.c_str());
}

void Plugin::commandf(const char* format, ...)
{
    if (empty(format)) return;
    va_list ap;
    va_start(ap, format);
    std::string text = vformat(format, ap);
    va_end(ap);
    command(text.c_str());
}

void Plugin::print(const char* text)
{
    if (empty(text) || !handle) return;
    handle->xchat_print(handle, text);
}

void Plugin::printf(const char* format, ...)
{
    if (empty(format) || !handle) return;
    va_list ap;
    va_start(ap, format);
    std::string text = vformat(format, ap);
    va_end(ap);
    check_special_chars_utf8(text, 1);
    print(text.c_str());
}

xchat_context* Plugin::find_context(const char* server, const char* channel)
{
    return handle ? handle->xchat_find_context(handle, server, channel) : nullptr;
}

xchat_context* Plugin::get_context() { return handle ? handle->xchat_get_context(handle) : nullptr; }

int Plugin::set_context(xchat_context* ctx)
{
    if (!ctx || !handle) return 0;
    return handle->xchat_set_context(handle, ctx);
}

const char* Plugin::get_info(const char* id)
{
    if (empty(id) || !handle) return nullptr;
    return handle->xchat_get_info(handle, id);
}

const char* Plugin::get_info_version() { return get_info("version"); }

int Plugin::get_prefs(const char* n, const char** text, int* integer)
{
    if (empty(n) || !handle) return 0;
    return handle->xchat_get_prefs(handle, n, text, integer);
}

int Plugin::nickcmp(const char* a, const char* b)
{
    if (!handle || !a || !b) return a == b ? 0 : 1;
    return handle->xchat_nickcmp(handle, a, b);
}

xchat_list* Plugin::list_get(const char* n, int free_previous)
{
    if (empty(n) || !handle) {
        list_more = 0;
        return nullptr;
    }
    if (free_previous && held_list) list_free();
    held_list = handle->xchat_list_get(handle, n);
    held_name = n;
    if (held_list && handle->xchat_list_next(handle, held_list)) {
        list_more = 1;
        return held_list;
    }
    list_more = 0;
    return nullptr;
}

int Plugin::list_next(xchat_list* list)
{
    xchat_list* target = list ? list : held_list;
    if (!target || !handle) return 0;
    return handle->xchat_list_next(handle, target) ? 1 : 0;
}

const char* Plugin::list_str(const char* field, xchat_list* list)
{
    xchat_list* target = list ? list : held_list;
    if (!target || empty(field) || !handle) return nullptr;
    return handle->xchat_list_str(handle, target, field);
}

int Plugin::list_int(const char* field, xchat_list* list)
{
    xchat_list* target = list ? list : held_list;
    if (!target || empty(field) || !handle) return 0;
    return handle->xchat_list_int(handle, target, field);
}

time_t Plugin::list_time(const char* field, xchat_list* list)
{
    xchat_list* target = list ? list : held_list;
    if (!target || empty(field) || !handle) return 0;
    return handle->xchat_list_time(handle, target, field);
}

void Plugin::list_free(xchat_list** list)
{
    if (!list || !*list) {
        list_free();
        return;
    }
    if (*list == held_list) held_list = nullptr;
    if (handle) handle->xchat_list_free(handle, *list);
    *list = nullptr;
}

void Plugin::list_free()
{
    if (held_list && handle) handle->xchat_list_free(handle, held_list);
    held_list = nullptr;
    list_more = 0;
}

// One step of a cursor pass over a client list: the first call fetches the
// list, each call reads one item, and the call after the last frees it.
template <typename T>
T Plugin::cursor_step(const char* list_name, xchat_list* list, T (Plugin::*read)(const char*, xchat_list*),
                      const char* field, T none)
{
    if (!list && !holds(list_name)) list_get(list_name, 1);
    xchat_list* target = list ? list : held_list;
    if (list_more == 1 && target) {
        T value = (this->*read)(field, target);
        if (!list_next(target)) list_more = 0;
        return value;
    }
    list_free();
    return none;
}

xchat_context* Plugin::list_context(const char* field, xchat_list* list)
{
    return reinterpret_cast<xchat_context*>(const_cast<char*>(list_str(field, list)));
}

xchat_context* Plugin::list_channels_context_ctx(xchat_list* list)
{
    return cursor_step<xchat_context*>("channels", list, &Plugin::list_context, "context", nullptr);
}

const char* Plugin::list_ignore_mask_str(xchat_list* list)
{
    return cursor_step<const char*>("ignore", list, &Plugin::list_str, "mask", nullptr);
}

int Plugin::list_ignore_flags_int(xchat_list* list)
{
    return cursor_step<int>("ignore", list, &Plugin::list_int, "flags", 0);
}
