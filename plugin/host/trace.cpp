// Function trace, owned-buffer registry and the crash handler.
#include "host/trace.h"

#include "host/paths.h"
#include "output/output.h"
#include "settings/settings.h"

#include <execinfo.h>
#include <fcntl.h>
#include <ucontext.h>
#include <unistd.h>

#include <array>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::vector<void*> registered_blocks;            // slot 0: blocks registered at run time
std::array<void*, kGarbageSlots> single_slots{};  // slots 1..1021: one text per global

// The ring lives in storage reserved up front: tracing never allocates, and
// the crash handler can walk it without touching the heap.
struct TraceRing {
    char text[kTraceRingLines][kTraceRingLineBytes + 1];
    int first = 0;  // index of the oldest line
    int count = 0;
};
TraceRing ring;

struct sigaction previous_segv_action;
bool handler_installed = false;
int data_folder_fd = -1;

constexpr const char* kTraceFileName = "quibo.fnc";
constexpr const char* kCrashFileName = "crash.log";
constexpr int kBacktraceFrames = 32;
constexpr int kEchoedRingLines = 16;

// ---- trace line formatting -------------------------------------------------

// Writes into a fixed buffer as vsnprintf does: what does not fit is dropped
// and the text always ends with a NUL.
class BoundedText {
public:
    BoundedText(char* buffer, size_t size) : at(buffer), end(buffer + size - 1) {}
    ~BoundedText() { *at = '\0'; }
    BoundedText(const BoundedText&) = delete;
    BoundedText& operator=(const BoundedText&) = delete;

    void put(const char* text, size_t length)
    {
        const size_t room = static_cast<size_t>(end - at);
        if (length > room) length = room;
        memcpy(at, text, length);
        at += length;
    }
    void put(char c)
    {
        if (at < end) *at++ = c;
    }

private:
    char* at;
    char* end;
};

void put_unsigned(BoundedText& out, unsigned long long value, unsigned base)
{
    char digits[24];
    char* at = digits + sizeof digits;
    do {
        *--at = "0123456789abcdef"[value % base];
        value /= base;
    } while (value);
    out.put(at, static_cast<size_t>(digits + sizeof digits - at));
}

void put_signed(BoundedText& out, long long value)
{
    if (value < 0) out.put('-');
    put_unsigned(out, value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value),
                 10);
}

// The conversions trace lines use (%s %.*s %d %i %u %c %p %%, with l, ll or z
// on the integers), written the way the C library writes them. Anything else
// (flags, widths, other conversions, a null text or pointer, a NUL character)
// gives false, and the caller formats the line with vsnprintf instead.
bool format_common(char* buffer, size_t size, const char* format, va_list ap)
{
    BoundedText out(buffer, size);
    for (const char* p = format; *p; ++p) {
        const char* plain = p;
        p = strchrnul(p, '%');
        out.put(plain, static_cast<size_t>(p - plain));
        if (!*p) break;
        ++p;  // the conversion after the '%'
        if (*p == '%') {
            out.put('%');
        } else if (p[0] == '.' && p[1] == '*' && p[2] == 's') {
            p += 2;
            const int precision = va_arg(ap, int);
            const char* text = va_arg(ap, const char*);
            if (!text) return false;
            out.put(text, precision < 0 ? strlen(text) : strnlen(text, static_cast<size_t>(precision)));
        } else if (*p == 's') {
            const char* text = va_arg(ap, const char*);
            if (!text) return false;
            out.put(text, strlen(text));
        } else if (*p == 'c') {
            const int c = va_arg(ap, int);
            if (static_cast<char>(c) == '\0') return false;
            out.put(static_cast<char>(c));
        } else if (*p == 'p') {
            const void* pointer = va_arg(ap, const void*);
            if (!pointer) return false;
            out.put("0x", 2);
            put_unsigned(out, reinterpret_cast<uintptr_t>(pointer), 16);
        } else {
            int longs = 0;
            for (; *p == 'l' && longs < 2; ++p) ++longs;
            const bool size_t_length = !longs && *p == 'z';
            if (size_t_length) ++p;
            if (*p == 'd' || *p == 'i') {
                const long long value = size_t_length ? static_cast<long long>(va_arg(ap, ssize_t))
                                        : longs == 2  ? va_arg(ap, long long)
                                        : longs == 1  ? va_arg(ap, long)
                                                      : va_arg(ap, int);
                put_signed(out, value);
            } else if (*p == 'u') {
                const unsigned long long value = size_t_length ? va_arg(ap, size_t)
                                                 : longs == 2  ? va_arg(ap, unsigned long long)
                                                 : longs == 1  ? va_arg(ap, unsigned long)
                                                               : va_arg(ap, unsigned);
                put_unsigned(out, value, 10);
            } else {
                return false;
            }
        }
    }
    return true;
}

// One trace line into `buffer`, cut to its size.
void format_trace_line(char* buffer, size_t size, const char* format, va_list ap)
{
    va_list common;
    va_copy(common, ap);
    const bool done = format_common(buffer, size, format, common);
    va_end(common);
    if (!done) vsnprintf(buffer, size, format, ap);
}

char* ring_append_slot()
{
    if (ring.count < kTraceRingLines) return ring.text[(ring.first + ring.count++) % kTraceRingLines];
    char* slot = ring.text[ring.first];
    ring.first = (ring.first + 1) % kTraceRingLines;
    return slot;
}

// ---- signal context: write(2) only ----------------------------------------

void put(int fd, const char* text)
{
    if (fd >= 0) (void)!write(fd, text, strlen(text));
}

// Decimal text of `value`, right-aligned in `width` columns.
const char* decimal(long value, int width, char (&buffer)[24])
{
    char* end = buffer + sizeof buffer - 1;
    char* at = end;
    *at = '\0';
    bool negative = value < 0;
    unsigned long magnitude = negative ? 0UL - static_cast<unsigned long>(value) : static_cast<unsigned long>(value);
    do {
        *--at = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (negative) *--at = '-';
    while (end - at < width && at > buffer) *--at = ' ';
    return at;
}

const char* hexadecimal(const void* pointer, char (&buffer)[24])
{
    auto value = reinterpret_cast<uintptr_t>(pointer);
    char* at = buffer + sizeof buffer - 1;
    *at = '\0';
    do {
        *--at = "0123456789abcdef"[value & 15];
        value >>= 4;
    } while (value);
    *--at = 'x';
    *--at = '0';
    return at;
}

void* instruction_address(void* context)
{
    if (!context) return nullptr;
    auto* uc = static_cast<ucontext_t*>(context);
#if defined(__x86_64__)
    return reinterpret_cast<void*>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
    return reinterpret_cast<void*>(uc->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__)
    return reinterpret_cast<void*>(uc->uc_mcontext.pc);
#else
    (void)uc;
    return nullptr;
#endif
}

void report_signal(int sig, siginfo_t* info, void* ip)
{
    char a[24], b[24], c[24];
    if (sig == SIGSEGV) {
        put(STDOUT_FILENO, "[QuIbOsCrIpT Signal Handler]: RECEIVED SIGNAL ");
        put(STDOUT_FILENO, decimal(sig, 0, a));
        put(STDOUT_FILENO, ", FAULTY ADDRESS IS ");
        put(STDOUT_FILENO, hexadecimal(info ? info->si_addr : nullptr, b));
        put(STDOUT_FILENO, ", FROM ");
        put(STDOUT_FILENO, hexadecimal(ip, c));
        put(STDOUT_FILENO, "\n");
    } else {
        put(STDOUT_FILENO, "\n\n[QuIbOsCrIpT Signal Handler]: GOT SIGNAL ");
        put(STDOUT_FILENO, decimal(sig, 0, a));
        put(STDOUT_FILENO, "\n");
    }
}

void report_backtrace(void* ip)
{
    void* frames[kBacktraceFrames];
    int depth = backtrace(frames, kBacktraceFrames);
    if (depth > 1 && ip) frames[1] = ip;
    put(STDOUT_FILENO, "[QuIbOsCrIpT Signal Handler]: EXECUTION BACKTRACE:\n");
    for (int i = 1; i < depth; ++i) {
        put(STDOUT_FILENO, "[QuIbOsCrIpT Signal Handler]: ");
        backtrace_symbols_fd(&frames[i], 1, STDOUT_FILENO);
    }
}

void report_ring(int crash_fd)
{
    for (int i = 0; i < ring.count; ++i) {
        const char* text = ring.text[(ring.first + i) % kTraceRingLines];
        put(crash_fd, text);
        put(crash_fd, "\n");
        int counted = i + 1;
        if (counted > kTraceRingLines - kEchoedRingLines) {
            char number[24];
            put(STDOUT_FILENO, decimal(kTraceRingLines - counted, 4, number));
            put(STDOUT_FILENO, ": ");
            put(STDOUT_FILENO, text);
            put(STDOUT_FILENO, "\n");
        }
    }
}

}  // namespace

int DebugPlugin(int level, const char* format, ...)
{
    if (!format) return 0;
    va_list ap;
    va_start(ap, format);
    if (iFlagDebugModeFnc >= 1) {
        if (iFlagDebugModeFnc > level) {
            char line[kTraceLineMax + 1];
            format_trace_line(line, sizeof line, format, ap);
            WriteLog(quibo_data_path(kTraceFileName).c_str(), line);
        }
    } else if (!iFlagDisableDebugPlugin && !iFlagDisableSHBM) {
        format_trace_line(ring_append_slot(), kTraceRingLineBytes + 1, format, ap);
    }
    va_end(ap);
    return 0;
}

std::vector<std::string> DebugPluginRingLines()
{
    std::vector<std::string> lines;
    lines.reserve(ring.count);
    for (int i = 0; i < ring.count; ++i) lines.emplace_back(ring.text[(ring.first + i) % kTraceRingLines]);
    return lines;
}

int DebugPluginRingCount() { return ring.count; }

void DebugPluginRingClear()
{
    ring.first = 0;
    ring.count = 0;
}

void* AddToGarbageCollector(void* block)
{
    DebugPlugin(0, "BEGIN: AddToGarbageCollector(%p)", block);
    if (!block) {
        DebugPlugin(0, "END: AddToGarbageCollector() = 0");
        return nullptr;
    }
    registered_blocks.push_back(block);
    DebugPlugin(0, "END: AddToGarbageCollector() = %p", block);
    return block;
}

void GarbageCollectorClear()
{
    single_slots.fill(nullptr);
}

void GarbageCollectorSetSlot(int slot, void* block)
{
    if (slot < 1 || slot >= kGarbageSlots) return;
    if (single_slots[slot] != block) free(single_slots[slot]);
    single_slots[slot] = block;
}

void GarbageCollectorFree(void (*progress)(int slot))
{
    for (void* block : registered_blocks) {
        free(block);
        if (progress) progress(0);
    }
    registered_blocks.clear();
    registered_blocks.shrink_to_fit();
    for (int slot = 1; slot < kGarbageSlots; ++slot) {
        if (!single_slots[slot]) continue;
        free(single_slots[slot]);
        single_slots[slot] = nullptr;
        if (progress) progress(slot);
    }
}

void bt_sighandler(int sig, siginfo_t* info, void* context)
{
    void* ip = instruction_address(context);
    put(STDOUT_FILENO, "\n\nSTART DEBUG INFORMATION\n");
    put(STDOUT_FILENO, "[QuIbOsCrIpT Signal Handler Backtrace Module]: MEMORY CRASH\n");
    report_signal(sig, info, ip);
    report_backtrace(ip);
    put(STDOUT_FILENO, "\n\n[QuIbOsCrIpT Advanced Debug Function LOG]: FUNCTION CALL STACK\n");

    int crash_fd = data_folder_fd >= 0
                       ? openat(data_folder_fd, kCrashFileName, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600)
                       : -1;
    if (iFlagDisableSHBM == 1) {
        put(STDOUT_FILENO, "WARNING: SHBM IS DISABLED !");
        put(crash_fd, "WARNING: SHBM IS DISABLED !\n");
    }
    report_ring(crash_fd);
    if (crash_fd >= 0) close(crash_fd);

    put(STDOUT_FILENO, "Please send the file .xchat2/quiboscript/crash.log to ZEM'Software "
                       "(quibo-support@zemsoftware.invalid): it helps us fix this crash.\n");
    put(STDOUT_FILENO, "\n\nEND DEBUG INFORMATION\n");
    // Hand the signal back to whoever had it before, so the process ends
    // with the real crash status.
    sigaction(sig, &previous_segv_action, nullptr);
    raise(sig);
}

bool crash_handler_install()
{
    if (handler_installed) return true;
    data_folder_fd = open(quibo_data_path("").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // The first backtrace() loads the unwinder; do it now, not in the handler.
    void* warm_up[2];
    backtrace(warm_up, 2);
    struct sigaction action{};
    action.sa_sigaction = bt_sighandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_SIGINFO;
    if (sigaction(SIGSEGV, &action, &previous_segv_action) != 0) {
        crash_handler_remove();
        return false;
    }
    handler_installed = true;
    return true;
}

void crash_handler_remove()
{
    if (handler_installed) sigaction(SIGSEGV, &previous_segv_action, nullptr);
    handler_installed = false;
    if (data_folder_fd >= 0) close(data_folder_fd);
    data_folder_fd = -1;
}
