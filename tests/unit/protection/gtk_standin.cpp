#include "gtk_standin.h"

#include <cstdarg>
#include <cstdio>

namespace standin {

namespace {
std::unique_ptr<Gtk> active = std::make_unique<Gtk>();

template <typename T>
T* known(std::vector<std::unique_ptr<T>>& all, void* pointer)
{
    for (auto& item : all)
        if (item.get() == pointer) return item.get();
    return nullptr;
}
}  // namespace

Gtk& gtk() { return *active; }
void reset() { active = std::make_unique<Gtk>(); }

void Gtk::press(Dialog& dialog, const std::string& label)
{
    for (const Button* button : dialog.buttons)
        if (button->label == label) {
            dialog.answered = true;
            dialog.response = button->response;
            return;
        }
}

void Gtk::fire_timers()
{
    std::vector<Timer> due;
    due.swap(timers);
    for (const Timer& timer : due)
        if (timer.function(timer.data)) timers.push_back(timer);
}

}  // namespace standin

using standin::gtk;

#define STANDIN extern "C" __attribute__((visibility("default"), used))

STANDIN void* gtk_message_dialog_new(void*, int flags, int type, int buttons, const char* format, ...)
{
    if (!gtk().available) return nullptr;
    auto dialog = std::make_unique<standin::Dialog>();
    char text[8192] = "";
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    dialog->text = text;
    dialog->flags = flags;
    dialog->message_type = type;
    dialog->standard_buttons = buttons;
    return gtk().dialogs.emplace_back(std::move(dialog)).get();
}

STANDIN void* gtk_button_new_from_stock(const char* stock)
{
    auto button = std::make_unique<standin::Button>();
    button->stock = stock;
    button->label = stock;
    return gtk().buttons.emplace_back(std::move(button)).get();
}

STANDIN void gtk_button_set_use_stock(void* button, int use)
{
    if (auto* b = standin::known(gtk().buttons, button)) b->use_stock = use != 0;
}

STANDIN void gtk_button_set_label(void* button, const char* label)
{
    if (auto* b = standin::known(gtk().buttons, button)) b->label = label;
}

STANDIN void* gtk_image_new_from_stock(const char*, int) { return &gtk(); }

STANDIN void gtk_button_set_image(void* button, void* image)
{
    if (auto* b = standin::known(gtk().buttons, button)) b->has_image = image != nullptr;
}

STANDIN void gtk_dialog_add_action_widget(void* dialog, void* child, int response)
{
    auto* d = standin::known(gtk().dialogs, dialog);
    auto* b = standin::known(gtk().buttons, child);
    if (!d || !b) return;
    b->response = response;
    d->buttons.push_back(b);
}

STANDIN void gtk_widget_show(void* widget)
{
    if (auto* b = standin::known(gtk().buttons, widget)) b->shown = true;
}

STANDIN void gtk_window_set_keep_above(void* window, int setting)
{
    if (auto* d = standin::known(gtk().dialogs, window)) d->keep_above = setting != 0;
}

STANDIN void gtk_window_set_position(void* window, int position)
{
    if (auto* d = standin::known(gtk().dialogs, window)) d->position = position;
}

// GTK's answer when the window is closed instead of a button pressed.
constexpr int kDeleteEvent = -4;

STANDIN int gtk_dialog_run(void* dialog)
{
    auto* d = standin::known(gtk().dialogs, dialog);
    if (!d) return -1;
    standin::Gtk& g = gtk();
    g.deepest = std::max(g.deepest, ++g.depth);
    if (g.on_run) g.on_run(*d);
    --g.depth;
    if (!d->answered) {
        d->answered = true;
        d->response = kDeleteEvent;
    }
    return d->response;
}

STANDIN void gtk_dialog_response(void* dialog, int response)
{
    auto* d = standin::known(gtk().dialogs, dialog);
    if (!d || d->answered) return;
    d->answered = true;
    d->response = response;
}

STANDIN void gtk_widget_destroy(void* widget)
{
    if (auto* d = standin::known(gtk().dialogs, widget)) d->destroyed = true;
}

STANDIN unsigned g_timeout_add(unsigned milliseconds, int (*function)(void*), void* data)
{
    standin::Gtk& g = gtk();
    g.timers.push_back({g.next_timer, milliseconds, function, data});
    g.timer_intervals.push_back(milliseconds);
    return g.next_timer++;
}

STANDIN int g_source_remove(unsigned id)
{
    return std::erase_if(gtk().timers, [id](const standin::Timer& t) { return t.id == id; }) > 0;
}
