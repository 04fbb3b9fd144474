#include "script/script.h"

// Not built yet: does nothing.
int quibo_filemacro(HostSession*, const char*, char*[], char*[]) { return 0; }
// Not built yet: does nothing.
int quibo_pipe(HostSession*, const char*) { return 0; }
