// The whole text of a file the plug-in wrote (empty when there is none).
#pragma once

#include <fstream>
#include <sstream>
#include <string>

inline std::string read_file(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
