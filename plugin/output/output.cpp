// The printing, logging and command entry points, and the choice of window.
#include "output/output.h"

#include "host/host.h"
#include "settings/settings.h"

#include <utilities.h>

#include <strings.h>

#include <cstdarg>
#include <cstdio>

namespace {

#define FORMAT_ARGUMENTS(format, text, limit)  \
    va_list ap;                                \
    va_start(ap, format);                      \
    std::string text = vformat(format, ap, limit); \
    va_end(ap)

bool same_name(const char* given, const std::string& name) { return strcasecmp(given, name.c_str()) == 0; }

}  // namespace

int sPrintText(HostSession* sess, const char* format, ...)
{
    FORMAT_ARGUMENTS(format, text, kMaxFormattedText);
    PrintText(sess, text.c_str());
    return 0;
}

int sPrintLog(const char* file, const char* format, ...)
{
    FORMAT_ARGUMENTS(format, text, kMaxFormattedText);
    return WriteLog(file, text.c_str());
}

// A command is never cut: one too long for the client is refused whole there.
int sHandleCommand(HostSession* sess, const char* format, ...)
{
    FORMAT_ARGUMENTS(format, text, std::string::npos);
    return quibo_handle_command(text.c_str(), sess);
}

HostSession* GetContext(const char* server, const char* channel)
{
    if (iFlagCurrentTab || (empty(server) && empty(channel))) return current_tab;
    HostSession* fallback = nullptr;
    for (HostSession* sess : sess_list) {
        if (!is_session(sess)) continue;
        const bool channel_matches = !empty(channel) && same_name(channel, sess->channel);
        if (!empty(server) && sess->server && same_name(server, sess->server->servername)) {
            if (channel_matches) return sess;
            fallback = sess;
        } else if (channel_matches) {
            return sess;
        }
    }
    return fallback ? fallback : current_tab;
}
