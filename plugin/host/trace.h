// Function trace, owned-buffer registry and the crash handler.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

constexpr int kGarbageSlots = 1022;  // slot 0 heads the list; 1..1021 belong to single globals

// Ring mode keeps the most recent lines in memory for the crash report.
constexpr int kTraceRingLines = 4092;
// Each ring line keeps at most this many bytes (the trace file keeps whole lines).
constexpr int kTraceRingLineBytes = 1023;
constexpr int kTraceLineMax = 4094;

// iFlagDebugModeFnc 0: every level goes to the ring (unless switched off);
// N >= 1: levels below N are appended to quibo.fnc (through WriteLog) and the ring gets nothing.
int DebugPlugin(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Calls go through a typed front end: the values travel as 64-bit words to one
// plain function, which keeps them as the format's conversions read them, with
// no va_list. Lines the ring does not keep that way (the trace file, a null
// text, a format that may change) are written by the C library as before.
// The call to the declaration above is never made: it only has the compiler
// check each format against its values.
#define DebugPlugin(level, ...) \
    ((void)sizeof((DebugPlugin)(level, __VA_ARGS__)), trace_front::call(level, __VA_ARGS__))

namespace trace_front {

// True when the call is done with: kept in the ring, or not traced at all.
bool keep(int level, const char* format, const uint64_t* words, size_t count) noexcept;
// The line written at once by the C library, to the trace file or the ring.
[[gnu::cold]] int write_now(const char* format, ...);

// A value as the C library would receive it (promoted), widened to 64 bits.
template <typename T>
[[gnu::always_inline]] inline uint64_t word(T value)
{
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<uintptr_t>(value);
    } else if constexpr (std::is_enum_v<T>) {
        return static_cast<uint64_t>(+static_cast<std::underlying_type_t<T>>(value));
    } else {
        static_assert(std::is_arithmetic_v<T> || std::is_null_pointer_v<T>, "a trace value is a number or a pointer");
        if constexpr (std::is_integral_v<T>) return static_cast<uint64_t>(+value);
        return 0;  // floating point and nullptr: no kept conversion reads them
    }
}

template <typename... Values>
[[gnu::always_inline]] inline int call(int level, const char* format, Values... values)
{
    const uint64_t words[sizeof...(Values) + 1] = {word(values)..., 0};
    if (keep(level, format, words, sizeof...(Values))) [[likely]]
        return 0;
    return write_now(format, values...);
}

}  // namespace trace_front

// The ring's lines, oldest first, and their count.
std::vector<std::string> DebugPluginRingLines();
int DebugPluginRingCount();
// Bytes the ring's kept lines take in its block.
size_t DebugPluginRingBytes();
// How far into its block the ring's kept lines reach: a stream of lines keeps this near the kept bytes.
size_t DebugPluginRingReach();
void DebugPluginRingClear();

void* AddToGarbageCollector(void* block);
void GarbageCollectorClear();
// Hands slot `slot` a new block, freeing the one it held.
void GarbageCollectorSetSlot(int slot, void* block);
// Frees every registered block; `progress` is called with 0 for each list block, else the slot number.
void GarbageCollectorFree(void (*progress)(int slot));

void bt_sighandler(int sig, siginfo_t* info, void* context);
// Opens the data folder for the crash report and takes over SIGSEGV,
// remembering the previous action; remove puts that action back.
bool crash_handler_install();
void crash_handler_remove();
