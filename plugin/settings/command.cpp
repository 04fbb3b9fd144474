#include "settings/command.h"

// The keyword dispatch is not built yet: /QUIBO does nothing beyond being eaten.
int quibo_cmd(HostSession*, int, char*[], char*[]) { return 0; }
