// Typing into the client's input box. The plug-in links no GTK: the client's
// own copy is looked up at run time, and a client without one (or a window
// whose input box cannot be found) is served through its SETTEXT command.
#include "host/host.h"

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

namespace {

using GType = unsigned long;
using WidgetVisitor = void (*)(void* widget, void* data);

// The GTK 2 and GObject calls used here; all present or the GTK way is not taken.
struct GtkCalls {
    GType (*entry_get_type)();
    GType (*container_get_type)();
    int (*type_check_instance_is_a)(void* instance, GType type);
    void (*container_forall)(void* container, WidgetVisitor visit, void* data);
    const char* (*widget_get_name)(void* widget);
    int (*entry_get_max_length)(void* entry);
    void (*widget_grab_focus)(void* widget);
    int (*editable_get_position)(void* editable);
    void (*editable_insert_text)(void* editable, const char* text, int length, int* position);
    void (*editable_set_position)(void* editable, int position);
    unsigned long (*signal_emit_by_name)(void* instance, const char* signal, ...);

    bool complete() const
    {
        return entry_get_type && container_get_type && type_check_instance_is_a && container_forall &&
               widget_get_name && entry_get_max_length && widget_grab_focus && editable_get_position &&
               editable_insert_text && editable_set_position && signal_emit_by_name;
    }
};

const GtkCalls* gtk()
{
    static const GtkCalls calls = [] {
        GtkCalls c{};
        find_client_function(c.entry_get_type, "gtk_entry_get_type");
        find_client_function(c.container_get_type, "gtk_container_get_type");
        find_client_function(c.type_check_instance_is_a, "g_type_check_instance_is_a");
        find_client_function(c.container_forall, "gtk_container_forall");
        find_client_function(c.widget_get_name, "gtk_widget_get_name");
        find_client_function(c.entry_get_max_length, "gtk_entry_get_max_length");
        find_client_function(c.widget_grab_focus, "gtk_widget_grab_focus");
        find_client_function(c.editable_get_position, "gtk_editable_get_position");
        find_client_function(c.editable_insert_text, "gtk_editable_insert_text");
        find_client_function(c.editable_set_position, "gtk_editable_set_position");
        find_client_function(c.signal_emit_by_name, "g_signal_emit_by_name");
        return c;
    }();
    return calls.complete() ? &calls : nullptr;
}

// A client command, run as given: the text typed by the user is not translated.
void raw_command(const std::string& text)
{
    if (xchat_plugin* h = plugin().raw()) h->xchat_command(h, text.c_str());
}

bool ends_with(std::string_view text, std::string_view tail)
{
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// The client names its text boxes "...-inputbox": the topic and the channel
// key and limit boxes too. The key and limit boxes hold a few characters, the
// others have no limit, and the input box is the last of those, at the bottom
// of the window.
struct InputBoxSearch {
    const GtkCalls* gtk;
    void* best = nullptr;
    int best_room = -1;
};

void visit_widget(void* widget, void* data)
{
    auto& search = *static_cast<InputBoxSearch*>(data);
    const GtkCalls& g = *search.gtk;
    if (g.type_check_instance_is_a(widget, g.entry_get_type())) {
        const char* name = g.widget_get_name(widget);
        if (!name || !ends_with(name, "-inputbox")) return;
        const int limit = g.entry_get_max_length(widget);
        const int room = limit == 0 ? INT_MAX : limit;
        if (room >= search.best_room) {
            search.best = widget;
            search.best_room = room;
        }
    } else if (g.type_check_instance_is_a(widget, g.container_get_type())) {
        g.container_forall(widget, visit_widget, data);
    }
}

// The input box of the window of `sess`, when the client has GTK and shows one.
void* gtk_input_box(HostSession* sess)
{
    const GtkCalls* g = gtk();
    if (!g) return nullptr;
    void* window = nullptr;
    in_session(sess, nullptr, [&window] { window = const_cast<char*>(plugin().get_info("win_ptr")); });
    if (!window || !g->type_check_instance_is_a(window, g->container_get_type())) return nullptr;
    InputBoxSearch search{g};
    g->container_forall(window, visit_widget, &search);
    return search.best;
}

// One call is never several commands: line breaks go.
std::string one_line(std::string text)
{
    strip_line_breaks(text);
    return text;
}

size_t utf8_length(const std::string& text)
{
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string input_box_text(HostSession* sess)
{
    std::string text;
    in_session(sess, nullptr, [&text] {
        const char* box = plugin().get_info("inputbox");
        text = box ? box : "";
    });
    return text;
}

}  // namespace

void* client_function(const char* name) { return dlsym(RTLD_DEFAULT, name); }

void input_box_insert(HostSession* sess, const char* text)
{
    const std::string line = one_line(text ? text : "");
    if (line.empty()) return;
    if (void* box = gtk_input_box(sess)) {
        const GtkCalls& g = *gtk();
        g.widget_grab_focus(box);
        int position = g.editable_get_position(box);
        g.editable_insert_text(box, line.c_str(), static_cast<int>(line.size()), &position);
        g.editable_set_position(box, position);
        return;
    }
    // Without GTK the cursor position is unknown: the text goes at the end.
    const std::string box = one_line(input_box_text(sess) + line);
    in_session(sess, "input_box_insert", [&box] {
        raw_command("SETTEXT " + box);
        raw_command("SETCURSOR " + std::to_string(utf8_length(box)));
    });
}

void input_box_enter(HostSession* sess)
{
    if (void* box = gtk_input_box(sess)) {
        gtk()->signal_emit_by_name(box, "activate");
        return;
    }
    const std::string typed = one_line(input_box_text(sess));
    if (typed.empty()) return;
    // As the client reads typed input: "/command", or text to say ("//" says a leading "/").
    const bool is_command = typed[0] == '/' && typed.compare(0, 2, "//") != 0;
    const std::string command = is_command ? typed.substr(1) : "SAY " + (typed[0] == '/' ? typed.substr(1) : typed);
    in_session(sess, "input_box_enter", [&command] {
        raw_command("SETTEXT");
        raw_command(command);
    });
}
