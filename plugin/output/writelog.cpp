// The appender behind sPrintLog and the trace: one log stream that stays open
// between calls.
#include "output/output.h"

#include "clock.h"
#include "settings/settings.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct CloseFile {
    void operator()(FILE* file) const { fclose(file); }
};

struct LogState {
    std::string name;  // the file last opened; empty when none
    std::unique_ptr<FILE, CloseFile> stream;
    time_t first_call = 0;
    long calls = 0;
};

LogState log_state;

bool must_reopen(const char* file)
{
    return !log_state.stream || log_state.name != file || iFlagDebugModeFnc || iFlagDebugMode;
}

int close_log()
{
    log_state.stream.reset();
    if (!log_state.name.empty()) printf("  * Closing: %s [%p]\n", log_state.name.c_str(), log_state.name.c_str());
    log_state.name.clear();
    return 1;
}

}  // namespace

int WriteLog(const char* file, const char* text)
{
    if (log_state.calls++ == 0) log_state.first_call = now();
    if (!file && !text) return close_log();
    if (!file || !*file) {
        printf("INTERNAL ERROR: Bad Log File name.");
        return 0;
    }
    if (must_reopen(file)) {
        log_state.stream.reset();
        log_state.stream.reset(fopen(file, "a"));
        log_state.name = file;
    }
    FILE* stream = log_state.stream.get();
    if (!stream) {
        printf("\nImpossibile aprire il file %s in scrittura a causa dell'errore %s .", file, strerror(errno));
        return 0;
    }
    if (text && *text)
        fprintf(stream, "%d_%05d : %s\n", static_cast<int>(getpid()), static_cast<int>(now() - log_state.first_call),
                text);
    fflush(stream);
    if (iFlagDebugModeFnc) log_state.stream.reset();
    return 1;
}
