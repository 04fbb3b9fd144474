// Function trace, owned-buffer registry and the crash handler.
#pragma once

#include <csignal>
#include <cstddef>
#include <string>
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

// The ring's lines, oldest first, and their count.
std::vector<std::string> DebugPluginRingLines();
int DebugPluginRingCount();
// Bytes the ring's kept lines take in its block.
size_t DebugPluginRingBytes();
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
