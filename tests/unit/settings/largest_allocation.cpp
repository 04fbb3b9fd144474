// Counting replacements of the global allocation functions. They live in a
// file of their own so that no caller sees them inline.
#include "largest_allocation.h"

#include <cstdlib>
#include <new>

std::atomic<size_t> largest_allocation{0};

void* operator new(size_t size)
{
    for (size_t seen = largest_allocation; size > seen && !largest_allocation.compare_exchange_weak(seen, size);) {
    }
    if (void* block = malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
