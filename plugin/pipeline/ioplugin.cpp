// Entry points of the pipeline. The line parser and its handlers are not
// built yet: lines, output and commands pass through untouched.
#include "pipeline/pipeline.h"

int quibo_in(HostSession*, const char*, std::string&) { return 0; }

int quibo_out(HostServer*, const char*, const char*, const char*) { return 0; }

int quibo_command(HostSession*, const char*, char*[], char*[]) { return 0; }
