// Function trace, owned-buffer registry and the crash handler.
#pragma once

#include <csignal>

constexpr int kGarbageSlots = 1022;  // slot 0 heads the list; 1..1021 belong to single globals

int DebugPlugin(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

void* AddToGarbageCollector(void* block);
void GarbageCollectorClear();
// Hands slot `slot` a new block, freeing the one it held.
void GarbageCollectorSetSlot(int slot, void* block);
// Frees every registered block; `progress` is called with 0 for each list block, else the slot number.
void GarbageCollectorFree(void (*progress)(int slot));

void bt_sighandler(int sig, siginfo_t* info, void* context);
bool crash_handler_install();
void crash_handler_remove();
