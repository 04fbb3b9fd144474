#include "host/paths.h"

#include <cstdlib>

namespace {
std::string home_folder;
bool resolved = false;
}  // namespace

void quibo_paths_resolve()
{
    const char* home = getenv("HOME");
    home_folder = home ? home : "";
    resolved = true;
}

const std::string& quibo_home()
{
    if (!resolved) quibo_paths_resolve();
    return home_folder;
}

std::string quibo_data_path(const std::string& name)
{
    const std::string& home = quibo_home();
    std::string base = home.empty() ? std::string(".xchat2/quiboscript/") : home + "/.xchat2/quiboscript/";
    return base + name;
}
