// The printing, logging and command entry points, and the choice of window.
#include "output/output.h"

#include "host/host.h"
#include "settings/settings.h"

#include <strings.h>

#include <cstdarg>
#include <cstdio>

namespace {

std::string vformat(const char* format, va_list ap)
{
    char buffer[kMaxFormattedText + 1];
    if (vsnprintf(buffer, sizeof buffer, format, ap) < 0) buffer[0] = '\0';
    return buffer;
}

#define FORMAT_ARGUMENTS(format, text) \
    va_list ap;                        \
    va_start(ap, format);              \
    std::string text = vformat(format, ap); \
    va_end(ap)

bool empty(const char* text) { return !text || !*text; }

bool same_name(const char* given, const std::string& name) { return strcasecmp(given, name.c_str()) == 0; }

}  // namespace

int sPrintText(HostSession* sess, const char* format, ...)
{
    FORMAT_ARGUMENTS(format, text);
    PrintText(sess, text.c_str());
    return 0;
}

int sPrintLog(const char* file, const char* format, ...)
{
    FORMAT_ARGUMENTS(format, text);
    return WriteLog(file, text.c_str());
}

int sHandleCommand(HostSession* sess, const char* format, ...)
{
    // Formatted whole: a command longer than the client takes is refused, never run cut short.
    va_list ap;
    va_start(ap, format);
    va_list copy;
    va_copy(copy, ap);
    int size = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0) vsnprintf(text.data(), text.size() + 1, format, ap);
    va_end(ap);
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
