// /QUIBO keywords that are not meant for typing: the queue's timer calls back
// through them, and macros and sentinel commands use them to drive the queue,
// the input box, sounds and the private-message guard.
#include "settings/main_command.h"

#include "events/events.h"
#include "handlers/handlers.h"
#include "host/host.h"
#include "host/paths.h"
#include "host/trace.h"
#include "output/output.h"
#include "protection/private_killer.h"
#include "queue/queue.h"
#include "settings/messages.h"
#include "settings/settings.h"
#include "users/chatuser.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

// "()" announces itself; "(0)" is silent and runs the queue in its private mode.
enum class Form { Notice, Private };
const Form kNoticeForm = Form::Notice;
const Form kPrivateForm = Form::Private;

Form form_of(const void* data) { return *static_cast<const Form*>(data); }

// The queue's private mode for the "(0)" forms; the mode is 0 again afterwards, whatever the form.
bool private_form(Form form) { return form == Form::Private; }

// Notices and error reports both follow the error switches.
void report(HostSession* where, int number)
{
    if (error_output_on()) sPrintText(where, "%s", GetMessage(number));
}

// ---- the queue -------------------------------------------------------------------

bool run_exec_queue(QuiboCommand& cmd, const void* data)
{
    const Form form = form_of(data);
    if (cmd.arg(3)[0] == '^')
        ReleaseTimerLock();
    else if (form == Form::Notice)
        report(cmd.where(), 476);
    ExecCommandInQueue(form == Form::Notice ? 1 : 0);
    return true;
}

struct FlushRow {
    Form form;
    bool announce;
};
const FlushRow kFlushNotice{Form::Notice, true}, kFlushPrivate{Form::Private, false}, kFlushPlain{Form::Notice, false};

bool run_flush_queue(QuiboCommand& cmd, const void* data)
{
    const auto& row = *static_cast<const FlushRow*>(data);
    if (row.announce) report(cmd.where(), 477);
    {
        PrivateQueueMode mode(private_form(row.form));
        FlushCommandInQueue();
    }
    // The client's own send queue goes too.
    quibo_handle_command("/FLUSHQ", cmd.sess);
    return true;
}

bool run_insert_queue(QuiboCommand& cmd, const void* data)
{
    const Form form = form_of(data);
    const char* command = cmd.tail(3);
    if (!*command) {
        report(cmd.where(), 479);
        return true;
    }
    if (form == Form::Notice && error_output_on()) sPrintText(cmd.where(), GetMessage(478), command);
    PrivateQueueMode mode(private_form(form));
    InsertCommandInQueue(current_tab, command);
    return true;
}

// A whole number of seconds, not negative, at the start of `text`.
bool read_seconds(const char* text, int& seconds)
{
    if (!isdigit(static_cast<unsigned char>(text[0])) &&
        !((text[0] == '+' || text[0] == '-') && isdigit(static_cast<unsigned char>(text[1]))))
        return false;
    const long value = strtol(text, nullptr, 10);
    if (value < 0) return false;
    seconds = value > INT_MAX ? INT_MAX : static_cast<int>(value);
    return true;
}

bool run_insert_queue_timed(QuiboCommand& cmd, const void* data)
{
    const Form form = form_of(data);
    PrivateQueueMode mode(private_form(form));
    int seconds = 0;
    if (!cmd.has_arg(3) || !*cmd.tail(4)) {
        report(cmd.where(), 479);
    } else if (!read_seconds(cmd.arg(3), seconds)) {
        report(cmd.where(), 799);
    } else {
        // Announced only once the seconds are known to be good.
        if (form == Form::Notice && error_output_on()) sPrintText(cmd.where(), GetMessage(798), cmd.tail(4), cmd.arg(3));
        InsertCommandInQueueTimed(current_tab, cmd.tail(4), seconds);
    }
    return true;
}

bool run_delete_queue(QuiboCommand& cmd, const void* data)
{
    PrivateQueueMode mode(private_form(form_of(data)));
    const char* what = cmd.arg(3);
    if (!isdigit(static_cast<unsigned char>(what[0]))) {
        DeleteCommandInQueueString(cmd.sess, what);
    } else {
        const long position = strtol(what, nullptr, 10);
        DeleteCommandInQueue(cmd.sess, position > INT_MAX ? INT_MAX : static_cast<int>(position));
    }
    return true;
}

bool run_list_queue(QuiboCommand& cmd, const void*) { return ListCommandInQueue(cmd.sess), true; }

// ---- windows, sounds, the input box, the client -------------------------------------

bool run_close_window(QuiboCommand& cmd, const void*) { return CloseWindow(cmd.sess), true; }
bool run_new_window(QuiboCommand&, const void*) { return new_ircwindow(nullptr, nullptr, 1), true; }
bool run_exit(QuiboCommand&, const void*) { return xchat_exit(), true; }

bool run_open_serverlist(QuiboCommand& cmd, const void* data)
{
    if (form_of(data) == Form::Notice) report(cmd.where(), 480);
    fe_open_serverlist();
    return true;
}

struct SoundKind {
    char letter;
    const char* first;
    const char* then;
};
const SoundKind kSoundKinds[] = {
    {'a', "alert", nullptr}, {'d', "quibo", nullptr},   {'e', "error", "alert"},
    {'m', "message", nullptr}, {'w', "warning", nullptr},
};

bool run_play_sound(QuiboCommand& cmd, const void*)
{
    const char letter = cmd.arg(3)[0];
    for (const SoundKind& kind : kSoundKinds) {
        if (kind.letter != letter) continue;
        quibo_play_sound(kind.first);
        if (kind.then) quibo_play_sound(kind.then);
        return true;
    }
    quibo_play_sound("warning");
    report(cmd.where(), 481);
    return true;
}

struct InputRow {
    bool press_enter;
};
const InputRow kInsertInBuffer{false}, kExecUserInput{true};

bool run_input_box(QuiboCommand& cmd, const void* data)
{
    const bool press_enter = static_cast<const InputRow*>(data)->press_enter;
    const char* text = cmd.tail(3);
    if (*text)
        input_box_insert(cmd.sess, text);
    else if (!press_enter)
        report(current_tab, 759);
    if (press_enter) input_box_enter(cmd.sess);
    return true;
}

bool run_generated_event(QuiboCommand& cmd, const void*)
{
    if (iFlagEnableEvent && VerifyDeferredEvent(cmd.sess, cmd.arg(3)) == 1) ExecCommandInQueue(1);
    return true;
}

bool run_shbm_save(QuiboCommand& cmd, const void*)
{
    const std::string file = quibo_data_path("quibo.fnc");
    int count = 0;
    for (const std::string& line : DebugPluginRingLines()) {
        sPrintLog(file.c_str(), "%s", line.c_str());
        if (++count > kTraceRingLines - 17) printf("%4d: %s\n", kTraceRingLines - count, line.c_str());
    }
    WriteLog(nullptr, nullptr);
    sPrintText(cmd.where(), "--- Saved %d records to %s", count, file.c_str());
    return true;
}

// ---- the private-message guard --------------------------------------------------

constexpr const char* kSyntaxError = "\0034Private Killer \t\0038Syntax Error.";
constexpr const char* kNotFound = "\0034Private Killer \t\0038User\0034 %s\0038 don't found !";

// The local user's record of `nick` on the window's server, in the current database.
ChatUser* known_user(const QuiboCommand& cmd, const char* nick)
{
    const char* server = cmd.sess && cmd.sess->server ? cmd.sess->server->servername.c_str() : "";
    return GetUser(server, nullptr, nick, nullptr, nullptr);
}

bool run_load_killed(QuiboCommand& cmd, const void*)
{
    static const char* const kReloaded = "\0033Private Killer \t\0038Database Reloaded.";
    load_killed_user_file();
    print_killed_user_list(cmd.sess);
    sPrintText(cmd.sess, "%s", kReloaded);
    if (current_tab != cmd.sess) sPrintText(current_tab, "%s", kReloaded);
    return true;
}

// Reports of the guard's list follow only what really changed.
bool run_add_killed(QuiboCommand& cmd, const void*)
{
    const char* nick = cmd.arg(3);
    HostSession* where = cmd.where();
    if (!*nick) return sPrintText(where, "%s", kSyntaxError), true;
    const bool blocked = cmd.arg(4)[0] == '0';
    const char* letter = blocked ? "\0034X" : "\0033V";
    if (ChatUser* user = known_user(cmd, nick)) {
        del_killed_user(user->psNick.c_str(), user->psAddress.c_str());
        const int added = add_killed_user(user->psNick.c_str(), user->psAddress.c_str(), blocked ? -3 : 3, 1);
        print_killed_user(cmd.sess, user->psNick.c_str());
        if (added)
            sPrintText(where, "\0033Private Killer \t\0038User\0034 %s\0038 (\0034 %s\0038 ) set to [%s\0038].",
                       user->psNick.c_str(), user->psAddress.c_str(), letter);
        return true;
    }
    sPrintText(where, kNotFound, nick);
    del_killed_user(nick, nullptr);
    const int added = add_killed_user(nick, nullptr, blocked ? -2 : 2, 1);
    print_killed_user(cmd.sess, nick);
    if (added) sPrintText(where, "\0033Private Killer \t\0038User\0034 %s\0038 added and set to [%s\0038].", nick, letter);
    return true;
}

bool run_del_killed(QuiboCommand& cmd, const void*)
{
    const char* nick = cmd.arg(3);
    HostSession* where = cmd.where();
    if (!*nick) return sPrintText(where, "%s", kSyntaxError), true;
    if (ChatUser* user = known_user(cmd, nick)) {
        const int deleted = del_killed_user(user->psNick.c_str(), user->psAddress.c_str());
        print_killed_user(cmd.sess, user->psNick.c_str());
        if (deleted)
            sPrintText(where, "\0033Private Killer \t\0038User\0034 %s\0038 (\0034 %s\0038 ) deleted.",
                       user->psNick.c_str(), user->psAddress.c_str());
        return true;
    }
    sPrintText(where, kNotFound, nick);
    const int deleted = del_killed_user(nick, nullptr);
    print_killed_user(cmd.sess, nick);
    if (deleted) sPrintText(where, "\0033Private Killer \t\0038User\0034 %s\0038 deleted.", nick);
    return true;
}

bool run_flush_killed(QuiboCommand&, const void*) { return flush_killed_user_list(), true; }
bool run_print_killed(QuiboCommand& cmd, const void*) { return print_killed_user_list(cmd.sess), true; }

// The question is the text as written: never a format.
bool run_query_kill(QuiboCommand& cmd, const void*)
{
    const int answer = zem_gtk_query_kill_request(cmd.tail(3));
    sPrintText(cmd.where(), "zem_gtk_query_kill_request = %d", answer);
    return true;
}

}  // namespace

void add_internal_keywords(std::vector<QuiboKeyword>& table)
{
    table.insert(table.end(), {
        {"load_killed_user_file()", run_load_killed},
        {"add_killed_user()", run_add_killed},
        {"del_killed_user()", run_del_killed},
        {"flush_killed_user_list()", run_flush_killed},
        {"print_killed_user_list()", run_print_killed},
        {"CloseWindow()", run_close_window},
        {"ExecCommandInQueue()", run_exec_queue, &kNoticeForm},
        {"ExecCommandInQueue(0)", run_exec_queue, &kPrivateForm},
        {"FlushCommandInQueue()", run_flush_queue, &kFlushNotice},
        {"FlushCommandInQueue(0)", run_flush_queue, &kFlushPrivate},
        {"flush", run_flush_queue, &kFlushPlain},
        {"InsertCommandInQueue()", run_insert_queue, &kNoticeForm},
        {"InsertCommandInQueue(0)", run_insert_queue, &kPrivateForm},
        {"InsertCommandInQueueTimed()", run_insert_queue_timed, &kNoticeForm},
        {"InsertCommandInQueueTimed(0)", run_insert_queue_timed, &kPrivateForm},
        {"DeleteCommandInQueue()", run_delete_queue, &kNoticeForm},
        {"DeleteCommandInQueue(0)", run_delete_queue, &kPrivateForm},
        {"ListCommandInQueue()", run_list_queue},
        {"shbm_save", run_shbm_save},
        {"NewWindow()", run_new_window},
        {"OpenServerList()", run_open_serverlist, &kNoticeForm},
        {"OpenServerList(0)", run_open_serverlist, &kPrivateForm},
        {"PlaySound()", run_play_sound},
        {"ExecUserInput()", run_input_box, &kExecUserInput},
        {"InsertInBuffer()", run_input_box, &kInsertInBuffer},
        {"xchat_exit()", run_exit},
        {"quiboscriptgenevent", run_generated_event},
        {"zem_gtk_query_kill_request", run_query_kill},
    });
}
