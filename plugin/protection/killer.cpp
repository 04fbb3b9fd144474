// The private-message allow/deny list. Not built yet (the guard lands later):
// the list stays empty.
#include "protection/words.h"

// Not built yet: reads nothing.
void load_killed_user_file() {}
// Not built yet: prints nothing.
void print_killed_user_list(HostSession*) {}
// Not built yet: does nothing.
void flush_killed_user_list() {}
