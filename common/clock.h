// The one clock of the plug-in and its tools.
//
// Every rule that counts seconds (flood limits, sound spacing, timers) asks
// now(). A test can replace the source: unit tests call set_clock_source();
// the simulated client, which loads the real plug-in, exports the C function
// quibo_hostsim_now(), which now() finds in the process and uses instead of
// the system clock.
#pragma once

#include <ctime>

using ClockSource = time_t (*)();

time_t now();
void set_clock_source(ClockSource source);  // null restores the system clock
