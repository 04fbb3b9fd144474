// Placeholder printing layer; the full output subsystem replaces this file.
#include "output/output.h"

#include "host/host.h"
#include "settings/settings.h"

#include <cstdarg>
#include <cstdio>

namespace {
constexpr size_t kFormatBuffer = 2047;

std::string vformat(const char* format, va_list ap)
{
    char buffer[kFormatBuffer];
    vsnprintf(buffer, sizeof buffer, format, ap);
    return buffer;
}
}  // namespace

int sPrintText(HostSession* sess, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    std::string text = vformat(format, ap);
    va_end(ap);
    PrintText(sess, text.c_str());
    return 0;
}

int sPrintLog(const char*, const char*, ...) { return 0; }

int sHandleCommand(HostSession* sess, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    std::string text = vformat(format, ap);
    va_end(ap);
    return quibo_handle_command(text.c_str(), sess);
}

void check_special_chars(char*, int) {}
void check_special_chars_utf8(std::string&, int) {}
HostSession* GetContext(const char*, const char*) { return current_tab; }
void OutputRoutineInitialize(int, int, int) {}
