// Entry points of the pipeline and the client's callbacks that lead to them.
// Output and commands pass through untouched for now.
#include "pipeline/pipeline.h"

#include "events/events.h"
#include "host/host.h"
#include "host/lifecycle.h"
#include "settings/command.h"
#include "utilities.h"

#include <cstdio>
#include <deque>
#include <string>

int quibo_out(HostServer*, const char*, const char*, const char*) { return 0; }

int quibo_command(HostSession*, const char*, char*[], char*[]) { return 0; }

namespace {

constexpr const char* kUnit = "ioplugin";

// No exception leaves a callback into the client: it is reported and the event passes.
template <typename Body>
int guarded(const char* callback, int line, Body body)
{
    try {
        return body();
    } catch (...) {
        printf("[%s:%d]> Internal Error (%s())\n", kUnit, line, callback);
        fflush(stdout);
        return XCHAT_EAT_NONE;
    }
}

HostSession* current_session() { return session_of(plugin().get_context()); }

// The raw line's working copy, in storage kept from one line to the next. A
// line that arrives while another is in the pipeline (a modal question runs
// the client's main loop) gets storage of its own.
class LineBuffer {
public:
    explicit LineBuffer(const char* line) : depth(nesting)
    {
        if (depth == buffers.size()) buffers.emplace_back();  // the outer lines' copies stay where they are
        buffers[depth].assign(line);
        ++nesting;
    }
    ~LineBuffer() { --nesting; }
    LineBuffer(const LineBuffer&) = delete;
    LineBuffer& operator=(const LineBuffer&) = delete;

    std::string& text() { return buffers[depth]; }

private:
    static inline std::deque<std::string> buffers;
    static inline size_t nesting = 0;
    size_t depth;
};

}  // namespace

int cb_raw_line(char*[], char* word_eol[], void*)
{
    return guarded("cb_raw_line", __LINE__, [&] {
        if (!module_active()) return XCHAT_EAT_NONE;
        SessionUpdateInhibition hold;
        xchat_context* ctx = plugin().get_context();
        update_session(ctx);
        update_ignore(ctx);
        prefs_expire();
        HostSession* sess = session_of(ctx);
        // Copies: the pipeline may rebuild the records that hold these texts.
        LineBuffer line(word_eol[1] ? word_eol[1] : "");
        const bool has_server = sess && sess->server;
        std::string servername = has_server ? sess->server->servername : std::string();
        const LineVerdict verdict = quibo_in(sess, has_server ? servername.c_str() : nullptr, line.text());
        return verdict == LineVerdict::Eat ? XCHAT_EAT_ALL : XCHAT_EAT_NONE;
    });
}

int quibo_output(char* word[], const char* target)
{
    HostSession* sess = current_session();
    if (!sess) return 0;
    std::string channel = target ? target : sess->channel;
    return quibo_out(sess->server, channel.c_str(), word[1], word[2]);
}

int cb_private_message(char* word[], void*)
{
    return guarded("cb_private_message", __LINE__, [&] {
        if (module_active()) quibo_output(word, word[1]);
        return XCHAT_EAT_NONE;
    });
}

int cb_output(char* word[], void*)
{
    return guarded("cb_output", __LINE__, [&] {
        if (module_active()) quibo_output(word, nullptr);
        return XCHAT_EAT_NONE;
    });
}

int cb_ignore(char*[], void*)
{
    return guarded("cb_ignore", __LINE__, [] {
        if (module_active()) update_ignore(nullptr);
        return XCHAT_EAT_NONE;
    });
}

int cb_focus(char*[], void*)
{
    return guarded("cb_focus", __LINE__, [] {
        current_tab = current_session();
        if (module_active()) update_ignore(nullptr);
        return XCHAT_EAT_NONE;
    });
}

int cb_default_command(char* word[], char* word_eol[], void*)
{
    return guarded("cb_default_command", __LINE__, [&] {
        if (module_active()) quibo_command(current_session(), word[1], word, word_eol);
        return XCHAT_EAT_NONE;
    });
}

namespace {

// /QUIBO and /EVENT: the interception every default command gets, then their
// own handler; the client never sees them.
template <typename Handler>
int own_command(char* word[], char* word_eol[], void* data, Handler handler)
{
    if (!module_active()) {
        PrintText(nullptr, kInactiveNotice);
        return XCHAT_EAT_ALL;
    }
    cb_default_command(word, word_eol, data);
    handler(current_session());
    return XCHAT_EAT_ALL;
}

}  // namespace

int cb_quibo_command(char* word[], char* word_eol[], void* data)
{
    return guarded("cb_quibo_command", __LINE__, [&] {
        return own_command(word, word_eol, data, [&](HostSession* sess) { quibo_cmd(sess, 0, word, word_eol); });
    });
}

int cb_event_command(char* word[], char* word_eol[], void* data)
{
    return guarded("cb_event_command", __LINE__, [&] {
        return own_command(word, word_eol, data, [&](HostSession* sess) {
            event_cmd(sess, 0, word, word_eol);
            if (empty(word[2])) plugin().print(kEventHelp);
        });
    });
}

int cb_DCC_Manager(char* word[], void*)
{
    return guarded("cb_DCC_Manager", __LINE__, [&] {
        static const char* const kPlaceholders[6] = {"$lu", "$ru", "$rhost", "$channel", "$server", "$data"};
        current_tab = current_session();
        if (!module_active()) return XCHAT_EAT_NONE;
        if (empty(word[0])) {
            printf("[%s:%d]> Internal Error (cb_DCC_Manager())\n", kUnit, __LINE__);
            plugin().print("QuIbOsCrIpT:XChat2:cb_DCC_Manager(...): ERROR (Malformed Invocation)");
            return XCHAT_EAT_NONE;
        }
        const char* args[6];
        bool missing = false;
        for (int i = 0; i < 6; ++i) {
            missing = missing || empty(word[i + 1]);
            args[i] = missing ? kPlaceholders[i] : word[i + 1];
        }
        make_special_event(current_tab, word[0], args[0], args[1], args[2], args[3], args[4], args[5]);
        return XCHAT_EAT_NONE;
    });
}
