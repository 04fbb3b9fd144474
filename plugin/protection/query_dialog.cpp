// The question about an unknown sender: a modal GTK message dialog with four
// buttons and a time-out. The plug-in links no GTK: the client's own copy is
// looked up at run time. The dialog runs a nested main loop, so hooks run
// while it is open; a question asked meanwhile is never stacked on it but gets
// the time-out answer at once, so that a flood of strangers cannot pile up
// dialogs or stack frames.
#include "protection/private_killer.h"

#include "host/host.h"
#include "host/trace.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "clock.h"
#include "utilities.h"

#include <algorithm>
#include <cstdio>
#include <string>

int flag_auto_close_dialog_private_killer = 0;

namespace {

constexpr const char* kUnit = "ioplugin";
constexpr size_t kMaxQuestion = 4095;
// GTK 2's values: a question, no standard buttons, centred, button-sized icons.
constexpr int kMessageQuestion = 2;
constexpr int kButtonsNone = 0;
constexpr int kPositionCenter = 1;
constexpr int kIconSizeButton = 4;
// Our own response numbers, all positive: GTK's negative ones mean "closed"
// or "destroyed", never a button.
constexpr int kResponseBase = 100;
// The longest time-out GTK's millisecond timer can count.
constexpr int kMaxTimeoutSeconds = 4000000;

using SourceFunc = int (*)(void* data);

// The GTK 2 and GLib calls of the dialog. The first group is needed; the
// second only decorates (icons, placement).
struct DialogCalls {
    void* (*message_dialog_new)(void* parent, int flags, int type, int buttons, const char* format, ...);
    void* (*button_new_from_stock)(const char* stock);
    void (*button_set_label)(void* button, const char* label);
    void (*dialog_add_action_widget)(void* dialog, void* child, int response);
    int (*dialog_run)(void* dialog);
    void (*dialog_response)(void* dialog, int response);
    void (*widget_destroy)(void* widget);
    unsigned (*timeout_add)(unsigned milliseconds, SourceFunc function, void* data);
    int (*source_remove)(unsigned id);

    void (*button_set_use_stock)(void* button, int use_stock);
    void (*button_set_image)(void* button, void* image);
    void* (*image_new_from_stock)(const char* stock, int size);
    void (*widget_show)(void* widget);
    void (*window_set_keep_above)(void* window, int setting);
    void (*window_set_position)(void* window, int position);

    bool complete() const
    {
        return message_dialog_new && button_new_from_stock && button_set_label && dialog_add_action_widget &&
               dialog_run && dialog_response && widget_destroy && timeout_add && source_remove;
    }
};

const DialogCalls* gtk()
{
    static const DialogCalls calls = [] {
        DialogCalls c{};
        find_client_function(c.message_dialog_new, "gtk_message_dialog_new");
        find_client_function(c.button_new_from_stock, "gtk_button_new_from_stock");
        find_client_function(c.button_set_label, "gtk_button_set_label");
        find_client_function(c.dialog_add_action_widget, "gtk_dialog_add_action_widget");
        find_client_function(c.dialog_run, "gtk_dialog_run");
        find_client_function(c.dialog_response, "gtk_dialog_response");
        find_client_function(c.widget_destroy, "gtk_widget_destroy");
        find_client_function(c.timeout_add, "g_timeout_add");
        find_client_function(c.source_remove, "g_source_remove");
        find_client_function(c.button_set_use_stock, "gtk_button_set_use_stock");
        find_client_function(c.button_set_image, "gtk_button_set_image");
        find_client_function(c.image_new_from_stock, "gtk_image_new_from_stock");
        find_client_function(c.widget_show, "gtk_widget_show");
        find_client_function(c.window_set_keep_above, "gtk_window_set_keep_above");
        find_client_function(c.window_set_position, "gtk_window_set_position");
        return c;
    }();
    return calls.complete() ? &calls : nullptr;
}

struct DialogButton {
    const char* stock;
    int message;
    int answer;
};
const DialogButton kButtons[] = {
    {"gtk-apply", 842, kPKAllowOnce},
    {"gtk-edit", 843, kPKAllowAlways},
    {"gtk-no", 844, kPKRefuseOnce},
    {"gtk-delete", 845, kPKRefuseAlways},
};

int response_of(const DialogButton& button) { return kResponseBase + static_cast<int>(&button - kButtons); }

// A closed window, or anything that is not one of our buttons, refuses for this session.
int answer_of(int response)
{
    for (const DialogButton& button : kButtons)
        if (response_of(button) == response) return button.answer;
    return kPKRefuseOnce;
}

// The open question: at most one.
struct OpenDialog {
    void* last_dialog = nullptr;
    time_t tLastDialogMessage = 0;
    unsigned timer = 0;
    bool timed_out = false;
};
OpenDialog open_dialog;

int timeout_seconds() { return std::clamp(iPrivateKillerAlert, 1, kMaxTimeoutSeconds); }

int on_dialog_timeout(void*);

void arm_timer(const DialogCalls& g, int seconds)
{
    open_dialog.timer = g.timeout_add(static_cast<unsigned>(seconds) * 1000u, on_dialog_timeout, nullptr);
}

// Answers the question with "not now" once its time is up; a timer that fires
// early (the clocks disagree) waits for the rest.
int on_dialog_timeout(void*)
{
    const DialogCalls* g = gtk();
    open_dialog.timer = 0;
    if (!g || !open_dialog.last_dialog) return 0;
    const time_t waited = now() - open_dialog.tLastDialogMessage;
    if (waited < timeout_seconds()) {
        arm_timer(*g, static_cast<int>(timeout_seconds() - std::max<time_t>(waited, 0)));
        return 0;
    }
    open_dialog.timed_out = true;
    g->dialog_response(open_dialog.last_dialog, response_of(kButtons[2]));
    return 0;
}

// The length of the UTF-8 character at `at`, or 0 when the bytes there are
// not one (overlong forms and surrogates included, as GTK checks them).
size_t utf8_length_at(const std::string& text, size_t at)
{
    const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    // Allowed range of the second byte, and the length, for each lead byte.
    unsigned char low = 0x80, high = 0xBF;
    size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    if (length == 0 || at + length > text.size()) return 0;
    if (byte(at + 1) < low || byte(at + 1) > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if ((byte(at + k) & 0xC0) != 0x80) return 0;
    return length;
}

// GTK shows only valid UTF-8: a cut never splits a character, and stray bytes
// (text in another encoding) become '?'.
std::string displayable(const char* question)
{
    const std::string text = question ? question : "";
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8_length_at(text, i);
        if (out.size() + std::max<size_t>(length, 1) > kMaxQuestion) break;
        if (length == 0) {
            out += '?';
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

void add_button(const DialogCalls& g, void* dialog, const DialogButton& row)
{
    void* button = g.button_new_from_stock(row.stock);
    if (!button) return;
    if (g.button_set_use_stock) g.button_set_use_stock(button, 0);
    g.button_set_label(button, GetMessage(row.message));
    if (g.button_set_image && g.image_new_from_stock)
        if (void* image = g.image_new_from_stock(row.stock, kIconSizeButton)) g.button_set_image(button, image);
    g.dialog_add_action_widget(dialog, button, response_of(row));
    if (g.widget_show) g.widget_show(button);
}

void* build_dialog(const DialogCalls& g, const std::string& text)
{
    // The text is shown as it is: "%s", and no markup.
    void* dialog = g.message_dialog_new(nullptr, 0, kMessageQuestion, kButtonsNone, "%s", text.c_str());
    if (!dialog) return nullptr;
    for (const DialogButton& row : kButtons) add_button(g, dialog, row);
    if (g.window_set_keep_above) g.window_set_keep_above(dialog, 1);
    if (g.window_set_position) g.window_set_position(dialog, kPositionCenter);
    return dialog;
}

int run_dialog(const DialogCalls& g, void* dialog)
{
    open_dialog = OpenDialog{dialog, now(), 0, false};
    arm_timer(g, timeout_seconds());
    const int response = g.dialog_run(dialog);
    if (open_dialog.timer) g.source_remove(open_dialog.timer);
    const bool timed_out = open_dialog.timed_out;
    open_dialog = OpenDialog{};
    g.widget_destroy(dialog);
    flag_auto_close_dialog_private_killer = timed_out ? 1 : 0;
    return answer_of(response);
}

// What a question gets when it cannot be asked: what its time-out would give.
int timeout_answer()
{
    flag_auto_close_dialog_private_killer = 1;
    return kPKRefuseOnce;
}

void say_no_dialog_once(const char* question)
{
    static bool said = false;
    if (said) return;
    said = true;
    printf("[%s:%d]> zem_gtk_query_kill_request(%s) ERROR: no dialog available: unknown senders get the "
           "time-out answer.\n",
           QUIBO_HERE(kUnit), question ? question : "");
}

}  // namespace

bool killed_user_question_open() { return open_dialog.last_dialog != nullptr; }

int zem_gtk_query_kill_request(const char* question)
{
    DebugPlugin(2, "BEGIN: zem_gtk_query_kill_request(%s)", question ? question : "");
    if (killed_user_question_open()) {
        DebugPlugin(2, "END: zem_gtk_query_kill_request() = 0 (a question is open)");
        return timeout_answer();
    }
    const DialogCalls* g = gtk();
    void* dialog = g ? build_dialog(*g, displayable(question)) : nullptr;
    if (!dialog) {
        say_no_dialog_once(question);
        return timeout_answer();
    }
    const int answer = run_dialog(*g, dialog);
    DebugPlugin(2, "END: zem_gtk_query_kill_request() = %d", answer);
    return answer;
}
