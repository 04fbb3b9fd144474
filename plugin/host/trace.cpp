// Function trace, owned-buffer registry and the crash handler.
#include "host/trace.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::vector<void*> registered_blocks;            // slot 0: blocks registered at run time
std::array<void*, kGarbageSlots> single_slots{};  // slots 1..1021: one text per global

struct sigaction previous_segv_action;
bool handler_installed = false;

void write_text(const char* text) { (void)!write(STDOUT_FILENO, text, strlen(text)); }

}  // namespace

int DebugPlugin(int, const char*, ...) { return 0; }

void* AddToGarbageCollector(void* block)
{
    if (!block) return nullptr;
    registered_blocks.push_back(block);
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

void bt_sighandler(int sig, siginfo_t*, void*)
{
    write_text("\n\nSTART DEBUG INFORMATION\n");
    write_text("[QuIbOsCrIpT Signal Handler Backtrace Module]: MEMORY CRASH\n");
    write_text("\n\nEND DEBUG INFORMATION\n");
    // Hand the signal back to whoever had it before, so the process ends
    // with the real crash status.
    sigaction(sig, &previous_segv_action, nullptr);
    raise(sig);
}

bool crash_handler_install()
{
    if (handler_installed) return true;
    struct sigaction action{};
    action.sa_sigaction = bt_sighandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_SIGINFO;
    if (sigaction(SIGSEGV, &action, &previous_segv_action) != 0) return false;
    handler_installed = true;
    return true;
}

void crash_handler_remove()
{
    if (!handler_installed) return;
    sigaction(SIGSEGV, &previous_segv_action, nullptr);
    handler_installed = false;
}
