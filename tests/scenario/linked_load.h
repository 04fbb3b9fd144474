// Loading the plug-in that is linked into a test program (not the shared library) into the simulated client.
#pragma once

#include "capture.h"
#include "hostsim.h"
#include "settings/settings.h"

#include <string>

extern "C" int xchat_plugin_init(xchat_plugin*, char**, char**, char**, char*);
extern "C" int xchat_plugin_deinit(xchat_plugin*);

// Puts the language file `name` (from the source tree's data folder) into the data folder under `home`.
inline void install_language_file(hostsim::TempHome& home, const std::string& name)
{
    home.make_dir(".xchat2/quiboscript");
    home.copy_in(std::string(QUIBO_DATA_DIR) + "/" + name, ".xchat2/quiboscript/" + name);
}

// Attaches the plug-in to `chan` and loads it, its load report kept off the test's output; the database is on
// again afterwards, since an earlier unload in this process switched it off.
inline xchat_plugin* load_linked_plugin(hostsim::Sim& sim, hostsim::Context& chan)
{
    xchat_plugin* handle = sim.attach("quibo", &chan);
    char *name, *description, *version;
    hostsim::StdoutCapture quiet;
    xchat_plugin_init(handle, &name, &description, &version, nullptr);
    quiet.stop();
    iFlagEnableDatabase = 1;
    return handle;
}
