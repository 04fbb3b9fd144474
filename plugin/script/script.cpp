#include "script/script.h"

// Not built yet: does nothing.
int quibo_if(HostSession*, const char*, char, const char*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_var_cmd(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_filemacro(HostSession*, const char*, char*[], char*[]) { return 0; }
// Not built yet: does nothing.
int quibo_pipe(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
int quibo_set_variable(HostSession*, const char*, const char*, int, int) { return 0; }
// Not built yet: does nothing.
int quibo_list_variable(HostSession*, const char*) { return 0; }
// Not built yet: does nothing.
void flush_user_variables() {}
