// Stand-ins for the GTK, GDK and GLib calls a plug-in makes in the client's
// process: the modal question dialog, the input box with a synthetic Return
// key press, the beep and main-loop time-outs. The test program exports them
// (-rdynamic), so a plug-in that looks GTK up with dlsym finds these; each
// acts on the simulator that was made last.
#include "internal.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace hostsim {

namespace {

struct Widget {
    enum Kind { MainWindow, GdkWindow, InputBox, TopicBox, Dialog, Button } kind = MainWindow;
    Context* ctx = nullptr;          // MainWindow (the tab's window), InputBox, TopicBox
    QuestionDialog* dialog = nullptr;  // Dialog
    DialogButton button;             // Button, until added to a dialog
    QuestionDialog* owner = nullptr;   // Button: the dialog it was added to, at `index`
    size_t index = 0;
};

// GTK 2's key event, member for member.
struct KeyEvent {
    int type;
    void* window;
    int8_t send_event;
    uint32_t time;
    unsigned state;
    unsigned keyval;
    int length;
    char* string;
    uint16_t hardware_keycode;
    uint8_t group;
    unsigned is_modifier : 1;
};

struct KeymapKey {
    unsigned keycode;
    int group;
    int level;
};

struct ListNode {  // GList
    void* data;
    ListNode* next;
    ListNode* prev;
};

Widget widget_of(Widget::Kind kind)
{
    Widget w;
    w.kind = kind;
    return w;
}

constexpr int kKeyPress = 8;
constexpr unsigned kReturn = 0xFF0D;
constexpr unsigned kReturnKeycode = 36;
constexpr size_t kEventSize = 256;  // larger than any GdkEvent member

}  // namespace

struct GtkStandin {
    static Sim*& sim()
    {
        static Sim* active = nullptr;
        return active;
    }
    static std::vector<std::unique_ptr<Widget>>& widgets()
    {
        static std::vector<std::unique_ptr<Widget>> all;
        return all;
    }

    static Widget* make(Widget w)
    {
        widgets().push_back(std::make_unique<Widget>(std::move(w)));
        return widgets().back().get();
    }

    static Widget* known(void* pointer)
    {
        for (const auto& w : widgets())
            if (w.get() == pointer) return w.get();
        if (pointer && sim()) sim()->fault(false, "GTK call with a widget the client never made");
        return nullptr;
    }

    // One widget of that kind for a tab, made when first asked for.
    static Widget* of_tab(Widget::Kind kind, Context* ctx)
    {
        for (const auto& w : widgets())
            if (w->kind == kind && w->ctx == ctx) return w.get();
        Widget w = widget_of(kind);
        w.ctx = ctx;
        return make(std::move(w));
    }

    static Widget* gdk_window()
    {
        for (const auto& w : widgets())
            if (w->kind == Widget::GdkWindow) return w.get();
        return make(widget_of(Widget::GdkWindow));
    }

    static Widget* input_box(Context* ctx) { return of_tab(Widget::InputBox, ctx); }

    static QuestionDialog* dialog_of(void* pointer)
    {
        Widget* w = known(pointer);
        return w && w->kind == Widget::Dialog ? w->dialog : nullptr;
    }

    static Context* box_of(void* pointer)
    {
        Widget* w = known(pointer);
        return w && w->kind == Widget::InputBox && w->ctx->open ? w->ctx : nullptr;
    }

    static void* new_dialog(int type, int buttons, std::string text)
    {
        Sim& s = *sim();
        auto d = std::make_unique<QuestionDialog>();
        d->serial = static_cast<int>(s.dialogs_.size()) + 1;
        d->text = std::move(text);
        d->message_type = type;
        d->standard_buttons = buttons;
        Widget w = widget_of(Widget::Dialog);
        w.dialog = s.dialogs_.emplace_back(std::move(d)).get();
        return make(std::move(w));
    }

    static void add_button(void* dialog, Widget& button)
    {
        QuestionDialog* d = dialog_of(dialog);
        if (!d) return;
        button.owner = d;
        button.index = d->buttons.size();
        d->buttons.push_back(button.button);
    }

    static int run(void* dialog)
    {
        QuestionDialog* d = dialog_of(dialog);
        return d ? sim()->run_dialog(*d) : GTK_DELETE_EVENT;
    }

    static void respond(void* dialog, int response)
    {
        QuestionDialog* d = dialog_of(dialog);
        if (!d) return;
        if (d->ran && !d->answered && d->closed == 0) {
            d->answered = true;
            d->response = response;
            d->answered_by_plugin = true;
        }
    }

    static unsigned add_timeout(int interval_ms, int (*callback)(void*), void* data)
    {
        Sim& s = *sim();
        GlibTimeout t;
        t.id = s.next_glib_id_++;
        t.interval_ms = interval_ms;
        t.callback = callback;
        t.data = data;
        t.due_ms = s.now_ms() + interval_ms;
        t.serial = s.next_serial_++;
        s.glib_timeouts_.push_back(t);
        return t.id;
    }

    static bool remove_timeout(unsigned id)
    {
        auto& all = sim()->glib_timeouts_;
        return std::erase_if(all, [&](const GlibTimeout& t) { return t.id == id; }) > 0;
    }

    static void key_event(const KeyEvent& e)
    {
        Sim& s = *sim();
        if (e.type == kKeyPress && e.keyval == kReturn && s.focused()) s.key_presses_.push_back(s.focused());
    }
};

void attach_gtk_standin(Sim* sim)
{
    GtkStandin::sim() = sim;
    GtkStandin::widgets().clear();
}

void* window_widget(Context* ctx) { return GtkStandin::sim() ? GtkStandin::of_tab(Widget::MainWindow, ctx) : nullptr; }

void detach_gtk_standin(Sim* sim)
{
    if (GtkStandin::sim() != sim) return;
    GtkStandin::sim() = nullptr;
    GtkStandin::widgets().clear();
}

int Sim::run_dialog(QuestionDialog& dialog)
{
    dialog.ran = true;
    dialog.depth = ++dialog_depth_;
    max_dialog_depth_ = std::max(max_dialog_depth_, dialog.depth);
    dialog.opened = now();
    DialogAnswer answer = DialogAnswer::wait();
    if (!dialog_answers_.empty()) {
        answer = std::move(dialog_answers_.front());
        dialog_answers_.erase(dialog_answers_.begin());
    }
    if (answer.after_seconds > 0) {
        int64_t until = now_ms() + static_cast<int64_t>(answer.after_seconds * 1000);
        while (!dialog.answered && fire_next_timer(until)) {}
        set_time_ms(std::max(now_ms(), until));
    }
    if (answer.while_open) answer.while_open();
    if (!dialog.answered && answer.kind != DialogAnswer::Wait) {
        dialog.answered = true;
        dialog.response = answer.kind == DialogAnswer::Button ? answer.response : GTK_DELETE_EVENT;
    }
    constexpr int64_t kLongestWait = 24LL * 3600 * 1000;
    int64_t limit = now_ms() + kLongestWait;
    while (!dialog.answered && fire_next_timer(limit)) {}
    if (!dialog.answered) {
        fault(false, "a question dialog stayed open: nothing answered it");
        dialog.answered = true;
        dialog.response = GTK_DELETE_EVENT;
    }
    dialog.closed = now();
    --dialog_depth_;
    return dialog.response;
}

void Sim::fire_glib_timeout(unsigned id)
{
    auto find = [&] {
        return std::find_if(glib_timeouts_.begin(), glib_timeouts_.end(), [&](const GlibTimeout& t) { return t.id == id; });
    };
    auto it = find();
    auto [callback, data] = std::pair{it->callback, it->data};
    it->due_ms = now_ms() + std::max(it->interval_ms, 1);
    bool keep = callback(data) != 0;
    it = find();  // the callback may have removed it, or added others
    if (it != glib_timeouts_.end() && !keep) glib_timeouts_.erase(it);
}

}  // namespace hostsim

using hostsim::GtkStandin;

#define STANDIN extern "C" __attribute__((visibility("default"), used))

STANDIN void* gtk_message_dialog_new(void*, int, int type, int buttons, const char* format, ...)
{
    if (!GtkStandin::sim()) return nullptr;
    char text[4096] = "";
    if (format) {
        va_list ap;
        va_start(ap, format);
        std::vsnprintf(text, sizeof text, format, ap);
        va_end(ap);
    }
    return GtkStandin::new_dialog(type, buttons, text);
}

STANDIN void* gtk_button_new_from_stock(const char* stock)
{
    hostsim::Widget w = hostsim::widget_of(hostsim::Widget::Button);
    w.button.text = stock ? stock : "";
    return GtkStandin::make(std::move(w));
}

STANDIN void* gtk_button_new_with_label(const char* label) { return gtk_button_new_from_stock(label); }

STANDIN void gtk_button_set_label(void* button, const char* label)
{
    hostsim::Widget* w = GtkStandin::known(button);
    if (!w || w->kind != hostsim::Widget::Button) return;
    w->button.label = label ? label : "";
    if (w->owner) w->owner->buttons[w->index].label = w->button.label;
}

STANDIN void gtk_dialog_add_action_widget(void* dialog, void* child, int response)
{
    hostsim::Widget* w = GtkStandin::known(child);
    if (!w || w->kind != hostsim::Widget::Button) return;
    w->button.response = response;
    GtkStandin::add_button(dialog, *w);
}

STANDIN void* gtk_dialog_add_button(void* dialog, const char* text, int response)
{
    hostsim::Widget w = hostsim::widget_of(hostsim::Widget::Button);
    w.button.text = text ? text : "";
    w.button.response = response;
    hostsim::Widget* made = GtkStandin::make(std::move(w));
    GtkStandin::add_button(dialog, *made);
    return made;
}

STANDIN void gtk_window_set_keep_above(void* window, int setting)
{
    if (hostsim::QuestionDialog* d = GtkStandin::dialog_of(window)) d->keep_above = setting != 0;
}

STANDIN void gtk_window_set_position(void* window, int position)
{
    if (hostsim::QuestionDialog* d = GtkStandin::dialog_of(window)) d->position = position;
}

STANDIN void gtk_window_set_title(void*, const char*) {}
STANDIN void gtk_window_set_modal(void*, int) {}
STANDIN void gtk_widget_show(void*) {}
STANDIN void gtk_widget_show_all(void*) {}
STANDIN void gtk_widget_grab_focus(void*) {}

STANDIN int gtk_dialog_run(void* dialog) { return GtkStandin::run(dialog); }
STANDIN void gtk_dialog_response(void* dialog, int response) { GtkStandin::respond(dialog, response); }

STANDIN void gtk_widget_destroy(void* widget)
{
    if (hostsim::QuestionDialog* d = GtkStandin::dialog_of(widget)) d->destroyed = true;
}

STANDIN unsigned g_timeout_add(unsigned interval_ms, int (*callback)(void*), void* data)
{
    return GtkStandin::sim() ? GtkStandin::add_timeout(static_cast<int>(interval_ms), callback, data) : 0;
}

STANDIN unsigned g_timeout_add_seconds(unsigned seconds, int (*callback)(void*), void* data)
{
    return g_timeout_add(seconds * 1000, callback, data);
}

STANDIN int g_source_remove(unsigned id) { return GtkStandin::sim() && GtkStandin::remove_timeout(id); }

STANDIN void g_free(void* pointer) { std::free(pointer); }

STANDIN void g_list_free(void* list)
{
    for (auto* node = static_cast<hostsim::ListNode*>(list); node;) {
        auto* next = node->next;
        std::free(node);
        node = next;
    }
}

STANDIN void gdk_beep()
{
    if (GtkStandin::sim()) GtkStandin::sim()->count_beep();
}

// ---- the input box of the focused tab, reached through the main window's focus

STANDIN void* gtk_window_list_toplevels()
{
    if (!GtkStandin::sim()) return nullptr;
    auto* node = static_cast<hostsim::ListNode*>(std::calloc(1, sizeof(hostsim::ListNode)));
    node->data = GtkStandin::of_tab(hostsim::Widget::MainWindow, GtkStandin::sim()->focused());
    return node;
}

STANDIN void* gtk_window_get_focus(void* window)
{
    hostsim::Widget* w = GtkStandin::known(window);
    return w && w->kind == hostsim::Widget::MainWindow && w->ctx ? GtkStandin::input_box(w->ctx) : nullptr;
}

// Widget types, as far as a plug-in walks a window: the window is a container; the topic box
// and the input box are text entries named as the client names them.
namespace {
constexpr unsigned long kEntryType = 1;
constexpr unsigned long kContainerType = 2;
}  // namespace

STANDIN unsigned long gtk_entry_get_type() { return kEntryType; }
STANDIN unsigned long gtk_container_get_type() { return kContainerType; }

STANDIN int g_type_check_instance_is_a(void* instance, unsigned long type)
{
    hostsim::Widget* w = GtkStandin::known(instance);
    if (!w) return 0;
    bool entry = w->kind == hostsim::Widget::InputBox || w->kind == hostsim::Widget::TopicBox;
    return type == kEntryType ? entry : type == kContainerType && w->kind == hostsim::Widget::MainWindow;
}

STANDIN void gtk_container_forall(void* container, void (*visit)(void*, void*), void* data)
{
    hostsim::Widget* w = GtkStandin::known(container);
    if (!w || w->kind != hostsim::Widget::MainWindow || !w->ctx || !visit) return;
    visit(GtkStandin::of_tab(hostsim::Widget::TopicBox, w->ctx), data);  // the topic box comes first, at the top
    visit(GtkStandin::input_box(w->ctx), data);
}

STANDIN const char* gtk_widget_get_name(void* widget)
{
    hostsim::Widget* w = GtkStandin::known(widget);
    bool entry = w && (w->kind == hostsim::Widget::InputBox || w->kind == hostsim::Widget::TopicBox);
    if (!entry) return "GtkWidget";
    return GtkStandin::sim()->naming() == hostsim::Naming::HexChat ? "hexchat-inputbox" : "xchat-inputbox";
}

STANDIN int gtk_entry_get_max_length(void*) { return 0; }

// "activate" on the input box is Enter: the client runs the text at once.
STANDIN unsigned long g_signal_emit_by_name(void* instance, const char* signal, ...)
{
    hostsim::Context* ctx = GtkStandin::box_of(instance);
    if (ctx && signal && std::strcmp(signal, "activate") == 0) GtkStandin::sim()->press_enter(*ctx);
    return 0;
}

STANDIN void* gtk_widget_get_parent_window(void*) { return GtkStandin::sim() ? GtkStandin::gdk_window() : nullptr; }
STANDIN void* gtk_widget_get_window(void* widget) { return gtk_widget_get_parent_window(widget); }

STANDIN int gtk_editable_get_position(void* editable)
{
    hostsim::Context* ctx = GtkStandin::box_of(editable);
    if (!ctx) return 0;
    return ctx->cursor < 0 ? static_cast<int>(ctx->inputbox.size()) : ctx->cursor;
}

STANDIN void gtk_editable_set_position(void* editable, int position)
{
    hostsim::Context* ctx = GtkStandin::box_of(editable);
    if (!ctx) return;
    int size = static_cast<int>(ctx->inputbox.size());
    ctx->cursor = position < 0 || position > size ? size : position;
}

STANDIN void gtk_editable_insert_text(void* editable, const char* text, int length, int* position)
{
    hostsim::Context* ctx = GtkStandin::box_of(editable);
    if (!ctx || !text || !position) return;
    size_t n = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
    size_t at = std::min(static_cast<size_t>(std::max(*position, 0)), ctx->inputbox.size());
    ctx->inputbox.insert(at, text, n);
    *position = static_cast<int>(at + n);
    if (ctx->cursor >= static_cast<int>(at)) ctx->cursor += static_cast<int>(n);  // GTK keeps the cursor after the text
}

STANDIN const char* gtk_entry_get_text(void* entry)
{
    hostsim::Context* ctx = GtkStandin::box_of(entry);
    return ctx ? ctx->inputbox.c_str() : "";
}

STANDIN void gtk_entry_set_text(void* entry, const char* text)
{
    if (hostsim::Context* ctx = GtkStandin::box_of(entry)) GtkStandin::sim()->set_input(*ctx, text ? text : "");
}

STANDIN void* gdk_keymap_get_default()
{
    static int keymap;
    return &keymap;
}

STANDIN int gdk_keymap_get_entries_for_keyval(void*, unsigned keyval, void** keys, int* n_keys)
{
    if (keys) *keys = nullptr;
    if (n_keys) *n_keys = 0;
    if (keyval != hostsim::kReturn || !keys || !n_keys) return 0;
    auto* key = static_cast<hostsim::KeymapKey*>(std::calloc(1, sizeof(hostsim::KeymapKey)));
    key->keycode = hostsim::kReturnKeycode;
    *keys = key;
    *n_keys = 1;
    return 1;
}

STANDIN void* gdk_event_new(int type)
{
    auto* e = static_cast<hostsim::KeyEvent*>(std::calloc(1, hostsim::kEventSize));
    e->type = type;
    return e;
}

STANDIN void gdk_event_put(const void* event)
{
    if (event && GtkStandin::sim()) GtkStandin::key_event(*static_cast<const hostsim::KeyEvent*>(event));
}

STANDIN void gdk_event_free(void* event)
{
    if (!event) return;
    std::free(static_cast<hostsim::KeyEvent*>(event)->string);
    std::free(event);
}
