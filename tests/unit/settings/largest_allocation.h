// The largest single allocation made through operator new since it was last
// set to 0: a file read whole into memory shows up here at its own size.
#pragma once

#include <atomic>
#include <cstddef>

extern std::atomic<size_t> largest_allocation;
