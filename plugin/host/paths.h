// Where the plug-in keeps its files: the data folder under the user's home.
#pragma once

#include <string>

// Resolves $HOME once per load; every data path is absolute from then on.
void quibo_paths_resolve();
const std::string& quibo_home();
// "<home>/.xchat2/quiboscript/<name>"
std::string quibo_data_path(const std::string& name);
