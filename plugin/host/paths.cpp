#include "host/paths.h"

#include <cstdlib>

namespace {
std::string home_folder;
std::string data_folder;  // ends with a slash
bool resolved = false;
}  // namespace

void quibo_paths_resolve()
{
    const char* home = getenv("HOME");
    home_folder = home ? home : "";
    data_folder = home_folder.empty() ? std::string(".xchat2/quiboscript/") : home_folder + "/.xchat2/quiboscript/";
    resolved = true;
}

const std::string& quibo_home()
{
    if (!resolved) quibo_paths_resolve();
    return home_folder;
}

std::string quibo_data_path(const std::string& name)
{
    if (!resolved) quibo_paths_resolve();
    std::string path;
    path.reserve(data_folder.size() + name.size());
    path.append(data_folder).append(name);
    return path;
}
