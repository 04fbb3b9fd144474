// A stand-in for the few GTK and GLib calls of the guard's question dialog.
// This program exports them, so the plug-in's run-time lookup finds these; a
// test plays the user inside gtk_dialog_run through `on_run`.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace standin {

struct Button {
    std::string stock;
    std::string label;
    int response = 0;
    bool use_stock = true;
    bool has_image = false;
    bool shown = false;
};

struct Dialog {
    std::string text;
    int flags = -1;
    int message_type = -1;
    int standard_buttons = -1;
    std::vector<Button*> buttons;
    bool keep_above = false;
    int position = 0;
    bool destroyed = false;
    bool answered = false;
    int response = 0;
};

struct Timer {
    unsigned id = 0;
    unsigned milliseconds = 0;
    int (*function)(void*) = nullptr;
    void* data = nullptr;
};

struct Gtk {
    bool available = true;  // false: no dialog can be made
    std::vector<std::unique_ptr<Dialog>> dialogs;
    std::vector<std::unique_ptr<Button>> buttons;
    std::vector<Timer> timers;  // pending
    std::vector<unsigned> timer_intervals;  // every timer ever armed, in milliseconds
    unsigned next_timer = 1;
    int depth = 0;
    int deepest = 0;
    // The user: runs inside gtk_dialog_run; when it leaves the dialog
    // unanswered, the dialog is closed with the window's close button.
    std::function<void(Dialog&)> on_run;

    // The user presses the button with that label.
    static void press(Dialog& dialog, const std::string& label);
    // Runs every pending timer once, in the order they were armed.
    void fire_timers();
};

// The one stand-in, fresh for each test.
Gtk& gtk();
void reset();

}  // namespace standin
